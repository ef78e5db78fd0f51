#include "journalhead.h"

#include "entryformat.h"
#include "signing.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>

#include <algorithm>

namespace journalchain {

QJsonObject Head::body() const
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

QByteArray Head::message() const
{
    return QJsonDocument(body()).toJson(QJsonDocument::Compact);
}

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

bool headSignatureHolds(const Head &head, const QByteArray &publicKey)
{
    return SigningKey::verify(head.message(), QByteArray::fromBase64(head.signature.toLatin1()), publicKey);
}

void applyToOpen(QVector<OpenAttempt> &open, const QJsonObject &o, qint64 seq, qint64 offset, qint64 length)
{
    const QString attempt = o.value("attempt").toString();
    if (attempt.isEmpty())
        return;
    const JournalEntry::Phase phase = phaseFromWord(o.value("phase").toString());
    const auto at = std::find_if(open.begin(), open.end(), [&](const OpenAttempt &a) { return a.attempt == attempt; });
    if (phase == JournalEntry::Phase::Begun) {
        if (at == open.end())
            open.append({attempt, seq, offset, length, 0});
    } else if (phase == JournalEntry::Phase::Progress) {
        if (at != open.end())
            at->passes = std::max(at->passes, o.value("passes").toObject().value("done").toInt());
    } else if (at != open.end()) {
        open.erase(at);
    }
}

} // namespace journalchain
