#ifndef FILEMEDIUM_H
#define FILEMEDIUM_H

// What lies below a held file: the file system and how it is mounted, the
// file's own flags, where its bytes are on the volume, and the device under
// the volume. All of it is read from the open file, never from its name.
// Free of Qt, like the rest of the platform layer.

#include "platformfile.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace platformfile {

enum class FileSystemKind {
    Unknown,
    Ext,     // ext2, ext3, ext4
    Xfs,
    Btrfs,
    Zfs,
    F2fs,
    Fat,     // FAT12/16/32
    ExFat,
    Ntfs,
    Refs,
    Memory,  // tmpfs, ramfs
    Network, // NFS, SMB/CIFS, 9p, Ceph, ...
    Fuse,
    Overlay,
    Other,   // known by name, nothing known of how it writes
};

// How the file system reports one extent.
enum ExtentFlag : std::uint32_t {
    ExtentShared = 1u << 0,    // another file or a snapshot holds the same blocks
    ExtentInline = 1u << 1,    // the bytes live inside the file system's metadata
    ExtentEncoded = 1u << 2,   // compressed or otherwise not stored as written
    ExtentUnknown = 1u << 3,   // no place on the volume reported (yet)
    ExtentTail = 1u << 4,      // packed together with other files' tails
    ExtentUnwritten = 1u << 5, // allocated, never written
    ExtentEncrypted = 1u << 6, // stored encrypted by the file system
};

struct Extent {
    std::uint64_t logical = 0;  // offset in the file
    std::uint64_t physical = 0; // offset on the volume (btrfs: its own logical address)
    std::uint64_t length = 0;
    std::uint32_t flags = 0;    // ExtentFlag bits
};

struct ExtentMap {
    bool known = false; // the file system gave a map
    std::vector<Extent> extents;

    std::uint32_t flags() const
    {
        std::uint32_t all = 0;
        for (const Extent &e : extents)
            all |= e.flags;
        return all;
    }
};

// One disk at the bottom of the layers, as the system names it; a field the
// system does not give stays empty.
struct DiskIdentity {
    std::string name;      // "sda", "nvme0n1", "vda", "loop3", "PhysicalDrive0"
    std::string maker;
    std::string model;
    std::string serial;
    std::string transport;
    std::string kind;      // "physical", "virtual" (virtio), "loop", "network" (nbd, rbd), "memory" (zram)
};

// The disks below the volume, through every layer (partition, device mapper,
// md, loop) down to the hardware.
struct BlockDevice {
    bool known = false;
    std::string name;        // the volume's device: "sda1", "dm-0", "loop3", "C:"
    std::string path;        // its device node, to read the volume from: "/dev/sda1"
    bool rotational = false; // a disk below spins
    bool flash = false;      // a disk below is solid state (SSD, USB stick, card)
    bool removable = false;
    bool encrypted = false;  // a layer encrypts it (dm-crypt, BitLocker)
    bool imageFile = false;  // a loop device over a file of another file system
    std::string transport;   // "usb", "nvme", "sata", "mmc", "scsi", "virtio", ...
    std::vector<DiskIdentity> disks;
};

struct Medium {
    FileSystemKind kind = FileSystemKind::Unknown;
    std::string fileSystem;      // as the system names it: "ext4", "btrfs", "NTFS"
    bool dataJournal = false;    // data goes through the journal (ext4 data=journal, the file's journal flag)
    bool compressMount = false;  // mounted to compress new data
    bool noCowMount = false;     // btrfs nodatacow
    bool fileNoCow = false;      // the file is written in place on a copy-on-write file system
    bool fileCompressed = false;
    bool fileEncrypted = false;
    bool fileInline = false;     // the file's bytes live in its inode
    bool directRead = false;     // a direct read of this file bypasses the cache
    // On an overlay: a lower layer's file at the file's path, which no pass
    // reaches (the original a copy-up came from); empty when none was found.
    NativePath lowerCopy;
    ExtentMap extents;
    BlockDevice device;
};

// What the held file lies on. A few calls and small reads of system tables.
Medium describeMedium(int fd);

// The same for a file named by path, opened for reading only if the name is
// a regular file (never a link, a device or a FIFO); false when it is not.
// Changes nothing: for telling the officer before anything is done.
bool probeMedium(const NativePath &path, Medium &out);

// Every block device the held file's file system keeps data on: each btrfs
// device, the ext4 external journal; the volume's own device first.
struct VolumeDevices {
    std::vector<std::string> paths;    // device nodes to read, in order
    std::vector<std::string> notFound; // "what: reason", for a device known to exist but not found
    std::int64_t journalBytes = -1;    // the ext4 journal's size; 0 none, -1 not known
    bool externalJournal = false;
};
VolumeDevices volumeDevices(int fd, const Medium &medium);

// The file's extents, delayed allocations forced out first, so every extent
// has its place.
ExtentMap mapExtents(int fd);

// Reads a held file back past the system's cache where the medium allows:
// O_DIRECT where direct reads are real, FILE_FLAG_NO_BUFFERING on Windows;
// elsewhere the file's cached pages are dropped first and the read may still
// be answered from a cache.
class ReadBack
{
public:
    ReadBack() = default;
    ~ReadBack();
    ReadBack(const ReadBack &) = delete;
    ReadBack &operator=(const ReadBack &) = delete;

    // fd: the held file, its writes already forced to the medium.
    bool open(int fd, bool tryDirect);
    bool direct() const { return m_direct; }

    // Reads up to length bytes (at most chunkSize) from offset into data();
    // the byte count, 0 at the end, -1 on an error.
    std::int64_t read(std::int64_t offset, std::size_t length);
    const unsigned char *data() const { return m_buffer; }

    static constexpr std::size_t chunkSize = 1u << 20;

private:
    bool m_direct = false;
    unsigned char *m_buffer = nullptr; // aligned for direct reads
#ifdef _WIN32
    void *m_handle = nullptr;
#else
    int m_fd = -1;
#endif
};

} // namespace platformfile

#endif // FILEMEDIUM_H
