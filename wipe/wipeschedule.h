#ifndef WIPESCHEDULE_H
#define WIPESCHEDULE_H

#include <QString>
#include <QVector>
#include <QtGlobal>

// The eight destruction algorithms, in the order the main window numbers them.
enum WipeAlgorithm : int {
    Gost = 0,
    DoD = 1,
    HmgBaseline = 2,
    HmgEnhanced = 3,
    Rcmp = 4,
    Ar380 = 5,
    Vsitr = 6,
    Schneier = 7,
};

enum class PassKind {
    FixedByte,      // every byte is the pass's value
    RandomData,     // every byte is its own draw
    RandomByte,     // one draw at the start of the pass fills the whole pass
    ComplementByte, // complement of the preceding RandomByte pass's byte; draws nothing
};

struct WipePass {
    PassKind kind;
    quint8 value; // FixedByte only

    friend bool operator==(const WipePass &a, const WipePass &b)
    {
        return a.kind == b.kind && a.value == b.value;
    }
};

// The passes of an algorithm, in the order they are written.
QVector<WipePass> wipeSchedule(WipeAlgorithm algorithm);

constexpr int wipeAlgorithmCount = 8;

// The algorithm's name as the main window shows it.
QString wipeAlgorithmName(WipeAlgorithm algorithm);

// An algorithm resolved once, when a wipe is asked for: every layer below
// the request reads this and never the algorithm again.
struct PassPlan {
    WipeAlgorithm algorithm = Gost;
    QString name;             // as the main window shows it
    QVector<WipePass> passes; // in the order written
};
PassPlan passPlan(WipeAlgorithm algorithm);

// A short ASCII name for scripts ("gost", "dod", ...).
const char *wipeAlgorithmId(WipeAlgorithm algorithm);

#endif // WIPESCHEDULE_H
