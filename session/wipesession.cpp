#include "wipesession.h"

#include "language.h"
#include "stamps.h"
#include "wiperecord.h"
#include "wipetexts.h"
#include "wipeworker.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QUuid>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

namespace {

void appendParagraph(QString &text, const QString &paragraph)
{
    if (!paragraph.isEmpty())
        text = text.isEmpty() ? paragraph : text + QStringLiteral("\n\n") + paragraph;
}

// Names of the file besides this one; 0 where it cannot be told.
quint64 linkCount(const QString &path)
{
#ifdef Q_OS_UNIX
    struct stat st {};
    if (::lstat(QFile::encodeName(path).constData(), &st) == 0 && S_ISREG(st.st_mode))
        return quint64(st.st_nlink);
#else
    Q_UNUSED(path)
#endif
    return 0;
}

QString nativeAbsolutePath(const QString &path)
{
    return QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath());
}

QString targetOf(const WipeRequest &request)
{
    return request.isFile() ? QCoreApplication::translate("WipeSession", "Файл: %1").arg(nativeAbsolutePath(request.path))
                            : QCoreApplication::translate("WipeSession", "Носитель: %1").arg(request.token->describe());
}

} // namespace

QString algorithmPlan(const PassPlan &plan)
{
    return QCoreApplication::translate("WipeSession", "Алгоритм: %1, проходов: %2.").arg(plan.name).arg(plan.passes.size());
}

QString wipePlan(const WipeRequest &request)
{
    if (!request.isFile()) {
        const ListedToken &token = *request.token;
        return QCoreApplication::translate("WipeSession", "Носитель: %1\nМодель: %2\nСерийный номер: %3\n")
                   .arg(token.name, token.detail, token.serialNumber)
            + algorithmPlan(request.plan);
    }
    const QFileInfo file(request.path);
    QString text = QCoreApplication::translate("WipeSession", "Файл: %1\n").arg(nativeAbsolutePath(request.path));
    if (file.exists())
        text += QCoreApplication::translate("WipeSession", "Размер: %1 байт\n", nullptr, pluralKey(file.size()))
                    .arg(programLocale().toString(file.size()));
    text += algorithmPlan(request.plan);
    // Said before the officer confirms: what the medium will not let reach the key.
    QStringList notes = mediumLimitTexts(probeFileMedium(request.path));
    const quint64 links = linkCount(request.path);
    if (links > 1)
        notes << QCoreApplication::translate("WipeSession", "У файла есть и другие имена (жесткие ссылки): %1. Они останутся, но будут вести "
                                             "к пустому файлу.")
                     .arg(links - 1);
    if (request.fillFreed)
        notes << QCoreApplication::translate("WipeSession", "Где проходы лягут не на блоки ключа, свободное место тома будет заполнено: "
                                             "это может занять все свободное место, кроме запаса, и долгое время.");
    if (!notes.isEmpty())
        text += QStringLiteral("\n\n") + notes.join(QLatin1Char(' '));
    return text;
}

