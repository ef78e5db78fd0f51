#include "wiperecord.h"

#include "language.h"
#include "medialist.h"

#include <QDir>
#include <QFileInfo>
#include <QCoreApplication>
#include <QLocale>

namespace {

QString planLine(WipeAlgorithm algorithm)
{
    return QCoreApplication::translate("WipeRecord", "Алгоритм: %1, проходов: %2.")
        .arg(wipeAlgorithmName(algorithm))
        .arg(wipeSchedule(algorithm).size());
}

} // namespace

QString TokenTarget::describe() const
{
    return QStringLiteral("%1 (%2, S/N %3)").arg(label, model, serial);
}

TokenTarget describeToken(const MediaRecord &media)
{
    TokenTarget token;
    velmux_ctx context = 0;
    if (VELMUX_FAILED(velmux_create_ctx(&context, media.mediaType)))
        return token;
    MediaInfo info = {};
    info.size = sizeof(MediaInfo);
    if (VELMUX_SUCCEEDED(velmux_get_media_info(context, &media, &info))) {
        token.label = mediaInfoText(info.name, sizeof info.name);
        token.model = mediaInfoText(info.detail, sizeof info.detail);
        token.serial = mediaInfoText(info.serialNumber, sizeof info.serialNumber);
    }
    velmux_destroy_ctx(context);
    return token;
}

QString fileWipePlan(const QString &path, WipeAlgorithm algorithm)
{
    const QFileInfo file(path);
    QString text = QCoreApplication::translate("WipeRecord", "Файл: %1\n").arg(QDir::toNativeSeparators(file.absoluteFilePath()));
    if (file.exists())
        text += QCoreApplication::translate("WipeRecord", "Размер: %1 байт\n").arg(programLocale().toString(file.size()));
    return text + planLine(algorithm);
}

QString tokenWipePlan(const TokenTarget &token, WipeAlgorithm algorithm)
{
    return QCoreApplication::translate("WipeRecord", "Носитель: %1\nМодель: %2\nСерийный номер: %3\n")
               .arg(token.label, token.model, token.serial)
        + planLine(algorithm);
}

void addSummary(wipemessages::Report &report, const QString &target, WipeAlgorithm algorithm,
                int passesDone, qint64 elapsedMs)
{
    // One multi-argument arg: a '%1' in a file name or token label stays text.
    const QString summary =
        QCoreApplication::translate("WipeRecord", "%1\nАлгоритм: %2\nПроходов на носителе: %3 из %4\nВремя: %5 с")
            .arg(target, wipeAlgorithmName(algorithm), QString::number(passesDone),
                 QString::number(wipeSchedule(algorithm).size()),
                 programLocale().toString(double(elapsedMs) / 1000.0, 'f', 2));
    report.informative = report.informative.isEmpty() ? summary : summary + QStringLiteral("\n\n") + report.informative;
}

QString fileEndState(const FileWipeOutcome &outcome)
{
    switch (outcome.status) {
    case FileWipeStatus::Wiped:
        return outcome.otherNames > 0 ? QStringLiteral("wiped-other-names-remain") : QStringLiteral("wiped");
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
    case FileWipeStep::Cancelled:
        return outcome.bytesWritten ? QStringLiteral("cancelled-incomplete-kept") : QStringLiteral("cancelled-untouched");
    default:
        break;
    }
    return outcome.bytesWritten ? QStringLiteral("incomplete-kept") : QStringLiteral("untouched");
}

QString tokenEndState(const DeviceWipeOutcome &outcome)
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

namespace {

// What every entry says of the attempt, whatever its target.
JournalEntry attemptEntry(WipeAlgorithm algorithm, const wipemessages::Report &report,
                          JournalEntry::Interface via)
{
    JournalEntry entry;
    entry.interface = via;
    entry.algorithmName = wipeAlgorithmName(algorithm);
    entry.algorithmIndex = int(algorithm);
    entry.passesPlanned = wipeSchedule(algorithm).size();
    entry.resultText = report.text;
    entry.resultInformative = report.informative;
    return entry;
}

} // namespace

JournalEntry fileJournalEntry(const QString &path, WipeAlgorithm algorithm, const FileWipeOutcome &outcome,
                              const wipemessages::Report &report, JournalEntry::Interface via)
{
    JournalEntry entry = attemptEntry(algorithm, report, via);
    entry.targetKind = JournalEntry::TargetKind::File;
    entry.filePath = QFileInfo(path).absoluteFilePath();
    entry.size = outcome.size;
    entry.passesDone = outcome.passesCompleted;
    entry.endState = fileEndState(outcome);
    return entry;
}

JournalEntry tokenJournalEntry(const TokenTarget &token, WipeAlgorithm algorithm,
                               const DeviceWipeOutcome &outcome, const wipemessages::Report &report,
                               JournalEntry::Interface via)
{
    JournalEntry entry = attemptEntry(algorithm, report, via);
    entry.targetKind = JournalEntry::TargetKind::Token;
    entry.tokenLabel = token.label;
    entry.tokenModel = token.model;
    entry.tokenSerial = token.serial;
    entry.size = outcome.containerSize > 0 || outcome.passesWritten > 0 ? qint64(outcome.containerSize) : -1;
    entry.passesDone = outcome.passesWritten;
    entry.endState = tokenEndState(outcome);
    return entry;
}

void recordInJournal(const JournalEntry &entry, wipemessages::Report &report)
{
    QString why;
    if (Journal().append(entry, &why))
        return;
    const QString failed = QCoreApplication::translate("WipeRecord", "Запись в журнал уничтожения не сделана: %1").arg(why);
    report.informative = report.informative.isEmpty() ? failed : report.informative + QStringLiteral("\n\n") + failed;
}
