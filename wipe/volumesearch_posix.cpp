#include "volumesearch.h"

#include "descriptor_posix.h"
#include "filemedium.h"

#include <QElapsedTimer>
#include <QFile>

#define XXH_INLINE_ALL // the header alone: nothing to link, on any target
#include <xxhash.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <future>
#include <memory>
#include <random>
#include <unordered_set>
#include <vector>

#include <csignal>
#include <dirent.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/vfs.h>
#include <unistd.h>

namespace {

using platformfile::Descriptor;

struct Digest {
    quint64 low = 0, high = 0;
    bool operator==(const Digest &o) const { return low == o.low && high == o.high; }
};
struct DigestHash {
    std::size_t operator()(const Digest &d) const { return std::size_t((d.low ^ (d.high * 0x9e3779b97f4a7c15ULL)) >> 7); }
};

Digest digestOf(const unsigned char *block, std::size_t size)
{
    const XXH128_hash_t h = XXH3_128bits(block, size);
    return {h.low64, h.high64};
}

// A block of one byte repeated says nothing of the key, and would match
// every empty block of the volume.
bool uniform(const unsigned char *block, std::size_t size)
{
    return size == 0 || std::all_of(block, block + size, [block](unsigned char b) { return b == block[0]; });
}

QString systemError(int error = errno)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

// An aligned buffer for direct reads, freed with its owner.
struct AlignedBuffer {
    explicit AlignedBuffer(std::size_t size)
    {
        void *p = nullptr;
        if (::posix_memalign(&p, 4096, size) == 0)
            data = static_cast<unsigned char *>(p);
    }
    ~AlignedBuffer() { std::free(data); }
    AlignedBuffer(const AlignedBuffer &) = delete;
    AlignedBuffer &operator=(const AlignedBuffer &) = delete;
    unsigned char *data = nullptr;
};

constexpr std::size_t searchChunk = std::size_t(4) << 20;

} // namespace

// Two words of a block, at its start and its middle: a block of the volume is
// hashed only when both match a block of the key, so the scan runs at the
// speed of memory and the digest decides.
Digest sampleOf(const unsigned char *block, std::size_t size)
{
    Digest d;
    std::memcpy(&d.low, block, sizeof d.low);
    std::memcpy(&d.high, block + size / 2, sizeof d.high);
    return d;
}

class KeyFingerprint
{
public:
    std::size_t blockSize = 4096;
    std::unordered_set<Digest, DigestHash> digests;
    std::unordered_set<Digest, DigestHash> samples;
    std::vector<platformfile::Extent> places; // where the key's bytes lay on the volume
    KeyReach reach;
    dev_t device = 0;
    std::vector<std::string> devices;         // every device of the volume, its own first
    std::vector<std::string> devicesNotFound; // "what: reason"
    qint64 journalBytes = -1;
    QString directory;
    bool dataJournal = false;
};

namespace {

int blocksIn(std::uint64_t length, std::size_t blockSize)
{
    return int((length + blockSize - 1) / blockSize);
}

// Blocks of the key with a place on the volume the file system told, and the
// rest: inline in metadata, compressed or encoded, or with no place at all.
void measureReach(KeyFingerprint &key, const platformfile::Medium &medium, qint64 size)
{
    const std::uint32_t unmapped = platformfile::ExtentUnknown | platformfile::ExtentInline | platformfile::ExtentEncoded;
    KeyReach &reach = key.reach;
    reach.compressed = medium.fileCompressed;
    reach.inlineData = medium.fileInline;
    if (!medium.extents.known || medium.extents.extents.empty()) {
        reach.unmappedBlocks = blocksIn(std::uint64_t(size), key.blockSize);
        return;
    }
    for (const platformfile::Extent &e : medium.extents.extents) {
        reach.compressed = reach.compressed || (e.flags & platformfile::ExtentEncoded);
        reach.inlineData = reach.inlineData || (e.flags & platformfile::ExtentInline);
        if (!(e.flags & unmapped)) {
            key.places.push_back(e);
            reach.mappedBlocks += blocksIn(e.length, key.blockSize);
        } else if (e.logical < std::uint64_t(size)) {
            reach.unmappedBlocks += blocksIn(std::min<std::uint64_t>(e.length, std::uint64_t(size) - e.logical), key.blockSize);
        }
    }
}

} // namespace

