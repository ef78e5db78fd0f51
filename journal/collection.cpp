#include "collection.h"

#include "certificate.h"
#include "journal.h"
#include "journalhead.h"
#include "signing.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDirIterator>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMultiHash>

#include <algorithm>
#include <cstring>
#include <memory>
#include <unordered_map>
#include <vector>

namespace {

constexpr qint64 kLargestCertificate = 1 << 20;

// The head names the key that signed it; the signature, checked with the
// pinned key of that name, decides.
QString headKey(const QString &headPath)
{
    journalchain::Head head;
    QString error;
    return journalchain::readHead(headPath, &head, &error) == journalchain::HeadRead::Read ? head.keyFingerprint
                                                                                          : QString();
}

bool vouches(const VerifyResult &result)
{
    return result.ok() || result.state == VerifyResult::State::TornLast;
}

int rank(const VerifyResult &result)
{
    return vouches(result) ? 2 : result.state == VerifyResult::State::NotVerified ? 1 : 0;
}

struct Indexed {
    QString hash;
    QString file;
};

// An attempt by a digest of its id: a million entries' attempts fit in a
// few MiB where their strings would not.
struct AttemptKey {
    quint64 high = 0, low = 0;
    bool operator==(const AttemptKey &other) const { return high == other.high && low == other.low; }
};

struct AttemptKeyHash {
    std::size_t operator()(const AttemptKey &key) const { return std::size_t(key.high ^ (key.low >> 1)); }
};

AttemptKey attemptKey(const QString &attempt)
{
    const QByteArray digest = QCryptographicHash::hash(attempt.toUtf8(), QCryptographicHash::Sha256);
    AttemptKey key;
    std::memcpy(&key.high, digest.constData(), sizeof key.high);
    std::memcpy(&key.low, digest.constData() + sizeof key.high, sizeof key.low);
    return key;
}

// What one journal read with one key adds to the report, kept aside until
// the journal is known to hold. Only the entries a certificate names are
// indexed, so no more than they are held. A later ending of an attempt
// amends the earlier one (a fill started from the result box).
class Tally
{
public:
    Tally(const QString &path, const QString &fingerprint, const QSet<QString> &wanted)
        : path(path), fingerprint(fingerprint), wanted(wanted)
    {
    }

    void add(const JournalRecord &record)
    {
        const JournalEntry &e = record.entry;
        hosts.insert(e.host);
        const bool ending = e.phase == JournalEntry::Phase::Ended;
        if (ending && e.attempt.isEmpty())
            ++unnamedEndings[toWord(e.endState)];
        const AttemptKey attempt = ending && !e.attempt.isEmpty() ? attemptKey(e.attempt) : AttemptKey();
        if (ending && !e.attempt.isEmpty())
            endings[attempt] = {record.sequence, e.endState};
        const QString key = fingerprint + QLatin1Char('/') + QString::number(record.sequence);
        if (wanted.contains(key))
            named.push_back({key, {record.hash, path}, ending && !e.attempt.isEmpty(), attempt, record.sequence});
    }

    void into(CollectionReport &report, QMultiHash<QString, Indexed> &entries) const
    {
        report.hosts += hosts;
        for (auto i = unnamedEndings.begin(); i != unnamedEndings.end(); ++i)
            report.wipes[i.key()] += i.value();
        for (const auto &ending : endings)
            ++report.wipes[toWord(ending.second.state)];
        for (const Named &n : named)
            if (!n.ending || endings.at(n.attempt).seq == n.seq)
                entries.insert(n.key, n.indexed);
    }

private:
    struct Ending {
        qint64 seq;
        EndState state;
    };
    struct Named {
        QString key;
        Indexed indexed;
        bool ending;
        AttemptKey attempt;
        qint64 seq;
    };
    const QString path;
    const QString fingerprint;
    const QSet<QString> &wanted;
    QSet<QString> hosts;
    QMap<QString, int> unnamedEndings;
    std::unordered_map<AttemptKey, Ending, AttemptKeyHash> endings;
    std::vector<Named> named;
};

// A certificate as read before the journals, told after them.
struct CertificateRead {
    QString path;
    int line = 0;
    QString why; // not empty: it fails on its own
    QString key; // "fingerprint/seq" of the entry it names
    QString hash;
    int hashLine = 0;
};

// The certificates are read first, for the entries they name; then each
// journal is read once a key, one line at a time, indexing only those; then
// the certificates are told against that index.
class CollectionCheck
{
public:
    CollectionCheck(const QVector<QByteArray> &pinnedKeys)
        : pinnedKeys(pinnedKeys), keys(keysByFingerprint(pinnedKeys))
    {
        report.keysPinned = !keys.isEmpty();
    }

