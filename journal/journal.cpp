#include "journal.h"

#include "entryfields.h"
#include "journalfile.h"
#include "signing.h"
#include "kcc_version.h"
#include "systemlog.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>
#include <QSet>
#include <QSysInfo>

#include <algorithm>
#include <iterator>
#include <vector>

namespace {

journalfile::NativePath nativePath(const QString &path)
{
#ifdef _WIN32
    return QDir::toNativeSeparators(path).toStdWString();
#else
    return QFile::encodeName(path).toStdString();
#endif
}

QString lineHash(const QByteArray &line)
{
    return QString::fromLatin1(QCryptographicHash::hash(line, QCryptographicHash::Sha256).toHex());
}

QJsonValue sizeValue(qint64 size)
{
    return size < 0 ? QJsonValue() : QJsonValue(double(size));
}

QJsonObject toJson(const JournalEntry &e)
{
    QJsonObject target;
    if (e.targetKind == JournalEntry::TargetKind::File) {
        target = {{"kind", "file"}, {"path", e.filePath}, {"size", sizeValue(e.size)}};
        if (e.placement != PlacementWord::None)
            target.insert("medium", QJsonObject{{"file_system", e.fileSystem},
                                                {"device", e.device},
                                                {"placement", toWord(e.placement)},
                                                {"verification", toWord(e.verification)}});
        if (e.survivors >= 0 || e.fill != FillWord::None)
            target.insert("volume", QJsonObject{{"device", e.volumeDevice},
                                                {"bytes_read", sizeValue(e.volumeBytesRead)},
                                                {"ms", sizeValue(e.volumeMs)},
                                                {"survivors", e.survivors},
                                                {"fill", toWord(e.fill)},
                                                {"fill_bytes", sizeValue(e.fillBytes)}});
    } else {
        target = {{"kind", "token"},
                  {"token_label", e.tokenLabel},
                  {"token_model", e.tokenModel},
                  {"token_serial", e.tokenSerial},
                  {"container_label", e.containerLabel},
                  {"container_size", sizeValue(e.size)}};
    }
    if (e.fileDevice || e.fileIndex)
        target.insert("identity", QJsonObject{{"device", QString::number(e.fileDevice)},
                                              {"index", QString::number(e.fileIndex)}});
    const QDateTime local = e.time.toLocalTime();
    QJsonObject object{
        {"time_local", local.toOffsetFromUtc(local.offsetFromUtc()).toString(Qt::ISODate)},
        {"time_utc", e.time.toUTC().toString(Qt::ISODate)},
        {"user", e.user},
        {"host", e.host},
        {"version", e.version},
        {"interface", e.interface == JournalEntry::Interface::Window ? "window" : "command-line"},
        {"target", target},
        {"algorithm", QJsonObject{{"name", e.algorithmName}, {"index", e.algorithmIndex}}},
        {"passes", QJsonObject{{"planned", e.passesPlanned}, {"done", e.passesDone}}},
        {"result", QJsonObject{{"text", e.resultText}, {"informative", e.resultInformative}, {"state", toWord(e.endState)}}},
    };
    if (!e.attempt.isEmpty())
        object.insert("attempt", e.attempt);
    if (e.started.isValid())
        object.insert("time_started_utc", e.started.toUTC().toString(Qt::ISODate));
    if (e.phase == JournalEntry::Phase::Begun) {
        object.insert("phase", "begun");
        object.insert("process", QJsonObject{{"pid", double(e.pid)},
                                             {"boot", e.boot},
                                             {"started", QString::number(e.processStarted)},
                                             {"host_id", e.hostId}});
    } else if (e.phase == JournalEntry::Phase::Progress) {
        object.insert("phase", "progress");
    }
    insertCertificateFields(e, object);
    return object;
}

JournalEntry fromJson(const QJsonObject &o)
{
    JournalEntry e;
    e.time = QDateTime::fromString(o.value("time_utc").toString(), Qt::ISODate);
    e.user = o.value("user").toString();
    e.host = o.value("host").toString();
    e.version = o.value("version").toString();
    e.interface = o.value("interface").toString() == QLatin1String("command-line")
        ? JournalEntry::Interface::CommandLine : JournalEntry::Interface::Window;
    const QJsonObject target = o.value("target").toObject();
    if (target.value("kind").toString() == QLatin1String("token")) {
        e.targetKind = JournalEntry::TargetKind::Token;
        e.tokenLabel = target.value("token_label").toString();
        e.tokenModel = target.value("token_model").toString();
        e.tokenSerial = target.value("token_serial").toString();
        e.containerLabel = target.value("container_label").toString();
        e.size = qint64(target.value("container_size").toDouble(-1));
    } else {
        e.filePath = target.value("path").toString();
        e.size = qint64(target.value("size").toDouble(-1));
        const QJsonObject medium = target.value("medium").toObject();
        e.fileSystem = medium.value("file_system").toString();
        e.device = medium.value("device").toString();
        e.placement = placementFromWord(medium.value("placement").toString());
        e.verification = verificationFromWord(medium.value("verification").toString());
        const QJsonObject volume = target.value("volume").toObject();
        e.volumeDevice = volume.value("device").toString();
        e.volumeBytesRead = qint64(volume.value("bytes_read").toDouble(-1));
        e.volumeMs = qint64(volume.value("ms").toDouble(-1));
        e.survivors = volume.value("survivors").toInt(-1);
        e.fill = fillFromWord(volume.value("fill").toString());
        e.fillBytes = qint64(volume.value("fill_bytes").toDouble(-1));
    }
    const QJsonObject identity = target.value("identity").toObject();
    e.fileDevice = identity.value("device").toString().toULongLong();
    e.fileIndex = identity.value("index").toString().toULongLong();
    e.attempt = o.value("attempt").toString();
    if (o.contains("time_started_utc"))
        e.started = QDateTime::fromString(o.value("time_started_utc").toString(), Qt::ISODate);
    if (o.value("phase").toString() == QLatin1String("begun")) {
        e.phase = JournalEntry::Phase::Begun;
        const QJsonObject process = o.value("process").toObject();
        e.pid = qint64(process.value("pid").toDouble());
        e.boot = process.value("boot").toString();
        e.processStarted = process.value("started").toString().toLongLong();
        e.hostId = process.value("host_id").toString();
    } else if (o.value("phase").toString() == QLatin1String("progress")) {
        e.phase = JournalEntry::Phase::Progress;
    }
    const QJsonObject algorithm = o.value("algorithm").toObject();
    e.algorithmName = algorithm.value("name").toString();
    e.algorithmIndex = algorithm.value("index").toInt(-1);
    const QJsonObject passes = o.value("passes").toObject();
    e.passesPlanned = passes.value("planned").toInt();
    e.passesDone = passes.value("done").toInt();
    const QJsonObject result = o.value("result").toObject();
    e.resultText = result.value("text").toString();
    e.resultInformative = result.value("informative").toString();
    e.endState = endStateFromWord(result.value("state").toString());
    readCertificateFields(o, e);
    return e;
}

// One line of the file; object is empty for a line that is not a JSON object.
struct Line {
    int number = 0;
    QByteArray bytes;
    QJsonObject object;
    bool whole = false;
};

std::vector<Line> splitLines(const QByteArray &data, int firstNumber)
{
    std::vector<Line> lines;
    int start = 0;
    int number = firstNumber;
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

// An attempt begun and not yet ended, where its begun entry stands.
struct OpenAttempt {
    QString attempt;
    qint64 seq = 0;
    qint64 offset = 0;
    qint64 length = 0;
    int passes = 0; // passes recorded as on the medium
};

// The journal's end as the last append left it, signed: kept outside the
// file, so a cut or emptied journal is told from one that never grew.
struct Head {
    bool present = false;
    qint64 seq = 0;
    QString hash = Journal::genesisHash();
    qint64 size = 0;
    QVector<OpenAttempt> open;
    QString signature; // base64; empty when written without a key
    QByteArray stored; // the file's bytes

    QJsonObject body() const
    {
        QJsonArray attempts;
        for (const OpenAttempt &a : open)
            attempts.append(QJsonObject{{"attempt", a.attempt},
                                        {"seq", double(a.seq)},
                                        {"offset", double(a.offset)},
                                        {"length", double(a.length)},
                                        {"passes", a.passes}});
        return QJsonObject{{"seq", double(seq)}, {"sha256", hash}, {"size", double(size)}, {"open", attempts}};
    }
    QByteArray message() const { return QJsonDocument(body()).toJson(QJsonDocument::Compact); }
};

enum class HeadRead { Missing, Read, Refused };

HeadRead readHead(const QString &path, Head *head, QString *error)
{
    std::string data;
    std::string reason;
    switch (journalfile::readOwnedFile(nativePath(path), &data, &reason)) {
    case journalfile::ReadOutcome::Missing:
        return HeadRead::Missing;
    case journalfile::ReadOutcome::Refused:
        *error = QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(path), QString::fromStdString(reason));
        return HeadRead::Refused;
    case journalfile::ReadOutcome::Read:
        break;
    }
    const QJsonObject o = QJsonDocument::fromJson(QByteArray::fromStdString(data)).object();
    if (!o.contains("seq") || !o.contains("sha256")) {
        *error = QStringLiteral("%1: not a journal head").arg(QDir::toNativeSeparators(path));
        return HeadRead::Refused;
    }
    head->present = true;
    head->stored = QByteArray::fromStdString(data).trimmed();
    head->seq = qint64(o.value("seq").toDouble());
    head->hash = o.value("sha256").toString();
    head->size = qint64(o.value("size").toDouble());
    head->signature = o.value("sig").toString();
    for (const QJsonValue &v : o.value("open").toArray()) {
        const QJsonObject a = v.toObject();
        head->open.append({a.value("attempt").toString(), qint64(a.value("seq").toDouble()),
                           qint64(a.value("offset").toDouble()), qint64(a.value("length").toDouble()),
                           a.value("passes").toInt()});
    }
    return HeadRead::Read;
}

bool headSignatureHolds(const Head &head, const QByteArray &publicKey)
{
    return SigningKey::verify(head.message(), QByteArray::fromBase64(head.signature.toLatin1()), publicKey);
}

// What verification checks the journal against.
struct Anchor {
    QByteArray publicKey;       // empty: no key at hand
    qint64 keyEntriesBefore = -1; // from the key file; -1 unknown
    QString keyHashBefore;
    Head head;
};

QString tornHash(const std::vector<Line> &lines, std::size_t first, std::size_t end)
{
    QByteArray region;
    for (std::size_t i = first; i < end; ++i)
        region += (i > first ? QByteArray("\n") : QByteArray()) + lines[i].bytes;
    return lineHash(region);
}

VerifyResult check(const QByteArray &data, QVector<JournalRecord> *records, const Anchor &anchor)
{
    VerifyResult result;
    const std::vector<Line> lines = splitLines(data, 1);
    const auto broken = [&result](VerifyResult::Break kind, int line) {
        result.state = VerifyResult::State::Broken;
        result.kind = kind;
        result.line = line;
        return result;
    };
    QString previousHash = Journal::genesisHash();
    qint64 expected = 1;
    const Line *previous = nullptr;
    const bool keyed = !anchor.publicKey.isEmpty();
    result.signaturesChecked = keyed;
    result.keyFingerprint = SigningKey::fingerprint(anchor.publicKey);
    bool signedSeen = false;
    int firstUnsignedLine = 1;
    int unsignedCount = 0;
    QString lastUnsignedHash;
    int signedCount = 0;
    std::size_t tornFrom = 0;
    bool tornPending = false;
    QString headHashSeen;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const Line &line = lines[i];
        if (!line.whole) {
            if (i + 1 == lines.size()) {
                result.state = VerifyResult::State::TornLast;
                result.line = line.number;
            } else {
                result.tornLines.append(line.number);
            }
            if (!tornPending)
                tornFrom = i;
            tornPending = true;
            continue;
        }
        // An entry past an interrupted append names the torn bytes it skipped;
        // a line damaged afterwards has no entry that vouches for it.
        if (tornPending) {
            if (line.object.value("skipped_torn").toString() != tornHash(lines, tornFrom, i))
                return broken(VerifyResult::Break::Damaged, lines[tornFrom].number);
            tornPending = false;
        }
        const QString hash = lineHash(line.bytes);
        const qint64 seq = qint64(line.object.value("seq").toDouble());
        const QJsonValue prev = line.object.value("prev");
        if (seq <= 0 || !prev.isString())
            return broken(VerifyResult::Break::Malformed, line.number);
        if (prev.toString() != previousHash) {
            if (seq > expected) {
                const bool later = std::any_of(lines.begin() + long(i) + 1, lines.end(), [expected](const Line &l) {
                    return l.whole && qint64(l.object.value("seq").toDouble()) == expected;
                });
                return broken(later ? VerifyResult::Break::Reordered : VerifyResult::Break::Missing, line.number);
            }
            if (seq < expected)
                return broken(VerifyResult::Break::Reordered, line.number);
            // In order, so one of the two was edited: this one if the next
            // entry does not chain onto it either.
            const auto next = std::find_if(lines.begin() + long(i) + 1, lines.end(),
                                           [](const Line &l) { return l.whole; });
            const bool thisOne = !previous
                || (next != lines.end() && next->object.value("prev").toString() != hash);
            return broken(VerifyResult::Break::Changed, thisOne ? line.number : previous->number);
        }
        if (seq != expected)
            return broken(VerifyResult::Break::Changed, line.number);
        const QJsonValue sig = line.object.value("sig");
        if (!sig.isString()) {
            // Unsigned: only before the first signed entry, and only as many
            // as that entry (signed) says came before the key.
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
        } else {
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
            if (keyed && !SigningKey::verify(signedBytes(line.bytes, line.object, sig.toString()),
                                             QByteArray::fromBase64(sig.toString().toLatin1()), anchor.publicKey))
                return broken(VerifyResult::Break::Changed, line.number);
        }
        if (records) {
            JournalRecord record;
            record.entry = fromJson(line.object);
            record.sequence = seq;
            record.line = line.number;
            record.hash = hash;
            record.localTimeText = line.object.value("time_local").toString();
            records->append(record);
        }
        if (anchor.head.present && seq == anchor.head.seq)
            headHashSeen = hash;
        ++result.entries;
        previousHash = hash;
        expected = seq + 1;
        previous = &line;
    }
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
    // The end, against the head kept outside the file.
    const Head &head = anchor.head;
    if (head.present) {
        result.headSequence = head.seq;
        if (keyed && !headSignatureHolds(head, anchor.publicKey))
            return broken(VerifyResult::Break::HeadInvalid, 0);
        if (head.seq > 0 && result.entries == 0)
            return broken(VerifyResult::Break::Emptied, 0);
        if (head.seq > result.lastSequence)
            return broken(VerifyResult::Break::Cut, previous ? previous->number + 1 : 1);
        if (head.seq > 0 && headHashSeen != head.hash)
            return broken(VerifyResult::Break::Cut, previous ? previous->number : 1);
    }
    if (SigningKey::available() && (signedCount > 0 || unsignedCount > 0) && !keyed) {
        result.state = VerifyResult::State::NotVerified;
        result.error = QCoreApplication::translate("Journal", "ключа подписи нет: подписи записей не проверены");
    } else if (!head.present && result.entries > 0) {
        result.state = VerifyResult::State::NotVerified;
        result.error = QCoreApplication::translate("Journal", "головы журнала нет: его конец не охраняется");
    }
    return result;
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
    const EndStateKind kind = e.phase == JournalEntry::Phase::Begun ? EndStateKind::Begun : kindOf(e.endState);
    return {messageIdOf(kind), isWarning(kind)};
}

