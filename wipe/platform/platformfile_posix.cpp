#include "platformfile.h"
#include "descriptor_posix.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

namespace platformfile {

namespace {

Kind kindOf(mode_t mode)
{
    if (S_ISREG(mode))
        return Kind::Regular;
    if (S_ISDIR(mode))
        return Kind::Directory;
    if (S_ISLNK(mode))
        return Kind::SymbolicLink;
    if (S_ISFIFO(mode))
        return Kind::Fifo;
    if (S_ISSOCK(mode))
        return Kind::Socket;
    if (S_ISCHR(mode))
        return Kind::CharacterDevice;
    if (S_ISBLK(mode))
        return Kind::BlockDevice;
    return Kind::Other;
}

Identity identityOf(const struct stat &st)
{
    return {std::uint64_t(st.st_dev), std::uint64_t(st.st_ino)};
}


std::string readLink(int dirFd, const std::string &name)
{
    std::vector<char> buffer(4096);
    const ssize_t n = ::readlinkat(dirFd, name.c_str(), buffer.data(), buffer.size());
    return n > 0 ? std::string(buffer.data(), std::size_t(n)) : std::string();
}

bool lookupFailed(int error)
{
    return error == ENOENT || error == ENOTDIR || error == EACCES || error == ENAMETOOLONG;
}

// Not found, and why when it is more than plain absence (a directory that
// cannot be searched): the reason is then worth telling.
OpenResult notFound(Error &error)
{
    if (error.code == ENOENT)
        error.message.clear();
    return OpenResult::NotFound;
}


// The directory of the name. Read access only so the removal can be synced;
// a directory that may be searched but not read is held as a path.
int openDirectory(const std::string &dir, bool &readable)
{
#ifdef O_PATH
    constexpr int lookOnly = O_PATH;
#else
    constexpr int lookOnly = O_RDONLY;
#endif
    const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    readable = fd >= 0;
    if (!readable && errno == EACCES)
        return ::open(dir.c_str(), lookOnly | O_DIRECTORY | O_CLOEXEC);
    return fd;
}

// Whether what was opened for writing is the regular file first looked at;
// if so, blocking again for the writes (O_NONBLOCK was only for the open).
OpenResult sameAsLooked(int fd, const struct stat &looked, struct stat &opened)
{
    if (::fstat(fd, &opened) != 0)
        return OpenResult::Failed;
    if (!S_ISREG(opened.st_mode) || identityOf(opened) != identityOf(looked))
        return OpenResult::Swapped;
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0)
        ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    return OpenResult::Opened;
}

} // namespace

WipeTarget::~WipeTarget()
{
    if (m_fd >= 0)
        restoreAttributes();
    close();
}

bool WipeTarget::fail()
{
    m_error.code = errno;
    m_error.message = std::strerror(errno);
    return false;
}

OpenResult WipeTarget::open(const NativePath &path)
{
    return openName(path, false);
}

OpenResult WipeTarget::look(const NativePath &path)
{
    const OpenResult result = openName(path, true);
    close();
    return result;
}

