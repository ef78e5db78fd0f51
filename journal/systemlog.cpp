#include "systemlog.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <syslog.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <sys/un.h>
#include <unistd.h>
#ifdef KCC_HAVE_SYSTEMD
#include <systemd/sd-journal.h>
#endif
#endif

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#ifndef _WIN32
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#endif

namespace journalfile {

namespace {

#ifdef _WIN32
std::wstring wide(const std::string &utf8)
{
    const int length = MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, nullptr, 0);
    if (length <= 0)
        return std::wstring();
    std::wstring out(std::size_t(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, &out[0], length);
    out.resize(std::size_t(length - 1));
    return out;
}

std::string fieldOf(const LogFields &fields, const char *name)
{
    for (const auto &field : fields)
        if (field.first == name)
            return field.second;
    return std::string();
}

// Insertion strings: the person's line, then the signed entry and the head
// as stored, for a forwarded event to be checked on its own.
void send(const std::string &utf8Line, bool warning, const LogFields &fields)
{
    const std::wstring line = wide(utf8Line);
    const std::wstring entry = wide(fieldOf(fields, "KCC_ENTRY"));
    const std::wstring head = wide(fieldOf(fields, "KCC_HEAD"));
    // An unregistered source still logs; the viewer then shows the strings as
    // the event's insertion text.
    HANDLE source = RegisterEventSourceW(nullptr, L"Kestrik KCC");
    if (!source)
        return;
    LPCWSTR strings[] = {line.c_str(), entry.c_str(), head.c_str()};
    const WORD count = entry.empty() ? 1 : 3;
    ReportEventW(source, warning ? EVENTLOG_WARNING_TYPE : EVENTLOG_INFORMATION_TYPE, 0, 1, nullptr, count, 0,
                 strings, nullptr);
    DeregisterEventSource(source);
}
#else
// A syslog datagram as syslog(3) writes it, to the socket the environment
// names; false where there is none.
bool sendToNamedSocket(const std::string &line, bool warning)
{
    const char *path = std::getenv("KCC_SYSLOG_SOCKET");
    if (!path || !*path)
        return false;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path, sizeof address.sun_path - 1);
    const int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return true;
    char stamp[32];
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    std::strftime(stamp, sizeof stamp, "%b %e %H:%M:%S", &local);
    const int priority = LOG_AUTHPRIV | (warning ? LOG_WARNING : LOG_NOTICE);
    const std::string datagram = '<' + std::to_string(priority) + '>' + stamp + " kestrik-kcc[" +
        std::to_string(::getpid()) + "]: " + line;
    ::sendto(fd, datagram.data(), datagram.size(), 0, reinterpret_cast<const sockaddr *>(&address), sizeof address);
    ::close(fd);
    return true;
}

void send(const std::string &utf8Line, bool warning, const std::string &messageId, const LogFields &fields,
          const std::string &syslogLine)
{
    const std::string &plain = syslogLine.empty() ? utf8Line : syslogLine;
    if (sendToNamedSocket(plain, warning))
        return;
#ifdef KCC_HAVE_SYSTEMD
    if (::access("/run/systemd/journal/socket", W_OK) == 0) {
        std::vector<std::string> items{"MESSAGE=" + utf8Line, std::string("PRIORITY=") + (warning ? "4" : "5"),
                                       "SYSLOG_IDENTIFIER=kestrik-kcc", "SYSLOG_FACILITY=10"};
        if (!messageId.empty())
            items.push_back("MESSAGE_ID=" + messageId);
        for (const auto &field : fields)
            items.push_back(field.first + '=' + field.second);
        std::vector<struct iovec> vector;
        for (std::string &item : items)
            vector.push_back({&item[0], item.size()});
        if (sd_journal_sendv(vector.data(), int(vector.size())) == 0)
            return;
    }
#else
    (void)messageId;
    (void)fields;
#endif
    // authpriv: a key's destruction is a security event; Debian keeps these
    // in auth.log (root and adm only) and the journal, away from the user.
    openlog("kestrik-kcc", LOG_PID, LOG_AUTHPRIV);
    syslog(LOG_AUTHPRIV | (warning ? LOG_WARNING : LOG_NOTICE), "%s", plain.c_str());
    closelog();
}
#endif

} // namespace

bool writeSystemLog(const std::string &utf8Line, bool warning, const std::string &messageId, const LogFields &fields,
                    const std::string &syslogLine)
{
#ifdef _WIN32
    // The event log is local and does not wait on a reader; the win32-thread
    // toolchains have no std::thread either.
    (void)messageId;
    (void)syslogLine;
    send(utf8Line, warning, fields);
    return true;
#else
    struct Shared {
        std::mutex mutex;
        std::condition_variable done;
        bool sent = false;
    };
    const auto shared = std::make_shared<Shared>();
    // A sender stuck on a socket nobody reads is left behind, not waited for.
    std::thread sender([=] {
        send(utf8Line, warning, messageId, fields, syslogLine);
        const std::lock_guard<std::mutex> lock(shared->mutex);
        shared->sent = true;
        shared->done.notify_all();
    });
    std::unique_lock<std::mutex> lock(shared->mutex);
    const bool sent = shared->done.wait_for(lock, std::chrono::milliseconds(1000), [&] { return shared->sent; });
    lock.unlock();
    if (sent) {
        sender.join();
    } else {
        sender.detach();
        std::fprintf(stderr, "kestrik-kcc: the system log did not take the event within a second; dropped: %s\n",
                     utf8Line.c_str());
    }
    return sent;
#endif
}

} // namespace journalfile
