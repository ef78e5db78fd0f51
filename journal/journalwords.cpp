#include "journalwords.h"

#include "enumtable.h"

#include <iterator>

namespace {

struct EndStateRow {
    EndState state;
    const char *word; // as stored; old journals hold these
    EndStateKind kind;
    const char *doubt; // the certificate's sentence; null where nothing is in doubt
};

// Rows in the enum's order, indexed by it.
constexpr EndStateRow endStates[] = {
    {EndState::Unknown, "unknown", EndStateKind::NotDestroyed, nullptr},
    {EndState::Begun, "begun", EndStateKind::Begun, nullptr},
    {EndState::Interrupted, "interrupted", EndStateKind::Interrupted, nullptr},
    {EndState::Wiped, "wiped", EndStateKind::Proven, nullptr},
    {EndState::WipedMemoryOnly, "wiped-memory-only", EndStateKind::Proven, nullptr},
    {EndState::WipedOtherNamesRemain, "wiped-other-names-remain", EndStateKind::Proven, nullptr},
    {EndState::WipedFreedBlocksFilled, "wiped-freed-blocks-filled", EndStateKind::Proven, nullptr},
    {EndState::OverwriteUnproven, "wiped-unproven", EndStateKind::Doubtful,
     "whether the passes reached the blocks the file lay on cannot be checked on this medium"},
    {EndState::RelocatedNotOverwritten, "relocated-not-overwritten", EndStateKind::Doubtful,
     "the file system wrote the passes to new blocks: the blocks the key lay on were not overwritten"},
    {EndState::DeletedKeyBlocksOnVolume, "deleted-key-blocks-on-volume", EndStateKind::Doubtful,
     "blocks of the key were found on the volume after the wipe, or left where the fill did not reach"},
    {EndState::DeletedKeyUnreachable, "deleted-key-unreachable", EndStateKind::Doubtful,
     "part of the key was kept inline or compressed, where the search cannot recognise and the fill cannot locate it"},
    {EndState::DeletedNotSearched, "deleted-volume-not-searched", EndStateKind::Doubtful,
     "the volume search asked for could not read every device whole"},
    {EndState::DeletedLowerCopyKept, "deleted-lower-copy-kept", EndStateKind::Doubtful,
     "a lower layer of the overlay file system keeps the original file"},
    {EndState::ReplacedNotOverwritten, "replaced-not-overwritten", EndStateKind::Doubtful,
     "the token took each pass as a new object: the original bytes were not overwritten in place, and what the "
     "token keeps of destroyed objects is up to it"},
    {EndState::DeletionUnproven, "deleted-absence-unverified", EndStateKind::NotDestroyed, nullptr},
    {EndState::NotFound, "not-found", EndStateKind::NotDestroyed, nullptr},
    {EndState::Refused, "refused", EndStateKind::NotDestroyed, nullptr},
    {EndState::HeldOpenUntouched, "held-open-untouched", EndStateKind::NotDestroyed, nullptr},
    {EndState::NotStartedNoRecord, "not-started-no-record", EndStateKind::NotDestroyed, nullptr},
    {EndState::Untouched, "untouched", EndStateKind::NotDestroyed, nullptr},
    {EndState::CancelledUntouched, "cancelled-untouched", EndStateKind::NotDestroyed, nullptr},
    {EndState::IncompleteKept, "incomplete-kept", EndStateKind::NotDestroyed, nullptr},
    {EndState::CancelledIncompleteKept, "cancelled-incomplete-kept", EndStateKind::NotDestroyed, nullptr},
    {EndState::OverwrittenKept, "overwritten-kept", EndStateKind::NotDestroyed, nullptr},
    {EndState::OverwrittenEmptiedNameKept, "overwritten-emptied-name-kept", EndStateKind::NotDestroyed, nullptr},
    {EndState::VerifyFailedKept, "verify-failed-kept", EndStateKind::NotDestroyed, nullptr},
    {EndState::RemovedNotOnMedium, "removed-not-on-medium", EndStateKind::NotDestroyed, nullptr},
    {EndState::RewrittenAfterRemoval, "rewritten-after-removal", EndStateKind::NotDestroyed, nullptr},
    {EndState::NoContainer, "no-container", EndStateKind::NotDestroyed, nullptr},
    {EndState::SeveralContainersUntouched, "several-containers-untouched", EndStateKind::NotDestroyed, nullptr},
    {EndState::NoTokenLibrary, "no-token-library", EndStateKind::NotDestroyed, nullptr},
    {EndState::TokenErrorUntouched, "token-error-untouched", EndStateKind::NotDestroyed, nullptr},
    {EndState::TokenErrorContainerGone, "token-error-container-gone", EndStateKind::NotDestroyed, nullptr},
    {EndState::TokenErrorContainerPresent, "token-error-container-present", EndStateKind::NotDestroyed, nullptr},
    {EndState::TokenErrorContainerUnknown, "token-error-container-unknown", EndStateKind::NotDestroyed, nullptr},
    {EndState::EndNotRecorded, "end-not-recorded", EndStateKind::NotDestroyed, nullptr},
};
static_assert(std::size(endStates) == endStateCount, "one row per end state");

static_assert(inEnumOrder(endStates, &EndStateRow::state), "rows in the enum's order");

struct KindRow {
    EndStateKind kind;
    const char *word;
    const char *messageId; // one fixed id per kind of event, for filtering across an organisation
    bool warning;
};

constexpr KindRow kinds[] = {
    {EndStateKind::Begun, "begun", "6f2a1c0e9b7d4e0a8c3f5d2b1a4e7c90", false},
    {EndStateKind::Interrupted, "interrupted", "a7e3c91d5b2f4e8a9c0d1e2f3a4b5c6d", true},
    {EndStateKind::Proven, "proven", "3b9e7d1f2c4a4f6b9e8d7c6b5a4f3e21", false},
    {EndStateKind::Doubtful, "doubtful", "5d0c8e2a7f1b4c3d9a6e0f8b2c4d1e73", true},
    {EndStateKind::NotDestroyed, "not destroyed", "8c1d2e3f4a5b4c6d8e7f9a0b1c2d3e4f", true},
};
static_assert(std::size(kinds) == endStateKindCount, "one row per kind");
static_assert(inEnumOrder(kinds, &KindRow::kind), "rows in the enum's order");

const EndStateRow &rowOf(EndState state)
{
    return endStates[int(state)];
}

// Words of the enums whose None is stored as an empty field and whose Unknown
// is what an unknown word reads as: rows from None + 1 to Unknown - 1.
template <typename Enum, std::size_t N>
QString wordOf(const char *const (&words)[N], Enum value)
{
    const int i = int(value);
    if (i == 0)
        return QString();
    return QString::fromLatin1(i <= int(N) ? words[i - 1] : "unknown");
}

template <typename Enum, std::size_t N>
Enum valueOf(const char *const (&words)[N], const QString &word)
{
    if (word.isEmpty())
        return Enum(0);
    for (std::size_t i = 0; i < N; ++i)
        if (word == QLatin1String(words[i]))
            return Enum(i + 1);
    return Enum(N + 1);
}

constexpr const char *placements[] = {"in-place", "relocating", "not-provable"};
static_assert(std::size(placements) + 1 == std::size_t(PlacementWord::Unknown), "one word per placement");
constexpr const char *verifications[] = {"direct", "maybe-cached", "not-compared", "mismatch", "not-read"};
static_assert(std::size(verifications) + 1 == std::size_t(VerificationWord::Unknown), "one word per verification");
constexpr const char *fills[] = {"covered", "filled", "not-covered", "cancelled", "failed"};
static_assert(std::size(fills) + 1 == std::size_t(FillWord::Unknown), "one word per fill");

} // namespace

