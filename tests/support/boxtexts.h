#ifndef BOXTEXTS_H
#define BOXTEXTS_H

#include <QString>

// The texts the user is shown, written out here on their own so that a change
// to the program's copy is caught rather than followed.
namespace boxtexts {

const QString title = QStringLiteral("Удаление ключевого контейнера");
const QString confirmation = QStringLiteral("Вы действительно хотите удалить ключевой контейнер?");
const QString chooseContainer = QStringLiteral("Выберите ключевой контейнер.       ");
const QString wiped = QStringLiteral("Ключевой контейнер очищен и удален успешно.");
const QString fileNotFound = QStringLiteral("Файл ключевого контейнера не найден. ");
const QString fileFailed = QStringLiteral("Ошибка удаления файла ключевого контейнера.");
const QString contextFailed = QStringLiteral("Ошибка создания контекста носителя.");
const QString sessionFailed = QStringLiteral("Невозможно открыть сессию для работы с носителем.");
const QString wrongPin = QStringLiteral("Неправильный PIN-код.");
const QString sizeFailed = QStringLiteral("Невозможно определить размер ключевого контейнера.");
const QString writeFailed = QStringLiteral("Ошибка записи в ключевой контейнер.");
const QString deviceFailed = QStringLiteral("Ошибка удаления ключевого контейнера.");

} // namespace boxtexts

#endif // BOXTEXTS_H
