#include "journalevents.h"

#include "entryformat.h"
#include "signing.h"
#include "systemlog.h"
#include "timestamp.h"

#include <iterator>

namespace {

// The system log's message id and level of an entry.
struct EventKind {
    const char *messageId;
    bool warning;
};

EventKind eventOf(const JournalEntry &e)
{
    if (e.phase == JournalEntry::Phase::Progress)
        return {"2c5e8f1a3b7d4c9e8a0f1b2c3d4e5f60", false};
    if (e.phase == JournalEntry::Phase::Timestamp)
        return {"7b41d0c6e2a94f18b3c5d7e9f0a1b2c4", false};
    const EndStateKind kind = e.phase == JournalEntry::Phase::Begun ? EndStateKind::Begun : kindOf(e.endState);
    return {messageIdOf(kind), isWarning(kind)};
}

bool systemLogOff()
{
    return !qEnvironmentVariableIsEmpty("KCC_JOURNAL_NO_SYSLOG");
}

QString quoted(const QString &text)
{
    QString out = text;
    for (QChar &c : out) {
        if (c.unicode() < 0x20 || c == QLatin1Char('"'))
            c = QLatin1Char(c == QLatin1Char('"') ? '\'' : ' ');
    }
    return QLatin1Char('"') + out + QLatin1Char('"');
}

journalfile::LogFields logFields(const JournalRecord &record, bool written, const QString &why)
{
    const JournalEntry &e = record.entry;
    const QString target = e.targetKind == JournalEntry::TargetKind::File
        ? e.filePath
        : QStringLiteral("%1 (%2, S/N %3)").arg(e.tokenLabel, e.tokenModel, e.tokenSerial);
    journalfile::LogFields fields{
        {"KCC_SEQ", std::to_string(record.sequence)},
        {"KCC_ENTRY_SHA256", record.hash.toStdString()},
        {"KCC_PHASE", phaseWord(e.phase).toStdString()},
        {"KCC_STATE", toWord(e.endState).toStdString()},
        {"KCC_TARGET", target.toStdString()},
        {"KCC_ALGORITHM", e.algorithmName.toStdString()},
        {"KCC_ATTEMPT", e.attempt.toStdString()},
    };
    if (e.placement != PlacementWord::None)
        fields.push_back({"KCC_PLACEMENT", toWord(e.placement).toStdString()});
    if (e.survivors >= 0)
        fields.push_back({"KCC_KEY_BLOCKS_FOUND", std::to_string(e.survivors)});
    fields.push_back({"KCC_JOURNAL_WRITTEN", written ? "1" : "0"});
    if (!written)
        fields.push_back({"KCC_JOURNAL_ERROR", why.toStdString()});
    return fields;
}

} // namespace

void logAppend(const JournalRecord &record, bool written, const QString &why, const QString &journalPath,
               const QByteArray &publicKey, const journalchain::Head &head, const QByteArray &line, bool *dropped)
{
    if (systemLogOff())
        return;
    journalfile::LogFields fields = logFields(record, written, why);
    fields.push_back({"KCC_KEY_SHA256", SigningKey::fingerprint(publicKey).toStdString()});
    if (written) {
        fields.push_back({"KCC_HEAD_SEQ", std::to_string(head.seq)});
        fields.push_back({"KCC_HEAD_SHA256", head.hash.toStdString()});
        fields.push_back({"KCC_HEAD_SIG", head.signature.toStdString()});
        fields.push_back({"KCC_HEAD", head.stored.toStdString()});
        fields.push_back({"KCC_ENTRY", line.toStdString()});
    }
    QString text = Journal::systemLogLine(record);
    if (!written)
        text += QStringLiteral(" NOT WRITTEN to %1: %2").arg(journalPath, why);
    const EventKind event = eventOf(record.entry);
    const std::string message = text.toStdString();
    const bool sent = journalfile::writeSystemLog(message, event.warning || !written, event.messageId, fields,
                                                  syslogEventLine(message, fields));
    if (dropped)
        *dropped = !sent;
}

std::string syslogEventLine(const std::string &text, const journalfile::LogFields &fields)
{
    std::string key, head, entry;
    for (const auto &field : fields) {
        if (field.first == "KCC_KEY_SHA256")
            key = field.second;
        else if (field.first == "KCC_HEAD")
            head = field.second;
        else if (field.first == "KCC_ENTRY")
            entry = field.second;
    }
    if (entry.empty())
        return text;
    const std::string carried = " KCC_KEY_SHA256=" + key + " KCC_HEAD=" + head;
    if (text.size() + carried.size() + entry.size() + 11 > kSyslogLineLimit)
        return text + carried + " KCC_ENTRY_OMITTED=" + std::to_string(entry.size());
    return text + carried + " KCC_ENTRY=" + entry;
}

void Journal::reportWithoutRecord(const JournalEntry &begun, const QString &why)
{
    if (systemLogOff())
        return;
    JournalRecord record;
    record.entry = begun;
    journalfile::writeSystemLog(
        QStringLiteral("wipe goes on WITHOUT A JOURNAL RECORD, as the officer chose: %1; %2").arg(why, systemLogLine(record)).toStdString(),
        true, "e41b7a2c9d3f4e5a8b6c0d1e2f3a4b5c", logFields(record, false, why));
}

QString Journal::systemLogLine(const JournalRecord &record)
{
    const JournalEntry &e = record.entry;
    if (e.phase == JournalEntry::Phase::Timestamp)
        return QStringLiteral("timestamp entry %1 sha256 %2: stamps entry %3 sha256 %4, authority time %5")
            .arg(record.sequence)
            .arg(record.hash)
            .arg(e.stampedSequence)
            .arg(e.stampedHash, timestamp::tokenTime(e.stampToken).toString(Qt::ISODate));
    const QString target = e.targetKind == JournalEntry::TargetKind::File
        ? QStringLiteral("file %1 file_system %2 placement %3 verification %4 survivors %5 fill %6")
              .arg(quoted(e.filePath), quoted(e.fileSystem), quoted(toWord(e.placement)),
                   quoted(toWord(e.verification)), QString::number(e.survivors), quoted(toWord(e.fill)))
        : QStringLiteral("token %1 model %2 serial %3 container %4")
              .arg(quoted(e.tokenLabel), quoted(e.tokenModel), quoted(e.tokenSerial), quoted(e.containerLabel));
    return QStringLiteral("destruction entry %1 sha256 %2: state=%3 algorithm=%4 (%5) passes=%6/%7 %8 size=%9 "
                          "user=%10 host=%11 interface=%12 version=%13")
        .arg(record.sequence)
        .arg(record.hash, quoted(toWord(e.endState)), quoted(e.algorithmName))
        .arg(e.algorithmIndex)
        .arg(e.passesDone)
        .arg(e.passesPlanned)
        .arg(target)
        .arg(e.size)
        .arg(quoted(e.user), quoted(e.host), interfaceWord(e.interface), e.version);
}
