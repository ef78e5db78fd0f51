#include "filemedium.h"
#include "descriptor_posix.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>

#include <dirent.h>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/vfs.h>
#include <unistd.h>

#ifdef __linux__
#include <linux/btrfs.h>
#include <linux/fiemap.h>
#include <linux/fs.h>
#endif

#include <algorithm>

namespace platformfile {

namespace {

struct KnownFileSystem {
    unsigned long magic;
    FileSystemKind kind;
    const char *name;
};

// statfs magic numbers, from the kernel's include/uapi/linux/magic.h and the
// file systems that keep theirs to themselves.
const KnownFileSystem knownFileSystems[] = {
    {0xEF53, FileSystemKind::Ext, "ext4"},
    {0x58465342, FileSystemKind::Xfs, "xfs"},
    {0x9123683E, FileSystemKind::Btrfs, "btrfs"},
    {0x2FC12FC1, FileSystemKind::Zfs, "zfs"},
    {0xF2F52010, FileSystemKind::F2fs, "f2fs"},
    {0x4D44, FileSystemKind::Fat, "vfat"},
    {0x2011BAB0, FileSystemKind::ExFat, "exfat"},
    {0x5346544E, FileSystemKind::Ntfs, "ntfs"},
    {0x7366746E, FileSystemKind::Ntfs, "ntfs3"},
    {0x01021994, FileSystemKind::Memory, "tmpfs"},
    {0x858458F6, FileSystemKind::Memory, "ramfs"},
    {0x6969, FileSystemKind::Network, "nfs"},
    {0x517B, FileSystemKind::Network, "smb"},
    {0xFF534D42, FileSystemKind::Network, "cifs"},
    {0xFE534D42, FileSystemKind::Network, "smb2"},
    {0x01021997, FileSystemKind::Network, "9p"},
    {0x00C36400, FileSystemKind::Network, "ceph"},
    {0x47504653, FileSystemKind::Network, "gpfs"},
    {0x0BD00BD0, FileSystemKind::Network, "lustre"},
    {0x65735546, FileSystemKind::Fuse, "fuse"},
    {0x794C7630, FileSystemKind::Overlay, "overlay"},
    {0xF15F, FileSystemKind::Other, "ecryptfs"},
    {0x52654973, FileSystemKind::Other, "reiserfs"},
    {0x3153464A, FileSystemKind::Other, "jfs"},
    {0x73717368, FileSystemKind::Other, "squashfs"},
};

std::string readText(const std::string &path)
{
    std::ifstream in(path);
    std::string text;
    std::getline(in, text);
    return text;
}

bool readFlag(const std::string &path)
{
    return readText(path) == "1";
}

// One line of /proc/self/mountinfo: its device, mount root, file system,
// source and the file system's own options.
struct Mount {
    std::string majorMinor;
    std::string root;       // the file system's directory mounted here
    std::string point;      // where, in this process's view
    std::string type;
    std::string source;
    std::string options;    // per mount
    std::string superOptions; // of the file system
};

bool hasOption(const std::string &options, const std::string &name)
{
    std::stringstream list(options);
    std::string option;
    while (std::getline(list, option, ','))
        if (option == name || option.rfind(name + "=", 0) == 0 || option.rfind(name + ":", 0) == 0)
            return true;
    return false;
}

// mountinfo writes a space, a comma or a backslash in a field as \ooo.
std::string unescapeMountField(const std::string &field)
{
    const auto octal = [&](std::size_t at) { return at < field.size() && field[at] >= '0' && field[at] <= '7'; };
    std::string out;
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && octal(i + 1) && octal(i + 2) && octal(i + 3)) {
            out += char(((field[i + 1] - '0') << 6) | ((field[i + 2] - '0') << 3) | (field[i + 3] - '0'));
            i += 3;
        } else {
            out += field[i];
        }
    }
    return out;
}

