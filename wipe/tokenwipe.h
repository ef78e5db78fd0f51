#ifndef TOKENWIPE_H
#define TOKENWIPE_H

#include "velmux.h"
#include "wipeschedule.h"

#include <QString>

#include <functional>

enum class TokenWipeStatus {
    Wiped,             // every write succeeded and the container is deleted
    ContextFailed,     // nothing was opened
    OpenSessionFailed,
    LoginFailed,       // wrong PIN; nothing was written
    PinLocked,         // nothing was written
    PinNotInitialized, // the token has no user PIN; nothing was written
    PinExpired,        // nothing was written
    NoContainer,       // nothing was written
    Ambiguous,         // more than one container; nothing was written
    SizeFailed,        // nothing was written
    WriteFailed,       // at least one pass failed; the deletion was still tried
    DeleteFailed,      // every pass was written but the container is still there
    DeletionUnproven,  // every pass written, the token took the deletion, yet its absence could not be checked
    Exception,         // everything opened was released
};

// Whose bytes the object holds that the deletion's proof found.
enum class RemnantBytes { None, Original, Pass, Other };

struct TokenRemnant {
    RemnantBytes bytes = RemnantBytes::None;
    int pass = 0; // Pass: 1 for the first
    QString label;
    QString application;
};

// Whether the container is on the token when the wipe ends.
enum class ContainerLeft { Unknown, Gone, Present };

struct TokenWipeOutcome {
    TokenWipeStatus status = TokenWipeStatus::Exception;
    // The token took the writes as new objects, not over the old bytes.
    bool replaced = false;
    int passesDone = 0;    // passes the token took
    int passesPlanned = 0;
    uint32_t containerSize = 0; // bytes; 0 until the size is known
    uint32_t containers = 0; // Ambiguous: how many, 0 when the library cannot say
    ContainerLeft left = ContainerLeft::Unknown;
    // The token's own answer to the call that failed first: its PKCS#11
    // value (0: none known) and its library's text for it.
    uint32_t tokenReason = 0;
    QString tokenReasonText;
    QString tokenReasonName;  // Cryptoki's name of tokenReason, from the container library
    // DeleteFailed: the object the deletion's proof found, where the library says.
    TokenRemnant remnant;
    // The container's CKA_LABEL as found before the first pass; empty when
    // unknown or unset.
    QString containerLabel;
    // The token's manufacturer and model as it reports them; empty when
    // blank or when the library cannot say (makerKnown false).
    bool makerKnown = false;
    QString tokenMaker;
    QString tokenModel;
};

// Overwrites the key container on the medium once per pass of the plan,
// with a fresh log-in between passes, and deletes it. Never seeds the
// generator: random passes continue the sequence of the last file wipe.
// Throws nothing; the library's context and session are released on every path.
// passStarted, when given, is told the index of each pass before it is written.
TokenWipeOutcome overwriteTokenContainer(const PassPlan &plan, const MediaRecord *media,
                                          const QString &pin,
                                          const std::function<void(int pass)> &passStarted = {});

// Who made a token, as it says, asked without a session or a PIN; known is
// false where the library cannot say.
struct TokenMaker {
    bool known = false;
    QString maker;
    QString model;
};
TokenMaker tokenMakerOf(const MediaRecord &media);

#endif // TOKENWIPE_H
