#include "wiperecord.h"

#include <QFileInfo>

QString fileEndState(const FileWipeOutcome &outcome)
{
    switch (outcome.status) {
    case FileWipeStatus::Wiped:
        if (outcome.medium.placement == Placement::Relocating)
            return QStringLiteral("relocated-not-overwritten");
        if (outcome.otherNames > 0)
            return QStringLiteral("wiped-other-names-remain");
        return outcome.medium.placement == Placement::InPlace ? QStringLiteral("wiped") : QStringLiteral("wiped-unproven");
    case FileWipeStatus::NotFound:
        return QStringLiteral("not-found");
    case FileWipeStatus::Refused:
        return QStringLiteral("refused");
    case FileWipeStatus::Failed:
        break;
    }
    switch (outcome.failedStep) {
    case FileWipeStep::Truncate:
    case FileWipeStep::Close:
        return QStringLiteral("overwritten-kept");
    case FileWipeStep::Remove:
    case FileWipeStep::NameChanged:
        return QStringLiteral("overwritten-emptied-name-kept");
    case FileWipeStep::Verify:
        return QStringLiteral("verify-failed-kept");
    case FileWipeStep::Cancelled:
        return outcome.bytesWritten ? QStringLiteral("cancelled-incomplete-kept") : QStringLiteral("cancelled-untouched");
    default:
        break;
    }
    return outcome.bytesWritten ? QStringLiteral("incomplete-kept") : QStringLiteral("untouched");
}

QString deviceEndState(const DeviceWipeOutcome &outcome)
{
    const QString left = outcome.left == ContainerLeft::Gone ? QStringLiteral("gone")
        : outcome.left == ContainerLeft::Present            ? QStringLiteral("present")
                                                            : QStringLiteral("unknown");
    switch (outcome.status) {
    case DeviceWipeStatus::Wiped:
        return outcome.replaced ? QStringLiteral("replaced-not-overwritten") : QStringLiteral("wiped");
    case DeviceWipeStatus::NoContainer:
        return QStringLiteral("no-container");
    case DeviceWipeStatus::Ambiguous:
        return QStringLiteral("several-containers-untouched");
    case DeviceWipeStatus::WriteFailed:
    case DeviceWipeStatus::DeleteFailed:
    case DeviceWipeStatus::Exception:
        return QStringLiteral("token-error-container-") + left;
    default:
        break;
    }
    return QStringLiteral("token-error-untouched");
}

QString verificationId(FileVerification verification)
{
    switch (verification) {
    case FileVerification::Direct:
        return QStringLiteral("direct");
    case FileVerification::MaybeCached:
        return QStringLiteral("maybe-cached");
    case FileVerification::NoReplay:
        return QStringLiteral("not-compared");
    case FileVerification::Mismatch:
        return QStringLiteral("mismatch");
    case FileVerification::NotRead:
        break;
    }
    return QStringLiteral("not-read");
}

JournalEntry journalEntry(const WipeRequest &request, const WipeResult &result)
{
    JournalEntry entry;
    entry.interface = request.via;
    entry.algorithmName = wipeAlgorithmName(request.algorithm);
    entry.algorithmIndex = int(request.algorithm);
    entry.passesPlanned = wipeSchedule(request.algorithm).size();
    entry.resultText = result.report.text;
    entry.resultInformative = result.report.informative;
    if (request.isFile()) {
        entry.targetKind = JournalEntry::TargetKind::File;
        entry.filePath = QFileInfo(request.path).absoluteFilePath();
        entry.size = result.file.size;
        entry.passesDone = result.file.passesDone;
        entry.endState = fileEndState(result.file);
        const FileWipeOutcome &file = result.file;
        if (file.medium.known) {
            entry.fileSystem = file.medium.fileSystem;
            entry.device = file.medium.device;
            entry.placement = placementId(file.medium.placement);
            entry.verification = verificationId(file.verification);
        }
        if (result.search.status == VolumeSearch::Status::Done) {
            entry.volumeDevice = result.search.device;
            entry.volumeBytesRead = result.search.bytesRead;
            entry.volumeMs = result.search.elapsedMs;
            entry.survivors = result.search.survivors.size();
        }
        static const char *const fills[] = {"", "covered", "filled", "not-covered", "cancelled", "failed", ""};
        entry.fill = QString::fromLatin1(fills[int(result.fill.status)]);
        if (!entry.fill.isEmpty())
            entry.fillBytes = result.fill.bytesWritten;
        if (survivorsRemain(result))
            entry.endState = QStringLiteral("deleted-key-blocks-on-volume");
        else if (result.file.status == FileWipeStatus::Wiped && freedBlocksCleared(result))
            entry.endState = QStringLiteral("wiped-freed-blocks-filled");
    } else {
        const DeviceWipeOutcome &outcome = result.device;
        entry.targetKind = JournalEntry::TargetKind::Token;
        entry.tokenLabel = request.medium->name;
        entry.tokenModel = request.medium->detail;
        entry.tokenSerial = request.medium->serialNumber;
        entry.size = outcome.containerSize > 0 || outcome.passesDone > 0 ? qint64(outcome.containerSize) : -1;
        entry.passesDone = outcome.passesDone;
        entry.endState = deviceEndState(outcome);
    }
    return entry;
}
