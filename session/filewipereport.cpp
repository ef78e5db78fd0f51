#include "wipereport.h"

#include "language.h"
#include "wipetexts.h"

#include <QCoreApplication>
#include <QDir>

namespace {

QString quoted(const QString &path)
{
    return QCoreApplication::translate("FileWipeReport", "«%1»").arg(QDir::toNativeSeparators(path));
}

QString refusalText(const FileWipeOutcome &outcome, const QString &name)
{
    switch (outcome.refusal) {
    case FileRefusal::Directory:
        return QCoreApplication::translate("FileWipeReport", "%1 — это каталог, а не файл.").arg(name);
    case FileRefusal::SymbolicLink:
        return QCoreApplication::translate("FileWipeReport", "%1 — символическая ссылка на %2. Ссылка не может быть ключевым "
                              "контейнером: укажите сам файл.")
            .arg(name, quoted(outcome.linkTarget));
    case FileRefusal::Fifo:
        return QCoreApplication::translate("FileWipeReport", "%1 — именованный канал, а не файл.").arg(name);
    case FileRefusal::Socket:
        return QCoreApplication::translate("FileWipeReport", "%1 — сокет, а не файл.").arg(name);
    case FileRefusal::Device:
        return QCoreApplication::translate("FileWipeReport", "%1 — устройство, а не файл.").arg(name);
    case FileRefusal::UnencodableName:
        return QCoreApplication::translate("FileWipeReport", "Путь содержит символы, которые не могут входить в имя файла в этой "
                              "системе.");
    case FileRefusal::Swapped:
        return QCoreApplication::translate("FileWipeReport", "Имя %1 было подменено другим объектом во время открытия.").arg(name);
    case FileRefusal::Other:
    case FileRefusal::None:
        break;
    }
    return QCoreApplication::translate("FileWipeReport", "%1 не является обычным файлом.").arg(name);
}

QString reason(const FileWipeOutcome &outcome)
{
    return outcome.systemError.isEmpty()
        ? QString()
        : QLatin1Char(' ') + wipetexts::systemReason(outcome.systemError);
}

// Who had the file open, where the system told: "gpg-agent (PID 812)".
QString holdersText(const FileWipeOutcome &outcome)
{
    QStringList names;
    for (const FileHolder &h : outcome.holders)
        names << (h.name.isEmpty()
                      ? QCoreApplication::translate("FileWipeReport", "PID %1").arg(h.pid)
                      : QCoreApplication::translate("FileWipeReport", "%1 (PID %2)").arg(h.name).arg(h.pid));
    return names.join(QStringLiteral(", "));
}

// What stayed on disk after a wipe that did not finish.
QString failureText(const FileWipeOutcome &outcome, const QString &name)
{
    const QString passes = QCoreApplication::translate("FileWipeReport", "На носитель записано проходов: %1 из %2.")
                               .arg(outcome.passesDone)
                               .arg(outcome.passesPlanned);
    const QString kept = QCoreApplication::translate("FileWipeReport", " Файл оставлен на месте и не удален; удаление можно повторить.");
    switch (outcome.failedStep) {
    case FileWipeStep::Truncate:
    case FileWipeStep::Close:
        return QCoreApplication::translate("FileWipeReport", "Все проходы (%1) записаны на носитель, но файл не удалось усечь.")
                   .arg(outcome.passesPlanned)
            + reason(outcome) + kept;
    case FileWipeStep::Remove:
        return QCoreApplication::translate("FileWipeReport", "Все проходы (%1) записаны на носитель и файл усечен до нуля, но его "
                              "не удалось удалить.")
                   .arg(outcome.passesPlanned)
            + reason(outcome) + QCoreApplication::translate("FileWipeReport", " Пустой файл остался под именем %1.").arg(name);
    case FileWipeStep::SyncRemoval:
        return QCoreApplication::translate("FileWipeReport", "Все проходы (%1) записаны на носитель, файл усечен до нуля и имя %2 "
                              "удалено, но записать удаление на носитель не удалось: при сбое питания пустой файл "
                              "может снова появиться под этим именем.")
                   .arg(outcome.passesPlanned)
                   .arg(name)
            + reason(outcome);
    case FileWipeStep::NameChanged:
        return QCoreApplication::translate("FileWipeReport", "Все проходы (%1) записаны на носитель и файл усечен до нуля, но имя "
                              "%2 теперь ведет к другому объекту, поэтому оно не тронуто.")
            .arg(outcome.passesPlanned)
            .arg(name);
    case FileWipeStep::Verify:
        return QCoreApplication::translate("FileWipeReport", "Все проходы (%1) записаны, но при чтении обратно с байта %2 на носителе не то, "
                              "что записал последний проход.")
                   .arg(outcome.passesPlanned)
                   .arg(outcome.verifyMismatchAt)
            + kept;
    case FileWipeStep::Changed:
        return QCoreApplication::translate("FileWipeReport", "Во время удаления файл изменила другая программа (изменился размер "
                              "или файл подменен), поэтому удаление остановлено. ")
            + passes + kept;
    case FileWipeStep::HeldOpen:
        return (outcome.holders.isEmpty()
                    ? QCoreApplication::translate("FileWipeReport", "Файл %1 открыт другой программой.").arg(name)
                    : QCoreApplication::translate("FileWipeReport", "Файл %1 открыт другой программой: %2.")
                          .arg(name, holdersText(outcome)))
            + QCoreApplication::translate("FileWipeReport", " Пока файл открыт, она может снова записать в него ключ, "
                                          "поэтому удаление не начато. Закройте ее и повторите удаление. Файл не изменен.");
    case FileWipeStep::RewrittenAfterRemoval:
        return QCoreApplication::translate("FileWipeReport", "Все проходы (%1) записаны на носитель, файл усечен до нуля и имя %2 "
                                           "удалено, но после усечения в файл записала данные другая программа, у которой он "
                                           "открыт: в них может быть ключ. Файл без имени остается на носителе, пока эта "
                                           "программа его не закроет.")
            .arg(outcome.passesPlanned)
            .arg(name);
    case FileWipeStep::Cancelled:
        if (!outcome.bytesWritten)
            return QCoreApplication::translate("FileWipeReport", "Удаление отменено. Файл не изменен.");
        return QCoreApplication::translate("FileWipeReport", "Удаление отменено. ") + passes + kept;
    default:
        break;
    }
    if (!outcome.bytesWritten)
        return QCoreApplication::translate("FileWipeReport", "Файл не изменен.") + reason(outcome);
    return passes + reason(outcome) + kept;
}

QString fileSystemName(const MediumVerdict &verdict)
{
    return verdict.fileSystem.isEmpty() ? QCoreApplication::translate("FileWipeReport", "неизвестна") : verdict.fileSystem;
}

// What the passes did below the file system, for a wipe that went through.
QString placementText(const FileWipeOutcome &outcome)
{
    const MediumVerdict &verdict = outcome.medium;
    QString read;
    switch (outcome.verification) {
    case FileVerification::Direct:
        read = QCoreApplication::translate("FileWipeReport", " и прочитаны обратно в обход кэша: на носителе то, что записал последний проход");
        break;
    case FileVerification::MaybeCached:
        read = QCoreApplication::translate("FileWipeReport", " и прочитаны обратно (чтение могло быть получено из кэша системы): совпадает с последним проходом");
        break;
    default:
        read = QCoreApplication::translate("FileWipeReport", "; прочитать их обратно для сравнения не удалось");
        break;
    }
    switch (verdict.placement) {
    case Placement::InPlace:
        return QCoreApplication::translate("FileWipeReport", "Проходы записаны поверх собственных блоков файла (файловая система %1)").arg(fileSystemName(verdict))
            + read + QLatin1Char('.');
    case Placement::Relocating:
        return QCoreApplication::translate("FileWipeReport", "Проходы записаны и прочитаны обратно, но не поверх блоков, где лежал ключ.");
    case Placement::NotProvable:
        break;
    }
    return QCoreApplication::translate("FileWipeReport", "Попали ли проходы на блоки, где лежал ключ, проверить нельзя (файловая система %1).")
        .arg(fileSystemName(verdict));
}

} // namespace

