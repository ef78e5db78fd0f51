#ifndef FILEWIPE_H
#define FILEWIPE_H

#include "mediumverdict.h"
#include "volumesearch.h"
#include "wipeschedule.h"

#include <QString>
#include <QVector>
#include <functional>
#include <optional>

// Every pass is written in whole blocks of this size over every stretch of the
// file that holds data (holes stay holes), so a file grows to the next
// multiple of it while it is overwritten.
constexpr qint64 wipeBlockSize = 512;

// Blocks per pass for a file of fileSize bytes. 64-bit, so files past 1 TiB count right.
qint64 wipeBlockCount(qint64 fileSize);

enum class FileWipeStatus {
    Wiped,    // every pass reached the medium; truncated, stamped and removed, all forced to the medium
    NotFound, // nothing on disk was touched
    Refused,  // the name is not a regular file: see FileWipeOutcome::refusal; nothing touched
    Failed,   // see FileWipeOutcome::failedStep and passesDone
};

// Why a name was refused before anything was changed.
enum class FileRefusal {
    None,
    Directory,
    SymbolicLink,    // FileWipeOutcome::linkTarget says where it points
    Fifo,
    Socket,
    Device,
    Other,
    UnencodableName, // the path holds characters no file name here can hold
    Swapped,         // the name led to another file between looking and opening
};

enum class FileWipeStep {
    None,
    Open,
    Write,
    Flush,
    Sync,
    Seek,
    Changed,     // another process shrank, grew or replaced the file during a pass
    Cancelled,   // stopped on request after a write
    Truncate,
    Close,
    Remove,
    SyncRemoval, // the name is removed, but the removal could not be forced to the medium
    NameChanged, // the name no longer led to the wiped file, so it was left alone
    Verify,      // the file read back is not what the last pass wrote
    Exception,
    HeldOpen,    // another process had the file open, so no pass began: see FileWipeOutcome::holders
    RewrittenAfterRemoval, // after the truncation another process wrote into the file, which it still holds
};

// A process that had the file open when the wipe was to begin.
struct FileHolder {
    qint64 pid = 0;
    QString name; // its command name; empty where the system does not tell
};

// How the last pass was read back before the file was emptied.
enum class FileVerification {
    NotRead,     // the wipe stopped before, or the file could not be read back
    Direct,      // read past the system's cache, and equal to the pass
    MaybeCached, // equal to the pass, but the read may have been answered from a cache
    NoReplay,    // read, but its bytes cannot be made again to compare with
    Mismatch,    // not what the pass wrote: see verifyMismatchAt
};

struct FileWipeOutcome {
    FileWipeStatus status = FileWipeStatus::Failed;
    FileWipeStep failedStep = FileWipeStep::None;
    FileRefusal refusal = FileRefusal::None;
    int passesDone = 0;   // passes that reached the medium
    int passesPlanned = 0;
    bool bytesWritten = false; // whether any byte of the file was overwritten
    qint64 size = -1;          // the file's size when it was opened
    // Bytes of it that held data then; the rest were holes, which no pass
    // writes. 0: nothing to overwrite, and no pass was written.
    qint64 allocatedBytes = -1;
    QVector<FileHolder> holders; // for FileWipeStep::HeldOpen, where the system lists them
    quint64 otherNames = 0;    // hard links still leading to the overwritten, empty file
    QString linkTarget;
    QString systemError;       // the system's reason for the failed step
    // What the medium allowed: judged from the file system before the first
    // pass, and made Relocating when a pass's extents moved.
    MediumVerdict medium;
    FileVerification verification = FileVerification::NotRead;
    qint64 verifyMismatchAt = -1; // the first byte read back that differs
    // The key's fingerprint and former place, taken before the first pass
    // when asked for, to search the volume and fill what was freed.
    KeyFingerprintPtr key;
};

// Called after pass `index` has reached the medium and before the next begins.
using PassObserver = std::function<void(int index, const WipePass &pass)>;

enum class FileWipeEvent {
    Opened,    // held, nothing changed yet, no other process had it open; bytes is what each pass will write
    Written,   // one write of the pass; bytes is how much of the pass is written
    ReadBack,  // every pass is on the medium and about to be read back
    Truncated, // every pass is on the medium and the file is empty
};
// Told of the steps of one wipe; returning false after Written stops the wipe
// there, with the file left in place.
using FileWipeListener = std::function<bool(FileWipeEvent event, int pass, qint64 bytes)>;

// Overwrites the file at path with the plan's passes, then truncates,
// stamps and removes it. The file is opened once and held: a name that is a
// link, a directory, a device, a FIFO or a socket is refused, and the name is
// removed only while it still leads to the file that was overwritten. A file
// whose passes did not all complete is neither truncated nor removed, and its
// mode is as it was, so the user can retry. Throws nothing.
// fingerprint: keep the key's fingerprint in the outcome, for a search of
// the volume after the wipe.
FileWipeOutcome overwriteFile(const PassPlan &plan, const QString &path,
                              const PassObserver &observer = {},
                              const FileWipeListener &listener = {}, bool fingerprint = false);

// What the medium of the file at path allows, looked at without changing
// anything (for the confirmation); known is false where the name cannot be
// opened for reading as a regular file.
MediumVerdict probeFileMedium(const QString &path);

// What overwriteFile would say of the name before its first change, asked
// before the officer is: NotFound, Refused, or Failed at its open, through
// the same looks; empty where the wipe may begin. Opens nothing for writing.
std::optional<FileWipeOutcome> refusalOfFile(const QString &path);

#endif // FILEWIPE_H
