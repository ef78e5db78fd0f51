#include "volumesearch.h"

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
#include <random>
#include <unordered_set>
#include <vector>

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/vfs.h>
#include <unistd.h>

namespace {

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

QString systemError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
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

struct Descriptor {
    explicit Descriptor(int value = -1) : fd(value) {}
    ~Descriptor()
    {
        if (fd >= 0)
            ::close(fd);
    }
    Descriptor(const Descriptor &) = delete;
    Descriptor &operator=(const Descriptor &) = delete;
    int fd;
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
    dev_t device = 0;
    std::string devicePath;
    QString directory;
    bool dataJournal = false;
};

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
    key->devicePath = medium.device.path;
    key->dataJournal = medium.dataJournal;
    for (const platformfile::Extent &e : medium.extents.extents)
        if (!(e.flags & (platformfile::ExtentUnknown | platformfile::ExtentInline | platformfile::ExtentEncoded)))
            key->places.push_back(e);

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
    search.device = QString::fromStdString(key.devicePath);
    search.keyBlocks = int(key.digests.size());
    if (key.devicePath.empty()) {
        search.status = VolumeSearch::Status::NoDevice;
        return search;
    }
    // What the file system still holds in its cache must be on the device first.
    {
        Descriptor dir(::open(QFile::encodeName(key.directory).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (dir.fd >= 0)
            ::syncfs(dir.fd);
    }
    Descriptor device(::open(key.devicePath.c_str(), O_RDONLY | O_DIRECT | O_CLOEXEC));
    if (device.fd < 0) {
        search.status = errno == EACCES || errno == EPERM ? VolumeSearch::Status::NoPermission
                                                          : VolumeSearch::Status::Failed;
        search.error = systemError();
        return search;
    }
    std::uint64_t size = 0;
    if (::ioctl(device.fd, BLKGETSIZE64, &size) != 0) {
        search.status = VolumeSearch::Status::Failed;
        search.error = systemError();
        return search;
    }
    search.volumeSize = qint64(size);
    AlignedBuffer buffers[2] = {AlignedBuffer(searchChunk), AlignedBuffer(searchChunk)};
    if (!buffers[0].data || !buffers[1].data) {
        search.status = VolumeSearch::Status::Failed;
        return search;
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
    std::future<QVector<qint64>> hashing;
    int slot = 0;
    for (qint64 offset = 0; offset < qint64(size); slot ^= 1) {
        const std::size_t want = std::size_t(std::min<qint64>(qint64(size) - offset, qint64(searchChunk)));
        ssize_t n;
        do // into the buffer not being hashed, whatever interrupts it
            n = ::pread(device.fd, buffers[slot].data, want, offset);
        while (n < 0 && errno == EINTR);
        if (hashing.valid())
            search.survivors += hashing.get();
        if (n < 0) {
            search.status = VolumeSearch::Status::Failed;
            search.error = systemError();
            return search;
        }
        if (n == 0)
            break;
        hashing = std::async(std::launch::async, scan, buffers[slot].data, std::size_t(n), offset);
        offset += n;
        search.bytesRead = offset;
        if (progress && !progress(offset, qint64(size))) {
            search.survivors += hashing.get();
            search.status = VolumeSearch::Status::Cancelled;
            search.elapsedMs = clock.elapsed();
            return search;
        }
    }
    if (hashing.valid())
        search.survivors += hashing.get();
    search.status = VolumeSearch::Status::Done;
    search.elapsedMs = clock.elapsed();
    return search;
}

FreedFill fillFreedBlocks(const KeyFingerprint &key, const VolumeProgress &progress)
{
    FreedFill fill;
    QElapsedTimer clock;
    clock.start();
    const auto finish = [&](FreedFill::Status status, const QString &error = QString()) {
        fill.status = status;
        fill.error = error;
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

    Descriptor dir(::open(QFile::encodeName(key.directory).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    struct stat st {};
    if (dir.fd < 0 || ::fstat(dir.fd, &st) != 0)
        return finish(FreedFill::Status::Failed, systemError());
    if (st.st_dev != key.device)
        return finish(FreedFill::Status::Failed, QStringLiteral("the directory is on another volume now"));
    // Freed blocks are free once the file system has committed the removal.
    ::syncfs(dir.fd);

    struct statvfs vfs {};
    if (::fstatvfs(dir.fd, &vfs) != 0)
        return finish(FreedFill::Status::Failed, systemError());
    const qint64 total = qint64(vfs.f_blocks) * qint64(vfs.f_frsize);
    // Never left full: a hundredth of the volume, within 1 and 256 MiB.
    const qint64 reserve = std::clamp<qint64>(total / 100, qint64(1) << 20, qint64(256) << 20);
    const qint64 budget = qint64(vfs.f_bavail) * qint64(vfs.f_frsize) - reserve;

    std::random_device entropy;
    std::mt19937_64 random((quint64(entropy()) << 32) ^ entropy());
    char name[32];
    std::snprintf(name, sizeof name, ".kcc-fill-%016llx", static_cast<unsigned long long>(random()));
    Descriptor file(::openat(dir.fd, name, O_CREAT | O_EXCL | O_WRONLY | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (file.fd < 0)
        return finish(FreedFill::Status::Failed, systemError());
    // Removed on every way out.
    struct Remove {
        int dir;
        const char *name;
        ~Remove()
        {
            ::unlinkat(dir, name, 0);
            ::syncfs(dir);
        }
    } remove{dir.fd, name};

    // Bytes no file system compresses or finds elsewhere.
    std::vector<quint64> chunk(searchChunk / sizeof(quint64));
    for (quint64 &word : chunk)
        word = random();
    const qint64 checkEvery = std::clamp<qint64>(total / 16, qint64(1) << 20, qint64(64) << 20);
    qint64 sinceCheck = 0;
    bool full = false;
    while (!full) {
        const qint64 room = budget - fill.bytesWritten;
        if (room < qint64(bs)) {
            full = true;
        } else {
            const std::size_t length = std::size_t(std::min<qint64>(room / qint64(bs) * qint64(bs), qint64(searchChunk)));
            const ssize_t n = ::pwrite(file.fd, chunk.data(), length, fill.bytesWritten);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0 && errno != ENOSPC && errno != EDQUOT)
                return finish(FreedFill::Status::Failed, systemError());
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
        if (::fdatasync(file.fd) != 0 && !full)
            return finish(FreedFill::Status::Failed, systemError());
        if (progress && !progress(fill.bytesWritten, std::max<qint64>(budget, fill.bytesWritten)))
            return finish(FreedFill::Status::Cancelled);
        if (key.dataJournal)
            continue; // the journal is reached only by writing through it, to the end
        const platformfile::ExtentMap map = platformfile::mapExtents(file.fd);
        int covered = 0;
        for (std::uint64_t block : blocks)
            covered += std::any_of(map.extents.begin(), map.extents.end(), [block](const platformfile::Extent &e) {
                return e.physical <= block && block < e.physical + e.length;
            });
        fill.rangesCovered = covered;
        if (covered == fill.rangesTotal)
            return finish(FreedFill::Status::Covered);
    }
    return finish(key.dataJournal ? FreedFill::Status::Filled : FreedFill::Status::NotCovered);
}

KeyReach keyReach(const KeyFingerprint &key)
{
    KeyReach reach;
    for (const platformfile::Extent &e : key.places)
        reach.mappedBlocks += int((e.length + key.blockSize - 1) / key.blockSize);
    return reach;
}
