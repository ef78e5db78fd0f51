#include "recordjson.h"

#include "wipejson.h"
#include "wipeschedule.h"

#include <QJsonDocument>

#include <cstdio>

namespace {

QJsonValue textOrNull(const QString &text)
{
    return text.isEmpty() ? QJsonValue() : QJsonValue(text);
}

// -1 (or 0 where a number starts at 1) is "not known" in the check's fields.
QJsonValue numberOrNull(qint64 value, qint64 unknown = -1)
{
    return value == unknown ? QJsonValue() : QJsonValue(double(value));
}

const char *stateWord(VerifyResult::State state)
{
    switch (state) {
    case VerifyResult::State::Intact:
        return "intact";
    case VerifyResult::State::TornLast:
        return "torn-last";
    case VerifyResult::State::Broken:
        return "broken";
    case VerifyResult::State::Unreadable:
        return "unreadable";
    case VerifyResult::State::NotVerified:
        break;
    }
    return "not-verified";
}

QJsonValue breakWord(VerifyResult::Break kind)
{
    switch (kind) {
    case VerifyResult::Break::Changed:
        return "changed";
    case VerifyResult::Break::Missing:
        return "missing";
    case VerifyResult::Break::Reordered:
        return "reordered";
    case VerifyResult::Break::Malformed:
        return "malformed";
    case VerifyResult::Break::Unsigned:
        return "unsigned";
    case VerifyResult::Break::Cut:
        return "cut";
    case VerifyResult::Break::Emptied:
        return "emptied";
    case VerifyResult::Break::Damaged:
        return "damaged";
    case VerifyResult::Break::HeadInvalid:
        return "head-invalid";
    case VerifyResult::Break::KeyCut:
        return "key-cut";
    case VerifyResult::Break::None:
        break;
    }
    return QJsonValue();
}

QJsonObject targetOf(const JournalEntry &e)
{
    if (e.targetKind == JournalEntry::TargetKind::File)
        return QJsonObject{{"target", "file"}, {"path", textOrNull(e.filePath)}, {"size", numberOrNull(e.size)}};
    return QJsonObject{
        {"target", "token"},
        {"token", QJsonObject{{"serial", textOrNull(e.tokenSerial)}, {"label", textOrNull(e.tokenLabel)},
                              {"model", textOrNull(e.tokenModel)}, {"maker", textOrNull(e.tokenMaker)}}},
        {"container", textOrNull(e.containerLabel)},
        {"size", numberOrNull(e.size)},
    };
}

QJsonValue algorithmId(int index)
{
    if (index < 0 || index > int(Schneier))
        return QJsonValue();
    return QLatin1String(wipeAlgorithmId(WipeAlgorithm(index)));
}

QJsonObject countsJson(const QMap<QString, int> &counts)
{
    QJsonObject object;
    for (auto i = counts.begin(); i != counts.end(); ++i)
        object.insert(i.key(), i.value());
    return object;
}

QJsonArray sortedJson(const QSet<QString> &values)
{
    QStringList list = values.values();
    list.sort();
    return QJsonArray::fromStringList(list);
}

} // namespace

QJsonObject verificationJson(const VerifyResult &v)
{
    const bool lined = v.state == VerifyResult::State::Broken || v.state == VerifyResult::State::TornLast;
    QJsonArray open;
    for (const JournalRecord &record : v.open)
        open.append(double(record.sequence));
    QJsonArray torn;
    for (int line : v.tornLines)
        torn.append(line);
    return QJsonObject{
        {"state", QLatin1String(stateWord(v.state))},
        {"break", v.state == VerifyResult::State::Broken ? breakWord(v.kind) : QJsonValue()},
        {"line", lined && v.line > 0 ? QJsonValue(v.line) : QJsonValue()},
        {"error", textOrNull(v.error)},
        {"entries", v.entries},
        {"last_seq", double(v.lastSequence)},
        {"head_seq", numberOrNull(v.headSequence)},
        {"key_fingerprint", textOrNull(v.keyFingerprint)},
        {"key_last_seq", numberOrNull(v.keyLastSequence)},
        {"signatures_checked", v.signaturesChecked},
        {"unsigned_before_key", v.unsignedBeforeKey},
        {"open", open},
        {"torn_lines", torn},
        {"no_file", v.noFile},
    };
}

