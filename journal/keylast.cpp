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

QByteArray message(qint64 seq, const QString &hash)
{
    return QJsonDocument(QJsonObject{{"seq", double(seq)}, {"sha256", hash}}).toJson(QJsonDocument::Compact);
}

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

KeyLast readKeyLast(const QByteArray &publicKey, const QString &keyPath)
{
    KeyLast last;
    const QString path = keyLastPath(keyPath);
    if (path.isEmpty())
        return last;
    std::string data;
    std::string reason;
    const journalfile::ReadOutcome read = journalfile::readOwnedFile(nativePath(path), &data, &reason);
    if (read == journalfile::ReadOutcome::Missing)
        return last;
    last.present = true;
    if (read == journalfile::ReadOutcome::Refused)
        return last;
    const QJsonObject o = QJsonDocument::fromJson(QByteArray::fromStdString(data)).object();
    last.seq = qint64(o.value("seq").toDouble());
    last.hash = o.value("sha256").toString();
    last.holds = o.value("seq").isDouble() && last.seq >= 0
        && SigningKey::verify(message(last.seq, last.hash), QByteArray::fromBase64(o.value("sig").toString().toLatin1()),
                              publicKey);
    return last;
}

bool writeKeyLast(const SigningKey &key, qint64 seq, const QString &hash, QString *why)
{
    if (!key.isLoaded() || keyLastPath().isEmpty())
        return false;
    QJsonObject object{{"seq", double(seq)}, {"sha256", hash}};
    object.insert("key_sha256", SigningKey::fingerprint(key.publicKey()));
    object.insert("sig", QString::fromLatin1(key.sign(message(seq, hash)).toBase64()));
    std::string reason;
    const QByteArray text = QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
    if (journalfile::publishFile(nativePath(keyLastPath()), text.toStdString(), true, nullptr, &reason))
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
        return keyKeepsLast ? QCoreApplication::translate("Journal", "записи ключа подписи о последней подписанной им "
                                                          "записи (%1) нет").arg(shownPath())
                            : QString();
    if (!last.holds)
        return QCoreApplication::translate("Journal", "запись ключа подписи о последней подписанной им записи (%1) "
                                           "не прочитана или ее подпись не верна").arg(shownPath());
    if (last.seq == 0)
        return QString();
    if (lastSeq == 0)
        return QCoreApplication::translate("Journal", "журнала нет или он пуст, а ключ подписи уже подписал записи "
                                           "по номер %1 (%2)").arg(last.seq).arg(shownPath());
    if (lastSeq < last.seq || (!hashAtKeyLast.isEmpty() && hashAtKeyLast != last.hash)) {
        if (cut)
            *cut = true;
        return QCoreApplication::translate("Journal", "журнал кончается записью %1, а ключ подписи подписал запись %2 "
                                           "(%3)").arg(lastSeq).arg(last.seq).arg(shownPath());
    }
    if (!headPresent)
        return QCoreApplication::translate("Journal", "головы журнала нет, а ключ подписи уже подписал записи "
                                           "по номер %1 (%2)").arg(last.seq).arg(shownPath());
    return QString();
}

} // namespace journalchain