journalfile::LogFields logFields(const JournalRecord &record)
{
    const JournalEntry &e = record.entry;
    const QString target = e.targetKind == JournalEntry::TargetKind::File
        ? e.filePath
        : QStringLiteral("%1 (%2, S/N %3)").arg(e.tokenLabel, e.tokenModel, e.tokenSerial);
    journalfile::LogFields fields{
        {"KCC_SEQ", std::to_string(record.sequence)},
        {"KCC_ENTRY_SHA256", record.hash.toStdString()},
        {"KCC_PHASE", e.phase == JournalEntry::Phase::Begun ? "begun"
                          : e.phase == JournalEntry::Phase::Progress ? "progress" : "ended"},
        {"KCC_STATE", toWord(e.endState).toStdString()},
        {"KCC_TARGET", target.toStdString()},
        {"KCC_ALGORITHM", e.algorithmName.toStdString()},
        {"KCC_ATTEMPT", e.attempt.toStdString()},
    };
    if (e.placement != PlacementWord::None)
        fields.push_back({"KCC_PLACEMENT", toWord(e.placement).toStdString()});
    if (e.survivors >= 0)
        fields.push_back({"KCC_KEY_BLOCKS_FOUND", std::to_string(e.survivors)});
    return fields;
}

} // namespace