KeyReach keyReach(const KeyFingerprint &key)
{
    return key.reach;
}

KeyFingerprintPtr fingerprintFile(int fd, qint64 size, const QString &directory)
{
    auto key = std::make_shared<KeyFingerprint>();
    struct statfs fs {};
    struct stat st {};
    if (::fstatfs(fd, &fs) != 0 || ::fstat(fd, &st) != 0)
        return nullptr;
    key->blockSize = fs.f_bsize >= 512 && fs.f_bsize <= (1 << 20) ? std::size_t(fs.f_bsize) : 4096;
    key->device = st.st_dev;
    key->directory = directory;
    const platformfile::Medium medium = platformfile::describeMedium(fd);
    key->dataJournal = medium.dataJournal;
    const platformfile::VolumeDevices devices = platformfile::volumeDevices(fd, medium);
    key->devices = devices.paths;
    key->devicesNotFound = devices.notFound;
    key->journalBytes = devices.journalBytes;
    measureReach(*key, medium, size);

    // The held descriptor may be open for writing only: read through one of our own.
    platformfile::ReadBack reader;
    if (!reader.open(fd, medium.directRead))
        return nullptr;
    // The last block as the device stores it: the file's bytes, then zeros.
    const qint64 chunk = qint64(platformfile::ReadBack::chunkSize / key->blockSize * key->blockSize);
    std::vector<unsigned char> block(key->blockSize);
    for (qint64 offset = 0; offset < size; offset += chunk) {
        const std::int64_t got = reader.read(offset, std::size_t(std::min(size - offset, chunk)));
        if (got <= 0)
            return nullptr;
        for (std::int64_t at = 0; at < got; at += std::int64_t(key->blockSize)) {
            const std::size_t length = std::size_t(std::min<std::int64_t>(got - at, std::int64_t(key->blockSize)));
            std::fill(block.begin(), block.end(), 0);
            std::memcpy(block.data(), reader.data() + at, length);
            if (!uniform(block.data(), block.size())) {
                key->digests.insert(digestOf(block.data(), block.size()));
                key->samples.insert(sampleOf(block.data(), block.size()));
            }
        }
        if (got < std::min(size - offset, chunk))
            return nullptr;
    }
    return key;
}

