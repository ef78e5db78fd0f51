#include "platformfile.h"

#include <windows.h>
#include <io.h>

namespace platformfile {

bool clearAttributes(const NativePath &path)
{
    return SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL) != 0;
}

bool syncToMedium(int fd)
{
    if (fd < 0)
        return false;
    const HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
    if (handle == INVALID_HANDLE_VALUE)
        return false;
    return FlushFileBuffers(handle) != 0;
}

void startWriteback(int, std::int64_t, std::int64_t)
{
    // Windows writes back lazily on its own; FlushFileBuffers decides.
}

bool stampWipeTime(const NativePath &path)
{
    SYSTEMTIME wipeTime;
    wipeTime.wYear = 30827;
    wipeTime.wMonth = 1;
    wipeTime.wDayOfWeek = 0;
    wipeTime.wDay = 1;
    wipeTime.wHour = 0;
    wipeTime.wMinute = 0;
    wipeTime.wSecond = 0;
    wipeTime.wMilliseconds = 0;

    // Taken as UTC as it stands: no conversion from local time.
    FILETIME fileTime;
    if (!SystemTimeToFileTime(&wipeTime, &fileTime))
        return false;

    const HANDLE handle = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return false;
    const bool stamped = SetFileTime(handle, &fileTime, &fileTime, &fileTime) != 0;
    const bool closed = CloseHandle(handle) != 0;
    return stamped && closed;
}

} // namespace platformfile
