#ifndef SYSTEMLOG_H
#define SYSTEMLOG_H

#include <string>
#include <utility>
#include <vector>

namespace journalfile {

// One line to the system log: syslog(3) as "kestrik-kcc" on POSIX, the
// application event log on Windows. Best effort: the journal file is the
// record; this is a copy outside the user's reach. warning marks a wipe that
// did not end as planned.
// Where journald runs, the line goes there with structured fields for
// collection across an organisation: messageId, a fixed 128-bit id in hex
// for each kind of event, and fields as NAME=value (names in capitals).
// syslogLine, when given, is what plain syslog gets instead of utf8Line (it
// carries the fields journald takes apart); on Windows the fields KCC_ENTRY
// and KCC_HEAD follow the line as the event's second and third strings.
// KCC_SYSLOG_SOCKET, where set, names the datagram socket the syslog line is
// sent to instead of journald and /dev/log: for tests and private collectors.
// A send never holds the caller up for more than about a second (a stalled
// journald or syslog socket): false when it was dropped.
using LogFields = std::vector<std::pair<std::string, std::string>>;
bool writeSystemLog(const std::string &utf8Line, bool warning, const std::string &messageId = std::string(),
                    const LogFields &fields = LogFields(), const std::string &syslogLine = std::string());

} // namespace journalfile

#endif // SYSTEMLOG_H
