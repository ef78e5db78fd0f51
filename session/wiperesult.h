#ifndef WIPERESULT_H
#define WIPERESULT_H

#include "filewipe.h"
#include "journal.h"
#include "tokenlist.h"
#include "tokenwipe.h"
#include "wipereport.h"
#include "wipeschedule.h"
#include "wipeverdict.h"

#include <QDateTime>
#include <QString>

#include <functional>
#include <optional>

// One confirmed wipe as a front-end asks for it.
struct WipeRequest {
    PassPlan plan = passPlan(Gost); // made once, from the algorithm chosen
    JournalEntry::Interface via = JournalEntry::Interface::Window;
    QString path;                       // the container file, or
    std::optional<ListedToken> token; // the token whose container is wiped
    QString pin;                      // for the token's log-in
    // A file only: after the wipe, read the whole volume for blocks of the
    // key; and where the passes went elsewhere, fill the freed blocks first.
    bool searchVolume = false;
    bool fillFreed = false;

    bool isFile() const { return !token; }

    // Asked when the begun entry cannot be put on the medium, with the reason:
    // true goes on without a record. Unset: no wipe without its record.
    std::function<bool(const QString &why)> goOnWithoutRecord;

    // Told of the file wipe's steps when no worker runs it: the command
    // line's progress, and tests that stop a wipe between two steps.
    FileWipeListener listener;
    // Told of each token pass before it is written, when no worker runs it.
    std::function<void(int pass)> tokenPassStarted;
};

// Everything a front-end tells of one wipe, made once for all of them.
struct WipeResult {
    FileWipeOutcome file;     // a file wipe's outcome
    TokenWipeOutcome token;   // a token wipe's outcome
    VolumeSearch search;      // the last search of the volume, after the fill where one ran
    VolumeSearch searchBeforeFill; // the search the fill followed, where one ran before it
    FreedFill fill;
    KeyReach reach;           // what a search or fill can reach of the key
    bool swapInUse = false;   // a file system in memory may have paged the key out
    // What may be claimed, decided once from all of the above.
    WipeVerdict verdict;
    // What every front end tells: the verdict's state, or EndNotRecorded where
    // the wipe's ending entry did not reach the medium and the officer had not
    // chosen to go on without a record.
    EndState told = EndState::Untouched;
    // What was wiped, how and how long it took; it heads the report's
    // informative text.
    QString summary;
    WipeReport report;
    JournalEntry entry; // as appended to the journal
    bool journalled = false; // the entry is on the medium; the report says why not
    qint64 sequence = 0;     // the ending entry's number in the journal, where journalled
    QString entryHash;       // the SHA-256 of its stored line, hex, where journalled
    QString attempt;          // shared by the begun entry and the ending one
    QDateTime started;        // when the begun entry was written
    QString begunNotJournalled; // why the begun entry is not on the medium; empty when it is
    bool withoutRecord = false;    // the officer chose to go on without the begun entry
    bool systemLogDropped = false; // the begun entry's copy did not reach the system log in time

    // The container is gone, recorded or not: the window empties its fields.
    bool destroyed() const { return isGone(verdict.state); }
};

#endif // WIPERESULT_H
