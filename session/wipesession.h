#ifndef WIPESESSION_H
#define WIPESESSION_H

#include "wiperesult.h"

class WipeWorker;

// What the confirmation says will be destroyed, and how.
QString wipePlan(const WipeRequest &request);
// "Алгоритм: …, проходов: N."
QString algorithmPlan(const PassPlan &plan);

// Runs the wipe (on the worker's thread when one is given, the caller's
// events handled meanwhile), then reports and journals it. Throws nothing.
WipeResult runWipeSession(const WipeRequest &request, WipeWorker *worker = nullptr);

// A file the wipe would refuse, told before the officer is asked: a missing
// name, a folder, a link, one that cannot be written. Nothing is touched and
// nothing journalled: no attempt was made. Empty where the wipe may begin;
// the wipe itself looks again.
std::optional<WipeResult> refusedBeforeAsking(const WipeRequest &request);

// Fills what a finished file wipe freed and searches the volume again, for
// the result box's button; the result's report and journal say so after.
void fillAndSearchAgain(const WipeRequest &request, WipeResult &result, WipeWorker *worker = nullptr);

// Zeroes the PIN's characters where they lie when nothing else shares them,
// then empties it.
void forgetPin(QString &pin);

#endif // WIPESESSION_H
