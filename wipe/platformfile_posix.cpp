#include "platformfile.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platformfile {

bool clearAttributes(const NativePath &path)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return false;
    // Only a file's own mode: a directory or device named by mistake stays as it is.
    if (!S_ISREG(st.st_mode))
        return false;
    const mode_t wanted = st.st_mode | S_IRUSR | S_IWUSR;
    if (wanted == st.st_mode)
        return true;
    return ::chmod(path.c_str(), wanted & 07777) == 0;
}

bool syncToMedium(int fd)
{
    if (fd < 0)
        return false;
    int rc;
    do {
        rc = ::fdatasync(fd);
    } while (rc != 0 && errno == EINTR);
    return rc == 0;
}

void startWriteback(int fd, std::int64_t offset, std::int64_t length)
{
#ifdef __linux__
    if (fd >= 0)
        ::sync_file_range(fd, offset, length, SYNC_FILE_RANGE_WRITE);
#else
    (void)fd;
    (void)offset;
    (void)length;
#endif
}

bool stampWipeTime(const NativePath &path)
{
    // Opened like the Windows side: an existing file, for writing, never created.
    const int fd = ::open(path.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const struct timespec times[2] = {
        {static_cast<time_t>(wipeTimeUnixSeconds), 0},
        {static_cast<time_t>(wipeTimeUnixSeconds), 0},
    };
    const bool stamped = ::futimens(fd, times) == 0;
    const bool closed = ::close(fd) == 0;
    return stamped && closed;
}

} // namespace platformfile
