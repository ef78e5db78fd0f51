#ifndef WIPETEXTS_H
#define WIPETEXTS_H

#include <QCoreApplication>
#include <QString>

// The fixed texts of the wipe boxes.
namespace wipetexts {

// A reason the system gave, in its own words and language, set apart from the
// program's sentence.
inline QString systemReason(const QString &reason)
{
    return QCoreApplication::translate("wipetexts", "(системная причина: %1)").arg(reason);
}
inline QString title() { return QCoreApplication::translate("wipetexts", "Удаление ключевого контейнера"); }
inline QString confirmation() { return QCoreApplication::translate("wipetexts", "Вы действительно хотите удалить ключевой контейнер?"); }
inline QString wiped() { return QCoreApplication::translate("wipetexts", "Ключевой контейнер очищен и удален успешно."); }
inline QString fileNotFound() { return QCoreApplication::translate("wipetexts", "Файл ключевого контейнера не найден. "); }
inline QString fileFailed() { return QCoreApplication::translate("wipetexts", "Ошибка удаления файла ключевого контейнера."); }
inline QString contextFailed() { return QCoreApplication::translate("wipetexts", "Ошибка создания контекста носителя."); }
inline QString sessionFailed() { return QCoreApplication::translate("wipetexts", "Невозможно открыть сессию для работы с носителем."); }
inline QString wrongPin() { return QCoreApplication::translate("wipetexts", "Неправильный PIN-код."); }
inline QString sizeFailed() { return QCoreApplication::translate("wipetexts", "Невозможно определить размер ключевого контейнера."); }
inline QString writeFailed() { return QCoreApplication::translate("wipetexts", "Ошибка записи в ключевой контейнер."); }
inline QString deviceFailed() { return QCoreApplication::translate("wipetexts", "Ошибка удаления ключевого контейнера."); }

// No wipe without its record: the begun entry did not reach the medium.
inline QString notStartedNoRecord()
{
    return QCoreApplication::translate("wipetexts", "Удаление не начато: запись о нем не удалось сохранить в журнале уничтожения. "
                                       "Ключевой контейнер не изменен.");
}
// The wipe ran, but its ending entry did not reach the medium.
inline QString endNotRecorded()
{
    return QCoreApplication::translate("wipetexts", "Запись о результате удаления не удалось сохранить в журнале уничтожения. "
                                       "Что сделано с ключевым контейнером, сказано ниже.");
}
inline QString goOnWithoutRecord()
{
    return QCoreApplication::translate("wipetexts", "Запись о начале удаления не удалось сохранить в журнале уничтожения. "
                                       "Удалить ключевой контейнер без записи в журнале?");
}

// Token outcomes beyond the texts above.
inline QString deviceReplaced()
{
    return QCoreApplication::translate("wipetexts", "Ключевой контейнер удален, но носитель не позволил перезаписать его на месте. "
                          "Что носитель хранит от удаленных объектов, зависит от самого носителя.");
}
inline QString deviceReplacedDetail()
{
    return QCoreApplication::translate("wipetexts", "Каждый проход носитель записал в новый объект, а прежний удалил.");
}
// A file whose passes the file system wrote elsewhere.
inline QString fileRelocated()
{
    return QCoreApplication::translate("wipetexts", "Ключевой контейнер удален, но файловая система записала проходы на новое место. "
                          "Исходные блоки с ключом не перезаписаны и остаются на носителе, пока их не займут другие данные.");
}
// An overlay's file, whose original in the lower layer the passes never touch.
inline QString lowerCopyKept()
{
    return QCoreApplication::translate("wipetexts", "Ключевой контейнер удален, но его исходный файл в нижнем слое наложенной "
                          "файловой системы проходы не затронули: ключ в нем остается.");
}
// A wipe after which the volume still holds blocks of the key.
inline QString survivorsFound()
{
    return QCoreApplication::translate("wipetexts", "Ключевой контейнер удален, но на томе остались блоки с содержимым ключа.");
}
// A file whose passes cannot be shown to have reached the key's own blocks.
inline QString overwriteUnproven()
{
    return QCoreApplication::translate("wipetexts", "Ключевой контейнер удален, но проверить, перезаписаны ли блоки, где лежал ключ, "
                          "нельзя.");
}
// Copies of the key that neither the search recognises nor the fill can locate.
inline QString keyUnreachable()
{
    return QCoreApplication::translate("wipetexts", "Ключевой контейнер удален, но часть ключа файловая система хранит так, что ни "
                          "поиск, ни заполнение свободного места до нее не доходят.");
}
inline QString notSearched()
{
    return QCoreApplication::translate("wipetexts", "Ключевой контейнер удален, но проверить том на остатки ключа, как было "
                          "запрошено, не удалось.");
}
inline QString interrupted()
{
    return QCoreApplication::translate("wipetexts", "Удаление ключевого контейнера было прервано и не завершено.");
}
inline QString noContainer() { return QCoreApplication::translate("wipetexts", "На носителе нет ключевого контейнера."); }
inline QString severalContainers() { return QCoreApplication::translate("wipetexts", "На носителе больше одного ключевого контейнера."); }
inline QString severalContainersDetail(uint count)
{
    return count ? QCoreApplication::translate("wipetexts", "Найдено ключевых контейнеров: %1. Ни один из них не изменен.").arg(count)
                 : QCoreApplication::translate("wipetexts", "Ни один из них не изменен.");
}
inline QString pinLocked() { return QCoreApplication::translate("wipetexts", "PIN-код заблокирован."); }
inline QString pinNotInitialized() { return QCoreApplication::translate("wipetexts", "PIN-код пользователя на носителе не задан."); }
inline QString pinExpired() { return QCoreApplication::translate("wipetexts", "Срок действия PIN-кода истек."); }
inline QString untouched() { return QCoreApplication::translate("wipetexts", "Ключевой контейнер не изменен."); }
inline QString passesWritten(int written, int passes)
{
    return QCoreApplication::translate("wipetexts", "Записано проходов: %1 из %2.").arg(written).arg(passes);
}
inline QString containerGone() { return QCoreApplication::translate("wipetexts", "Ключевой контейнер удален с носителя."); }
inline QString containerPresent() { return QCoreApplication::translate("wipetexts", "Ключевой контейнер остался на носителе."); }
// The token took the deletion, but the check that followed could not be made.
inline QString deletionUnproven()
{
    return QCoreApplication::translate("wipetexts", "Ключевой контейнер удален носителем, но проверить, что его больше нет, не удалось.");
}
// The object the check after the deletion found, and whose bytes it holds.
inline QString remnantOriginal(const QString &label, const QString &application)
{
    return QCoreApplication::translate("wipetexts", "Объект «%1» приложения «%2» хранит исходные байты ключа.").arg(label, application);
}
inline QString remnantPass(const QString &label, const QString &application, int pass)
{
    return QCoreApplication::translate("wipetexts", "Объект «%1» приложения «%2» хранит байты прохода %3.")
        .arg(label, application, QString::number(pass));
}
inline QString remnantOther(const QString &label, const QString &application)
{
    return QCoreApplication::translate("wipetexts", "Объект «%1» приложения «%2» найден на носителе после удаления.").arg(label, application);
}
inline QString containerUnknown()
{
    return QCoreApplication::translate("wipetexts", "Не удалось проверить, остался ли ключевой контейнер на носителе.");
}

} // namespace wipetexts

#endif // WIPETEXTS_H
