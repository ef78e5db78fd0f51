#include "journalcheck.h"

#include "entryformat.h"
#include "signing.h"

#include <QCoreApplication>
#include <QJsonDocument>

#include <algorithm>
#include <cstring>

namespace journalchain {

namespace {

// One line of the file; object is empty for a line that is not a JSON object.
struct Line {
    int number = 0;
    QByteArray bytes;
    QJsonObject object;
    bool whole = false;
};

Line parsed(const QByteArray &bytes, int number)
{
    Line line;
    line.number = number;
    line.bytes = bytes;
    QJsonParseError parsed;
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &parsed);
    line.whole = parsed.error == QJsonParseError::NoError && document.isObject();
    if (line.whole)
        line.object = document.object();
    return line;
}

qint64 seqOf(const QJsonObject &object)
{
    return qint64(object.value("seq").toDouble());
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

} // namespace

void LineSplitter::feed(const char *data, std::size_t length)
{
    fed = fed || length > 0;
    const char *const end = data + length;
    while (data < end) {
        const char *newline = static_cast<const char *>(std::memchr(data, '\n', std::size_t(end - data)));
        if (!newline) {
            pending.append(data, int(end - data));
            return;
        }
        pending.append(data, int(newline - data));
        sink(pending, ++number);
        pending.clear();
        data = newline + 1;
    }
}

void LineSplitter::finish()
{
    if (pending.isEmpty())
        return;
    sink(pending, ++number);
    pending.clear();
    unended = true;
}

// The journal read front to back, one line a step. Once the chain breaks the
// rest is only looked at, for what the break's description needs from later
// lines (is the missing entry further on, does the next one chain onto this).
class StreamCheck::Checker
{
public:
    Checker(const Anchor &anchor, RecordSink records)
        : anchor(anchor), records(std::move(records)), keyed(!anchor.publicKey.isEmpty())
    {
        result.signaturesChecked = keyed;
        result.keyFingerprint = SigningKey::fingerprint(anchor.publicKey);
    }

    void line(const QByteArray &bytes, int number)
    {
        lastNumber = number;
        const Line line = parsed(bytes, number);
        if (line.whole)
            answer(line);
        if (isBroken)
            return;
        if (tornAwaiting) {
            result.tornLines.append(tornAwaiting);
            tornAwaiting = 0;
        }
        if (!line.whole)
            torn(line);
        else if (tornVouchedFor(line))
            entry(line);
    }

    bool settled() const { return isBroken && !unsignedOpen && !changedOpen && !reorderOpen; }

    VerifyResult finish(bool empty, bool endsWithNewline)
    {
        // No signed entry came after the first unsigned one to vouch for it.
        if (unsignedOpen)
            unsignedBreak();
        if (isBroken) {
            if (changedOpen)
                result.line = previousNumber; // nothing follows to chain onto the edited line
            if (reorderOpen)
                result.kind = VerifyResult::Break::Missing;
            return result;
        }
        if (tornAwaiting) {
            result.state = VerifyResult::State::TornLast;
            result.line = tornAwaiting;
        }
        if (ended(empty, endsWithNewline) && endAgainstHead() && endAgainstKey())
            whatWasNotChecked();
        return result;
    }

private:
    bool broken(VerifyResult::Break kind, int line)
    {
        isBroken = true;
        result.state = VerifyResult::State::Broken;
        result.kind = kind;
        result.line = line;
        return false;
    }

    // What later lines tell about an earlier one.
    void answer(const Line &line)
    {
        if (unsignedOpen && line.object.value("sig").isString()) {
            unsignedOpen = false;
            if (!line.object.value("unsigned_before").isDouble())
                return unsignedBreak();
        }
        if (changedOpen) {
            changedOpen = false;
            if (line.object.value("prev").toString() != changedHash)
                result.line = changedLine;
        }
        if (reorderOpen && seqOf(line.object) == missing) {
            reorderOpen = false;
            result.kind = VerifyResult::Break::Reordered;
        }
    }

