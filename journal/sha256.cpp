// OpenSSL's digest functions below EVP: they keep no per-thread state. EVP's
// fetch leaves an error-mark stack on every thread that hashes, which the
// collection's worker threads would then hold to the process's end.
#define OPENSSL_SUPPRESS_DEPRECATED

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
    SHA256_CTX context;
    SHA256_Init(&context);
    SHA256_Update(&context, bytes.constData(), size_t(bytes.size()));
    SHA256_Final(reinterpret_cast<unsigned char *>(digest.data()), &context);
    return digest;
#else
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256);
#endif
}