QString toWord(EndState state) { return QString::fromLatin1(rowOf(state).word); }
QString toWord(PlacementWord placement) { return wordOf(placements, placement); }
QString toWord(VerificationWord verification) { return wordOf(verifications, verification); }
QString toWord(FillWord fill) { return wordOf(fills, fill); }

EndState endStateFromWord(const QString &word)
{
    // Unknown and the never-stored end are not read back as themselves.
    for (int i = int(EndState::Begun); i < int(EndState::EndNotRecorded); ++i)
        if (word == QLatin1String(endStates[i].word))
            return endStates[i].state;
    return EndState::Unknown;
}
PlacementWord placementFromWord(const QString &word) { return valueOf<PlacementWord>(placements, word); }
VerificationWord verificationFromWord(const QString &word) { return valueOf<VerificationWord>(verifications, word); }
FillWord fillFromWord(const QString &word) { return valueOf<FillWord>(fills, word); }

EndStateKind kindOf(EndState state) { return rowOf(state).kind; }

bool isGone(EndState state)
{
    const EndStateKind kind = kindOf(state);
    return kind == EndStateKind::Proven || kind == EndStateKind::Doubtful;
}

QString toWord(EndStateKind kind) { return QString::fromLatin1(kinds[int(kind)].word); }
const char *messageIdOf(EndStateKind kind) { return kinds[int(kind)].messageId; }
bool isWarning(EndStateKind kind) { return kinds[int(kind)].warning; }

QString doubtOf(EndState state)
{
    const char *doubt = rowOf(state).doubt;
    return doubt ? QString::fromLatin1(doubt) : QString();
}
