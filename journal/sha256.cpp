#include "sha256.h"

#ifdef KCC_HAVE_OPENSSL
#include <openssl/evp.h>
#endif
#include <QCryptographicHash>

QByteArray sha256(const QByteArray &bytes)
{
#ifdef KCC_HAVE_OPENSSL
    // Fetched once: OpenSSL 3.0's one-shot SHA256() looks the algorithm up
    // under a lock each call, which costs as much as hashing a short line.
    static EVP_MD *const algorithm = EVP_MD_fetch(nullptr, "SHA256", nullptr);
    QByteArray digest(32, Qt::Uninitialized);
    unsigned int size = 0;
    if (algorithm && EVP_Digest(bytes.constData(), size_t(bytes.size()), reinterpret_cast<unsigned char *>(digest.data()),
                                &size, algorithm, nullptr) == 1 && size == 32)
        return digest;
#endif
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256);
}
