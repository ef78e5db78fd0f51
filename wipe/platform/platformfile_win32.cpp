#include "platformfile.h"
#include "win32handle.h"

#include <windows.h>
#include <winioctl.h>
#include <fcntl.h>
#include <io.h>

#include <algorithm>
#include <iterator>

namespace platformfile {

namespace {

constexpr DWORD protectiveAttributes =
    FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;

// The handle the name is first opened with: attributes only, so a read-only
// file and a device open without their data being touched, and the name's
// own reparse point (link, junction) is held instead of followed.
constexpr DWORD lookAccess = FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES | SYNCHRONIZE;
constexpr DWORD lookSharing = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
constexpr DWORD lookFlags = FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS;

// The handle every step writes through. Sharing read alone: no other process
// can write, cut short, rename or delete the file while the wipe holds it.
constexpr DWORD writeAccess = GENERIC_WRITE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES | DELETE;

NativeText messageOf(DWORD code)
{
    wchar_t *buffer = nullptr;
    const DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM
                                       | FORMAT_MESSAGE_IGNORE_INSERTS,
                                   nullptr, code, 0, reinterpret_cast<wchar_t *>(&buffer), 0, nullptr);
    NativeText text = n && buffer ? NativeText(buffer, n) : L"error " + std::to_wstring(code);
    LocalFree(buffer);
    return text;
}

Kind kindOf(HANDLE handle, DWORD attributes)
{
    switch (GetFileType(handle)) {
    case FILE_TYPE_PIPE:
        return Kind::Fifo;
    case FILE_TYPE_CHAR:
        return Kind::CharacterDevice;
    case FILE_TYPE_DISK:
        break;
    default:
        return Kind::Other;
    }
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT)
        return Kind::SymbolicLink;
    if (attributes & FILE_ATTRIBUTE_DIRECTORY)
        return Kind::Directory;
    if (attributes & FILE_ATTRIBUTE_DEVICE)
        return Kind::BlockDevice;
    return Kind::Regular;
}

