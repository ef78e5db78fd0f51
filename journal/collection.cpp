#include "collection.h"

#include "certificate.h"
#include "eventstore.h"
#include "fleetcheck.h"
#include "journal.h"
#include "journalfile.h"
#include "journalhead.h"
#include "nativepath.h"
#include "signing.h"
#include "stamps.h"

#include <QCoreApplication>
#include <QDirIterator>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMultiHash>
#include <QSemaphore>
#include <QSet>
#include <QThreadPool>

#include <algorithm>
#include <deque>
#include <memory>
#include <vector>

namespace {

constexpr qint64 kLargestCertificate = 1 << 20;

// The head names the key that signed it; the signature, checked with the
// pinned key of that name, decides.
QString headKey(const QString &headPath)
{
    journalchain::Head head;
    QString error;
    return journalchain::readHead(headPath, &head, &error) == journalchain::HeadRead::Read ? head.keyFingerprint : QString();
}

bool vouches(const VerifyResult &result)
{
    return result.ok() || result.state == VerifyResult::State::TornLast;
}

int rank(const VerifyResult &result)
{
    return vouches(result) ? 2 : result.state == VerifyResult::State::NotVerified ? 1 : 0;
}

using Indexed = fleet::CopiedEntry;
using Failure = CollectionReport::Failure;

// What the collection keeps of one copied journal, made on a worker thread.
struct JournalPass {
    QByteArray key; // the pinned key it was checked with
    bool refused = false; // its head names a key not pinned
    VerifyResult result;
    QMap<QString, int> wipes; // ending entries by end state
    QVector<std::pair<qint64, Indexed>> indexed;
    QSet<QString> hosts;
    QString lastHost;
    int lastLine = 0;
    QVector<JournalRecord> stampable; // of what the stamps are checked with, once the journal is read
    stamps::Report stamped;
    QVector<Failure> failures;
};

// Of an entry, what the stamps' check reads: a timestamp entry whole, an
// ending its place, hash, time and whether a stamp was asked.
JournalRecord stampable(const JournalRecord &record)
{
    if (record.entry.phase == JournalEntry::Phase::Timestamp)
        return record;
    JournalRecord kept;
    kept.sequence = record.sequence;
    kept.line = record.line;
    kept.hash = record.hash;
    kept.entry.phase = record.entry.phase;
    kept.entry.time = record.entry.time;
    kept.entry.stampAsked = record.entry.stampAsked;
    return kept;
}

// What the collection keeps of one certificate, made on a worker thread.
struct CertificatePass {
    QByteArray bytes;
    QString error; // unreadable or too large
    CertificateCheck check;
};

// Runs work over the paths on every core, a few tasks in flight for each,
// and hands the results to merge in the paths' order: the report does not
// depend on which worker finished first, and memory holds only the window.
// A task takes a run of paths: one small file a task would cost its thread
// hand-overs more than the file's own check.
template<typename Pass, typename Work, typename Merge>
void inOrder(QThreadPool *pool, const QStringList &paths, Work work, Merge merge)
{
    struct Task {
        int first = 0;
        std::vector<Pass> passes;
        QSemaphore done;
    };
    const int threads = std::max(1, pool->maxThreadCount());
    const int window = 2 * threads;
    const int run = std::clamp(int(paths.size()) / (32 * threads), 1, 32);
    std::deque<std::shared_ptr<Task>> flight;
    const auto drainOne = [&] {
        Task &task = *flight.front();
        task.done.acquire();
        for (std::size_t i = 0; i < task.passes.size(); ++i)
            merge(task.first + int(i), task.passes[i]);
        flight.pop_front();
    };
    for (int first = 0; first < paths.size(); first += run) {
        auto task = std::make_shared<Task>();
        task->first = first;
        const QStringList taken = paths.mid(first, run);
        pool->start([task, taken, &work] {
            task->passes.reserve(std::size_t(taken.size()));
            for (const QString &path : taken)
                task->passes.push_back(work(path));
            task->done.release();
        });
        flight.push_back(task);
        while (int(flight.size()) > window)
            drainOne();
    }
    while (!flight.empty())
        drainOne();
}

// One pass over a collection: the journals first, indexing their entries by
// key and number, then the certificates against that index.
class CollectionCheck
{
public:
    CollectionCheck(const QVector<QByteArray> &pinnedKeys)
        : pinnedKeys(pinnedKeys), keys(keysByFingerprint(pinnedKeys))
    {
        report.keysPinned = !keys.isEmpty();
    }