    // The first unsigned entry, with no signed one after it saying how many
    // came before the key: the break is there, whatever followed.
    void unsignedBreak()
    {
        unsignedOpen = changedOpen = reorderOpen = false;
        result.entries = entriesAtUnsigned;
        result.tornLines.resize(tornAtUnsigned);
        broken(VerifyResult::Break::Unsigned, unsignedLine);
    }

    void torn(const Line &line)
    {
        tornAwaiting = line.number;
        if (!tornPending)
            tornRegion = line.bytes;
        else
            tornRegion += '\n' + line.bytes;
        if (!tornPending)
            tornFrom = line.number;
        tornPending = true;
    }

    // An entry past an interrupted append names the torn bytes it skipped;
    // a line damaged afterwards has no entry that vouches for it.
    bool tornVouchedFor(const Line &line)
    {
        if (!tornPending)
            return true;
        tornPending = false;
        const QByteArray region = std::move(tornRegion);
        tornRegion = QByteArray();
        if (line.object.value("skipped_torn").toString() != lineHash(region))
            return broken(VerifyResult::Break::Damaged, tornFrom);
        return true;
    }

    bool entry(const Line &line)
    {
        const QString hash = lineHash(line.bytes);
        const qint64 seq = seqOf(line.object);
        if (!chained(line, hash, seq))
            return false;
        const QJsonValue sig = line.object.value("sig");
        if (!(sig.isString() ? signedHolds(line, sig.toString()) : unsignedAllowed(line, hash)))
            return false;
        if (records)
            records(recordOf(line.object, hash, line.number));
        if (anchor.head.present && seq == anchor.head.seq)
            headHashSeen = hash;
        if (anchor.keyLastChecked && seq == anchor.keyLast.seq)
            keyLastHashSeen = hash;
        followAttempt(line);
        ++result.entries;
        previousHash = hash;
        expected = seq + 1;
        previousNumber = line.number;
        return true;
    }

    bool chained(const Line &line, const QString &hash, qint64 seq)
    {
        const QJsonValue prev = line.object.value("prev");
        if (seq <= 0 || !prev.isString())
            return broken(VerifyResult::Break::Malformed, line.number);
        if (prev.toString() == previousHash)
            return seq == expected || broken(VerifyResult::Break::Changed, line.number);
        if (seq > expected) {
            // Reordered if the missing entry stands further on.
            reorderOpen = true;
            missing = expected;
            return broken(VerifyResult::Break::Missing, line.number);
        }
        if (seq < expected)
            return broken(VerifyResult::Break::Reordered, line.number);
        if (!previousNumber)
            return broken(VerifyResult::Break::Changed, line.number);
        // In order, so one of the two was edited: this one if the next
        // entry does not chain onto it either.
        changedOpen = true;
        changedHash = hash;
        changedLine = line.number;
        return broken(VerifyResult::Break::Changed, previousNumber);
    }

