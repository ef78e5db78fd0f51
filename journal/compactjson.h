#ifndef COMPACTJSON_H
#define COMPACTJSON_H

#include <QByteArray>

#include <vector>

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

struct Member {
    QByteArray name; // as written between its quotes; points into the text
    Span value;
};
// The members of the object at span, in order; false where it is not one.
bool membersOf(const QByteArray &text, Span object, std::vector<Member> *members);
// The value named key; not found where the key is not there or is there twice.
Span member(const std::vector<Member> &members, const char *key);
// The same, from the object at span.
Span member(const QByteArray &text, Span object, const char *key);

// A string value's characters where it has no escape in it; false otherwise.
bool plainString(const QByteArray &text, Span value, QByteArray *out);

} // namespace compactjson

#endif // COMPACTJSON_H
