#include "wipeverdict.h"

#include "wiperesult.h"
#include "wipetexts.h"

#include <iterator>

namespace {

struct ClaimRow {
    WipeClaim claim;
    bool gone;
    Severity severity;
};

const ClaimRow claims[] = {
    {WipeClaim::Destroyed, true, Severity::Information},
    {WipeClaim::DestroyedUnproven, true, Severity::Warning},
    {WipeClaim::DestroyedRelocated, true, Severity::Warning},
    {WipeClaim::DestroyedCopyKept, true, Severity::Warning},
    {WipeClaim::DestroyedKeyLeft, true, Severity::Warning},
    {WipeClaim::DestroyedKeyUnreachable, true, Severity::Warning},
    {WipeClaim::DestroyedNotSearched, true, Severity::Warning},
    {WipeClaim::DeletionUnverified, false, Severity::Critical},
    {WipeClaim::NotFound, false, Severity::Critical},
    {WipeClaim::Refused, false, Severity::Critical},
    {WipeClaim::Incomplete, false, Severity::Critical},
    {WipeClaim::TokenRefused, false, Severity::Critical},
    {WipeClaim::NoLibrary, false, Severity::Critical},
    {WipeClaim::NotStartedNoRecord, false, Severity::Critical},
    {WipeClaim::NotRecorded, false, Severity::Critical},
};

const ClaimRow &rowOf(WipeClaim claim)
{
    for (const ClaimRow &row : claims)
        if (row.claim == claim)
            return row;
    return claims[std::size(claims) - 1];
}

EndState fileFailureState(const FileWipeOutcome &outcome)
{
    switch (outcome.status) {
    case FileWipeStatus::NotFound:
        return EndState::NotFound;
    case FileWipeStatus::Refused:
        return EndState::Refused;
    default:
        break;
    }
    switch (outcome.failedStep) {
    case FileWipeStep::Truncate:
    case FileWipeStep::Close:
        return EndState::OverwrittenKept;
    case FileWipeStep::Remove:
    case FileWipeStep::NameChanged:
        return EndState::OverwrittenEmptiedNameKept;
    case FileWipeStep::Verify:
        return EndState::VerifyFailedKept;
    case FileWipeStep::SyncRemoval:
        return EndState::RemovedNotOnMedium;
    case FileWipeStep::Cancelled:
        return outcome.bytesWritten ? EndState::CancelledIncompleteKept : EndState::CancelledUntouched;
    default:
        break;
    }
    return outcome.bytesWritten ? EndState::IncompleteKept : EndState::Untouched;
}

bool searched(const VolumeSearch &search)
{
    return search.status == VolumeSearch::Status::Done;
}

bool found(const WipeResult &result)
{
    // Blocks found on the devices that were read count, whether or not all were.
    return (searched(result.search) || result.search.status == VolumeSearch::Status::Incomplete)
        && !result.search.survivors.isEmpty();
}

WipeVerdict judgeFile(const WipeRequest &request, const WipeResult &result)
{
    const FileWipeOutcome &file = result.file;
    if (file.status == FileWipeStatus::NotFound)
        return {WipeClaim::NotFound, EndState::NotFound, false};
    if (file.status == FileWipeStatus::Refused)
        return {WipeClaim::Refused, EndState::Refused, false};
    if (file.status != FileWipeStatus::Wiped)
        return {WipeClaim::Incomplete, fileFailureState(file), false};

    const MediumVerdict &medium = file.medium;
    const FreedFill &fill = result.fill;
    const bool shared = medium.limits & LimitShared;
    const bool fillRan = fill.status != FreedFill::Status::NotRun;
    const bool unreachable = result.reach.unmappedBlocks > 0;
    const bool relocated = medium.placement == Placement::Relocating;
    // Where the fill is the remedy, the box offers it; a lower layer's file is
    // a live file that no fill reaches.
    const bool fillable = file.key && !fillRan && !shared && medium.lowerCopy.isEmpty();

    if (!medium.lowerCopy.isEmpty())
        return {WipeClaim::DestroyedCopyKept, EndState::DeletedLowerCopyKept, false};

    // A medium that keeps nothing after the process: nothing to search or fill.
    if ((medium.limits & LimitMemory) && !result.swapInUse)
        return {WipeClaim::Destroyed, EndState::WipedMemoryOnly, false};
    if (found(result))
        return {WipeClaim::DestroyedKeyLeft, EndState::DeletedKeyBlocksOnVolume, fillable};
    if (fill.status == FreedFill::Status::NotCovered)
        return {WipeClaim::DestroyedKeyLeft, EndState::DeletedKeyBlocksOnVolume, false};
    if (relocated && (fill.status == FreedFill::Status::Cancelled || fill.status == FreedFill::Status::Failed
                      || (request.fillFreed && shared)))
        return {WipeClaim::DestroyedKeyLeft, EndState::DeletedKeyBlocksOnVolume, false};
    // Copies inline, compressed or encoded: neither the search nor the fill can tell them.
    if (unreachable && (request.fillFreed || request.searchVolume || fillRan))
        return {WipeClaim::DestroyedKeyUnreachable, EndState::DeletedKeyUnreachable, false};
    if (request.searchVolume && !searched(result.search))
        return {WipeClaim::DestroyedNotSearched, EndState::DeletedNotSearched, false};
    const bool cleared = !unreachable && !shared
        && ((fill.status == FreedFill::Status::Covered && fill.rangesUnmapped == 0)
            || (fill.status == FreedFill::Status::Filled && searched(result.search)));
    if (cleared)
        return {WipeClaim::Destroyed, EndState::WipedFreedBlocksFilled, false};
    if (relocated)
        return {WipeClaim::DestroyedRelocated, EndState::RelocatedNotOverwritten, fillable};
    // A file with no data had nothing for the passes to overwrite or read back.
    const bool unread = file.verification == FileVerification::NotRead && file.allocatedBytes != 0;
    if (medium.placement != Placement::InPlace || unread)
        return {WipeClaim::DestroyedUnproven, EndState::WipedUnproven, false};
    return {WipeClaim::Destroyed, file.otherNames > 0 ? EndState::WipedOtherNamesRemain : EndState::Wiped, false};
}

WipeVerdict judgeToken(const WipeResult &result)
{
    const TokenWipeOutcome &token = result.token;
    switch (token.status) {
    case TokenWipeStatus::Wiped:
        return token.replaced ? WipeVerdict{WipeClaim::DestroyedRelocated, EndState::ReplacedNotOverwritten, false}
                              : WipeVerdict{WipeClaim::Destroyed, EndState::Wiped, false};
    case TokenWipeStatus::DeletionUnproven:
        return {WipeClaim::DeletionUnverified, EndState::DeletedUnverified, false};
    case TokenWipeStatus::ContextFailed:
        return {WipeClaim::NoLibrary, EndState::TokenErrorUntouched, false};
    case TokenWipeStatus::NoContainer:
        return {WipeClaim::NotFound, EndState::NoContainer, false};
    case TokenWipeStatus::Ambiguous:
        return {WipeClaim::Refused, EndState::SeveralContainersUntouched, false};
    case TokenWipeStatus::WriteFailed:
    case TokenWipeStatus::DeleteFailed:
    case TokenWipeStatus::Exception:
        break;
    default:
        return {WipeClaim::TokenRefused, EndState::TokenErrorUntouched, false};
    }
    const EndState left = token.left == ContainerLeft::Gone ? EndState::TokenErrorContainerGone
        : token.left == ContainerLeft::Present             ? EndState::TokenErrorContainerPresent
                                                           : EndState::TokenErrorContainerUnknown;
    return {WipeClaim::TokenRefused, left, false};
}

} // namespace

