#include "sha256.h"

#ifdef KCC_HAVE_OPENSSL
#include <openssl/sha.h>
#else
#include <QCryptographicHash>
#endif

QByteArray sha256(const QByteArray &bytes)
{
#ifdef KCC_HAVE_OPENSSL
    QByteArray digest(SHA256_DIGEST_LENGTH, Qt::Uninitialized);
    SHA256(reinterpret_cast<const unsigned char *>(bytes.constData()), size_t(bytes.size()),
           reinterpret_cast<unsigned char *>(digest.data()));
    return digest;
#else
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256);
#endif
}
