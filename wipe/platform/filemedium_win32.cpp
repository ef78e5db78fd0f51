#include "filemedium.h"
#include "win32handle.h"

#include <windows.h>
#include <winioctl.h>
#include <io.h>
#include <fcntl.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <iterator>
#include <vector>

namespace platformfile {

namespace {

// Unbuffered reads go in whole sectors; 4096 covers 512-byte and 4K disks.
constexpr std::uint64_t sectorAlignment = 4096;

// Others may keep the held file open for writing and deleting; the write
// handle's own sharing still keeps them out.
constexpr DWORD readSharing = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

HANDLE handleOf(int fd)
{
    if (fd < 0)
        return INVALID_HANDLE_VALUE;
    const intptr_t h = _get_osfhandle(fd);
    return h == -1 ? INVALID_HANDLE_VALUE : reinterpret_cast<HANDLE>(h);
}


std::string utf8(const std::wstring &text)
{
    if (text.empty())
        return std::string();
    const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0, nullptr, nullptr);
    if (n <= 0)
        return std::string();
    std::string out(std::size_t(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), &out[0], n, nullptr, nullptr);
    return out;
}

FileSystemKind kindOfName(const wchar_t *name)
{
    if (!*name)
        return FileSystemKind::Unknown;
    if (!_wcsicmp(name, L"NTFS"))
        return FileSystemKind::Ntfs;
    if (!_wcsicmp(name, L"FAT") || !_wcsicmp(name, L"FAT12") || !_wcsicmp(name, L"FAT16")
        || !_wcsicmp(name, L"FAT32"))
        return FileSystemKind::Fat;
    if (!_wcsicmp(name, L"exFAT"))
        return FileSystemKind::ExFat;
    if (!_wcsicmp(name, L"ReFS"))
        return FileSystemKind::Refs;
    return FileSystemKind::Other;
}

DWORD attributesOf(HANDLE h)
{
    FILE_BASIC_INFO basic {};
    return GetFileInformationByHandleEx(h, FileBasicInfo, &basic, sizeof basic) ? basic.FileAttributes : 0;
}

std::wstring finalPath(HANDLE h, DWORD flags)
{
    std::vector<wchar_t> buffer(MAX_PATH);
    for (int attempt = 0; attempt < 2; ++attempt) {
        const DWORD n = GetFinalPathNameByHandleW(h, buffer.data(), DWORD(buffer.size()), flags);
        if (n == 0)
            return std::wstring();
        if (n < buffer.size())
            return std::wstring(buffer.data(), n);
        buffer.resize(n + 1);
    }
    return std::wstring();
}

// Where the open file lies, found from the handle: the name may lead
// elsewhere by now.
struct Volume {
    std::wstring root;   // "C:\", "C:\mnt\data\", "\\server\share\"
    std::wstring device; // "\\.\C:" or "\\?\Volume{...}", for device queries
    bool remote = false;
};

bool locate(HANDLE h, Volume &volume)
{
    std::wstring path = finalPath(h, VOLUME_NAME_DOS);
    if (path.empty()) {
        // A volume with neither a letter nor a mount folder has its GUID name only.
        path = finalPath(h, VOLUME_NAME_GUID);
        const std::size_t end = path.find(L'\\', 4);
        if (path.compare(0, 11, L"\\\\?\\Volume{") != 0 || end == std::wstring::npos)
            return false;
        volume.root = path.substr(0, end + 1);
        volume.device = path.substr(0, end);
        return true;
    }
    if (path.compare(0, 8, L"\\\\?\\UNC\\") == 0) {
        path = L"\\\\" + path.substr(8);
        volume.remote = true;
    } else if (path.compare(0, 4, L"\\\\?\\") == 0) {
        path.erase(0, 4);
    }
    if (path.empty())
        return false;
    std::vector<wchar_t> root(path.size() + 2);
    if (!GetVolumePathNameW(path.c_str(), root.data(), DWORD(root.size())))
        return false;
    volume.root = root.data();
    if (volume.root.empty())
        return false;
    if (volume.root.back() != L'\\')
        volume.root += L'\\';
    if (GetDriveTypeW(volume.root.c_str()) == DRIVE_REMOTE)
        volume.remote = true;
    if (volume.remote)
        return true;

    if (volume.root.size() == 3 && volume.root[1] == L':') {
        volume.device = L"\\\\.\\" + volume.root.substr(0, 2);
    } else {
        wchar_t guid[64];
        if (GetVolumeNameForVolumeMountPointW(volume.root.c_str(), guid, DWORD(std::size(guid)))) {
            volume.device = guid;
            if (!volume.device.empty() && volume.device.back() == L'\\')
                volume.device.pop_back(); // the volume itself, not its root directory
        }
    }
    return true;
}

bool isRemote(HANDLE h)
{
    // Answered only by the network redirectors.
    FILE_REMOTE_PROTOCOL_INFO protocol {};
    return GetFileInformationByHandleEx(h, FileRemoteProtocolInfo, &protocol, sizeof protocol) != 0;
}

std::uint64_t clusterSize(HANDLE h)
{
    Volume volume;
    DWORD sectorsPerCluster = 0, bytesPerSector = 0, freeClusters = 0, clusters = 0;
    if (!locate(h, volume)
        || !GetDiskFreeSpaceW(volume.root.c_str(), &sectorsPerCluster, &bytesPerSector, &freeClusters, &clusters))
        return 0;
    return std::uint64_t(sectorsPerCluster) * bytesPerSector;
}

const char *transportOf(STORAGE_BUS_TYPE bus)
{
    switch (bus) {
    case BusTypeScsi: return "scsi";
    case BusTypeAtapi: return "atapi";
    case BusTypeAta: return "ata";
    case BusType1394: return "firewire";
    case BusTypeSsa: return "ssa";
    case BusTypeFibre: return "fibre";
    case BusTypeUsb: return "usb";
    case BusTypeRAID: return "raid";
    case BusTypeiScsi: return "iscsi";
    case BusTypeSas: return "sas";
    case BusTypeSata: return "sata";
    case BusTypeSd: return "sd";
    case BusTypeMmc: return "mmc";
    case BusTypeVirtual: return "virtual";
    case BusTypeFileBackedVirtual: return "virtual";
    case BusTypeSpaces: return "spaces";
    case BusTypeNvme: return "nvme";
    case BusTypeSCM: return "scm";
    case BusTypeUfs: return "ufs";
    default: return "";
    }
}

// Cards, NVMe and persistent memory are solid state whatever the seek
// penalty query says, or when it is not answered.
bool flashByBus(STORAGE_BUS_TYPE bus)
{
    return bus == BusTypeSd || bus == BusTypeMmc || bus == BusTypeNvme || bus == BusTypeSCM || bus == BusTypeUfs;
}

// Adds one disk (or a volume that passes the query down to its disk) to what
// is known of the device. Zero access rights are enough for these queries.
bool addDisk(const std::wstring &path, BlockDevice &device)
{
    Handle disk(CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!disk.valid())
        return false;

    STORAGE_PROPERTY_QUERY query {};
    query.PropertyId = StorageDeviceProperty;
    query.QueryType = PropertyStandardQuery;
    alignas(8) unsigned char buffer[1024];
    DWORD got = 0;
    if (!DeviceIoControl(disk.get(), IOCTL_STORAGE_QUERY_PROPERTY, &query, sizeof query, buffer, sizeof buffer,
                         &got, nullptr)
        || got < offsetof(STORAGE_DEVICE_DESCRIPTOR, BusType) + sizeof(STORAGE_BUS_TYPE))
        return false;
    STORAGE_DEVICE_DESCRIPTOR descriptor {};
    std::memcpy(&descriptor, buffer, std::min<std::size_t>(got, sizeof descriptor));

    if (device.transport.empty())
        device.transport = transportOf(descriptor.BusType);
    // The descriptor's strings: offsets into the answer, 0 where the disk gives none.
    const auto text = [&](DWORD offset) {
        std::string value;
        for (DWORD i = offset; offset != 0 && i < got && buffer[i] != 0; ++i)
            value += char(buffer[i]);
        const std::size_t first = value.find_first_not_of(' ');
        return first == std::string::npos ? std::string() : value.substr(first, value.find_last_not_of(' ') - first + 1);
    };
    DiskIdentity id;
    id.name = utf8(path.substr(path.find_last_of(L'\\') + 1));
    id.transport = transportOf(descriptor.BusType);
    const bool virtualDisk = descriptor.BusType == BusTypeVirtual || descriptor.BusType == BusTypeFileBackedVirtual;
    id.kind = descriptor.BusType == BusTypeFileBackedVirtual ? "loop" : virtualDisk ? "virtual" : "physical";
    id.maker = virtualDisk ? std::string() : text(descriptor.VendorIdOffset);
    id.model = text(descriptor.ProductIdOffset);
    id.serial = text(descriptor.SerialNumberOffset);
    device.disks.push_back(id);
    device.removable = device.removable || descriptor.RemovableMedia;
    device.imageFile = device.imageFile || descriptor.BusType == BusTypeFileBackedVirtual;

    query.PropertyId = StorageDeviceSeekPenaltyProperty;
    DEVICE_SEEK_PENALTY_DESCRIPTOR penalty {};
    got = 0;
    if (DeviceIoControl(disk.get(), IOCTL_STORAGE_QUERY_PROPERTY, &query, sizeof query, &penalty, sizeof penalty,
                        &got, nullptr)
        && got >= sizeof penalty) {
        device.rotational = device.rotational || penalty.IncursSeekPenalty;
        device.flash = device.flash || !penalty.IncursSeekPenalty;
    } else if (flashByBus(descriptor.BusType)) {
        device.flash = true;
    }
    device.known = true;
    return true;
}

// A volume over several disks (spanned, striped, mirrored) answers no storage
// query itself: each of its disks is asked instead.
void addDisksOf(const std::wstring &volumePath, BlockDevice &device)
{
    Handle volume(CreateFileW(volumePath.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                              nullptr));
    if (!volume.valid())
        return;
    std::vector<unsigned char> buffer(offsetof(VOLUME_DISK_EXTENTS, Extents) + 32 * sizeof(DISK_EXTENT));
    DWORD got = 0;
    if (!DeviceIoControl(volume.get(), IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS, nullptr, 0, buffer.data(),
                         DWORD(buffer.size()), &got, nullptr)
        || got < offsetof(VOLUME_DISK_EXTENTS, Extents))
        return;
    DWORD count = 0;
    std::memcpy(&count, buffer.data(), sizeof count);
    count = std::min<DWORD>(count, DWORD((got - offsetof(VOLUME_DISK_EXTENTS, Extents)) / sizeof(DISK_EXTENT)));
    std::vector<DWORD> asked;
    for (DWORD i = 0; i < count; ++i) {
        DISK_EXTENT extent;
        std::memcpy(&extent, buffer.data() + offsetof(VOLUME_DISK_EXTENTS, Extents) + i * sizeof extent,
                    sizeof extent);
        if (std::find(asked.begin(), asked.end(), extent.DiskNumber) != asked.end())
            continue;
        asked.push_back(extent.DiskNumber);
        addDisk(L"\\\\.\\PhysicalDrive" + std::to_wstring(extent.DiskNumber), device);
    }
}

} // namespace

