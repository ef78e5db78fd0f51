#ifndef JOURNALEVENTS_H
#define JOURNALEVENTS_H

#include "journal.h"
#include "journalhead.h"
#include "systemlog.h"

// Tells the system log of one append, written or not (why: what stopped
// it), with the head it left. dropped, when given, says whether the copy
// could not be sent in time; untouched where the system log is turned off.
// A written entry travels whole (line: as stored, without its newline) with
// the head after it, so that the collector's store can be checked alone.
void logAppend(const JournalRecord &record, bool written, const QString &why, const QString &journalPath,
               const QByteArray &publicKey, const journalchain::Head &head, const QByteArray &line, bool *dropped);

// The syslog line of an event: the person's text, then the key, the head and
// the signed entry, the entry last. Where the whole would not fit what a
// syslog daemon keeps by default, the entry is left out and the line says so.
std::string syslogEventLine(const std::string &text, const journalfile::LogFields &fields);
constexpr std::size_t kSyslogLineLimit = 8000; // rsyslog keeps 8096 bytes a message by default

#endif // JOURNALEVENTS_H
