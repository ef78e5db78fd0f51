#ifndef WIPESESSION_H
#define WIPESESSION_H

#include "devicewipe.h"
#include "filewipe.h"
#include "journal.h"
#include "medialist.h"
#include "wipereport.h"
#include "wipeschedule.h"

#include <QString>

#include <optional>

class WipeWorker;

// One confirmed wipe as a front-end asks for it.
struct WipeRequest {
    WipeAlgorithm algorithm = Gost;
    JournalEntry::Interface via = JournalEntry::Interface::Window;
    QString path;                       // the container file, or
    std::optional<ListedMedium> medium; // the medium whose container is wiped
    QString pin;                        // for the medium's log-in

    bool isFile() const { return !medium; }
};

// Everything a front-end tells of one wipe, made once for all of them.
struct WipeResult {
    FileWipeOutcome file;     // a file wipe's outcome
    DeviceWipeOutcome device; // a medium wipe's outcome
    // What was wiped, how and how long it took; it heads the report's
    // informative text.
    QString summary;
    WipeReport report;
    JournalEntry entry; // as appended to the journal
    bool journalled = false; // the entry is on the medium; the report says why not

    // The container is gone: the window empties its fields.
    bool destroyed() const;
};

// What the confirmation says will be destroyed, and how.
QString wipePlan(const WipeRequest &request);
// "Алгоритм: …, проходов: N."
QString algorithmPlan(WipeAlgorithm algorithm);

// Runs the wipe (on the worker's thread when one is given, the caller's
// events handled meanwhile), then reports and journals it. Throws nothing.
WipeResult runWipeSession(const WipeRequest &request, WipeWorker *worker = nullptr);

// Zeroes the PIN's characters where they lie when nothing else shares them,
// then empties it.
void forgetPin(QString &pin);

#endif // WIPESESSION_H
