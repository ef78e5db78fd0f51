#include "journalhead.h"

#include "entryformat.h"
#include "signing.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>

#include <algorithm>

namespace journalchain {

namespace {

// What a signature found to hold was checked over: the same again holds.
QByteArray heldStamp(const Head &head, const QByteArray &publicKey)
{
    return publicKey + '\n' + head.message() + '\n' + head.signature.toLatin1();
}

// A copy's room in a new file: one page, doubled until the open attempts fit.
constexpr int kSlotSize = 4096;

// One copy from its bytes; false where they are not a head.
bool parseCopy(const QByteArray &bytes, Head *head)
{
    const QByteArray trimmed = bytes.trimmed();
    const QJsonObject o = QJsonDocument::fromJson(trimmed).object();
    if (!o.contains("seq") || !o.contains("sha256"))
        return false;
    head->present = true;
    head->stored = trimmed;
    head->seq = qint64(o.value("seq").toDouble());
    head->hash = o.value("sha256").toString();
    head->size = qint64(o.value("size").toDouble());
    head->signature = o.value("sig").toString();
    head->keyFingerprint = o.value("key_sha256").toString();
    head->generation = o.contains("gen") ? qint64(o.value("gen").toDouble()) : -1;
    for (const QJsonValue &v : o.value("open").toArray()) {
        const QJsonObject a = v.toObject();
        head->open.append({a.value("attempt").toString(), qint64(a.value("seq").toDouble()),
                           qint64(a.value("offset").toDouble()), qint64(a.value("length").toDouble()),
                           a.value("passes").toInt()});
    }
    return true;
}

bool twoCopies(const QByteArray &bytes)
{
    const int slot = bytes.size() / 2;
    return slot > 0 && bytes.size() == 2 * slot && bytes.at(slot - 1) == '\n' && bytes.at(2 * slot - 1) == '\n';
}

// The newest copy that holds (with no key: that parses); where none holds,
// the newest that parses, for its signature to be refused.
bool chooseCopy(const QByteArray &bytes, const QByteArray &publicKey, Head *head)
{
    const int slot = bytes.size() / 2;
    Head copies[2];
    bool parsed[2], holds[2];
    for (int i = 0; i < 2; ++i) {
        parsed[i] = parseCopy(bytes.mid(i * slot, slot), &copies[i]) && copies[i].generation >= 0;
        holds[i] = parsed[i] && (publicKey.isEmpty() || headSignatureHolds(copies[i], publicKey));
    }
    if (!parsed[0] && !parsed[1])
        return false;
    const bool *usable = holds[0] || holds[1] ? holds : parsed;
    const int chosen = !usable[1] ? 0 : !usable[0] ? 1 : copies[1].generation > copies[0].generation ? 1 : 0;
    const int other = 1 - chosen;
    *head = copies[chosen];
    head->slotSize = slot;
    if (holds[chosen] && !publicKey.isEmpty())
        head->heldWith = heldStamp(*head, publicKey);
    head->newerLost = !(holds[other] && copies[other].generation == head->generation - 1);
    return true;
}

// The copy as stored: signed over its body, naming the key.
QByteArray signedCopy(Head &head, const SigningKey &key)
{
    QJsonObject object = head.body();
    head.keyFingerprint = SigningKey::fingerprint(key.publicKey()); // which pinned key checks it
    object.insert("key_sha256", head.keyFingerprint);
    if (key.isLoaded())
        object.insert("sig", QString::fromLatin1(key.sign(head.message()).toBase64()));
    head.signature = object.value("sig").toString();
    head.heldWith.clear();
    head.stored = QJsonDocument(object).toJson(QJsonDocument::Compact);
    return head.stored;
}

QByteArray padded(const QByteArray &copy, int slot)
{
    return copy + QByteArray(slot - 1 - copy.size(), ' ') + '\n';
}

} // namespace

QJsonObject Head::body() const
{
    QJsonArray attempts;
    for (const OpenAttempt &a : open)
        attempts.append(QJsonObject{{"attempt", a.attempt},
                                    {"seq", double(a.seq)},
                                    {"offset", double(a.offset)},
                                    {"length", double(a.length)},
                                    {"passes", a.passes}});
    QJsonObject body{{"seq", double(seq)}, {"sha256", hash}, {"size", double(size)}, {"open", attempts}};
    if (generation >= 0)
        body.insert("gen", double(generation));
    return body;
}

QByteArray Head::message() const
{
    return QJsonDocument(body()).toJson(QJsonDocument::Compact);
}

HeadRead readHead(const QString &path, Head *head, QString *error, const QByteArray &publicKey)
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
    const QByteArray bytes = QByteArray::fromStdString(data);
    *head = Head();
    if (!(twoCopies(bytes) ? chooseCopy(bytes, publicKey, head) : parseCopy(bytes, head))) {
        *head = Head();
        *error = QStringLiteral("%1: not a journal head").arg(QDir::toNativeSeparators(path));
        return HeadRead::Refused;
    }
    return HeadRead::Read;
}

bool writeHead(const QString &path, Head &head, const SigningKey &key, std::string *reason)
{
    const qint64 next = head.generation >= 0 ? head.generation + 1 : 1;
    head.generation = next;
    const QByteArray copy = signedCopy(head, key);
    // One write and one sync, over the older copy: the newer stays whole
    // whatever happens to this write.
    if (head.slotSize > 0 && copy.size() < head.slotSize)
        return journalfile::overwriteOwnedFile(nativePath(path), (next % 2) * head.slotSize,
                                               padded(copy, head.slotSize).toStdString(), reason);
    // Made anew, whole or not at all: its other copy names the same entry
    // as the write before this one.
    Head before = head;
    before.generation = next - 1;
    const QByteArray previous = signedCopy(before, key);
    int slot = kSlotSize;
    while (std::max(copy.size(), previous.size()) >= slot)
        slot *= 2;
    QByteArray file(2 * slot, ' ');
    file.replace(int(next % 2) * slot, slot, padded(copy, slot));
    file.replace(int((next - 1) % 2) * slot, slot, padded(previous, slot));
    if (!journalfile::publishFile(nativePath(path), file.toStdString(), true, nullptr, reason))
        return false;
    head.slotSize = slot;
    return true;
}

bool headSignatureHolds(const Head &head, const QByteArray &publicKey)
{
    if (!head.heldWith.isEmpty() && head.heldWith == heldStamp(head, publicKey))
        return true;
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
