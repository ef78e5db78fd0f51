#include "compactjson.h"

#include <array>
#include <cstring>

namespace compactjson {

namespace {

enum Kind : unsigned char { Plain, Quote, Open, Close, Space };

constexpr std::array<Kind, 256> kinds()
{
    std::array<Kind, 256> table{};
    table['"'] = Quote;
    table['{'] = table['['] = Open;
    table['}'] = table[']'] = Close;
    table[' '] = table['\n'] = table['\r'] = table['\t'] = Space;
    return table;
}
constexpr std::array<Kind, 256> kKinds = kinds();

Kind kindOf(char c)
{
    return kKinds[static_cast<unsigned char>(c)];
}

// One past the string that opens at at; -1 where it is not closed. A quote
// ends it unless an odd run of backslashes stands before it.
int stringEnd(const char *text, int at, int end)
{
    for (int i = at + 1; i < end;) {
        const auto *quote = static_cast<const char *>(std::memchr(text + i, '"', size_t(end - i)));
        if (!quote)
            return -1;
        const int q = int(quote - text);
        int slashes = 0;
        while (q - 1 - slashes > at && text[q - 1 - slashes] == '\\')
            ++slashes;
        if (slashes % 2 == 0)
            return q + 1;
        i = q + 1;
    }
    return -1;
}

bool numberChar(char c)
{
    return (c >= '0' && c <= '9') || c == '-' || c == '+' || c == '.' || c == 'e' || c == 'E';
}

// One past the value that starts at at: a string, an object or array with
// all it holds, a number, or true, false or null.
int valueEnd(const char *text, int at, int end)
{
    if (at >= end)
        return -1;
    switch (kindOf(text[at])) {
    case Quote:
        return stringEnd(text, at, end);
    case Open: {
        int depth = 0;
        for (int i = at; i < end; ++i) {
            switch (kindOf(text[i])) {
            case Quote:
                i = stringEnd(text, i, end) - 1;
                if (i < 0)
                    return -1;
                break;
            case Open:
                ++depth;
                break;
            case Close:
                if (--depth == 0)
                    return i + 1;
                break;
            default:
                break;
            }
        }
        return -1;
    }
    default: {
        int i = at;
        while (i < end && text[i] != ',' && text[i] != '}' && text[i] != ']')
            ++i;
        bool number = true;
        for (int k = at; k < i && number; ++k)
            number = numberChar(text[k]);
        const QByteArray word = QByteArray::fromRawData(text + at, i - at);
        return number || word == "true" || word == "false" || word == "null" ? i : -1;
    }
    }
}

} // namespace

QByteArray compacted(const QByteArray &text)
{
    QByteArray out(text.size(), Qt::Uninitialized);
    const char *in = text.constData();
    const int size = text.size();
    char *to = out.data();
    for (int i = 0; i < size;) {
        switch (kindOf(in[i])) {
        case Quote: {
            const int end = stringEnd(in, i, size);
            if (end < 0)
                return QByteArray();
            std::memcpy(to, in + i, size_t(end - i));
            to += end - i;
            i = end;
            break;
        }
        case Space:
            ++i;
            break;
        default:
            *to++ = in[i++];
            break;
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

bool membersOf(const QByteArray &text, Span object, std::vector<Member> *out)
{
    out->clear();
    const char *t = text.constData();
    if (!object.found() || object.to - object.from < 2 || t[object.from] != '{' || t[object.to - 1] != '}')
        return false;
    const int end = object.to - 1;
    for (int at = object.from + 1; at < end;) {
        const int nameEnd = t[at] == '"' ? stringEnd(t, at, end) : -1;
        if (nameEnd < 0 || nameEnd >= end || t[nameEnd] != ':')
            return false;
        const int valueStop = valueEnd(t, nameEnd + 1, end);
        if (valueStop < 0)
            return false;
        out->push_back({QByteArray::fromRawData(t + at + 1, nameEnd - at - 2), Span{nameEnd + 1, valueStop}});
        at = valueStop;
        if (at < end && (t[at] != ',' || ++at == end))
            return false; // no comma between two members, or one before the end
    }
    return true;
}

Span member(const std::vector<Member> &members, const char *key)
{
    Span found;
    int count = 0;
    for (const Member &m : members) {
        if (m.name == key) {
            found = m.value;
            ++count;
        }
    }
    return count == 1 ? found : Span();
}

Span member(const QByteArray &text, Span object, const char *key)
{
    std::vector<Member> members;
    return membersOf(text, object, &members) ? member(members, key) : Span();
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
