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
// A send never holds the caller up for more than about a second (a stalled
// journald or syslog socket): false when it was dropped.
using LogFields = std::vector<std::pair<std::string, std::string>>;
bool writeSystemLog(const std::string &utf8Line, bool warning, const std::string &messageId = std::string(),
                    const LogFields &fields = LogFields());

} // namespace journalfile

#endif // SYSTEMLOG_H