VolumeSearch searchVolume(const KeyFingerprint &key, const VolumeProgress &progress)
{
    VolumeSearch search;
    QElapsedTimer clock;
    clock.start();
    search.keyBlocks = int(key.digests.size());
    for (const std::string &missing : key.devicesNotFound)
        search.devicesNotRead << QString::fromStdString(missing);
    const auto finish = [&](VolumeSearch::Status status) {
        search.status = status;
        if (status != VolumeSearch::Status::Done && status != VolumeSearch::Status::Cancelled)
            search.error = search.devicesNotRead.join(QStringLiteral("; "));
        search.elapsedMs = clock.elapsed();
        return search;
    };
    if (key.devices.empty()) {
        search.devicesNotRead << QStringLiteral("the file system names no block device");
        return finish(VolumeSearch::Status::NoDevice);
    }
    search.device = QString::fromStdString(key.devices.front());
    // What the file system still holds in its cache must be on the device first.
    {
        Descriptor dir(::open(QFile::encodeName(key.directory).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (dir.get() >= 0)
            ::syncfs(dir.get());
    }
    struct Source {
        QString path;
        std::unique_ptr<Descriptor> fd;
        qint64 size;
    };
    std::vector<Source> sources;
    bool refusedOnly = true; // every device that would not open refused us
    for (const std::string &path : key.devices) {
        auto fd = std::make_unique<Descriptor>(::open(path.c_str(), O_RDONLY | O_DIRECT | O_CLOEXEC));
        std::uint64_t size = 0;
        if (fd->get() < 0 || ::ioctl(fd->get(), BLKGETSIZE64, &size) != 0) {
            const int error = errno;
            refusedOnly = refusedOnly && fd->get() < 0 && (error == EACCES || error == EPERM);
            search.devicesNotRead << QString::fromStdString(path) + QStringLiteral(": ") + systemError(error);
            continue;
        }
        sources.push_back({QString::fromStdString(path), std::move(fd), qint64(size)});
        search.devices << sources.back().path;
        search.volumeSize += qint64(size);
    }
    if (sources.empty())
        return finish(refusedOnly ? VolumeSearch::Status::NoPermission : VolumeSearch::Status::Failed);
    AlignedBuffer buffers[2] = {AlignedBuffer(searchChunk), AlignedBuffer(searchChunk)};
    if (!buffers[0].data || !buffers[1].data) {
        search.devicesNotRead << QStringLiteral("memory: ") + systemError(ENOMEM);
        return finish(VolumeSearch::Status::Failed);
    }
    const std::size_t bs = key.blockSize;
    // Hashing a chunk overlaps the reading of the next one.
    const auto scan = [&key, bs](const unsigned char *data, std::size_t length, qint64 base) {
        QVector<qint64> found;
        for (std::size_t at = 0; at + bs <= length; at += bs)
            if (key.samples.count(sampleOf(data + at, bs)) && key.digests.count(digestOf(data + at, bs)))
                found << base + qint64(at);
        return found;
    };
    int whole = 0;
    qint64 readBefore = 0; // of the devices already done
    for (const Source &source : sources) {
        std::future<QVector<qint64>> hashing;
        const auto collect = [&] {
            if (!hashing.valid())
                return;
            const QVector<qint64> found = hashing.get();
            search.survivors += found;
            for (int i = 0; i < found.size(); ++i)
                search.survivorDevices << source.path;
        };
        int slot = 0;
        qint64 offset = 0;
        for (; offset < source.size; slot ^= 1) {
            const std::size_t want = std::size_t(std::min<qint64>(source.size - offset, qint64(searchChunk)));
            ssize_t n;
            do // into the buffer not being hashed, whatever interrupts it
                n = ::pread(source.fd->get(), buffers[slot].data, want, offset);
            while (n < 0 && errno == EINTR);
            const int error = errno;
            collect();
            if (n < 0) {
                search.devicesNotRead << QStringLiteral("%1: %2 (after %3 bytes)").arg(source.path, systemError(error)).arg(offset);
                break;
            }
            if (n == 0) {
                search.devicesNotRead << QStringLiteral("%1: ended at %2 of %3 bytes").arg(source.path).arg(offset).arg(source.size);
                break;
            }
            hashing = std::async(std::launch::async, scan, buffers[slot].data, std::size_t(n), offset);
            offset += n;
            search.bytesRead = readBefore + offset;
            if (progress && !progress(search.bytesRead, search.volumeSize)) {
                collect();
                return finish(VolumeSearch::Status::Cancelled);
            }
        }
        collect();
        whole += offset == source.size;
        readBefore += offset;
    }
    if (search.devicesNotRead.isEmpty())
        return finish(VolumeSearch::Status::Done);
    return finish(whole > 0 ? VolumeSearch::Status::Incomplete : VolumeSearch::Status::Failed);
}

namespace {

volatile std::sig_atomic_t fillSignal = 0;

extern "C" void onFillSignal(int signal)
{
    fillSignal = signal;
}

// INT, TERM and HUP cancel a fill whose file has a name, for the fill's
// duration only; the signal then goes on as it would have.
class FillSignals
{
public:
    FillSignals()
    {
        fillSignal = 0;
        struct sigaction action {};
        action.sa_handler = onFillSignal;
        sigemptyset(&action.sa_mask);
        // One ignored (nohup) stays ignored.
        for (std::size_t i = 0; i < sizeof m_signals / sizeof m_signals[0]; ++i)
            if (::sigaction(m_signals[i], nullptr, &m_previous[i]) == 0 && m_previous[i].sa_handler != SIG_IGN)
                m_installed[i] = ::sigaction(m_signals[i], &action, nullptr) == 0;
    }
    ~FillSignals()
    {
        for (std::size_t i = 0; i < sizeof m_signals / sizeof m_signals[0]; ++i)
            if (m_installed[i])
                ::sigaction(m_signals[i], &m_previous[i], nullptr);
        if (fillSignal)
            ::raise(fillSignal);
    }
    FillSignals(const FillSignals &) = delete;
    FillSignals &operator=(const FillSignals &) = delete;

private:
    const int m_signals[3] = {SIGINT, SIGTERM, SIGHUP};
    struct sigaction m_previous[3] = {};
    bool m_installed[3] = {};
};

constexpr char fillPrefix[] = ".kcc-fill-";
constexpr std::size_t fillDigits = 16;

bool isFillName(const char *name)
{
    const std::size_t prefix = sizeof fillPrefix - 1;
    if (std::strncmp(name, fillPrefix, prefix) != 0 || std::strlen(name) != prefix + fillDigits)
        return false;
    return std::all_of(name + prefix, name + prefix + fillDigits,
                       [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); });
}

// Fill files an earlier fill of ours left (killed before it could remove its
// file): regular files of that exact name and our own, never through a link.
void removeLeftovers(int dir, FreedFill &fill)
{
    DIR *list = ::fdopendir(::dup(dir));
    if (!list)
        return;
    ::rewinddir(list);
    while (const struct dirent *entry = ::readdir(list)) {
        struct stat st {};
        if (!isFillName(entry->d_name) || ::fstatat(dir, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0
            || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid())
            continue;
        if (::unlinkat(dir, entry->d_name, 0) == 0) {
            ++fill.leftoversRemoved;
            fill.leftoverBytes += qint64(st.st_size);
        }
    }
    ::closedir(list);
}

// The fill file: one that cannot outlive the process where the file system
// makes such files, else a hidden name removed on every way out.
class FillFile
{
public:
    explicit FillFile(int dir) : m_dir(dir)
    {
        if (!qEnvironmentVariableIsSet("KCC_FILL_NO_TMPFILE"))
            m_fd = ::openat(dir, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
        if (m_fd >= 0)
            return;
        std::random_device entropy;
        std::snprintf(m_name, sizeof m_name, "%s%08x%08x", fillPrefix, unsigned(entropy()), unsigned(entropy()));
        m_fd = ::openat(dir, m_name, O_CREAT | O_EXCL | O_WRONLY | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (m_fd < 0)
            m_name[0] = '\0';
    }
    ~FillFile() { remove(); }
    FillFile(const FillFile &) = delete;
    FillFile &operator=(const FillFile &) = delete;

    int fd() const { return m_fd; }
    bool named() const { return m_name[0] != '\0'; }

    // Empty, or why the file could not be removed.
    QString remove()
    {
        QString why;
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
        if (named() && ::unlinkat(m_dir, m_name, 0) != 0)
            why = QStringLiteral("%1: %2").arg(QString::fromLatin1(m_name), systemError());
        m_name[0] = '\0';
        // Its blocks are free once the file system has committed it.
        ::syncfs(m_dir);
        return why;
    }

private:
    int m_dir;
    int m_fd = -1;
    char m_name[sizeof fillPrefix + fillDigits] = {};
};

} // namespace

FreedFill fillFreedBlocks(const KeyFingerprint &key, const VolumeProgress &progress)
{
    FreedFill fill;
    QElapsedTimer clock;
    clock.start();
    const auto finish = [&](FreedFill::Status status, const QString &error = QString()) {
        fill.status = status;
        fill.error = error;
        if (status == FreedFill::Status::Failed && fill.error.isEmpty())
            fill.error = QStringLiteral("no reason given by the system");
        fill.elapsedMs = clock.elapsed();
        return fill;
    };
    const std::size_t bs = key.blockSize;
    std::vector<std::uint64_t> blocks; // the key's former blocks, by their address
    for (const platformfile::Extent &e : key.places)
        for (std::uint64_t at = e.physical; at < e.physical + e.length; at += bs)
            blocks.push_back(at);
    std::sort(blocks.begin(), blocks.end());
    fill.rangesTotal = int(blocks.size());
    fill.rangesUnmapped = key.reach.unmappedBlocks;
    if (key.dataJournal)
        fill.journalBytes = key.journalBytes;

    Descriptor dir(::open(QFile::encodeName(key.directory).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    struct stat st {};
    if (dir.get() < 0 || ::fstat(dir.get(), &st) != 0)
        return finish(FreedFill::Status::Failed, systemError());
    if (st.st_dev != key.device)
        return finish(FreedFill::Status::Failed, QStringLiteral("the directory is on another volume now"));
    removeLeftovers(dir.get(), fill);
    // Freed blocks are free once the file system has committed the removal.
    ::syncfs(dir.get());

    struct statvfs vfs {};
    if (::fstatvfs(dir.get(), &vfs) != 0)
        return finish(FreedFill::Status::Failed, systemError());
    const qint64 total = qint64(vfs.f_blocks) * qint64(vfs.f_frsize);
    // Never left full: a hundredth of the volume, within 1 and 256 MiB.
    const qint64 reserve = std::clamp<qint64>(total / 100, qint64(1) << 20, qint64(256) << 20);
    const qint64 budget = qint64(vfs.f_bavail) * qint64(vfs.f_frsize) - reserve;

    std::unique_ptr<FillSignals> handlers;
    FillFile file(dir.get());
    if (file.fd() < 0)
        return finish(FreedFill::Status::Failed, systemError());
    if (file.named())
        handlers = std::make_unique<FillSignals>();
    // Removed, and the signal passed on, on every way out: a reason not to
    // trust the fill's end if the file stays.
    const auto end = [&](FreedFill::Status status, const QString &error = QString()) {
        const QString stays = file.remove();
        handlers.reset();
        return stays.isEmpty() ? finish(status, error) : finish(FreedFill::Status::Failed, stays);
    };

    // Bytes no file system compresses or finds elsewhere.
    std::random_device entropy;
    std::mt19937_64 random((quint64(entropy()) << 32) ^ entropy());
    std::vector<quint64> chunk(searchChunk / sizeof(quint64));
    for (quint64 &word : chunk)
        word = random();
    const qint64 checkEvery = std::clamp<qint64>(total / 16, qint64(1) << 20, qint64(64) << 20);
    qint64 sinceCheck = 0;
    bool full = false;
    while (!full) {
        if (fillSignal && handlers)
            return end(FreedFill::Status::Cancelled);
        const qint64 room = budget - fill.bytesWritten;
        if (room < qint64(bs)) {
            full = true;
        } else {
            const std::size_t length = std::size_t(std::min<qint64>(room / qint64(bs) * qint64(bs), qint64(searchChunk)));
            const ssize_t n = ::pwrite(file.fd(), chunk.data(), length, fill.bytesWritten);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0 && errno != ENOSPC && errno != EDQUOT)
                return end(FreedFill::Status::Failed, systemError());
            if (n <= 0)
                full = true;
            else {
                fill.bytesWritten += n;
                sinceCheck += n;
            }
        }
        if (sinceCheck < checkEvery && !full)
            continue;
        sinceCheck = 0;
        if (::fdatasync(file.fd()) != 0 && !full)
            return end(FreedFill::Status::Failed, systemError());
        if (progress && !progress(fill.bytesWritten, std::max<qint64>(budget, fill.bytesWritten)))
            return end(FreedFill::Status::Cancelled);
        if (key.dataJournal || blocks.empty())
            continue; // the journal is reached only by writing through it, to the end
        const platformfile::ExtentMap map = platformfile::mapExtents(file.fd());
        int covered = 0;
        for (std::uint64_t block : blocks)
            covered += std::any_of(map.extents.begin(), map.extents.end(), [block](const platformfile::Extent &e) {
                return e.physical <= block && block < e.physical + e.length;
            });
        fill.rangesCovered = covered;
        // Proven only where every block of the key had a place told.
        if (covered == fill.rangesTotal && fill.rangesUnmapped == 0)
            return end(FreedFill::Status::Covered);
    }
    if (key.dataJournal)
        return end(fill.journalBytes > 0 && fill.bytesWritten >= fill.journalBytes ? FreedFill::Status::Filled
                                                                                    : FreedFill::Status::NotCovered);
    return end(fill.rangesCovered == fill.rangesTotal && fill.bytesWritten > 0 ? FreedFill::Status::Filled
                                                                                : FreedFill::Status::NotCovered);
}
