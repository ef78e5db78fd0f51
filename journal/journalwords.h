#ifndef JOURNALWORDS_H
#define JOURNALWORDS_H

#include <QString>

// The journal's machine-readable vocabulary. Each word is stored as a short
// string; one table per enum, in the enum's order, turns it to and from that
// string, so a reader and a writer cannot drift apart. A word this version
// does not know reads as Unknown and is never mistaken for another.

// What a state says of the container, for those who filter the records.
enum class EndStateKind {
    Begun,
    Interrupted,
    Proven,       // gone, every byte of the key proven overwritten or taken back
    Doubtful,     // gone, but what is left of the key is not proven away
    NotDestroyed, // the container, or all of the key, may still be there
};
constexpr int endStateKindCount = 5;

// How an attempt ended, or that it began: the one outcome of a wipe. Every
// front end tells it from a table indexed by it; the stored words of old
// journals stay as they were (see the word table).
enum class EndState {
    Unknown,
    Begun,
    Interrupted,
    // The container is gone.
    Wiped,                    // every byte overwritten where it lay and read back
    WipedMemoryOnly,          // on a file system in memory with nothing swapped out
    WipedOtherNamesRemain,    // as Wiped; other hard links lead to the empty file
    WipedFreedBlocksFilled,   // the passes went elsewhere; the fill took the key's blocks back
    OverwriteUnproven,        // whether the passes reached the key's blocks cannot be checked
    RelocatedNotOverwritten,  // the passes went elsewhere; the key's blocks are left
    DeletedKeyBlocksOnVolume, // blocks of the key found, or left where the fill did not reach
    DeletedKeyUnreachable,    // blocks the search cannot recognise nor the fill locate (inline, compressed)
    DeletedNotSearched,       // the search asked for could not read the volume whole
    DeletedLowerCopyKept,     // an overlay's lower layer keeps the original file
    ReplacedNotOverwritten,   // a token that took the passes as new objects
    // Nothing destroyed, or not proven so.
    DeletionUnproven,         // the token took the deletion, but its absence could not be checked
    NotFound,
    Refused,
    HeldOpenUntouched,        // another process had the file open; nothing touched
    NotStartedNoRecord,       // the begun entry is not on the medium; nothing touched
    Untouched,
    CancelledUntouched,
    IncompleteKept,
    CancelledIncompleteKept,
    OverwrittenKept,
    OverwrittenEmptiedNameKept,
    VerifyFailedKept,
    RemovedNotOnMedium,       // overwritten, emptied and unlinked, but the removal did not reach the medium
    RewrittenAfterRemoval,    // another process wrote into the file after it was emptied; the key may be in it
    NoContainer,
    SeveralContainersUntouched,
    NoTokenLibrary,           // no context from the container library: no token opened
    TokenErrorUntouched,
    TokenErrorContainerGone,
    TokenErrorContainerPresent,
    TokenErrorContainerUnknown,
    // The wipe's own ending entry did not reach the medium: whatever the wipe
    // did, nothing is claimed of it. Never stored.
    EndNotRecorded,
};
constexpr int endStateCount = int(EndState::EndNotRecorded) + 1;

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

EndStateKind kindOf(EndState state);
// The container is gone, whatever doubt remains about its bytes.
bool isGone(EndState state);
// The kind as certificates and exports name it ("proven", "doubtful", ...).
QString toWord(EndStateKind kind);
// The system log's fixed message id for a kind of event, and whether it is a warning.
const char *messageIdOf(EndStateKind kind);
bool isWarning(EndStateKind kind);
// What a certificate says the state leaves in doubt; empty where nothing.
QString doubtOf(EndState state);

#endif // JOURNALWORDS_H
