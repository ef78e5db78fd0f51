#ifndef JOURNALCHECK_H
#define JOURNALCHECK_H

#include "journal.h"
#include "journalhead.h"
#include "keylast.h"

#include <QByteArray>

namespace journalchain {

// What the journal's bytes are checked against.
struct Anchor {
    QByteArray publicKey;         // empty: no key at hand
    qint64 keyEntriesBefore = -1; // from the key file; -1 unknown
    QString keyHashBefore;
    Head head;
    // What the installation's key records it signed last; checked only where
    // that key is the one at hand (keyLastChecked).
    KeyLast keyLast;
    bool keyKeepsLast = false;
    bool keyLastChecked = false;
};

// The chain, the signatures and the end of a journal, from its bytes alone:
// no file is touched. records, when given, gets the entries up to a break.
VerifyResult check(const QByteArray &bytes, const Anchor &anchor = Anchor(), QVector<JournalRecord> *records = nullptr);
// Whether one stored entry's signature holds under publicKey.
bool lineSignatureHolds(const QByteArray &line, const QByteArray &publicKey);
// Every whole entry, whatever the chain says: what is shown past a break.
QVector<JournalRecord> wholeEntries(const QByteArray &bytes);

} // namespace journalchain

#endif // JOURNALCHECK_H
