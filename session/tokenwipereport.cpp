#include "wipereport.h"

#include "wipetexts.h"

// Used for its constants alone: the token's answer is named as PKCS#11 names it.
#include <p11-kit/pkcs11.h>

namespace {

#define KCC_CKR(name) {name, #name}
const struct {
    CK_RV rv;
    const char *name;
} kReturnValues[] = {
    KCC_CKR(CKR_CANCEL), KCC_CKR(CKR_HOST_MEMORY), KCC_CKR(CKR_SLOT_ID_INVALID), KCC_CKR(CKR_GENERAL_ERROR),
    KCC_CKR(CKR_FUNCTION_FAILED), KCC_CKR(CKR_ARGUMENTS_BAD), KCC_CKR(CKR_NO_EVENT),
    KCC_CKR(CKR_NEED_TO_CREATE_THREADS), KCC_CKR(CKR_CANT_LOCK), KCC_CKR(CKR_ATTRIBUTE_READ_ONLY),
    KCC_CKR(CKR_ATTRIBUTE_SENSITIVE), KCC_CKR(CKR_ATTRIBUTE_TYPE_INVALID), KCC_CKR(CKR_ATTRIBUTE_VALUE_INVALID),
    KCC_CKR(CKR_ACTION_PROHIBITED), KCC_CKR(CKR_DATA_INVALID), KCC_CKR(CKR_DATA_LEN_RANGE),
    KCC_CKR(CKR_DEVICE_ERROR), KCC_CKR(CKR_DEVICE_MEMORY), KCC_CKR(CKR_DEVICE_REMOVED),
    KCC_CKR(CKR_FUNCTION_CANCELED), KCC_CKR(CKR_FUNCTION_NOT_PARALLEL), KCC_CKR(CKR_FUNCTION_NOT_SUPPORTED),
    KCC_CKR(CKR_OBJECT_HANDLE_INVALID), KCC_CKR(CKR_OPERATION_ACTIVE), KCC_CKR(CKR_OPERATION_NOT_INITIALIZED),
    KCC_CKR(CKR_PIN_INCORRECT), KCC_CKR(CKR_PIN_INVALID), KCC_CKR(CKR_PIN_LEN_RANGE), KCC_CKR(CKR_PIN_EXPIRED),
    KCC_CKR(CKR_PIN_LOCKED), KCC_CKR(CKR_SESSION_CLOSED), KCC_CKR(CKR_SESSION_COUNT),
    KCC_CKR(CKR_SESSION_HANDLE_INVALID), KCC_CKR(CKR_SESSION_PARALLEL_NOT_SUPPORTED),
    KCC_CKR(CKR_SESSION_READ_ONLY), KCC_CKR(CKR_SESSION_EXISTS), KCC_CKR(CKR_SESSION_READ_ONLY_EXISTS),
    KCC_CKR(CKR_SESSION_READ_WRITE_SO_EXISTS), KCC_CKR(CKR_TEMPLATE_INCOMPLETE),
    KCC_CKR(CKR_TEMPLATE_INCONSISTENT), KCC_CKR(CKR_TOKEN_NOT_PRESENT), KCC_CKR(CKR_TOKEN_NOT_RECOGNIZED),
    KCC_CKR(CKR_TOKEN_WRITE_PROTECTED), KCC_CKR(CKR_USER_ALREADY_LOGGED_IN), KCC_CKR(CKR_USER_NOT_LOGGED_IN),
    KCC_CKR(CKR_USER_PIN_NOT_INITIALIZED), KCC_CKR(CKR_USER_TYPE_INVALID),
    KCC_CKR(CKR_USER_ANOTHER_ALREADY_LOGGED_IN), KCC_CKR(CKR_USER_TOO_MANY_TYPES),
    KCC_CKR(CKR_RANDOM_SEED_NOT_SUPPORTED), KCC_CKR(CKR_RANDOM_NO_RNG), KCC_CKR(CKR_BUFFER_TOO_SMALL),
    KCC_CKR(CKR_INFORMATION_SENSITIVE), KCC_CKR(CKR_CRYPTOKI_NOT_INITIALIZED),
    KCC_CKR(CKR_CRYPTOKI_ALREADY_INITIALIZED), KCC_CKR(CKR_MUTEX_BAD), KCC_CKR(CKR_MUTEX_NOT_LOCKED),
    KCC_CKR(CKR_FUNCTION_REJECTED),
};
#undef KCC_CKR

// "CKR_DEVICE_ERROR, 0x00000030", "CKR_VENDOR_DEFINED+0x1, 0x80000001";
// "CKR 0x…" for a value PKCS#11 does not name.
QString returnValue(quint32 rv)
{
    const QString value = QStringLiteral("0x%1").arg(rv, 8, 16, QLatin1Char('0'));
    if (rv >= CKR_VENDOR_DEFINED)
        return QStringLiteral("CKR_VENDOR_DEFINED+0x%1, %2").arg(rv - quint32(CKR_VENDOR_DEFINED), 0, 16).arg(value);
    for (const auto &known : kReturnValues)
        if (known.rv == rv)
            return QLatin1String(known.name) + QStringLiteral(", ") + value;
    return QStringLiteral("CKR ") + value;
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
        const QString value = returnValue(outcome.tokenReason);
        const QString reason = outcome.tokenReasonText.isEmpty()
            ? QCoreApplication::translate("wipetexts", "Ответ носителя: %1.").arg(value)
            : QCoreApplication::translate("wipetexts", "Ответ носителя: %1 (%2).").arg(outcome.tokenReasonText, value);
        report.informative = report.informative.isEmpty() ? reason : report.informative + QLatin1Char(' ') + reason;
    }
    return report;
}