WipeVerdict judgeWipe(const WipeRequest &request, const WipeResult &result)
{
    if (!result.begunNotJournalled.isEmpty() && !result.withoutRecord)
        return {WipeClaim::NotStartedNoRecord, EndState::Untouched, false};
    return request.isFile() ? judgeFile(request, result) : judgeToken(result);
}

bool claimsGone(WipeClaim claim)
{
    return rowOf(claim).gone;
}

Severity severityOf(WipeClaim claim)
{
    return rowOf(claim).severity;
}

QString claimText(WipeClaim claim, bool file)
{
    using namespace wipetexts;
    switch (claim) {
    case WipeClaim::Destroyed:
        return wiped();
    case WipeClaim::DestroyedUnproven:
        return unproven();
    case WipeClaim::DestroyedRelocated:
        return file ? fileRelocated() : deviceReplaced();
    case WipeClaim::DestroyedCopyKept:
        return lowerCopyKept();
    case WipeClaim::DestroyedKeyLeft:
        return survivorsFound();
    case WipeClaim::DestroyedKeyUnreachable:
        return keyUnreachable();
    case WipeClaim::DestroyedNotSearched:
        return notSearched();
    case WipeClaim::DeletionUnverified:
        return deletionUnproven();
    case WipeClaim::NotStartedNoRecord:
        return notStartedNoRecord();
    default:
        break;
    }
    return QString();
}
