#ifndef WIPERECORD_H
#define WIPERECORD_H

#include "devicewipe.h"
#include "filewipe.h"
#include "journal.h"
#include "wipemessages.h"

// A token as the officer knows it: its label, model and serial number.
struct TokenTarget {
    QString label;
    QString model;
    QString serial;
    QString describe() const; // "label (model, S/N serial)"
};

// Asks the library for the token behind the record; empty fields where it
// cannot say (the token was pulled out since it was chosen).
TokenTarget describeToken(const MediaRecord &media);

// What the confirmation's informative text says will be destroyed.
QString fileWipePlan(const QString &path, WipeAlgorithm algorithm);
QString tokenWipePlan(const TokenTarget &token, WipeAlgorithm algorithm);

// Puts in front of the report's informative text what was wiped, how and how
// long it took; the main text stays as it is.
void addSummary(wipemessages::Report &report, const QString &target, WipeAlgorithm algorithm,
                int passesDone, qint64 elapsedMs);

// Short machine-readable end states for the journal.
QString fileEndState(const FileWipeOutcome &outcome);
QString tokenEndState(const DeviceWipeOutcome &outcome);

JournalEntry fileJournalEntry(const QString &path, WipeAlgorithm algorithm, const FileWipeOutcome &outcome,
                              const wipemessages::Report &report, JournalEntry::Interface via);
JournalEntry tokenJournalEntry(const TokenTarget &token, WipeAlgorithm algorithm,
                               const DeviceWipeOutcome &outcome, const wipemessages::Report &report,
                               JournalEntry::Interface via);

// Appends the entry, forced to the medium; when that fails the report says so
// and why, so the officer knows the attempt is not on record.
void recordInJournal(const JournalEntry &entry, wipemessages::Report &report);

#endif // WIPERECORD_H
