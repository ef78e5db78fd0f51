#include "journalfile.h"

#include <cerrno>
#include <cstring>
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

} // namespace journalfile