    void journals(const QStringList &paths)
    {
        inOrder<JournalPass>(&pool, paths, [this](const QString &path) { return journalPass(path); },
                             [this, &paths](int i, JournalPass &pass) { journal(paths.at(i), pass); });
    }

    void certificates(const QStringList &paths)
    {
        inOrder<CertificatePass>(&pool, paths, [this](const QString &path) { return certificatePass(path); },
                                 [this, &paths](int i, CertificatePass &pass) { certificate(paths.at(i), pass); });
    }

    // On a worker: the journal streamed, of each entry only its hash and
    // place kept, for the certificates and the events to be told against.
    JournalPass journalPass(const QString &path) const
    {
        JournalPass best;
        QByteArray named;
        if (!keyOf(path, &named, &best.failures)) {
            best.refused = true;
            return best;
        }
        const QVector<QByteArray> candidates = named.isEmpty() ? pinnedKeys : QVector<QByteArray>{named};
        for (const QByteArray &candidate : candidates) {
            JournalPass tried;
            tried.key = candidate;
            tried.result = Journal(path).verify(candidate, [&tried, &path](const JournalRecord &record) {
                tried.hosts.insert(record.entry.host);
                tried.lastHost = record.entry.host;
                tried.lastLine = record.line;
                if (record.entry.phase == JournalEntry::Phase::Ended)
                    ++tried.wipes[toWord(record.entry.endState)];
                tried.indexed.append({record.sequence, Indexed{record.hash, path, record.line}});
                if (record.entry.phase == JournalEntry::Phase::Ended || record.entry.phase == JournalEntry::Phase::Timestamp)
                    tried.stampable.append(stampable(record));
            });
            if (best.key.isEmpty() || rank(tried.result) > rank(best.result))
                best = std::move(tried);
            if (vouches(best.result))
                break;
        }
        if (vouches(best.result))
            best.stamped = stamps::check(best.stampable, verifier);
        best.stampable.clear();
        return best;
    }

    void journal(const QString &path, JournalPass &pass)
    {
        report.failures += pass.failures;
        if (pass.refused) {
            report.journalFailed = true;
            return;
        }
        const VerifyResult &result = pass.result;
        const QString fingerprint = SigningKey::fingerprint(pass.key);
        copied.append({path, pass.lastHost, fingerprint, result.lastSequence, pass.lastLine});
        if (!vouches(result)) {
            report.journalFailed = true;
            failed(path, result.state == VerifyResult::State::Broken ? result.line : 0, result.describe());
            return;
        }
        report.keys.insert(fingerprint);
        report.entries += result.entries;
        report.hosts += pass.hosts;
        for (auto w = pass.wipes.constBegin(); w != pass.wipes.constEnd(); ++w)
            report.wipes[w.key()] += w.value();
        for (const auto &[seq, at] : pass.indexed)
            entries.insert(fingerprint + QLatin1Char('/') + QString::number(seq), at);
        stampsOf(path, pass.stamped);
    }

    void stampsOf(const QString &path, const stamps::Report &stamped)
    {
        report.stamped += stamped.stamped;
        report.stampsPending += stamped.pending;
        report.unstamped += stamped.unstamped;
        if (report.stampsNotVerified.isEmpty())
            report.stampsNotVerified = stamped.notVerified;
        for (const stamps::Report::Finding &finding : stamped.findings)
            failed(path, finding.line,
                   (finding.clock ? QCoreApplication::translate("Collection", "время записи %1 расходится со временем "
                                                                "службы меток: ").arg(finding.seq)
                                  : QString())
                       + finding.why);
        report.journalFailed = report.journalFailed || stamped.failed();
    }

