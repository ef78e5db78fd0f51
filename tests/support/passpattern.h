#ifndef PASSPATTERN_H
#define PASSPATTERN_H

#include <QString>
#include <QStringList>
#include <QVector>

#include <algorithm>

#include <cstdint>
#include <vector>

// The tests write a wipe's passes in one notation: "00" and "01" for the
// fixed bytes, "X" for one drawn byte repeated, "~X" for its complement, "R"
// for random data (every byte its own draw), "-" for an empty write.

// The notation of one written buffer; a buffer of one repeated byte other
// than 0x00 and 0x01 is "X" (its complement cannot be told apart alone).
inline QString passPattern(const std::vector<uint8_t> &data)
{
    if (data.empty())
        return QStringLiteral("-");
    for (uint8_t b : data)
        if (b != data.front())
            return QStringLiteral("R");
    if (data.front() == 0x00)
        return QStringLiteral("00");
    if (data.front() == 0x01)
        return QStringLiteral("01");
    return QStringLiteral("X");
}

// The bytes of each pass of the pattern, drawn from this thread's generator
// as it stands, size bytes each.
inline QVector<std::vector<uint8_t>> expectedPasses(const QStringList &pattern, uint32_t size)
{
    QT_WARNING_PUSH
    QT_WARNING_DISABLE_DEPRECATED
    QVector<std::vector<uint8_t>> out;
    uint8_t x = 0;
    for (const QString &p : pattern) {
        std::vector<uint8_t> bytes(size);
        if (p == QLatin1String("01")) {
            std::fill(bytes.begin(), bytes.end(), 0x01);
        } else if (p == QLatin1String("R")) {
            for (uint8_t &b : bytes)
                b = uint8_t(qrand() & 0xFF);
        } else if (p == QLatin1String("X")) {
            x = uint8_t(qrand() & 0xFF);
            std::fill(bytes.begin(), bytes.end(), x);
        } else if (p == QLatin1String("~X")) {
            std::fill(bytes.begin(), bytes.end(), uint8_t(~x));
        }
        out.append(bytes);
    }
    return out;
    QT_WARNING_POP
}

#endif // PASSPATTERN_H
