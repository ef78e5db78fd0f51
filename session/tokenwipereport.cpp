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

StepReport reportOf(const TokenWipeOutcome &outcome)
{
    const QString written = passesWritten(outcome.passesDone, outcome.passesPlanned);
    switch (outcome.status) {
    case TokenWipeStatus::Wiped:
        return {QString(), outcome.replaced ? deviceReplacedDetail() : QString()};
    case TokenWipeStatus::ContextFailed:
        return {contextFailed(), untouched()};
    case TokenWipeStatus::OpenSessionFailed:
        return {sessionFailed(), untouched()};
    case TokenWipeStatus::LoginFailed:
        return {wrongPin(), untouched()};
    case TokenWipeStatus::PinLocked:
        return {pinLocked(), untouched()};
    case TokenWipeStatus::PinNotInitialized:
        return {pinNotInitialized(), untouched()};
    case TokenWipeStatus::PinExpired:
        return {pinExpired(), untouched()};
    case TokenWipeStatus::NoContainer:
        return {noContainer(), QString()};
    case TokenWipeStatus::Ambiguous:
        return {severalContainers(), severalContainersDetail(outcome.containers)};
    case TokenWipeStatus::SizeFailed:
        return {sizeFailed(), untouched()};
    case TokenWipeStatus::WriteFailed:
        return {writeFailed(), written + QLatin1Char(' ') + leftText(outcome.left)};
    case TokenWipeStatus::DeleteFailed:
        if (outcome.remnant.bytes != RemnantBytes::None)
            return {deviceFailed(),
                    written + QLatin1Char(' ') + leftText(outcome.left) + QLatin1Char(' ') + remnantText(outcome.remnant)};
        return {deviceFailed(), written + QLatin1Char(' ') + leftText(outcome.left)};
    case TokenWipeStatus::DeletionUnproven:
        return {QString(), written};
    case TokenWipeStatus::Exception:
        break;
    }
    return {deviceFailed(), leftText(outcome.left)};
}

} // namespace

StepReport tokenWipeReport(const TokenWipeOutcome &outcome)
{
    StepReport report = reportOf(outcome);
    // The token's own words for what it refused, after what is left.
    if (outcome.status != TokenWipeStatus::Wiped && outcome.tokenReason != 0) {
        const QString value = returnValue(outcome.tokenReason, outcome.tokenReasonName);
        const QString reason = outcome.tokenReasonText.isEmpty()
            ? QCoreApplication::translate("TokenWipeReport", "Ответ носителя: %1.").arg(value)
            : QCoreApplication::translate("TokenWipeReport", "Ответ носителя: %1 (%2).").arg(outcome.tokenReasonText, value);
        report.facts = report.facts.isEmpty() ? reason : report.facts + QLatin1Char(' ') + reason;
    }
    return report;
}