Medium describeMedium(int fd)
{
    Medium medium;
    const HANDLE h = handleOf(fd);
    if (h == INVALID_HANDLE_VALUE)
        return medium;

    wchar_t name[MAX_PATH + 1] = {};
    DWORD volumeFlags = 0;
    const bool named = GetVolumeInformationByHandleW(h, nullptr, 0, nullptr, nullptr, &volumeFlags, name,
                                                     DWORD(std::size(name)))
        != 0;
    if (named) {
        medium.fileSystem = utf8(name);
        medium.kind = kindOfName(name);
        // A compressed volume stores everything written compressed.
        medium.compressMount = (volumeFlags & FILE_VOLUME_IS_COMPRESSED) != 0;
    }

    const DWORD attributes = attributesOf(h);
    medium.fileCompressed = (attributes & FILE_ATTRIBUTE_COMPRESSED) != 0;
    medium.fileEncrypted = (attributes & FILE_ATTRIBUTE_ENCRYPTED) != 0;

    Volume volume;
    const bool located = locate(h, volume);
    if (isRemote(h) || volume.remote)
        medium.kind = FileSystemKind::Network;

    medium.extents = mapExtents(fd);
    medium.fileInline = (medium.extents.flags() & ExtentInline) != 0;

    if (located) {
        std::wstring root = volume.root;
        if (root.size() > 1 && root.back() == L'\\')
            root.pop_back();
        medium.device.name = utf8(root);
    }
    if (located && medium.kind != FileSystemKind::Network && !volume.device.empty()) {
        if (!addDisk(volume.device, medium.device))
            addDisksOf(volume.device, medium.device);
    }
    // Unbuffered reads come from the disk on a local volume; over a network
    // the server's cache may still answer.
    medium.directRead = named && medium.kind != FileSystemKind::Network;
    return medium;
}

