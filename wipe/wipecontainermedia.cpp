#include "wipecontainer.h"

#include "devicewipe.h"
#include "devicewipereport.h"

bool wipeContainerOnMedia(QWidget *parent, WipeAlgorithm algorithm, const MediaRecord *media,
                          QString pin)
{
    const DeviceWipeStatus status = overwriteMediaContainer(algorithm, media, pin);
    wipemessages::show(parent, deviceWipeReport(status));
    return status == DeviceWipeStatus::Wiped;
}
