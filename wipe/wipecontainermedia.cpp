#include "wipecontainer.h"

#include "devicewipe.h"
#include "wipemessages.h"

bool wipeContainerOnMedia(QWidget *parent, WipeAlgorithm algorithm, const MediaRecord *media,
                          QString pin)
{
    QString failure;
    switch (overwriteMediaContainer(algorithm, media, pin)) {
    case DeviceWipeStatus::Wiped:
        wipemessages::show(parent, QMessageBox::Information, wipemessages::wiped());
        return true;
    case DeviceWipeStatus::ContextFailed:
        failure = wipemessages::contextFailed();
        break;
    case DeviceWipeStatus::OpenSessionFailed:
        failure = wipemessages::sessionFailed();
        break;
    case DeviceWipeStatus::LoginFailed:
        failure = wipemessages::wrongPin();
        break;
    case DeviceWipeStatus::SizeFailed:
        failure = wipemessages::sizeFailed();
        break;
    case DeviceWipeStatus::WriteFailed:
        failure = wipemessages::writeFailed();
        break;
    case DeviceWipeStatus::DeleteFailed:
    case DeviceWipeStatus::Exception:
        failure = wipemessages::deviceFailed();
        break;
    }
    wipemessages::show(parent, QMessageBox::Critical, failure);
    return false;
}
