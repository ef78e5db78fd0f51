// A fleet's collection: journals and certificates from many hosts, each host
// with its own key, checked as --verify-collection does, against libsodium
// alone verifying the same signatures, side by side.

#include "bench.h"
#include "benchjournal.h"
#include "certificate.h"
#include "collection.h"
#include "journal.h"
#include "journalhead.h"
#include "signing.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

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

} // namespace

bool runCollectionBench(int hosts, int certificates)
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

    Clock::time_point start = Clock::now();
    const CollectionReport report = checkCollection(root, pinned);
    const double checked = secondsSince(start);
    start = Clock::now();
    int good = 0;
    for (const Signed &s : signatures)
        good += SigningKey::verify(s.message, s.signature, s.key) ? 1 : 0;
    const double sodium = secondsSince(start);
    std::printf("collection: %d hosts, %d journals (%d entries), %d certificates (%d matched with their entries), "
                "%d failures: checked in %.2f s (target < 10 s); libsodium alone, the same %d signatures (%d good): "
                "%.2f s; ratio %.2f (target < 1.5)\n",
                report.hosts.size(), report.journals, report.entries, report.certificates, report.crossChecked,
                int(report.failures.size()), checked, int(signatures.size()), good, sodium, checked / sodium);
    return true;
}

} // namespace bench
