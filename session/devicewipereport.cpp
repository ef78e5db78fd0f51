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

namespace {

WipeReport reportOf(const DeviceWipeOutcome &outcome)
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

} // namespace

WipeReport deviceWipeReport(const DeviceWipeOutcome &outcome)
{
    WipeReport report = reportOf(outcome);
    // The token's own words for what it refused, after what is left.
    if (outcome.status != DeviceWipeStatus::Wiped && outcome.tokenReason != 0) {
        const QString value = QStringLiteral("0x%1").arg(outcome.tokenReason, 8, 16, QLatin1Char('0'));
        const QString reason = outcome.tokenReasonText.isEmpty()
            ? QCoreApplication::translate("wipetexts", "Ответ носителя: CKR %1.").arg(value)
            : QCoreApplication::translate("wipetexts", "Ответ носителя: %1 (CKR %2).").arg(outcome.tokenReasonText, value);
        report.informative = report.informative.isEmpty() ? reason : report.informative + QLatin1Char(' ') + reason;
    }
    return report;
}
