#ifndef SIGNING_H
#define SIGNING_H

#include <QByteArray>
#include <QDateTime>
#include <QString>

// The installation's Ed25519 key, made at first use: the journal's entries and
// the certificates are signed with it, so a rewritten journal or a forged
// certificate fails verification unless the key file was taken too. Only its
// owner may read the file (0600, in the user's data location, or the file
// KCC_SIGNING_KEY names).
class SigningKey
{
public:
    static bool available(); // false where the program was built without a signing library
    static QString defaultPath();

    // Reads the key, making it first when there is none and create is set.
    bool load(bool create, QString *error = nullptr);
    bool isLoaded() const { return m_public.size() == 32; }
    QByteArray publicKey() const { return m_public; }
    QByteArray sign(const QByteArray &message) const; // 64 bytes; empty when not loaded
    // When the key was made: entries written before it cannot carry its signature.
    QDateTime created() const { return m_created; }

    static bool verify(const QByteArray &message, const QByteArray &signature, const QByteArray &publicKey);

private:
    QByteArray m_secret; // 64 bytes: the seed and the public key
    QByteArray m_public;
    QDateTime m_created;
};

#endif // SIGNING_H
