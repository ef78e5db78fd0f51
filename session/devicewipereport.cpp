#include "wipereport.h"

#include "wipetexts.h"

namespace {

using namespace wipetexts;

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

WipeReport deviceWipeReport(const DeviceWipeOutcome &outcome)
{
    const QString written = passesWritten(outcome.passesDone, outcome.passesPlanned);
    switch (outcome.status) {
    case DeviceWipeStatus::Wiped:
        if (outcome.replaced)
            return {Severity::Warning, deviceReplaced(), deviceReplacedDetail()};
        return {Severity::Information, wiped(), QString()};
    case DeviceWipeStatus::ContextFailed:
        return {Severity::Critical, contextFailed(), untouched()};
    case DeviceWipeStatus::OpenSessionFailed:
        return {Severity::Critical, sessionFailed(), untouched()};
    case DeviceWipeStatus::LoginFailed:
        return {Severity::Critical, wrongPin(), untouched()};
    case DeviceWipeStatus::PinLocked:
        return {Severity::Critical, pinLocked(), untouched()};
    case DeviceWipeStatus::PinNotInitialized:
        return {Severity::Critical, pinNotInitialized(), untouched()};
    case DeviceWipeStatus::PinExpired:
        return {Severity::Critical, pinExpired(), untouched()};
    case DeviceWipeStatus::NoContainer:
        return {Severity::Critical, noContainer(), QString()};
    case DeviceWipeStatus::Ambiguous:
        return {Severity::Critical, severalContainers(), severalContainersDetail(outcome.containers)};
    case DeviceWipeStatus::SizeFailed:
        return {Severity::Critical, sizeFailed(), untouched()};
    case DeviceWipeStatus::WriteFailed:
        return {Severity::Critical, writeFailed(), written + QLatin1Char(' ') + leftText(outcome.left)};
    case DeviceWipeStatus::DeleteFailed:
        return {Severity::Critical, deviceFailed(), written + QLatin1Char(' ') + leftText(outcome.left)};
    case DeviceWipeStatus::Exception:
        break;
    }
    return {Severity::Critical, deviceFailed(), leftText(outcome.left)};
}