ExtentMap mapExtents(int fd)
{
    ExtentMap map;
    const HANDLE h = handleOf(fd);
    if (h == INVALID_HANDLE_VALUE)
        return map;
    FlushFileBuffers(h); // clusters still owed to cached writes get their place
    const std::uint64_t cluster = clusterSize(h);
    if (cluster == 0)
        return map;

    const DWORD attributes = attributesOf(h);
    std::uint32_t stored = 0;
    if (attributes & FILE_ATTRIBUTE_COMPRESSED)
        stored |= ExtentEncoded;
    if (attributes & FILE_ATTRIBUTE_ENCRYPTED)
        stored |= ExtentEncrypted;

    // Read field by field: the buffer's run array is declared one long.
    constexpr std::size_t head = offsetof(RETRIEVAL_POINTERS_BUFFER, Extents);
    constexpr std::size_t runSize = 2 * sizeof(LARGE_INTEGER);
    std::vector<unsigned char> buffer(head + 256 * runSize);
    STARTING_VCN_INPUT_BUFFER from {};
    std::size_t runs = 0;
    for (;;) {
        DWORD got = 0;
        const bool ok = DeviceIoControl(h, FSCTL_GET_RETRIEVAL_POINTERS, &from, sizeof from, buffer.data(),
                                        DWORD(buffer.size()), &got, nullptr)
            != 0;
        const DWORD error = ok ? ERROR_SUCCESS : GetLastError();
        if (error == ERROR_HANDLE_EOF) // nothing from here on, or nothing outside the file record
            break;
        if ((error != ERROR_SUCCESS && error != ERROR_MORE_DATA) || got < head)
            return ExtentMap();
        DWORD count = 0;
        LARGE_INTEGER vcn;
        std::memcpy(&count, buffer.data() + offsetof(RETRIEVAL_POINTERS_BUFFER, ExtentCount), sizeof count);
        std::memcpy(&vcn, buffer.data() + offsetof(RETRIEVAL_POINTERS_BUFFER, StartingVcn), sizeof vcn);
        count = std::min<DWORD>(count, DWORD((got - head) / runSize));
        for (DWORD i = 0; i < count; ++i) {
            LARGE_INTEGER next, lcn;
            std::memcpy(&next, buffer.data() + head + i * runSize, sizeof next);
            std::memcpy(&lcn, buffer.data() + head + i * runSize + sizeof next, sizeof lcn);
            if (next.QuadPart <= vcn.QuadPart || vcn.QuadPart < 0)
                return ExtentMap();
            ++runs;
            // LCN -1: a hole, or the part of a compression unit it saved.
            // On FAT and exFAT the clusters count from the data area.
            if (lcn.QuadPart != -1)
                map.extents.push_back({std::uint64_t(vcn.QuadPart) * cluster, std::uint64_t(lcn.QuadPart) * cluster,
                                       std::uint64_t(next.QuadPart - vcn.QuadPart) * cluster, stored});
            vcn = next;
        }
        if (ok)
            break;
        if (count == 0)
            return ExtentMap();
        from.StartingVcn = vcn;
    }

    LARGE_INTEGER size;
    if (runs == 0 && GetFileSizeEx(h, &size) && size.QuadPart > 0)
        map.extents.push_back({0, 0, std::uint64_t(size.QuadPart), ExtentInline | stored}); // resident in the MFT
    map.known = true;
    return map;
}