Identity identityOf(const BY_HANDLE_FILE_INFORMATION &info)
{
    return {info.dwVolumeSerialNumber,
            (std::uint64_t(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
}

bool lookupFailed(DWORD error)
{
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND
        || error == ERROR_INVALID_NAME || error == ERROR_BAD_NETPATH;
}

bool setAttributes(HANDLE handle, DWORD attributes)
{
    FILE_BASIC_INFO basic {}; // zero times: left as they are
    basic.FileAttributes = attributes;
    return SetFileInformationByHandle(handle, FileBasicInfo, &basic, sizeof basic) != 0;
}

// Where a link in the name leads, for the user to choose the file itself.
NativeText finalPath(const NativePath &path)
{
    const HANDLE followed = CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, lookSharing, nullptr,
                                        OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (followed == INVALID_HANDLE_VALUE)
        return NativeText();
    wchar_t buffer[MAX_PATH * 4];
    const DWORD n = GetFinalPathNameByHandleW(followed, buffer, DWORD(std::size(buffer)), 0);
    CloseHandle(followed);
    return n > 0 && n < std::size(buffer) ? NativeText(buffer, n) : NativeText();
}


} // namespace

WipeTarget::~WipeTarget()
{
    if (m_fd >= 0)
        restoreAttributes();
    close();
}

bool WipeTarget::fail()
{
    const DWORD code = GetLastError();
    m_error.code = int(code);
    m_error.message = messageOf(code);
    return false;
}

OpenResult WipeTarget::look(const NativePath &path)
{
    const OpenResult result = openName(path, true);
    restoreAttributes();
    close();
    return result;
}

OpenResult WipeTarget::open(const NativePath &path)
{
    return openName(path, false);
}

// lookOnly: the write handle is taken as for the wipe and let go by look().
OpenResult WipeTarget::openName(const NativePath &path, bool)
{
    close();
    m_error = Error();
    m_refusedKind = Kind::Other;
    m_linkTarget.clear();
    if (path.empty())
        return OpenResult::NotFound;
    if (path.back() == L'\\' || path.back() == L'/')
        return OpenResult::Invalid;
    m_path = path;

    Handle look(CreateFileW(path.c_str(), lookAccess, lookSharing, nullptr, OPEN_EXISTING,
                            lookFlags, nullptr));
    if (look.get() == INVALID_HANDLE_VALUE) {
        fail();
        if (!lookupFailed(DWORD(m_error.code)))
            return OpenResult::Failed;
        // Plain absence needs no reason; anything else is worth telling.
        if (m_error.code == ERROR_FILE_NOT_FOUND || m_error.code == ERROR_PATH_NOT_FOUND)
            m_error.message.clear();
        return OpenResult::NotFound;
    }
    BY_HANDLE_FILE_INFORMATION looked {};
    if (!GetFileInformationByHandle(look.get(), &looked)) {
        fail();
        m_refusedKind = kindOf(look.get(), 0);
        return m_refusedKind == Kind::Regular ? OpenResult::Failed : OpenResult::NotRegular;
    }
    m_refusedKind = kindOf(look.get(), looked.dwFileAttributes);
    if (m_refusedKind != Kind::Regular) {
        if (m_refusedKind == Kind::SymbolicLink)
            m_linkTarget = finalPath(path);
        return OpenResult::NotRegular;
    }

    // Read-only, hidden and system attributes go for the wipe, through the
    // handle, and come back if it stops.
    if (looked.dwFileAttributes & protectiveAttributes) {
        if (!setAttributes(look.get(), FILE_ATTRIBUTE_NORMAL)) {
            fail();
            return OpenResult::Failed;
        }
        m_attributes = looked.dwFileAttributes;
        m_attributesChanged = true;
    }

    // Reopened from the handle, not the name: whatever the name leads to by
    // now, this is the file looked at. Where that call is missing, the name is
    // opened again and must lead to the same file.
    Handle write(ReOpenFile(look.get(), writeAccess, FILE_SHARE_READ, FILE_FLAG_OPEN_REPARSE_POINT));
    if (write.get() == INVALID_HANDLE_VALUE && GetLastError() == ERROR_CALL_NOT_IMPLEMENTED)
        write.reset(CreateFileW(path.c_str(), writeAccess, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    BY_HANDLE_FILE_INFORMATION opened {};
    const bool ok = write.get() != INVALID_HANDLE_VALUE && GetFileInformationByHandle(write.get(), &opened);
    if (!ok)
        fail();
    if (!ok || kindOf(write.get(), opened.dwFileAttributes) != Kind::Regular
        || identityOf(opened) != identityOf(looked)) {
        if (m_attributesChanged && setAttributes(look.get(), m_attributes))
            m_attributesChanged = false;
        return ok ? OpenResult::Swapped : OpenResult::Failed;
    }

    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(write.get()), _O_WRONLY | _O_BINARY);
    if (fd < 0) {
        fail();
        if (m_attributesChanged && setAttributes(look.get(), m_attributes))
            m_attributesChanged = false;
        return OpenResult::Failed;
    }
    m_handle = write.release(); // owned by the descriptor from here on
    m_fd = fd;
    m_identity = identityOf(opened);
    return OpenResult::Opened;
}

bool WipeTarget::status(Status &out)
{
    BY_HANDLE_FILE_INFORMATION info {};
    if (m_fd < 0 || !GetFileInformationByHandle(m_handle, &info))
        return fail();
    out.kind = kindOf(m_handle, info.dwFileAttributes);
    out.identity = identityOf(info);
    out.size = (std::int64_t(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    out.links = info.nNumberOfLinks;
    out.hasHoles = false; // nobody else can write while the handle shares read only
    FILE_STANDARD_INFO standard {};
    if (GetFileInformationByHandleEx(m_handle, FileStandardInfo, &standard, sizeof standard))
        out.allocated = standard.AllocationSize.QuadPart;
    return true;
}

bool WipeTarget::writeAt(std::int64_t offset, const void *data, std::size_t length)
{
    const char *bytes = static_cast<const char *>(data);
    while (length > 0) {
        OVERLAPPED at {};
        at.Offset = DWORD(std::uint64_t(offset) & 0xFFFFFFFFu);
        at.OffsetHigh = DWORD(std::uint64_t(offset) >> 32);
        const DWORD ask = length > 0x40000000u ? 0x40000000u : DWORD(length);
        DWORD written = 0;
        if (!WriteFile(m_handle, bytes, ask, &written, &at))
            return fail();
        if (written == 0) {
            SetLastError(ERROR_WRITE_FAULT);
            return fail();
        }
        bytes += written;
        offset += written;
        length -= written;
    }
    return true;
}

bool WipeTarget::truncate(std::int64_t size)
{
    FILE_END_OF_FILE_INFO end {};
    end.EndOfFile.QuadPart = size;
    return SetFileInformationByHandle(m_handle, FileEndOfFileInfo, &end, sizeof end) != 0 || fail();
}

bool WipeTarget::allocatedRanges(std::int64_t size, std::vector<Range> &out)
{
    out.clear();
    if (size <= 0)
        return true;
    // Only a sparse file can have holes; any other is allocated whole.
    FILE_ALLOCATED_RANGE_BUFFER query {};
    query.Length.QuadPart = size;
    FILE_ALLOCATED_RANGE_BUFFER found[64];
    for (;;) {
        DWORD bytes = 0;
        const BOOL ok = DeviceIoControl(m_handle, FSCTL_QUERY_ALLOCATED_RANGES, &query, sizeof query, found,
                                        sizeof found, &bytes, nullptr);
        const bool more = !ok && GetLastError() == ERROR_MORE_DATA;
        if (!ok && !more) {
            out.assign(1, Range{0, size}); // not told here: the whole file
            return true;
        }
        const DWORD count = bytes / sizeof found[0];
        for (DWORD i = 0; i < count; ++i) {
            const std::int64_t from = found[i].FileOffset.QuadPart;
            const std::int64_t to = std::min<std::int64_t>(from + found[i].Length.QuadPart, size);
            if (to > from)
                out.push_back({from, to - from});
        }
        if (!more || count == 0)
            return true;
        const std::int64_t next = found[count - 1].FileOffset.QuadPart + found[count - 1].Length.QuadPart;
        query.FileOffset.QuadPart = next;
        query.Length.QuadPart = size - next;
        if (query.Length.QuadPart <= 0)
            return true;
    }
}

bool WipeTarget::releaseRange(const Range &range)
{
    // Deallocates on a sparse file; elsewhere it writes zeros, which is what
    // the range read as before the passes reached it.
    FILE_ZERO_DATA_INFORMATION zero {};
    zero.FileOffset.QuadPart = range.offset;
    zero.BeyondFinalZero.QuadPart = range.end();
    DWORD bytes = 0;
    return DeviceIoControl(m_handle, FSCTL_SET_ZERO_DATA, &zero, sizeof zero, nullptr, 0, &bytes, nullptr) != 0
        || fail();
}

OthersResult WipeTarget::othersHoldOpen()
{
    // The handle shares reading alone: another writer could not open it,
    // and one that had it open for writing made the open fail.
    return OthersResult::Unknown;
}

std::vector<Holder> WipeTarget::holders() const
{
    return {};
}

bool WipeTarget::size(std::int64_t &out)
{
    LARGE_INTEGER size;
    if (m_fd < 0 || !GetFileSizeEx(m_handle, &size))
        return fail();
    out = size.QuadPart;
    return true;
}

bool WipeTarget::syncToMedium()
{
    return FlushFileBuffers(m_handle) != 0 || fail();
}

void WipeTarget::startWriteback(std::int64_t, std::int64_t)
{
    // Windows writes back lazily on its own; FlushFileBuffers decides.
}

bool WipeTarget::stampWipeTime()
{
    SYSTEMTIME wipeTime;
    wipeTime.wYear = 30827;
    wipeTime.wMonth = 1;
    wipeTime.wDayOfWeek = 0;
    wipeTime.wDay = 1;
    wipeTime.wHour = 0;
    wipeTime.wMinute = 0;
    wipeTime.wSecond = 0;
    wipeTime.wMilliseconds = 0;

    // Taken as UTC as it stands: no conversion from local time.
    FILETIME fileTime;
    if (!SystemTimeToFileTime(&wipeTime, &fileTime))
        return fail();
    return SetFileTime(m_handle, &fileTime, &fileTime, &fileTime) != 0 || fail();
}

bool WipeTarget::nameLeadsHere()
{
    Handle named(CreateFileW(m_path.c_str(), FILE_READ_ATTRIBUTES, lookSharing, nullptr, OPEN_EXISTING,
                             lookFlags, nullptr));
    BY_HANDLE_FILE_INFORMATION info {};
    if (named.get() == INVALID_HANDLE_VALUE || !GetFileInformationByHandle(named.get(), &info))
        return fail();
    return kindOf(named.get(), info.dwFileAttributes) == Kind::Regular && identityOf(info) == m_identity;
}

WipeTarget::RemoveResult WipeTarget::removeName()
{
    if (!nameLeadsHere())
        return RemoveResult::NameChanged;
    // Deleted through the handle, so it is this file whatever its name; the
    // name goes when the handle closes, which happens here.
    FILE_DISPOSITION_INFO disposition {};
    disposition.DeleteFile = TRUE;
    if (!SetFileInformationByHandle(m_handle, FileDispositionInfo, &disposition, sizeof disposition)) {
        fail();
        return RemoveResult::Failed;
    }
    close();
    return RemoveResult::Removed;
}

bool WipeTarget::syncRemoval()
{
    // Nothing can force it here: FlushFileBuffers is for files and volumes,
    // a volume's handle needs an administrator, and the name goes only when
    // the held handle closes, after which nothing of the file is left to flush.
    return true;
}

bool WipeTarget::restoreAttributes()
{
    if (!m_attributesChanged)
        return true;
    if (!setAttributes(m_handle, m_attributes))
        return fail();
    m_attributesChanged = false;
    return true;
}

void WipeTarget::close()
{
    if (m_fd >= 0)
        _close(m_fd); // closes the handle too
    m_fd = -1;
    m_handle = nullptr;
    m_attributesChanged = false;
}

} // namespace platformfile