OpenResult WipeTarget::openName(const NativePath &path, bool lookOnly)
{
    close();
    m_error = Error();
    m_refusedKind = Kind::Other;
    m_linkTarget.clear();
    const std::size_t slash = path.rfind('/');
    const std::string dir = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    m_name = slash == std::string::npos ? path : path.substr(slash + 1);
    if (path.empty())
        return OpenResult::NotFound;
    if (m_name.empty())
        return OpenResult::Invalid;

    // Links in the directory part are followed; the name itself never is.
    Descriptor dirFd(openDirectory(dir, m_dirReadable));
    if (dirFd.get() < 0) {
        fail();
        return lookupFailed(m_error.code) ? notFound(m_error) : OpenResult::Failed;
    }

    // What the name is before anything touches it. O_PATH opens nothing: no
    // device is woken, no FIFO waits, and a link is held as the link itself.
    struct stat looked {};
#ifdef O_PATH
    Descriptor held(::openat(dirFd.get(), m_name.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
    const bool lookedAt = held.get() >= 0 && ::fstat(held.get(), &looked) == 0;
    // The held file by its descriptor: opening or changing it through this
    // path reaches that file whatever its name leads to by now.
    const std::string heldPath = "/proc/self/fd/" + std::to_string(held.get());
#else
    const bool lookedAt = ::fstatat(dirFd.get(), m_name.c_str(), &looked, AT_SYMLINK_NOFOLLOW) == 0;
#endif
    if (!lookedAt) {
        fail();
        return lookupFailed(m_error.code) ? notFound(m_error) : OpenResult::Failed;
    }
    m_refusedKind = kindOf(looked.st_mode);
    if (m_refusedKind != Kind::Regular) {
        if (m_refusedKind == Kind::SymbolicLink)
            m_linkTarget = readLink(dirFd.get(), m_name);
        return OpenResult::NotRegular;
    }

    const int writing = O_WRONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC;
    auto openForWriting = [&]() {
#ifdef O_PATH
        const int fd = ::open(heldPath.c_str(), writing);
        if (fd >= 0 || errno != ENOENT) // ENOENT: no /proc here
            return fd;
#endif
        return ::openat(dirFd.get(), m_name.c_str(), writing | O_NOFOLLOW);
    };
    Descriptor fd(openForWriting());
    // The wipe's own open, let go unwritten (access() passes an append-only
    // file this open refuses); a permission the wipe would add is not added.
    if (lookOnly) {
        if (fd.get() >= 0 || (errno == EACCES && looked.st_uid == ::geteuid() && !(looked.st_mode & S_IWUSR)))
            return OpenResult::Opened;
        fail();
        return OpenResult::Failed;
    }
#ifdef O_PATH
    // A file its owner may not write: permission is added on the held file,
    // never through a name (chmod by name follows links).
    if (fd.get() < 0 && errno == EACCES && looked.st_uid == ::geteuid()
        && !(looked.st_mode & S_IWUSR)
        && ::chmod(heldPath.c_str(), (looked.st_mode | S_IWUSR) & 07777) == 0) {
        m_mode = looked.st_mode & 07777;
        m_modeChanged = true;
        fd.reset(openForWriting());
    }
    auto undoMode = [&]() {
        if (m_modeChanged && ::chmod(heldPath.c_str(), m_mode) == 0)
            m_modeChanged = false;
    };
#else
    auto undoMode = [] {};
#endif
    if (fd.get() < 0) {
        fail();
        undoMode();
        return OpenResult::Failed;
    }

    struct stat opened {};
    const OpenResult same = sameAsLooked(fd.get(), looked, opened);
    if (same != OpenResult::Opened) {
        if (same == OpenResult::Failed)
            fail();
        else
            m_refusedKind = kindOf(opened.st_mode);
        undoMode();
        return same;
    }
    m_identity = identityOf(opened);
    m_dirFd = dirFd.release();
    m_fd = fd.release();
    return OpenResult::Opened;
}

bool WipeTarget::status(Status &out)
{
    struct stat st {};
    if (::fstat(m_fd, &st) != 0)
        return fail();
    out.kind = kindOf(st.st_mode);
    out.identity = identityOf(st);
    out.size = std::int64_t(st.st_size);
    out.links = std::uint64_t(st.st_nlink);
    out.allocated = std::int64_t(st.st_blocks) * 512;
    out.hasHoles = false;
#ifdef SEEK_HOLE
    // SEEK_HOLE moves the offset the writes go to: put it back.
    const off_t position = ::lseek(m_fd, 0, SEEK_CUR);
    if (position >= 0 && st.st_size > 0) {
        const off_t hole = ::lseek(m_fd, 0, SEEK_HOLE);
        out.hasHoles = hole >= 0 && hole < st.st_size;
        if (::lseek(m_fd, position, SEEK_SET) != position)
            return fail();
    }
#endif
    return true;
}

bool WipeTarget::size(std::int64_t &out)
{
    struct stat st {};
    if (::fstat(m_fd, &st) != 0)
        return fail();
    out = std::int64_t(st.st_size);
    return true;
}

bool WipeTarget::writeAt(std::int64_t offset, const void *data, std::size_t length)
{
    const char *bytes = static_cast<const char *>(data);
    while (length > 0) {
        const ssize_t n = ::pwrite(m_fd, bytes, length, off_t(offset));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n == 0)
                errno = EIO;
            return fail();
        }
        bytes += n;
        offset += n;
        length -= std::size_t(n);
    }
    return true;
}

bool WipeTarget::truncate(std::int64_t size)
{
    int rc;
    do {
        rc = ::ftruncate(m_fd, off_t(size));
    } while (rc != 0 && errno == EINTR);
    return rc == 0 || fail();
}

bool WipeTarget::allocatedRanges(std::int64_t size, std::vector<Range> &out)
{
    out.clear();
    if (size <= 0)
        return true;
#ifdef SEEK_DATA
    bool told = true;
    for (off_t at = 0; told && at < size;) {
        const off_t data = ::lseek(m_fd, at, SEEK_DATA);
        if ((data < 0 && errno == ENXIO) || data >= size)
            break; // a hole to the end
        const off_t hole = data < 0 ? -1 : ::lseek(m_fd, data, SEEK_HOLE);
        told = hole > data;
        if (told) {
            out.push_back({std::int64_t(data), std::int64_t((hole < size ? hole : size) - data)});
            at = hole;
        }
    }
    if (told)
        return true;
#endif
    out.assign(1, Range{0, size});
    return true;
}

