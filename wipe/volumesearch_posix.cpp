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
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <random>
#include <thread>
#include <unordered_set>
#include <utility>
#include <vector>

#include <csignal>
#include <dirent.h>
#include <fcntl.h>
#include <linux/aio_abi.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/syscall.h>
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

namespace {

struct Source {
    QString path;
    std::unique_ptr<Descriptor> fd;
    qint64 size;
};

// Every device of the volume that opens for a direct read, in the key's order;
// why the others did not goes to devicesNotRead.
std::vector<Source> openSources(const KeyFingerprint &key, VolumeSearch &search, bool *refusedOnly)
{
    std::vector<Source> sources;
    *refusedOnly = true; // every device that would not open refused us
    for (const std::string &path : key.devices) {
        auto fd = std::make_unique<Descriptor>(::open(path.c_str(), O_RDONLY | O_DIRECT | O_CLOEXEC));
        std::uint64_t size = 0;
        if (fd->get() < 0 || ::ioctl(fd->get(), BLKGETSIZE64, &size) != 0) {
            const int error = errno;
            *refusedOnly = *refusedOnly && fd->get() < 0 && (error == EACCES || error == EPERM);
            search.devicesNotRead << QString::fromStdString(path) + QStringLiteral(": ") + systemError(error);
            continue;
        }
        sources.push_back({QString::fromStdString(path), std::move(fd), qint64(size)});
        search.devices << sources.back().path;
        search.volumeSize += qint64(size);
    }
    return sources;
}

constexpr int readsInFlight = 2;
// Two being read and one being hashed: hashing a chunk takes a fraction of
// reading one, and a fourth buffer gained nothing measurable.
constexpr int chunkSlots = readsInFlight + 1;

// Destroying an asynchronous I/O context waits for a grace period of the
// kernel (25 - 35 ms here, a sixth of a search of 1 GiB as mkfs left it): one
// context serves every search of the process, lent to one at a time.
class SharedReadContext
{
public:
    static aio_context_t borrow()
    {
        SharedReadContext &shared = instance();
        std::lock_guard<std::mutex> lock(shared.m_mutex);
        if (shared.m_lent)
            return 0; // another search has it: this one reads without
        if (!shared.m_context && ::syscall(SYS_io_setup, readsInFlight, &shared.m_context) != 0)
            shared.m_context = 0;
        shared.m_lent = shared.m_context != 0;
        return shared.m_context;
    }
    // idle: no read of the borrower is still in flight
    static void giveBack(aio_context_t context, bool idle)
    {
        SharedReadContext &shared = instance();
        std::lock_guard<std::mutex> lock(shared.m_mutex);
        if (!idle) {
            ::syscall(SYS_io_destroy, context); // waits for those reads
            shared.m_context = 0;
        }
        shared.m_lent = false;
    }

private:
    static SharedReadContext &instance()
    {
        static SharedReadContext shared;
        return shared;
    }
    ~SharedReadContext()
    {
        if (m_context)
            ::syscall(SYS_io_destroy, m_context);
    }
    std::mutex m_mutex;
    aio_context_t m_context = 0;
    bool m_lent = false;
};

// Reads kept in flight by the kernel's asynchronous interface, which reads a
// device opened O_DIRECT while this thread hands the last chunk on: the device
// never waits for us between two reads. Where the system refuses it, a read is
// made when it is started.
class ChunkReads
{
public:
    ChunkReads() : m_context(SharedReadContext::borrow()) {}
    // A read still in flight writes into its buffer: it must end before that goes.
    ~ChunkReads()
    {
        drain();
        if (m_context)
            SharedReadContext::giveBack(m_context, m_inFlight == 0);
    }
    ChunkReads(const ChunkReads &) = delete;
    ChunkReads &operator=(const ChunkReads &) = delete;

    // Into data, in the background where it can; finish(slot) tells how it went.
    void start(int slot, int fd, unsigned char *data, std::size_t length, qint64 offset)
    {
        Read &read = m_reads[slot];
        read = Read();
        if (m_context) {
            read.cb.aio_lio_opcode = IOCB_CMD_PREAD;
            read.cb.aio_fildes = std::uint32_t(fd);
            read.cb.aio_buf = std::uint64_t(reinterpret_cast<std::uintptr_t>(data));
            read.cb.aio_nbytes = length;
            read.cb.aio_offset = offset;
            read.cb.aio_data = std::uint64_t(slot);
            iocb *list[1] = {&read.cb};
            if (::syscall(SYS_io_submit, m_context, 1, list) == 1) {
                read.inFlight = true;
                ++m_inFlight;
                return;
            }
        }
        ssize_t n;
        do
            n = ::pread(fd, data, length, offset);
        while (n < 0 && errno == EINTR);
        read.result = n < 0 ? -errno : n;
    }

    // The bytes read into slot, or minus the system's error.
    std::int64_t finish(int slot)
    {
        while (m_reads[slot].inFlight && reap()) {
        }
        return m_reads[slot].inFlight ? -m_failure : m_reads[slot].result;
    }

