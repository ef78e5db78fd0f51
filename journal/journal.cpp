#include "journal.h"

#include "entryformat.h"
#include "installation.h"
#include "journalcheck.h"
#include "journalhead.h"
#include "kcc_version.h"
#include "keylast.h"
#include "signing.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QHash>
#include <QSet>
#include <QSysInfo>

#include <algorithm>
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

// The file's whole entries, counted as they stream past.
int wholeEntryCount(const journalfile::LockedFile &file)
{
    int count = 0;
    if (!file.isOpen())
        return count;
    LineSplitter lines([&count](const QByteArray &line, int) { count += QJsonDocument::fromJson(line).isObject(); });
    QString error;
    streamFile(file, [&lines](const char *data, std::size_t length) {
        lines.feed(data, length);
        return true;
    }, &error);
    lines.finish();
    return count;
}

// The journal's key file, or the key asked for; notVerified: why the
// signatures cannot be relied on; keyGone: why a journal that holds no
// signed entry is not to be taken as a new one.
void loadAnchorKey(const QByteArray &anchorKey, const QString &keyPath, Anchor *anchor, QString *notVerified,
                   QString *keyGone)
{
    QString error;
    if (!anchorKey.isEmpty()) {
        anchor->publicKey = anchorKey;
    } else if (SigningKey::available()) {
        SigningKey key;
        const SigningKey::Load loaded = key.loadFrom(keyPath, &error);
        if (loaded == SigningKey::Load::Loaded) {
            anchor->publicKey = key.publicKey();
            anchor->keyEntriesBefore = key.entriesBefore();
            anchor->keyHashBefore = key.hashBefore();
            anchor->keyLast = readKeyLast(key.publicKey(), keyPath);
            anchor->keyKeepsLast = key.keepsLast();
            anchor->keyLastChecked = true;
        } else if (loaded == SigningKey::Load::Refused) {
            *notVerified = error;
        } else {
            // The key gone, its record of what it signed left behind.
            const KeyLast last = readKeyLast(QByteArray(), keyPath);
            if (last.present && last.seq > 0)
                *keyGone = QCoreApplication::translate("Journal", "ключа подписи %1 нет, а рядом с ним записано, что "
                                                       "он подписал записи по номер %2")
                                   .arg(QDir::toNativeSeparators(keyPath))
                                   .arg(last.seq);
        }
    }
    if (!anchor->publicKey.isEmpty() && !SigningKey::trusted(anchor->publicKey, &error))
        *notVerified = error;
}

// The file's first signed entry and its line, read no further than that.
QByteArray firstSignedLine(const QString &path, int *number)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    for (*number = 1; !file.atEnd(); ++*number) {
        QByteArray line = file.readLine();
        if (line.endsWith('\n'))
            line.chop(1);
        if (QJsonDocument::fromJson(line).object().value("sig").isString())
            return line;
    }
    return QByteArray();
}

// Signatures that fail from the first signed entry on, under a key the head
// does not hold with either, were made with another key: no entry was changed.
bool signedWithAnotherKey(const VerifyResult &result, const Anchor &anchor, const QString &path)
{
    if (anchor.publicKey.isEmpty() || result.state != VerifyResult::State::Broken
        || (result.kind != VerifyResult::Break::Changed && result.kind != VerifyResult::Break::HeadInvalid))
        return false;
    if (anchor.head.present && headSignatureHolds(anchor.head, anchor.publicKey))
        return false;
    int number = 0;
    const QByteArray first = firstSignedLine(path, &number);
    if (first.isEmpty())
        return result.kind == VerifyResult::Break::HeadInvalid;
    return (result.kind == VerifyResult::Break::HeadInvalid || result.line == number)
        && !lineSignatureHolds(first, anchor.publicKey);
}

QString headKeyFingerprintOf(const Head &head)
{
    return QJsonDocument::fromJson(head.stored).object().value("key_sha256").toString();
}

} // namespace

QString Journal::defaultPath()
{
    const QString overridden = qEnvironmentVariable("KCC_JOURNAL");
    if (!overridden.isEmpty())
        return overridden;
    return installation::dataDirectory() + QStringLiteral("/journal.jsonl");
}

QString Journal::genesisHash()
{
    return QString(64, QLatin1Char('0'));
}

Journal::Journal(QString path, QString keyPath) : filePath(std::move(path)), keyFile(std::move(keyPath))
{
    if (keyFile.isEmpty())
        keyFile = SigningKey::defaultPath();
}

Journal Journal::earlierCommandLine()
{
    return Journal(installation::earlierJournalPath(), installation::earlierKeyPath());
}

QString Journal::earlierCommandLineNotice()
{
    const QString path = installation::earlierJournalPath();
    if (path.isEmpty())
        return QString();
    const QString key = QDir::toNativeSeparators(installation::earlierKeyPath());
    return QCoreApplication::translate("Journal", "журнал, который прежняя версия %1 вела отдельно, лежит в %2; "
                                       "его проверяет своим ключом %1 --verify-journal, акт по нему: "
                                       "KCC_JOURNAL=%2 KCC_SIGNING_KEY=%3 %4 --act ФАЙЛ.pdf")
        .arg(QStringLiteral(KCC_PROGRAM "-cli"), QDir::toNativeSeparators(path), key, QStringLiteral(KCC_PROGRAM));
}

