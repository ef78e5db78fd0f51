#include "eventstore.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QXmlStreamReader>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <memory>

#ifdef KCC_HAVE_SYSTEMD
#include <systemd/sd-journal.h>
#endif

namespace eventstore {

namespace {

constexpr qint64 kLongestLine = 1 << 20; // an event is far shorter; longer lines are passed over
const QByteArray kKeyMark = " KCC_KEY_SHA256=";
const QByteArray kHeadMark = " KCC_HEAD={";
const QByteArray kEntryMark = " KCC_ENTRY={";
const QByteArray kOmittedMark = " KCC_ENTRY_OMITTED=";

bool isObject(const QByteArray &bytes)
{
    QJsonParseError error;
    return QJsonDocument::fromJson(bytes, &error).isObject() && error.error == QJsonParseError::NoError;
}

QString keyOfHead(const QByteArray &head)
{
    return QJsonDocument::fromJson(head).object().value("key_sha256").toString();
}

// The sender's name in a syslog file's line: RFC 5424, RFC 3339 stamps
// (rsyslog's file format) or the traditional "Mmm dd hh:mm:ss host".
QString syslogHost(const QByteArray &line)
{
    const char *at = line.constData();
    const char *end = at + std::min(line.size(), 512);
    bool rfc5424 = false;
    if (at < end && *at == '<') {
        const char *close = static_cast<const char *>(std::memchr(at, '>', size_t(end - at)));
        if (close) {
            at = close + 1;
            rfc5424 = end - at >= 2 && at[0] == '1' && at[1] == ' ';
        }
    }
    // The words, runs of spaces between them; the host is the 4th, the 2nd
    // after an RFC 3339 stamp, the 3rd in RFC 5424.
    int wanted = rfc5424 ? 2 : 3;
    for (int word = 0; at < end; ++word) {
        while (at < end && *at == ' ')
            ++at;
        const char *from = at;
        while (at < end && *at != ' ')
            ++at;
        if (from == at)
            break;
        if (word == 0 && !rfc5424 && std::isdigit(static_cast<unsigned char>(*from)))
            wanted = 1;
        if (word == wanted)
            return QString::fromUtf8(from, int(at - from));
    }
    return QString();
}

// One line of at most kLongestLine bytes, through a buffer kept for the
// file: QIODevice::readLine(max) would make and free a buffer of max bytes a
// line, each one mapped and unmapped, which costs more than the line.
class LineBuffer
{
public:
    QByteArray read(QFile &file)
    {
        if (buffer.isEmpty())
            buffer.resize(int(kLongestLine) + 1);
        const qint64 n = file.readLine(buffer.data(), buffer.size());
        return n > 0 ? QByteArray(buffer.constData(), int(n)) : QByteArray();
    }

private:
    QByteArray buffer;
};

class LineReader
{
public:
    explicit LineReader(QFile &file) : file(file) {}
    bool next(QByteArray *line)
    {
        while (!file.atEnd()) {
            *line = buffer.read(file);
            ++number;
            if (line->endsWith('\n')) {
                line->chop(1);
                if (line->endsWith('\r'))
                    line->chop(1);
                return true;
            }
            if (file.atEnd())
                return true;
            // Longer than any event: the rest of it is skipped.
            while (!file.atEnd() && !buffer.read(file).endsWith('\n')) {
            }
        }
        return false;
    }
    int number = 0;

private:
    QFile &file;
    LineBuffer buffer;
};

bool readSyslog(QFile &file, const Sink &sink)
{
    LineReader reader(file);
    QByteArray line;
    while (reader.next(&line)) {
        if (!line.contains("KCC_KEY_SHA256="))
            continue;
        Event event;
        if (!parseSyslogMessage(line, &event))
            continue;
        event.host = syslogHost(line);
        event.line = reader.number;
        sink(std::move(event));
    }
    return true;
}

// The fields of one journald record, whatever the format they came in.
struct Fields {
    QString host;
    QByteArray entry, head, key, message;
    void take(const QByteArray &name, const QByteArray &value)
    {
        if (name == "_HOSTNAME")
            host = QString::fromUtf8(value);
        else if (name == "KCC_ENTRY")
            entry = value;
        else if (name == "KCC_HEAD")
            head = value;
        else if (name == "KCC_KEY_SHA256")
            key = value;
        else if (name == "MESSAGE")
            message = value;
    }
    // An event sent through syslog(3) into journald carries it all in its message.
    bool event(Event *out) const
    {
        if (entry.isEmpty() && head.isEmpty())
            return message.contains("KCC_KEY_SHA256=") && parseSyslogMessage(message, out) && (out->host = host, true);
        if (head.isEmpty())
            return false;
        out->host = host;
        out->entry = entry;
        out->head = head;
        out->key = key.isEmpty() ? keyOfHead(head) : QString::fromLatin1(key);
        return true;
    }
};

// journalctl -o export: NAME=value lines, or NAME, a little-endian 64-bit
// size and the bytes; a blank line ends a record.
bool readExport(QFile &file, const Sink &sink)
{
    Fields fields;
    int first = 0;
    int number = 0;
    const auto flush = [&] {
        Event event;
        if (fields.event(&event)) {
            event.line = first;
            sink(std::move(event));
        }
        fields = Fields();
        first = 0;
    };
    LineBuffer buffer;
    while (!file.atEnd()) {
        QByteArray line = buffer.read(file);
        ++number;
        if (line.endsWith('\n'))
            line.chop(1);
        if (line.isEmpty()) {
            flush();
            continue;
        }
        if (!first)
            first = number;
        const int equals = line.indexOf('=');
        if (equals > 0) {
            fields.take(line.left(equals), line.mid(equals + 1));
            continue;
        }
        quint64 size = 0;
        const QByteArray length = file.read(8);
        for (int i = length.size() - 1; i >= 0; --i)
            size = (size << 8) | quint8(length[i]);
        if (length.size() != 8 || size > quint64(kLongestLine))
            return false;
        const QByteArray value = file.read(qint64(size));
        number += value.count('\n');
        file.read(1);
        fields.take(line, value);
    }
    flush();
    return true;
}

QByteArray jsonValue(const QJsonValue &value)
{
    if (value.isString())
        return value.toString().toUtf8();
    QByteArray bytes;
    for (const QJsonValue &b : value.toArray())
        bytes.append(char(b.toInt()));
    return bytes;
}

// journalctl -o json: one object a line, binary values as arrays of bytes.
bool readJson(QFile &file, const Sink &sink)
{
    LineReader reader(file);
    QByteArray line;
    while (reader.next(&line)) {
        if (!line.contains("KCC_"))
            continue;
        const QJsonObject object = QJsonDocument::fromJson(line).object();
        Fields fields;
        for (const char *name : {"_HOSTNAME", "KCC_ENTRY", "KCC_HEAD", "KCC_KEY_SHA256", "MESSAGE"})
            fields.take(name, jsonValue(object.value(QLatin1String(name))));
        Event event;
        if (fields.event(&event)) {
            event.line = reader.number;
            sink(std::move(event));
        }
    }
    return true;
}

bool readJournalFile(const QString &path, const Sink &sink, QString *error)
{
#ifdef KCC_HAVE_SYSTEMD
    const QByteArray name = QFile::encodeName(path);
    const char *paths[] = {name.constData(), nullptr};
    sd_journal *opened = nullptr;
    const int failed = sd_journal_open_files(&opened, paths, 0);
    if (failed < 0) {
        *error = QString::fromLocal8Bit(std::strerror(-failed));
        return false;
    }
    const std::unique_ptr<sd_journal, decltype(&sd_journal_close)> journal(opened, sd_journal_close);
    int number = 0;
    SD_JOURNAL_FOREACH(journal.get()) {
        ++number;
        Fields fields;
        for (const char *field : {"_HOSTNAME", "KCC_ENTRY", "KCC_HEAD", "KCC_KEY_SHA256", "MESSAGE"}) {
            const void *data = nullptr;
            size_t size = 0;
            if (sd_journal_get_data(journal.get(), field, &data, &size) < 0)
                continue;
            const QByteArray item(static_cast<const char *>(data), int(size));
            const int equals = item.indexOf('=');
            fields.take(item.left(equals), item.mid(equals + 1));
        }
        Event event;
        if (fields.event(&event)) {
            event.line = number;
            sink(std::move(event));
        }
    }
    return true;
#else
    (void)path;
    (void)sink;
    *error = QStringLiteral("journal files are read where libsystemd is");
    return false;
#endif
}

// wevtutil qe … /f:xml: <Event> elements one after another, no root. The
// insertion strings: the person's line, the entry, the head.
bool readWindowsXml(QFile &file, const Sink &sink, QString *error)
{
    QXmlStreamReader xml;
    xml.addData("<Events>");
    bool fed = false;
    Event event;
    QVector<QByteArray> data;
    while (true) {
        const QXmlStreamReader::TokenType token = xml.readNext();
        if (token == QXmlStreamReader::Invalid && xml.error() == QXmlStreamReader::PrematureEndOfDocumentError) {
            if (fed)
                break;
            const QByteArray chunk = file.read(1 << 16);
            if (chunk.isEmpty()) {
                xml.addData("</Events>");
                fed = true;
            } else {
                xml.addData(chunk);
            }
            continue;
        }
        if (token == QXmlStreamReader::Invalid) {
            *error = QStringLiteral("%1: %2").arg(xml.lineNumber()).arg(xml.errorString());
            return false;
        }
        if (token == QXmlStreamReader::EndDocument)
            break;
        if (token == QXmlStreamReader::StartElement) {
            if (xml.name() == QLatin1String("Event")) {
                event = Event();
                event.line = int(xml.lineNumber());
                data.clear();
            } else if (xml.name() == QLatin1String("Computer")) {
                event.host = xml.readElementText();
            } else if (xml.name() == QLatin1String("Data")) {
                data.append(xml.readElementText().toUtf8());
            }
        } else if (token == QXmlStreamReader::EndElement && xml.name() == QLatin1String("Event") && data.size() >= 3
                   && !data.at(2).isEmpty()) {
            event.entry = data.at(1);
            event.head = data.at(2);
            event.key = keyOfHead(event.head);
            sink(std::move(event));
        }
    }
    return true;
}

} // namespace

bool parseSyslogMessage(const QByteArray &message, Event *event)
{
    // The entry comes last and is the one object that runs to the end: a
    // file name in the person's text may hold the marker too.
    // With the marker there once, the entry's own check (its fields and its
    // signature) tells whether it is one; parsing it here too would cost the
    // reading thread, which the checking threads wait for.
    int entryAt = message.indexOf(kEntryMark);
    if (entryAt >= 0 && message.indexOf(kEntryMark, entryAt + 1) >= 0) {
        for (int at = entryAt; ; at = message.indexOf(kEntryMark, at + 1)) {
            if (at < 0 || isObject(message.mid(at + kEntryMark.size() - 1))) {
                entryAt = at;
                break;
            }
        }
    }
    int end = entryAt;
    if (entryAt < 0) {
        end = message.lastIndexOf(kOmittedMark);
        if (end < 0)
            return false;
        event->omitted = message.mid(end + kOmittedMark.size()).trimmed().toLongLong();
    } else {
        event->entry = message.mid(entryAt + kEntryMark.size() - 1);
    }
    const int headAt = message.lastIndexOf(kHeadMark, end);
    const int keyAt = headAt < 0 ? -1 : message.lastIndexOf(kKeyMark, headAt);
    if (keyAt < 0)
        return false;
    event->head = message.mid(headAt + kHeadMark.size() - 1, end - headAt - kHeadMark.size() + 1);
    event->key = QString::fromLatin1(message.mid(keyAt + kKeyMark.size(), headAt - keyAt - kKeyMark.size()));
    return true;
}

Format formatOf(const QString &path)
{
    if (path.endsWith(QLatin1String(".journal")) || path.endsWith(QLatin1String(".journal~")))
        return Format::JournalFile;
    if (path.endsWith(QLatin1String(".head")) || path.endsWith(QLatin1String(".last")))
        return Format::None;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return Format::None;
    const QByteArray start = file.peek(4096);
    if (start.startsWith("__CURSOR=") || start.startsWith("__REALTIME_TIMESTAMP="))
        return Format::JournalExport;
    // journalctl's json: its fields in no set order, the cursor among them.
    if (start.startsWith('{') && start.left(start.indexOf('\n')).contains("\"__CURSOR\":"))
        return Format::JournalJson;
    if (path.endsWith(QLatin1String(".jsonl")) || path.endsWith(QLatin1String(".json")))
        return Format::None;
    if (start.trimmed().startsWith("<Event") || (start.startsWith("<?xml") && start.contains("<Event")))
        return Format::WindowsXml;
    // Text a syslog daemon wrote; a binary file is none.
    return start.contains('\0') ? Format::None : Format::Syslog;
}

bool readEvents(const QString &path, Format format, const Sink &sink, QString *error)
{
    if (format == Format::JournalFile)
        return readJournalFile(path, sink, error);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = file.errorString();
        return false;
    }
    switch (format) {
    case Format::Syslog:
        return readSyslog(file, sink);
    case Format::JournalExport:
        if (!readExport(file, sink)) {
            *error = QStringLiteral("not journal export format");
            return false;
        }
        return true;
    case Format::JournalJson:
        return readJson(file, sink);
    case Format::WindowsXml:
        return readWindowsXml(file, sink, error);
    case Format::None:
    case Format::JournalFile:
        break;
    }
    return true;
}

} // namespace eventstore
