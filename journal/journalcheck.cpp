#include "journalcheck.h"

#include "entryformat.h"
#include "signing.h"

#include <QCoreApplication>
#include <QJsonDocument>

#include <algorithm>
#include <vector>

namespace journalchain {

namespace {

// One line of the file; object is empty for a line that is not a JSON object.
struct Line {
    int number = 0;
    QByteArray bytes;
    QJsonObject object;
    bool whole = false;
};

std::vector<Line> splitLines(const QByteArray &data)
{
    std::vector<Line> lines;
    int start = 0;
    int number = 1;
    while (start < data.size()) {
        int end = data.indexOf('\n', start);
        if (end < 0)
            end = data.size();
        Line line;
        line.number = number++;
        line.bytes = data.mid(start, end - start);
        QJsonParseError parsed;
        const QJsonDocument document = QJsonDocument::fromJson(line.bytes, &parsed);
        line.whole = parsed.error == QJsonParseError::NoError && document.isObject();
        if (line.whole)
            line.object = document.object();
        lines.push_back(std::move(line));
        start = end + 1;
    }
    return lines;
}

qint64 seqOf(const Line &line)
{
    return qint64(line.object.value("seq").toDouble());
}

// The bytes a signature covers: the line without its "sig" field. Cut out of
// the stored line where it stands once, as the writer inserted it; otherwise
// the object is written again without it.
QByteArray signedBytes(const QByteArray &line, const QJsonObject &object, const QString &sig)
{
    const QByteArray field = ",\"sig\":\"" + sig.toLatin1() + '"';
    const int at = line.indexOf(field);
    if (at > 0 && line.indexOf(field, at + 1) < 0) {
        QByteArray out = line;
        out.remove(at, field.size());
        return out;
    }
    QJsonObject unsignedObject = object;
    unsignedObject.remove("sig");
    return QJsonDocument(unsignedObject).toJson(QJsonDocument::Compact);
}

QString tornHash(const std::vector<Line> &lines, std::size_t first, std::size_t end)
{
    QByteArray region;
    for (std::size_t i = first; i < end; ++i)
        region += (i > first ? QByteArray("\n") : QByteArray()) + lines[i].bytes;
    return lineHash(region);
}

// The journal read front to back, one line a step. Each step returns false
// once the chain is broken, with the break in result.
class Checker
{
public:
    Checker(const QByteArray &data, const Anchor &anchor, QVector<JournalRecord> *records)
        : data(data), lines(splitLines(data)), anchor(anchor), records(records), keyed(!anchor.publicKey.isEmpty())
    {
        result.signaturesChecked = keyed;
        result.keyFingerprint = SigningKey::fingerprint(anchor.publicKey);
    }

    VerifyResult run()
    {
        for (std::size_t i = 0; i < lines.size(); ++i) {
            if (!lines[i].whole) {
                torn(i);
                continue;
            }
            if (!tornVouchedFor(i) || !entry(i))
                return result;
        }
        if (ended() && endAgainstHead() && endAgainstKey())
            whatWasNotChecked();
        return result;
    }

private:
    bool broken(VerifyResult::Break kind, int line)
    {
        result.state = VerifyResult::State::Broken;
        result.kind = kind;
        result.line = line;
        return false;
    }

    void torn(std::size_t i)
    {
        if (i + 1 == lines.size()) {
            result.state = VerifyResult::State::TornLast;
            result.line = lines[i].number;
        } else {
            result.tornLines.append(lines[i].number);
        }
        if (!tornPending)
            tornFrom = i;
        tornPending = true;
    }

    // An entry past an interrupted append names the torn bytes it skipped;
    // a line damaged afterwards has no entry that vouches for it.
    bool tornVouchedFor(std::size_t i)
    {
        if (!tornPending)
            return true;
        tornPending = false;
        if (lines[i].object.value("skipped_torn").toString() != tornHash(lines, tornFrom, i))
            return broken(VerifyResult::Break::Damaged, lines[tornFrom].number);
        return true;
    }