StepReport fileWipeReport(const FileWipeOutcome &outcome, const QString &path)
{
    const QString name = quoted(path);
    switch (outcome.status) {
    case FileWipeStatus::Wiped: {
        QStringList details;
        if (outcome.allocatedBytes == 0)
            details << (outcome.size > 0
                            ? QCoreApplication::translate("FileWipeReport", "В файле не было данных, только пустоты, не "
                                                          "занимавшие места на носителе: перезаписывать было нечего, "
                                                          "проходы не записывались.")
                            : QCoreApplication::translate("FileWipeReport", "Файл был пуст: перезаписывать было нечего, "
                                                          "проходы не записывались."));
        else if (outcome.medium.known)
            details << placementText(outcome) << mediumLimitTexts(outcome.medium);
        if (outcome.allocatedBytes > 0 && outcome.allocatedBytes < outcome.size)
            details << QCoreApplication::translate("FileWipeReport", "Данные занимали %1 байт из %2 байт размера файла; "
                                                   "остальное — пустоты без места на носителе, их проходы не записывали.",
                                                   nullptr, pluralKey(outcome.allocatedBytes))
                           .arg(programLocale().toString(outcome.allocatedBytes),
                                programLocale().toString(outcome.size));
        if (outcome.otherNames > 0)
            details << QCoreApplication::translate("FileWipeReport", "У файла были и другие имена (жесткие ссылки): %1. Они ведут к тому же "
                               "файлу, теперь перезаписанному и пустому.")
                    .arg(outcome.otherNames);
        return {QString(), details.join(QLatin1Char(' '))};
    }
    case FileWipeStatus::NotFound:
        return {wipetexts::fileNotFound(),
                outcome.systemError.isEmpty() ? QString()
                                              : QCoreApplication::translate("FileWipeReport", "%1: %2.").arg(name, outcome.systemError)};
    case FileWipeStatus::Refused:
        return {wipetexts::fileFailed(),
                refusalText(outcome, name) + QCoreApplication::translate("FileWipeReport", " Ничего не изменено.")};
    case FileWipeStatus::Failed:
        break;
    }
    return {wipetexts::fileFailed(), failureText(outcome, name)};
}

