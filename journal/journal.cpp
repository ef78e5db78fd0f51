#include "journal.h"

#include "entryformat.h"
#include "journalcheck.h"
#include "journalhead.h"
#include "kcc_version.h"
#include "signing.h"

#include <QCoreApplication>
#include <QJsonDocument>
#include <QSet>
#include <QStandardPaths>

#include <functional>
#include <vector>

using namespace journalchain;

namespace {

// The file from its start, a piece at a time, until sink says enough.
bool streamFile(const journalfile::LockedFile &file, const std::function<bool(const char *, std::size_t)> &sink,
                QString *error)
{
    std::vector<char> buffer(std::size_t(1) << 20);
    std::string reason;
    for (std::int64_t offset = 0;;) {
        std::size_t got = 0;
        if (!file.readAt(offset, buffer.data(), buffer.size(), &got, &reason)) {
            *error = QString::fromStdString(reason);
            return false;
        }
        if (got == 0 || !sink(buffer.data(), got))
            return true;
        offset += std::int64_t(got);
    }
}

// The installation's key, or the one asked for; notVerified: why the
// signatures cannot be relied on.
void loadAnchorKey(const QByteArray &anchorKey, Anchor *anchor, QString *notVerified)
{
    QString error;
    if (!anchorKey.isEmpty()) {
        anchor->publicKey = anchorKey;
    } else if (SigningKey::available()) {
        SigningKey key;
        const SigningKey::Load loaded = key.load(&error);
        if (loaded == SigningKey::Load::Loaded) {
            anchor->publicKey = key.publicKey();
            anchor->keyEntriesBefore = key.entriesBefore();
            anchor->keyHashBefore = key.hashBefore();
        } else if (loaded == SigningKey::Load::Refused) {
            *notVerified = error;
        }
    }
    if (!anchor->publicKey.isEmpty() && !SigningKey::trusted(anchor->publicKey, &error))
        *notVerified = error;
}

} // namespace

QString Journal::defaultPath()
{
    const QString overridden = qEnvironmentVariable("KCC_JOURNAL");
    if (!overridden.isEmpty())
        return overridden;
    // Without an application object (the command line before it exists) the
    // location would lack the program's own directory.
    const QString base = QCoreApplication::applicationName().isEmpty()
        ? QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QLatin1Char('/') + KCC_PROGRAM
        : QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    return base + QStringLiteral("/journal.jsonl");
}

QString Journal::genesisHash()
{
    return QString(64, QLatin1Char('0'));
}

Journal::Journal(QString path) : filePath(std::move(path)) {}

QVector<JournalRecord> Journal::openAttempts(QString *error) const
{
    QVector<JournalRecord> found;
    journalfile::LockedFile file;
    std::string reason;
    std::int64_t size = 0;
    if (!file.open(nativePath(filePath), journalfile::LockedFile::Mode::Read, &reason)
        || (file.isOpen() && !file.size(&size, &reason))) {
        if (error)
            *error = QString::fromStdString(reason);
        return found;
    }
    if (!file.isOpen())
        return found;
    Head head;
    Tail tail;
    QString why;
    SigningKey key;
    if (SigningKey::available())
        key.load();
    if (!headAtEnd(file, size, headPath(), key.publicKey(), &head, &tail, &why)) {
        if (error)
            *error = why;
        return found;
    }
    for (const OpenAttempt &open : head.open) {
        QByteArray line(int(open.length), '\0');
        std::size_t got = 0;
        if (!file.readAt(open.offset, line.data(), std::size_t(line.size()), &got, &reason) || got != std::size_t(open.length))
            continue;
        const QJsonObject o = QJsonDocument::fromJson(line).object();
        if (o.value("attempt").toString() != open.attempt || qint64(o.value("seq").toDouble()) != open.seq)
            continue;
        JournalRecord record = recordOf(o, line);
        record.entry.passesDone = open.passes;
        found.append(record);
    }
    return found;
}

VerifyResult Journal::verify(const QByteArray &anchorKey, const std::function<void(const JournalRecord &)> &each) const
{
    VerifyResult result;
    readChecked(&result, each, nullptr, anchorKey);
    return result;
}

void Journal::readChecked(VerifyResult *result, const std::function<void(const JournalRecord &)> &each,
                          QVector<JournalRecord> *shownPastBreak, const QByteArray &anchorKey) const
{
    journalfile::LockedFile file;
    std::string reason;
    QString error;
    Anchor anchor;
    QString notVerified;
    loadAnchorKey(anchorKey, &anchor, &notVerified);
    // The head is read under the journal's lock, so no append falls between the two.
    if (!file.open(nativePath(filePath), journalfile::LockedFile::Mode::Read, &reason)) {
        error = QString::fromStdString(reason);
    } else if (readHead(headPath(), &anchor.head, &error, anchor.publicKey) != HeadRead::Refused) {
        StreamCheck stream(anchor, each);
        const auto feed = [&stream](const char *data, std::size_t length) {
            stream.feed(data, length);
            return !stream.settled();
        };
        if (!file.isOpen() || streamFile(file, feed, &error)) {
            *result = stream.finish();
            error.clear();
        }
    }
    if (!error.isEmpty()) {
        result->state = VerifyResult::State::Unreadable;
        result->error = error;
        if (shownPastBreak)
            shownPastBreak->clear();
        return;
    }
    if (!notVerified.isEmpty() && result->state != VerifyResult::State::Broken) {
        result->state = VerifyResult::State::NotVerified;
        result->error = notVerified;
    }
    // Past a break the chain says nothing, but the entries are still shown.
    if (shownPastBreak && result->state == VerifyResult::State::Broken) {
        shownPastBreak->clear();
        if (!file.isOpen())
            return;
        LineSplitter lines = wholeEntriesSplitter(shownPastBreak);
        streamFile(file, [&lines](const char *data, std::size_t length) {
            lines.feed(data, length);
            return true;
        }, &error);
        lines.finish();
    }
}

QVector<JournalRecord> Journal::read(VerifyResult *verification, bool withBegun, const QByteArray &anchorKey) const
{
    QVector<JournalRecord> records;
    VerifyResult result;
    readChecked(&result, [&records](const JournalRecord &record) { records.append(record); }, &records, anchorKey);
    if (verification)
        *verification = result;
    // A later ending of the same attempt amends the earlier one (a fill
    // started from the result box): one attempt, one ending.
    QSet<QString> endedLater;
    std::vector<bool> drop(std::size_t(records.size()), false);
    for (int i = records.size() - 1; i >= 0; --i) {
        const JournalEntry &e = records.at(i).entry;
        if (e.phase != JournalEntry::Phase::Ended)
            drop[std::size_t(i)] = !withBegun;
        else if (!e.attempt.isEmpty() && endedLater.contains(e.attempt))
            drop[std::size_t(i)] = true;
        else
            endedLater.insert(e.attempt);
    }
    QVector<JournalRecord> kept;
    for (int i = 0; i < records.size(); ++i)
        if (!drop[std::size_t(i)])
            kept << records.at(i);
    return kept;
}
