// A fleet's collection: journals and certificates from many hosts, each host
// with its own key, checked as --verify-collection does, against libsodium
// alone verifying the same signatures on as many cores, side by side; and the
// collector's store of syslog events from many installations, the same way.

#include "bench.h"
#include "benchjournal.h"
#include "certificate.h"
#include "collection.h"
#include "journal.h"
#include "journalevents.h"
#include "journalhead.h"
#include "signing.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QThreadPool>

#include <atomic>

#include <cstdio>

namespace bench {

namespace {

struct Signed {
    QByteArray message, signature, key;
};

QByteArray compact(const QJsonObject &object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

// libsodium alone over the signatures, on as many threads as the check
// gets (the global pool's); returns the good ones.
int verifyAll(const QVector<Signed> &signatures, int threads)
{
    std::atomic<int> good{0};
    QThreadPool pool;
    pool.setMaxThreadCount(threads);
    const int chunk = (signatures.size() + threads - 1) / std::max(1, threads);
    for (int from = 0; from < signatures.size(); from += chunk) {
        pool.start([&signatures, &good, from, to = std::min(signatures.size(), from + chunk)] {
            int held = 0;
            for (int i = from; i < to; ++i)
                held += SigningKey::verify(signatures[i].message, signatures[i].signature, signatures[i].key) ? 1 : 0;
            good += held;
        });
    }
    pool.waitForDone();
    return good;
}

// On a shared machine others' load only ever adds time: the fastest run of
// each is the steadiest measure of what the code itself costs.
double fastest(const QVector<double> &values)
{
    return values.isEmpty() ? 0 : *std::min_element(values.begin(), values.end());
}

QString spread(const QVector<double> &values, const char *format = "%.2f")
{
    const auto [low, high] = std::minmax_element(values.begin(), values.end());
    return values.isEmpty() ? QString() : QString::asprintf(format, *low) + QStringLiteral("–") + QString::asprintf(format, *high);
}

// One host: its key, a journal of `wipes` ending entries with its head, and
// a certificate for each. Collects what was signed for the side-by-side run.
bool makeHost(const QString &root, const QString &keys, int host, int wipes, QVector<Signed> *signatures)
{
    const QString name = QStringLiteral("arm-%1").arg(host, 3, 10, QLatin1Char('0'));
    qputenv("KCC_SIGNING_KEY", QFile::encodeName(QDir(keys).filePath(name + QStringLiteral(".key"))));
    SigningKey key;
    if (!key.create(0, Journal::genesisHash()))
        return false;
    const QString hostDir = QDir(root).filePath(QStringLiteral("%1/var/lib/kestrik-kcc").arg(name));
    const QString certificates = QDir(root).filePath(QStringLiteral("certificates/%1").arg(name));
    QDir().mkpath(hostDir);
    QDir().mkpath(certificates);
    const QString path = QDir(hostDir).filePath(QStringLiteral("journal.jsonl"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    QString previous = Journal::genesisHash();
    for (int i = 1; i <= wipes; ++i) {
        const SignedEntry entry = signedEntry(i, name, previous, key);
        signatures->append({entry.message, entry.signature, key.publicKey()});
        file.write(entry.line + '\n');
        previous = entry.hash;
    }
    file.close();
    // The head, as a wipe's append leaves it (one more entry).
    qputenv("KCC_JOURNAL", QFile::encodeName(path));
    JournalEntry last;
    last.host = name;
    if (!Journal(path).append(last))
        return false;
    const QList<QByteArray> lines = QFile::exists(path) ? [&path] {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll().trimmed().split('\n') : QList<QByteArray>();
    }() : QList<QByteArray>();
    QJsonObject appended = QJsonDocument::fromJson(lines.last()).object();
    const QByteArray lastSignature = QByteArray::fromBase64(appended.take("sig").toString().toLatin1());
    signatures->append({compact(appended), lastSignature, key.publicKey()});
    journalchain::Head head;
    QString error;
    if (journalchain::readHead(Journal(path).headPath(), &head, &error, key.publicKey()) != journalchain::HeadRead::Read)
        return false;
    signatures->append({head.message(), QByteArray::fromBase64(head.signature.toLatin1()), key.publicKey()});

    VerifyResult verified;
    const QVector<JournalRecord> records = Journal(path).read(&verified, false, key.publicKey());
    for (const JournalRecord &record : records) {
        if (record.entry.endState != EndState::Wiped)
            continue;
        const QJsonObject body = certificateBody(record, path);
        const QByteArray certificate = signCertificate(body, nullptr);
        QFile out(QDir(certificates).filePath(QStringLiteral("entry-%1.json").arg(record.sequence)));
        if (certificate.isEmpty() || !out.open(QIODevice::WriteOnly) || out.write(certificate) != certificate.size())
            return false;
        const QJsonObject document = QJsonDocument::fromJson(certificate).object();
        signatures->append({compact(body), QByteArray::fromBase64(document.value("signature").toString().toLatin1()),
                            key.publicKey()});
    }
    return true;
}


// One installation's events as the collector's rsyslog writes them, one file
// per host in the traditional format: each line the program's syslog line of
// a real signed entry, with the head signed after it.
bool makeEvents(const QString &root, const QString &keys, int installation, int wipes, QVector<Signed> *signatures)
{
    const QString name = QStringLiteral("ws-%1").arg(installation, 4, 10, QLatin1Char('0'));
    qputenv("KCC_SIGNING_KEY", QFile::encodeName(QDir(keys).filePath(name + QStringLiteral(".key"))));
    SigningKey key;
    if (!key.create(0, Journal::genesisHash()))
        return false;
    QFile file(QDir(root).filePath(name + QStringLiteral(".log")));
    if (!file.open(QIODevice::WriteOnly))
        return false;
    const std::string fingerprint = SigningKey::fingerprint(key.publicKey()).toStdString();
    journalchain::Head head;
    QString previous = Journal::genesisHash();
    for (int i = 1; i <= wipes; ++i) {
        const SignedEntry entry = signedEntry(i, name, previous, key);
        signatures->append({entry.message, entry.signature, key.publicKey()});
        previous = entry.hash;
        head.seq = i;
        head.hash = entry.hash;
        head.size += entry.line.size() + 1;
        head.generation = i;
        QJsonObject stored = head.body();
        stored.insert("key_sha256", QString::fromStdString(fingerprint));
        const QByteArray headSignature = key.sign(head.message());
        stored.insert("sig", QString::fromLatin1(headSignature.toBase64()));
        if (i == wipes) // the check needs only the last head's signature
            signatures->append({head.message(), headSignature, key.publicKey()});
        JournalRecord record;
        record.sequence = i;
        record.hash = entry.hash;
        record.entry.phase = JournalEntry::Phase::Ended;
        record.entry.endState = EndState::Wiped;
        record.entry.host = name;
        record.entry.filePath = QStringLiteral("/home/officer/keys/key-%1.pfx").arg(i);
        record.entry.algorithmName = QStringLiteral("DoD 5220.22-M");
        const std::string line = syslogEventLine(Journal::systemLogLine(record).toStdString(),
                                                 {{"KCC_KEY_SHA256", fingerprint},
                                                  {"KCC_HEAD", compact(stored).toStdString()},
                                                  {"KCC_ENTRY", entry.line.toStdString()}});
        const QByteArray written = QStringLiteral("May 14 10:21:07 %1 kestrik-kcc[4242]: ").arg(name).toUtf8()
            + QByteArray::fromStdString(line) + '\n';
        if (file.write(written) != written.size())
            return false;
    }
    return true;
}

} // namespace

bool runCollectionBench(int hosts, int certificates, int repetitions)
{
    QTemporaryDir dir;
    const QString root = dir.filePath(QStringLiteral("collection"));
    const QString keys = dir.filePath(QStringLiteral("keys"));
    QDir().mkpath(keys);
    qputenv("KCC_JOURNAL_NO_SYSLOG", "1");
    qputenv("KCC_TRUSTED_KEYS", QFile::encodeName(dir.filePath(QStringLiteral("trusted-keys"))));
    QVector<Signed> signatures;
    QVector<QByteArray> pinned;
    QByteArray pinnedFile;
    for (int host = 1; host <= hosts; ++host) {
        const int before = signatures.size();
        if (!makeHost(root, keys, host, certificates / hosts, &signatures)) {
            std::printf("collection: could not make host %d\n", host);
            return false;
        }
        pinned << signatures.at(before).key;
        pinnedFile += signatures.at(before).key.toHex() + '\n';
    }
    QFile trusted(dir.filePath(QStringLiteral("trusted-keys")));
    if (!trusted.open(QIODevice::WriteOnly) || trusted.write(pinnedFile) != pinnedFile.size())
        return false;
    trusted.close();

    const int threads = std::max(1, QThreadPool::globalInstance()->maxThreadCount());
    QVector<double> checkedRuns, sodiumRuns, ratios;
    CollectionReport report;
    int good = 0;
    for (int r = 0; r < repetitions; ++r) {
        Clock::time_point start = Clock::now();
        report = checkCollection(root, pinned);
        checkedRuns << secondsSince(start);
        start = Clock::now();
        good = verifyAll(signatures, threads);
        sodiumRuns << secondsSince(start);
        ratios << checkedRuns.last() / sodiumRuns.last();
    }
    std::printf("collection: %d hosts, %d journals (%d entries), %d certificates (%d matched with their entries), "
                "%d failures, load %s: checked in %.2f s (%s over %d runs; target < 10 s); libsodium alone, the same "
                "%d signatures (%d good) on %d threads: %.2f s (%s); ratio %.2f (%s; target <= 1.5); fastest of each: "
                "%.2f s against %.2f s, %.2f\n",
                report.hosts.size(), report.journals, report.entries, report.certificates, report.crossChecked,
                int(report.failures.size()), qPrintable(loadAverage()), median(checkedRuns), qPrintable(spread(checkedRuns)),
                repetitions, int(signatures.size()), good, threads, median(sodiumRuns), qPrintable(spread(sodiumRuns)),
                median(ratios), qPrintable(spread(ratios)), fastest(checkedRuns), fastest(sodiumRuns),
                fastest(checkedRuns) / fastest(sodiumRuns));
    return true;
}

bool runEventsBench(int installations, int wipes, int repetitions)
{
    QTemporaryDir dir;
    const QString root = dir.filePath(QStringLiteral("collector"));
    const QString keys = dir.filePath(QStringLiteral("keys"));
    QDir().mkpath(root);
    QDir().mkpath(keys);
    QVector<Signed> signatures;
    QByteArray pinnedFile;
    for (int i = 1; i <= installations; ++i) {
        const int before = signatures.size();
        if (!makeEvents(root, keys, i, wipes, &signatures)) {
            std::printf("events: could not make installation %d\n", i);
            return false;
        }
        pinnedFile += signatures.at(before).key.toHex() + '\n';
    }
    const QString trustedPath = dir.filePath(QStringLiteral("trusted-keys"));
    QFile trusted(trustedPath);
    if (!trusted.open(QIODevice::WriteOnly) || trusted.write(pinnedFile) != pinnedFile.size())
        return false;
    trusted.close();
    qputenv("KCC_TRUSTED_KEYS", QFile::encodeName(trustedPath));
    qint64 storeBytes = 0;
    for (const QFileInfo &info : QDir(root).entryInfoList(QDir::Files))
        storeBytes += info.size();

    const int threads = std::max(1, QThreadPool::globalInstance()->maxThreadCount());
    const std::string peakFile = dir.filePath(QStringLiteral("peak.txt")).toStdString();
    QVector<double> checkedRuns, sodiumRuns, ratios, peaks;
    ChildRun run;
    int good = 0;
    for (int r = 0; r < repetitions; ++r) {
        run = runChild({"/usr/bin/time", "-f", "%M", "-o", peakFile, KCC_CLI_PATH, "--verify-collection",
                        root.toStdString()});
        QFile peak(QString::fromStdString(peakFile));
        const QList<QByteArray> lines = peak.open(QIODevice::ReadOnly) ? peak.readAll().trimmed().split('\n')
                                                                       : QList<QByteArray>();
        if (run.exitCode != 0 || lines.isEmpty()) {
            std::printf("events: kestrik-kcc-cli --verify-collection failed (exit %d): %s", run.exitCode,
                        run.output.substr(0, 2000).c_str());
            return false;
        }
        peaks << lines.last().toLong() / 1024.0;
        checkedRuns << run.seconds;
        const Clock::time_point start = Clock::now();
        good = verifyAll(signatures, threads);
        sodiumRuns << secondsSince(start);
        ratios << checkedRuns.last() / sodiumRuns.last();
    }
    std::printf("events: %d installations x %d wipes in rsyslog's traditional format (%d files, %.0f MiB), load %s: "
                "kestrik-kcc-cli --verify-collection %.2f s (%s over %d runs), peak %.0f MiB (%s; target <= 256); "
                "libsodium alone, the same %d signatures (%d good) on %d threads: %.2f s (%s); ratio %.2f (%s; "
                "target <= 1.3); fastest of each: %.2f s against %.2f s, %.2f\n",
                installations, wipes, installations, storeBytes / 1048576.0, qPrintable(loadAverage()),
                median(checkedRuns), qPrintable(spread(checkedRuns)), repetitions, median(peaks),
                qPrintable(spread(peaks, "%.0f")), int(signatures.size()), good, threads, median(sodiumRuns),
                qPrintable(spread(sodiumRuns)), median(ratios), qPrintable(spread(ratios)), fastest(checkedRuns),
                fastest(sodiumRuns), fastest(checkedRuns) / fastest(sodiumRuns));
    return true;
}

} // namespace bench