QStringList mediumLimitTexts(const MediumVerdict &verdict)
{
    const QString fs = fileSystemName(verdict);
    const struct {
        MediumLimit limit;
        QString text;
    } texts[] = {
        {LimitCopyOnWrite, QCoreApplication::translate("FileWipeReport", "Файловая система %1 записывает изменения на новое место (копирование при записи): "
                              "блоки, где лежит ключ, проходы не перезапишут.").arg(fs)},
        {LimitShared, QCoreApplication::translate("FileWipeReport", "Блоки файла общие с другим файлом или снимком файловой системы: там ключ останется.")},
        {LimitCompressed, QCoreApplication::translate("FileWipeReport", "Файл хранится сжатым: каждый проход ложится на новое место.")},
        {LimitDataJournal, QCoreApplication::translate("FileWipeReport", "Файловая система ведет журнал данных: копии ключа остаются в ее журнале.")},
        {LimitInline, QCoreApplication::translate("FileWipeReport", "Содержимое файла хранится в служебных записях файловой системы и пишется через ее журнал.")},
        {LimitMoved, QCoreApplication::translate("FileWipeReport", "После прохода файловая система разместила файл в других блоках: прежние блоки не перезаписаны.")},
        {LimitNetwork, QCoreApplication::translate("FileWipeReport", "Файл лежит на сетевой файловой системе (%1): что происходит с блоками на сервере, проверить "
                          "нельзя.").arg(fs)},
        {LimitFuse, QCoreApplication::translate("FileWipeReport", "Файл лежит на файловой системе FUSE (%1): как она хранит данные, проверить нельзя.").arg(fs)},
        {LimitOverlay, verdict.lowerCopy.isEmpty()
             ? QCoreApplication::translate("FileWipeReport", "Файл лежит на наложенной файловой системе (overlay): нижние слои проверить нельзя.")
             : QCoreApplication::translate("FileWipeReport", "Файл лежит на наложенной файловой системе (overlay): проходы пишутся в копию "
                                           "файла в верхнем слое, а исходный файл %1 в нижнем слое они не затрагивают. Ключ "
                                           "в нем остается, удалить его можно только на файловой системе этого слоя.")
                   .arg(quoted(verdict.lowerCopy))},
        {LimitMemory, QCoreApplication::translate("FileWipeReport", "Файл лежит в памяти (%1): проходы перезаписывают его страницы, но выгруженные ранее в файл "
                         "подкачки копии проверить нельзя.").arg(fs)},
        {LimitNoExtentMap, QCoreApplication::translate("FileWipeReport", "Файловая система %1 не сообщает, где лежат блоки файла.").arg(fs)},
        {LimitUnknownFileSystem, QCoreApplication::translate("FileWipeReport", "Как файловая система %1 размещает перезаписанные данные, неизвестно.").arg(fs)},
        {LimitFlash, QCoreApplication::translate("FileWipeReport", "Носитель — флеш-память (%1): контроллер может хранить переназначенные копии, которые уничтожает "
                        "только собственная очистка всего носителя (sanitize, crypto erase); перезапись файла до них "
                        "не доходит.").arg(verdict.device)},
        {LimitEncrypted, QCoreApplication::translate("FileWipeReport", "Данные шифруются ниже файловой системы: на носитель попадает только шифротекст.")},
        {LimitImageFile, QCoreApplication::translate("FileWipeReport", "Файловая система лежит в файле-образе на другой файловой системе; ее ограничения тоже "
                            "действуют.")},
    };
    QStringList sentences;
    for (const auto &t : texts)
        if (verdict.limits & t.limit)
            sentences << t.text;
    return sentences;
}
