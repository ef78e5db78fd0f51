#ifndef WIPEMESSAGES_H
#define WIPEMESSAGES_H

#include <QMessageBox>
#include <QString>

namespace wipemessages {

inline QString title() { return QStringLiteral("Удаление ключевого контейнера"); }
inline QString confirmation() { return QStringLiteral("Вы действительно хотите удалить ключевой контейнер?"); }
inline QString wiped() { return QStringLiteral("Ключевой контейнер очищен и удален успешно."); }
inline QString fileNotFound() { return QStringLiteral("Файл ключевого контейнера не найден. "); }
inline QString fileFailed() { return QStringLiteral("Ошибка удаления файла ключевого контейнера."); }
inline QString contextFailed() { return QStringLiteral("Ошибка создания контекста носителя."); }
inline QString sessionFailed() { return QStringLiteral("Невозможно открыть сессию для работы с носителем."); }
inline QString wrongPin() { return QStringLiteral("Неправильный PIN-код."); }
inline QString sizeFailed() { return QStringLiteral("Невозможно определить размер ключевого контейнера."); }
inline QString writeFailed() { return QStringLiteral("Ошибка записи в ключевой контейнер."); }
inline QString deviceFailed() { return QStringLiteral("Ошибка удаления ключевого контейнера."); }

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
