// Checks the Windows file layer on real files: creates the file named on the
// command line (and a sibling with a Cyrillic name), then runs the layer's
// calls on it and reads back what the system stored. Exit code 0 on success.
// Runs on Windows or under wine; no Qt, linked statically.

#include "platformfile.h"

#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <string>

namespace {

// 30827-01-01 00:00:00 UTC in 100 ns since 1601, written out here rather than
// taken from the layer, so a wrong constant there cannot hide.
constexpr std::uint64_t wipeMoment = 9222834528000000000ULL;

int passed = 0;
int failed = 0;

void fail(const wchar_t *what)
{
    std::wprintf(L"FAIL: %ls\n", what);
    ++failed;
}

void check(bool ok, const wchar_t *what)
{
    if (ok) {
        std::wprintf(L"ok:   %ls\n", what);
        ++passed;
    } else {
        fail(what);
    }
}

// Wine differs from Windows in two things this check reads back: the
// attributes of a plain file and its creation time.
bool underWine()
{
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version");
}

std::uint64_t toTicks(const FILETIME &time)
{
    return (std::uint64_t(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

bool writeBytes(int fd, int count, char value)
{
    const std::string bytes(std::size_t(count), value);
    return _write(fd, bytes.data(), unsigned(count)) == count;
}

std::int64_t fileSize(const std::wstring &path)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data))
        return -1;
    return (std::int64_t(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

void checkFile(const std::wstring &path, const wchar_t *label)
{
    std::wprintf(L"-- %ls\n", label);

    int fd = _wopen(path.c_str(), _O_CREAT | _O_TRUNC | _O_WRONLY | _O_BINARY,
                    _S_IREAD | _S_IWRITE);
    if (fd < 0) {
        fail(L"cannot create the file");
        return;
    }
    const bool written = writeBytes(fd, 100, 'k');
    _close(fd);
    if (!written) {
        fail(L"cannot write the file");
        return;
    }

    // The state a user's protected container may be in.
    const DWORD protectedAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN;
    if (!SetFileAttributesW(path.c_str(), protectedAttributes)
        || (GetFileAttributesW(path.c_str()) & protectedAttributes) != protectedAttributes) {
        fail(L"cannot make the file read-only and hidden to start with");
        return;
    }

    check(platformfile::clearAttributes(path), L"clearAttributes reports success");
    const DWORD attributes = GetFileAttributesW(path.c_str());
    std::wprintf(L"      attributes after clearAttributes: 0x%lx\n",
                 static_cast<unsigned long>(attributes));
    check(attributes != INVALID_FILE_ATTRIBUTES
              && !(attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN
                                 | FILE_ATTRIBUTE_SYSTEM)),
          L"neither read-only, hidden nor system after clearAttributes");
    if (!underWine()) {
        // Wine reports every regular file as an archive; Windows keeps NORMAL.
        check(attributes == FILE_ATTRIBUTE_NORMAL, L"attributes are FILE_ATTRIBUTE_NORMAL");
    }

    // Opened the way QFile opens a file on Windows, with the descriptor that
    // QFile::handle() hands out: a CRT descriptor over the Win32 handle.
    const HANDLE writeHandle = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                                           FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                           OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    check(writeHandle != INVALID_HANDLE_VALUE, L"file opens for writing after clearAttributes");
    if (writeHandle == INVALID_HANDLE_VALUE)
        return;
    fd = _open_osfhandle(reinterpret_cast<intptr_t>(writeHandle), 0);
    if (fd < 0) {
        CloseHandle(writeHandle);
        fail(L"no descriptor for the open file");
        return;
    }
    check(writeBytes(fd, 512, 'w'), L"512 bytes written");
    check(platformfile::syncToMedium(fd), L"syncToMedium on the open descriptor");
    _close(fd); // closes the handle too
    const std::int64_t sizeBefore = fileSize(path);

    check(platformfile::stampWipeTime(path), L"stampWipeTime reports success");
    check(fileSize(path) == sizeBefore && sizeBefore == 512,
          L"stampWipeTime leaves the content alone");

    const HANDLE handle = CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        fail(L"cannot open the file to read its times");
        return;
    }
    FILETIME creation {}, access {}, write {};
    const bool read = GetFileTime(handle, &creation, &access, &write) != 0;
    CloseHandle(handle);
    if (!read) {
        fail(L"GetFileTime failed");
        return;
    }

    const std::uint64_t expected = wipeMoment;
    std::wprintf(L"      expected   %llu\n", static_cast<unsigned long long>(expected));
    std::wprintf(L"      creation   %llu\n", static_cast<unsigned long long>(toTicks(creation)));
    std::wprintf(L"      access     %llu\n", static_cast<unsigned long long>(toTicks(access)));
    std::wprintf(L"      write      %llu\n", static_cast<unsigned long long>(toTicks(write)));
    check(toTicks(access) == expected, L"last-access time is the wipe moment");
    check(toTicks(write) == expected, L"last-write time is the wipe moment");
    if (!underWine()) {
        check(toTicks(creation) == expected, L"creation time is the wipe moment");
    } else {
        // Wine on Linux keeps no creation time: it drops the one given to
        // SetFileTime and reports the last-write time in its place.
        std::wprintf(L"note: creation time read %llu; wine reports the last-write time there, "
                     L"so it is not checked under wine\n",
                     static_cast<unsigned long long>(toTicks(creation)));
    }

    check(DeleteFileW(path.c_str()) != 0, L"stamped file can be deleted");
}

void checkMissing(const std::wstring &path)
{
    std::wprintf(L"-- a file that does not exist\n");
    check(!platformfile::clearAttributes(path), L"clearAttributes fails on a missing file");
    check(!platformfile::stampWipeTime(path), L"stampWipeTime fails on a missing file");
    check(GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES,
          L"stampWipeTime does not create the file");
    check(!platformfile::syncToMedium(-1), L"syncToMedium fails on no descriptor");
}

} // namespace

int wmain(int argc, wchar_t **argv)
{
    if (argc != 2) {
        std::fwprintf(stderr, L"usage: platformfile_check FILE\n");
        return 2;
    }
    const std::wstring path = argv[1];
    std::wprintf(L"%ls\n", underWine() ? L"running under wine" : L"running on Windows");
    check(platformfile::wipeTimeFileTime == wipeMoment, L"the layer's wipe moment constant");

    checkFile(path, path.c_str());
    // The path must reach the system as UTF-16, untouched.
    checkFile(path + L"-\x043A\x043B\x044E\x0447.pfx", L"the same with a Cyrillic name added");
    checkMissing(path + L".absent");

    std::wprintf(L"platformfile: %d passed, %d failed\n", passed, failed);
    return failed == 0 ? 0 : 1;
}
