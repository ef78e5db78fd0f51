#include "journalfile.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <vector>

#include <dirent.h>
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

// Only its owner may have changed it: another account's file, or one others
// may write, could hold anyone's entries or key.
bool ownedSafely(const struct stat &st, std::string *error)
{
    if (st.st_uid != ::geteuid()) {
        if (error)
            *error = "owned by another user (uid " + std::to_string(st.st_uid) + ")";
        return false;
    }
    if (st.st_mode & (S_IWGRP | S_IWOTH)) {
        if (error)
            *error = "writable by group or others (mode " + std::to_string((st.st_mode >> 6) & 7)
                + std::to_string((st.st_mode >> 3) & 7) + std::to_string(st.st_mode & 7) + ")";
        return false;
    }
    return true;
}

// A regular file, owned as ownedSafely asks.
bool regularAndOwned(int fd, std::string *error)
{
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        return fail(error, "fstat", errno);
    if (!S_ISREG(st.st_mode)) {
        if (error)
            *error = "not a regular file";
        return false;
    }
    return ownedSafely(st, error);
}

std::string firstLineOf(const char *path)
{
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    return line;
}

std::string directoryOf(const std::string &path)
{
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
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
    if (!regularAndOwned(fd, error))
        return false;
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

ReadOutcome readOwnedFile(const NativePath &path, std::string *data, std::string *error)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        const int code = errno;
        if (code == ENOENT)
            return ReadOutcome::Missing;
        fail(error, code == ELOOP ? "symbolic link" : "open", code);
        return ReadOutcome::Refused;
    }
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        fail(error, "fstat", errno);
        return ReadOutcome::Refused;
    }
    if (!S_ISREG(st.st_mode)) {
        if (error)
            *error = "not a regular file";
        return ReadOutcome::Refused;
    }
    if (!ownedSafely(st, error))
        return ReadOutcome::Refused;
    data->clear();
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            fail(error, "read", errno);
            return ReadOutcome::Refused;
        }
        if (n == 0)
            break;
        data->append(buffer, std::size_t(n));
    }
    return ReadOutcome::Read;
}

std::vector<NativePath> filesUnder(const NativePath &dir)
{
    std::vector<NativePath> files;
    std::vector<NativePath> pending{dir};
    while (!pending.empty()) {
        const NativePath at = std::move(pending.back());
        pending.pop_back();
        DIR *listing = ::opendir(at.c_str());
        if (!listing)
            continue; // unreadable: passed over, as a directory iterator does
        struct Closer {
            DIR *listing;
            ~Closer() { ::closedir(listing); }
        } closer{listing};
        const NativePath prefix = !at.empty() && at.back() == '/' ? at : at + '/';
        while (const dirent *entry = ::readdir(listing)) {
            const char *name = entry->d_name;
            if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0)
                continue;
            NativePath path = prefix + name;
            unsigned char type = entry->d_type;
            if (type == DT_UNKNOWN || type == DT_LNK) {
                struct stat st {};
                if ((type == DT_LNK ? ::stat(path.c_str(), &st) : ::lstat(path.c_str(), &st)) != 0)
                    continue; // a broken link, or gone meanwhile
                if (S_ISREG(st.st_mode))
                    type = DT_REG;
                else if (S_ISDIR(st.st_mode) && type == DT_UNKNOWN)
                    type = DT_DIR;
                else
                    continue;
            }
            if (type == DT_DIR)
                pending.push_back(std::move(path));
            else if (type == DT_REG)
                files.push_back(std::move(path));
        }
    }
    return files;
}

bool publishFile(const NativePath &path, const std::string &data, bool replace, bool *exists, std::string *error)
{
    if (exists)
        *exists = false;
    const std::string temporary = path + ".tmp-" + std::to_string(::getpid());
    ::unlink(temporary.c_str());
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0)
        return fail(error, "create", errno);
    std::size_t done = 0;
    int code = 0;
    while (done < data.size() && code == 0) {
        const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            code = n < 0 ? errno : EIO;
        else
            done += std::size_t(n);
    }
    if (code == 0 && ::fsync(fd) != 0)
        code = errno;
    ::close(fd);
    if (code == 0) {
        if (replace) {
            if (::rename(temporary.c_str(), path.c_str()) != 0)
                code = errno;
        } else if (::link(temporary.c_str(), path.c_str()) != 0) {
            code = errno;
            if (exists)
                *exists = code == EEXIST;
        }
    }
    ::unlink(temporary.c_str());
    if (code != 0)
        return fail(error, replace ? "rename" : "link", code);
    // The new name is on the medium only once its directory is.
    const int directory = ::open(directoryOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (directory >= 0) {
        ::fsync(directory);
        ::close(directory);
    }
    return true;
}

bool overwriteOwnedFile(const NativePath &path, std::int64_t offset, const std::string &data, std::string *error)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0)
        return fail(error, errno == ELOOP ? "symbolic link" : "open", errno);
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    if (!regularAndOwned(fd, error))
        return false;
    std::size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = ::pwrite(fd, data.data() + done, data.size() - done, off_t(offset) + off_t(done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return fail(error, "write", n < 0 ? errno : EIO);
        done += std::size_t(n);
    }
    // The size does not change, so the file's data is all there is to force.
    if (::fdatasync(fd) != 0)
        return fail(error, "fdatasync", errno);
    return true;
}

std::string machineId()
{
    return firstLineOf("/etc/machine-id");
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
