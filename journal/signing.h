#ifndef SIGNING_H
#define SIGNING_H

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QVector>

// The installation's Ed25519 key, made with the journal's first signed entry:
// the entries, the journal's head and the certificates are signed with it, so
// a rewritten journal or a forged certificate fails verification unless the
// key file was taken too. Only its owner may read or write the file (0600, in
// the user's data location, or the file KCC_SIGNING_KEY names); it is written
// whole to a new file and renamed into place, never over another key.
class SigningKey
{
public:
    static bool available(); // false where the program was built without a signing library
    static QString defaultPath();

    enum class Load { Loaded, Missing, Refused };
    // Reads the key; Refused (with the reason) for a file that holds no key,
    // cannot be read, is a link, another user's or writable by others.
    Load load(QString *error = nullptr);
    Load loadFrom(const QString &path, QString *error = nullptr); // another installation's key file
    // Makes the key, recording how many entries of the journal precede it and
    // the chain hash of the last of them: only those may go unsigned.
    bool create(qint64 entriesBefore, const QString &hashBefore, QString *error = nullptr);

    bool isLoaded() const { return m_public.size() == 32; }
    QByteArray publicKey() const { return m_public; }
    QByteArray sign(const QByteArray &message) const; // 64 bytes; empty when not loaded
    QDateTime created() const { return m_created; }
    // Entries before the key (-1: a key file from before this was recorded)
    // and the hash of the last of them.
    qint64 entriesBefore() const { return m_entriesBefore; }
    QString hashBefore() const { return m_hashBefore; }
    // Made with a record of the last entry it signed beside it (keylast.h),
    // so that record's absence is told; older key files have none.
    bool keepsLast() const { return m_keepsLast; }

    static bool verify(const QByteArray &message, const QByteArray &signature, const QByteArray &publicKey);

    // SHA-256 of the public key, hex: what the system log and the texts name.
    static QString fingerprint(const QByteArray &publicKey);
    // The organisation's accepted keys, one hex key a line ('#' starts a
    // comment): KCC_TRUSTED_KEYS, else the system-wide file. Where that file
    // exists, only the keys it lists are accepted.
    static QString trustedKeysPath();
    static bool trusted(const QByteArray &publicKey, QString *why = nullptr);
    // The keys that file lists; pinned: whether it exists at all.
    static QVector<QByteArray> pinnedKeys(bool *pinned, QString *why = nullptr);

private:
    QByteArray m_secret; // 64 bytes: the seed and the public key
    QByteArray m_public;
    QDateTime m_created;
    qint64 m_entriesBefore = -1;
    QString m_hashBefore;
    bool m_keepsLast = false;
};

#endif // SIGNING_H