namespace {

// The journal's last whole entry and what follows it, read from the end.
struct Tail {
    bool found = false;
    qint64 seq = 0;
    QString hash = Journal::genesisHash();
    bool isSigned = false;
    bool endsWithNewline = true;
    bool torn = false;  // bytes after the last whole entry
    QByteArray tornBytes; // without the newline that ended them
};

bool readTail(const journalfile::LockedFile &file, std::int64_t size, Tail *tail, std::string *reason)
{
    for (std::int64_t window = 65536; size > 0; window *= 2) {
        const std::int64_t from = std::max<std::int64_t>(0, size - window);
        QByteArray bytes(int(size - from), '\0');
        std::size_t got = 0;
        if (!file.readAt(from, bytes.data(), std::size_t(bytes.size()), &got, reason))
            return false;
        bytes.resize(int(got));
        tail->endsWithNewline = bytes.endsWith('\n');
        // A window that starts mid-file may start mid-line: its first line is not looked at.
        const int floor = from > 0 ? bytes.indexOf('\n') + 1 : 0;
        if (from > 0 && floor == 0)
            continue;
        int end = bytes.endsWith('\n') ? bytes.size() - 1 : bytes.size();
        while (end >= floor) {
            const int start = end > floor ? std::max(floor, bytes.lastIndexOf('\n', end - 1) + 1) : floor;
            const QByteArray line = bytes.mid(start, end - start);
            QJsonParseError parsed;
            const QJsonDocument document = QJsonDocument::fromJson(line, &parsed);
            if (parsed.error == QJsonParseError::NoError && document.isObject()) {
                tail->found = true;
                tail->seq = qint64(document.object().value("seq").toDouble());
                tail->hash = lineHash(line);
                tail->isSigned = document.object().contains("sig");
                tail->torn = end + 1 < bytes.size();
                tail->tornBytes = tail->torn ? bytes.mid(end + 1) : QByteArray();
                if (tail->tornBytes.endsWith('\n'))
                    tail->tornBytes.chop(1);
                return true;
            }
            if (start == floor)
                break;
            end = start - 1;
        }
        if (from == 0) {
            // No whole entry at all: whatever is there was torn.
            tail->torn = !bytes.isEmpty();
            tail->tornBytes = bytes;
            if (tail->tornBytes.endsWith('\n'))
                tail->tornBytes.chop(1);
            return true;
        }
    }
    return true;
}

void applyToOpen(QVector<OpenAttempt> &open, const QJsonObject &o, qint64 seq, qint64 offset, qint64 length)
{
    const QString attempt = o.value("attempt").toString();
    if (attempt.isEmpty())
        return;
    const QString phase = o.value("phase").toString();
    const auto at = std::find_if(open.begin(), open.end(), [&](const OpenAttempt &a) { return a.attempt == attempt; });
    if (phase == QLatin1String("begun")) {
        if (at == open.end())
            open.append({attempt, seq, offset, length, 0});
    } else if (phase == QLatin1String("progress")) {
        if (at != open.end())
            at->passes = std::max(at->passes, o.value("passes").toObject().value("done").toInt());
    } else if (at != open.end()) {
        open.erase(at);
    }
}

// Brings a head up to the entries after it (an append whose head was not
// rewritten, or a journal from before heads were kept), reading from where
// it ends. false where the journal does not continue the head: it was cut.
bool catchUp(const journalfile::LockedFile &file, std::int64_t size, Head *head, std::string *reason)
{
    const std::int64_t from = std::min<std::int64_t>(head->size, size);
    QByteArray bytes(int(size - from), '\0');
    std::size_t got = 0;
    if (!file.readAt(from, bytes.data(), std::size_t(bytes.size()), &got, reason))
        return false;
    bytes.resize(int(got));
    int start = 0;
    while (start < bytes.size()) {
        int end = bytes.indexOf('\n', start);
        if (end < 0)
            end = bytes.size();
        const QByteArray line = bytes.mid(start, end - start);
        const QJsonObject o = QJsonDocument::fromJson(line).object();
        if (!o.isEmpty()) {
            const qint64 seq = qint64(o.value("seq").toDouble());
            if (seq != head->seq + 1 || o.value("prev").toString() != head->hash) {
                *reason = "the journal does not continue its head";
                return false;
            }
            applyToOpen(head->open, o, seq, from + start, line.size());
            head->seq = seq;
            head->hash = lineHash(line);
            head->size = from + end + (end < bytes.size() ? 1 : 0);
        }
        start = end + 1;
    }
    return true;
}

bool writeHead(const QString &path, Head &head, const SigningKey &key, std::string *reason)
{
    QJsonObject object = head.body();
    object.insert("key_sha256", SigningKey::fingerprint(key.publicKey())); // which pinned key checks it
    if (key.isLoaded())
        object.insert("sig", QString::fromLatin1(key.sign(head.message()).toBase64()));
    head.signature = object.value("sig").toString();
    head.stored = QJsonDocument(object).toJson(QJsonDocument::Compact);
    return journalfile::publishFile(nativePath(path), (head.stored + '\n').toStdString(), true, nullptr, reason);
}

// Reads the head and checks it against the journal's end; a head that is
// missing, or behind, is brought up to date in memory.
bool headAtEnd(const journalfile::LockedFile &file, std::int64_t size, const QString &headPath,
               const QByteArray &publicKey, Head *head, Tail *tail, QString *why)
{
    std::string reason;
    QString error;
    const HeadRead read = readHead(headPath, head, &error);
    if (read == HeadRead::Refused) {
        *why = error;
        return false;
    }
    if (read == HeadRead::Read && !publicKey.isEmpty() && !headSignatureHolds(*head, publicKey)) {
        *why = QCoreApplication::translate("Journal", "подпись головы журнала не верна: голова подменена");
        return false;
    }
    if (!readTail(file, size, tail, &reason)) {
        *why = QString::fromStdString(reason);
        return false;
    }
    if (read == HeadRead::Missing) {
        *head = Head();
        head->present = false;
    } else if (tail->seq < head->seq || (tail->seq == head->seq && tail->hash != head->hash)) {
        *why = QCoreApplication::translate("Journal", "журнал кончается записью %1, а его голова называет запись %2: "
                                           "конец журнала отрезан или изменен")
                   .arg(tail->seq)
                   .arg(head->seq);
        return false;
    } else if (tail->seq == head->seq) {
        return true;
    }
    if (!catchUp(file, size, head, &reason)) {
        *why = QString::fromStdString(reason);
        return false;
    }
    return true;
}

} // namespace

