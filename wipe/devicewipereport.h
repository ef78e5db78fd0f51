#ifndef DEVICEWIPEREPORT_H
#define DEVICEWIPEREPORT_H

#include "devicewipe.h"
#include "wipemessages.h"

// What the user is told of a token wipe.
wipemessages::Report deviceWipeReport(const DeviceWipeOutcome &outcome);

#endif // DEVICEWIPEREPORT_H
