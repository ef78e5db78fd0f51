#ifndef WIPECONTAINER_H
#define WIPECONTAINER_H

#include "tokenlist.h"
#include "wipereport.h"
#include "wipeschedule.h"

#include <QString>

class QWidget;
class WipeWorker;

// The window's wipes. Each runs one wipe session on the worker's thread
// behind a progress dialog, tells the outcome in a modal box parented to
// `parent` and returns true when the container is gone. searchVolume: read
// the file's volume for blocks of the key afterwards; where the box then has
// something to take back, it offers to fill the freed space.
bool wipeContainerFile(QWidget *parent, WipeAlgorithm algorithm, QString path, WipeWorker &worker,
                       bool searchVolume = false);
bool wipeContainerOnMedia(QWidget *parent, WipeAlgorithm algorithm, const ListedToken *medium,
                          const QString &pin, WipeWorker &worker);

// Modal, titled like every wipe box, one OK button and no default button.
// extraButton, when given, is offered beside OK; true when it was chosen.
bool showReport(QWidget *parent, const WipeReport &report, const QString &extraButton = QString());

#endif // WIPECONTAINER_H
