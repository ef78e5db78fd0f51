#ifndef WIPEVERDICT_H
#define WIPEVERDICT_H

#include "journalwords.h"
#include "wipereport.h"

struct WipeRequest;
struct WipeResult;

// What may be claimed of one wipe, decided once from what was measured. The
// box, the exit status, the journal and the certificate are each one table
// indexed by the end state, and none says more.
struct WipeVerdict {
    EndState state = EndState::Untouched;
    bool offerFill = false; // the result box may offer to fill what the wipe freed
};

// The pure rule. Reads the outcomes the session gathered in result; knows
// nothing of texts, nor of whether the ending entry reached the medium.
WipeVerdict judgeWipe(const WipeRequest &request, const WipeResult &result);

// The box's icon for an end state.
Severity severityOf(EndState state);
// The box's main text for an end state that has one of its own; empty where
// the executor's text for the failed step is the main text.
QString stateText(EndState state, bool file);

#endif // WIPEVERDICT_H