namespace {

VolumeSearch search(const KeyFingerprint &key, WipeWorker *worker)
{
    return worker ? worker->searchVolume(key) : searchVolume(key);
}

QString searchDevices(const VolumeSearch &s)
{
    if (!s.devices.isEmpty())
        return s.devices.join(QStringLiteral(", "));
    return s.device.isEmpty() ? QCoreApplication::translate("WipeSession", "неизвестно") : s.device;
}

// One search's sentences: what was read, what was found, what was not read.
// A search that did not read the volume whole gives no count of "none".
QStringList searchTexts(const WipeResult &result, const VolumeSearch &s)
{
    QStringList texts;
    const QLocale locale = programLocale();
    const QString device = searchDevices(s);
    const QString seconds = locale.toString(double(s.elapsedMs) / 1000.0, 'f', 1);
    switch (s.status) {
    case VolumeSearch::Status::Done:
    case VolumeSearch::Status::Incomplete: {
        const QString read = s.status == VolumeSearch::Status::Done
            ? QCoreApplication::translate("WipeSession", "Том %1 прочитан целиком (%2 за %3 с)")
                  .arg(device, locale.formattedDataSize(s.bytesRead), seconds)
            : QCoreApplication::translate("WipeSession", "Прочитано только %1 (%2 за %3 с)")
                  .arg(device, locale.formattedDataSize(s.bytesRead), seconds);
        if (s.survivors.isEmpty()) {
            texts << QCoreApplication::translate("WipeSession", "%1: блоков ключа не найдено.").arg(read);
        } else {
            QStringList offsets;
            for (int i = 0; i < qMin(5, s.survivors.size()); ++i)
                offsets << (i < s.survivorDevices.size() && s.devices.size() > 1
                                ? QStringLiteral("%1:%2").arg(s.survivorDevices.at(i)).arg(s.survivors.at(i))
                                : QString::number(s.survivors.at(i)));
            texts << QCoreApplication::translate("WipeSession", "%1: найдено блоков ключа: %2 (смещения на устройстве: %3%4).")
                         .arg(read)
                         .arg(s.survivors.size())
                         .arg(offsets.join(QStringLiteral(", ")),
                              s.survivors.size() > 5 ? QStringLiteral(", …") : QString());
            if (result.file.medium.limits & LimitShared)
                texts << QCoreApplication::translate("WipeSession", "Эти блоки держит другой файл или снимок файловой системы: заполнение "
                            "свободного места до них не доходит.");
        }
        if (!s.devicesNotRead.isEmpty())
            texts << QCoreApplication::translate("WipeSession", "Не прочитаны устройства той же файловой системы: %1.")
                         .arg(s.devicesNotRead.join(QStringLiteral("; ")));
        break;
    }
    case VolumeSearch::Status::NoPermission:
        texts << QCoreApplication::translate("WipeSession", "Том %1 не проверен: нет доступа к устройству %2.").arg(device, wipetexts::systemReason(s.error));
        break;
    case VolumeSearch::Status::NoDevice:
        texts << QCoreApplication::translate("WipeSession", "Том не проверен: устройство под файловой системой неизвестно.");
        break;
    case VolumeSearch::Status::Cancelled:
        texts << QCoreApplication::translate("WipeSession", "Проверка тома %1 отменена после %2: том не проверен.")
                     .arg(device, locale.formattedDataSize(s.bytesRead));
        break;
    case VolumeSearch::Status::Failed:
        texts << QCoreApplication::translate("WipeSession", "Том %1 проверить не удалось %2.").arg(device, wipetexts::systemReason(s.error));
        break;
    case VolumeSearch::Status::NotAvailable:
        texts << QCoreApplication::translate("WipeSession", "Проверка тома в этой системе недоступна.");
        break;
    case VolumeSearch::Status::NotRun:
        break;
    }
    return texts;
}

// What was read of the volume, filled and found, for the report.
QStringList volumeTexts(const WipeResult &result)
{
    QStringList texts;
    const FreedFill &fill = result.fill;
    const QLocale locale = programLocale();
    const QString written = locale.formattedDataSize(fill.bytesWritten);
    switch (fill.status) {
    case FreedFill::Status::Covered:
        texts << QCoreApplication::translate("WipeSession", "Свободное место заполнено (%1): заполнение заняло все блоки, где лежал ключ (%2); "
                    "файл заполнения удален.")
                     .arg(written)
                     .arg(fill.rangesTotal);
        break;
    case FreedFill::Status::Filled:
        texts << (fill.bytesWritten > 0
                      ? QCoreApplication::translate("WipeSession", "Свободное место заполнено (%1); файл заполнения удален.").arg(written)
                      : QCoreApplication::translate("WipeSession", "Свободного места сверх запаса на томе нет: ничего не записано."));
        break;
    case FreedFill::Status::NotCovered:
        if (fill.journalBytes != 0)
            texts << (fill.journalBytes > 0
                          ? QCoreApplication::translate("WipeSession", "Свободное место заполнено до запаса (%1), но это меньше журнала файловой "
                                "системы (%2): копии ключа в журнале могли остаться; файл заполнения удален.")
                                .arg(written, locale.formattedDataSize(fill.journalBytes))
                          : QCoreApplication::translate("WipeSession", "Свободное место заполнено до запаса (%1), но размер журнала файловой "
                                "системы узнать не удалось: копии ключа в журнале могли остаться; файл заполнения удален.")
                                .arg(written));
        else
            texts << QCoreApplication::translate("WipeSession", "Свободное место заполнено до запаса (%1), но заполнение заняло только %2 из %n "
                        "блоков, где лежал ключ; файл заполнения удален.", nullptr, fill.rangesTotal)
                         .arg(written)
                         .arg(fill.rangesCovered);
        break;
    case FreedFill::Status::Cancelled:
        texts << QCoreApplication::translate("WipeSession", "Заполнение свободного места отменено; файл заполнения удален.");
        break;
    case FreedFill::Status::Failed:
        texts << QCoreApplication::translate("WipeSession", "Заполнить свободное место не удалось %1. Файл заполнения удален.")
                     .arg(wipetexts::systemReason(fill.error));
        break;
    case FreedFill::Status::NotAvailable:
        texts << QCoreApplication::translate("WipeSession", "Заполнение свободного места в этой системе недоступно.");
        break;
    case FreedFill::Status::NotRun:
        break;
    }
    if (fill.leftoversRemoved > 0)
        texts << QCoreApplication::translate("WipeSession", "Удалены файлы заполнения, оставшиеся от прерванного ранее заполнения: %1 (%2).")
                     .arg(fill.leftoversRemoved)
                     .arg(locale.formattedDataSize(fill.leftoverBytes));
    // A count from before the fill only where that search read the volume whole.
    if (result.searchBeforeFill.status == VolumeSearch::Status::Done)
        texts << QCoreApplication::translate("WipeSession", "До заполнения на томе было найдено блоков ключа: %1.")
                     .arg(result.searchBeforeFill.survivors.size());
    texts << searchTexts(result, result.search);
    const KeyReach &reach = result.reach;
    if (reach.unmappedBlocks > 0 && (result.search.status != VolumeSearch::Status::NotRun
                                     || fill.status != FreedFill::Status::NotRun)) {
        QString how = reach.compressed && reach.inlineData
            ? QCoreApplication::translate("WipeSession", "сжатыми и в служебных записях файловой системы")
            : reach.compressed ? QCoreApplication::translate("WipeSession", "сжатыми")
            : reach.inlineData ? QCoreApplication::translate("WipeSession", "в служебных записях файловой системы")
                               : QCoreApplication::translate("WipeSession", "там, где файловая система их не показывает");
        texts << QCoreApplication::translate("WipeSession", "Блоков ключа, хранившихся %1: %2 из %3. Их копии поиск не узнает, а "
                    "заполнение не может найти.")
                     .arg(how)
                     .arg(reach.unmappedBlocks)
                     .arg(reach.unmappedBlocks + reach.mappedBlocks);
    }
    if (result.search.status == VolumeSearch::Status::Done || result.search.status == VolumeSearch::Status::Incomplete)
        texts << QCoreApplication::translate("WipeSession", "Поиск узнает только целые блоки нынешнего содержимого ключа на границах блоков "
                    "тома: прежние версии файла (например, сохраненные заменой), сжатые копии и копии на "
                    "непрочитанных устройствах он не находит.");
    return texts;
}

// The report of a state: its own main text, or the failed step's.
WipeReport reportOf(EndState state, const StepReport &step, bool file)
{
    const QString text = stateText(state, file);
    return {severityOf(state), text.isEmpty() ? step.text : text, QString()};
}

// Whatever the wipe did, nothing is claimed of it when its ending entry is
// not on the medium: the box says so, and what was done follows it.
void tellEndNotRecorded(WipeResult &result, const QString &why)
{
    result.told = EndState::EndNotRecorded;
    QString informative = result.report.text;
    appendParagraph(informative, result.report.informative);
    appendParagraph(informative, why);
    result.report = {severityOf(result.told), stateText(result.told, true), informative};
}

// The authority's stamp of the ending just written, within a few seconds; a
// stamp not had is owed, and the box says so in one line.
void stampEnding(WipeResult &result, const TimestampSettings &settings, const JournalRecord &written)
{
    QString why;
    if (!timestamp::supported())
        why = timestamp::notSupported();
    else if (result.journalled)
        why = stamps::stampEntry(Journal(), written, settings, result.entry.interface);
    if (!why.isEmpty())
        appendParagraph(result.report.informative,
                        QCoreApplication::translate("WipeSession", "Метка времени отложена: %1").arg(why));
}

// The verdict, the report it heads and its journal entry: decided here only.
void reportAndJournal(const WipeRequest &request, WipeResult &result, bool amends = false)
{
    result.verdict = judgeWipe(request, result);
    result.told = result.verdict.state;
    const bool started = result.verdict.state != EndState::NotStartedNoRecord;
    const StepReport step = !started        ? StepReport()
        : request.isFile() ? fileWipeReport(result.file, request.path)
                           : tokenWipeReport(result.token);
    result.report = reportOf(result.verdict.state, step, request.isFile());
    QString informative = result.summary;
    appendParagraph(informative, step.facts);
    appendParagraph(informative, volumeTexts(result).join(QLatin1Char(' ')));
    result.report.informative = informative;
    if (!started) {
        // No begun entry, so no attempt to end: the reason is the record.
        appendParagraph(result.report.informative, result.begunNotJournalled);
        return;
    }

    result.entry = journalEntry(request, result);
    result.entry.attempt = result.attempt;
    result.entry.started = result.started;
    if (!result.begunNotJournalled.isEmpty())
        appendParagraph(result.report.informative,
                        QCoreApplication::translate("WipeSession", "Начало удаления в журнал не записано: %1").arg(result.begunNotJournalled));
    if (result.systemLogDropped)
        appendParagraph(result.report.informative,
                        QCoreApplication::translate("WipeSession", "Системный журнал не принял сообщение о начале удаления за секунду: оно не отправлено."));
    QString why;
    result.entry.resultInformative = result.report.informative;
    const TimestampSettings stampSettings = loadTimestampSettings();
    result.entry.stampAsked = stampSettings.configured() && timestamp::supported();
    bool dropped = false;
    JournalRecord stored;
    result.journalled = Journal().append(result.entry, &why, &dropped, &stored);
    if (result.journalled) {
        result.sequence = stored.sequence;
        result.entryHash = stored.hash;
    }
    // The officer who chose to go on without a record hears why, and keeps the claim.
    if (!result.journalled && !result.withoutRecord)
        tellEndNotRecorded(result, why);
    else if (!result.journalled)
        appendParagraph(result.report.informative, why);
    if (dropped)
        appendParagraph(result.report.informative,
                        QCoreApplication::translate("WipeSession", "Системный журнал не принял сообщение об этом удалении за секунду: оно не отправлено."));
    else if (amends)
        appendParagraph(result.report.informative,
                        QCoreApplication::translate("WipeSession", "Запись журнала об этом удалении дополнена."));
    if (stampSettings.configured())
        stampEnding(result, stampSettings, stored);
}

// Whether the volume holds swap that a file system in memory can page out to.
bool swapInUse()
{
    QFile swaps(QStringLiteral("/proc/swaps"));
    if (!swaps.open(QIODevice::ReadOnly))
        return true; // unknown counts as possible
    return swaps.readAll().count('\n') > 1;
}

} // namespace

