#ifndef JOURNALWORDS_H
#define JOURNALWORDS_H

#include <QString>

// The journal's machine-readable vocabulary. Each word is stored as a short
// string; one table per enum turns it to and from that string, so a reader
// and a writer cannot drift apart. A word this version does not know reads
// as Unknown and is never mistaken for another.

// How an attempt ended, or that it began.
enum class EndState {
    Unknown,
    Begun,
    Interrupted,
    // The container is gone.
    Wiped,                    // every byte overwritten where it lay and read back
    WipedMemoryOnly,          // on a file system in memory with nothing swapped out
    WipedOtherNamesRemain,    // as Wiped; other hard links lead to the empty file
    WipedFreedBlocksFilled,   // the passes went elsewhere; the fill took the key's blocks back
    WipedUnproven,            // whether the passes reached the key's blocks cannot be checked
    RelocatedNotOverwritten,  // the passes went elsewhere; the key's blocks are left
    DeletedKeyBlocksOnVolume, // blocks of the key found, or left where the fill did not reach
    DeletedKeyUnreachable,    // blocks the search cannot recognise nor the fill locate (inline, compressed)
    DeletedNotSearched,       // the search asked for could not read the volume whole
    DeletedLowerCopyKept,     // an overlay's lower layer keeps the original file
    ReplacedNotOverwritten,   // a token that took the passes as new objects
    // Nothing destroyed, or not proven so.
    DeletedUnverified,        // the token took the deletion, but its absence could not be checked
    NotFound,
    Refused,
    Untouched,
    CancelledUntouched,
    IncompleteKept,
    CancelledIncompleteKept,
    OverwrittenKept,
    OverwrittenEmptiedNameKept,
    VerifyFailedKept,
    RemovedNotOnMedium,       // overwritten, emptied and unlinked, but the removal did not reach the medium
    NoContainer,
    SeveralContainersUntouched,
    TokenErrorUntouched,
    TokenErrorContainerGone,
    TokenErrorContainerPresent,
    TokenErrorContainerUnknown,
};

// Whether a file's passes reached its own blocks.
enum class PlacementWord { None, InPlace, Relocating, NotProvable, Unknown };
// How the last pass was read back.
enum class VerificationWord { None, Direct, MaybeCached, NotCompared, Mismatch, NotRead, Unknown };
// How a fill of the freed space ended.
enum class FillWord { None, Covered, Filled, NotCovered, Cancelled, Failed, Unknown };

QString toWord(EndState state);
QString toWord(PlacementWord placement);
QString toWord(VerificationWord verification);
QString toWord(FillWord fill);

EndState endStateFromWord(const QString &word);
PlacementWord placementFromWord(const QString &word);
VerificationWord verificationFromWord(const QString &word);
FillWord fillFromWord(const QString &word);

// What a state says of the container, for those who filter the records.
enum class EndStateKind {
    Begun,
    Interrupted,
    Proven,       // gone, every byte of the key proven overwritten or taken back
    Doubtful,     // gone, but what is left of the key is not proven away
    NotDestroyed, // the container, or all of the key, may still be there
};
EndStateKind kindOf(EndState state);

#endif // JOURNALWORDS_H
