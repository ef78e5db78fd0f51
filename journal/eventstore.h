#ifndef EVENTSTORE_H
#define EVENTSTORE_H

#include <QByteArray>
#include <QString>

#include <functional>

// What a collector keeps of the program's system-log events, read back: the
// files systemd-journal-remote writes, journalctl's export and json output,
// rsyslog's files (traditional and RFC 5424) and wevtutil's XML. Each event
// that carries its signed entry comes out as one Event; the rest of a store
// (other programs' lines) is passed over.
namespace eventstore {

struct Event {
    QString host;      // as the collector recorded the sender
    QString key;       // fingerprint of the key the event names
    QByteArray entry;  // the entry's line as the journal stores it; empty: not carried
    QByteArray head;   // the head after it, as stored
    qint64 omitted = -1; // the entry's size where the syslog line left it out
    int line = 0;      // of the file (the n-th entry of a journal file)
};

enum class Format { None, Syslog, JournalExport, JournalJson, JournalFile, WindowsXml };

// By the name and the first bytes; None for what is not a store of events
// (the journals, heads and certificates of a collection).
Format formatOf(const QString &path);

using Sink = std::function<void(Event &&)>;
// Streams the file, one event at a time: memory does not grow with its size.
// false, with error, where it cannot be read (what was read is handed on).
bool readEvents(const QString &path, Format format, const Sink &sink, QString *error);

// One syslog message (the part after the header or the whole line): the
// event it carries, if any.
bool parseSyslogMessage(const QByteArray &message, Event *event);

} // namespace eventstore

#endif // EVENTSTORE_H
