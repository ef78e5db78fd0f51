#ifndef DEVICETEXTS_H
#define DEVICETEXTS_H

#include <QString>

// The token texts beyond the shared box texts, written out on their own so
// that a change to the program's copy is caught rather than followed.
namespace devicetexts {

const QString copyLabel = QStringLiteral("Kestrik key container: written copy");

const QString replaced = QStringLiteral(
    "Ключевой контейнер удален, но носитель не позволил перезаписать его на месте. "
    "Что носитель хранит от удаленных объектов, зависит от самого носителя.");
const QString replacedDetail = QStringLiteral("Каждый проход носитель записал в новый объект, а прежний удалил.");
const QString noContainer = QStringLiteral("На носителе нет ключевого контейнера.");
const QString severalContainers = QStringLiteral("На носителе больше одного ключевого контейнера.");
const QString pinLocked = QStringLiteral("PIN-код заблокирован.");
const QString pinNotInitialized = QStringLiteral("PIN-код пользователя на носителе не задан.");
const QString pinExpired = QStringLiteral("Срок действия PIN-кода истек.");
const QString untouched = QStringLiteral("Ключевой контейнер не изменен.");
const QString gone = QStringLiteral("Ключевой контейнер удален с носителя.");
const QString present = QStringLiteral("Ключевой контейнер остался на носителе.");
const QString deletionUnproven = QStringLiteral("Ключевой контейнер удален носителем, но проверить, что его больше нет, не удалось.");
inline QString remnant(const QString &label, const QString &application, int pass)
{
    const QString holds = pass ? QStringLiteral("байты прохода %1").arg(pass) : QStringLiteral("исходные байты ключа");
    return QStringLiteral(" Объект «%1» приложения «%2» хранит %3.").arg(label, application, holds);
}
const QString unknown = QStringLiteral("Не удалось проверить, остался ли ключевой контейнер на носителе.");

inline QString severalDetail(int count)
{
    return QStringLiteral("Найдено ключевых контейнеров: %1. Ни один из них не изменен.").arg(count);
}
inline QString written(int written, int passes)
{
    return QStringLiteral("Записано проходов: %1 из %2. ").arg(written).arg(passes);
}

} // namespace devicetexts

#endif // DEVICETEXTS_H
