#include "wipesession.h"

#include "language.h"
#include "wiperecord.h"
#include "wipetexts.h"
#include "wipeworker.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLocale>
#include <QUuid>

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
                                                              : token.status == TokenWipeStatus::Wiped;
}

QString algorithmPlan(WipeAlgorithm algorithm)
{
    return QCoreApplication::translate("WipeRecord", "Алгоритм: %1, проходов: %2.").arg(wipeAlgorithmName(algorithm)).arg(wipeSchedule(algorithm).size());
}

QString wipePlan(const WipeRequest &request)
{
    if (!request.isFile()) {
        const ListedToken &token = *request.token;
        return QCoreApplication::translate("WipeRecord", "Носитель: %1\nМодель: %2\nСерийный номер: %3\n")
                   .arg(token.name, token.detail, token.serialNumber)
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

namespace {

VolumeSearch search(const KeyFingerprint &key, WipeWorker *worker)
{
    return worker ? worker->searchVolume(key) : searchVolume(key);
}

// What was read of the volume and what was found, for the report.
QStringList volumeTexts(const WipeResult &result)
{
    QStringList texts;
    const FreedFill &fill = result.fill;
    const QLocale locale = programLocale();
    switch (fill.status) {
    case FreedFill::Status::Covered:
        texts << QCoreApplication::translate("WipeRecord", "Свободное место заполнено (%1): заполнение заняло все блоки, где лежал ключ (%2); "
                    "файл заполнения удалён.")
                     .arg(locale.formattedDataSize(fill.bytesWritten))
                     .arg(fill.rangesTotal);
        break;
    case FreedFill::Status::Filled:
        texts << QCoreApplication::translate("WipeRecord", "Свободное место заполнено (%1) через журнал файловой системы; файл заполнения удалён.")
                     .arg(locale.formattedDataSize(fill.bytesWritten));
        break;
    case FreedFill::Status::NotCovered:
        texts << QCoreApplication::translate("WipeRecord", "Свободное место заполнено до запаса (%1), но заполнение заняло только %2 из %3 "
                    "блоков, где лежал ключ; файл заполнения удалён.")
                     .arg(locale.formattedDataSize(fill.bytesWritten))
                     .arg(fill.rangesCovered)
                     .arg(fill.rangesTotal);
        break;
    case FreedFill::Status::Cancelled:
        texts << QCoreApplication::translate("WipeRecord", "Заполнение свободного места отменено; файл заполнения удалён.");
        break;
    case FreedFill::Status::Failed:
        texts << QCoreApplication::translate("WipeRecord", "Заполнить свободное место не удалось: %1. Файл заполнения удалён.").arg(fill.error);
        break;
    case FreedFill::Status::NotAvailable:
        texts << QCoreApplication::translate("WipeRecord", "Заполнение свободного места в этой системе недоступно.");
        break;
    case FreedFill::Status::NotRun:
        break;
    }
    if (result.survivorsBeforeFill >= 0)
        texts << QCoreApplication::translate("WipeRecord", "До заполнения на томе было найдено блоков ключа: %1.").arg(result.survivorsBeforeFill);
    const VolumeSearch &s = result.search;
    const QString device = s.device.isEmpty() ? QCoreApplication::translate("WipeRecord", "неизвестно") : s.device;
    switch (s.status) {
    case VolumeSearch::Status::Done:
        if (s.survivors.isEmpty()) {
            texts << QCoreApplication::translate("WipeRecord", "Том %1 прочитан целиком (%2 за %3 с): блоков ключа на нём не найдено.")
                         .arg(device, locale.formattedDataSize(s.bytesRead),
                              locale.toString(double(s.elapsedMs) / 1000.0, 'f', 1));
        } else {
            QStringList offsets;
            for (int i = 0; i < qMin(5, s.survivors.size()); ++i)
                offsets << QString::number(s.survivors.at(i));
            texts << QCoreApplication::translate("WipeRecord", "Том %1 прочитан целиком (%2 за %3 с): найдено блоков ключа: %4 (смещения на "
                        "устройстве: %5%6).")
                         .arg(device, locale.formattedDataSize(s.bytesRead),
                              locale.toString(double(s.elapsedMs) / 1000.0, 'f', 1))
                         .arg(s.survivors.size())
                         .arg(offsets.join(QStringLiteral(", ")),
                              s.survivors.size() > 5 ? QStringLiteral(", …") : QString());
            if (result.file.medium.limits & LimitShared)
                texts << QCoreApplication::translate("WipeRecord", "Эти блоки держит другой файл или снимок файловой системы: заполнение "
                            "свободного места до них не доходит.");
        }
        break;
    case VolumeSearch::Status::NoPermission:
        texts << QCoreApplication::translate("WipeRecord", "Том %1 не проверен: чтение устройства требует прав root или членства в группе "
                    "disk.")
                     .arg(device);
        break;
    case VolumeSearch::Status::NoDevice:
        texts << QCoreApplication::translate("WipeRecord", "Том не проверен: устройство под файловой системой неизвестно.");
        break;
    case VolumeSearch::Status::Cancelled:
        texts << QCoreApplication::translate("WipeRecord", "Проверка тома %1 отменена после %2.").arg(device, locale.formattedDataSize(s.bytesRead));
        break;
    case VolumeSearch::Status::Failed:
        texts << QCoreApplication::translate("WipeRecord", "Том %1 проверить не удалось: %2.").arg(device, s.error);
        break;
    case VolumeSearch::Status::NotAvailable:
        texts << QCoreApplication::translate("WipeRecord", "Проверка тома в этой системе недоступна.");
        break;
    case VolumeSearch::Status::NotRun:
        break;
    }
    return texts;
}

// The report from the outcomes, headed by the summary, and its journal entry.
void reportAndJournal(const WipeRequest &request, WipeResult &result)
{
    result.report = request.isFile() ? fileWipeReport(result.file, request.path) : tokenWipeReport(result.token);
    if (survivorsRemain(result)) {
        result.report.severity = Severity::Warning;
        result.report.text = wipetexts::survivorsFound();
    } else if (request.isFile() && result.file.status == FileWipeStatus::Wiped && freedBlocksCleared(result)) {
        // The fill overwrote what the passes left: the key's blocks are gone.
        result.report.severity = Severity::Information;
        result.report.text = wipetexts::wiped();
    }
    QString informative = result.summary;
    appendParagraph(informative, result.report.informative);
    appendParagraph(informative, volumeTexts(result).join(QLatin1Char(' ')));
    result.report.informative = informative;

    result.entry = journalEntry(request, result);
    result.entry.attempt = result.attempt;
    result.entry.started = result.started;
    QString why;
    result.journalled = Journal().append(result.entry, &why);
    // The officer must know when the attempt is not on record.
    if (!result.journalled)
        appendParagraph(result.report.informative, QCoreApplication::translate("WipeRecord", "Запись в журнал уничтожения не сделана: %1").arg(why));
}

} // namespace

bool survivorsRemain(const WipeResult &result)
{
    return (result.search.status == VolumeSearch::Status::Done && !result.search.survivors.isEmpty())
        || result.fill.status == FreedFill::Status::NotCovered;
}

bool freedBlocksCleared(const WipeResult &result)
{
    if (survivorsRemain(result))
        return false;
    return result.fill.status == FreedFill::Status::Covered
        || (result.fill.status == FreedFill::Status::Filled && result.search.status == VolumeSearch::Status::Done);
}

WipeResult runWipeSession(const WipeRequest &request, WipeWorker *worker)
{
    WipeResult result;
    QElapsedTimer clock;
    clock.start();
    // On the medium before the first pass: however the wipe ends, even with
    // the process killed or the power cut, the attempt is on record.
    result.attempt = QUuid::createUuid().toString(QUuid::WithoutBraces);
    QString why;
    JournalEntry begun = begunEntry(request, result.attempt);
    begun.time = QDateTime::currentDateTime();
    result.started = begun.time;
    if (!Journal().append(begun, &why))
        result.begunNotJournalled = why;
    QString target;
    int passesDone = 0;
    if (request.isFile()) {
        const bool fingerprint = request.searchVolume || request.fillFreed;
        result.file = worker ? worker->wipeFile(request.algorithm, request.path, fingerprint)
                             : overwriteFile(request.algorithm, request.path, {}, request.listener, fingerprint);
        target = QCoreApplication::translate("WipeRecord", "Файл: %1").arg(nativeAbsolutePath(request.path));
        passesDone = result.file.passesDone;
    } else {
        const MediaRecord &record = request.token->record;
        result.token = worker ? worker->wipeToken(request.algorithm, record, request.pin)
                               : overwriteTokenContainer(request.algorithm, &record, request.pin);
        target = QCoreApplication::translate("WipeRecord", "Носитель: %1").arg(request.token->describe());
        passesDone = result.token.passesDone;
    }
    // One multi-argument arg: a '%1' in a file name or token label stays text.
    result.summary = QCoreApplication::translate("WipeRecord", "%1\nАлгоритм: %2\nПроходов на носителе: %3 из %4\nВремя: %5 с")
                         .arg(target, wipeAlgorithmName(request.algorithm), QString::number(passesDone),
                              QString::number(wipeSchedule(request.algorithm).size()),
                              programLocale().toString(double(clock.elapsed()) / 1000.0, 'f', 2));

    const KeyFingerprintPtr key = result.file.key;
    if (request.isFile() && result.file.status == FileWipeStatus::Wiped && key) {
        if (request.searchVolume)
            result.search = search(*key, worker);
        const bool moved = result.file.medium.placement == Placement::Relocating
            || (result.search.status == VolumeSearch::Status::Done && !result.search.survivors.isEmpty());
        if (request.fillFreed && moved)
            fillAndSearchAgain(request, result, worker);
    }
    reportAndJournal(request, result);
    return result;
}

void fillAndSearchAgain(const WipeRequest &request, WipeResult &result, WipeWorker *worker)
{
    const KeyFingerprintPtr key = result.file.key;
    if (!request.isFile() || !key)
        return;
    // A copy or snapshot that shares the blocks keeps them: no fill reaches them.
    if (!(result.file.medium.limits & LimitShared)) {
        result.fill = worker ? worker->fillFreedBlocks(*key) : fillFreedBlocks(*key);
        if (result.search.status != VolumeSearch::Status::NotRun) {
            result.survivorsBeforeFill = result.search.survivors.size();
            result.search = search(*key, worker);
        }
    }
    if (result.entry.endState.isEmpty())
        return; // the session reports once it is done
    reportAndJournal(request, result);
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
