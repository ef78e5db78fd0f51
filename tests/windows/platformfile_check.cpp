// Checks the Windows file layer on real files: creates the file named on the
// command line (and a sibling with a Cyrillic name), then runs the layer's
// calls on it and reads back what the system stored. Exit code 0 on success.
// Runs on Windows or under wine; no Qt, linked statically.

#include "checks.h"
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

    {
        // A wipe that stops puts the attributes back.
        platformfile::WipeTarget target;
        check(target.open(path) == platformfile::OpenResult::Opened, L"a read-only, hidden file opens");
        check(target.restoreAttributes(), L"restoreAttributes reports success");
    }
    check((GetFileAttributesW(path.c_str()) & protectedAttributes) == protectedAttributes,
          L"read-only and hidden again after restoreAttributes");

    platformfile::WipeTarget target;
    check(target.open(path) == platformfile::OpenResult::Opened, L"opened for the wipe");
    const DWORD attributes = GetFileAttributesW(path.c_str());
    std::wprintf(L"      attributes while held: 0x%lx\n", static_cast<unsigned long>(attributes));
    check(attributes != INVALID_FILE_ATTRIBUTES
              && !(attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)),
          L"neither read-only, hidden nor system while held");

    // Nobody else may write, rename or delete the file while it is held.
    const HANDLE other = CreateFileW(path.c_str(), GENERIC_WRITE,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                     OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    check(other == INVALID_HANDLE_VALUE && GetLastError() == ERROR_SHARING_VIOLATION,
          L"another writer is refused while the file is held");
    if (other != INVALID_HANDLE_VALUE)
        CloseHandle(other);
    check(!MoveFileW(path.c_str(), (path + L".moved").c_str()), L"renaming is refused while held");

    check(writeBytes(target.descriptor(), 512, 'w'), L"512 bytes written through the descriptor");
    check(target.syncToMedium(), L"syncToMedium on the held file");
    platformfile::Status status;
    check(target.status(status) && status.size == 512 && status.links == 1
              && status.kind == platformfile::Kind::Regular,
          L"status: a regular file of 512 bytes with one name");
    check(target.stampWipeTime(), L"stampWipeTime reports success");
    check(fileSize(path) == 512, L"stampWipeTime leaves the content alone");

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

    check(target.removeName() == platformfile::WipeTarget::RemoveResult::Removed,
          L"removeName reports the file removed");
    check(GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES, L"the file is gone");
}

void checkRefused(const std::wstring &path)
{
    std::wprintf(L"-- names that are not a regular file\n");
    platformfile::WipeTarget target;
    check(target.open(path + L".absent") == platformfile::OpenResult::NotFound, L"a missing file is not found");
    check(GetFileAttributesW((path + L".absent").c_str()) == INVALID_FILE_ATTRIBUTES,
          L"opening does not create the file");
    const std::wstring dir = path + L".dir";
    if (!CreateDirectoryW(dir.c_str(), nullptr)) {
        fail(L"cannot make a directory");
        return;
    }
    check(target.open(dir) == platformfile::OpenResult::NotRegular
              && target.refusedKind() == platformfile::Kind::Directory,
          L"a directory is refused as a directory");
    check(target.open(dir + L"\\") == platformfile::OpenResult::Invalid, L"a path ending in a separator is refused");
    check(RemoveDirectoryW(dir.c_str()) != 0, L"the directory is left as it was");
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
    checkRefused(path);

    std::wprintf(L"platformfile: %d passed, %d failed\n", passed, failed);
    return failed == 0 ? 0 : 1;
}
