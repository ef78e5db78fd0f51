#ifndef JOURNALHEAD_H
#define JOURNALHEAD_H

#include "journal.h"
#include "journalfile.h"
#include "nativepath.h"

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <QVector>

class SigningKey;

namespace journalchain {


// An attempt begun and not yet ended, where its begun entry stands.
struct OpenAttempt {
    QString attempt;
    qint64 seq = 0;
    qint64 offset = 0;
    qint64 length = 0;
    int passes = 0; // passes recorded as on the medium
};

// The journal's end as the last append left it, signed: kept outside the
// file, so a cut or emptied journal is told from one that never grew.
//
// The file holds two copies of equal, fixed size, each a signed line padded
// with spaces, written in turn in place: the newest that holds is the head,
// and a write cut short only ever spoils the copy it was writing. An earlier
// file of one line, replaced whole, is still read.
struct Head {
    bool present = false;
    qint64 seq = 0;
    QString hash = Journal::genesisHash();
    qint64 size = 0;
    QVector<OpenAttempt> open;
    QString signature; // base64; empty when written without a key
    QByteArray stored; // the copy's bytes, without its padding
    QString keyFingerprint; // of the key that signed it, as it says; empty in heads from before it was named
    qint64 generation = -1; // which write of the file this copy is; -1: a file of one copy
    int slotSize = 0;       // of each copy in the file; 0: a file of one copy
    // The other copy is not the write just before this one: its write was
    // cut short, or it was tampered with. Holds only where the journal goes
    // past this copy's entry, as the entry the lost write named would.
    bool newerLost = false;
    QByteArray heldWith; // the key and bytes its signature was found to hold over, so it is checked once

    QJsonObject body() const;
    QByteArray message() const; // what the signature covers
};

enum class HeadRead { Missing, Read, Refused };
// publicKey, when given, chooses the newest copy whose signature holds.
HeadRead readHead(const QString &path, Head *head, QString *error, const QByteArray &publicKey = QByteArray());
// The one place the head is brought up to an append: its next copy written
// in place, or the file made anew (the first time, or from one copy).
bool writeHead(const QString &path, Head &head, const SigningKey &key, std::string *reason);
bool headSignatureHolds(const Head &head, const QByteArray &publicKey);
// Follows one stored entry into the attempts still open.
void applyToOpen(QVector<OpenAttempt> &open, const QJsonObject &o, qint64 seq, qint64 offset, qint64 length);

// The journal's last whole entry and what follows it, read from the end.
struct Tail {
    bool found = false;
    qint64 seq = 0;
    QString hash = Journal::genesisHash();
    bool isSigned = false;
    bool endsWithNewline = true;
    bool torn = false;  // bytes after the last whole entry
    QByteArray tornBytes; // without the newline that ended them
};

// Reads the head and checks it against the journal's end, which it reads
// into tail; a head that is missing, or behind, is brought up to date in
// memory. false, with why, where the journal does not end where its head says.
bool headAtEnd(const journalfile::LockedFile &file, std::int64_t size, const QString &headPath,
               const QByteArray &publicKey, Head *head, Tail *tail, QString *why);

} // namespace journalchain

#endif // JOURNALHEAD_H