namespace {

void fillFreedSpace(const WipeRequest &request, WipeResult &result, WipeWorker *worker)
{
    const KeyFingerprint &key = *result.file.key;
    // A copy or snapshot that shares the blocks keeps them, and an overlay's
    // lower file is a live file: no fill reaches either.
    if ((result.file.medium.limits & LimitShared) || !result.file.medium.lowerCopy.isEmpty())
        return;
    result.fill = worker ? worker->fillFreedBlocks(key) : fillFreedBlocks(key);
    if (result.search.status != VolumeSearch::Status::NotRun || request.searchVolume) {
        result.searchBeforeFill = result.search;
        result.search = search(key, worker);
    }
}

} // namespace

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
    bool dropped = false;
    if (!Journal().append(begun, &why, &dropped)) {
        result.begunNotJournalled = why;
        // No wipe without its record, unless the officer says so; the system
        // log hears of that choice.
        result.withoutRecord = request.goOnWithoutRecord && request.goOnWithoutRecord(why);
        if (!result.withoutRecord) {
            result.summary = QCoreApplication::translate("WipeSession", "%1\nАлгоритм: %2").arg(targetOf(request), request.plan.name);
            reportAndJournal(request, result);
            return result;
        }
        Journal::reportWithoutRecord(begun, why);
    }
    result.systemLogDropped = dropped;
    // Each pass on the medium is recorded, so an interrupted attempt says how far it got.
    const PassObserver passDone = [&](int index, const WipePass &) {
        if (result.withoutRecord)
            return;
        JournalEntry progress = begun;
        progress.phase = JournalEntry::Phase::Progress;
        progress.time = QDateTime();
        progress.passesDone = index + 1;
        Journal().append(progress);
    };
    int passesDone = 0;
    if (request.isFile()) {
        const bool fingerprint = request.searchVolume || request.fillFreed;
        result.file = worker ? worker->wipeFile(request.plan, request.path, fingerprint, passDone)
                             : overwriteFile(request.plan, request.path, passDone, request.listener, fingerprint);
        passesDone = result.file.passesDone;
    } else {
        const MediaRecord &record = request.token->record;
        result.token = worker ? worker->wipeToken(request.plan, record, request.pin)
                               : overwriteTokenContainer(request.plan, &record, request.pin, request.tokenPassStarted);
        passesDone = result.token.passesDone;
    }
    // A file that held no data had nothing to pass over: no count of passes for it.
    const bool nothingToOverwrite = request.isFile() && result.file.status == FileWipeStatus::Wiped
        && result.file.allocatedBytes == 0;
    const QString passes = nothingToOverwrite
        ? QCoreApplication::translate("WipeSession", "Проходов на носителе: не понадобилось, данных в файле не было")
        : QCoreApplication::translate("WipeSession", "Проходов на носителе: %1 из %2")
              .arg(QString::number(passesDone), QString::number(request.plan.passes.size()));
    // One multi-argument arg: a '%1' in a file name or token label stays text.
    result.summary = QCoreApplication::translate("WipeSession", "%1\nАлгоритм: %2\n%3\nВремя: %4 с")
                         .arg(targetOf(request), request.plan.name, passes,
                              programLocale().toString(double(clock.elapsed()) / 1000.0, 'f', 2));

    const KeyFingerprintPtr key = result.file.key;
    if (request.isFile() && result.file.status == FileWipeStatus::Wiped) {
        if (result.file.medium.limits & LimitMemory)
            result.swapInUse = swapInUse();
        if (key) {
            result.reach = keyReach(*key);
            if (request.searchVolume)
                result.search = search(*key, worker);
            const bool moved = result.file.medium.placement == Placement::Relocating
                || (result.search.status != VolumeSearch::Status::NotRun && !result.search.survivors.isEmpty());
            if (request.fillFreed && moved)
                fillFreedSpace(request, result, worker);
        } else if (request.searchVolume) {
            result.search.status = VolumeSearch::Status::Failed;
            result.search.error = QCoreApplication::translate("WipeSession", "отпечаток ключа не снят");
        }
    }
    reportAndJournal(request, result);
    return result;
}

std::optional<WipeResult> refusedBeforeAsking(const WipeRequest &request)
{
    if (!request.isFile())
        return std::nullopt;
    const std::optional<FileWipeOutcome> refusal = refusalOfFile(request.path);
    if (!refusal)
        return std::nullopt;
    WipeResult result;
    result.file = *refusal;
    result.file.passesPlanned = request.plan.passes.size();
    result.verdict = judgeWipe(request, result);
    result.told = result.verdict.state;
    result.summary = QCoreApplication::translate("WipeSession", "%1\nАлгоритм: %2").arg(targetOf(request), request.plan.name);
    const StepReport step = fileWipeReport(result.file, request.path);
    result.report = reportOf(result.told, step, true);
    result.report.informative = result.summary;
    appendParagraph(result.report.informative, step.facts);
    return result;
}

void fillAndSearchAgain(const WipeRequest &request, WipeResult &result, WipeWorker *worker)
{
    if (!request.isFile() || !result.file.key)
        return;
    fillFreedSpace(request, result, worker);
    // One attempt, one ending: this entry amends the one the box came from.
    reportAndJournal(request, result, true);
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
