#ifndef COMPACTJSON_H
#define COMPACTJSON_H

#include <QByteArray>

// Reading JSON text without building it: where a member's value stands, for
// text this program wrote itself (no whitespace outside strings, as Qt's
// compact form). Anything it does not expect answers "not found", and the
// caller parses the text whole instead.
namespace compactjson {

struct Span {
    int from = -1; // the value's first byte
    int to = -1;   // one past its last
    bool found() const { return from >= 0; }
};

// The text with the whitespace outside strings left out; empty where a
// string is not closed.
QByteArray compacted(const QByteArray &text);

// The whole text as one value.
Span whole(const QByteArray &text);

// The value of key among the members of the object at span; not found where
// it is not an object, the key is not there or is there twice.
Span member(const QByteArray &text, Span object, const char *key);

// How many members the object at span has; -1 where it is not one.
int members(const QByteArray &text, Span object);

// A string value's characters where it has no escape in it; false otherwise.
bool plainString(const QByteArray &text, Span value, QByteArray *out);

} // namespace compactjson

#endif // COMPACTJSON_H
