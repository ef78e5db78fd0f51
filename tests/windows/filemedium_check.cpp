// Checks what the Windows medium layer reads from a held file: creates the
// file named on the command line, holds it as the wipe does, describes its
// medium, maps it and reads it back. Calls wine does not implement are
// reported as skipped there and checked on Windows. Exit code 0 on success.

#include "filemedium.h"
#include "checks.h"
#include "platformfile.h"

#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <string>

namespace {

// Under wine a missing call is no fault of the layer; on Windows it is.
void checkOrSkip(bool ok, const wchar_t *what, const wchar_t *call)
{
    if (!ok && underWine())
        std::wprintf(L"skipped: %ls (wine lacks %ls)\n", what, call);
    else
        check(ok, what);
}

// Repeats neither every sector nor every page, so a read from the wrong
// offset shows.
std::string pattern(std::size_t size)
{
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = char((i % 251) ^ (i >> 9));
    return bytes;
}

bool create(const std::wstring &path, const std::string &bytes)
{
    const HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                 nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    const bool ok = bytes.empty() || (WriteFile(h, bytes.data(), DWORD(bytes.size()), &written, nullptr)
                                      && written == bytes.size());
    return CloseHandle(h) && ok;
}

std::string readAll(platformfile::ReadBack &back)
{
    std::string all;
    for (;;) {
        const std::int64_t n = back.read(std::int64_t(all.size()), platformfile::ReadBack::chunkSize);
        if (n <= 0)
            return n == 0 ? all : std::string("read failed");
        all.append(reinterpret_cast<const char *>(back.data()), std::size_t(n));
    }
}

void checkExtents(const platformfile::ExtentMap &map, std::uint64_t size, bool local)
{
    if (!map.known) {
        checkOrSkip(!local, L"mapExtents maps a file on a local volume", L"FSCTL_GET_RETRIEVAL_POINTERS");
        return;
    }
    std::uint64_t covered = 0;
    bool ordered = true;
    for (const platformfile::Extent &e : map.extents) {
        std::wprintf(L"      extent %llu +%llu at %llu, flags 0x%x\n", static_cast<unsigned long long>(e.logical),
                     static_cast<unsigned long long>(e.length), static_cast<unsigned long long>(e.physical),
                     unsigned(e.flags));
        ordered = ordered && e.length > 0 && e.logical >= covered;
        covered = e.logical + e.length;
    }
    check(ordered && covered >= size, L"the extents are in order and cover the whole file");
}

// The system volume lies on a disk that answers storage queries, under wine
// too; the files checked above may not.
void checkSystemDisk()
{
    wchar_t dir[MAX_PATH];
    const UINT n = GetSystemDirectoryW(dir, MAX_PATH);
    const int fd = n && n < MAX_PATH ? _wopen((std::wstring(dir, n) + L"\\kernel32.dll").c_str(), _O_RDONLY | _O_BINARY)
                                     : -1;
    const platformfile::BlockDevice device = platformfile::describeMedium(fd).device;
    std::wprintf(L"      system volume %hs, transport %hs, rotational %d, flash %d\n", device.name.c_str(),
                 device.transport.c_str(), int(device.rotational), int(device.flash));
    check(fd >= 0 && device.known, L"the system volume's device answers");
    if (fd >= 0)
        _close(fd);
}

} // namespace

int wmain(int argc, wchar_t **argv)
{
    if (argc != 2) {
        std::fwprintf(stderr, L"usage: filemedium_check FILE\n");
        return 2;
    }
    const std::wstring path = argv[1];
    const std::wstring empty = path + L".empty";
    std::wprintf(L"%ls\n", underWine() ? L"running under wine" : L"running on Windows");

    const std::string bytes = pattern(64 * 1024 + 100);
    if (!create(path, bytes) || !create(empty, std::string())) {
        fail(L"cannot create the files");
        return 1;
    }
    {
        platformfile::WipeTarget target;
        check(target.open(path) == platformfile::OpenResult::Opened, L"opened for the wipe");
        check(target.syncToMedium(), L"syncToMedium on the held file");
        const int fd = target.descriptor();

        const platformfile::Medium medium = platformfile::describeMedium(fd);
        const platformfile::BlockDevice &device = medium.device;
        std::wprintf(L"      file system %hs (kind %d), volume %hs, direct reads %d, compressed %d, encrypted %d\n",
                     medium.fileSystem.c_str(), int(medium.kind), device.name.c_str(), int(medium.directRead),
                     int(medium.fileCompressed), int(medium.fileEncrypted));
        check(!medium.fileSystem.empty(), L"describeMedium names the file system");
        check(medium.kind != platformfile::FileSystemKind::Unknown
                  && (medium.fileSystem != "NTFS" || medium.kind == platformfile::FileSystemKind::Ntfs
                      || medium.kind == platformfile::FileSystemKind::Network),
              L"the file system's kind follows its name");
        check(!device.name.empty(), L"the volume is named");
        const bool local = medium.kind != platformfile::FileSystemKind::Network;
        std::wprintf(L"      device known %d, transport %hs, rotational %d, flash %d, removable %d, image %d\n",
                     int(device.known), device.transport.c_str(), int(device.rotational), int(device.flash),
                     int(device.removable), int(device.imageFile));
        if (!device.known && underWine())
            std::wprintf(L"skipped: the device below (wine lacks GetVolumeNameForVolumeMountPointW there)\n");

        checkExtents(platformfile::mapExtents(fd), bytes.size(), local);

        platformfile::ReadBack back;
        check(back.open(fd, true), L"ReadBack opens the held file");
        std::wprintf(L"      read back %ls\n", back.direct() ? L"unbuffered" : L"through the cache");
        if (medium.directRead && !back.direct())
            checkOrSkip(false, L"an unbuffered read on a local volume", L"FILE_FLAG_NO_BUFFERING");
        check(readAll(back) == bytes, L"the whole file reads back as written");
        check(back.read(4000, 200) == 200 && std::string(reinterpret_cast<const char *>(back.data()), 200)
                                                 == bytes.substr(4000, 200),
              L"a read off the sector boundaries gives the bytes at its offset");
        check(back.read(std::int64_t(bytes.size()), 4096) == 0, L"a read at the end gives 0");

        platformfile::ReadBack cached;
        check(cached.open(fd, false) && !cached.direct() && readAll(cached) == bytes,
              L"a cached ReadBack reads the same");
    }
    {
        platformfile::WipeTarget target;
        check(target.open(empty) == platformfile::OpenResult::Opened, L"an empty file opened for the wipe");
        const platformfile::ExtentMap map = platformfile::mapExtents(target.descriptor());
        check(!map.known || map.extents.empty(), L"an empty file has no extents");
        platformfile::ReadBack back;
        check(back.open(target.descriptor(), true) && back.read(0, platformfile::ReadBack::chunkSize) == 0,
              L"an empty file reads back 0 bytes");
    }
    checkSystemDisk();
    platformfile::ReadBack none;
    check(!none.open(-1, true) && none.read(0, 1) == -1, L"no descriptor, no ReadBack");
    DeleteFileW(path.c_str());
    DeleteFileW(empty.c_str());

    std::wprintf(L"filemedium: %d passed, %d failed\n", passed, failed);
    return failed == 0 ? 0 : 1;
}
