#ifndef WIPEMESSAGES_H
#define WIPEMESSAGES_H

#include <QCoreApplication>
#include <QMessageBox>
#include <QString>

namespace wipemessages {

inline QString title() { return QCoreApplication::translate("wipemessages", "Удаление ключевого контейнера"); }
inline QString confirmation() { return QCoreApplication::translate("wipemessages", "Вы действительно хотите удалить ключевой контейнер?"); }
inline QString wiped() { return QCoreApplication::translate("wipemessages", "Ключевой контейнер очищен и удален успешно."); }
inline QString fileNotFound() { return QCoreApplication::translate("wipemessages", "Файл ключевого контейнера не найден. "); }
inline QString fileFailed() { return QCoreApplication::translate("wipemessages", "Ошибка удаления файла ключевого контейнера."); }
inline QString contextFailed() { return QCoreApplication::translate("wipemessages", "Ошибка создания контекста носителя."); }
inline QString sessionFailed() { return QCoreApplication::translate("wipemessages", "Невозможно открыть сессию для работы с носителем."); }
inline QString wrongPin() { return QCoreApplication::translate("wipemessages", "Неправильный PIN-код."); }
inline QString sizeFailed() { return QCoreApplication::translate("wipemessages", "Невозможно определить размер ключевого контейнера."); }
inline QString writeFailed() { return QCoreApplication::translate("wipemessages", "Ошибка записи в ключевой контейнер."); }
inline QString deviceFailed() { return QCoreApplication::translate("wipemessages", "Ошибка удаления ключевого контейнера."); }

// Token outcomes beyond the texts above.
inline QString deviceReplaced()
{
    return QCoreApplication::translate("wipemessages", "Ключевой контейнер удален, но носитель не позволил перезаписать его на месте. "
                          "Что носитель хранит от удаленных объектов, зависит от самого носителя.");
}
inline QString deviceReplacedDetail()
{
    return QCoreApplication::translate("wipemessages", "Каждый проход носитель записал в новый объект, а прежний удалил.");
}
inline QString noContainer() { return QCoreApplication::translate("wipemessages", "На носителе нет ключевого контейнера."); }
inline QString severalContainers() { return QCoreApplication::translate("wipemessages", "На носителе больше одного ключевого контейнера."); }
inline QString severalContainersDetail(uint count)
{
    return count ? QCoreApplication::translate("wipemessages", "Найдено ключевых контейнеров: %1. Ни один из них не изменен.").arg(count)
                 : QCoreApplication::translate("wipemessages", "Ни один из них не изменен.");
}
inline QString pinLocked() { return QCoreApplication::translate("wipemessages", "PIN-код заблокирован."); }
inline QString pinNotInitialized() { return QCoreApplication::translate("wipemessages", "PIN-код пользователя на носителе не задан."); }
inline QString pinExpired() { return QCoreApplication::translate("wipemessages", "Срок действия PIN-кода истек."); }
inline QString untouched() { return QCoreApplication::translate("wipemessages", "Ключевой контейнер не изменен."); }
inline QString passesWritten(int written, int passes)
{
    return QCoreApplication::translate("wipemessages", "Записано проходов: %1 из %2.").arg(written).arg(passes);
}
inline QString containerGone() { return QCoreApplication::translate("wipemessages", "Ключевой контейнер удален с носителя."); }
inline QString containerPresent() { return QCoreApplication::translate("wipemessages", "Ключевой контейнер остался на носителе."); }
inline QString containerUnknown()
{
    return QCoreApplication::translate("wipemessages", "Не удалось проверить, остался ли ключевой контейнер на носителе.");
}

// One outcome as the user is told it: the box's icon, its main text and, where
// there is more to say (what is left on disk or on the token), its
// informative text.
struct Report {
    QMessageBox::Icon icon = QMessageBox::Critical;
    QString text;
    QString informative;
};

// Modal, one OK button and no default button, like every box of the executors.
inline void show(QWidget *parent, const Report &report)
{
    QMessageBox box(report.icon, title(), report.text, QMessageBox::Ok, parent);
    box.setWindowModality(Qt::ApplicationModal);
    if (!report.informative.isEmpty())
        box.setInformativeText(report.informative);
    box.exec();
}

inline void show(QWidget *parent, QMessageBox::Icon icon, const QString &text)
{
    show(parent, Report{icon, text, QString()});
}

} // namespace wipemessages

#endif // WIPEMESSAGES_H
