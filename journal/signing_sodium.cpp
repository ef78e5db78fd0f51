#include "signing.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <sodium.h>

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
    return QDir(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation)).filePath(QStringLiteral("signing.key"));
}

bool SigningKey::load(bool create, QString *error)
{
    const auto failed = [error](const QString &why) {
        if (error)
            *error = why;
        return false;
    };
    if (!available())
        return failed(QStringLiteral("no signing library"));
    const QString path = defaultPath();
    QFile file(path);
    if (file.open(QIODevice::ReadOnly)) {
        QByteArray seed = QByteArray::fromHex(file.readLine().trimmed());
        m_created = QDateTime::fromString(QString::fromLatin1(file.readLine().trimmed()), Qt::ISODate);
        if (seed.size() != crypto_sign_SEEDBYTES || !m_created.isValid())
            return failed(QStringLiteral("%1 holds no key").arg(path));
        m_secret.resize(crypto_sign_SECRETKEYBYTES);
        m_public.resize(crypto_sign_PUBLICKEYBYTES);
        crypto_sign_seed_keypair(reinterpret_cast<unsigned char *>(m_public.data()),
                                 reinterpret_cast<unsigned char *>(m_secret.data()),
                                 reinterpret_cast<const unsigned char *>(seed.constData()));
        sodium_memzero(seed.data(), size_t(seed.size()));
        return true;
    }
    if (!create || QFileInfo::exists(path))
        return failed(file.errorString());
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        return failed(QStringLiteral("cannot create %1").arg(QFileInfo(path).absolutePath()));
    QByteArray seed(crypto_sign_SEEDBYTES, '\0');
    randombytes_buf(seed.data(), size_t(seed.size()));
    // Owner-only before a byte of the key is in it; never over an existing file.
    QFile out(path);
    if (!out.open(QIODevice::WriteOnly | QIODevice::NewOnly)
        || !out.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner)
        || out.write(seed.toHex() + '\n') != seed.size() * 2 + 1
        || out.write(QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs).toLatin1() + '\n') <= 0
        || !out.flush()) {
        sodium_memzero(seed.data(), size_t(seed.size()));
        return failed(out.errorString());
    }
    out.close();
    sodium_memzero(seed.data(), size_t(seed.size()));
    return load(false, error);
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
