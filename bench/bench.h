#ifndef KCC_BENCH_H
#define KCC_BENCH_H

#include <QString>
#include <QVector>

#include <algorithm>
#include <chrono>

namespace bench {

using Clock = std::chrono::steady_clock;

inline double secondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

inline double median(QVector<double> values)
{
    if (values.isEmpty())
        return 0.0;
    std::sort(values.begin(), values.end());
    const int n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2.0;
}

// Device wipes of a 4 KiB container on a throwaway SoftHSM2 token: prints its
// own lines. Returns false when it could not run (the reason is printed).
bool runDeviceBench(int repetitions);

// A wipe's start and the journal's verification at `entries` entries.
bool runJournalBench(int repetitions, int entries);

// A fleet's collection: `hosts` journals and `certificates` certificates
// checked as --verify-collection does, against libsodium alone.
bool runCollectionBench(int hosts, int certificates);

} // namespace bench

#endif // KCC_BENCH_H
