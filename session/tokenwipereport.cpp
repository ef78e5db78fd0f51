#include "wipereport.h"

#include "wipetexts.h"

namespace {


// "CKR_DEVICE_ERROR, 0x00000030", "CKR_VENDOR_DEFINED+0x1, 0x80000001", both
// names from the container library; "CKR 0x…" for a value it does not name.
QString returnValue(quint32 rv, const QString &name)
{
    const QString value = QStringLiteral("0x%1").arg(rv, 8, 16, QLatin1Char('0'));
    return name.isEmpty() ? QStringLiteral("CKR ") + value : name + QStringLiteral(", ") + value;
}

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

QString remnantText(const TokenRemnant &remnant)
{
    switch (remnant.bytes) {
    case RemnantBytes::Original:
        return remnantOriginal(remnant.label, remnant.application);
    case RemnantBytes::Pass:
        return remnantPass(remnant.label, remnant.application, remnant.pass);
    case RemnantBytes::Other:
        return remnantOther(remnant.label, remnant.application);
    case RemnantBytes::None:
        break;
    }
    return QString();
}

} // namespace

namespace {

WipeReport reportOf(const TokenWipeOutcome &outcome)
{
    const QString written = passesWritten(outcome.passesDone, outcome.passesPlanned);
    switch (outcome.status) {
    case TokenWipeStatus::Wiped:
        if (outcome.replaced)
            return {Severity::Warning, deviceReplaced(), deviceReplacedDetail()};
        return {Severity::Information, wiped(), QString()};
    case TokenWipeStatus::ContextFailed:
        return {Severity::Critical, contextFailed(), untouched()};
    case TokenWipeStatus::OpenSessionFailed:
        return {Severity::Critical, sessionFailed(), untouched()};
    case TokenWipeStatus::LoginFailed:
        return {Severity::Critical, wrongPin(), untouched()};
    case TokenWipeStatus::PinLocked:
        return {Severity::Critical, pinLocked(), untouched()};
    case TokenWipeStatus::PinNotInitialized:
        return {Severity::Critical, pinNotInitialized(), untouched()};
    case TokenWipeStatus::PinExpired:
        return {Severity::Critical, pinExpired(), untouched()};
    case TokenWipeStatus::NoContainer:
        return {Severity::Critical, noContainer(), QString()};
    case TokenWipeStatus::Ambiguous:
        return {Severity::Critical, severalContainers(), severalContainersDetail(outcome.containers)};
    case TokenWipeStatus::SizeFailed:
        return {Severity::Critical, sizeFailed(), untouched()};
    case TokenWipeStatus::WriteFailed:
        return {Severity::Critical, writeFailed(), written + QLatin1Char(' ') + leftText(outcome.left)};
    case TokenWipeStatus::DeleteFailed:
        if (outcome.remnant.bytes != RemnantBytes::None)
            return {Severity::Critical, deviceFailed(),
                    written + QLatin1Char(' ') + leftText(outcome.left) + QLatin1Char(' ') + remnantText(outcome.remnant)};
        return {Severity::Critical, deviceFailed(), written + QLatin1Char(' ') + leftText(outcome.left)};
    case TokenWipeStatus::DeletionUnproven:
        return {Severity::Critical, deletionUnproven(), written};
    case TokenWipeStatus::Exception:
        break;
    }
    return {Severity::Critical, deviceFailed(), leftText(outcome.left)};
}

} // namespace

WipeReport tokenWipeReport(const TokenWipeOutcome &outcome)
{
    WipeReport report = reportOf(outcome);
    // The token's own words for what it refused, after what is left.
    if (outcome.status != TokenWipeStatus::Wiped && outcome.tokenReason != 0) {
        const QString value = returnValue(outcome.tokenReason, outcome.tokenReasonName);
        const QString reason = outcome.tokenReasonText.isEmpty()
            ? QCoreApplication::translate("wipetexts", "Ответ носителя: %1.").arg(value)
            : QCoreApplication::translate("wipetexts", "Ответ носителя: %1 (%2).").arg(outcome.tokenReasonText, value);
        report.informative = report.informative.isEmpty() ? reason : report.informative + QLatin1Char(' ') + reason;
    }
    return report;
}