    // On a worker: read and its signature checked.
    CertificatePass certificatePass(const QString &path) const
    {
        CertificatePass pass;
        // One read of the size it has: a certificate is a few kilobytes, and
        // QFile's own buffer would copy each twice.
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered) || file.size() > kLargestCertificate) {
            pass.error = file.isOpen() ? QCoreApplication::translate("Collection", "слишком велик для сертификата")
                                       : file.errorString();
            return pass;
        }
        pass.bytes = file.read(file.size());
        pass.check = checkCertificate(pass.bytes, keys, CertificateBody::Summary);
        return pass;
    }

    void certificate(const QString &path, const CertificatePass &pass)
    {
        const QByteArray &bytes = pass.bytes;
        const CertificateCheck &check = pass.check;
        if (!pass.error.isEmpty()) {
            report.certificateFailed = true;
            failed(path, 0, pass.error);
            return;
        }
        if (check.state != CertificateCheck::State::Holds) {
            report.certificateFailed = true;
            failed(path, check.line, check.why);
            return;
        }
        report.keys.insert(check.signer);
        report.hosts.insert(check.body.value("host").toString());
        const QJsonObject entry = check.body.value("journal").toObject();
        const qint64 seq = qint64(entry.value("seq").toDouble());
        QList<Indexed> named = entries.values(check.signer + QLatin1Char('/') + QString::number(seq));
        QString carried;
        if (named.isEmpty() && fleetCheck.holds(check.signer, seq, &carried))
            named.append({carried, QCoreApplication::translate("Collection", "событий"), 0});
        if (named.isEmpty() && fleetCheck.knows(check.signer)) {
            report.certificateFailed = true;
            failed(path, certificateLine(bytes, "seq"), QCoreApplication::translate("Collection", "записи %1 нет ни в "
                                           "собранных журналах, ни среди событий ее установки").arg(seq));
            return;
        }
        if (named.isEmpty()) {
            ++report.withoutEntry;
            return;
        }
        const QString hash = entry.value("entry_sha256").toString();
        if (std::none_of(named.begin(), named.end(), [&hash](const Indexed &i) { return i.hash == hash; })) {
            report.certificateFailed = true;
            failed(path, certificateLine(bytes, "entry_sha256"),
                   QCoreApplication::translate("Collection", "не совпадает с записью %1 журнала %2: запись в сертификате "
                                               "изменена или подменена").arg(seq).arg(named.first().file));
            return;
        }
        ++report.crossChecked;
        certificateStamp(path, bytes, check.body);
    }

    void certificateStamp(const QString &path, const QByteArray &bytes, const QJsonObject &body)
    {
        if (body.value("timestamp").toObject().value("state").toString() != QLatin1String("stamped"))
            return;
        const timestamp::TokenCheck token = stamps::checkCertificateStamp(body, verifier);
        if (token.state != timestamp::TokenCheck::State::Fails)
            return;
        report.certificateFailed = true;
        failed(path, certificateLine(bytes, "timestamp"), token.why);
    }

    void events(const QStringList &files)
    {
        fleetCheck.read(files);
        fleetCheck.compare(entries, copied);
    }

    CollectionReport report;

private:
    // The check's own threads, ended with it: what the libraries keep for each
    // thread (OpenSSL's error stack) is freed then, not left to the process's exit.
    QThreadPool pool;

    void failed(const QString &file, int line, const QString &why) { report.failures.append({file, line, why}); }

    // The pinned key the journal's head names; empty for a head from before
    // it named its key (every pinned key is tried). false: a key not pinned.
    bool keyOf(const QString &path, QByteArray *key, QVector<Failure> *failures) const
    {
        const QString named = headKey(Journal(path).headPath());
        if (named.isEmpty())
            return true;
        if (!keys.contains(named)) {
            failures->append({path, 0, QCoreApplication::translate("Collection", "подписан ключом %1…, которого нет среди "
                                                                   "закрепленных ключей").arg(named.left(16))});
            return false;
        }
        *key = keys.value(named);
        return true;
    }

    const QVector<QByteArray> &pinnedKeys;
    const QHash<QString, QByteArray> keys;
    QMultiHash<QString, Indexed> entries; // "fingerprint/seq"
    QVector<fleet::CopiedJournal> copied;
    fleet::FleetCheck fleetCheck{keys, &report, &pool};
    const timestamp::Verifier verifier{loadTimestampSettings().ca};
};

} // namespace

CollectionReport checkCollection(const QString &directory, const QVector<QByteArray> &pinnedKeys)
{
    QStringList journals, certificates, events;
    // Links to directories are not followed: a collection cannot loop.
    QStringList found;
#ifdef _WIN32
    QDirIterator walk(directory, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (walk.hasNext())
        found << walk.next();
#else
    for (const journalfile::NativePath &path : journalfile::filesUnder(nativePath(directory)))
        found << QFile::decodeName(QByteArray::fromStdString(path));
#endif
    for (const QString &path : qAsConst(found)) {
        if (path.endsWith(QLatin1String(".events.json")) || path.endsWith(QLatin1String(".events.jsonl")))
            events << path;
        else if (path.endsWith(QLatin1String(".jsonl")))
            journals << path;
        else if (path.endsWith(QLatin1String(".json")))
            certificates << path;
        else if (eventstore::formatOf(path) != eventstore::Format::None)
            events << path;
    }
    events.sort();
    journals.sort();
    certificates.sort();
    CollectionCheck check(pinnedKeys);
    check.report.journals = journals.size();
    check.report.certificates = certificates.size();
    if (!check.report.keysPinned)
        return check.report;
    check.journals(journals);
    check.events(events);
    check.certificates(certificates);
    return check.report;
}
