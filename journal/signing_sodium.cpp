#include "signing.h"

#include "installation.h"
#include "journalfile.h"
#include "keylast.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sodium.h>

#include <string>

bool SigningKey::available()
{
    static const bool ready = sodium_init() >= 0;
    return ready;
}

QString SigningKey::defaultPath()
{
    const QString chosen = qEnvironmentVariable("KCC_SIGNING_KEY");
    if (!chosen.isEmpty())
        return chosen;
    return installation::dataDirectory() + QStringLiteral("/signing.key");
}

SigningKey::Load SigningKey::load(QString *error)
{
    return loadFrom(defaultPath(), error);
}

SigningKey::Load SigningKey::loadFrom(const QString &path, QString *error)
{
    const auto refused = [error](const QString &why) {
        if (error)
            *error = why;
        return Load::Refused;
    };
    if (!available())
        return refused(QStringLiteral("no signing library"));
    std::string data;
    std::string reason;
    switch (journalfile::readOwnedFile(QFile::encodeName(path).toStdString(), &data, &reason)) {
    case journalfile::ReadOutcome::Missing:
        if (error)
            *error = QStringLiteral("%1: no such file").arg(path);
        return Load::Missing;
    case journalfile::ReadOutcome::Refused:
        return refused(QStringLiteral("%1: %2").arg(path, QString::fromStdString(reason)));
    case journalfile::ReadOutcome::Read:
        break;
    }
    const QList<QByteArray> lines = QByteArray::fromStdString(data).split('\n');
    sodium_memzero(&data[0], data.size());
    QByteArray seed = lines.isEmpty() ? QByteArray() : QByteArray::fromHex(lines.at(0).trimmed());
    m_created = lines.size() > 1 ? QDateTime::fromString(QString::fromLatin1(lines.at(1).trimmed()), Qt::ISODate) : QDateTime();
    if (seed.size() != crypto_sign_SEEDBYTES || !m_created.isValid()) {
        sodium_memzero(seed.data(), size_t(seed.size()));
        return refused(QStringLiteral("%1 holds no key").arg(path));
    }
    m_entriesBefore = -1;
    m_hashBefore.clear();
    const QList<QByteArray> before = lines.size() > 2 ? lines.at(2).trimmed().split(' ') : QList<QByteArray>();
    if (before.size() == 3 && before.at(0) == "before") {
        bool number = false;
        m_entriesBefore = before.at(1).toLongLong(&number);
        m_hashBefore = QString::fromLatin1(before.at(2));
        if (!number || m_entriesBefore < 0 || m_hashBefore.size() != 64)
            return refused(QStringLiteral("%1 holds no key").arg(path));
    }
    m_keepsLast = lines.size() > 3 && lines.at(3).trimmed() == "last";
    m_secret.resize(crypto_sign_SECRETKEYBYTES);
    m_public.resize(crypto_sign_PUBLICKEYBYTES);
    crypto_sign_seed_keypair(reinterpret_cast<unsigned char *>(m_public.data()),
                             reinterpret_cast<unsigned char *>(m_secret.data()),
                             reinterpret_cast<const unsigned char *>(seed.constData()));
    sodium_memzero(seed.data(), size_t(seed.size()));
    return Load::Loaded;
}

bool SigningKey::create(qint64 entriesBefore, const QString &hashBefore, QString *error)
{
    const auto failed = [error](const QString &why) {
        if (error)
            *error = why;
        return false;
    };
    if (!available())
        return failed(QStringLiteral("no signing library"));
    const QString path = defaultPath();
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        return failed(QStringLiteral("cannot create %1").arg(QFileInfo(path).absolutePath()));
    QByteArray seed(crypto_sign_SEEDBYTES, '\0');
    randombytes_buf(seed.data(), size_t(seed.size()));
    QByteArray text = seed.toHex() + '\n'
        + QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs).toLatin1() + '\n'
        + "before " + QByteArray::number(entriesBefore) + ' ' + hashBefore.toLatin1() + '\n' + "last\n";
    sodium_memzero(seed.data(), size_t(seed.size()));
    std::string data = text.toStdString();
    sodium_memzero(text.data(), size_t(text.size()));
    std::string reason;
    bool exists = false;
    // Whole or not at all, and never over a key another process just made.
    const bool published = journalfile::publishFile(QFile::encodeName(path).toStdString(), data, false, &exists, &reason);
    sodium_memzero(&data[0], data.size());
    if (!published && !exists)
        return failed(QStringLiteral("%1: %2").arg(path, QString::fromStdString(reason)));
    if (load(error) != Load::Loaded)
        return false;
    // Where another process made the key first, it wrote the record too.
    return exists || journalchain::writeKeyLast(*this, entriesBefore, hashBefore, error);
}

QByteArray SigningKey::sign(const QByteArray &message) const
{
    if (m_secret.size() != crypto_sign_SECRETKEYBYTES)
        return QByteArray();
    QByteArray signature(crypto_sign_BYTES, '\0');
    crypto_sign_detached(reinterpret_cast<unsigned char *>(signature.data()), nullptr,
                         reinterpret_cast<const unsigned char *>(message.constData()),
                         static_cast<unsigned long long>(message.size()),
                         reinterpret_cast<const unsigned char *>(m_secret.constData()));
    return signature;
}

bool SigningKey::verify(const QByteArray &message, const QByteArray &signature, const QByteArray &publicKey)
{
    if (!available() || signature.size() != crypto_sign_BYTES || publicKey.size() != crypto_sign_PUBLICKEYBYTES)
        return false;
    return crypto_sign_verify_detached(reinterpret_cast<const unsigned char *>(signature.constData()),
                                       reinterpret_cast<const unsigned char *>(message.constData()),
                                       static_cast<unsigned long long>(message.size()),
                                       reinterpret_cast<const unsigned char *>(publicKey.constData()))
        == 0;
}