    // Every read in flight ended, whatever it read.
    void drain()
    {
        while (m_inFlight > 0 && reap()) {
        }
    }

private:
    bool reap()
    {
        io_event events[readsInFlight];
        const long got = ::syscall(SYS_io_getevents, m_context, 1, readsInFlight, events, nullptr);
        if (got < 0) {
            m_failure = errno;
            return errno == EINTR;
        }
        for (long i = 0; i < got; ++i) {
            Read &read = m_reads[events[i].data];
            read.result = events[i].res;
            read.inFlight = false;
            --m_inFlight;
        }
        return true;
    }

    struct Read {
        iocb cb {};
        bool inFlight = false;
        std::int64_t result = 0;
    };
    aio_context_t m_context = 0;
    Read m_reads[chunkSlots];
    int m_inFlight = 0;
    int m_failure = EIO;
};

// The one thread that hashes, chunk after chunk in the order they were read.
class ChunkHasher
{
public:
    explicit ChunkHasher(const KeyFingerprint &key) : m_key(key), m_thread(&ChunkHasher::run, this) {}
    ~ChunkHasher()
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_stop = true;
        }
        m_wake.notify_all();
        m_thread.join();
    }
    ChunkHasher(const ChunkHasher &) = delete;
    ChunkHasher &operator=(const ChunkHasher &) = delete;

    // The chunk's number: hashed once every chunk pushed before it is.
    quint64 push(const unsigned char *data, std::size_t length, qint64 base)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_jobs.push_back({data, length, base});
        m_wake.notify_all();
        return m_pushed++;
    }

    void waitFor(quint64 number)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_hashed.wait(lock, [&] { return m_done > number; });
    }

    // Once every chunk pushed is hashed: the offsets found since the last call.
    QVector<qint64> takeFound()
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_hashed.wait(lock, [&] { return m_done == m_pushed; });
        return std::exchange(m_found, {});
    }

private:
    struct Job {
        const unsigned char *data;
        std::size_t length;
        qint64 base;
    };

    QVector<qint64> scan(const Job &job) const
    {
        const std::size_t bs = m_key.blockSize;
        QVector<qint64> found;
        for (std::size_t at = 0; at + bs <= job.length; at += bs)
            if (m_key.samples.count(sampleOf(job.data + at, bs)) && m_key.digests.count(digestOf(job.data + at, bs)))
                found << job.base + qint64(at);
        return found;
    }

    void run()
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        for (;;) {
            m_wake.wait(lock, [&] { return m_stop || !m_jobs.empty(); });
            if (m_stop)
                return;
            const Job job = m_jobs.front();
            m_jobs.pop_front();
            lock.unlock();
            const QVector<qint64> found = scan(job);
            lock.lock();
            m_found += found;
            ++m_done;
            m_hashed.notify_all();
        }
    }

    const KeyFingerprint &m_key;
    std::mutex m_mutex;
    std::condition_variable m_wake, m_hashed;
    std::deque<Job> m_jobs;
    QVector<qint64> m_found;
    quint64 m_pushed = 0, m_done = 0;
    bool m_stop = false;
    std::thread m_thread; // last: it starts once the rest is there
};

// One reader (this thread, with two reads in flight) and one hasher for the
// whole search: no thread per chunk.
class SearchPipeline
{
public:
    explicit SearchPipeline(const KeyFingerprint &key) : m_hasher(key)
    {
        for (int slot = 0; slot < chunkSlots; ++slot) {
            m_buffers.push_back(std::make_unique<AlignedBuffer>(searchChunk));
            m_free.push_back(slot);
        }
    }
    bool ready() const
    {
        return std::all_of(m_buffers.begin(), m_buffers.end(), [](const auto &b) { return b->data != nullptr; });
    }

    // Reads the device in order to its end or its first failure, what was read
    // hashed; offset: how far it read. False when progress cancelled it.
    bool read(const Source &source, qint64 readBefore, const VolumeProgress &progress, VolumeSearch &search,
              qint64 &offset);

private:
    struct Pending {
        int slot;
        std::size_t length;
    };
    int takeSlot();
    void dropPending();

    std::vector<std::unique_ptr<AlignedBuffer>> m_buffers; // first: the reads and the hasher use them to their end
    ChunkHasher m_hasher;
    ChunkReads m_reads;
    std::vector<int> m_free;
    std::deque<std::pair<int, quint64>> m_hashing; // slot, chunk number
    std::deque<Pending> m_pending;                 // in flight, in the device's order
};

int SearchPipeline::takeSlot()
{
    if (m_free.empty()) {
        m_hasher.waitFor(m_hashing.front().second);
        m_free.push_back(m_hashing.front().first);
        m_hashing.pop_front();
    }
    const int slot = m_free.back();
    m_free.pop_back();
    return slot;
}

void SearchPipeline::dropPending()
{
    m_reads.drain();
    for (const Pending &read : m_pending)
        m_free.push_back(read.slot);
    m_pending.clear();
}

