#include "journalwords.h"

#include <iterator>
#include <utility>

namespace {

template <typename Enum, std::size_t N>
QString wordOf(const std::pair<Enum, const char *> (&table)[N], Enum value)
{
    for (const auto &entry : table)
        if (entry.first == value)
            return QString::fromLatin1(entry.second);
    return QStringLiteral("unknown");
}

template <typename Enum, std::size_t N>
Enum valueOf(const std::pair<Enum, const char *> (&table)[N], const QString &word, Enum none, Enum unknown)
{
    if (word.isEmpty())
        return none;
    for (const auto &entry : table)
        if (word == QLatin1String(entry.second))
            return entry.first;
    return unknown;
}

struct EndStateRow {
    EndState state;
    const char *word;
    EndStateKind kind;
};

const EndStateRow endStates[] = {
    {EndState::Begun, "begun", EndStateKind::Begun},
    {EndState::Interrupted, "interrupted", EndStateKind::Interrupted},
    {EndState::Wiped, "wiped", EndStateKind::Proven},
    {EndState::WipedMemoryOnly, "wiped-memory-only", EndStateKind::Proven},
    {EndState::WipedOtherNamesRemain, "wiped-other-names-remain", EndStateKind::Proven},
    {EndState::WipedFreedBlocksFilled, "wiped-freed-blocks-filled", EndStateKind::Proven},
    {EndState::WipedUnproven, "wiped-unproven", EndStateKind::Doubtful},
    {EndState::RelocatedNotOverwritten, "relocated-not-overwritten", EndStateKind::Doubtful},
    {EndState::DeletedKeyBlocksOnVolume, "deleted-key-blocks-on-volume", EndStateKind::Doubtful},
    {EndState::DeletedKeyUnreachable, "deleted-key-unreachable", EndStateKind::Doubtful},
    {EndState::DeletedNotSearched, "deleted-volume-not-searched", EndStateKind::Doubtful},
    {EndState::DeletedLowerCopyKept, "deleted-lower-copy-kept", EndStateKind::Doubtful},
    {EndState::ReplacedNotOverwritten, "replaced-not-overwritten", EndStateKind::Doubtful},
    {EndState::DeletedUnverified, "deleted-absence-unverified", EndStateKind::NotDestroyed},
    {EndState::NotFound, "not-found", EndStateKind::NotDestroyed},
    {EndState::Refused, "refused", EndStateKind::NotDestroyed},
    {EndState::Untouched, "untouched", EndStateKind::NotDestroyed},
    {EndState::CancelledUntouched, "cancelled-untouched", EndStateKind::NotDestroyed},
    {EndState::IncompleteKept, "incomplete-kept", EndStateKind::NotDestroyed},
    {EndState::CancelledIncompleteKept, "cancelled-incomplete-kept", EndStateKind::NotDestroyed},
    {EndState::OverwrittenKept, "overwritten-kept", EndStateKind::NotDestroyed},
    {EndState::OverwrittenEmptiedNameKept, "overwritten-emptied-name-kept", EndStateKind::NotDestroyed},
    {EndState::VerifyFailedKept, "verify-failed-kept", EndStateKind::NotDestroyed},
    {EndState::RemovedNotOnMedium, "removed-not-on-medium", EndStateKind::NotDestroyed},
    {EndState::NoContainer, "no-container", EndStateKind::NotDestroyed},
    {EndState::SeveralContainersUntouched, "several-containers-untouched", EndStateKind::NotDestroyed},
    {EndState::TokenErrorUntouched, "token-error-untouched", EndStateKind::NotDestroyed},
    {EndState::TokenErrorContainerGone, "token-error-container-gone", EndStateKind::NotDestroyed},
    {EndState::TokenErrorContainerPresent, "token-error-container-present", EndStateKind::NotDestroyed},
    {EndState::TokenErrorContainerUnknown, "token-error-container-unknown", EndStateKind::NotDestroyed},
};


const std::pair<PlacementWord, const char *> placements[] = {
    {PlacementWord::InPlace, "in-place"},
    {PlacementWord::Relocating, "relocating"},
    {PlacementWord::NotProvable, "not-provable"},
};

const std::pair<VerificationWord, const char *> verifications[] = {
    {VerificationWord::Direct, "direct"},
    {VerificationWord::MaybeCached, "maybe-cached"},
    {VerificationWord::NotCompared, "not-compared"},
    {VerificationWord::Mismatch, "mismatch"},
    {VerificationWord::NotRead, "not-read"},
};

const std::pair<FillWord, const char *> fills[] = {
    {FillWord::Covered, "covered"},
    {FillWord::Filled, "filled"},
    {FillWord::NotCovered, "not-covered"},
    {FillWord::Cancelled, "cancelled"},
    {FillWord::Failed, "failed"},
};

} // namespace

QString toWord(EndState state)
{
    for (const EndStateRow &row : endStates)
        if (row.state == state)
            return QString::fromLatin1(row.word);
    return QStringLiteral("unknown");
}
QString toWord(PlacementWord placement) { return placement == PlacementWord::None ? QString() : wordOf(placements, placement); }
QString toWord(VerificationWord verification)
{
    return verification == VerificationWord::None ? QString() : wordOf(verifications, verification);
}
QString toWord(FillWord fill) { return fill == FillWord::None ? QString() : wordOf(fills, fill); }

EndState endStateFromWord(const QString &word)
{
    for (const EndStateRow &row : endStates)
        if (word == QLatin1String(row.word))
            return row.state;
    return EndState::Unknown;
}
PlacementWord placementFromWord(const QString &word)
{
    return valueOf(placements, word, PlacementWord::None, PlacementWord::Unknown);
}
VerificationWord verificationFromWord(const QString &word)
{
    return valueOf(verifications, word, VerificationWord::None, VerificationWord::Unknown);
}
FillWord fillFromWord(const QString &word) { return valueOf(fills, word, FillWord::None, FillWord::Unknown); }

EndStateKind kindOf(EndState state)
{
    for (const EndStateRow &row : endStates)
        if (row.state == state)
            return row.kind;
    return EndStateKind::NotDestroyed;
}
