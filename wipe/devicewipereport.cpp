#include "devicewipereport.h"

wipemessages::Report deviceWipeReport(DeviceWipeStatus status)
{
    switch (status) {
    case DeviceWipeStatus::Wiped:
        return {QMessageBox::Information, wipemessages::wiped(), QString()};
    case DeviceWipeStatus::ContextFailed:
        return {QMessageBox::Critical, wipemessages::contextFailed(), QString()};
    case DeviceWipeStatus::OpenSessionFailed:
        return {QMessageBox::Critical, wipemessages::sessionFailed(), QString()};
    case DeviceWipeStatus::LoginFailed:
        return {QMessageBox::Critical, wipemessages::wrongPin(), QString()};
    case DeviceWipeStatus::SizeFailed:
        return {QMessageBox::Critical, wipemessages::sizeFailed(), QString()};
    case DeviceWipeStatus::WriteFailed:
        return {QMessageBox::Critical, wipemessages::writeFailed(), QString()};
    case DeviceWipeStatus::DeleteFailed:
    case DeviceWipeStatus::Exception:
        break;
    }
    return {QMessageBox::Critical, wipemessages::deviceFailed(), QString()};
}
