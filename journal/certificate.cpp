#include "certificate.h"

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

// The body's text as the file holds it, whitespace outside strings left out:
// for a file this program wrote (Qt's indented form of the same sorted
// object) the very bytes it signed, found without serialising the body
// again, which costs a third of the signature's check. Empty unless
// "certificate" is exactly one top-level key with an object for its value,
// so that the body parsed from the file is the one these bytes say.
QByteArray bodyAsWritten(const QByteArray &file);
QByteArray bodyAsWritten(const QByteArray &file)
{
    // The text without the whitespace, strings copied whole.
    QByteArray compact(file.size(), Qt::Uninitialized);
    const char *in = file.constData();
    const char *const inEnd = in + file.size();
    char *out = compact.data();
    while (in < inEnd) {
        const char c = *in;
        if (c == '"') {
            const char *close = in + 1;
            while (close < inEnd && *close != '"') {
                if (*close == '\\' && ++close == inEnd)
                    break;
                ++close;
            }
            if (close >= inEnd)
                return QByteArray();
            out = std::copy(in, close + 1, out);
            in = close + 1;
        } else {
            if (c != ' ' && c != '\n' && c != '\r' && c != '\t')
                *out++ = c;
            ++in;
        }
    }
    compact.truncate(int(out - compact.constData()));
    // Its top-level keys: "certificate" once, an object.
    static const QByteArray key = QByteArrayLiteral("\"certificate\":{");
    const char *const begin = compact.constData();
    const char *const end = begin + compact.size();
    int depth = 0, found = 0;
    const char *from = nullptr, *to = nullptr;
    bool expectKey = false;
    for (const char *at = begin; at < end; ++at) {
        const char c = *at;
        if (c == '"') {
            if (depth == 1 && expectKey && end - at >= key.size() && std::equal(key.cbegin(), key.cend(), at)) {
                ++found;
                from = at + key.size() - 1;
            }
            for (++at; *at != '"'; ++at)
                at += *at == '\\' ? 1 : 0;
            expectKey = false;
        } else if (c == '{' || c == '[') {
            ++depth;
            expectKey = c == '{' && depth == 1;
        } else if (c == '}' || c == ']') {
            if (--depth == 1 && from && !to)
                to = at + 1;
        } else if (c == ',') {
            expectKey = depth == 1;
        }
    }
    return found == 1 && depth == 0 && to ? QByteArray(from, int(to - from)) : QByteArray();
}

} // namespace

CertificateCheck checkCertificate(const QByteArray &file, const QHash<QString, QByteArray> &keys)
{
    CertificateCheck check;
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
    const QByteArray written = bodyAsWritten(file);
    if ((written.isEmpty() || !SigningKey::verify(written, signature, pinned.value()))
        && !SigningKey::verify(canonical(check.body), signature, pinned.value()))
        return fail(QCoreApplication::translate("Certificate", "подпись не верна: сертификат изменен"), "signature");
    check.state = CertificateCheck::State::Holds;
    check.signer = signer;
    return check;
}
