#ifndef RECORDJSON_H
#define RECORDJSON_H

#include "collection.h"
#include "journal.h"
#include "stamps.h"

#include <QJsonArray>
#include <QJsonObject>

// The journal's and the certificates' modes with --json: their payloads, in
// the keys docs/json.md lists. Texts in them (error, why) are the program's
// language; every other value is a number or one of the journal's words.

// A journal's check: its state word, where it broke, its numbers and key.
QJsonObject verificationJson(const VerifyResult &verification);
// One object an attempt, as --journal's CSV shows them.
QJsonArray attemptsJson(const QVector<JournalRecord> &records);
// The authority's stamps: the counts and each finding by line.
QJsonObject stampsJson(const stamps::Report &report);
// The fleet's check: the summary and each failure as {file, line, why}.
QJsonObject collectionJson(const CollectionReport &report);

// The document: the mode, its payload's keys and the exit status it ends with.
void printDocument(const char *mode, const QJsonObject &payload, int exitStatus);

#endif // RECORDJSON_H
