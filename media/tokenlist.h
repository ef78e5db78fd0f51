#ifndef TOKENLIST_H
#define TOKENLIST_H

#include "velmux.h"

#include <QString>
#include <QVector>

// One medium as the library listed it: the record the wipe hands back, and
// what the officer is shown of it.
struct ListedToken {
    MediaRecord record{};
    QString name;         // the token's label
    QString detail;       // its model
    QString serialNumber;

    // "name (detail, S/N serialNumber)", the line of the media list.
    QString describe() const;
};

// The type codes asked for, in this order. Code 2 is unused by the library;
// asking for it would only cost a context.
constexpr uint32_t listedMediaTypes[] = {1, 3, 4, 5, 6, 7};

// The media of one type code, in the library's order. Media that cannot be
// described are dropped; notShown grows by those past the list's capacity.
// moduleFailure, where asked for, gets "file: reason" of a module
// VELMUX_PKCS11_MODULE names that did not load (then nothing is listed): a
// mistyped path is an error, never "no tokens".
QVector<ListedToken> listTokensOfType(uint32_t mediaType, uint32_t &notShown, QString *moduleFailure = nullptr);

// Every medium of the listed type codes, in their order.
QVector<ListedToken> listTokens(uint32_t *notShown = nullptr, QString *moduleFailure = nullptr);

#endif // TOKENLIST_H
