#ifndef JOURNALEVENTS_H
#define JOURNALEVENTS_H

#include "journal.h"
#include "journalhead.h"

// Tells the system log of one append, written or not (why: what stopped
// it), with the head it left. dropped, when given, says whether the copy
// could not be sent in time; untouched where the system log is turned off.
void logAppend(const JournalRecord &record, bool written, const QString &why, const QString &journalPath,
               const QByteArray &publicKey, const journalchain::Head &head, bool *dropped);

#endif // JOURNALEVENTS_H