    bool entry(std::size_t i)
    {
        const Line &line = lines[i];
        const QString hash = lineHash(line.bytes);
        const qint64 seq = seqOf(line);
        if (!chained(i, hash, seq))
            return false;
        const QJsonValue sig = line.object.value("sig");
        if (!(sig.isString() ? signedHolds(line, sig.toString()) : unsignedAllowed(i, hash)))
            return false;
        if (records)
            records->append(recordOf(line.object, line.bytes, line.number));
        if (anchor.head.present && seq == anchor.head.seq)
            headHashSeen = hash;
        if (anchor.keyLastChecked && seq == anchor.keyLast.seq)
            keyLastHashSeen = hash;
        followAttempt(line);
        ++result.entries;
        previousHash = hash;
        expected = seq + 1;
        previous = &line;
        return true;
    }

    bool chained(std::size_t i, const QString &hash, qint64 seq)
    {
        const Line &line = lines[i];
        const QJsonValue prev = line.object.value("prev");
        if (seq <= 0 || !prev.isString())
            return broken(VerifyResult::Break::Malformed, line.number);
        if (prev.toString() == previousHash)
            return seq == expected || broken(VerifyResult::Break::Changed, line.number);
        const auto after = lines.begin() + long(i) + 1;
        if (seq > expected) {
            const qint64 missing = expected;
            const bool later = std::any_of(after, lines.end(), [missing](const Line &l) {
                return l.whole && seqOf(l) == missing;
            });
            return broken(later ? VerifyResult::Break::Reordered : VerifyResult::Break::Missing, line.number);
        }
        if (seq < expected)
            return broken(VerifyResult::Break::Reordered, line.number);
        // In order, so one of the two was edited: this one if the next
        // entry does not chain onto it either.
        const auto next = std::find_if(after, lines.end(), [](const Line &l) { return l.whole; });
        const bool thisOne = !previous || (next != lines.end() && next->object.value("prev").toString() != hash);
        return broken(VerifyResult::Break::Changed, thisOne ? line.number : previous->number);
    }

    // Unsigned: only before the first signed entry, and only as many as that
    // entry (signed) says came before the key.
    bool unsignedAllowed(std::size_t i, const QString &hash)
    {
        const Line &line = lines[i];
        if (signedSeen)
            return broken(VerifyResult::Break::Unsigned, line.number);
        if (keyed && !unsignedCount) {
            const auto firstSigned = std::find_if(lines.begin() + long(i) + 1, lines.end(), [](const Line &l) {
                return l.whole && l.object.value("sig").isString();
            });
            if (firstSigned == lines.end() || !firstSigned->object.value("unsigned_before").isDouble())
                return broken(VerifyResult::Break::Unsigned, line.number);
        }
        if (!unsignedCount)
            firstUnsignedLine = line.number;
        ++unsignedCount;
        lastUnsignedHash = hash;
        return true;
    }

    bool signedHolds(const Line &line, const QString &sig)
    {
        if (!signedSeen && keyed && unsignedCount > 0) {
            const QJsonValue before = line.object.value("unsigned_before");
            const bool proven = before.isDouble() && qint64(before.toDouble()) == unsignedCount
                && (anchor.keyEntriesBefore < 0
                    || (anchor.keyEntriesBefore == unsignedCount && anchor.keyHashBefore == lastUnsignedHash));
            if (!proven)
                return broken(VerifyResult::Break::Unsigned, firstUnsignedLine);
        }
        signedSeen = true;
        ++signedCount;
        if (keyed && !SigningKey::verify(signedBytes(line.bytes, line.object, sig),
                                         QByteArray::fromBase64(sig.toLatin1()), anchor.publicKey))
            return broken(VerifyResult::Break::Changed, line.number);
        return true;
    }

    bool ended()
    {
        result.lastSequence = expected - 1;
        // With a key at hand, unsigned entries no signed one vouches for are forgeries.
        if (keyed && !signedSeen && unsignedCount > 0)
            return broken(VerifyResult::Break::Unsigned, firstUnsignedLine);
        result.unsignedBeforeKey = keyed ? unsignedCount : 0;
        // A last entry without its newline: the append that wrote it was cut
        // short at the very end.
        if (result.state == VerifyResult::State::Intact && !data.isEmpty() && !data.endsWith('\n')) {
            result.state = VerifyResult::State::TornLast;
            result.line = lines.back().number;
        }
        return true;
    }

