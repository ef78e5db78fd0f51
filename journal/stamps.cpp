#include "stamps.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QHash>
#include <QSet>

namespace stamps {

namespace {

QByteArray digestOf(const QString &hash)
{
    return QByteArray::fromHex(hash.toLatin1());
}

QString utcText(const QDateTime &time)
{
    return time.toUTC().toString(Qt::ISODate);
}

} // namespace

QString stampEntry(const Journal &journal, const JournalRecord &ended, const TimestampSettings &settings,
                   JournalEntry::Interface via, int timeoutMs)
{
    const timestamp::Fetched fetched = timestamp::fetch(settings, digestOf(ended.hash), timeoutMs);
    if (fetched.token.isEmpty())
        return fetched.why;
    JournalEntry stamp;
    stamp.phase = JournalEntry::Phase::Timestamp;
    stamp.interface = via;
    stamp.stampedSequence = ended.sequence;
    stamp.stampedHash = ended.hash;
    stamp.stampToken = fetched.token;
    stamp.stampNonce = fetched.nonce;
    QString why;
    return journal.append(stamp, &why) ? QString() : why;
}

QVector<JournalRecord> pending(const QVector<JournalRecord> &records)
{
    QSet<QString> stamped;
    for (const JournalRecord &record : records)
        if (record.entry.phase == JournalEntry::Phase::Timestamp)
            stamped.insert(record.entry.stampedHash);
    QVector<JournalRecord> owed;
    for (const JournalRecord &record : records)
        if (record.entry.phase == JournalEntry::Phase::Ended && record.entry.stampAsked
            && !stamped.contains(record.hash))
            owed << record;
    return owed;
}

PendingRun stampPending(const Journal &journal, const TimestampSettings &settings, JournalEntry::Interface via,
                        int timeoutMs)
{
    PendingRun run;
    if (!settings.configured() || !timestamp::supported())
        return run;
    VerifyResult verification;
    const QVector<JournalRecord> owed = pending(journal.readEntries(&verification));
    QElapsedTimer clock;
    clock.start();
    for (const JournalRecord &record : owed) {
        const int left = int(timeoutMs - clock.elapsed());
        run.why = left > 0 ? stampEntry(journal, record, settings, via, left)
                           : QCoreApplication::translate("Stamps", "время на метки при запуске вышло");
        if (!run.why.isEmpty())
            break;
        ++run.stamped;
    }
    run.left = owed.size() - run.stamped;
    return run;
}

QString timeDisagreement(const QDateTime &authority, const QDateTime &entry, const QDateTime &recorded)
{
    if (!authority.isValid())
        return QCoreApplication::translate("Stamps", "время в метке не читается");
    if (entry.isValid() && authority.secsTo(entry) > timestamp::kToleranceSeconds)
        return QCoreApplication::translate("Stamps", "время записи %1 позже времени службы меток %2 больше чем на %3 с: часы станции шли вперед")
            .arg(utcText(entry), utcText(authority))
            .arg(timestamp::kToleranceSeconds);
    if (recorded.isValid() && recorded.secsTo(authority) > timestamp::kToleranceSeconds)
        return QCoreApplication::translate("Stamps", "время службы меток %1 позже времени, записанного после метки (%2), больше чем на %3 с: часы "
                  "станции были переведены назад")
            .arg(utcText(authority), utcText(recorded))
            .arg(timestamp::kToleranceSeconds);
    return QString();
}

Report check(const QVector<JournalRecord> &records, const timestamp::Verifier &verifier)
{
    Report report;
    QHash<qint64, const JournalRecord *> bySequence;
    for (const JournalRecord &record : records)
        if (record.entry.phase == JournalEntry::Phase::Ended)
            bySequence.insert(record.sequence, &record);
    QSet<qint64> held;
    for (const JournalRecord &record : records) {
        const JournalEntry &stamp = record.entry;
        if (stamp.phase != JournalEntry::Phase::Timestamp)
            continue;
        const JournalRecord *ended = bySequence.value(stamp.stampedSequence);
        if (!ended || ended->hash != stamp.stampedHash) {
            report.findings.append({record.line, record.sequence,
                                    QCoreApplication::translate("Stamps", "метка названа для записи %1, которой в журнале нет").arg(stamp.stampedSequence)});
            continue;
        }
        const timestamp::TokenCheck token = verifier.check(stamp.stampToken, digestOf(ended->hash), stamp.stampNonce);
        if (token.state == timestamp::TokenCheck::State::Fails) {
            report.findings.append({record.line, record.sequence,
                                    QCoreApplication::translate("Stamps", "метка записи %1: %2").arg(ended->sequence).arg(token.why)});
            continue;
        }
        if (token.state == timestamp::TokenCheck::State::NotVerified)
            report.notVerified = token.why;
        const QString disagrees = timeDisagreement(token.time, ended->entry.time, stamp.time);
        if (!disagrees.isEmpty())
            report.findings.append({ended->line, ended->sequence, disagrees, true});
        held.insert(ended->sequence);
    }
    for (const JournalRecord *ended : bySequence) {
        if (held.contains(ended->sequence))
            ++report.stamped;
        else if (ended->entry.stampAsked)
            ++report.pending;
        else
            ++report.unstamped;
    }
    return report;
}

QJsonObject certificateStamp(const QVector<JournalRecord> &records, const JournalRecord &ended)
{
    for (const JournalRecord &record : records) {
        const JournalEntry &stamp = record.entry;
        if (stamp.phase == JournalEntry::Phase::Timestamp && stamp.stampedHash == ended.hash)
            return {{"state", "stamped"},
                    {"token", QString::fromLatin1(stamp.stampToken.toBase64())},
                    {"nonce", QString::fromLatin1(stamp.stampNonce.toHex())},
                    {"authority_time", utcText(timestamp::tokenTime(stamp.stampToken))},
                    {"recorded", utcText(stamp.time)},
                    {"entry_seq", double(record.sequence)}};
    }
    if (ended.entry.stampAsked)
        return {{"state", "pending"}};
    return QJsonObject();
}

timestamp::TokenCheck checkCertificateStamp(const QJsonObject &body, const timestamp::Verifier &verifier, bool *clock)
{
    const QJsonObject stamp = body.value("timestamp").toObject();
    const QByteArray token = QByteArray::fromBase64(stamp.value("token").toString().toLatin1());
    const QByteArray nonce = QByteArray::fromHex(stamp.value("nonce").toString().toLatin1());
    const QString hash = body.value("journal").toObject().value("entry_sha256").toString();
    timestamp::TokenCheck result = verifier.check(token, digestOf(hash), nonce);
    if (result.state == timestamp::TokenCheck::State::Fails)
        return result;
    const QString disagrees = timeDisagreement(
        result.time, QDateTime::fromString(body.value("ended").toString(), Qt::ISODate),
        QDateTime::fromString(stamp.value("recorded").toString(), Qt::ISODate));
    if (clock)
        *clock = !disagrees.isEmpty();
    if (!disagrees.isEmpty()) {
        result.state = timestamp::TokenCheck::State::Fails;
        result.why = disagrees;
    }
    return result;
}

QStringList stampLines(const Report &report, const QString &file)
{
    QStringList lines;
    lines << QCoreApplication::translate("Stamps", "Метки времени: поставлено %1, ожидают %2, без метки %3.")
                 .arg(report.stamped)
                 .arg(report.pending)
                 .arg(report.unstamped);
    if (!report.notVerified.isEmpty())
        lines << QCoreApplication::translate("Stamps", "Метки не проверены: %1.").arg(report.notVerified);
    for (const Report::Finding &finding : report.findings)
        lines << QStringLiteral("%1:%2: %3").arg(QDir::toNativeSeparators(file)).arg(finding.line)
                     .arg((finding.clock ? QCoreApplication::translate("Stamps", "время записи %1 расходится со временем службы меток: ").arg(finding.seq)
                                         : QString())
                          + finding.why);
    return lines;
}

} // namespace stamps