    void certificate(const QString &path)
    {
        CertificateRead read;
        read.path = path;
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly) || file.size() > kLargestCertificate) {
            read.why = file.isOpen() ? QCoreApplication::translate("Collection", "слишком велик для сертификата")
                                     : file.errorString();
            certificates.push_back(read);
            return;
        }
        const QByteArray bytes = file.readAll();
        const CertificateCheck check = checkCertificate(bytes, keys);
        if (check.state != CertificateCheck::State::Holds) {
            read.line = check.line;
            read.why = check.why;
            certificates.push_back(read);
            return;
        }
        report.keys.insert(check.signer);
        report.hosts.insert(check.body.value("host").toString());
        const QJsonObject entry = check.body.value("journal").toObject();
        read.key = check.signer + QLatin1Char('/') + QString::number(qint64(entry.value("seq").toDouble()));
        read.hash = entry.value("entry_sha256").toString();
        read.hashLine = certificateLine(bytes, "entry_sha256");
        wanted.insert(read.key);
        certificates.push_back(read);
    }

    void journal(const QString &path)
    {
        QByteArray named;
        if (!keyOf(path, &named))
            return;
        const QVector<QByteArray> candidates = named.isEmpty() ? pinnedKeys : QVector<QByteArray>{named};
        VerifyResult result;
        std::unique_ptr<Tally> kept;
        QByteArray key;
        for (const QByteArray &candidate : candidates) {
            auto tally = std::make_unique<Tally>(path, SigningKey::fingerprint(candidate), wanted);
            const VerifyResult tried
                = Journal(path).verify(candidate, [&tally](const JournalRecord &record) { tally->add(record); });
            if (key.isEmpty() || rank(tried) > rank(result)) {
                result = tried;
                kept = std::move(tally);
                key = candidate;
            }
            if (vouches(result))
                break;
        }
        if (!vouches(result)) {
            report.journalFailed = true;
            failed(path, result.state == VerifyResult::State::Broken ? result.line : 0, result.describe());
            return;
        }
        report.keys.insert(SigningKey::fingerprint(key));
        report.entries += result.entries;
        kept->into(report, entries);
    }

    void certificatesAgainstJournals()
    {
        for (const CertificateRead &read : certificates) {
            if (!read.why.isEmpty()) {
                report.certificateFailed = true;
                failed(read.path, read.line, read.why);
                continue;
            }
            const QList<Indexed> named = entries.values(read.key);
            if (named.isEmpty()) {
                ++report.withoutEntry;
                continue;
            }
            const QString &hash = read.hash;
            if (std::none_of(named.begin(), named.end(), [&hash](const Indexed &i) { return i.hash == hash; })) {
                report.certificateFailed = true;
                failed(read.path, read.hashLine,
                       QCoreApplication::translate("Collection", "не совпадает с записью %1 журнала %2: запись в сертификате "
                                                   "изменена или подменена")
                           .arg(read.key.section(QLatin1Char('/'), 1))
                           .arg(named.first().file));
                continue;
            }
            ++report.crossChecked;
        }
    }

    CollectionReport report;

private:
    void failed(const QString &file, int line, const QString &why) { report.failures.append({file, line, why}); }

    // The pinned key the journal's head names; empty for a head from before
    // it named its key (every pinned key is tried). false: a key not pinned.
    bool keyOf(const QString &path, QByteArray *key)
    {
        const QString named = headKey(Journal(path).headPath());
        if (named.isEmpty())
            return true;
        if (!keys.contains(named)) {
            report.journalFailed = true;
            failed(path, 0, QCoreApplication::translate("Collection", "подписан ключом %1…, которого нет среди "
                                                        "закрепленных ключей").arg(named.left(16)));
            return false;
        }
        *key = keys.value(named);
        return true;
    }

    const QVector<QByteArray> &pinnedKeys;
    const QHash<QString, QByteArray> keys;
    std::vector<CertificateRead> certificates;
    QSet<QString> wanted; // "fingerprint/seq" of the entries the certificates name
    QMultiHash<QString, Indexed> entries; // those of them found, by the same
};

} // namespace

CollectionReport checkCollection(const QString &directory, const QVector<QByteArray> &pinnedKeys)
{
    QStringList journals, certificates;
    // Links to directories are not followed: a collection cannot loop.
    QDirIterator walk(directory, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (walk.hasNext()) {
        const QString path = walk.next();
        if (path.endsWith(QLatin1String(".jsonl")))
            journals << path;
        else if (path.endsWith(QLatin1String(".json")))
            certificates << path;
    }
    journals.sort();
    certificates.sort();
    CollectionCheck check(pinnedKeys);
    check.report.journals = journals.size();
    check.report.certificates = certificates.size();
    if (!check.report.keysPinned)
        return check.report;
    for (const QString &path : certificates)
        check.certificate(path);
    for (const QString &path : journals)
        check.journal(path);
    check.certificatesAgainstJournals();
    return check.report;
}
