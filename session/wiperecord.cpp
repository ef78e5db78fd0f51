#include "wiperecord.h"

#include "nativepath.h"

#include "certificatesettings.h"
#include "journalfile.h"
#include "language.h"
#include "wipetexts.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSet>
#include <QLocale>
#include <QSysInfo>
#include <QUuid>

namespace {

PlacementWord placementWord(Placement placement)
{
    switch (placement) {
    case Placement::InPlace:
        return PlacementWord::InPlace;
    case Placement::Relocating:
        return PlacementWord::Relocating;
    case Placement::NotProvable:
        break;
    }
    return PlacementWord::NotProvable;
}

VerificationWord verificationWord(FileVerification verification)
{
    switch (verification) {
    case FileVerification::Direct:
        return VerificationWord::Direct;
    case FileVerification::MaybeCached:
        return VerificationWord::MaybeCached;
    case FileVerification::NoReplay:
        return VerificationWord::NotCompared;
    case FileVerification::Mismatch:
        return VerificationWord::Mismatch;
    case FileVerification::NotRead:
        break;
    }
    return VerificationWord::NotRead;
}

FillWord fillWord(FreedFill::Status status)
{
    switch (status) {
    case FreedFill::Status::Covered:
        return FillWord::Covered;
    case FreedFill::Status::Filled:
        return FillWord::Filled;
    case FreedFill::Status::NotCovered:
        return FillWord::NotCovered;
    case FreedFill::Status::Cancelled:
        return FillWord::Cancelled;
    case FreedFill::Status::Failed:
        return FillWord::Failed;
    default:
        break;
    }
    return FillWord::None;
}

// Words for the certificate; a random byte's value is never kept.
QString patternOf(const WipePass &pass)
{
    switch (pass.kind) {
    case PassKind::FixedByte:
        return QStringLiteral("0x%1").arg(pass.value, 2, 16, QLatin1Char('0'));
    case PassKind::RandomData:
        return QStringLiteral("random data");
    case PassKind::RandomByte:
        return QStringLiteral("one random byte repeated");
    case PassKind::ComplementByte:
        return QStringLiteral("complement of the previous pass's byte");
    }
    return QStringLiteral("unknown");
}

QStringList deviceLimitWords(quint32 limits)
{
    QStringList words;
    if (limits & LimitFlash)
        words << QStringLiteral("flash");
    if (limits & LimitEncrypted)
        words << QStringLiteral("encrypted");
    if (limits & LimitImageFile)
        words << QStringLiteral("image-file");
    return words;
}

void recordWho(JournalEntry &entry)
{
    const CertificateSettings settings = loadCertificateSettings();
    entry.operatorName = settings.operatorName;
    entry.operatorTitle = settings.operatorTitle;
    entry.operatorOrganisation = settings.operatorOrganisation;
    entry.operatorLocation = settings.operatorLocation;
    entry.operatorPhone = settings.operatorPhone;
    entry.operatorSource = settings.operatorName.isEmpty() ? QStringLiteral("login") : QStringLiteral("settings");
    entry.organisationFields = settings.fields;
}

} // namespace

JournalEntry journalEntry(const WipeRequest &request, const WipeResult &result)
{
    JournalEntry entry;
    recordWho(entry);
    for (const WipePass &pass : request.plan.passes)
        entry.passPatterns << patternOf(pass);
    entry.interface = request.via;
    entry.algorithmName = request.plan.name;
    entry.algorithmIndex = int(request.plan.algorithm);
    entry.passesPlanned = request.plan.passes.size();
    entry.resultText = result.report.text;
    entry.resultInformative = result.report.informative;
    if (request.isFile()) {
        entry.targetKind = JournalEntry::TargetKind::File;
        entry.filePath = QFileInfo(request.path).absoluteFilePath();
        entry.size = result.file.size;
        entry.passesDone = result.file.passesDone;
        const FileWipeOutcome &file = result.file;
        if (file.medium.known) {
            entry.fileSystem = file.medium.fileSystem;
            entry.device = file.medium.device;
            entry.placement = placementWord(file.medium.placement);
            entry.verification = verificationWord(file.verification);
            for (const MediumDisk &d : file.medium.disks)
                entry.disks.append({d.name, d.maker, d.model, d.serial, d.transport, d.kind});
            entry.deviceLimits = deviceLimitWords(file.medium.limits);
        }
        // A count only from a search that read every device; otherwise none.
        if (result.search.status == VolumeSearch::Status::Done) {
            entry.volumeDevice = result.search.devices.isEmpty() ? result.search.device
                                                                 : result.search.devices.join(QLatin1Char(' '));
            entry.volumeBytesRead = result.search.bytesRead;
            entry.volumeMs = result.search.elapsedMs;
            entry.survivors = result.search.survivors.size();
        }
        entry.fill = fillWord(result.fill.status);
        if (entry.fill != FillWord::None)
            entry.fillBytes = result.fill.bytesWritten;
    } else {
        const TokenWipeOutcome &outcome = result.token;
        entry.targetKind = JournalEntry::TargetKind::Token;
        entry.tokenLabel = request.token->name;
        entry.tokenModel = request.token->detail;
        entry.tokenSerial = request.token->serialNumber;
        entry.containerLabel = outcome.containerLabel;
        if (outcome.makerKnown) {
            entry.tokenMaker = outcome.tokenMaker;
            entry.tokenModel = outcome.tokenModel;
        }
        entry.size = outcome.containerSize > 0 || outcome.passesDone > 0 ? qint64(outcome.containerSize) : -1;
        entry.passesDone = outcome.passesDone;
    }
    entry.endState = result.verdict.state;
    return entry;
}

