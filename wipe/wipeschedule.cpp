#include "wipeschedule.h"

#include <QCoreApplication>

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

QString wipeAlgorithmName(WipeAlgorithm algorithm)
{
    switch (algorithm) {
    case Gost:
        return QCoreApplication::translate("WipeSchedule", "ГОСТ Р50739-95");
    case DoD:
        return QStringLiteral("DoD 5220.22-M");
    case HmgBaseline:
        return QStringLiteral("HMG IS5 BS");
    case HmgEnhanced:
        return QStringLiteral("HMG IS5 ES");
    case Rcmp:
        return QStringLiteral("RCMP TSSIT OPS-II");
    case Ar380:
        return QStringLiteral("AR380-19");
    case Vsitr:
        return QStringLiteral("VSITR");
    case Schneier:
        return QCoreApplication::translate("WipeSchedule", "Алгоритм Шнайера");
    }
    return QString();
}

PassPlan passPlan(WipeAlgorithm algorithm)
{
    return {algorithm, wipeAlgorithmName(algorithm), wipeSchedule(algorithm)};
}

const char *wipeAlgorithmId(WipeAlgorithm algorithm)
{
    static const char *const ids[wipeAlgorithmCount] = {
        "gost", "dod", "hmg-bs", "hmg-es", "rcmp", "ar380", "vsitr", "schneier",
    };
    return algorithm >= 0 && algorithm < wipeAlgorithmCount ? ids[algorithm] : "";
}
