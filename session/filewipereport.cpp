#include "wipereport.h"

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
        : QCoreApplication::translate("FileWipeReport", " Причина: %1.").arg(outcome.systemError);
}

// What stayed on disk after a wipe that did not finish.
QString failureText(const FileWipeOutcome &outcome, const QString &name)
{
    const QString passes = QCoreApplication::translate("FileWipeReport", "На носитель записано проходов: %1 из %2.")
                               .arg(outcome.passesDone)
                               .arg(outcome.passesPlanned);
    const QString kept = QCoreApplication::translate("FileWipeReport", " Файл оставлен на месте и не удалён; удаление можно повторить.");
    switch (outcome.failedStep) {
    case FileWipeStep::Truncate:
    case FileWipeStep::Close:
        return QCoreApplication::translate("FileWipeReport", "Все проходы (%1) записаны на носитель, но файл не удалось усечь.")
                   .arg(outcome.passesPlanned)
            + reason(outcome) + kept;
    case FileWipeStep::Remove:
        return QCoreApplication::translate("FileWipeReport", "Все проходы (%1) записаны на носитель и файл усечён до нуля, но его "
                              "не удалось удалить.")
                   .arg(outcome.passesPlanned)
            + reason(outcome) + QCoreApplication::translate("FileWipeReport", " Пустой файл остался под именем %1.").arg(name);
    case FileWipeStep::NameChanged:
        return QCoreApplication::translate("FileWipeReport", "Все проходы (%1) записаны на носитель и файл усечён до нуля, но имя "
                              "%2 теперь ведёт к другому объекту, поэтому оно не тронуто.")
            .arg(outcome.passesPlanned)
            .arg(name);
    case FileWipeStep::Changed:
        return QCoreApplication::translate("FileWipeReport", "Во время удаления файл изменила другая программа (изменился размер "
                              "или файл подменён), поэтому удаление остановлено. ")
            + passes + kept;
    case FileWipeStep::Cancelled:
        if (!outcome.bytesWritten)
            return QCoreApplication::translate("FileWipeReport", "Удаление отменено. Файл не изменён.");
        return QCoreApplication::translate("FileWipeReport", "Удаление отменено. ") + passes + kept;
    default:
        break;
    }
    if (!outcome.bytesWritten)
        return QCoreApplication::translate("FileWipeReport", "Файл не изменён.") + reason(outcome);
    return passes + reason(outcome) + kept;
}

} // namespace

WipeReport fileWipeReport(const FileWipeOutcome &outcome, const QString &path)
{
    const QString name = quoted(path);
    switch (outcome.status) {
    case FileWipeStatus::Wiped: {
        WipeReport report{Severity::Information, wipetexts::wiped(), QString()};
        if (outcome.otherNames > 0)
            report.informative =
                QCoreApplication::translate("FileWipeReport", "У файла были и другие имена (жёсткие ссылки): %1. Они ведут к тому же "
                               "файлу, теперь перезаписанному и пустому.")
                    .arg(outcome.otherNames);
        return report;
    }
    case FileWipeStatus::NotFound:
        return {Severity::Critical, wipetexts::fileNotFound(),
                outcome.systemError.isEmpty() ? QString()
                                              : QCoreApplication::translate("FileWipeReport", "%1: %2.").arg(name, outcome.systemError)};
    case FileWipeStatus::Refused:
        return {Severity::Critical, wipetexts::fileFailed(),
                refusalText(outcome, name) + QCoreApplication::translate("FileWipeReport", " Ничего не изменено.")};
    case FileWipeStatus::Failed:
        break;
    }
    return {Severity::Critical, wipetexts::fileFailed(), failureText(outcome, name)};
}