bool SearchPipeline::read(const Source &source, qint64 readBefore, const VolumeProgress &progress,
                          VolumeSearch &search, qint64 &offset)
{
    offset = 0;
    qint64 next = 0;
    const auto refill = [&] {
        while (int(m_pending.size()) < readsInFlight && next < source.size) {
            const std::size_t length = std::size_t(std::min<qint64>(source.size - next, qint64(searchChunk)));
            const int slot = takeSlot();
            m_reads.start(slot, source.fd->get(), m_buffers[std::size_t(slot)]->data, length, next);
            m_pending.push_back({slot, length});
            next += qint64(length);
        }
    };
    bool goOn = true;
    refill();
    while (goOn && !m_pending.empty()) {
        const Pending read = m_pending.front();
        m_pending.pop_front();
        const std::int64_t n = m_reads.finish(read.slot);
        if (n <= 0) {
            m_free.push_back(read.slot);
            search.devicesNotRead << (n < 0 ? QStringLiteral("%1: %2 (after %3 bytes)").arg(source.path, systemError(int(-n))).arg(offset)
                                            : QStringLiteral("%1: ended at %2 of %3 bytes").arg(source.path).arg(offset).arg(source.size));
            break;
        }
        m_hashing.emplace_back(read.slot, m_hasher.push(m_buffers[std::size_t(read.slot)]->data, std::size_t(n), offset));
        offset += n;
        // A short read: the device ends early, or its next bytes come from elsewhere.
        if (std::size_t(n) < read.length) {
            dropPending();
            next = offset;
        }
        refill();
        search.bytesRead = readBefore + offset;
        goOn = !progress || progress(search.bytesRead, search.volumeSize);
    }
    dropPending();
    const QVector<qint64> found = m_hasher.takeFound();
    for (const auto &hashed : m_hashing)
        m_free.push_back(hashed.first);
    m_hashing.clear();
    search.survivors += found;
    for (int i = 0; i < found.size(); ++i)
        search.survivorDevices << source.path;
    return goOn;
}

} // namespace

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
    bool refusedOnly = true;
    const std::vector<Source> sources = openSources(key, search, &refusedOnly);
    if (sources.empty())
        return finish(refusedOnly ? VolumeSearch::Status::NoPermission : VolumeSearch::Status::Failed);
    SearchPipeline pipeline(key);
    if (!pipeline.ready()) {
        search.devicesNotRead << QStringLiteral("memory: ") + systemError(ENOMEM);
        return finish(VolumeSearch::Status::Failed);
    }
    int whole = 0;
    qint64 readBefore = 0; // of the devices already done
    for (const Source &source : sources) {
        qint64 offset = 0;
        if (!pipeline.read(source, readBefore, progress, search, offset))
            return finish(VolumeSearch::Status::Cancelled);
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

namespace {

// The key's former blocks, by their address.
std::vector<std::uint64_t> formerBlocks(const KeyFingerprint &key)
{
    std::vector<std::uint64_t> blocks;
    for (const platformfile::Extent &e : key.places)
        for (std::uint64_t at = e.physical; at < e.physical + e.length; at += key.blockSize)
            blocks.push_back(at);
    std::sort(blocks.begin(), blocks.end());
    return blocks;
}

// Bytes no file system compresses or finds elsewhere.
std::vector<quint64> incompressibleChunk()
{
    std::random_device entropy;
    std::mt19937_64 random((quint64(entropy()) << 32) ^ entropy());
    std::vector<quint64> chunk(searchChunk / sizeof(quint64));
    for (quint64 &word : chunk)
        word = random();
    return chunk;
}

// How many of the blocks the file at fd now holds.
int coveredBlocks(int fd, const std::vector<std::uint64_t> &blocks)
{
    const platformfile::ExtentMap map = platformfile::mapExtents(fd);
    int covered = 0;
    for (std::uint64_t block : blocks)
        covered += std::any_of(map.extents.begin(), map.extents.end(), [block](const platformfile::Extent &e) {
            return e.physical <= block && block < e.physical + e.length;
        });
    return covered;
}

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
    const std::vector<std::uint64_t> blocks = formerBlocks(key);
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

    const std::vector<quint64> chunk = incompressibleChunk();
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
        fill.rangesCovered = coveredBlocks(file.fd(), blocks);
        // Proven only where every block of the key had a place told.
        if (fill.rangesCovered == fill.rangesTotal && fill.rangesUnmapped == 0)
            return end(FreedFill::Status::Covered);
    }
    if (key.dataJournal)
        return end(fill.journalBytes > 0 && fill.bytesWritten >= fill.journalBytes ? FreedFill::Status::Filled
                                                                                    : FreedFill::Status::NotCovered);
    return end(fill.rangesCovered == fill.rangesTotal && fill.bytesWritten > 0 ? FreedFill::Status::Filled
                                                                                : FreedFill::Status::NotCovered);
}