bool Journal::append(JournalEntry entry, QString *error, bool *systemLogDropped) const
{
    bool unused = false;
    return appendEntry(std::move(entry), false, &unused, error, systemLogDropped);
}

bool Journal::closeAttempt(JournalEntry ending, bool *alreadyClosed, QString *error) const
{
    return appendEntry(std::move(ending), true, alreadyClosed, error, nullptr);
}

bool Journal::appendEntry(JournalEntry entry, bool onlyIfOpen, bool *alreadyClosed, QString *error,
                          bool *systemLogDropped) const
{
    *alreadyClosed = false;
    if (!entry.time.isValid())
        entry.time = QDateTime::currentDateTime();
    if (entry.user.isEmpty())
        entry.user = QString::fromStdString(journalfile::currentUserUtf8());
    if (entry.host.isEmpty())
        entry.host = QSysInfo::machineHostName();
    if (entry.version.isEmpty())
        entry.version = QStringLiteral(KCC_VERSION);

    JournalRecord record;
    record.entry = entry;
    Head head;
    SigningKey key;
    QString why;
    const bool written = [&] {
        const QString directory = QFileInfo(filePath).absolutePath();
        if (!QDir().mkpath(directory)) {
            why = QStringLiteral("cannot create the directory");
            return false;
        }
        journalfile::LockedFile file;
        std::string reason;
        std::int64_t size = 0;
        if (!file.open(nativePath(filePath), journalfile::LockedFile::Mode::Append, &reason)
            || !file.size(&size, &reason)) {
            why = QString::fromStdString(reason);
            return false;
        }
        SigningKey::Load loaded = SigningKey::Load::Missing;
        if (SigningKey::available()) {
            loaded = key.load(&why);
            if (loaded == SigningKey::Load::Refused)
                return false;
        }
        Tail tail;
        if (!headAtEnd(file, size, headPath(), key.publicKey(), &head, &tail, &why))
            return false;
        if (onlyIfOpen && std::none_of(head.open.begin(), head.open.end(),
                                       [&](const OpenAttempt &a) { return a.attempt == entry.attempt; })) {
            *alreadyClosed = true;
            return false;
        }
        QJsonObject object = toJson(entry);
        object.insert("seq", double(tail.seq + 1));
        object.insert("prev", tail.hash);
        if (tail.torn)
            object.insert("skipped_torn", lineHash(tail.tornBytes));
        // Signed over the line without its signature: whoever rewrites the
        // file needs the installation's key as well. A key that cannot be
        // read stops the append; one is made only where the journal has no
        // signed entry yet, recording what precedes it.
        if (SigningKey::available()) {
            QString keyError;
            if (loaded == SigningKey::Load::Missing) {
                if (tail.isSigned) {
                    why = QCoreApplication::translate("Journal", "ключа подписи %1 нет, а записи журнала подписаны")
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
        }
        const QByteArray json = QJsonDocument(object).toJson(QJsonDocument::Compact);
        // A torn line stays as it is; the new entry starts on a line of its own.
        const QByteArray separator = tail.endsWithNewline ? QByteArray() : QByteArray("\n");
        const QByteArray line = separator + json + '\n';
        record.sequence = tail.seq + 1;
        record.hash = lineHash(json);
        if (!file.appendSynced(line.constData(), std::size_t(line.size()), &reason)) {
            why = QString::fromStdString(reason);
            return false;
        }
        applyToOpen(head.open, object, record.sequence, size + separator.size(), json.size());
        head.present = true;
        head.seq = record.sequence;
        head.hash = record.hash;
        head.size = size + line.size();
        // The entry is on the medium; a head not rewritten is caught up next time.
        writeHead(headPath(), head, key, &reason);
        return true;
    }();
    if (*alreadyClosed)
        return false;
    if (!written && error)
        *error = QCoreApplication::translate("Journal", "Запись в журнал %1 не сделана: %2").arg(QDir::toNativeSeparators(filePath), why);
    // The system log hears of every event, written or not.
    if (qEnvironmentVariableIsEmpty("KCC_JOURNAL_NO_SYSLOG")) {
        journalfile::LogFields fields = logFields(record);
        fields.push_back({"KCC_JOURNAL_WRITTEN", written ? "1" : "0"});
        if (!written)
            fields.push_back({"KCC_JOURNAL_ERROR", why.toStdString()});
        fields.push_back({"KCC_KEY_SHA256", SigningKey::fingerprint(key.publicKey()).toStdString()});
        if (written) {
            fields.push_back({"KCC_HEAD_SEQ", std::to_string(head.seq)});
            fields.push_back({"KCC_HEAD_SHA256", head.hash.toStdString()});
            fields.push_back({"KCC_HEAD_SIG", head.signature.toStdString()});
        }
        QString text = systemLogLine(record);
        if (!written)
            text += QStringLiteral(" NOT WRITTEN to %1: %2").arg(filePath, why);
        const bool sent = journalfile::writeSystemLog(text.toStdString(), eventOf(entry).warning || !written,
                                                      eventOf(entry).messageId, fields);
        if (systemLogDropped)
            *systemLogDropped = !sent;
    }
    return written;
}

void Journal::reportWithoutRecord(const JournalEntry &begun, const QString &why)
{
    if (!qEnvironmentVariableIsEmpty("KCC_JOURNAL_NO_SYSLOG"))
        return;
    JournalRecord record;
    record.entry = begun;
    journalfile::LogFields fields = logFields(record);
    fields.push_back({"KCC_JOURNAL_WRITTEN", "0"});
    fields.push_back({"KCC_JOURNAL_ERROR", why.toStdString()});
    journalfile::writeSystemLog(
        QStringLiteral("wipe goes on WITHOUT A JOURNAL RECORD, as the officer chose: %1; %2").arg(why, systemLogLine(record)).toStdString(),
        true, "e41b7a2c9d3f4e5a8b6c0d1e2f3a4b5c", fields);
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
        JournalRecord record;
        record.entry = fromJson(o);
        record.entry.passesDone = open.passes;
        record.sequence = open.seq;
        record.hash = lineHash(line);
        record.localTimeText = o.value("time_local").toString();
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
    if (!anchorKey.isEmpty()) {
        anchor.publicKey = anchorKey;
    } else if (SigningKey::available()) {
        SigningKey key;
        const SigningKey::Load loaded = key.load(&error);
        if (loaded == SigningKey::Load::Loaded) {
            anchor.publicKey = key.publicKey();
            anchor.keyEntriesBefore = key.entriesBefore();
            anchor.keyHashBefore = key.hashBefore();
        } else if (loaded == SigningKey::Load::Refused) {
            notVerified = error;
        }
    }
    if (!anchor.publicKey.isEmpty() && !SigningKey::trusted(anchor.publicKey, &error))
        notVerified = error;
    *result = check(data, records, anchor);
    if (!notVerified.isEmpty() && result->state != VerifyResult::State::Broken) {
        result->state = VerifyResult::State::NotVerified;
        result->error = notVerified;
    }
    // Past a break the chain says nothing, but the entries are still shown.
    if (records && result->state == VerifyResult::State::Broken) {
        records->clear();
        for (const Line &line : splitLines(data, 1)) {
            if (!line.whole)
                continue;
            JournalRecord record;
            record.entry = fromJson(line.object);
            record.sequence = qint64(line.object.value("seq").toDouble());
            record.line = line.number;
            record.hash = lineHash(line.bytes);
            record.localTimeText = line.object.value("time_local").toString();
            records->append(record);
        }
    }
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

QString Journal::systemLogLine(const JournalRecord &record)
{
    const JournalEntry &e = record.entry;
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
        .arg(quoted(e.user), quoted(e.host),
             e.interface == JournalEntry::Interface::Window ? QStringLiteral("window") : QStringLiteral("command-line"),
             e.version);
}

QString VerifyResult::describe() const
{
    QString text;
    switch (state) {
    case State::Intact:
        text = QCoreApplication::translate("Journal", "Журнал проверен: записей %n, цепочка хешей не нарушена.", nullptr,
                                           entries);
        break;
    case State::TornLast:
        text = QCoreApplication::translate("Journal", "Последняя строка журнала (строка %1) оборвана: запись прервалась. "
                              "Записи до нее (%2) проверены, цепочка не нарушена.").arg(line).arg(entries);
        break;
    case State::Broken: {
        QString why;
        switch (kind) {
        case Break::Changed: why = QCoreApplication::translate("Journal", "запись изменена после записи следующей"); break;
        case Break::Missing: why = QCoreApplication::translate("Journal", "перед записью удалены записи"); break;
        case Break::Reordered: why = QCoreApplication::translate("Journal", "записи переставлены"); break;
        case Break::Unsigned: why = QCoreApplication::translate("Journal", "запись не подписана, и не доказано, что она сделана до появления ключа"); break;
        case Break::Damaged: why = QCoreApplication::translate("Journal", "строка повреждена, а следующая запись этого не отметила"); break;
        case Break::Malformed:
        case Break::None: why = QCoreApplication::translate("Journal", "строка не является записью журнала"); break;
        case Break::Cut:
            return QCoreApplication::translate("Journal", "Конец журнала отрезан или изменен: журнал кончается записью %1, а его "
                                               "подписанная голова называет запись %2.").arg(lastSequence).arg(headSequence);
        case Break::Emptied:
            return QCoreApplication::translate("Journal", "Журнал опустошен: записей в нем нет, а его подписанная голова "
                                               "называет запись %1.").arg(headSequence);
        case Break::HeadInvalid:
            return QCoreApplication::translate("Journal", "Подпись головы журнала не верна: голова подменена.");
        }
        return QCoreApplication::translate("Journal", "Цепочка журнала нарушена в строке %1: %2.").arg(line).arg(why);
    }
    case State::Unreadable:
        return QCoreApplication::translate("Journal", "Журнал не прочитан: %1").arg(error);
    case State::NotVerified:
        return QCoreApplication::translate("Journal", "Журнал не проверен: %1. Записей: %2.").arg(error).arg(entries);
    }
    if (!tornLines.isEmpty())
        text += QCoreApplication::translate("Journal", " Прерванных записей пропущено: %1.").arg(tornLines.size());
    if (signaturesChecked && unsignedBeforeKey > 0)
        text += QCoreApplication::translate("Journal", " Записей без подписи, сделанных до появления ключа: %1.").arg(unsignedBeforeKey);
    text += signaturesChecked
        ? QCoreApplication::translate("Journal", " Подписи записей верны (ключ %1…).").arg(keyFingerprint.left(16))
        : QCoreApplication::translate("Journal", " Подписи не проверены: в этой сборке нет библиотеки подписи.");
    if (headSequence > 0)
        text += QCoreApplication::translate("Journal", " Конец журнала совпадает с его головой (запись %1).").arg(headSequence);
    return text;
}