QString Journal::headKeyFingerprint() const
{
    Head head;
    QString error;
    return readHead(headPath(), &head, &error) == HeadRead::Read ? headKeyFingerprintOf(head) : QString();
}

SigningKey::Load Journal::keyMadeIfMissing(SigningKey *key, bool *made, QString *error) const
{
    *made = false;
    const SigningKey::Load loaded = key->loadFrom(keyFile, error);
    if (loaded != SigningKey::Load::Missing)
        return loaded;
    // As the first signed entry would make it: recording what precedes it,
    // and never beside a journal that another key signed.
    journalfile::LockedFile file;
    std::string reason;
    std::int64_t size = 0;
    Head head;
    Tail tail;
    QString why;
    if (!file.open(nativePath(filePath), journalfile::LockedFile::Mode::Read, &reason)
        || (file.isOpen() && !file.size(&size, &reason))) {
        why = QString::fromStdString(reason);
    } else if (file.isOpen() && headAtEnd(file, size, headPath(), QByteArray(), &head, &tail, &why) && tail.isSigned) {
        why = QCoreApplication::translate("Journal", "ключа подписи %1 нет, а записи журнала подписаны")
                  .arg(QDir::toNativeSeparators(keyFile));
    } else if (why.isEmpty() && keyFile == SigningKey::defaultPath() && key->create(tail.seq, tail.hash, &why)) {
        *made = true;
        return SigningKey::Load::Loaded;
    }
    if (error)
        *error = why;
    return SigningKey::Load::Refused;
}

Journal::OpenState Journal::openState(const JournalEntry &begun)
{
    const bool here = begun.hostId.isEmpty() ? begun.host == QSysInfo::machineHostName()
                                             : begun.hostId == QString::fromStdString(journalfile::machineId());
    if (!here)
        return OpenState::Elsewhere;
    return journalfile::processAlive({begun.pid, begun.boot.toStdString(), begun.processStarted}) ? OpenState::Running
                                                                                                  : OpenState::Interrupted;
}

QVector<JournalRecord> Journal::readAttempts(VerifyResult *verification) const
{
    const QVector<JournalRecord> all = read(verification, true);
    QSet<QString> ended;
    QHash<QString, int> passes;
    for (const JournalRecord &record : all) {
        const JournalEntry &e = record.entry;
        if (e.phase == JournalEntry::Phase::Ended)
            ended.insert(e.attempt);
        else if (e.phase == JournalEntry::Phase::Progress)
            passes[e.attempt] = std::max(passes.value(e.attempt), e.passesDone);
    }
    QVector<JournalRecord> rows;
    for (const JournalRecord &record : all) {
        const JournalEntry &e = record.entry;
        if (e.phase == JournalEntry::Phase::Ended) {
            rows << record;
        } else if (e.phase == JournalEntry::Phase::Begun && !e.attempt.isEmpty() && !ended.contains(e.attempt)) {
            JournalRecord open = record;
            open.entry.passesDone = passes.value(e.attempt);
            open.entry.endState = openState(e) == OpenState::Interrupted ? EndState::Interrupted : EndState::Begun;
            rows << open;
        }
    }
    return rows;
}

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
        key.loadFrom(keyFile);
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
    QString keyGone;
    loadAnchorKey(anchorKey, keyFile, &anchor, &notVerified, &keyGone);
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
    result->noFile = !file.isOpen();
    if (!keyGone.isEmpty() && (result->ok() || result->state == VerifyResult::State::TornLast)) {
        result->state = VerifyResult::State::NotVerified;
        result->error = keyGone;
    } else if (signedWithAnotherKey(*result, anchor, filePath)) {
        const QString named = headKeyFingerprintOf(anchor.head);
        notVerified = QCoreApplication::translate("Journal", "подписи записей не соответствуют этому ключу (отпечаток ключа %1…)")
                          .arg(SigningKey::fingerprint(anchor.publicKey).left(16));
        if (!named.isEmpty() && named != SigningKey::fingerprint(anchor.publicKey))
            notVerified += QCoreApplication::translate("Journal", "; голова журнала называет ключ с отпечатком %1…").arg(named.left(16));
        result->state = VerifyResult::State::NotVerified;
        result->entries = wholeEntryCount(file); // the check stopped at the first signature
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

QVector<JournalRecord> Journal::readEntries(VerifyResult *verification, const QByteArray &anchorKey) const
{
    QVector<JournalRecord> records;
    VerifyResult result;
    readChecked(&result, [&records](const JournalRecord &record) { records.append(record); }, &records, anchorKey);
    if (verification)
        *verification = result;
    return records;
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