QJsonArray attemptsJson(const QVector<JournalRecord> &records)
{
    QJsonArray attempts;
    for (const JournalRecord &record : records) {
        const JournalEntry &e = record.entry;
        const bool finished = e.phase == JournalEntry::Phase::Ended;
        QJsonObject attempt = targetOf(e);
        attempt.insert("seq", double(record.sequence));
        attempt.insert("time", textOrNull(record.localTimeText));
        attempt.insert("user", textOrNull(e.user));
        attempt.insert("host", textOrNull(e.host));
        attempt.insert("operator", textOrNull(e.operatorName));
        attempt.insert("algorithm", algorithmId(e.algorithmIndex));
        attempt.insert("algorithm_name", textOrNull(e.algorithmName));
        attempt.insert("passes_planned", e.passesPlanned);
        attempt.insert("passes_done", e.passesDone);
        attempt.insert("end_state", toWord(e.endState));
        attempt.insert("kind", toWord(kindOf(e.endState)));
        attempt.insert("finished", finished);
        attempt.insert("version", textOrNull(e.version));
        attempt.insert("hash", record.hash);
        attempts.append(attempt);
    }
    return attempts;
}

QJsonObject stampsJson(const stamps::Report &report)
{
    QJsonArray findings;
    for (const stamps::Report::Finding &finding : report.findings)
        findings.append(QJsonObject{{"line", finding.line}, {"seq", double(finding.seq)}, {"why", finding.why},
                                    {"clock", finding.clock}});
    return QJsonObject{
        {"stamped", report.stamped},
        {"pending", report.pending},
        {"unstamped", report.unstamped},
        {"not_verified", textOrNull(report.notVerified)},
        {"findings", findings},
    };
}

QJsonObject collectionJson(const CollectionReport &report)
{
    QJsonArray failures;
    for (const CollectionReport::Failure &failure : report.failures)
        failures.append(QJsonObject{{"file", failure.file}, {"line", failure.line > 0 ? QJsonValue(failure.line) : QJsonValue()},
                                    {"why", failure.why}});
    const bool events = report.eventFiles > 0;
    return QJsonObject{
        {"keys_pinned", report.keysPinned},
        {"journals", report.journals},
        {"certificates", report.certificates},
        {"entries", report.entries},
        {"hosts", sortedJson(report.hosts)},
        {"keys", sortedJson(report.keys)},
        {"wipes", countsJson(report.wipes)},
        {"cross_checked", report.crossChecked},
        {"without_entry", report.withoutEntry},
        {"stamps", QJsonObject{{"stamped", report.stamped}, {"pending", report.stampsPending},
                               {"unstamped", report.unstamped}, {"not_verified", textOrNull(report.stampsNotVerified)}}},
        // Only a collector's store of events has them.
        {"events", events ? QJsonValue(QJsonObject{
                                {"files", report.eventFiles},
                                {"events", report.events},
                                {"installations", report.installations},
                                {"entries", report.eventEntries},
                                {"wipes", countsJson(report.eventWipes)},
                                {"whole_hosts", QJsonArray::fromStringList(report.wholeHosts)},
                                {"hosts_with_findings", QJsonArray::fromStringList(report.hostsWithFindings)},
                            })
                          : QJsonValue()},
        {"failures", failures},
    };
}

void printDocument(const char *mode, const QJsonObject &payload, int exitStatus)
{
    QJsonObject document = payload;
    document.insert("format", QLatin1String(kResultFormat));
    document.insert("mode", QLatin1String(mode));
    document.insert("exit_status", exitStatus);
    const QByteArray text = QJsonDocument(document).toJson(QJsonDocument::Indented);
    std::fwrite(text.constData(), 1, std::size_t(text.size()), stdout);
    std::fflush(stdout);
}
