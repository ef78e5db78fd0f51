#ifndef DEVICEWIPE_H
#define DEVICEWIPE_H

#include "velmux.h"
#include "wipeschedule.h"

#include <QString>

enum class DeviceWipeStatus {
    Wiped,             // every write succeeded and the container is deleted
    ContextFailed,     // nothing was opened
    OpenSessionFailed,
    LoginFailed,       // nothing was written
    SizeFailed,        // nothing was written
    WriteFailed,       // at least one pass failed; the container was still deleted
    DeleteFailed,      // every pass was written but the container is still there
    Exception,         // everything opened was released
};

// Closes the session, opens it again on the same medium and logs in again.
// The statuses are not examined: a failed log-in shows in the writes after it.
void reopenSession(velmux_ctx context, const MediaRecord *media, const QString &pin);

// Overwrites the key container on the medium once per pass of the algorithm,
// with a fresh log-in between passes, and deletes it. Never seeds the
// generator: random passes continue the sequence of the last file wipe.
// Throws nothing; the library's context and session are released on every path.
DeviceWipeStatus overwriteMediaContainer(WipeAlgorithm algorithm, const MediaRecord *media,
                                    const QString &pin);

#endif // DEVICEWIPE_H
