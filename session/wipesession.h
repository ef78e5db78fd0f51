#ifndef WIPESESSION_H
#define WIPESESSION_H

#include "tokenwipe.h"
#include "filewipe.h"
#include "journal.h"
#include "tokenlist.h"
#include "wipereport.h"
#include "wipeschedule.h"

#include <QDateTime>
#include <QString>

#include <optional>

class WipeWorker;

// One confirmed wipe as a front-end asks for it.
struct WipeRequest {
    WipeAlgorithm algorithm = Gost;
    JournalEntry::Interface via = JournalEntry::Interface::Window;
    QString path;                       // the container file, or
    std::optional<ListedToken> token; // the token whose container is wiped
    QString pin;                      // for the token's log-in
    // A file only: after the wipe, read the whole volume for blocks of the
    // key; and where the passes went elsewhere, fill the freed blocks first.
    bool searchVolume = false;
    bool fillFreed = false;

    bool isFile() const { return !token; }

    // For tests that stop a wipe between two steps: told of the file wipe's
    // steps when no worker runs it.
    FileWipeListener listener;
};

// Everything a front-end tells of one wipe, made once for all of them.
struct WipeResult {
    FileWipeOutcome file;     // a file wipe's outcome
    TokenWipeOutcome token;   // a token wipe's outcome
    VolumeSearch search;      // the last search of the volume, after the fill where one ran
    int survivorsBeforeFill = -1;
    FreedFill fill;
    // What was wiped, how and how long it took; it heads the report's
    // informative text.
    QString summary;
    WipeReport report;
    JournalEntry entry; // as appended to the journal
    bool journalled = false; // the entry is on the medium; the report says why not
    QString attempt;          // shared by the begun entry and the ending one
    QDateTime started;        // when the begun entry was written
    QString begunNotJournalled; // why the begun entry is not on the medium; empty when it is

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

// Fills what a finished file wipe freed and searches the volume again, for
// the result box's button; the result's report and journal say so after.
void fillAndSearchAgain(const WipeRequest &request, WipeResult &result, WipeWorker *worker = nullptr);

// Whether the volume can still hold blocks of the key: found, or a fill that
// did not reach them.
bool survivorsRemain(const WipeResult &result);
// Whether a fill took back what the passes could not reach: the fill covered
// every block the key lay on, or a search after it found none.
bool freedBlocksCleared(const WipeResult &result);

// Zeroes the PIN's characters where they lie when nothing else shares them,
// then empties it.
void forgetPin(QString &pin);

#endif // WIPESESSION_H
