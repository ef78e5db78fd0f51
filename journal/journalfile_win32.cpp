#include "journalfile.h"

#include <windows.h>

#include <vector>

namespace journalfile {

namespace {

std::string utf8(const wchar_t *text, int length)
{
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
    std::string out(bytes > 0 ? std::size_t(bytes) : 0, '\0');
    if (bytes > 0)
        WideCharToMultiByte(CP_UTF8, 0, text, length, &out[0], bytes, nullptr, nullptr);
    return out;
}

bool fail(std::string *error, const char *what, DWORD code)
{
    if (!error)
        return false;
    wchar_t *message = nullptr;
    FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                   nullptr, code, 0, reinterpret_cast<wchar_t *>(&message), 0, nullptr);
    *error = std::string(what) + ": " + (message ? utf8(message, -1) : std::to_string(code));
    if (message)
        LocalFree(message);
    while (!error->empty() && (error->back() == '\0' || error->back() == '\n' || error->back() == '\r'))
        error->pop_back();
    return false;
}

} // namespace

LockedFile::~LockedFile()
{
    if (handle)
        CloseHandle(handle); // releases the lock with the handle
}

bool LockedFile::isOpen() const
{
    return handle != nullptr;
}

bool LockedFile::open(const NativePath &path, Mode mode, std::string *error)
{
    const bool append = mode == Mode::Append;
    // FILE_FLAG_OPEN_REPARSE_POINT: a link under the name is opened itself and
    // then refused below, never followed.
    HANDLE h = CreateFileW(path.c_str(), append ? (GENERIC_READ | FILE_APPEND_DATA | FILE_WRITE_DATA) : GENERIC_READ,
                           FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, append ? OPEN_ALWAYS : OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        const DWORD code = GetLastError();
        if (!append && (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND))
            return true;
        return fail(error, "open", code);
    }
    handle = h;
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(h, &info))
        return fail(error, "file information", GetLastError());
    if ((info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) != 0
        || GetFileType(h) != FILE_TYPE_DISK) {
        if (error)
            *error = "not a regular file";
        return false;
    }
    OVERLAPPED whole = {};
    if (!LockFileEx(h, append ? LOCKFILE_EXCLUSIVE_LOCK : 0, 0, MAXDWORD, MAXDWORD, &whole))
        return fail(error, "lock", GetLastError());
    return true;
}

bool LockedFile::size(std::int64_t *size, std::string *error) const
{
    LARGE_INTEGER value;
    if (!GetFileSizeEx(handle, &value))
        return fail(error, "size", GetLastError());
    *size = value.QuadPart;
    return true;
}

bool LockedFile::readAt(std::int64_t offset, char *buffer, std::size_t length, std::size_t *got,
                        std::string *error) const
{
    std::size_t done = 0;
    while (done < length) {
        OVERLAPPED at = {};
        const std::int64_t position = offset + std::int64_t(done);
        at.Offset = DWORD(position & 0xffffffff);
        at.OffsetHigh = DWORD(position >> 32);
        const DWORD chunk = length - done > 0x10000000 ? 0x10000000 : DWORD(length - done);
        DWORD n = 0;
        if (!ReadFile(handle, buffer + done, chunk, &n, &at)) {
            const DWORD code = GetLastError();
            if (code == ERROR_HANDLE_EOF)
                break;
            return fail(error, "read", code);
        }
        if (n == 0)
            break;
        done += n;
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
        OVERLAPPED atEnd = {};
        atEnd.Offset = 0xffffffff; // with OffsetHigh: write at the end of the file
        atEnd.OffsetHigh = 0xffffffff;
        DWORD n = 0;
        if (!WriteFile(handle, data + done, DWORD(length - done), &n, &atEnd) || n == 0) {
            const DWORD code = GetLastError();
            LARGE_INTEGER cut;
            cut.QuadPart = before;
            if (SetFilePointerEx(handle, cut, nullptr, FILE_BEGIN))
                SetEndOfFile(handle);
            return fail(error, "write", code);
        }
        done += n;
    }
    if (!FlushFileBuffers(handle))
        return fail(error, "flush", GetLastError());
    return true;
}