bool probeMedium(const NativePath &path, Medium &out)
{
    // Read access only, sharing everything, the name itself if it is a
    // reparse point: nothing about the file changes.
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    BY_HANDLE_FILE_INFORMATION info {};
    if (!GetFileInformationByHandle(h, &info) || GetFileType(h) != FILE_TYPE_DISK
        || (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT))) {
        CloseHandle(h);
        return false;
    }
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(h), _O_RDONLY);
    if (fd < 0) {
        CloseHandle(h);
        return false;
    }
    out = describeMedium(fd);
    _close(fd); // closes the handle too
    return true;
}

ReadBack::~ReadBack()
{
    if (m_handle)
        CloseHandle(m_handle);
    if (m_buffer)
        VirtualFree(m_buffer, 0, MEM_RELEASE);
}

bool ReadBack::open(int fd, bool tryDirect)
{
    if (m_handle)
        CloseHandle(m_handle);
    m_handle = nullptr;
    m_direct = false;
    const HANDLE held = handleOf(fd);
    if (held == INVALID_HANDLE_VALUE)
        return false;
    if (!m_buffer) // page aligned, so aligned for any sector size
        m_buffer = static_cast<unsigned char *>(
            VirtualAlloc(nullptr, chunkSize, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
    if (!m_buffer)
        return false;

    // Reopened from the held handle, so it is the same file whatever its name.
    HANDLE h = INVALID_HANDLE_VALUE;
    if (tryDirect)
        h = ReOpenFile(held, GENERIC_READ, readSharing, FILE_FLAG_NO_BUFFERING | FILE_FLAG_SEQUENTIAL_SCAN);
    m_direct = h != INVALID_HANDLE_VALUE;
    if (!m_direct)
        h = ReOpenFile(held, GENERIC_READ, readSharing, FILE_FLAG_SEQUENTIAL_SCAN);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    m_handle = h;
    return true;
}

std::int64_t ReadBack::read(std::int64_t offset, std::size_t length)
{
    if (!m_handle || offset < 0)
        return -1;
    length = std::min(length, chunkSize);
    if (length == 0)
        return 0;

    // Unbuffered reads start and end on sector boundaries; the bytes before
    // the offset are read too and moved out of the way.
    std::uint64_t start = std::uint64_t(offset);
    std::size_t skip = 0;
    std::size_t count = length;
    if (m_direct) {
        skip = std::size_t(start % sectorAlignment);
        start -= skip;
        count = std::min<std::size_t>((skip + length + sectorAlignment - 1) / sectorAlignment * sectorAlignment,
                                      chunkSize);
    }
    OVERLAPPED at {};
    at.Offset = DWORD(start);
    at.OffsetHigh = DWORD(start >> 32);
    DWORD got = 0;
    if (!ReadFile(m_handle, m_buffer, DWORD(count), &got, &at))
        return GetLastError() == ERROR_HANDLE_EOF ? 0 : -1;
    if (got <= skip)
        return 0;
    got -= DWORD(skip);
    if (skip)
        std::memmove(m_buffer, m_buffer + skip, got);
    return std::int64_t(std::min<std::size_t>(got, length));
}

} // namespace platformfile
