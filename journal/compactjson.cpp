#include "compactjson.h"

#include <cstring>

namespace compactjson {

namespace {

// One past the string that opens at at; -1 where it is not closed.
int stringEnd(const char *text, int at, int end)
{
    for (int i = at + 1; i < end; ++i) {
        if (text[i] == '\\')
            ++i;
        else if (text[i] == '"')
            return i + 1;
    }
    return -1;
}

// One past the value that starts at at: a string, an object or array with
// all it holds, or a number, word or literal up to the next , } or ].
int valueEnd(const char *text, int at, int end)
{
    if (at >= end)
        return -1;
    if (text[at] == '"')
        return stringEnd(text, at, end);
    if (text[at] != '{' && text[at] != '[') {
        int i = at;
        while (i < end && text[i] != ',' && text[i] != '}' && text[i] != ']')
            ++i;
        bool number = i > at;
        for (int k = at; k < i && number; ++k)
            number = (text[k] >= '0' && text[k] <= '9') || text[k] == '-' || text[k] == '+' || text[k] == '.'
                || text[k] == 'e' || text[k] == 'E';
        const QByteArray word = QByteArray::fromRawData(text + at, i - at);
        return number || word == "true" || word == "false" || word == "null" ? i : -1;
    }
    int depth = 0;
    for (int i = at; i < end; ++i) {
        const char c = text[i];
        if (c == '"') {
            i = stringEnd(text, i, end) - 1;
            if (i < 0)
                return -1;
        } else if (c == '{' || c == '[') {
            ++depth;
        } else if ((c == '}' || c == ']') && --depth == 0) {
            return i + 1;
        }
    }
    return -1;
}

} // namespace

QByteArray compacted(const QByteArray &text)
{
    QByteArray out(text.size(), Qt::Uninitialized);
    const char *in = text.constData();
    const int size = text.size();
    char *to = out.data();
    for (int i = 0; i < size;) {
        const char c = in[i];
        if (c == '"') {
            const int end = stringEnd(in, i, size);
            if (end < 0)
                return QByteArray();
            std::memcpy(to, in + i, size_t(end - i));
            to += end - i;
            i = end;
        } else {
            if (c != ' ' && c != '\n' && c != '\r' && c != '\t')
                *to++ = c;
            ++i;
        }
    }
    out.truncate(int(to - out.constData()));
    return out;
}

Span whole(const QByteArray &text)
{
    const int end = valueEnd(text.constData(), 0, text.size());
    return end == text.size() ? Span{0, end} : Span();
}

Span member(const QByteArray &text, Span object, const char *key)
{
    const char *t = text.constData();
    if (!object.found() || object.to - object.from < 2 || t[object.from] != '{' || t[object.to - 1] != '}')
        return Span();
    const int keySize = int(std::strlen(key));
    Span found;
    int count = 0;
    int at = object.from + 1;
    const int end = object.to - 1;
    while (at < end) {
        const int nameEnd = t[at] == '"' ? stringEnd(t, at, end) : -1;
        if (nameEnd < 0 || nameEnd >= end || t[nameEnd] != ':')
            return Span();
        const int valueAt = nameEnd + 1;
        const int valueStop = valueEnd(t, valueAt, end);
        if (valueStop < 0)
            return Span();
        if (nameEnd - at - 2 == keySize && std::memcmp(t + at + 1, key, size_t(keySize)) == 0) {
            found = Span{valueAt, valueStop};
            ++count;
        }
        at = valueStop;
        if (at < end && (t[at] != ',' || ++at == end))
            return Span(); // no comma between two members, or one before the end
    }
    return count == 1 ? found : Span();
}

int members(const QByteArray &text, Span object)
{
    const char *t = text.constData();
    if (!object.found() || object.to - object.from < 2 || t[object.from] != '{' || t[object.to - 1] != '}')
        return -1;
    int count = 0;
    for (int at = object.from + 1, end = object.to - 1; at < end; ++count) {
        const int nameEnd = t[at] == '"' ? stringEnd(t, at, end) : -1;
        if (nameEnd < 0 || nameEnd >= end || t[nameEnd] != ':')
            return -1;
        at = valueEnd(t, nameEnd + 1, end);
        if (at < 0 || (at < end && (t[at] != ',' || ++at == end)))
            return -1;
    }
    return count;
}

bool plainString(const QByteArray &text, Span value, QByteArray *out)
{
    if (!value.found() || value.to - value.from < 2 || text.at(value.from) != '"')
        return false;
    const char *from = text.constData() + value.from + 1;
    const int size = value.to - value.from - 2;
    if (std::memchr(from, '\\', size_t(size)))
        return false;
    *out = QByteArray(from, size);
    return true;
}

} // namespace compactjson
