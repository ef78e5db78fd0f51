#ifndef WIPEVERDICT_H
#define WIPEVERDICT_H

#include "journalwords.h"
#include "wipereport.h"

struct WipeRequest;
struct WipeResult;

// What every front end may claim of one wipe. Decided once, from what was
// measured; the box, the exit status, the fill offer, the journal and the
// certificate are each one table indexed by it, and none says more.
enum class WipeClaim {
    Destroyed,              // every byte of the key proven overwritten or taken back, or never kept by the medium
    DestroyedUnproven,      // gone; whether the passes reached the key's blocks cannot be checked
    DestroyedRelocated,     // gone; the passes went elsewhere and the key's blocks were left
    DestroyedCopyKept,      // gone from its name; an overlay's lower layer keeps the original file
    DestroyedKeyLeft,       // gone; blocks of the key found, or left where the fill did not reach
    DestroyedKeyUnreachable,// gone; blocks the search cannot recognise nor the fill locate
    DestroyedNotSearched,   // gone; the volume could not be searched as asked
    NotFound,               // nothing touched
    Refused,                // nothing touched
    Incomplete,             // the file kept
    DeletionUnverified,     // the token took the deletion, but the container is not proven gone
    TokenRefused,           // the token refused a call
    NoLibrary,              // no context: nothing opened
    NotStartedNoRecord,     // the begun entry is not on the medium: nothing touched
    NotRecorded,            // never judged: the wipe's ending entry is not on the medium
};

struct WipeVerdict {
    WipeClaim claim = WipeClaim::Incomplete;
    EndState endState = EndState::Untouched; // the journal's word, finer than the claim
    bool offerFill = false; // the result box may offer to fill what the wipe freed
};

// The pure rule. Reads the outcomes the session gathered in result; knows
// nothing of texts.
WipeVerdict judgeWipe(const WipeRequest &request, const WipeResult &result);

// The container is gone, whatever doubt remains about its bytes.
bool claimsGone(WipeClaim claim);
// The box's icon for a claim.
Severity severityOf(WipeClaim claim);
// The box's main text for a claim that has one of its own; empty where the
// executor's fixed text for the failed step is the main text.
QString claimText(WipeClaim claim, bool file);

#endif // WIPEVERDICT_H