    // Unsigned: only before the first signed entry, and only as many as that
    // entry (signed) says came before the key.
    bool unsignedAllowed(const Line &line, const QString &hash)
    {
        if (signedSeen)
            return broken(VerifyResult::Break::Unsigned, line.number);
        if (keyed && !unsignedCount) {
            unsignedOpen = true;
            unsignedLine = line.number;
            entriesAtUnsigned = result.entries;
            tornAtUnsigned = result.tornLines.size();
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

    bool ended(bool empty, bool endsWithNewline)
    {
        result.lastSequence = expected - 1;
        // With a key at hand, unsigned entries no signed one vouches for are forgeries.
        if (keyed && !signedSeen && unsignedCount > 0)
            return broken(VerifyResult::Break::Unsigned, firstUnsignedLine);
        result.unsignedBeforeKey = keyed ? unsignedCount : 0;
        // A last entry without its newline: the append that wrote it was cut
        // short at the very end.
        if (result.state == VerifyResult::State::Intact && !empty && !endsWithNewline) {
            result.state = VerifyResult::State::TornLast;
            result.line = lastNumber;
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
            return broken(VerifyResult::Break::Cut, previousNumber + 1);
        if (head.seq > 0 && headHashSeen != head.hash)
            return broken(VerifyResult::Break::Cut, previousNumber ? previousNumber : 1);
        // The newer of the head's two copies did not hold: fine only where
        // its write was cut short, after the entry it was to name.
        if (head.newerLost && result.lastSequence <= head.seq)
            return broken(VerifyResult::Break::Cut, previousNumber + 1);
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
            return broken(VerifyResult::Break::KeyCut, previousNumber ? previousNumber : 1);
        result.state = VerifyResult::State::NotVerified;
        return false;
    }

    void whatWasNotChecked()
    {
        const Head &head = anchor.head;
        if (SigningKey::available() && (signedCount > 0 || unsignedCount > 0) && !keyed) {
            result.state = VerifyResult::State::NotVerified;
            result.error = QCoreApplication::translate("JournalCheck", "ключа подписи нет: подписи записей не проверены");
        } else if (!head.present && result.entries > 0) {
            result.state = VerifyResult::State::NotVerified;
            result.error = QCoreApplication::translate("JournalCheck", "головы журнала нет: его конец не охраняется");
        }
    }

    const Anchor &anchor;
    const RecordSink records;
    const bool keyed;
    VerifyResult result;
    bool isBroken = false;
    int lastNumber = 0;

    QString previousHash = Journal::genesisHash();
    qint64 expected = 1;
    int previousNumber = 0; // the last entry's line; 0: none yet
    bool signedSeen = false;
    int firstUnsignedLine = 1;
    int unsignedCount = 0;
    QString lastUnsignedHash;
    int signedCount = 0;
    QString headHashSeen;
    QString keyLastHashSeen;

    // Torn lines: the run not yet vouched for, and the last one, which is
    // the file's last line if nothing follows.
    bool tornPending = false;
    int tornFrom = 0;
    QByteArray tornRegion;
    int tornAwaiting = 0;

    // Questions only later lines answer.
    bool unsignedOpen = false;
    int unsignedLine = 0;
    int entriesAtUnsigned = 0;
    int tornAtUnsigned = 0;
    bool changedOpen = false;
    QString changedHash;
    int changedLine = 0;
    bool reorderOpen = false;
    qint64 missing = 0;
};

StreamCheck::StreamCheck(const Anchor &anchor, RecordSink records)
    : checker(std::make_unique<Checker>(anchor, std::move(records))),
      lines([this](const QByteArray &line, int number) { checker->line(line, number); })
{
}

StreamCheck::~StreamCheck() = default;

void StreamCheck::feed(const char *data, std::size_t length)
{
    lines.feed(data, length);
}

bool StreamCheck::settled() const
{
    return checker->settled();
}

VerifyResult StreamCheck::finish()
{
    lines.finish();
    return checker->finish(lines.empty(), lines.endsWithNewline());
}

VerifyResult check(const QByteArray &bytes, const Anchor &anchor, QVector<JournalRecord> *records)
{
    QVector<JournalRecord> held;
    StreamCheck::RecordSink sink;
    if (records)
        sink = [&held](const JournalRecord &record) { held.append(record); };
    StreamCheck stream(anchor, sink);
    stream.feed(bytes.constData(), std::size_t(bytes.size()));
    const VerifyResult result = stream.finish();
    if (records)
        *records += held.mid(0, result.entries);
    return result;
}

bool lineSignatureHolds(const QByteArray &line, const QByteArray &publicKey)
{
    const QJsonObject object = QJsonDocument::fromJson(line).object();
    const QString sig = object.value("sig").toString();
    return !sig.isEmpty()
        && SigningKey::verify(signedBytes(line, object, sig), QByteArray::fromBase64(sig.toLatin1()), publicKey);
}

LineSplitter wholeEntriesSplitter(QVector<JournalRecord> *records)
{
    return LineSplitter([records](const QByteArray &bytes, int number) {
        const Line line = parsed(bytes, number);
        if (line.whole)
            records->append(recordOf(line.object, line.bytes, line.number));
    });
}

QVector<JournalRecord> wholeEntries(const QByteArray &bytes)
{
    QVector<JournalRecord> records;
    LineSplitter lines = wholeEntriesSplitter(&records);
    lines.feed(bytes.constData(), std::size_t(bytes.size()));
    lines.finish();
    return records;
}

} // namespace journalchain