bool WipeTarget::releaseRange(const Range &range)
{
#ifdef __linux__
    return ::fallocate(m_fd, FALLOC_FL_PUNCH_HOLE | FALLOC_FL_KEEP_SIZE, off_t(range.offset), off_t(range.length)) == 0
        || fail();
#else
    (void)range;
    errno = EOPNOTSUPP;
    return fail();
#endif
}

OthersResult WipeTarget::othersHoldOpen()
{
#ifdef F_SETLEASE
    // The kernel grants a write lease only while no other open of the file
    // exists, in this process or any other.
    if (::fcntl(m_fd, F_SETLEASE, F_WRLCK) == 0) {
        ::fcntl(m_fd, F_SETLEASE, F_UNLCK);
        return OthersResult::None;
    }
    if (errno == EAGAIN || errno == EBUSY)
        return OthersResult::Held;
#endif
    return OthersResult::Unknown; // no leases here, or not the owner's file
}

std::vector<Holder> WipeTarget::holders() const
{
    std::vector<Holder> found;
    std::unique_ptr<DIR, int (*)(DIR *)> proc(::opendir("/proc"), &::closedir);
    if (!proc)
        return found;
    const long self = long(::getpid());
    while (const dirent *entry = ::readdir(proc.get())) {
        char *end = nullptr;
        const long pid = std::strtol(entry->d_name, &end, 10);
        if (pid <= 0 || *end != '\0' || pid == self)
            continue;
        const std::string base = std::string("/proc/") + entry->d_name;
        std::unique_ptr<DIR, int (*)(DIR *)> fds(::opendir((base + "/fd").c_str()), &::closedir);
        if (!fds)
            continue; // another user's process, or gone
        bool holds = false;
        while (const dirent *fd = ::readdir(fds.get())) {
            struct stat st {};
            if (fd->d_name[0] != '.' && ::stat((base + "/fd/" + fd->d_name).c_str(), &st) == 0
                && identityOf(st) == m_identity) {
                holds = true;
                break;
            }
        }
        if (!holds)
            continue;
        Holder holder;
        holder.pid = pid;
        std::ifstream comm(base + "/comm");
        std::getline(comm, holder.name);
        found.push_back(holder);
    }
    return found;
}

bool WipeTarget::syncToMedium()
{
    int rc;
    do {
        rc = ::fdatasync(m_fd);
    } while (rc != 0 && errno == EINTR);
    return rc == 0 || fail();
}

void WipeTarget::startWriteback(std::int64_t offset, std::int64_t length)
{
#ifdef __linux__
    ::sync_file_range(m_fd, offset, length, SYNC_FILE_RANGE_WRITE);
#else
    (void)offset;
    (void)length;
#endif
}

bool WipeTarget::stampWipeTime()
{
    const struct timespec times[2] = {
        {static_cast<time_t>(wipeTimeUnixSeconds), 0},
        {static_cast<time_t>(wipeTimeUnixSeconds), 0},
    };
    return ::futimens(m_fd, times) == 0 || fail();
}

bool WipeTarget::nameLeadsHere()
{
    struct stat named {};
    if (::fstatat(m_dirFd, m_name.c_str(), &named, AT_SYMLINK_NOFOLLOW) != 0)
        return fail();
    return S_ISREG(named.st_mode) && identityOf(named) == m_identity;
}

WipeTarget::RemoveResult WipeTarget::removeName()
{
    // POSIX removes only by name: the name must still lead to the open file.
    if (!nameLeadsHere())
        return RemoveResult::NameChanged;
    if (::unlinkat(m_dirFd, m_name.c_str(), 0) != 0) {
        fail();
        return RemoveResult::Failed;
    }
    return RemoveResult::Removed;
}

bool WipeTarget::syncRemoval()
{
    int rc;
    do {
#ifdef __linux__
        // Syncing the whole file system also reaches an unreadable directory's entry.
        rc = m_dirReadable ? ::fsync(m_dirFd) : ::syncfs(m_fd);
#else
        rc = m_dirReadable ? ::fsync(m_dirFd) : (errno = EACCES, -1);
#endif
    } while (rc != 0 && errno == EINTR);
    return rc == 0 || fail();
}

bool WipeTarget::restoreAttributes()
{
    if (!m_modeChanged)
        return true;
    if (::fchmod(m_fd, m_mode) != 0)
        return fail();
    m_modeChanged = false;
    return true;
}

void WipeTarget::close()
{
    if (m_fd >= 0)
        ::close(m_fd);
    if (m_dirFd >= 0)
        ::close(m_dirFd);
    m_fd = -1;
    m_dirFd = -1;
    m_dirReadable = false;
    m_modeChanged = false;
}

} // namespace platformfile
