#include "wipeschedule.h"

namespace {

constexpr WipePass zeros{PassKind::FixedByte, 0x00};
// The "ones" of these algorithms are the byte 0x01, not 0xFF.
constexpr WipePass ones{PassKind::FixedByte, 0x01};
constexpr WipePass randomData{PassKind::RandomData, 0};
constexpr WipePass randomByte{PassKind::RandomByte, 0};
constexpr WipePass complementByte{PassKind::ComplementByte, 0};

} // namespace

QVector<WipePass> wipeSchedule(WipeAlgorithm algorithm)
{
    switch (algorithm) {
    case Gost:
        return {zeros, randomData};
    case DoD:
    case HmgEnhanced:
        return {zeros, ones, randomData};
    case HmgBaseline:
        return {zeros};
    case Rcmp:
        return {zeros, ones, zeros, ones, zeros, ones, randomByte};
    case Ar380:
        return {randomData, randomByte, complementByte};
    case Vsitr:
        return {zeros, ones, zeros, ones, zeros, ones, randomData};
    case Schneier:
        return {ones, zeros, randomData, randomData, randomData, randomData, randomData};
    }
    return {};
}
