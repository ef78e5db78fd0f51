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
    while (!file.atEnd()) {
        QByteArray line = file.readLine();
        const int comment = line.indexOf('#');
        if (comment >= 0)
            line.truncate(comment);
        if (!wanted.isEmpty() && line.trimmed().toLower() == wanted)
            return true;
    }
    if (why)
        *why = QStringLiteral("%1 %2 not in %3").arg(publicKey.isEmpty() ? QStringLiteral("no key;") : QStringLiteral("key"),
                                                   QString::fromLatin1(wanted), file.fileName());
    return false;
}
