// The journal at 100,000 entries: a wipe's start (closing interrupted
// attempts and writing the begun entry) against an empty journal, and
// verifying the whole journal against libsodium verifying the same
// signatures alone, side by side.

#include "bench.h"
#include "benchjournal.h"
#include "journal.h"
#include "signing.h"
#include "wiperecord.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <cstdio>

namespace bench {

namespace {

// Entries shaped as the program writes them, signed and chained.
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
        messages->append(entry.message);
        signatures->append(entry.signature);
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

} // namespace

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

    Clock::time_point start = Clock::now();
    const VerifyResult result = Journal(fullPath).verify();
    const double verified = secondsSince(start);
    const QByteArray publicKey = [] {
        SigningKey key;
        key.load();
        return key.publicKey();
    }();
    start = Clock::now();
    int good = 0;
    for (int i = 0; i < messages.size(); ++i)
        good += SigningKey::verify(messages.at(i), signatures.at(i), publicKey) ? 1 : 0;
    const double sodium = secondsSince(start);
    std::printf("journal: verifying %d entries: the journal %.2f s (%s), libsodium alone %.2f s (%d good): ratio %.2f\n",
                entries, verified, result.ok() ? "intact" : qPrintable(result.describe()), sodium, good,
                verified / sodium);
    return true;
}

} // namespace bench
