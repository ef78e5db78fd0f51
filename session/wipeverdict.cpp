#include "wipeverdict.h"

#include "enumtable.h"

#include "wiperesult.h"
#include "wipetexts.h"

#include <iterator>

namespace {

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
    case FileWipeStep::HeldOpen:
        return EndState::HeldOpenUntouched;
    case FileWipeStep::RewrittenAfterRemoval:
        return EndState::RewrittenAfterRemoval;
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
        return {EndState::NotFound, false};
    if (file.status == FileWipeStatus::Refused)
        return {EndState::Refused, false};
    if (file.status != FileWipeStatus::Wiped)
        return {fileFailureState(file), false};

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
        return {EndState::DeletedLowerCopyKept, false};

    // A medium that keeps nothing after the process: nothing to search or fill.
    if ((medium.limits & LimitMemory) && !result.swapInUse)
        return {EndState::WipedMemoryOnly, false};
    if (found(result))
        return {EndState::DeletedKeyBlocksOnVolume, fillable};
    if (fill.status == FreedFill::Status::NotCovered)
        return {EndState::DeletedKeyBlocksOnVolume, false};
    if (relocated && (fill.status == FreedFill::Status::Cancelled || fill.status == FreedFill::Status::Failed
                      || (request.fillFreed && shared)))
        return {EndState::DeletedKeyBlocksOnVolume, false};
    // Copies inline, compressed or encoded: neither the search nor the fill can tell them.
    if (unreachable && (request.fillFreed || request.searchVolume || fillRan))
        return {EndState::DeletedKeyUnreachable, false};
    if (request.searchVolume && !searched(result.search))
        return {EndState::DeletedNotSearched, false};
    const bool cleared = !unreachable && !shared
        && ((fill.status == FreedFill::Status::Covered && fill.rangesUnmapped == 0)
            || (fill.status == FreedFill::Status::Filled && searched(result.search)));
    if (cleared)
        return {EndState::WipedFreedBlocksFilled, false};
    if (relocated)
        return {EndState::RelocatedNotOverwritten, fillable};
    // A file with no data had nothing for the passes to overwrite or read back.
    const bool unread = file.verification == FileVerification::NotRead && file.allocatedBytes != 0;
    if (medium.placement != Placement::InPlace || unread)
        return {EndState::OverwriteUnproven, false};
    return {file.otherNames > 0 ? EndState::WipedOtherNamesRemain : EndState::Wiped, false};
}

WipeVerdict judgeToken(const WipeResult &result)
{
    const TokenWipeOutcome &token = result.token;
    switch (token.status) {
    case TokenWipeStatus::Wiped:
        return token.replaced ? WipeVerdict{EndState::ReplacedNotOverwritten, false}
                              : WipeVerdict{EndState::Wiped, false};
    case TokenWipeStatus::DeletionUnproven:
        return {EndState::DeletionUnproven, false};
    case TokenWipeStatus::ContextFailed:
        return {EndState::NoTokenLibrary, false};
    case TokenWipeStatus::NoContainer:
        return {EndState::NoContainer, false};
    case TokenWipeStatus::Ambiguous:
        return {EndState::SeveralContainersUntouched, false};
    case TokenWipeStatus::WriteFailed:
    case TokenWipeStatus::DeleteFailed:
    case TokenWipeStatus::Exception:
        break;
    default:
        return {EndState::TokenErrorUntouched, false};
    }
    const EndState left = token.left == ContainerLeft::Gone ? EndState::TokenErrorContainerGone
        : token.left == ContainerLeft::Present             ? EndState::TokenErrorContainerPresent
                                                           : EndState::TokenErrorContainerUnknown;
    return {left, false};
}

} // namespace

WipeVerdict judgeWipe(const WipeRequest &request, const WipeResult &result)
{
    if (!result.begunNotJournalled.isEmpty() && !result.withoutRecord)
        return {EndState::NotStartedNoRecord, false};
    return request.isFile() ? judgeFile(request, result) : judgeToken(result);
}


namespace {

using StateText = QString (*)(bool file);

struct SessionRow {
    EndState state;
    Severity severity;
    StateText text; // null: the failed step's own text is the main text
};

QString fileOrDeviceRelocated(bool file) { return file ? wipetexts::fileRelocated() : wipetexts::deviceReplaced(); }
template <QString (*Text)()>
QString always(bool) { return Text(); }

using namespace wipetexts;
constexpr Severity Info = Severity::Information, Warn = Severity::Warning, Crit = Severity::Critical;

// Rows in the end state's order, indexed by it.
constexpr SessionRow sessionRows[] = {
    {EndState::Unknown, Crit, nullptr},
    {EndState::Begun, Crit, always<interrupted>},
    {EndState::Interrupted, Crit, always<interrupted>},
    {EndState::Wiped, Info, always<wiped>},
    {EndState::WipedMemoryOnly, Info, always<wiped>},
    {EndState::WipedOtherNamesRemain, Info, always<wiped>},
    {EndState::WipedFreedBlocksFilled, Info, always<wiped>},
    {EndState::OverwriteUnproven, Warn, always<overwriteUnproven>},
    {EndState::RelocatedNotOverwritten, Warn, fileOrDeviceRelocated},
    {EndState::DeletedKeyBlocksOnVolume, Warn, always<survivorsFound>},
    {EndState::DeletedKeyUnreachable, Warn, always<keyUnreachable>},
    {EndState::DeletedNotSearched, Warn, always<notSearched>},
    {EndState::DeletedLowerCopyKept, Warn, always<lowerCopyKept>},
    {EndState::ReplacedNotOverwritten, Warn, fileOrDeviceRelocated},
    {EndState::DeletionUnproven, Crit, always<deletionUnproven>},
    {EndState::NotFound, Crit, nullptr},
    {EndState::Refused, Crit, nullptr},
    {EndState::HeldOpenUntouched, Crit, nullptr},
    {EndState::NotStartedNoRecord, Crit, always<notStartedNoRecord>},
    {EndState::Untouched, Crit, nullptr},
    {EndState::CancelledUntouched, Crit, nullptr},
    {EndState::IncompleteKept, Crit, nullptr},
    {EndState::CancelledIncompleteKept, Crit, nullptr},
    {EndState::OverwrittenKept, Crit, nullptr},
    {EndState::OverwrittenEmptiedNameKept, Crit, nullptr},
    {EndState::VerifyFailedKept, Crit, nullptr},
    {EndState::RemovedNotOnMedium, Crit, nullptr},
    {EndState::RewrittenAfterRemoval, Crit, nullptr},
    {EndState::NoContainer, Crit, nullptr},
    {EndState::SeveralContainersUntouched, Crit, nullptr},
    {EndState::NoTokenLibrary, Crit, nullptr},
    {EndState::TokenErrorUntouched, Crit, nullptr},
    {EndState::TokenErrorContainerGone, Crit, nullptr},
    {EndState::TokenErrorContainerPresent, Crit, nullptr},
    {EndState::TokenErrorContainerUnknown, Crit, nullptr},
    {EndState::EndNotRecorded, Crit, always<endNotRecorded>},
};
static_assert(std::size(sessionRows) == endStateCount, "one row per end state");

static_assert(inEnumOrder(sessionRows, &SessionRow::state), "rows in the end state's order");

} // namespace

Severity severityOf(EndState state)
{
    return sessionRows[int(state)].severity;
}

QString stateText(EndState state, bool file)
{
    const StateText said = sessionRows[int(state)].text;
    return said ? said(file) : QString();
}
