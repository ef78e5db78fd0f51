// The journal at 100,000 entries: a wipe's start (closing interrupted
// attempts and writing the begun entry) against an empty journal, and
// verifying the whole journal, in the program and as a fresh
// `kestrik-kcc-cli --verify-journal` with its peak memory, against libsodium
// verifying the same signatures alone, side by side; and the fresh process
// alone at a million entries.

#include "bench.h"
#include "benchjournal.h"
#include "journal.h"
#include "signing.h"
#include "wiperecord.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QFile>
#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <cstdio>
#include <sys/resource.h>

namespace bench {

namespace {

// Entries shaped as the program writes them, signed and chained; what was
// signed is kept where asked for.
bool writeJournal(const QString &path, int entries, QVector<QByteArray> *messages, QVector<QByteArray> *signatures)
{
    SigningKey key;
    if (key.load() != SigningKey::Load::Loaded && !key.create(0, Journal::genesisHash()))
        return false;
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    QString previous = Journal::genesisHash();
    for (int i = 1; i <= entries; ++i) {
        const SignedEntry entry = signedEntry(i, QStringLiteral("arm-07"), previous, key);
        if (messages) {
            messages->append(entry.message);
            signatures->append(entry.signature);
        }
        file.write(entry.line + '\n');
        previous = entry.hash;
    }
    return file.flush();
}

// One wipe's start: interrupted attempts closed, the begun entry on the medium.
double startSeconds(const Journal &journal, int repetitions)
{
    QVector<double> times;
    for (int r = 0; r < repetitions; ++r) {
        JournalEntry begun;
        begun.phase = JournalEntry::Phase::Begun;
        begun.endState = EndState::Begun;
        begun.attempt = QStringLiteral("bench-%1").arg(r);
        begun.filePath = QStringLiteral("/home/officer/keys/bench.pfx");
        begun.pid = qint64(QCoreApplication::applicationPid());
        const Clock::time_point start = Clock::now();
        closeInterruptedWipes(JournalEntry::Interface::CommandLine);
        journal.append(begun);
        times << secondsSince(start);
        JournalEntry ended = begun;
        ended.phase = JournalEntry::Phase::Ended;
        ended.endState = EndState::Wiped;
        journal.append(ended);
    }
    return median(times);
}

// `kestrik-kcc-cli --verify-journal` of the journal KCC_JOURNAL names, in a
// fresh process under GNU time: its time and its peak resident set. (The
// kernel's own figure for a spawned child starts from this process's, which
// holds every signature; time is small.)
bool verifyProcess(const QString &dir, double *seconds, long *peakKiB, const std::string &cli = KCC_CLI_PATH,
                   double *cpuSeconds = nullptr)
{
    const std::string peakFile = QDir(dir).filePath(QStringLiteral("peak.txt")).toStdString();
    const ChildRun run = runChild({"/usr/bin/time", "-f", "%M", "-o", peakFile, cli, "--verify-journal"});
    if (cpuSeconds)
        *cpuSeconds = run.cpuSeconds; // time's and, once reaped, its child's
    if (run.exitCode != 0 && cli == KCC_CLI_PATH) {
        std::printf("journal: kestrik-kcc-cli --verify-journal failed (exit %d): %s", run.exitCode, run.output.c_str());
        return false;
    }
    QFile peak(QString::fromStdString(peakFile));
    const QList<QByteArray> lines = peak.open(QIODevice::ReadOnly) ? peak.readAll().trimmed().split('\n')
                                                                   : QList<QByteArray>();
    *seconds = run.seconds;
    *peakKiB = lines.isEmpty() ? -1 : lines.last().toLong();
    return true;
}

double cpuSecondsOfThisProcess()
{
    struct rusage usage {};
    ::getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
        + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1e-6;
}

} // namespace

bool runJournalMemoryBench(int entries)
{
    QTemporaryDir dir;
    qputenv("KCC_SIGNING_KEY", QFile::encodeName(dir.filePath(QStringLiteral("signing.key"))));
    qputenv("KCC_JOURNAL_NO_SYSLOG", "1");
    const QString path = dir.filePath(QStringLiteral("million.jsonl"));
    if (!writeJournal(path, entries, nullptr, nullptr)) {
        std::printf("journal: could not write the journal\n");
        return false;
    }
    qputenv("KCC_JOURNAL", QFile::encodeName(path));
    Journal(path).append(JournalEntry());
    double seconds = 0;
    long peak = 0;
    if (!verifyProcess(dir.path(), &seconds, &peak))
        return false;
    std::printf("journal: kestrik-kcc-cli --verify-journal of %d entries (%.0f MiB): %.2f s, %.1f us an entry, "
                "peak %.1f MiB (target <= 64), load %s\n",
                entries + 1, double(QFileInfo(path).size()) / (1 << 20), seconds, seconds / (entries + 1) * 1e6,
                double(peak) / 1024, qPrintable(loadAverage()));
    qunsetenv("KCC_JOURNAL");
    return true;
}

bool runJournalBench(int repetitions, int entries)
{
    QTemporaryDir dir;
    qputenv("KCC_SIGNING_KEY", QFile::encodeName(dir.filePath(QStringLiteral("signing.key"))));
    qputenv("KCC_JOURNAL_NO_SYSLOG", "1");
    const QString emptyPath = dir.filePath(QStringLiteral("empty.jsonl"));
    const QString fullPath = dir.filePath(QStringLiteral("full.jsonl"));
    QVector<QByteArray> messages, signatures;
    if (!writeJournal(fullPath, entries, &messages, &signatures)) {
        std::printf("journal: could not write the journal\n");
        return false;
    }
    // The first append makes the head (once, over the whole file).
    qputenv("KCC_JOURNAL", QFile::encodeName(fullPath));
    Journal(fullPath).append(JournalEntry());
    const double full = startSeconds(Journal(fullPath), repetitions);
    qputenv("KCC_JOURNAL", QFile::encodeName(emptyPath));
    const double empty = startSeconds(Journal(emptyPath), repetitions);
    std::printf("journal: a wipe's start, median of %d: empty journal %.2f ms, %d entries %.2f ms (difference %.2f ms)\n",
                repetitions, empty * 1000, entries, full * 1000, (full - empty) * 1000);

    const QByteArray publicKey = [] {
        SigningKey key;
        key.load();
        return key.publicKey();
    }();
    // Side by side, in turn, so the machine's load weighs on each alike.
    qputenv("KCC_JOURNAL", QFile::encodeName(fullPath));
    const QByteArray baseline = qgetenv("KCC_BENCH_BASELINE_CLI");
    QVector<double> sodium, inProgram, process, peaks, before, beforePeaks, sodiumCpu, processCpu, beforeCpu;
    VerifyResult result;
    int good = 0;
    for (int r = 0; r < 3; ++r) {
        Clock::time_point start = Clock::now();
        const double cpuBefore = cpuSecondsOfThisProcess();
        good = 0;
        for (int i = 0; i < messages.size(); ++i)
            good += SigningKey::verify(messages.at(i), signatures.at(i), publicKey) ? 1 : 0;
        sodium << secondsSince(start);
        sodiumCpu << cpuSecondsOfThisProcess() - cpuBefore;
        start = Clock::now();
        result = Journal(fullPath).verify();
        inProgram << secondsSince(start);
        double seconds = 0, cpu = 0;
        long peak = 0;
        if (!verifyProcess(dir.path(), &seconds, &peak, KCC_CLI_PATH, &cpu))
            return false;
        process << seconds;
        processCpu << cpu;
        peaks << double(peak);
        // An earlier build, where one is named: without the head, which it
        // may not read, so it verifies every entry and says the end is unguarded.
        if (!baseline.isEmpty() && QFile::rename(fullPath + ".head", fullPath + ".head.aside")) {
            verifyProcess(dir.path(), &seconds, &peak, baseline.toStdString(), &cpu);
            QFile::rename(fullPath + ".head.aside", fullPath + ".head");
            before << seconds;
            beforeCpu << cpu;
            beforePeaks << double(peak);
        }
    }
    const auto spread = [](const QVector<double> &values) {
        return QStringLiteral("%1 - %2").arg(*std::min_element(values.begin(), values.end()), 0, 'f', 2)
            .arg(*std::max_element(values.begin(), values.end()), 0, 'f', 2);
    };
    const double s = median(sodium);
    std::printf("journal: verifying %d entries, three rounds in turn (medians, ranges):\n"
                "  libsodium alone             %6.2f s (%s; %d good)\n"
                "  the journal, in the program %6.2f s (%s; %s): ratio %.2f\n"
                "  kestrik-kcc-cli --verify-journal, a fresh process %6.2f s (%s): ratio %.2f (target <= 1.30), "
                "peak %.1f MiB (target <= 64)\n",
                entries, s, qPrintable(spread(sodium)), good, median(inProgram), qPrintable(spread(inProgram)),
                result.ok() ? "intact" : qPrintable(result.describe()), median(inProgram) / s, median(process),
                qPrintable(spread(process)), median(process) / s, median(peaks) / 1024);
    if (!before.isEmpty())
        std::printf("  the same by %s %6.2f s (%s): ratio %.2f, peak %.1f MiB\n", baseline.constData(), median(before),
                    qPrintable(spread(before)), median(before) / s, median(beforePeaks) / 1024);
    // On a shared machine the CPU each spent is the steadier figure.
    std::printf("  CPU time: libsodium alone %.2f s (%s), the fresh process %.2f s (%s): ratio %.2f\n",
                median(sodiumCpu), qPrintable(spread(sodiumCpu)), median(processCpu), qPrintable(spread(processCpu)),
                median(processCpu) / median(sodiumCpu));
    if (!beforeCpu.isEmpty())
        std::printf("  CPU time of the same by %s %.2f s (%s): ratio %.2f\n", baseline.constData(), median(beforeCpu),
                    qPrintable(spread(beforeCpu)), median(beforeCpu) / median(sodiumCpu));
    std::printf("  load %s\n", qPrintable(loadAverage()));
    qunsetenv("KCC_JOURNAL");
    return true;
}

} // namespace bench
