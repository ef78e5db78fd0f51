#ifndef JOURNALFILE_H
#define JOURNALFILE_H

// The journal file as the operating system holds it: opened without following
// a link in its name, locked for the whole of a read or an append, forced to
// the medium. No Qt, so the Windows side compiles on its own.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace journalfile {

#ifdef _WIN32
using NativePath = std::wstring;
#else
using NativePath = std::string;
#endif

class LockedFile
{
public:
    enum class Mode {
        Read,   // shared lock; a missing file is not an error (isOpen() stays false)
        Append, // exclusive lock; the file is created owner-only when missing
    };

    LockedFile() = default;
    ~LockedFile();
    LockedFile(const LockedFile &) = delete;
    LockedFile &operator=(const LockedFile &) = delete;

    // Opens and locks, waiting for the lock. false with a reason in error;
    // for Read, a missing file gives true and isOpen() false.
    bool open(const NativePath &path, Mode mode, std::string *error);
    bool isOpen() const;

    bool size(std::int64_t *size, std::string *error) const;
    // Reads exactly length bytes at offset (fewer only at the end of the file).
    bool readAt(std::int64_t offset, char *buffer, std::size_t length, std::size_t *got,
                std::string *error) const;
    // Appends all of data and forces it to the medium. On failure the file is
    // cut back to its size before the call, so no half line stays behind.
    bool appendSynced(const char *data, std::size_t length, std::string *error);

private:
#ifdef _WIN32
    void *handle = nullptr;
#else
    int fd = -1;
#endif
};

// A small file only its owner may change (the signing key, the journal's
// head): read without following a link in its name; refused, with the reason,
// when it is not a regular file, another user owns it or others may write it.
enum class ReadOutcome { Read, Missing, Refused };
ReadOutcome readOwnedFile(const NativePath &path, std::string *data, std::string *error);
// Puts data under path whole or not at all: written to a new file beside it,
// forced to the medium, then renamed over it (replace) or linked only where
// nothing is yet (exists is set when something was).
bool publishFile(const NativePath &path, const std::string &data, bool replace, bool *exists, std::string *error);
// Writes data over the bytes at offset of such a file, in place, and forces
// them to the medium: one write and one sync, no rename.
bool overwriteOwnedFile(const NativePath &path, std::int64_t offset, const std::string &data, std::string *error);

#ifndef _WIN32
// Every regular file under dir (a link to one included), at any depth, in no
// set order; links to directories are not followed, so it cannot loop. The
// entries' types from the directory itself: no stat a file, where the file
// system gives them.
std::vector<NativePath> filesUnder(const NativePath &dir);
#endif

// This machine's id (the installation's, not its name); empty where unknown.
std::string machineId();

// The account the program runs as, or an empty string.
std::string currentUserUtf8();

// One process on one boot of one machine: enough to tell a wipe still under
// way from one that was cut off, even after the number has been reused.
struct ProcessStamp {
    std::int64_t pid = 0;
    std::string boot;        // the boot's id; empty where the system has none
    std::int64_t started = 0; // when the process started, in the system's own units
};
ProcessStamp currentProcess();
// Whether that process is running now.
bool processAlive(const ProcessStamp &stamp);

// A file named by path, looked at without following a link: its identity and
// size; false when nothing is there.
bool lookAtFile(const NativePath &path, std::uint64_t *device, std::uint64_t *index, std::int64_t *size);

} // namespace journalfile

#endif // JOURNALFILE_H