JournalEntry begunEntry(const WipeRequest &request, const QString &attempt)
{
    WipeResult nothingYet;
    JournalEntry entry = journalEntry(request, nothingYet);
    entry.phase = JournalEntry::Phase::Begun;
    entry.attempt = attempt;
    entry.endState = EndState::Begun;
    entry.resultText.clear();
    entry.resultInformative.clear();
    entry.fileSystem.clear();
    entry.placement = PlacementWord::None;
    entry.verification = VerificationWord::None;
    entry.fill = FillWord::None;
    entry.size = -1;
    const journalfile::ProcessStamp process = journalfile::currentProcess();
    entry.pid = process.pid;
    entry.boot = QString::fromStdString(process.boot);
    entry.processStarted = process.started;
    entry.hostId = QString::fromStdString(journalfile::machineId());
    if (request.isFile()) {
        std::uint64_t device = 0, index = 0;
        std::int64_t size = -1;
        if (journalfile::lookAtFile(nativePath(entry.filePath), &device, &index, &size)) {
            entry.fileDevice = device;
            entry.fileIndex = index;
            entry.size = size;
        }
    }
    return entry;
}

namespace {

QString fileNow(const JournalEntry &begun)
{
    if (begun.targetKind != JournalEntry::TargetKind::File)
        return QCoreApplication::translate("WipeRecord", "Что осталось на носителе, неизвестно: проверьте носитель снова.");
    std::uint64_t device = 0, index = 0;
    std::int64_t size = -1;
    if (!journalfile::lookAtFile(nativePath(begun.filePath), &device, &index, &size))
        return QCoreApplication::translate("WipeRecord", "Файла под этим именем больше нет.");
    if (begun.fileDevice && (device != begun.fileDevice || index != begun.fileIndex))
        return QCoreApplication::translate("WipeRecord", "Под этим именем теперь другой объект; прежний файл не найден.");
    // An empty file held nothing to overwrite: being empty now says nothing of passes.
    if (size == 0 && begun.size == 0)
        return QCoreApplication::translate("WipeRecord", "Файл на месте и пуст, как и до удаления: перезаписывать в нем было "
                                           "нечего, но он не удален.");
    if (size == 0)
        return QCoreApplication::translate("WipeRecord", "Файл на месте и пуст: проходы были записаны и файл усечен, но не удален.");
    return QCoreApplication::translate("WipeRecord", "Файл на месте (%1 байт): удаление нужно повторить.", nullptr,
                                       pluralKey(size))
        .arg(programLocale().toString(size));
}

} // namespace

QVector<InterruptedWipe> closeInterruptedWipes(JournalEntry::Interface via)
{
    QVector<InterruptedWipe> found;
    const Journal journal;
    for (const JournalRecord &record : journal.openAttempts()) {
        const JournalEntry &begun = record.entry;
        // Another host's attempt may be running there: only that host closes it.
        if (Journal::openState(begun) != Journal::OpenState::Interrupted)
            continue;
        InterruptedWipe wipe{record, fileNow(begun)};
        JournalEntry end = begun;
        end.phase = JournalEntry::Phase::Ended;
        end.time = QDateTime();
        end.user.clear();
        end.host.clear();
        end.interface = via;
        end.started = begun.time;
        end.passesDone = begun.passesDone;
        end.resultText = wipetexts::interrupted();
        end.resultInformative = describeInterrupted(wipe);
        end.endState = EndState::Interrupted;
        // Under the journal's lock: of two starts, one closes it.
        bool alreadyClosed = false;
        if (journal.closeAttempt(end, &alreadyClosed) || !alreadyClosed)
            found << wipe;
    }
    return found;
}

QString describeInterrupted(const InterruptedWipe &wipe)
{
    const JournalEntry &e = wipe.begun.entry;
    const QString target = e.targetKind == JournalEntry::TargetKind::File
        ? QDir::toNativeSeparators(e.filePath)
        : QStringLiteral("%1 (%2, S/N %3)").arg(e.tokenLabel, e.tokenModel, e.tokenSerial);
    return QCoreApplication::translate("WipeRecord", "%1, начато %2, алгоритм %3. Проходов на носителе: %4 из %5. %6")
        .arg(target, programLocale().toString(e.time.toLocalTime(), QLocale::ShortFormat), e.algorithmName,
             QString::number(e.passesDone), QString::number(e.passesPlanned), wipe.fileNow);
}
