#include "journal.h"

#include "entryformat.h"
#include "journalevents.h"
#include "journalhead.h"
#include "kcc_version.h"
#include "keylast.h"
#include "signing.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>
#include <QSysInfo>

#include <algorithm>
#include <memory>

using namespace journalchain;

namespace {

JournalEntry stamped(JournalEntry entry)
{
    if (!entry.time.isValid())
        entry.time = QDateTime::currentDateTime();
    if (entry.user.isEmpty())
        entry.user = QString::fromStdString(journalfile::currentUserUtf8());
    if (entry.host.isEmpty())
        entry.host = QSysInfo::machineHostName();
    if (entry.version.isEmpty())
        entry.version = QStringLiteral(KCC_VERSION);
    return entry;
}

// One append under the journal's exclusive lock: the file's end and its head
// read, the line chained onto the end, signed, forced to the medium, and the
// head rewritten. Each step returns false with why.
class Append
{
public:
    Append(const QString &path, const QString &headPath) : path(path), headPath(headPath) {}

    bool lockedAtEnd()
    {
        if (!QDir().mkpath(QFileInfo(path).absolutePath())) {
            why = QStringLiteral("cannot create the directory");
            return false;
        }
        // A journal gone while its key has signed is not even made again.
        if (!QFileInfo::exists(path) && !loadKey() && !keyMayGoOn())
            return false;
        std::string reason;
        if (!file->open(nativePath(path), journalfile::LockedFile::Mode::Append, &reason) || !file->size(&size, &reason)) {
            why = QString::fromStdString(reason);
            return false;
        }
        // Under the lock: another append may have made the key meanwhile.
        if (loadKey())
            return false;
        return headAtEnd(*file, size, headPath, key.publicKey(), &head, &tail, &why) && keyMayGoOn();
    }

    bool isOpen(const QString &attempt) const
    {
        return std::any_of(head.open.begin(), head.open.end(), [&](const OpenAttempt &a) { return a.attempt == attempt; });
    }

    bool write(const JournalEntry &entry, JournalRecord *record)
    {
        QJsonObject object = entryToJson(entry);
        object.insert("seq", double(tail.seq + 1));
        object.insert("prev", tail.hash);
        if (tail.torn)
            object.insert("skipped_torn", lineHash(tail.tornBytes));
        if (SigningKey::available() && !sign(object))
            return false;
        json = QJsonDocument(object).toJson(QJsonDocument::Compact);
        // A torn line stays as it is; the new entry starts on a line of its own.
        const QByteArray separator = tail.endsWithNewline ? QByteArray() : QByteArray("\n");
        const QByteArray line = separator + json + '\n';
        record->sequence = tail.seq + 1;
        record->hash = lineHash(json);
        std::string reason;
        if (!file->appendSynced(line.constData(), std::size_t(line.size()), &reason)) {
            why = QString::fromStdString(reason);
            return false;
        }
        applyToOpen(head.open, object, record->sequence, size + separator.size(), json.size());
        head.present = true;
        head.seq = record->sequence;
        head.hash = record->hash;
        head.size = size + line.size();
        // The entry is on the medium; a head not rewritten is caught up next time.
        writeHead(headPath, head, key, &reason);
        writeKeyLast(key, head.seq, head.hash);
        return true;
    }

    // Lets the next append in before the system log hears of this one.
    void unlock() { file.reset(); }

    Head head;
    SigningKey key;
    QString why;
    QByteArray json; // the entry as stored: the system log carries it

private:
    // Signed over the line without its signature: whoever rewrites the file
    // needs the installation's key as well. A key that cannot be read stops
    // the append; one is made only where the journal has no signed entry
    // yet, recording what precedes it.
    bool sign(QJsonObject &object)
    {
        QString keyError;
        if (loaded == SigningKey::Load::Missing) {
            if (tail.isSigned) {
                why = QCoreApplication::translate("JournalAppend", "ключа подписи %1 нет, а записи журнала подписаны")
                          .arg(QDir::toNativeSeparators(SigningKey::defaultPath()));
                return false;
            }
            if (!key.create(tail.seq, tail.hash, &keyError)) {
                why = keyError;
                return false;
            }
        }
        if (!SigningKey::trusted(key.publicKey(), &keyError)) {
            why = keyError;
            return false;
        }
        if (!tail.isSigned)
            object.insert("unsigned_before", double(tail.seq));
        object.insert("sig", QString::fromLatin1(key.sign(QJsonDocument(object).toJson(QJsonDocument::Compact)).toBase64()));
        return true;
    }

    // true where the key cannot be read.
    bool loadKey()
    {
        if (SigningKey::available())
            loaded = key.load(&why);
        return loaded == SigningKey::Load::Refused;
    }

    // Once the key has signed, a journal without its end (deleted, emptied,
    // cut, or its head gone) is never appended to: a new chain would hide it.
    bool keyMayGoOn()
    {
        const KeyLast last = readKeyLast(key.publicKey());
        QString refusal;
        if (loaded == SigningKey::Load::Missing && last.present && last.seq > 0)
            refusal = QCoreApplication::translate("JournalAppend", "ключа подписи %1 нет, а рядом с ним записано, что он "
                                                  "подписал записи по номер %2")
                          .arg(QDir::toNativeSeparators(SigningKey::defaultPath()))
                          .arg(last.seq);
        else if (loaded == SigningKey::Load::Loaded)
            refusal = keyLastRefusal(last, key.keepsLast(), head.present, tail.seq,
                                     tail.seq == last.seq ? tail.hash : QString());
        if (refusal.isEmpty())
            return true;
        why = refusal + QCoreApplication::translate("JournalAppend", ". Новый журнал начинается, только если убрать в сторону "
                                                    "ключ и его файл .last вместе с журналом и его головой");
        return false;
    }

    const QString path;
    const QString headPath;
    std::unique_ptr<journalfile::LockedFile> file = std::make_unique<journalfile::LockedFile>();
    std::int64_t size = 0;
    SigningKey::Load loaded = SigningKey::Load::Missing;
    Tail tail;
};

} // namespace

bool Journal::append(JournalEntry entry, QString *error, bool *systemLogDropped, JournalRecord *stored) const
{
    bool unused = false;
    return appendEntry(std::move(entry), false, &unused, error, systemLogDropped, stored);
}

bool Journal::closeAttempt(JournalEntry ending, bool *alreadyClosed, QString *error) const
{
    return appendEntry(std::move(ending), true, alreadyClosed, error, nullptr);
}

bool Journal::appendEntry(JournalEntry entry, bool onlyIfOpen, bool *alreadyClosed, QString *error,
                          bool *systemLogDropped, JournalRecord *stored) const
{
    JournalRecord record;
    record.entry = stamped(std::move(entry));
    Append append(filePath, headPath());
    bool written = append.lockedAtEnd();
    *alreadyClosed = written && onlyIfOpen && !append.isOpen(record.entry.attempt);
    if (*alreadyClosed)
        return false;
    written = written && append.write(record.entry, &record);
    append.unlock();
    if (!written && error)
        *error = QCoreApplication::translate("JournalAppend", "Запись в журнал %1 не сделана: %2")
                     .arg(QDir::toNativeSeparators(filePath), append.why);
    // The system log hears of every event, written or not.
    logAppend(record, written, append.why, filePath, append.key.publicKey(), append.head, append.json,
              systemLogDropped);
    if (written && stored)
        *stored = record;
    return written;
}
