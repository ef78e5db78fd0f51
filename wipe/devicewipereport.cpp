#include "devicewipereport.h"

namespace {

using namespace wipemessages;

QString leftText(ContainerLeft left)
{
    switch (left) {
    case ContainerLeft::Gone:
        return containerGone();
    case ContainerLeft::Present:
        return containerPresent();
    case ContainerLeft::Unknown:
        break;
    }
    return containerUnknown();
}

} // namespace

wipemessages::Report deviceWipeReport(const DeviceWipeOutcome &outcome)
{
    const QString written = passesWritten(outcome.passesWritten, outcome.passes);
    switch (outcome.status) {
    case DeviceWipeStatus::Wiped:
        if (outcome.replaced)
            return {QMessageBox::Warning, deviceReplaced(), deviceReplacedDetail()};
        return {QMessageBox::Information, wiped(), QString()};
    case DeviceWipeStatus::ContextFailed:
        return {QMessageBox::Critical, contextFailed(), untouched()};
    case DeviceWipeStatus::OpenSessionFailed:
        return {QMessageBox::Critical, sessionFailed(), untouched()};
    case DeviceWipeStatus::LoginFailed:
        return {QMessageBox::Critical, wrongPin(), untouched()};
    case DeviceWipeStatus::PinLocked:
        return {QMessageBox::Critical, pinLocked(), untouched()};
    case DeviceWipeStatus::PinNotInitialized:
        return {QMessageBox::Critical, pinNotInitialized(), untouched()};
    case DeviceWipeStatus::PinExpired:
        return {QMessageBox::Critical, pinExpired(), untouched()};
    case DeviceWipeStatus::NoContainer:
        return {QMessageBox::Critical, noContainer(), QString()};
    case DeviceWipeStatus::Ambiguous:
        return {QMessageBox::Critical, severalContainers(), severalContainersDetail(outcome.containers)};
    case DeviceWipeStatus::SizeFailed:
        return {QMessageBox::Critical, sizeFailed(), untouched()};
    case DeviceWipeStatus::WriteFailed:
        return {QMessageBox::Critical, writeFailed(), written + QLatin1Char(' ') + leftText(outcome.left)};
    case DeviceWipeStatus::DeleteFailed:
        return {QMessageBox::Critical, deviceFailed(), written + QLatin1Char(' ') + leftText(outcome.left)};
    case DeviceWipeStatus::Exception:
        break;
    }
    return {QMessageBox::Critical, deviceFailed(), leftText(outcome.left)};
}

