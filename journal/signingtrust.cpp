#include "signing.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <mutex>

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

namespace {

// The pinned keys as the file lists them (the first word of each line, in
// lower case), read again only when the file changes: a collection asks for
// every journal it checks, from several threads.
struct PinnedFile {
    QString path;
    qint64 size = -1;
    QDateTime modified;
    QSet<QByteArray> keys;
};

bool pinnedHex(const QString &path, QSet<QByteArray> *keys, QString *why)
{
    static std::mutex lock;
    static PinnedFile cached;
    const QFileInfo info(path);
    const std::lock_guard<std::mutex> locked(lock);
    if (cached.path == path && cached.size == info.size() && cached.modified == info.lastModified()) {
        *keys = cached.keys;
        return true;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (why)
            *why = QStringLiteral("%1: %2").arg(file.fileName(), file.errorString());
        return false;
    }
    PinnedFile read{path, info.size(), info.lastModified(), {}};
    for (const QByteArray &line : file.readAll().toLower().split('\n')) {
        int from = 0;
        while (from < line.size() && QByteArray(" \t\v\f\r").contains(line.at(from)))
            ++from;
        int end = from;
        while (end < line.size() && !QByteArray(" \t\r#").contains(line.at(end)))
            ++end;
        if (end > from)
            read.keys.insert(line.mid(from, end - from));
    }
    cached = read;
    *keys = read.keys;
    return true;
}

} // namespace

bool SigningKey::trusted(const QByteArray &publicKey, QString *why)
{
    const QString path = trustedKeysPath();
    if (!QFileInfo::exists(path))
        return true; // nothing pinned
    QSet<QByteArray> keys;
    if (!pinnedHex(path, &keys, why))
        return false;
    const QByteArray wanted = publicKey.toHex();
    if (!wanted.isEmpty() && keys.contains(wanted))
        return true;
    if (why)
        *why = QStringLiteral("%1 %2 not in %3").arg(publicKey.isEmpty() ? QStringLiteral("no key;") : QStringLiteral("key"),
                                                   QString::fromLatin1(wanted), path);
    return false;
}
