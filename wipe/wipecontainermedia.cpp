#include "wipecontainer.h"

#include "devicewipe.h"
#include "devicewipereport.h"

bool wipeContainerOnMedia(QWidget *parent, WipeAlgorithm algorithm, const MediaRecord *media,
                          QString pin)
{
    const DeviceWipeOutcome outcome = overwriteMediaContainer(algorithm, media, pin);
    wipemessages::show(parent, deviceWipeReport(outcome));
    // A replaced container is gone all the same: the window clears its fields.
    return outcome.status == DeviceWipeStatus::Wiped;
}
