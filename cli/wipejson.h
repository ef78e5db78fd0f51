#ifndef WIPEJSON_H
#define WIPEJSON_H

#include "wiperesult.h"

#include <QJsonArray>
#include <QJsonObject>

// What the scripted modes give with --json: one document on standard output,
// its keys in English and kept from one version to the next (docs/json.md).
// A key's meaning never changes within a format; a new key may be added.
extern const char kResultFormat[];

// One wiped (or refused) target: what became of it and what was recorded.
QJsonObject targetJson(const WipeRequest &request, const WipeResult &result, int exitStatus);
// A token no wipe ran for: no token, or several, with the serial number asked for.
QJsonObject tokenNotWipedJson(const QString &serial, EndState state, int exitStatus);
QJsonObject tokenJson(const ListedToken &token);
// As --list-tokens gives it: with the maker the token reports.
QJsonObject listedTokenJson(const ListedToken &token);

// The document: the mode, its list under listKey and the exit status it ends with.
void printResult(const char *mode, const char *listKey, const QJsonArray &items, int exitStatus);

#endif // WIPEJSON_H
