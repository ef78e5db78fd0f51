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
    QFile file(trustedKeysPath());
    if (!file.exists())
        return true; // nothing pinned
    if (!file.open(QIODevice::ReadOnly)) {
        if (why)
            *why = QStringLiteral("%1: %2").arg(file.fileName(), file.errorString());
        return false;
    }
    const QByteArray wanted = publicKey.toHex();
    // One pass over the file: a collection checks it for every journal.
    const QByteArray text = file.readAll().toLower();
    for (int at = wanted.isEmpty() ? -1 : text.indexOf(wanted); at >= 0; at = text.indexOf(wanted, at + 1)) {
        const int lineStart = text.lastIndexOf('\n', at) + 1;
        const int end = at + wanted.size();
        const bool before = text.mid(lineStart, at - lineStart).trimmed().isEmpty();
        const bool after = end == text.size() || QByteArray(" \t\r\n#").contains(text.at(end));
        if (before && after)
            return true;
    }
    if (why)
        *why = QStringLiteral("%1 %2 not in %3").arg(publicKey.isEmpty() ? QStringLiteral("no key;") : QStringLiteral("key"),
                                                   QString::fromLatin1(wanted), file.fileName());
    return false;
}
