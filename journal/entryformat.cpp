#include "entryformat.h"

#include "sha256.h"

#include <QJsonArray>

#include <iterator>

namespace {

// One stored word per value, in the enum's order.
const char *const interfaceWords[] = {"window", "command-line"};
static_assert(std::size(interfaceWords) == std::size_t(JournalEntry::Interface::CommandLine) + 1,
              "a word for every interface");
const char *const targetKindWords[] = {"file", "token"};
static_assert(std::size(targetKindWords) == std::size_t(JournalEntry::TargetKind::Token) + 1,
              "a word for every kind of target");
const char *const phaseWords[] = {"ended", "begun", "progress", "timestamp"};
static_assert(std::size(phaseWords) == std::size_t(JournalEntry::Phase::Timestamp) + 1, "a word for every phase");

template <typename Enum, std::size_t N>
QString wordOf(const char *const (&words)[N], Enum value)
{
    return QString::fromLatin1(words[std::size_t(value)]);
}

template <typename Enum, std::size_t N>
Enum valueOf(const char *const (&words)[N], const QString &word)
{
    for (std::size_t i = 0; i < N; ++i)
        if (word == QLatin1String(words[i]))
            return Enum(i);
    return Enum(0);
}

QJsonValue sizeValue(qint64 size)
{
    return size < 0 ? QJsonValue() : QJsonValue(double(size));
}

QJsonObject fileTarget(const JournalEntry &e)
{
    QJsonObject target{{"kind", wordOf(targetKindWords, e.targetKind)}, {"path", e.filePath}, {"size", sizeValue(e.size)}};
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
    return target;
}

QJsonObject tokenTarget(const JournalEntry &e)
{
    return {{"kind", wordOf(targetKindWords, e.targetKind)},
            {"token_label", e.tokenLabel},
            {"token_model", e.tokenModel},
            {"token_serial", e.tokenSerial},
            {"container_label", e.containerLabel},
            {"container_size", sizeValue(e.size)}};
}

void readFileTarget(const QJsonObject &target, JournalEntry &e)
{
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

void readTokenTarget(const QJsonObject &target, JournalEntry &e)
{
    e.tokenLabel = target.value("token_label").toString();
    e.tokenModel = target.value("token_model").toString();
    e.tokenSerial = target.value("token_serial").toString();
    e.containerLabel = target.value("container_label").toString();
    e.size = qint64(target.value("container_size").toDouble(-1));
}

QJsonArray strings(const QStringList &list)
{
    return QJsonArray::fromStringList(list);
}

QStringList stringsOf(const QJsonValue &value)
{
    QStringList list;
    for (const QJsonValue &item : value.toArray())
        list << item.toString();
    return list;
}

// The entry's fields a certificate names: who did it, the disks or the
// token's maker, the pass patterns, the organisation's own fields. An entry
// without them reads as before they were kept.
void insertCertificateFields(const JournalEntry &e, QJsonObject &object)
{
    QJsonObject target = object.value("target").toObject();
    if (e.targetKind == JournalEntry::TargetKind::Token) {
        target.insert("token_maker", e.tokenMaker);
    } else {
        QJsonArray disks;
        for (const JournalEntry::Disk &d : e.disks)
            disks.append(QJsonObject{{"name", d.name}, {"maker", d.maker}, {"model", d.model},
                                     {"serial", d.serial}, {"transport", d.transport}, {"kind", d.kind}});
        if (!disks.isEmpty())
            target.insert("disks", disks);
        if (!e.deviceLimits.isEmpty())
            target.insert("device_limits", strings(e.deviceLimits));
    }
    object.insert("target", target);
    if (!e.passPatterns.isEmpty()) {
        QJsonObject passes = object.value("passes").toObject();
        passes.insert("patterns", strings(e.passPatterns));
        object.insert("passes", passes);
    }
    if (!e.operatorSource.isEmpty())
        object.insert("operator", QJsonObject{{"name", e.operatorName},
                                              {"title", e.operatorTitle},
                                              {"organisation", e.operatorOrganisation},
                                              {"location", e.operatorLocation},
                                              {"phone", e.operatorPhone},
                                              {"source", e.operatorSource}});
    QJsonObject fields;
    for (auto i = e.organisationFields.cbegin(); i != e.organisationFields.cend(); ++i)
        fields.insert(i.key(), i.value());
    if (!fields.isEmpty())
        object.insert("organisation_fields", fields);
}

void readCertificateFields(const QJsonObject &object, JournalEntry &e)
{
    const QJsonObject target = object.value("target").toObject();
    e.tokenMaker = target.value("token_maker").toString();
    for (const QJsonValue &value : target.value("disks").toArray()) {
        const QJsonObject d = value.toObject();
        e.disks.append({d.value("name").toString(), d.value("maker").toString(), d.value("model").toString(),
                        d.value("serial").toString(), d.value("transport").toString(), d.value("kind").toString()});
    }
    e.deviceLimits = stringsOf(target.value("device_limits"));
    e.passPatterns = stringsOf(object.value("passes").toObject().value("patterns"));
    const QJsonObject who = object.value("operator").toObject();
    e.operatorName = who.value("name").toString();
    e.operatorTitle = who.value("title").toString();
    e.operatorOrganisation = who.value("organisation").toString();
    e.operatorLocation = who.value("location").toString();
    e.operatorPhone = who.value("phone").toString();
    e.operatorSource = who.value("source").toString();
    const QJsonObject fields = object.value("organisation_fields").toObject();
    for (auto i = fields.begin(); i != fields.end(); ++i)
        e.organisationFields.insert(i.key(), i.value().toString());
}

QJsonObject timeFields(const JournalEntry &e)
{
    const QDateTime local = e.time.toLocalTime();
    return {{"time_local", local.toOffsetFromUtc(local.offsetFromUtc()).toString(Qt::ISODate)},
            {"time_utc", e.time.toUTC().toString(Qt::ISODate)},
            {"user", e.user},
            {"host", e.host},
            {"version", e.version},
            {"interface", interfaceWord(e.interface)}};
}

// Only what names the stamped entry and the token: no target, no result.
QJsonObject timestampToJson(const JournalEntry &e)
{
    QJsonObject object = timeFields(e);
    object.insert("phase", phaseWord(e.phase));
    object.insert("stamp", QJsonObject{{"seq", double(e.stampedSequence)},
                                       {"entry_sha256", e.stampedHash},
                                       {"nonce", QString::fromLatin1(e.stampNonce.toHex())},
                                       {"token", QString::fromLatin1(e.stampToken.toBase64())}});
    return object;
}

} // namespace

QString interfaceWord(JournalEntry::Interface interface)
{
    return wordOf(interfaceWords, interface);
}

QString phaseWord(JournalEntry::Phase phase)
{
    return wordOf(phaseWords, phase);
}

JournalEntry::Phase phaseFromWord(const QString &word)
{
    return valueOf<JournalEntry::Phase>(phaseWords, word);
}

QJsonObject entryToJson(const JournalEntry &e)
{
    if (e.phase == JournalEntry::Phase::Timestamp)
        return timestampToJson(e);
    QJsonObject target = e.targetKind == JournalEntry::TargetKind::File ? fileTarget(e) : tokenTarget(e);
    if (e.fileDevice || e.fileIndex)
        target.insert("identity", QJsonObject{{"device", QString::number(e.fileDevice)},
                                              {"index", QString::number(e.fileIndex)}});
    QJsonObject object = timeFields(e);
    object.insert("target", target);
    object.insert("algorithm", QJsonObject{{"name", e.algorithmName}, {"index", e.algorithmIndex}});
    object.insert("passes", QJsonObject{{"planned", e.passesPlanned}, {"done", e.passesDone}});
    object.insert("result", QJsonObject{{"text", e.resultText}, {"informative", e.resultInformative},
                                        {"state", toWord(e.endState)}});
    if (e.stampAsked)
        object.insert("timestamp", QStringLiteral("asked"));
    if (!e.attempt.isEmpty())
        object.insert("attempt", e.attempt);
    if (e.started.isValid())
        object.insert("time_started_utc", e.started.toUTC().toString(Qt::ISODate));
    if (e.phase != JournalEntry::Phase::Ended)
        object.insert("phase", phaseWord(e.phase));
    if (e.phase == JournalEntry::Phase::Begun)
        object.insert("process", QJsonObject{{"pid", double(e.pid)},
                                             {"boot", e.boot},
                                             {"started", QString::number(e.processStarted)},
                                             {"host_id", e.hostId}});
    insertCertificateFields(e, object);
    return object;
}

JournalEntry entryFromJson(const QJsonObject &o)
{
    JournalEntry e;
    e.time = QDateTime::fromString(o.value("time_utc").toString(), Qt::ISODate);
    e.user = o.value("user").toString();
    e.host = o.value("host").toString();
    e.version = o.value("version").toString();
    e.interface = valueOf<JournalEntry::Interface>(interfaceWords, o.value("interface").toString());
    const QJsonObject target = o.value("target").toObject();
    e.targetKind = valueOf<JournalEntry::TargetKind>(targetKindWords, target.value("kind").toString());
    if (e.targetKind == JournalEntry::TargetKind::Token)
        readTokenTarget(target, e);
    else
        readFileTarget(target, e);
    const QJsonObject identity = target.value("identity").toObject();
    e.fileDevice = identity.value("device").toString().toULongLong();
    e.fileIndex = identity.value("index").toString().toULongLong();
    e.attempt = o.value("attempt").toString();
    if (o.contains("time_started_utc"))
        e.started = QDateTime::fromString(o.value("time_started_utc").toString(), Qt::ISODate);
    e.phase = phaseFromWord(o.value("phase").toString());
    e.stampAsked = o.value("timestamp").toString() == QLatin1String("asked");
    if (e.phase == JournalEntry::Phase::Timestamp) {
        const QJsonObject stamp = o.value("stamp").toObject();
        e.stampedSequence = qint64(stamp.value("seq").toDouble());
        e.stampedHash = stamp.value("entry_sha256").toString();
        e.stampNonce = QByteArray::fromHex(stamp.value("nonce").toString().toLatin1());
        e.stampToken = QByteArray::fromBase64(stamp.value("token").toString().toLatin1());
    }
    if (e.phase == JournalEntry::Phase::Begun) {
        const QJsonObject process = o.value("process").toObject();
        e.pid = qint64(process.value("pid").toDouble());
        e.boot = process.value("boot").toString();
        e.processStarted = process.value("started").toString().toLongLong();
        e.hostId = process.value("host_id").toString();
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

QString lineHash(const QByteArray &line)
{
    return QString::fromLatin1(sha256(line).toHex());
}

JournalRecord recordOf(const QJsonObject &object, const QByteArray &line, int lineNumber)
{
    return recordOf(object, lineHash(line), lineNumber);
}

JournalRecord recordOf(const QJsonObject &object, const QString &lineHash, int lineNumber)
{
    JournalRecord record;
    record.entry = entryFromJson(object);
    record.sequence = qint64(object.value("seq").toDouble());
    record.line = lineNumber;
    record.hash = lineHash;
    record.localTimeText = object.value("time_local").toString();
    return record;
}