// Windows keeps owner and access in ACLs; the file is opened without
// following a reparse point, as the journal is.
ReadOutcome readOwnedFile(const NativePath &path, std::string *data, std::string *error)
{
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        const DWORD code = GetLastError();
        if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND)
            return ReadOutcome::Missing;
        fail(error, "open", code);
        return ReadOutcome::Refused;
    }
    BY_HANDLE_FILE_INFORMATION info {};
    if (!GetFileInformationByHandle(h, &info)
        || (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) != 0) {
        CloseHandle(h);
        if (error)
            *error = "not a regular file";
        return ReadOutcome::Refused;
    }
    data->clear();
    char buffer[4096];
    DWORD n = 0;
    while (ReadFile(h, buffer, sizeof buffer, &n, nullptr) && n > 0)
        data->append(buffer, n);
    CloseHandle(h);
    return ReadOutcome::Read;
}

bool publishFile(const NativePath &path, const std::string &data, bool replace, bool *exists, std::string *error)
{
    if (exists)
        *exists = false;
    const std::wstring temporary = path + L".tmp-" + std::to_wstring(GetCurrentProcessId());
    HANDLE h = CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return fail(error, "create", GetLastError());
    DWORD n = 0;
    const bool written = WriteFile(h, data.data(), DWORD(data.size()), &n, nullptr) && n == data.size()
        && FlushFileBuffers(h);
    const DWORD writeCode = GetLastError();
    CloseHandle(h);
    if (!written) {
        DeleteFileW(temporary.c_str());
        return fail(error, "write", writeCode);
    }
    if (!MoveFileExW(temporary.c_str(), path.c_str(), (replace ? MOVEFILE_REPLACE_EXISTING : 0) | MOVEFILE_WRITE_THROUGH)) {
        const DWORD code = GetLastError();
        DeleteFileW(temporary.c_str());
        if (exists)
            *exists = code == ERROR_ALREADY_EXISTS || code == ERROR_FILE_EXISTS;
        return fail(error, "rename", code);
    }
    return true;
}

bool overwriteOwnedFile(const NativePath &path, std::int64_t offset, const std::string &data, std::string *error)
{
    HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return fail(error, "open", GetLastError());
    OVERLAPPED at {};
    at.Offset = DWORD(std::uint64_t(offset) & 0xFFFFFFFFu);
    at.OffsetHigh = DWORD(std::uint64_t(offset) >> 32);
    DWORD n = 0;
    const bool written = WriteFile(h, data.data(), DWORD(data.size()), &n, &at) && n == data.size() && FlushFileBuffers(h);
    const DWORD code = GetLastError();
    CloseHandle(h);
    return written || fail(error, "write", code);
}

std::string machineId()
{
    wchar_t value[128];
    DWORD size = sizeof value;
    if (RegGetValueW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Cryptography", L"MachineGuid", RRF_RT_REG_SZ,
                     nullptr, value, &size) != ERROR_SUCCESS)
        return std::string();
    return utf8(value, -1).c_str();
}

std::string currentUserUtf8()
{
    wchar_t name[257];
    DWORD length = 257;
    if (!GetUserNameW(name, &length) || length == 0)
        return std::string();
    return utf8(name, int(length - 1));
}

ProcessStamp currentProcess()
{
    ProcessStamp stamp;
    stamp.pid = std::int64_t(GetCurrentProcessId());
    FILETIME created, exited, kernel, user;
    if (GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user))
        stamp.started = std::int64_t((std::uint64_t(created.dwHighDateTime) << 32) | created.dwLowDateTime);
    stamp.boot = "windows"; // the creation time alone tells a reused number apart
    return stamp;
}

bool processAlive(const ProcessStamp &stamp)
{
    if (stamp.pid <= 0 || stamp.started == 0)
        return false;
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, DWORD(stamp.pid));
    if (!process)
        return false;
    FILETIME created, exited, kernel, user;
    DWORD code = 0;
    const bool same = GetProcessTimes(process, &created, &exited, &kernel, &user)
        && std::int64_t((std::uint64_t(created.dwHighDateTime) << 32) | created.dwLowDateTime) == stamp.started
        && GetExitCodeProcess(process, &code) && code == STILL_ACTIVE;
    CloseHandle(process);
    return same;
}

bool lookAtFile(const NativePath &path, std::uint64_t *device, std::uint64_t *index, std::int64_t *size)
{
    HANDLE h = CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    BY_HANDLE_FILE_INFORMATION info {};
    const bool seen = GetFileInformationByHandle(h, &info);
    CloseHandle(h);
    if (!seen)
        return false;
    *device = info.dwVolumeSerialNumber;
    *index = (std::uint64_t(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    *size = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        ? -1
        : std::int64_t((std::uint64_t(info.nFileSizeHigh) << 32) | info.nFileSizeLow);
    return true;
}

} // namespace journalfile
