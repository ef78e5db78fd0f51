#ifndef KCC_BENCH_H
#define KCC_BENCH_H

#include <QString>
#include <QVector>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

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

// A program run to its end: its wall and CPU time, its peak resident set
// (the kernel's high-water mark, as GNU time -v reports it) and its stdout.
struct ChildRun {
    double seconds = 0;
    double cpuSeconds = 0; // user + system
    long peakKiB = 0;
    int exitCode = -1;
    std::string output;
};
ChildRun runChild(const std::vector<std::string> &args); // stderr dropped

// The load average over the last minute, as the kernel reports it.
QString loadAverage();

// Device wipes of a 4 KiB container on a throwaway SoftHSM2 token: prints its
// own lines. Returns false when it could not run (the reason is printed).
bool runDeviceBench(int repetitions);

// A wipe's start and the journal's verification at `entries` entries: in
// the program and as `kestrik-kcc-cli --verify-journal`, with its peak memory.
bool runJournalBench(int repetitions, int entries);
// The peak memory and time of `kestrik-kcc-cli --verify-journal` alone at
// `entries` entries (a million: the journal takes about a minute to make).
bool runJournalMemoryBench(int entries);

// A fleet's collection: `hosts` journals and `certificates` certificates
// checked as --verify-collection does, against libsodium alone on as many
// cores, `repetitions` times.
bool runCollectionBench(int hosts, int certificates, int repetitions);
// A collector's rsyslog store: `installations` x `wipes` signed events checked
// by `kestrik-kcc-cli --verify-collection` with its peak memory, against
// libsodium alone on as many cores.
bool runEventsBench(int installations, int wipes, int repetitions);

// The authority's tokens: `count` made once, checked as --verify-journal
// does, against libsodium verifying as many signatures.
bool runStampBench(int rounds, int count);

} // namespace bench

#endif // KCC_BENCH_H
