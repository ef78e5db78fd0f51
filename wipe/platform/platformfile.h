#ifndef PLATFORMFILE_H
#define PLATFORMFILE_H

// The operating-system side of a file wipe. A container is resolved by name
// once: its directory is opened, then the name inside it without following a
// link in the name itself and without blocking. Every later step works on what
// was opened, and the name is used again only to remove it, after checking
// that it still leads to the same file. Free of Qt, so the Windows side
// compiles on its own.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace platformfile {

#ifdef _WIN32
using NativePath = std::wstring; // as QString::toStdWString() gives it
using NativeText = std::wstring;
#else
using NativePath = std::string;  // as QFile::encodeName() gives it
using NativeText = std::string;  // the system's messages and link targets
#endif

// 30827-01-01 00:00:00 UTC, the moment every wiped file is stamped with.
constexpr std::uint64_t wipeTimeFileTime = 9222834528000000000ULL; // 100 ns since 1601
constexpr std::int64_t wipeTimeUnixSeconds = 910638979200LL;

enum class Kind {
    Regular,
    Directory,
    SymbolicLink, // on Windows any reparse point: a link, a junction, a mount point
    Fifo,
    Socket,
    CharacterDevice,
    BlockDevice,
    Other,
};

// Which file an open handle is: the same pair means the same file.
struct Identity {
    std::uint64_t device = 0; // st_dev; the volume serial number on Windows
    std::uint64_t index = 0;  // st_ino; the file index on Windows
    bool operator==(const Identity &o) const { return device == o.device && index == o.index; }
    bool operator!=(const Identity &o) const { return !(*this == o); }
};

struct Status {
    Kind kind = Kind::Other;
    Identity identity;
    std::int64_t size = 0;
    std::uint64_t links = 0; // names that lead to the file
    // Whether a range inside the size holds no data. A file the wipe has
    // written whole has none; one that gains a hole was cut short meanwhile.
    bool hasHoles = false;
    // Bytes the file system holds for it (st_blocks); -1 where not told.
    std::int64_t allocated = -1;
};

// A stretch of the file, in bytes.
struct Range {
    std::int64_t offset = 0;
    std::int64_t length = 0;
    std::int64_t end() const { return offset + length; }
};

// Another process that has the file open, as the system names it.
struct Holder {
    long pid = 0;
    NativeText name; // its command name; empty where it cannot be read
};

enum class OthersResult {
    None,      // no other open of the file, checked
    Held,      // another open exists: see WipeTarget::holders()
    Unknown,   // the system cannot tell here (no leases on this file system)
};

// A failed call: the system's error number and its message.
struct Error {
    int code = 0;
    NativeText message;
};

enum class OpenResult {
    Opened,
    NotFound,   // no such name, or the directory cannot be searched
    NotRegular, // the name is a directory, link, device, FIFO or socket; nothing changed
    Swapped,    // the name led elsewhere between looking and opening; nothing changed
    Failed,     // see error()
    Invalid,    // no last component: the path names a directory
};

// One container file, held from first look to removal.
class WipeTarget
{
public:
    WipeTarget() = default;
    ~WipeTarget(); // restores the attributes if still changed, then closes
    WipeTarget(const WipeTarget &) = delete;
    WipeTarget &operator=(const WipeTarget &) = delete;

    // Opens the path's directory, then its last component for writing. When
    // the owner may not write the file, write permission is added on the open
    // file (cleared read-only, hidden and system attributes on Windows) and
    // put back by restoreAttributes().
    OpenResult open(const NativePath &path);

    // What open() would say of the path, asked before the officer is: the
    // same looks and the same open for writing, let go at once with nothing
    // written and no permission added (on Windows a read-only attribute is
    // cleared for the open and put back). Opened: the wipe may begin. Holds nothing.
    OpenResult look(const NativePath &path);

    // What the name is, after open() returned NotRegular (or Swapped); for a
    // link, the path it points to.
    Kind refusedKind() const { return m_refusedKind; }
    const NativeText &linkTarget() const { return m_linkTarget; }

    // The C runtime descriptor to write through; valid while open.
    int descriptor() const { return m_fd; }

    // The open file's type, identity, size and holes.
    bool status(Status &out);
    // Its size alone, cheaply, for checks while a pass is written.
    bool size(std::int64_t &out);

    // Writes length bytes at offset, all of them or fails with the reason.
    bool writeAt(std::int64_t offset, const void *data, std::size_t length);

    // Sets the file's size, cutting it short or growing it with a hole.
    bool truncate(std::int64_t size);

    // The stretches of [0, size) that hold data, in order; holes are left
    // out. Where the system cannot tell, the whole of [0, size).
    bool allocatedRanges(std::int64_t size, std::vector<Range> &out);

    // Gives the blocks of a range back to the file system, leaving a hole
    // that reads as zeros; the size stays.
    bool releaseRange(const Range &range);

    // Whether any other open of the file exists now (a write lease is taken
    // and given back at once on POSIX). On Windows the share mode of the
    // open already keeps other writers out.
    OthersResult othersHoldOpen();

    // The processes that have the file open, where the system lists them;
    // never this one.
    std::vector<Holder> holders() const;

    // Whether the file is still held (removeName() lets go on Windows).
    bool isOpen() const { return m_fd >= 0; }

    // Forces what the descriptor has written down to the storage medium, so
    // that a later truncation cannot drop a pass that still sits in the cache.
    bool syncToMedium();

    // Asks the system to start writing the range to the medium now, without
    // waiting, so the disk works while the next bytes are produced. A hint
    // only: syncToMedium() still decides.
    void startWriteback(std::int64_t offset, std::int64_t length);

    // Sets the file's times to the wipe moment: creation, access and write
    // time on Windows; access and modification time on POSIX (there is no
    // creation time to set). File systems that cannot hold it clamp it.
    bool stampWipeTime();

    // Whether the name opened still leads to the open file.
    bool nameLeadsHere();

    enum class RemoveResult { Removed, NameChanged, Failed };
    // Removes the name opened, if it still leads to the open file.
    RemoveResult removeName();

    // Forces the removal of the name to the medium, after removeName():
    // until then a power cut can bring the name back with the file's old size.
    bool syncRemoval();

    // Puts back the mode or attributes open() changed. For wipes that stop
    // with the file still there.
    bool restoreAttributes();

    // The last failure of any call above.
    const Error &error() const { return m_error; }

    void close();

private:
    bool fail();
    OpenResult openName(const NativePath &path, bool lookOnly);

    int m_fd = -1;
    Error m_error;
    Kind m_refusedKind = Kind::Other;
    NativeText m_linkTarget;
    Identity m_identity;
#ifdef _WIN32
    void *m_handle = nullptr;  // the handle the name was opened with
    NativePath m_path;
    unsigned long m_attributes = 0;
    bool m_attributesChanged = false;
#else
    int m_dirFd = -1;
    bool m_dirReadable = false; // only a directory opened for reading can be synced
    std::string m_name;
    unsigned int m_mode = 0;
    bool m_modeChanged = false;
#endif
};

} // namespace platformfile

#endif // PLATFORMFILE_H