// The mount the open file is on, by the mount id the kernel gives for it.
bool findMount(int fd, Mount &out)
{
    std::ifstream info("/proc/self/fdinfo/" + std::to_string(fd));
    std::string line, mountId;
    while (std::getline(info, line))
        if (line.rfind("mnt_id:", 0) == 0)
            mountId = line.substr(line.find_first_not_of(" \t", 7));
    if (mountId.empty())
        return false;
    std::ifstream table("/proc/self/mountinfo");
    while (std::getline(table, line)) {
        std::istringstream fields(line);
        std::string id, parent, majorMinor, root, point, options, field;
        fields >> id >> parent >> majorMinor >> root >> point >> options;
        if (id != mountId)
            continue;
        while (fields >> field && field != "-") {
        }
        out.majorMinor = majorMinor;
        out.root = unescapeMountField(root);
        out.point = unescapeMountField(point);
        out.options = options;
        fields >> out.type >> out.source >> out.superOptions;
        return true;
    }
    return false;
}

std::string realPath(const std::string &path)
{
    char resolved[PATH_MAX];
    return ::realpath(path.c_str(), resolved) ? std::string(resolved) : std::string();
}

std::string lastComponent(const std::string &path)
{
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string nodeOf(const std::string &sysBlock)
{
    std::ifstream uevent(sysBlock + "/uevent");
    for (std::string line; std::getline(uevent, line);)
        if (line.rfind("DEVNAME=", 0) == 0)
            return "/dev/" + line.substr(8);
    return std::string();
}

std::string transportOf(const std::string &devicePath)
{
    static const char *const transports[][2] = {
        {"/usb", "usb"}, {"/nvme", "nvme"}, {"/mmc", "mmc"}, {"/ata", "sata"},
        {"/virtio", "virtio"}, {"/host", "scsi"},
    };
    for (const auto &t : transports)
        if (devicePath.find(t[0]) != std::string::npos)
            return t[1];
    return std::string();
}

std::string trimmed(const std::string &text)
{
    const std::size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos)
        return std::string();
    return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

// The unit serial number page (SCSI VPD 0x80): a 4-byte header, then the serial.
std::string vpdSerial(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    const std::string page((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (page.size() < 4 || static_cast<unsigned char>(page[1]) != 0x80)
        return std::string();
    const std::size_t length = (std::size_t(static_cast<unsigned char>(page[2])) << 8) | static_cast<unsigned char>(page[3]);
    return trimmed(page.substr(4, length));
}

// What the disk says of itself. libata's "ATA" and a bus's numeric vendor id
// name no maker, so they are left out rather than shown as one.
DiskIdentity identityOf(const std::string &disk, const std::string &transport)
{
    DiskIdentity id;
    id.name = lastComponent(disk);
    id.transport = transport;
    const std::string name = id.name;
    if (name.rfind("nbd", 0) == 0 || name.rfind("rbd", 0) == 0 || name.rfind("drbd", 0) == 0)
        id.kind = "network";
    else if (name.rfind("zram", 0) == 0 || name.rfind("ram", 0) == 0)
        id.kind = "memory";
    else if (transport == "virtio")
        id.kind = "virtual";
    else
        id.kind = "physical";
    const std::string vendor = trimmed(readText(disk + "/device/vendor"));
    if (id.kind == "physical" && vendor != "ATA" && vendor.rfind("0x", 0) != 0)
        id.maker = vendor;
    id.model = trimmed(readText(disk + "/device/model"));
    if (id.model.empty() && transport == "mmc")
        id.model = trimmed(readText(disk + "/device/name"));
    id.serial = trimmed(readText(disk + "/device/serial")); // NVMe, MMC
    if (id.serial.empty())
        id.serial = trimmed(readText(disk + "/serial")); // virtio, as the host set it
    if (id.serial.empty())
        id.serial = vpdSerial(disk + "/device/vpd_pg80"); // SCSI, SATA through libata
    return id;
}

// Walks from one block device down through its layers to the disks.
void describeBlock(const std::string &sysBlock, BlockDevice &device, int depth)
{
    if (depth > 8 || sysBlock.empty())
        return;
    std::string disk = sysBlock;
    // A partition's queue and removable flag belong to its disk.
    if (::access((sysBlock + "/partition").c_str(), F_OK) == 0)
        disk = sysBlock.substr(0, sysBlock.rfind('/'));
    const std::string name = lastComponent(disk);
    if (readText(disk + "/dm/uuid").rfind("CRYPT-", 0) == 0)
        device.encrypted = true;
    if (name.rfind("loop", 0) == 0 && !readText(disk + "/loop/backing_file").empty()) {
        device.imageFile = true;
        DiskIdentity loop;
        loop.name = name;
        loop.kind = "loop";
        device.disks.push_back(loop);
    }
    bool layered = false;
    const std::string slaves = disk + "/slaves";
    if (DIR *list = ::opendir(slaves.c_str())) {
        while (const struct dirent *entry = ::readdir(list)) {
            if (entry->d_name[0] == '.')
                continue;
            layered = true;
            describeBlock(realPath(slaves + "/" + entry->d_name), device, depth + 1);
        }
        ::closedir(list);
    }
    if (layered || device.imageFile)
        return;
    // A disk at the bottom: what kind of storage holds the bytes.
    if (readText(disk + "/queue/rotational") == "1")
        device.rotational = true;
    else
        device.flash = true;
    if (readFlag(disk + "/removable"))
        device.removable = true;
    const std::string transport = transportOf(realPath(disk + "/device"));
    if (!transport.empty() && device.transport.empty())
        device.transport = transport;
    device.disks.push_back(identityOf(disk, transport));
}

BlockDevice describeDevice(dev_t fileDevice, const Mount *mount)
{
    BlockDevice device;
    std::string sysBlock =
        realPath("/sys/dev/block/" + std::to_string(major(fileDevice)) + ":" + std::to_string(minor(fileDevice)));
    // btrfs and others give files an anonymous device: the mount's source
    // names the real one.
    if (sysBlock.empty() && mount && mount->source.rfind("/dev/", 0) == 0) {
        struct stat st {};
        if (::stat(mount->source.c_str(), &st) == 0 && S_ISBLK(st.st_mode))
            sysBlock = realPath("/sys/dev/block/" + std::to_string(major(st.st_rdev)) + ":"
                                + std::to_string(minor(st.st_rdev)));
    }
    if (sysBlock.empty())
        return device;
    device.known = true;
    device.name = lastComponent(sysBlock);
    device.path = nodeOf(sysBlock);
    describeBlock(sysBlock, device, 0);
    return device;
}

std::string systemReason(int error)
{
    return std::strerror(error);
}

std::uint32_t le32(const unsigned char *p)
{
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 | std::uint32_t(p[3]) << 24;
}

std::string uuidText(const unsigned char *bytes)
{
    static const char digits[] = "0123456789abcdef";
    std::string text;
    for (int i = 0; i < 16; ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10)
            text += '-';
        text += digits[bytes[i] >> 4];
        text += digits[bytes[i] & 15];
    }
    return text;
}

// The ext2/3/4 superblock: 1024 bytes at byte 1024 of the device.
constexpr std::size_t superSize = 1024;
bool readExtSuper(const std::string &path, unsigned char *super, std::string &why)
{
    // Never waits for a drive with no medium in it.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        why = systemReason(errno);
        return false;
    }
    const ssize_t n = ::pread(fd, super, superSize, 1024);
    why = n < 0 ? systemReason(errno) : "too short for a superblock";
    ::close(fd);
    return n == ssize_t(superSize) && super[0x38] == 0x53 && super[0x39] == 0xEF;
}

void btrfsDevices(int fd, const Medium &medium, VolumeDevices &out)
{
#ifdef __linux__
    struct btrfs_ioctl_fs_info_args info {};
    if (::ioctl(fd, BTRFS_IOC_FS_INFO, &info) != 0) {
        out.notFound.push_back("btrfs: " + systemReason(errno));
        return;
    }
    const std::string fsid = uuidText(info.fsid);
    const std::string list = "/sys/fs/btrfs/" + fsid + "/devices";
    std::vector<std::string> others;
    DIR *dir = ::opendir(list.c_str());
    if (!dir) {
        out.notFound.push_back(list + ": " + systemReason(errno));
        return;
    }
    while (const struct dirent *entry = ::readdir(dir)) {
        const std::string node = entry->d_name[0] == '.' ? std::string() : nodeOf(realPath(list + "/" + entry->d_name));
        if (!node.empty() && node != medium.device.path) // the volume's own is first already
            others.push_back(node);
    }
    ::closedir(dir);
    std::sort(others.begin(), others.end());
    out.paths.insert(out.paths.end(), others.begin(), others.end());
    if (info.num_devices > out.paths.size())
        out.notFound.push_back("btrfs " + fsid + ": " + std::to_string(info.num_devices - out.paths.size()) + " of "
                               + std::to_string(info.num_devices) + " devices not in " + list);
#else
    (void)fd;
    (void)medium;
    (void)out;
#endif
}

// The device holding the journal whose uuid the file system's superblock
// names: by the device number it gives, else by uuid, else among all.
std::string findJournalDevice(std::uint32_t encoded, const unsigned char *uuid, std::int64_t &bytes)
{
    std::vector<std::string> candidates;
    if (encoded != 0) {
        const unsigned high = (encoded & 0xfff00) >> 8;
        const unsigned low = (encoded & 0xff) | ((encoded >> 12) & 0xfff00);
        candidates.push_back(realPath("/sys/dev/block/" + std::to_string(high) + ":" + std::to_string(low)));
    }
    const std::string byUuid = realPath("/dev/disk/by-uuid/" + uuidText(uuid));
    struct stat st {};
    if (!byUuid.empty() && ::stat(byUuid.c_str(), &st) == 0 && S_ISBLK(st.st_mode))
        candidates.push_back(realPath("/sys/dev/block/" + std::to_string(major(st.st_rdev)) + ":"
                                      + std::to_string(minor(st.st_rdev))));
    if (DIR *dir = ::opendir("/sys/class/block")) {
        while (const struct dirent *entry = ::readdir(dir))
            if (entry->d_name[0] != '.')
                candidates.push_back(realPath(std::string("/sys/class/block/") + entry->d_name));
        ::closedir(dir);
    }
    unsigned char super[superSize];
    std::string why;
    for (const std::string &sysBlock : candidates) {
        const std::string node = sysBlock.empty() ? std::string() : nodeOf(sysBlock);
        // A journal device: the journal_dev feature, and the uuid asked for.
        if (node.empty() || !readExtSuper(node, super, why) || !(le32(super + 0x60) & 0x8)
            || std::memcmp(super + 0x68, uuid, 16) != 0)
            continue;
        const std::string size = readText(sysBlock + "/size");
        bytes = size.empty() ? -1 : std::int64_t(std::strtoll(size.c_str(), nullptr, 10)) * 512;
        return node;
    }
    return std::string();
}

void extDevices(const Medium &medium, VolumeDevices &out)
{
    unsigned char super[superSize];
    std::string why;
    if (!readExtSuper(medium.device.path, super, why)) {
        out.notFound.push_back(medium.device.path + " (journal): " + why);
        return;
    }
    if (!(le32(super + 0x5C) & 0x4)) { // has_journal
        out.journalBytes = 0;
        return;
    }
    if (le32(super + 0xE0) != 0) {
        // An inode journal: its size is kept in the superblock's backup of the inode.
        if (super[0xFD] == 1)
            out.journalBytes = std::int64_t(std::uint64_t(le32(super + 0x148)) << 32 | le32(super + 0x14C));
        return;
    }
    out.externalJournal = true;
    const std::string node = findJournalDevice(le32(super + 0xE4), super + 0xD0, out.journalBytes);
    if (node.empty())
        out.notFound.push_back("journal " + uuidText(super + 0xD0) + ": no device with this uuid found");
    else if (node != medium.device.path)
        out.paths.push_back(node);
}

#ifdef O_PATH
constexpr int lookOnly = O_PATH;
#else
constexpr int lookOnly = O_RDONLY;
#endif


std::vector<std::string> split(const std::string &text, char separator)
{
    std::vector<std::string> parts;
    std::stringstream list(text);
    for (std::string part; std::getline(list, part, separator);)
        parts.push_back(part);
    return parts;
}

// The layers below an overlay, topmost first, as its options name them:
// "lowerdir=a:b", where a backslash makes the next character part of a name,
// or "lowerdir+=a" once a layer. Layers after "::" hold data only and are
// reached through the layers above, never by path.
std::vector<std::string> overlayLowerLayers(const std::string &superOptions)
{
    std::vector<std::string> layers;
    for (const std::string &option : split(superOptions, ',')) {
        if (option.rfind("lowerdir+=", 0) == 0) {
            layers.push_back(unescapeMountField(option.substr(10)));
        } else if (option.rfind("lowerdir=", 0) == 0) {
            const std::string value = unescapeMountField(option.substr(9));
            std::string layer;
            for (std::size_t i = 0; i <= value.size(); ++i) {
                if (i < value.size() && value[i] == '\\' && i + 1 < value.size()) {
                    layer += value[++i];
                } else if (i == value.size() || value[i] == ':') {
                    if (layer.empty())
                        return layers;
                    layers.push_back(layer);
                    layer.clear();
                } else {
                    layer += value[i];
                }
            }
        }
    }
    return layers;
}

// The held file's path from the root of the file system the mount shows.
std::string pathInFileSystem(int fd, const Mount &mount)
{
    char link[PATH_MAX];
    const ssize_t n = ::readlink(("/proc/self/fd/" + std::to_string(fd)).c_str(), link, sizeof link);
    if (n <= 0 || std::size_t(n) >= sizeof link)
        return std::string();
    const std::string path(link, std::size_t(n));
    const std::string point = mount.point == "/" ? std::string() : mount.point;
    if (path.compare(0, point.size(), point) != 0 || path.size() == point.size() || path[point.size()] != '/')
        return std::string();
    return (mount.root == "/" ? std::string() : mount.root) + path.substr(point.size());
}

// Whether the layer holds a regular file at the relative path, looked up one
// name at a time without following a link: a link in a layer is not the file.
bool regularFileIn(const std::string &layer, const std::string &relative)
{
    Descriptor dir(::open(layer.c_str(), lookOnly | O_DIRECTORY | O_CLOEXEC));
    std::vector<std::string> names;
    for (const std::string &name : split(relative, '/'))
        if (!name.empty())
            names.push_back(name);
    if (dir.get() < 0 || names.empty())
        return false;
    for (std::size_t i = 0; i + 1 < names.size(); ++i) {
        dir.reset(::openat(dir.get(), names[i].c_str(), lookOnly | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (dir.get() < 0)
            return false;
    }
    struct stat st {};
    return ::fstatat(dir.get(), names.back().c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode);
}

// The topmost lower layer's file at the held file's path: the original a
// copy-up left behind, or, before a copy-up, the file itself. Layers named
// by a relative path were relative to the mounting process: not looked at.
std::string overlayLowerCopy(int fd, const Mount &mount)
{
    const std::string relative = pathInFileSystem(fd, mount);
    if (relative.empty())
        return std::string();
    for (const std::string &layer : overlayLowerLayers(mount.superOptions))
        if (!layer.empty() && layer[0] == '/' && regularFileIn(layer, relative))
            return (layer == "/" ? std::string() : layer) + relative;
    return std::string();
}

bool directReadsReal(int fd)
{
#if defined(__linux__) && defined(STATX_DIOALIGN)
    struct statx sx {};
    if (::statx(fd, "", AT_EMPTY_PATH, STATX_DIOALIGN, &sx) == 0)
        return (sx.stx_mask & STATX_DIOALIGN) && sx.stx_dio_offset_align > 0;
#else
    (void)fd;
#endif
    return false;
}

} // namespace

ExtentMap mapExtents(int fd)
{
    ExtentMap map;
#ifdef __linux__
    constexpr unsigned batch = 64;
    std::vector<unsigned char> buffer(sizeof(struct fiemap) + batch * sizeof(struct fiemap_extent));
    auto *request = reinterpret_cast<struct fiemap *>(buffer.data());
    std::uint64_t start = 0;
    for (int rounds = 0; rounds < 100000; ++rounds) {
        std::memset(buffer.data(), 0, buffer.size());
        request->fm_start = start;
        request->fm_length = FIEMAP_MAX_OFFSET - start;
        request->fm_flags = FIEMAP_FLAG_SYNC;
        request->fm_extent_count = batch;
        if (::ioctl(fd, FS_IOC_FIEMAP, request) != 0)
            return ExtentMap();
        map.known = true;
        if (request->fm_mapped_extents == 0)
            break;
        bool last = false;
        for (unsigned i = 0; i < request->fm_mapped_extents; ++i) {
            const struct fiemap_extent &fe = request->fm_extents[i];
            Extent e;
            e.logical = fe.fe_logical;
            e.physical = fe.fe_physical;
            e.length = fe.fe_length;
            const std::uint32_t f = fe.fe_flags;
            if (f & FIEMAP_EXTENT_SHARED)
                e.flags |= ExtentShared;
            if (f & FIEMAP_EXTENT_DATA_INLINE)
                e.flags |= ExtentInline;
            if (f & FIEMAP_EXTENT_ENCODED)
                e.flags |= ExtentEncoded;
            if (f & (FIEMAP_EXTENT_UNKNOWN | FIEMAP_EXTENT_DELALLOC))
                e.flags |= ExtentUnknown;
            if (f & FIEMAP_EXTENT_DATA_TAIL)
                e.flags |= ExtentTail;
            if (f & FIEMAP_EXTENT_UNWRITTEN)
                e.flags |= ExtentUnwritten;
            if (f & FIEMAP_EXTENT_DATA_ENCRYPTED)
                e.flags |= ExtentEncrypted;
            map.extents.push_back(e);
            start = fe.fe_logical + fe.fe_length;
            last = last || (f & FIEMAP_EXTENT_LAST);
        }
        if (last)
            break;
    }
#else
    (void)fd;
#endif
    return map;
}

Medium describeMedium(int fd)
{
    Medium medium;
    struct statfs fs {};
    if (::fstatfs(fd, &fs) == 0) {
        medium.kind = FileSystemKind::Other;
        for (const KnownFileSystem &known : knownFileSystems) {
            if (static_cast<unsigned long>(fs.f_type) == known.magic) {
                medium.kind = known.kind;
                medium.fileSystem = known.name;
            }
        }
    }
    Mount mount;
    const bool mounted = findMount(fd, mount);
    if (mounted) {
        if (!mount.type.empty())
            medium.fileSystem = mount.type; // "ext3", "fuse.sshfs", "nfs4": more exact than the magic
        medium.dataJournal = mount.superOptions.find("data=journal") != std::string::npos;
        medium.compressMount = hasOption(mount.superOptions, "compress") || hasOption(mount.superOptions, "compress-force");
        medium.noCowMount = hasOption(mount.superOptions, "nodatacow");
        if (medium.kind == FileSystemKind::Other && mount.type.rfind("fuse", 0) == 0)
            medium.kind = FileSystemKind::Fuse;
        if (medium.kind == FileSystemKind::Overlay)
            medium.lowerCopy = overlayLowerCopy(fd, mount);
    }
#ifdef __linux__
    int flags = 0;
    if (::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0) {
        medium.fileNoCow = (flags & FS_NOCOW_FL) != 0;
        medium.fileCompressed = (flags & FS_COMPR_FL) != 0;
        medium.fileEncrypted = (flags & FS_ENCRYPT_FL) != 0;
        medium.fileInline = (flags & FS_INLINE_DATA_FL) != 0;
        if (flags & FS_JOURNAL_DATA_FL)
            medium.dataJournal = true;
    }
#endif
    medium.extents = mapExtents(fd);
    // ext4 with data=journal answers direct reads from its cache and says so
    // by giving no alignment.
    medium.directRead = directReadsReal(fd) && !medium.dataJournal;
    struct stat st {};
    if (::fstat(fd, &st) == 0)
        medium.device = describeDevice(st.st_dev, mounted ? &mount : nullptr);
    return medium;
}

VolumeDevices volumeDevices(int fd, const Medium &medium)
{
    VolumeDevices out;
    if (medium.device.path.empty())
        return out;
    out.paths.push_back(medium.device.path);
    if (medium.kind == FileSystemKind::Btrfs)
        btrfsDevices(fd, medium, out);
    else if (medium.kind == FileSystemKind::Ext)
        extDevices(medium, out);
    return out;
}

bool probeMedium(const NativePath &path, Medium &out)
{
    struct stat named {};
    if (::lstat(path.c_str(), &named) != 0 || !S_ISREG(named.st_mode))
        return false;
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat opened {};
    const bool same = ::fstat(fd, &opened) == 0 && S_ISREG(opened.st_mode) && opened.st_dev == named.st_dev
        && opened.st_ino == named.st_ino;
    if (same)
        out = describeMedium(fd);
    ::close(fd);
    return same;
}

ReadBack::~ReadBack()
{
    if (m_fd >= 0)
        ::close(m_fd);
    std::free(m_buffer);
}

bool ReadBack::open(int fd, bool tryDirect)
{
    void *buffer = nullptr;
    if (::posix_memalign(&buffer, 4096, chunkSize) != 0)
        return false;
    m_buffer = static_cast<unsigned char *>(buffer);
    // A new description of the same file: its own offset and its own flags.
    const std::string self = "/proc/self/fd/" + std::to_string(fd);
    if (tryDirect) {
        m_fd = ::open(self.c_str(), O_RDONLY | O_DIRECT | O_CLOEXEC);
        m_direct = m_fd >= 0;
    }
    if (m_fd < 0) {
        m_fd = ::open(self.c_str(), O_RDONLY | O_CLOEXEC);
        if (m_fd < 0)
            return false;
        // The pass is on the medium already: what the cache held of the file
        // can go, so that the reads below have to fetch it.
        ::posix_fadvise(m_fd, 0, 0, POSIX_FADV_DONTNEED);
    }
    return true;
}

std::int64_t ReadBack::read(std::int64_t offset, std::size_t length)
{
    if (m_fd < 0 || length > chunkSize)
        return -1;
    // Direct reads want whole aligned blocks; past the end they come back short.
    const std::size_t asked = m_direct ? (length + 4095) / 4096 * 4096 : length;
    std::size_t got = 0;
    while (got < asked) {
        const ssize_t n = ::pread(m_fd, m_buffer + got, asked - got, offset + std::int64_t(got));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return -1;
        if (n == 0)
            break;
        got += std::size_t(n);
        if (m_direct && got % 4096 != 0)
            break; // the end of the file
    }
    return std::int64_t(got < length ? got : length);
}

} // namespace platformfile
