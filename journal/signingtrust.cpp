#include "signing.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>

QString SigningKey::fingerprint(const QByteArray &publicKey)
{
    if (publicKey.isEmpty())
        return QString();
    return QString::fromLatin1(QCryptographicHash::hash(publicKey, QCryptographicHash::Sha256).toHex());
}

QString SigningKey::trustedKeysPath()
{
    const QString chosen = qEnvironmentVariable("KCC_TRUSTED_KEYS");
    if (!chosen.isEmpty())
        return chosen;
#ifdef _WIN32
    return QDir::fromNativeSeparators(qEnvironmentVariable("PROGRAMDATA")) + QStringLiteral("/Kestrik_KCC/trusted-keys");
#else
    return QStringLiteral("/etc/kestrik-kcc/trusted-keys");
#endif
}

QVector<QByteArray> SigningKey::pinnedKeys(bool *pinned, QString *why)
{
    QVector<QByteArray> keys;
    QFile file(trustedKeysPath());
    *pinned = file.exists();
    if (!*pinned)
        return keys;
    if (!file.open(QIODevice::ReadOnly)) {
        if (why)
            *why = QStringLiteral("%1: %2").arg(file.fileName(), file.errorString());
        return keys;
    }
    while (!file.atEnd()) {
        QByteArray line = file.readLine();
        const int comment = line.indexOf('#');
        if (comment >= 0)
            line.truncate(comment);
        const QByteArray key = QByteArray::fromHex(line.trimmed());
        if (key.size() == 32)
            keys.append(key);
    }
    return keys;
}

bool SigningKey::trusted(const QByteArray &publicKey, QString *why)
{
    bool pinned = false;
    QString unread;
    const QVector<QByteArray> keys = pinnedKeys(&pinned, &unread);
    if (!pinned)
        return true; // nothing pinned
    if (!unread.isEmpty()) {
        if (why)
            *why = unread;
        return false;
    }
    if (!publicKey.isEmpty() && keys.contains(publicKey))
        return true;
    if (why)
        *why = QStringLiteral("%1 %2 not in %3").arg(publicKey.isEmpty() ? QStringLiteral("no key;") : QStringLiteral("key"),
                                                   QString::fromLatin1(publicKey.toHex()), trustedKeysPath());
    return false;
}
