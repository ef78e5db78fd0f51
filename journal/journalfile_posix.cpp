#include "journalfile.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <vector>

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace journalfile {

namespace {

bool fail(std::string *error, const char *what, int code)
{
    if (error)
        *error = std::string(what) + ": " + std::strerror(code);
    return false;
}

} // namespace

LockedFile::~LockedFile()
{
    if (fd >= 0)
        ::close(fd); // releases the flock with the last descriptor
}

bool LockedFile::isOpen() const
{
    return fd >= 0;
}

bool LockedFile::open(const NativePath &path, Mode mode, std::string *error)
{
    // O_NONBLOCK: a FIFO planted under the name must not hang the program.
    const int flags = (mode == Mode::Append ? O_RDWR | O_CREAT | O_APPEND : O_RDONLY)
        | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK | O_NOCTTY;
    const int opened = ::open(path.c_str(), flags, 0600);
    if (opened < 0) {
        const int code = errno;
        if (mode == Mode::Read && code == ENOENT)
            return true;
        return fail(error, code == ELOOP ? "symbolic link" : "open", code);
    }
    fd = opened;
    struct stat st;
    if (::fstat(fd, &st) != 0)
        return fail(error, "fstat", errno);
    if (!S_ISREG(st.st_mode)) {
        if (error)
            *error = "not a regular file";
        return false;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    // flock, not fcntl: its lock belongs to this descriptor, so another open
    // of the same file elsewhere in the process does not drop it.
    while (::flock(fd, mode == Mode::Append ? LOCK_EX : LOCK_SH) != 0) {
        if (errno != EINTR)
            return fail(error, "flock", errno);
    }
    return true;
}

bool LockedFile::size(std::int64_t *size, std::string *error) const
{
    struct stat st;
    if (::fstat(fd, &st) != 0)
        return fail(error, "fstat", errno);
    *size = st.st_size;
    return true;
}

bool LockedFile::readAt(std::int64_t offset, char *buffer, std::size_t length, std::size_t *got,
                        std::string *error) const
{
    std::size_t done = 0;
    while (done < length) {
        const ssize_t n = ::pread(fd, buffer + done, length - done, off_t(offset + std::int64_t(done)));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return fail(error, "read", errno);
        if (n == 0)
            break;
        done += std::size_t(n);
    }
    *got = done;
    return true;
}

bool LockedFile::appendSynced(const char *data, std::size_t length, std::string *error)
{
    std::int64_t before = 0;
    if (!size(&before, error))
        return false;
    std::size_t done = 0;
    while (done < length) {
        const ssize_t n = ::write(fd, data + done, length - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            const int code = n < 0 ? errno : EIO;
            if (::ftruncate(fd, off_t(before)) == 0)
                ::fdatasync(fd);
            return fail(error, "write", code);
        }
        done += std::size_t(n);
    }
    if (::fdatasync(fd) != 0)
        return fail(error, "fdatasync", errno);
    return true;
}

std::string currentUserUtf8()
{
    std::vector<char> buffer(16384);
    struct passwd entry;
    struct passwd *found = nullptr;
    if (::getpwuid_r(::geteuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found)
        return found->pw_name;
    const char *user = ::getenv("USER");
    return user ? user : "";
}

namespace {

std::string firstLine(const char *path)
{
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    return line;
}

// Field 22 of /proc/PID/stat: the start time in clock ticks since boot. The
// name before it is in parentheses and may hold spaces.
std::int64_t startTime(std::int64_t pid)
{
    const std::string stat = firstLine(("/proc/" + std::to_string(pid) + "/stat").c_str());
    const std::size_t close = stat.rfind(')');
    if (close == std::string::npos)
        return 0;
    std::istringstream fields(stat.substr(close + 2));
    std::string field;
    for (int i = 3; i <= 22 && fields >> field; ++i)
        if (i == 22)
            return std::strtoll(field.c_str(), nullptr, 10);
    return 0;
}

} // namespace

ProcessStamp currentProcess()
{
    ProcessStamp stamp;
    stamp.pid = ::getpid();
    stamp.boot = firstLine("/proc/sys/kernel/random/boot_id");
    stamp.started = startTime(stamp.pid);
    return stamp;
}

bool processAlive(const ProcessStamp &stamp)
{
    if (stamp.pid <= 0 || stamp.boot.empty() || stamp.boot != firstLine("/proc/sys/kernel/random/boot_id"))
        return false;
    return startTime(stamp.pid) == stamp.started && stamp.started != 0;
}

bool lookAtFile(const NativePath &path, std::uint64_t *device, std::uint64_t *index, std::int64_t *size)
{
    // O_PATH: opens nothing, wakes no device, waits on no FIFO.
    const int fd = ::open(path.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat st {};
    const bool seen = ::fstat(fd, &st) == 0;
    ::close(fd);
    if (!seen)
        return false;
    *device = st.st_dev;
    *index = st.st_ino;
    *size = S_ISREG(st.st_mode) ? st.st_size : -1;
    return true;
}

} // namespace journalfile
