#ifndef FILEWIPEREPORT_H
#define FILEWIPEREPORT_H

#include "filewipe.h"
#include "wipemessages.h"

// What the user is told of a file wipe: the fixed text of the outcome as the
// box's main text and, as its informative text, what is on disk now.
wipemessages::Report fileWipeReport(const FileWipeOutcome &outcome, const QString &path);

#endif // FILEWIPEREPORT_H
