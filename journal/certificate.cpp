#include "certificate.h"

#include "kcc_version.h"
#include "signing.h"

#include <QCryptographicHash>
#include <QJsonDocument>

namespace {

QByteArray canonical(const QJsonObject &object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

// Overwriting is a Clear; the placement says whether it reached the key's blocks.
QString verificationMethod(const JournalEntry &e)
{
    if (e.verification == VerificationWord::Direct)
        return QStringLiteral("whole file read back past the cache and compared with the last pass");
    if (e.verification == VerificationWord::MaybeCached)
        return QStringLiteral("whole file read back (possibly from a cache) and compared with the last pass");
    if (e.targetKind == JournalEntry::TargetKind::Token)
        return QStringLiteral("each write confirmed by the token; deletion confirmed by a fresh search");
    return QStringLiteral("none");
}

} // namespace

QJsonObject certificateBody(const JournalRecord &ended, const QString &journalPath)
{
    const JournalEntry &e = ended.entry;
    QJsonObject media;
    if (e.targetKind == JournalEntry::TargetKind::File) {
        media = {{"media_type", "file"},
                 {"path", e.filePath},
                 {"size", double(e.size)},
                 {"file_system", e.fileSystem},
                 {"device", e.device},
                 {"placement", toWord(e.placement)}};
    } else {
        media = {{"media_type", "PKCS#11 token"},
                 {"label", e.tokenLabel},
                 {"model", e.tokenModel},
                 {"serial_number", e.tokenSerial},
                 {"container_size", double(e.size)}};
    }
    QJsonObject verification{{"method", verificationMethod(e)}, {"result", e.verification == VerificationWord::None ? toWord(e.endState) : toWord(e.verification)}};
    if (e.survivors >= 0)
        verification.insert("volume_search", QJsonObject{{"device", e.volumeDevice},
                                                         {"bytes_read", double(e.volumeBytesRead)},
                                                         {"key_blocks_found", e.survivors}});
    return QJsonObject{
        {"format", "kestrik-kcc destruction certificate 1"},
        {"media", media},
        {"sanitization", QJsonObject{{"category", "Clear"},
                                     {"technique", "overwrite"},
                                     {"algorithm", e.algorithmName},
                                     {"passes_planned", e.passesPlanned},
                                     {"passes_done", e.passesDone}}},
        {"verification", verification},
        {"result", QJsonObject{{"state", toWord(e.endState)}, {"text", e.resultText}}},
        {"tool", QJsonObject{{"name", "Kestrik KCC"}, {"version", e.version}}},
        {"started", e.started.isValid() ? e.started.toUTC().toString(Qt::ISODate) : QString()},
        {"ended", e.time.toUTC().toString(Qt::ISODate)},
        {"host", e.host},
        {"operator", e.user},
        {"journal", QJsonObject{{"path", journalPath}, {"seq", double(ended.sequence)}, {"entry_sha256", ended.hash}}},
    };
}

QString certificateFingerprint(const QJsonObject &body)
{
    return QString::fromLatin1(QCryptographicHash::hash(canonical(body), QCryptographicHash::Sha256).toHex());
}

QByteArray signCertificate(const QJsonObject &body, QString *why)
{
    SigningKey key;
    if (key.load(why) != SigningKey::Load::Loaded)
        return QByteArray();
    const QJsonObject document{{"certificate", body},
                               {"public_key", QString::fromLatin1(key.publicKey().toHex())},
                               {"signature", QString::fromLatin1(key.sign(canonical(body)).toBase64())}};
    return QJsonDocument(document).toJson(QJsonDocument::Indented);
}

bool verifyCertificate(const QByteArray &file, const QByteArray &publicKey, QString *why)
{
    const auto fail = [why](const QString &reason) {
        if (why)
            *why = reason;
        return false;
    };
    QJsonParseError parsed;
    const QJsonObject document = QJsonDocument::fromJson(file, &parsed).object();
    if (parsed.error != QJsonParseError::NoError || !document.value("certificate").isObject())
        return fail(QStringLiteral("not a certificate"));
    if (QByteArray::fromHex(document.value("public_key").toString().toLatin1()) != publicKey)
        return fail(QStringLiteral("signed with another key"));
    const QByteArray signature = QByteArray::fromBase64(document.value("signature").toString().toLatin1());
    if (!SigningKey::verify(canonical(document.value("certificate").toObject()), signature, publicKey))
        return fail(QStringLiteral("the signature does not hold: the certificate was changed"));
    return true;
}
