#ifndef WIPERECORD_H
#define WIPERECORD_H

#include "wipesession.h"

// Short machine-readable end states for the journal.
QString fileEndState(const FileWipeOutcome &outcome);
QString deviceEndState(const DeviceWipeOutcome &outcome);
QString verificationId(FileVerification verification);

// The journal entry of a finished wipe: its target, algorithm, passes, the
// report as shown and the end state.
JournalEntry journalEntry(const WipeRequest &request, const WipeResult &result);

#endif // WIPERECORD_H
