#ifndef SYSTEMLOG_H
#define SYSTEMLOG_H

#include <string>

namespace journalfile {

// One line to the system log: syslog(3) as "kestrik-kcc" on POSIX, the
// application event log on Windows. Best effort: the journal file is the
// record; this is a copy outside the user's reach. warning marks a wipe that
// did not end as planned.
void writeSystemLog(const std::string &utf8Line, bool warning);

} // namespace journalfile

#endif // SYSTEMLOG_H
