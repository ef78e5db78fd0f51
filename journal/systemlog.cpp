#include "systemlog.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <syslog.h>
#include <sys/uio.h>
#include <unistd.h>
#ifdef KCC_HAVE_SYSTEMD
#include <systemd/sd-journal.h>
#endif
#endif

#include <cstdio>
#ifndef _WIN32
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#endif

namespace journalfile {

namespace {

void send(const std::string &utf8Line, bool warning, const std::string &messageId, const LogFields &fields)
{
#ifdef _WIN32
    (void)messageId;
    (void)fields;
    const int length = MultiByteToWideChar(CP_UTF8, 0, utf8Line.c_str(), -1, nullptr, 0);
    if (length <= 0)
        return;
    std::wstring line(std::size_t(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8Line.c_str(), -1, &line[0], length);
    // An unregistered source still logs; the viewer then shows the string as
    // the event's insertion text.
    HANDLE source = RegisterEventSourceW(nullptr, L"Kestrik KCC");
    if (!source)
        return;
    LPCWSTR strings[] = {line.c_str()};
    ReportEventW(source, warning ? EVENTLOG_WARNING_TYPE : EVENTLOG_INFORMATION_TYPE, 0, 1, nullptr, 1, 0,
                 strings, nullptr);
    DeregisterEventSource(source);
#else
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
    syslog(LOG_AUTHPRIV | (warning ? LOG_WARNING : LOG_NOTICE), "%s", utf8Line.c_str());
    closelog();
#endif
}

} // namespace

bool writeSystemLog(const std::string &utf8Line, bool warning, const std::string &messageId, const LogFields &fields)
{
#ifdef _WIN32
    // The event log is local and does not wait on a reader; the win32-thread
    // toolchains have no std::thread either.
    send(utf8Line, warning, messageId, fields);
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
        send(utf8Line, warning, messageId, fields);
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
