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
                                             {"started", QString::number(e.processStarted)}});
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

VerifyResult check(const QByteArray &data, QVector<JournalRecord> *records)
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
    SigningKey key;
    const bool keyed = SigningKey::available() && key.load(false);
    result.signaturesChecked = keyed;
    bool signedSeen = false;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const Line &line = lines[i];
        if (!line.whole) {
            if (i + 1 == lines.size()) {
                result.state = VerifyResult::State::TornLast;
                result.line = line.number;
            } else {
                result.tornLines.append(line.number);
            }
            continue;
        }
        const QJsonValue prev = line.object.value("prev");
        const QJsonValue seqValue = line.object.value("seq");
        if (!prev.isString() || !seqValue.isDouble())
            return broken(VerifyResult::Break::Malformed, line.number);
        const qint64 seq = qint64(seqValue.toDouble());
        const QString hash = lineHash(line.bytes);
        if (prev.toString() != previousHash) {
            // An entry that no longer parses shows as a torn line right before the break.
            if (i > 0 && !lines[i - 1].whole)
                return broken(VerifyResult::Break::Changed, lines[i - 1].number);
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
        // With the installation's key at hand every entry must carry its
        // signature, and the signature must hold: a stripped or rewritten
        // journal fails here unless the key was taken too.
        if (keyed) {
            const QJsonValue sig = line.object.value("sig");
            // Only an entry from before the key, and before any signed one,
            // may go without.
            if (!sig.isString()) {
                const QDateTime written = QDateTime::fromString(line.object.value("time_utc").toString(), Qt::ISODate);
                // Entries carry whole seconds: one from the key's own second counts as after it.
                const QDateTime keyMade = key.created().addMSecs(-key.created().time().msec());
                if (signedSeen || !written.isValid() || written >= keyMade)
                    return broken(VerifyResult::Break::Unsigned, line.number);
                ++result.unsignedBeforeKey;
            } else {
                signedSeen = true;
            }
            QJsonObject unsignedObject = line.object;
            unsignedObject.remove("sig");
            if (sig.isString() && !SigningKey::verify(QJsonDocument(unsignedObject).toJson(QJsonDocument::Compact),
                                    QByteArray::fromBase64(sig.toString().toLatin1()), key.publicKey()))
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
        ++result.entries;
        previousHash = hash;
        expected = seq + 1;
        previous = &line;
    }
    // A last entry without its newline: the append that wrote it was cut
    // short at the very end.
    if (result.state == VerifyResult::State::Intact && !data.isEmpty() && !data.endsWith('\n')) {
        result.state = VerifyResult::State::TornLast;
        result.line = lines.back().number;
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

Journal::Journal(QString path)
    : filePath(std::move(path))
{
}

namespace {

// One fixed id per kind of event, for filtering across an organisation.
struct EventKind {
    EndStateKind kind;
    const char *messageId;
    bool warning;
};

const EventKind eventKinds[] = {
    {EndStateKind::Begun, "6f2a1c0e9b7d4e0a8c3f5d2b1a4e7c90", false},
    {EndStateKind::Interrupted, "a7e3c91d5b2f4e8a9c0d1e2f3a4b5c6d", true},
    {EndStateKind::Proven, "3b9e7d1f2c4a4f6b9e8d7c6b5a4f3e21", false},
    {EndStateKind::Doubtful, "5d0c8e2a7f1b4c3d9a6e0f8b2c4d1e73", true},
    {EndStateKind::NotDestroyed, "8c1d2e3f4a5b4c6d8e7f9a0b1c2d3e4f", true},
};

const EventKind &eventOf(const JournalEntry &e)
{
    const EndStateKind kind = e.phase == JournalEntry::Phase::Begun ? EndStateKind::Begun : kindOf(e.endState);
    for (const EventKind &event : eventKinds)
        if (event.kind == kind)
            return event;
    return eventKinds[std::size(eventKinds) - 1];
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
        {"KCC_PHASE", e.phase == JournalEntry::Phase::Begun ? "begun" : "ended"},
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

bool Journal::append(JournalEntry entry, QString *error) const
{
    const auto failed = [&](const QString &reason) {
        if (error)
            *error = QCoreApplication::translate("Journal", "Запись в журнал %1 не сделана: %2").arg(QDir::toNativeSeparators(filePath), reason);
        return false;
    };
    if (!entry.time.isValid())
        entry.time = QDateTime::currentDateTime();
    if (entry.user.isEmpty())
        entry.user = QString::fromStdString(journalfile::currentUserUtf8());
    if (entry.host.isEmpty())
        entry.host = QSysInfo::machineHostName();
    if (entry.version.isEmpty())
        entry.version = QStringLiteral(KCC_VERSION);

    const QString directory = QFileInfo(filePath).absolutePath();
    if (!QDir().mkpath(directory))
        return failed(QStringLiteral("cannot create the directory"));

    journalfile::LockedFile file;
    std::string reason;
    std::int64_t size = 0;
    if (!file.open(nativePath(filePath), journalfile::LockedFile::Mode::Append, &reason)
        || !file.size(&size, &reason))
        return failed(QString::fromStdString(reason));

    // Only the tail is read: the last whole entry is all the new one needs.
    QString previousHash = genesisHash();
    qint64 sequence = 1;
    bool endsWithNewline = true;
    for (std::int64_t window = 65536; size > 0; window *= 2) {
        const std::int64_t from = std::max<std::int64_t>(0, size - window);
        QByteArray tail(int(size - from), '\0');
        std::size_t got = 0;
        if (!file.readAt(from, tail.data(), std::size_t(tail.size()), &got, &reason))
            return failed(QString::fromStdString(reason));
        tail.resize(int(got));
        endsWithNewline = tail.endsWith('\n');
        std::vector<Line> lines = splitLines(tail, 0);
        if (from > 0 && !lines.empty())
            lines.erase(lines.begin()); // may start mid-line
        const auto last = std::find_if(lines.rbegin(), lines.rend(), [](const Line &l) { return l.whole; });
        if (last != lines.rend()) {
            previousHash = lineHash(last->bytes);
            sequence = qint64(last->object.value("seq").toDouble()) + 1;
            break;
        }
        if (from == 0)
            break;
    }

    QJsonObject object = toJson(entry);
    object.insert("seq", double(sequence));
    object.insert("prev", previousHash);
    // Signed over the line without its signature: whoever rewrites the file
    // needs the installation's key as well. Unsigned where no key can be had.
    SigningKey key;
    if (SigningKey::available() && key.load(true)) {
        const QByteArray signature = key.sign(QJsonDocument(object).toJson(QJsonDocument::Compact));
        object.insert("sig", QString::fromLatin1(signature.toBase64()));
    }
    const QByteArray json = QJsonDocument(object).toJson(QJsonDocument::Compact);
    // A torn line stays as it is; the new entry starts on a line of its own.
    const QByteArray line = (endsWithNewline ? QByteArray() : QByteArray("\n")) + json + '\n';
    if (!file.appendSynced(line.constData(), std::size_t(line.size()), &reason))
        return failed(QString::fromStdString(reason));

    JournalRecord record;
    record.entry = entry;
    record.sequence = sequence;
    record.hash = lineHash(json);
    if (qEnvironmentVariableIsEmpty("KCC_JOURNAL_NO_SYSLOG"))
        journalfile::writeSystemLog(systemLogLine(record).toStdString(), eventOf(entry).warning, eventOf(entry).messageId,
                                    logFields(record));
    return true;
}

VerifyResult Journal::verify() const
{
    VerifyResult result;
    read(&result);
    return result;
}

QVector<JournalRecord> Journal::read(VerifyResult *verification, bool withBegun) const
{
    QVector<JournalRecord> records;
    QByteArray data;
    QString error;
    VerifyResult result;
    if (!readAll(filePath, &data, &error)) {
        result.state = VerifyResult::State::Unreadable;
        result.error = error;
    } else {
        result = check(data, &records);
        // Past a break the chain says nothing, but the entries are still shown.
        if (result.state == VerifyResult::State::Broken) {
            records.clear();
            for (const Line &line : splitLines(data, 1)) {
                if (!line.whole)
                    continue;
                JournalRecord record;
                record.entry = fromJson(line.object);
                record.sequence = qint64(line.object.value("seq").toDouble());
                record.line = line.number;
                record.hash = lineHash(line.bytes);
                record.localTimeText = line.object.value("time_local").toString();
                records.append(record);
            }
        }
    }
    if (verification)
        *verification = result;
    // A later ending of the same attempt amends the earlier one (a fill
    // started from the result box): one attempt, one ending.
    QSet<QString> endedLater;
    std::vector<bool> drop(std::size_t(records.size()), false);
    for (int i = records.size() - 1; i >= 0; --i) {
        const JournalEntry &e = records.at(i).entry;
        if (e.phase == JournalEntry::Phase::Begun)
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
        text = QCoreApplication::translate("Journal", "Журнал проверен: записей %1, цепочка хешей не нарушена.").arg(entries);
        break;
    case State::TornLast:
        text = QCoreApplication::translate("Journal", "Последняя строка журнала (строка %1) оборвана: запись прервалась. "
                              "Записи до неё (%2) проверены, цепочка не нарушена.").arg(line).arg(entries);
        break;
    case State::Broken: {
        QString why;
        switch (kind) {
        case Break::Changed: why = QCoreApplication::translate("Journal", "запись изменена после записи следующей"); break;
        case Break::Missing: why = QCoreApplication::translate("Journal", "перед записью удалены записи"); break;
        case Break::Reordered: why = QCoreApplication::translate("Journal", "записи переставлены"); break;
        case Break::Unsigned: why = QCoreApplication::translate("Journal", "запись не подписана ключом этой установки"); break;
        case Break::Malformed:
        case Break::None: why = QCoreApplication::translate("Journal", "строка не является записью журнала"); break;
        }
        return QCoreApplication::translate("Journal", "Цепочка журнала нарушена в строке %1: %2.").arg(line).arg(why);
    }
    case State::Unreadable:
        return QCoreApplication::translate("Journal", "Журнал не прочитан: %1").arg(error);
    }
    if (!tornLines.isEmpty())
        text += QCoreApplication::translate("Journal", " Прерванных записей пропущено: %1.").arg(tornLines.size());
    if (signaturesChecked && unsignedBeforeKey > 0)
        text += QCoreApplication::translate("Journal", " Записей без подписи, сделанных до появления ключа: %1.").arg(unsignedBeforeKey);
    text += signaturesChecked
        ? QCoreApplication::translate("Journal", " Подписи записей верны.")
        : QCoreApplication::translate("Journal", " Подписи не проверены: ключа этой установки здесь нет.");
    return text;
}
