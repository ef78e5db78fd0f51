#ifndef WIPERECORD_H
#define WIPERECORD_H

#include "wiperesult.h"

// The journal entry of a finished wipe: its target, algorithm, passes, the
// report as shown and the end state.
JournalEntry journalEntry(const WipeRequest &request, const WipeResult &result);

// The entry forced to the medium before the first pass: the target, the
// algorithm, who runs it and the file as it is then.
JournalEntry begunEntry(const WipeRequest &request, const QString &attempt);

// An attempt whose ending entry is missing, once its process is gone.
struct InterruptedWipe {
    JournalRecord begun;
    QString fileNow; // what is under the name now, looked at without following a link
};
// Finds them, gives each an ending entry "interrupted" (so each is told of
// once) and returns them. Attempts whose process still runs are left alone.
QVector<InterruptedWipe> closeInterruptedWipes(JournalEntry::Interface via);
QString describeInterrupted(const InterruptedWipe &wipe);

#endif // WIPERECORD_H
