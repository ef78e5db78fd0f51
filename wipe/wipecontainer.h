#ifndef WIPECONTAINER_H
#define WIPECONTAINER_H

#include "velmux.h"
#include "wipeschedule.h"

#include <QString>

class QWidget;

// The executors as the main window calls them: each runs one wipe, tells the
// user the outcome in a modal box parented to `parent`, and returns true only
// after the success message.
bool wipeContainerFile(QWidget *parent, WipeAlgorithm algorithm, QString path);
bool wipeContainerOnMedia(QWidget *parent, WipeAlgorithm algorithm, const MediaRecord *media,
                          QString pin);

#endif // WIPECONTAINER_H