    // The end, against the head kept outside the file.
    bool endAgainstHead()
    {
        const Head &head = anchor.head;
        if (!head.present)
            return true;
        result.headSequence = head.seq;
        if (keyed && !headSignatureHolds(head, anchor.publicKey))
            return broken(VerifyResult::Break::HeadInvalid, 0);
        if (head.seq > 0 && result.entries == 0)
            return broken(VerifyResult::Break::Emptied, 0);
        if (head.seq > result.lastSequence)
            return broken(VerifyResult::Break::Cut, previous ? previous->number + 1 : 1);
        if (head.seq > 0 && headHashSeen != head.hash)
            return broken(VerifyResult::Break::Cut, previous ? previous->number : 1);
        return true;
    }

    // Only what an attempt left open is kept: its begun entry.
    void followAttempt(const Line &line)
    {
        const QString attempt = line.object.value("attempt").toString();
        if (attempt.isEmpty())
            return;
        const auto at = std::find_if(result.open.begin(), result.open.end(),
                                     [&](const JournalRecord &r) { return r.entry.attempt == attempt; });
        switch (phaseFromWord(line.object.value("phase").toString())) {
        case JournalEntry::Phase::Begun:
            if (at == result.open.end())
                result.open.append(recordOf(line.object, line.bytes, line.number));
            break;
        case JournalEntry::Phase::Progress:
            if (at != result.open.end())
                at->entry.passesDone = std::max(at->entry.passesDone,
                                                line.object.value("passes").toObject().value("done").toInt());
            break;
        case JournalEntry::Phase::Ended:
            if (at != result.open.end())
                result.open.erase(at);
            break;
        case JournalEntry::Phase::Timestamp: // belongs to no attempt
            break;
        }
    }

    // The end, against what the key records it signed last: kept beside the
    // key, so deleting the journal and its head does not reach it.
    bool endAgainstKey()
    {
        if (!anchor.keyLastChecked)
            return true;
        bool cut = false;
        const QString refusal = keyLastRefusal(anchor.keyLast, anchor.keyKeepsLast, anchor.head.present,
                                               result.lastSequence, keyLastHashSeen, &cut);
        if (anchor.keyLast.holds)
            result.keyLastSequence = anchor.keyLast.seq;
        if (refusal.isEmpty())
            return true;
        result.error = refusal;
        if (cut)
            return broken(VerifyResult::Break::KeyCut, previous ? previous->number : 1);
        result.state = VerifyResult::State::NotVerified;
        return false;
    }

    void whatWasNotChecked()
    {
        const Head &head = anchor.head;
        if (SigningKey::available() && (signedCount > 0 || unsignedCount > 0) && !keyed) {
            result.state = VerifyResult::State::NotVerified;
            result.error = QCoreApplication::translate("Journal", "ключа подписи нет: подписи записей не проверены");
        } else if (!head.present && result.entries > 0) {
            result.state = VerifyResult::State::NotVerified;
            result.error = QCoreApplication::translate("Journal", "головы журнала нет: его конец не охраняется");
        }
    }

    const QByteArray &data;
    const std::vector<Line> lines;
    const Anchor &anchor;
    QVector<JournalRecord> *records;
    const bool keyed;
    VerifyResult result;

    QString previousHash = Journal::genesisHash();
    qint64 expected = 1;
    const Line *previous = nullptr;
    bool signedSeen = false;
    int firstUnsignedLine = 1;
    int unsignedCount = 0;
    QString lastUnsignedHash;
    int signedCount = 0;
    std::size_t tornFrom = 0;
    bool tornPending = false;
    QString headHashSeen;
    QString keyLastHashSeen;
};

} // namespace

VerifyResult check(const QByteArray &bytes, const Anchor &anchor, QVector<JournalRecord> *records)
{
    return Checker(bytes, anchor, records).run();
}

bool lineSignatureHolds(const QByteArray &line, const QByteArray &publicKey)
{
    const QJsonObject object = QJsonDocument::fromJson(line).object();
    const QString sig = object.value("sig").toString();
    return !sig.isEmpty()
        && SigningKey::verify(signedBytes(line, object, sig), QByteArray::fromBase64(sig.toLatin1()), publicKey);
}

QVector<JournalRecord> wholeEntries(const QByteArray &bytes)
{
    QVector<JournalRecord> records;
    for (const Line &line : splitLines(bytes))
        if (line.whole)
            records.append(recordOf(line.object, line.bytes, line.number));
    return records;
}

} // namespace journalchain
