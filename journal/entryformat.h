#ifndef ENTRYFORMAT_H
#define ENTRYFORMAT_H

#include "journal.h"

#include <QJsonObject>

// One entry as the journal stores it: a JSON object, and back. The chain's
// fields (seq, prev, sig) are the store's; everything else is here.
QJsonObject entryToJson(const JournalEntry &e);
JournalEntry entryFromJson(const QJsonObject &o);

// The stored words of the entry's own enums; a word not known reads as the
// first value (an entry from before the field was kept).
QString interfaceWord(JournalEntry::Interface interface);
QString phaseWord(JournalEntry::Phase phase); // "ended" is never stored: no "phase" field is an ending
JournalEntry::Phase phaseFromWord(const QString &word);

// SHA-256 of a stored line, hex: what the next entry chains onto.
QString lineHash(const QByteArray &line);
// An entry as stored at a line of the file (0: not counted).
JournalRecord recordOf(const QJsonObject &object, const QByteArray &line, int lineNumber = 0);
// The same where the line's hash is already at hand.
JournalRecord recordOf(const QJsonObject &object, const QString &lineHash, int lineNumber);

#endif // ENTRYFORMAT_H
