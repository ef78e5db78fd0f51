#include "keylast.h"

#include "journalfile.h"
#include "journalhead.h"
#include "signing.h"

#include <QCoreApplication>
#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>

namespace journalchain {

namespace {

QString shownPath()
{
    return QDir::toNativeSeparators(keyLastPath());
}

} // namespace

QString keyLastPath(const QString &keyPath)
{
    const QString key = keyPath.isEmpty() ? SigningKey::defaultPath() : keyPath;
    return key.isEmpty() ? QString() : key + QStringLiteral(".last");
}

// Kept as the journal's head is, in two signed copies written in turn: one
// write and one sync for each entry, and a torn write leaves the older copy.
KeyLast readKeyLast(const QByteArray &publicKey, const QString &keyPath)
{
    KeyLast last;
    const QString path = keyLastPath(keyPath);
    if (path.isEmpty())
        return last;
    Head stored;
    QString error;
    const HeadRead read = readHead(path, &stored, &error, publicKey);
    if (read == HeadRead::Missing)
        return last;
    last.present = true;
    if (read == HeadRead::Refused)
        return last;
    last.seq = stored.seq;
    last.hash = stored.hash;
    last.holds = stored.seq >= 0 && !publicKey.isEmpty() && headSignatureHolds(stored, publicKey);
    return last;
}

bool writeKeyLast(const SigningKey &key, qint64 seq, const QString &hash, QString *why)
{
    const QString path = keyLastPath();
    if (!key.isLoaded() || path.isEmpty())
        return false;
    Head stored;
    QString error;
    // The copies already there are written over in turn; anything else is made anew.
    if (readHead(path, &stored, &error, key.publicKey()) != HeadRead::Read || !headSignatureHolds(stored, key.publicKey()))
        stored = Head();
    stored.seq = seq;
    stored.hash = hash;
    stored.size = 0;
    stored.open.clear();
    std::string reason;
    if (writeHead(path, stored, key, &reason))
        return true;
    if (why)
        *why = QString::fromStdString(reason);
    return false;
}

QString keyLastRefusal(const KeyLast &last, bool keyKeepsLast, bool headPresent, qint64 lastSeq,
                       const QString &hashAtKeyLast, bool *cut)
{
    if (cut)
        *cut = false;
    if (!last.present)
        return keyKeepsLast ? QCoreApplication::translate("KeyLast", "записи ключа подписи о последней подписанной им "
                                                          "записи (%1) нет").arg(shownPath())
                            : QString();
    if (!last.holds)
        return QCoreApplication::translate("KeyLast", "запись ключа подписи о последней подписанной им записи (%1) "
                                           "не прочитана или ее подпись не верна").arg(shownPath());
    if (last.seq == 0)
        return QString();
    if (lastSeq == 0)
        return QCoreApplication::translate("KeyLast", "журнала нет или он пуст, а ключ подписи уже подписал записи "
                                           "по номер %1 (%2)").arg(last.seq).arg(shownPath());
    if (lastSeq < last.seq || (!hashAtKeyLast.isEmpty() && hashAtKeyLast != last.hash)) {
        if (cut)
            *cut = true;
        return QCoreApplication::translate("KeyLast", "журнал кончается записью %1, а ключ подписи подписал запись %2 "
                                           "(%3)").arg(lastSeq).arg(last.seq).arg(shownPath());
    }
    if (!headPresent)
        return QCoreApplication::translate("KeyLast", "головы журнала нет, а ключ подписи уже подписал записи "
                                           "по номер %1 (%2)").arg(last.seq).arg(shownPath());
    return QString();
}

} // namespace journalchain
