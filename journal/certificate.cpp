#include "certificate.h"

#include "compactjson.h"
#include "kcc_version.h"
#include "sha256.h"
#include "signing.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>

namespace {

QByteArray canonical(const QJsonObject &object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

// What the program could not learn is said, never left blank or guessed.
QJsonValue known(const QString &value)
{
    return value.isEmpty() ? QStringLiteral("unknown") : value;
}

QJsonValue knownSize(qint64 size)
{
    return size < 0 ? QJsonValue(QStringLiteral("unknown")) : QJsonValue(double(size));
}

bool isFile(const JournalEntry &e)
{
    return e.targetKind == JournalEntry::TargetKind::File;
}

QString readBack(const JournalEntry &e)
{
    if (!isFile(e))
        return QStringLiteral("each write read back through the token and compared with what was written");
    switch (e.verification) {
    case VerificationWord::Direct:
        return QStringLiteral("whole file read back past the cache and compared with the last pass");
    case VerificationWord::MaybeCached:
        return QStringLiteral("whole file read back, possibly from a cache, and compared with the last pass");
    case VerificationWord::None:
        return QStringLiteral("unknown");
    default:
        return QStringLiteral("not compared: ") + toWord(e.verification);
    }
}

// One sentence per doubt the verdict left; none for a proven ending.
QStringList doubtsOf(const JournalEntry &e)
{
    QStringList doubts;
    const QString doubt = doubtOf(e.endState);
    if (!doubt.isEmpty())
        doubts << doubt;
    if (isFile(e) && e.verification == VerificationWord::MaybeCached)
        doubts << QStringLiteral("the read-back may have come from a cache");
    if (e.deviceLimits.contains(QStringLiteral("flash")))
        doubts << QStringLiteral("the device is flash memory: its controller may keep remapped copies that only the device's own sanitize reaches");
    if (e.deviceLimits.contains(QStringLiteral("image-file")))
        doubts << QStringLiteral("the volume is an image file on another file system, whose own limits apply too");
    if (!isFile(e))
        doubts << QStringLiteral("the read-back and the search go through the token: they prove what the token answers, not what its memory holds");
    return doubts;
}

QJsonValue disksOf(const JournalEntry &e)
{
    if (e.disks.isEmpty())
        return QStringLiteral("unknown");
    QJsonArray disks;
    for (const JournalEntry::Disk &d : e.disks)
        disks.append(QJsonObject{{"name", known(d.name)},
                                 {"kind", known(d.kind)},
                                 {"maker", known(d.maker)},
                                 {"model", known(d.model)},
                                 {"serial_number", known(d.serial)},
                                 {"transport", known(d.transport)}});
    return disks;
}

QJsonObject verificationOf(const JournalEntry &e)
{
    QJsonObject verification{{"read_back", readBack(e)}};
    if (isFile(e)) {
        verification.insert("volume_search",
                            e.survivors < 0 ? QJsonValue(QStringLiteral("not run"))
                                            : QJsonValue(QJsonObject{{"devices", known(e.volumeDevice)},
                                                                     {"bytes_read", knownSize(e.volumeBytesRead)},
                                                                     {"key_blocks_found", e.survivors}}));
        if (e.fill != FillWord::None)
            verification.insert("free_space_fill", QJsonObject{{"result", toWord(e.fill)},
                                                               {"bytes_written", knownSize(e.fillBytes)}});
    } else {
        // A token ending counted as gone only once a fresh search found nothing.
        verification.insert("absence_on_token",
                            QStringLiteral("proven by a fresh search after the module was started again: no object "
                                           "with the container's application, original value, any pass's value or "
                                           "unique id"));
    }
    return verification;
}

QJsonValue field(const JournalEntry &e, const char *key)
{
    return known(e.organisationFields.value(QString::fromLatin1(key)));
}

} // namespace

QJsonObject certificateBody(const JournalRecord &ended, const QString &journalPath)
{
    const JournalEntry &e = ended.entry;
    QJsonObject media;
    if (isFile(e)) {
        media = {{"media_type", "file"},
                 {"path", e.filePath},
                 {"size", knownSize(e.size)},
                 {"file_system", known(e.fileSystem)},
                 {"volume_device", known(e.device)},
                 {"placement", known(toWord(e.placement))},
                 {"disks", disksOf(e)}};
    } else {
        media = {{"media_type", "PKCS#11 token"},
                 {"maker", known(e.tokenMaker)},
                 {"model", known(e.tokenModel)},
                 {"serial_number", known(e.tokenSerial)},
                 {"label", known(e.tokenLabel)},
                 {"container_label", known(e.containerLabel)},
                 {"container_size", knownSize(e.size)}};
    }
    media.insert("property_number", field(e, "media/property_number"));
    media.insert("source", field(e, "media/source"));
    media.insert("classification", field(e, "media/classification"));
    media.insert("data_backed_up", field(e, "media/data_backed_up"));
    media.insert("backup_location", field(e, "media/backup_location"));

    QJsonArray passes;
    for (int i = 0; i < e.passPatterns.size(); ++i)
        passes.append(QJsonObject{{"pass", i + 1}, {"pattern", e.passPatterns.at(i)}});
    const bool settings = e.operatorSource == QLatin1String("settings");
    return QJsonObject{
        {"format", "kestrik-kcc destruction certificate 2"},
        {"media", media},
        {"sanitization", QJsonObject{{"scope", isFile(e) ? "the named container: the file" : "the named container: the token object"},
                                     {"technique", "overwrite, then removal"},
                                     {"algorithm", known(e.algorithmName)},
                                     {"passes_planned", e.passesPlanned},
                                     {"passes_done", e.passesDone},
                                     {"passes", passes.isEmpty() ? QJsonValue(QStringLiteral("unknown")) : QJsonValue(passes)},
                                     {"doubts", QJsonArray::fromStringList(doubtsOf(e))},
                                     {"post_sanitization_classification", field(e, "sanitization/post_classification")},
                                     {"notes", field(e, "sanitization/notes")}}},
        {"verification", verificationOf(e)},
        {"result", QJsonObject{{"state", toWord(e.endState)},
                               {"kind", toWord(kindOf(e.endState))},
                               {"text", e.resultText}}},
        {"destination", QJsonObject{{"kind", field(e, "destination/kind")}, {"details", field(e, "destination/details")}}},
        {"tool", QJsonObject{{"name", "Kestrik KCC"}, {"version", e.version}}},
        {"started", e.started.isValid() ? e.started.toUTC().toString(Qt::ISODate) : QStringLiteral("unknown")},
        {"ended", e.time.toUTC().toString(Qt::ISODate)},
        {"host", e.host},
        {"operator", QJsonObject{{"name", settings ? e.operatorName : e.user},
                                 {"name_source", settings ? "settings" : "login"},
                                 {"login", e.user},
                                 {"title", known(e.operatorTitle)},
                                 {"organisation", known(e.operatorOrganisation)},
                                 {"location", known(e.operatorLocation)},
                                 {"phone", known(e.operatorPhone)}}},
        // Verification is what the program checked; validation is a person's, after it.
        {"validation", QJsonObject{{"name", ""}, {"title", ""}, {"date", ""}, {"signature", ""}}},
        {"journal", QJsonObject{{"path", journalPath}, {"seq", double(ended.sequence)}, {"entry_sha256", ended.hash}}},
    };
}

bool certificateIssued(const JournalEntry &ended)
{
    return ended.phase == JournalEntry::Phase::Ended && isGone(ended.endState);
}

namespace {

void flatten(const QString &path, const QJsonValue &value, QVector<QPair<QString, QString>> &out)
{
    const auto joined = [&path](const QString &key) { return path.isEmpty() ? key : path + QLatin1Char('.') + key; };
    if (value.isObject()) {
        const QJsonObject object = value.toObject();
        for (auto i = object.begin(); i != object.end(); ++i)
            flatten(joined(i.key()), i.value(), out);
    } else if (value.isArray()) {
        const QJsonArray array = value.toArray();
        if (array.isEmpty())
            out.append({path, QStringLiteral("[]")});
        for (int i = 0; i < array.size(); ++i)
            flatten(joined(QString::number(i + 1)), array.at(i), out);
    } else if (value.isDouble()) {
        out.append({path, QString::number(value.toDouble(), 'g', 17)});
    } else {
        out.append({path, value.toString()});
    }
}

} // namespace

QVector<QPair<QString, QString>> certificateFields(const QJsonObject &body)
{
    QVector<QPair<QString, QString>> fields;
    flatten(QString(), body, fields);
    return fields;
}

QString certificateFingerprint(const QJsonObject &body)
{
    return QString::fromLatin1(sha256(canonical(body)).toHex());
}

QByteArray signCertificate(const QJsonObject &body, QString *why)
{
    SigningKey key;
    if (key.load(why) != SigningKey::Load::Loaded)
        return QByteArray();
    const QJsonObject document{{"certificate", body},
                               {"public_key", QString::fromLatin1(key.publicKey().toHex())},
                               {"signer_key_sha256", SigningKey::fingerprint(key.publicKey())},
                               {"signature", QString::fromLatin1(key.sign(canonical(body)).toBase64())}};
    return QJsonDocument(document).toJson(QJsonDocument::Indented);
}

QHash<QString, QByteArray> keysByFingerprint(const QVector<QByteArray> &keys)
{
    QHash<QString, QByteArray> byFingerprint;
    for (const QByteArray &key : keys)
        byFingerprint.insert(SigningKey::fingerprint(key), key);
    return byFingerprint;
}

int certificateLine(const QByteArray &file, const char *field)
{
    const int at = file.indexOf(QByteArray("\"") + field + "\"");
    return at < 0 ? 1 : int(file.left(at).count('\n')) + 1;
}

namespace {

// The collection's way through a certificate as this program writes it: its
// four members, the body's text (whitespace outside strings left out, which
// for Qt's indented form of a sorted object is the very bytes signed), its
// signature checked over that text, and the summary's fields read from it.
// Parsing the file and serialising the body again would cost half the
// signature's check. false: anything else, for the whole check to decide.
bool summaryHolds(const QByteArray &file, const QHash<QString, QByteArray> &keys, CertificateCheck *check)
{
    using namespace compactjson;
    const QByteArray text = compacted(file);
    std::vector<Member> top;
    if (!membersOf(text, Span{0, int(text.size())}, &top) || top.size() != 4)
        return false;
    const Span body = member(top, "certificate");
    QByteArray carried, signer, signature;
    if (!body.found() || text.at(body.from) != '{' || !plainString(text, member(top, "public_key"), &carried)
        || !plainString(text, member(top, "signer_key_sha256"), &signer)
        || !plainString(text, member(top, "signature"), &signature))
        return false;
    const auto pinned = keys.constFind(QString::fromLatin1(signer));
    if (pinned == keys.constEnd() || QByteArray::fromHex(carried) != pinned.value())
        return false;
    const QByteArray written = text.mid(body.from, body.to - body.from);
    if (!SigningKey::verify(written, QByteArray::fromBase64(signature), pinned.value()))
        return false;
    // Signed, so as the program wrote it: the fields where they stand.
    std::vector<Member> fields, journal, timestamp;
    QByteArray host, entry, stamp;
    bool number = false;
    if (!membersOf(written, Span{0, int(written.size())}, &fields) || !plainString(written, member(fields, "host"), &host)
        || !membersOf(written, member(fields, "journal"), &journal)
        || !plainString(written, member(journal, "entry_sha256"), &entry))
        return false;
    const Span seqAt = member(journal, "seq");
    const qint64 seq = seqAt.found() ? written.mid(seqAt.from, seqAt.to - seqAt.from).toLongLong(&number) : 0;
    const Span stampAt = member(fields, "timestamp");
    if (!number || (stampAt.found() && (!membersOf(written, stampAt, &timestamp)
                                        || !plainString(written, member(timestamp, "state"), &stamp)))
        || stamp == "stamped")
        return false;
    check->body = QJsonObject{{"host", QString::fromUtf8(host)},
                              {"journal", QJsonObject{{"seq", double(seq)}, {"entry_sha256", QString::fromLatin1(entry)}}}};
    if (stampAt.found())
        check->body.insert("timestamp", QJsonObject{{"state", QString::fromUtf8(stamp)}});
    check->state = CertificateCheck::State::Holds;
    check->signer = QString::fromLatin1(signer);
    return true;
}

} // namespace

CertificateCheck checkCertificate(const QByteArray &file, const QHash<QString, QByteArray> &keys, CertificateBody wanted)
{
    CertificateCheck check;
    if (wanted == CertificateBody::Summary && summaryHolds(file, keys, &check))
        return check;
    const auto fail = [&check, &file](const QString &why, const char *field) {
        check.state = CertificateCheck::State::Fails;
        check.why = why;
        check.line = certificateLine(file, field);
        return check;
    };
    QJsonParseError parsed;
    const QJsonObject document = QJsonDocument::fromJson(file, &parsed).object();
    if (parsed.error != QJsonParseError::NoError || !document.value("certificate").isObject()) {
        check.state = CertificateCheck::State::Fails;
        check.why = QCoreApplication::translate("Certificate", "это не сертификат уничтожения");
        check.line = parsed.error != QJsonParseError::NoError ? int(file.left(parsed.offset).count('\n')) + 1 : 1;
        return check;
    }
    check.body = document.value("certificate").toObject();
    const QByteArray carried = QByteArray::fromHex(document.value("public_key").toString().toLatin1());
    // Certificates from before the field name their key only by the key they carry.
    const QString signer = document.contains("signer_key_sha256") ? document.value("signer_key_sha256").toString()
                                                                   : SigningKey::fingerprint(carried);
    if (keys.isEmpty()) {
        check.why = QCoreApplication::translate("Certificate", "нет ключа, которому можно доверять: ключи организации не "
                                                "закреплены и --key не указан; ключ внутри сертификата ничего не доказывает");
        return check;
    }
    const auto pinned = keys.constFind(signer);
    if (pinned == keys.constEnd())
        return fail(QCoreApplication::translate("Certificate", "подписан ключом %1…, которого нет среди закрепленных ключей")
                        .arg(signer.left(16)),
                    document.contains("signer_key_sha256") ? "signer_key_sha256" : "public_key");
    if (!carried.isEmpty() && carried != pinned.value())
        return fail(QCoreApplication::translate("Certificate", "ключ в сертификате не тот, который он называет"), "public_key");
    const QByteArray signature = QByteArray::fromBase64(document.value("signature").toString().toLatin1());
    if (!SigningKey::verify(canonical(check.body), signature, pinned.value()))
        return fail(QCoreApplication::translate("Certificate", "подпись не верна: сертификат изменен"), "signature");
    check.state = CertificateCheck::State::Holds;
    check.signer = signer;
    return check;
}
