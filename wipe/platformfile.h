#ifndef PLATFORMFILE_H
#define PLATFORMFILE_H

// The few operating-system file calls the file executor needs beyond Qt's
// file classes. Free of Qt, so the Windows side compiles on its own.

#include <cstdint>
#include <string>

namespace platformfile {

#ifdef _WIN32
using NativePath = std::wstring; // as QString::toStdWString() gives it
#else
using NativePath = std::string;  // as QFile::encodeName() gives it
#endif

// 30827-01-01 00:00:00 UTC, the moment every wiped file is stamped with.
constexpr std::uint64_t wipeTimeFileTime = 9222834528000000000ULL; // 100 ns since 1601
constexpr std::int64_t wipeTimeUnixSeconds = 910638979200LL;

// Makes the file openable for writing: clears read-only, hidden and system
// attributes on Windows; adds owner read and write on POSIX. Best effort.
bool clearAttributes(const NativePath &path);

// Forces what the file descriptor has written down to the storage medium, so
// that a later truncation cannot drop a pass that still sits in the cache.
bool syncToMedium(int fd);

// Asks the system to start writing the given range of the file to the medium
// now, without waiting, so the disk works while the next bytes are produced.
// A hint only: syncToMedium() still decides. No-op where there is no such call.
void startWriteback(int fd, std::int64_t offset, std::int64_t length);

// Sets the file's times to the wipe moment: creation, access and write time on
// Windows; access and modification time on POSIX (there is no creation time to
// set). File systems that cannot hold the moment clamp it. Best effort.
bool stampWipeTime(const NativePath &path);

} // namespace platformfile

#endif // PLATFORMFILE_H
