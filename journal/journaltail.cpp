#include "journalhead.h"

#include "entryformat.h"

#include <QCoreApplication>
#include <QJsonDocument>

#include <algorithm>

namespace journalchain {

namespace {

// The last whole entry among bytes[floor, end], scanned back from the end.
bool lastEntryIn(const QByteArray &bytes, int floor, Tail *tail)
{
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
    return false;
}

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
        if (lastEntryIn(bytes, floor, tail))
            return true;
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

} // namespace

bool headAtEnd(const journalfile::LockedFile &file, std::int64_t size, const QString &headPath,
               const QByteArray &publicKey, Head *head, Tail *tail, QString *why)
{
    std::string reason;
    QString error;
    const HeadRead read = readHead(headPath, head, &error, publicKey);
    if (read == HeadRead::Refused) {
        *why = error;
        return false;
    }
    if (read == HeadRead::Read && !publicKey.isEmpty() && !headSignatureHolds(*head, publicKey)) {
        *why = QCoreApplication::translate("JournalTail", "подпись головы журнала не верна: голова подменена");
        return false;
    }
    if (!readTail(file, size, tail, &reason)) {
        *why = QString::fromStdString(reason);
        return false;
    }
    if (read == HeadRead::Missing) {
        *head = Head();
        head->present = false;
    } else if (tail->seq < head->seq || (tail->seq == head->seq && tail->hash != head->hash)
               || (head->newerLost && tail->seq <= head->seq)) {
        *why = QCoreApplication::translate("JournalTail", "журнал кончается записью %1, а его голова называет запись %2: "
                                           "конец журнала отрезан или изменен")
                   .arg(tail->seq)
                   .arg(head->newerLost && tail->seq == head->seq ? head->seq + 1 : head->seq);
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

} // namespace journalchain
