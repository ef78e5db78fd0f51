#include "wipesession.h"

#include "language.h"
#include "wiperecord.h"
#include "wipeworker.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLocale>

namespace {

void appendParagraph(QString &text, const QString &paragraph)
{
    if (!paragraph.isEmpty())
        text = text.isEmpty() ? paragraph : text + QStringLiteral("\n\n") + paragraph;
}

QString nativeAbsolutePath(const QString &path)
{
    return QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath());
}

} // namespace

bool WipeResult::destroyed() const
{
    // A replaced container is gone all the same.
    return entry.targetKind == JournalEntry::TargetKind::File ? file.status == FileWipeStatus::Wiped
                                                              : device.status == DeviceWipeStatus::Wiped;
}

QString algorithmPlan(WipeAlgorithm algorithm)
{
    return QCoreApplication::translate("WipeRecord", "Алгоритм: %1, проходов: %2.").arg(wipeAlgorithmName(algorithm)).arg(wipeSchedule(algorithm).size());
}

QString wipePlan(const WipeRequest &request)
{
    if (!request.isFile()) {
        const ListedMedium &medium = *request.medium;
        return QCoreApplication::translate("WipeRecord", "Носитель: %1\nМодель: %2\nСерийный номер: %3\n")
                   .arg(medium.name, medium.detail, medium.serialNumber)
            + algorithmPlan(request.algorithm);
    }
    const QFileInfo file(request.path);
    QString text = QCoreApplication::translate("WipeRecord", "Файл: %1\n").arg(nativeAbsolutePath(request.path));
    if (file.exists())
        text += QCoreApplication::translate("WipeRecord", "Размер: %1 байт\n").arg(programLocale().toString(file.size()));
    text += algorithmPlan(request.algorithm);
    // Said before the officer confirms: what the medium will not let reach the key.
    const QStringList limits = mediumLimitTexts(probeFileMedium(request.path));
    if (!limits.isEmpty())
        text += QStringLiteral("\n\n") + limits.join(QLatin1Char(' '));
    return text;
}

WipeResult runWipeSession(const WipeRequest &request, WipeWorker *worker)
{
    WipeResult result;
    QElapsedTimer clock;
    clock.start();
    QString target;
    int passesDone = 0;
    if (request.isFile()) {
        result.file = worker ? worker->wipeFile(request.algorithm, request.path)
                             : overwriteFile(request.algorithm, request.path);
        result.report = fileWipeReport(result.file, request.path);
        target = QCoreApplication::translate("WipeRecord", "Файл: %1").arg(nativeAbsolutePath(request.path));
        passesDone = result.file.passesDone;
    } else {
        const MediaRecord &record = request.medium->record;
        result.device = worker ? worker->wipeMedium(request.algorithm, record, request.pin)
                               : overwriteMediaContainer(request.algorithm, &record, request.pin);
        result.report = deviceWipeReport(result.device);
        target = QCoreApplication::translate("WipeRecord", "Носитель: %1").arg(request.medium->describe());
        passesDone = result.device.passesDone;
    }

    // One multi-argument arg: a '%1' in a file name or token label stays text.
    result.summary = QCoreApplication::translate("WipeRecord", "%1\nАлгоритм: %2\nПроходов на носителе: %3 из %4\nВремя: %5 с")
                         .arg(target, wipeAlgorithmName(request.algorithm), QString::number(passesDone),
                              QString::number(wipeSchedule(request.algorithm).size()),
                              programLocale().toString(double(clock.elapsed()) / 1000.0, 'f', 2));
    QString informative = result.summary;
    appendParagraph(informative, result.report.informative);
    result.report.informative = informative;

    result.entry = journalEntry(request, result);
    QString why;
    result.journalled = Journal().append(result.entry, &why);
    // The officer must know when the attempt is not on record.
    if (!result.journalled)
        appendParagraph(result.report.informative, QCoreApplication::translate("WipeRecord", "Запись в журнал уничтожения не сделана: %1").arg(why));
    return result;
}

void forgetPin(QString &pin)
{
    // Sole owner: zeroed where it lies. A buffer someone else still holds is
    // theirs and is left alone.
    if (pin.isDetached()) {
        for (QChar &c : pin)
            c = QChar();
    }
    pin.clear();
}
