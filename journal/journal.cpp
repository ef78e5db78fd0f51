#include "journal.h"

#include "entryformat.h"
#include "journalcheck.h"
#include "journalhead.h"
#include "kcc_version.h"
#include "keylast.h"
#include "signing.h"

#include <QCoreApplication>
#include <QDir>
#include <QJsonDocument>
#include <QHash>
#include <QSet>
#include <QSysInfo>
#include <QStandardPaths>

#include <algorithm>
#include <vector>

using namespace journalchain;

namespace {

bool readAll(const QString &path, QByteArray *data, QString *error)
{
    journalfile::LockedFile file;
    std::string reason;
    std::int64_t size = 0;
    if (!file.open(nativePath(path), journalfile::LockedFile::Mode::Read, &reason)
        || (file.isOpen() && !file.size(&size, &reason))) {
        *error = QString::fromStdString(reason);
        return false;
    }
    if (!file.isOpen())
        return true;
    data->resize(int(size));
    std::size_t got = 0;
    if (!file.readAt(0, data->data(), std::size_t(size), &got, &reason)) {
        *error = QString::fromStdString(reason);
        return false;
    }
    data->resize(int(got));
    return true;
}

// The installation's key, or the one asked for; notVerified: why the
// signatures cannot be relied on; keyGone: why a journal that holds no
// signed entry is not to be taken as a new one.
void loadAnchorKey(const QByteArray &anchorKey, Anchor *anchor, QString *notVerified, QString *keyGone)
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
            anchor->keyLast = readKeyLast(key.publicKey());
            anchor->keyKeepsLast = key.keepsLast();
            anchor->keyLastChecked = true;
        } else if (loaded == SigningKey::Load::Refused) {
            *notVerified = error;
        } else {
            // The key gone, its record of what it signed left behind.
            const KeyLast last = readKeyLast(QByteArray());
            if (last.present && last.seq > 0)
                *keyGone = QCoreApplication::translate("Journal", "ключа подписи %1 нет, а рядом с ним записано, что "
                                                       "он подписал записи по номер %2")
                                   .arg(QDir::toNativeSeparators(SigningKey::defaultPath()))
                                   .arg(last.seq);
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

VerifyResult Journal::verify(const QByteArray &anchorKey) const
{
    VerifyResult result;
    readChecked(&result, nullptr, anchorKey);
    return result;
}

void Journal::readChecked(VerifyResult *result, QVector<JournalRecord> *records, const QByteArray &anchorKey) const
{
    QByteArray data;
    QString error;
    if (!readAll(filePath, &data, &error)) {
        result->state = VerifyResult::State::Unreadable;
        result->error = error;
        return;
    }
    Anchor anchor;
    if (readHead(headPath(), &anchor.head, &error) == HeadRead::Refused) {
        result->state = VerifyResult::State::Unreadable;
        result->error = error;
        return;
    }
    QString notVerified;
    QString keyGone;
    loadAnchorKey(anchorKey, &anchor, &notVerified, &keyGone);
    *result = check(data, anchor, records);
    if (!keyGone.isEmpty() && (result->ok() || result->state == VerifyResult::State::TornLast)) {
        result->state = VerifyResult::State::NotVerified;
        result->error = keyGone;
    }
    if (!notVerified.isEmpty() && result->state != VerifyResult::State::Broken) {
        result->state = VerifyResult::State::NotVerified;
        result->error = notVerified;
    }
    // Past a break the chain says nothing, but the entries are still shown.
    if (records && result->state == VerifyResult::State::Broken)
        *records = wholeEntries(data);
}

QVector<JournalRecord> Journal::read(VerifyResult *verification, bool withBegun, const QByteArray &anchorKey) const
{
    QVector<JournalRecord> records;
    VerifyResult result;
    readChecked(&result, &records, anchorKey);
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
