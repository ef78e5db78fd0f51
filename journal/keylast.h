#ifndef KEYLAST_H
#define KEYLAST_H

#include <QString>

class SigningKey;

namespace journalchain {

// The last entry the installation's key signed, kept beside the key and
// signed with it: deleting the journal and its head does not reach it, so a
// chain restarted at 1 with a key that signed before is told.
struct KeyLast {
    bool present = false;
    bool holds = false; // its signature holds with the key it was read for
    qint64 seq = 0;     // 0: the key has signed nothing yet
    QString hash;
};

// The key's path with ".last"; the installation's key where none is given.
QString keyLastPath(const QString &keyPath = QString());
// Reads the record and checks it against publicKey; a file that is there
// but cannot be read or parsed is present and does not hold.
KeyLast readKeyLast(const QByteArray &publicKey, const QString &keyPath = QString());
bool writeKeyLast(const SigningKey &key, qint64 seq, const QString &hash, QString *why = nullptr);

// Why a journal that ends at entry lastSeq (hashAtKeyLast: its entry
// numbered last.seq, empty where not read; headPresent: its head was on
// disk) cannot go on with this key; empty where it can.
// keyKeepsLast: the key was made with a record, so a missing one is taken.
// cut is set where the key signed an entry the journal no longer holds.
QString keyLastRefusal(const KeyLast &last, bool keyKeepsLast, bool headPresent, qint64 lastSeq,
                       const QString &hashAtKeyLast, bool *cut = nullptr);

} // namespace journalchain

#endif // KEYLAST_H
