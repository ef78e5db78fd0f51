#ifndef FILEWIPE_H
#define FILEWIPE_H

#include "wipeschedule.h"

#include <QString>
#include <functional>

// Every pass is written in whole blocks of this size from offset 0, so a file
// grows to the next multiple of it while it is overwritten.
constexpr qint64 wipeBlockSize = 512;

// Blocks per pass for a file of fileSize bytes. 64-bit, so files past 1 TiB count right.
qint64 wipeBlockCount(qint64 fileSize);

enum class FileWipeStatus {
    Wiped,    // every pass reached the medium; truncated, stamped and removed
    NotFound, // nothing on disk was touched
    Failed,   // see FileWipeOutcome::failedStep
};

enum class FileWipeStep {
    None,
    Open,
    Write,
    Flush,
    Sync,
    Seek,
    Truncate,
    Close,
    Remove,
    Exception,
};

struct FileWipeOutcome {
    FileWipeStatus status = FileWipeStatus::Failed;
    FileWipeStep failedStep = FileWipeStep::None;
    int passesCompleted = 0;
};

// Called after pass `index` has reached the medium and before the next begins.
using PassObserver = std::function<void(int index, const WipePass &pass)>;

// Overwrites the file at path with the passes of the algorithm, then truncates,
// stamps and removes it. A file whose passes did not all complete is neither
// truncated nor removed, so the user can retry. Throws nothing.
FileWipeOutcome overwriteFile(WipeAlgorithm algorithm, const QString &path,
                         const PassObserver &observer = {});

#endif // FILEWIPE_H
