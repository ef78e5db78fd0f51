#include "filewipe.h"

#include "filemedium.h"
#include "passbytes.h"
#include "platformfile.h"

#include <QDataStream>
#include <QFile>
#include <QFileInfo>

#include <cstring>
#include <condition_variable>
#if __has_include(<xxhash.h>)
#define XXH_INLINE_ALL // the header alone: nothing to link
#include <xxhash.h>
#define KCC_PASS_DIGESTS 1
#endif
#include <future>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace {

using platformfile::WipeTarget;

// Blocks handed to one write call. Many blocks per call keep the system-call
// and stream overhead off a large file; the bytes and their order on disk are
// those of block-by-block writing. Small enough to leave the footprint flat.
constexpr qint64 chunkBlocks = 512; // 256 KiB

// How much of a pass may sit in the cache before its writing to the medium
// is started, so the disk works while the rest of the pass is produced.
constexpr qint64 writebackBytes = 2 * 1024 * 1024;

QString systemText(const platformfile::NativeText &text)
{
#ifdef _WIN32
    return QString::fromStdWString(text).trimmed();
#else
    return QString::fromLocal8Bit(text.data(), int(text.size()));
#endif
}

// Whether the path can be handed to the system as it stands. A name that was
// not valid in the system's encoding comes back with U+FFFD in it, and
// encoding that would name a different file; a NUL would cut the name short.
bool encodable(const QString &path)
{
    if (path.contains(QChar(QChar::ReplacementCharacter)) || path.contains(QChar(0)))
        return false;
#ifdef _WIN32
    return true;
#else
    return QFile::decodeName(QFile::encodeName(path)) == path;
#endif
}

platformfile::NativePath nativePath(const QString &path)
{
#ifdef _WIN32
    return path.toStdWString();
#else
    return QFile::encodeName(path).toStdString();
#endif
}

// Makes a random pass's chunks on a second thread, one chunk ahead of the
// writes, so that producing them overlaps the copying into the cache and the
// disk's work. The chunks come in order, so the bytes are those of one thread.
class ChunkProducer
{
public:
    ChunkProducer(PassBytes &bytes, qint64 blockCount)
        : m_bytes(bytes)
    {
        for (std::vector<unsigned char> &buffer : m_buffers)
            buffer.resize(std::size_t(qMin(blockCount, chunkBlocks) * wipeBlockSize));
        m_thread = std::thread([this, blockCount] { produce(blockCount); });
    }
    ~ChunkProducer()
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_stop = true;
        }
        m_changed.notify_all();
        m_thread.join();
    }
    ChunkProducer(const ChunkProducer &) = delete;
    ChunkProducer &operator=(const ChunkProducer &) = delete;

    // The next chunk, once it is made; the one before it may be made over.
    const unsigned char *next()
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        if (m_taken > 0) {
            --m_ready; // the chunk handed out last time is written
            m_changed.notify_all();
        }
        m_changed.wait(lock, [this] { return m_ready > 0; });
        return m_buffers[m_taken++ % 2].data();
    }

private:
    void produce(qint64 blockCount)
    {
        qint64 made = 0;
        for (qint64 done = 0; done < blockCount; ++made) {
            const qint64 blocks = qMin(blockCount - done, chunkBlocks);
            {
                std::unique_lock<std::mutex> lock(m_mutex);
                m_changed.wait(lock, [this] { return m_stop || m_ready < 2; });
                if (m_stop)
                    return;
            }
            m_bytes.fill(m_buffers[made % 2].data(), std::size_t(blocks * wipeBlockSize));
            {
                std::lock_guard<std::mutex> lock(m_mutex);
                ++m_ready;
            }
            m_changed.notify_all();
            done += blocks;
        }
    }

    PassBytes &m_bytes;
    std::vector<unsigned char> m_buffers[2];
    std::mutex m_mutex;
    std::condition_variable m_changed;
    int m_ready = 0;     // chunks made and not yet written
    qint64 m_taken = 0;  // chunks handed out
    bool m_stop = false;
    std::thread m_thread;
};

FileRefusal refusalOf(platformfile::Kind kind)
{
    using platformfile::Kind;
    switch (kind) {
    case Kind::Regular:
        return FileRefusal::None;
    case Kind::Directory:
        return FileRefusal::Directory;
    case Kind::SymbolicLink:
        return FileRefusal::SymbolicLink;
    case Kind::Fifo:
        return FileRefusal::Fifo;
    case Kind::Socket:
        return FileRefusal::Socket;
    case Kind::CharacterDevice:
    case Kind::BlockDevice:
        return FileRefusal::Device;
    case Kind::Other:
        break;
    }
    return FileRefusal::Other;
}

class Wipe
{
public:
    Wipe(const PassPlan &plan, const QString &path, const PassObserver &observer,
         const FileWipeListener &listener, bool fingerprint)
        : m_path(path), m_observer(observer), m_listener(listener),
          m_passes(plan.passes), m_fingerprint(fingerprint)
    {
        m_outcome.passesPlanned = m_passes.size();
    }

    FileWipeOutcome run();
    const FileWipeOutcome &outcome() const { return m_outcome; }

private:
    FileWipeOutcome &fail(FileWipeStep step, bool systemReason = true)
    {
        m_outcome.status = FileWipeStatus::Failed;
        m_outcome.failedStep = step;
        if (systemReason && m_outcome.systemError.isEmpty())
            m_outcome.systemError = systemText(m_target.error().message);
        // A wipe that stops leaves the mode as it was found.
        m_target.restoreAttributes();
        return m_outcome;
    }
    FileWipeOutcome &refuse(FileRefusal refusal)
    {
        m_outcome.status = FileWipeStatus::Refused;
        m_outcome.refusal = refusal;
        return m_outcome;
    }
    FileWipeStep writePass(int pass, qint64 blockCount, PassBytes &bytes, unsigned char *chunk);
#ifdef KCC_PASS_DIGESTS
    // Adds size bytes written at offset written to the digests of the read-back chunks.
    void digestWritten(const unsigned char *data, int size, qint64 written)
    {
        const qint64 chunk = qint64(platformfile::ReadBack::chunkSize);
        for (qint64 at = 0; at < size;) {
            const qint64 offset = written + at;
            const std::size_t index = std::size_t(offset / chunk);
            const qint64 into = offset % chunk;
            const qint64 take = qMin<qint64>(size - at, chunk - into);
            if (into == 0)
                XXH3_128bits_reset(m_state.get());
            XXH3_128bits_update(m_state.get(), data + at, std::size_t(take));
            if (into + take == chunk || offset + take == m_passSize) {
                if (m_lastPassDigests.size() <= index)
                    m_lastPassDigests.resize(index + 1);
                m_lastPassDigests[index] = XXH3_128bits_digest(m_state.get());
            }
            at += take;
        }
    }
    std::unique_ptr<XXH3_state_t, decltype(&XXH3_freeState)> m_state{XXH3_createState(), &XXH3_freeState};
#endif
    void checkPlacement();
    FileWipeStep readBack(PassBytes *expected);
    bool cutShort(int pass, qint64 written);
    bool unchanged(qint64 expectedSize, bool checkHoles);
    bool tell(FileWipeEvent event, int pass, qint64 bytes)
    {
        return !m_listener || m_listener(event, pass, bytes);
    }

    const QString m_path;
    const PassObserver &m_observer;
    const FileWipeListener &m_listener;
    const QVector<WipePass> m_passes;
    const bool m_fingerprint;
#ifdef KCC_PASS_DIGESTS
    // The last pass's digest per read-back chunk, taken as it is written:
    // reading back then costs a hash, not making the pass again.
    std::vector<XXH128_hash_t> m_lastPassDigests;
    bool m_digesting = false;
#endif
    WipeTarget m_target;
    QFile m_file;
    qint64 m_passSize = 0; // bytes every pass writes
    platformfile::Medium m_medium;
    FileWipeOutcome m_outcome;
};

// A pass that did not land where the key's bytes were leaves them there,
// whatever the file system is said to do.
void Wipe::checkPlacement()
{
    if (!m_medium.extents.known || m_outcome.medium.placement == Placement::Relocating)
        return;
    if (!sameBlocks(m_medium.extents, platformfile::mapExtents(m_target.descriptor()))) {
        m_outcome.medium.placement = Placement::Relocating;
        m_outcome.medium.limits |= LimitMoved;
    }
}

// Reads the file back through a path the cache cannot answer where the medium
// has one, and compares it with the last pass made again.
FileWipeStep Wipe::readBack(PassBytes *expected)
{
    platformfile::ReadBack reader;
    if (!reader.open(m_target.descriptor(), m_medium.directRead))
        return FileWipeStep::None; // unread, and said so
    const qint64 chunk = qint64(platformfile::ReadBack::chunkSize);
#ifdef KCC_PASS_DIGESTS
    // Digests of the pass as written: each chunk read is hashed and compared;
    // a uniform pass is compared with its byte, to the byte.
    if (m_digesting && m_lastPassDigests.size() == std::size_t((m_passSize + chunk - 1) / chunk)
        && !(expected && expected->isUniform())) {
        for (qint64 offset = 0, index = 0; offset < m_passSize; offset += chunk, ++index) {
            const std::size_t length = std::size_t(qMin(m_passSize - offset, chunk));
            const std::int64_t got = reader.read(offset, length);
            if (got < 0)
                return FileWipeStep::None;
            const XXH128_hash_t h = XXH3_128bits(reader.data(), std::size_t(got));
            if (std::size_t(got) < length || !XXH128_isEqual(h, m_lastPassDigests[std::size_t(index)])) {
                m_outcome.verifyMismatchAt = offset; // somewhere in this chunk
                m_outcome.verification = FileVerification::Mismatch;
                return FileWipeStep::Verify;
            }
        }
        m_outcome.verification = reader.direct() ? FileVerification::Direct : FileVerification::MaybeCached;
        return FileWipeStep::None;
    }
#endif
    // The next chunk of the pass is made again while the current one is read;
    // a small key needs no megabyte of zeroed pages for it.
    const std::size_t wantSize = std::size_t(qMin(m_passSize, chunk));
    std::vector<unsigned char> want[2] = {std::vector<unsigned char>(wantSize), std::vector<unsigned char>(wantSize)};
    const bool overlap = expected && !expected->isUniform() && expected->fillsOnAnyThread();
    const auto make = [&](int slot, qint64 offset) {
        if (expected && offset < m_passSize)
            expected->fill(want[slot].data(), std::size_t(qMin(m_passSize - offset, chunk)));
    };
    std::future<void> made = std::async(overlap ? std::launch::async : std::launch::deferred, make, 0, qint64(0));
    for (qint64 offset = 0, slot = 0; offset < m_passSize; offset += chunk, slot ^= 1) {
        const std::size_t length = std::size_t(qMin(m_passSize - offset, chunk));
        const std::int64_t got = reader.read(offset, length);
        made.get();
        if (got < 0)
            return FileWipeStep::None;
        if (offset + chunk < m_passSize)
            made = std::async(overlap ? std::launch::async : std::launch::deferred, make, int(slot ^ 1),
                              offset + chunk);
        const unsigned char *expectedBytes = want[slot].data();
        if (expected && (std::size_t(got) < length || std::memcmp(expectedBytes, reader.data(), length) != 0)) {
            if (made.valid())
                made.wait();
            qint64 at = 0;
            while (at < got && expectedBytes[at] == reader.data()[at])
                ++at;
            m_outcome.verifyMismatchAt = offset + at;
            m_outcome.verification = FileVerification::Mismatch;
            return FileWipeStep::Verify;
        }
    }
    m_outcome.verification = !expected        ? FileVerification::NoReplay
        : reader.direct()                     ? FileVerification::Direct
                                              : FileVerification::MaybeCached;
    return FileWipeStep::None;
}

// Writes one pass over blockCount blocks from offset 0 and forces it to the
// medium: without the sync the later truncation lets the cache drop the pass
// while the key bytes stay on disk. chunk holds at least
// min(blockCount, chunkBlocks) blocks.
FileWipeStep Wipe::writePass(int pass, qint64 blockCount, PassBytes &bytes, unsigned char *chunk)
{
    QDataStream stream(&m_file);
    bool filled = false;
    // Only computed values may be made on another thread: qrand() is per thread.
    std::optional<ChunkProducer> producer;
    if (!bytes.isUniform() && bytes.fillsOnAnyThread() && blockCount > chunkBlocks)
        producer.emplace(bytes, blockCount);
    qint64 written = 0;   // bytes of this pass handed to the system
    qint64 startedTo = 0; // and how far their writing to the medium was started
    for (qint64 done = 0; done < blockCount;) {
        const qint64 blocks = qMin(blockCount - done, chunkBlocks);
        const int size = int(blocks * wipeBlockSize);
        // A uniform pass is the same bytes everywhere: fill once, reuse.
        const unsigned char *data = chunk;
        if (producer) {
            data = producer->next();
        } else if (!filled || !bytes.isUniform()) {
            bytes.fill(chunk, std::size_t(size));
            filled = true;
        }
        m_outcome.bytesWritten = true;
        if (stream.writeRawData(reinterpret_cast<const char *>(data), size) != size)
            return FileWipeStep::Write;
#ifdef KCC_PASS_DIGESTS
        if (m_digesting)
            digestWritten(data, size, written);
#endif
        done += blocks;
        written += size;
        if (cutShort(pass, written))
            return FileWipeStep::Changed;
        if (written - startedTo >= writebackBytes) {
            if (!m_file.flush())
                return FileWipeStep::Flush;
            m_target.startWriteback(startedTo, written - startedTo);
            startedTo = written;
        }
        if (!tell(FileWipeEvent::Written, pass, written)) {
            // What was written of this pass still goes to the medium.
            m_file.flush();
            m_target.syncToMedium();
            return FileWipeStep::Cancelled;
        }
    }
    if (stream.status() != QDataStream::Ok)
        return FileWipeStep::Write;
    if (!m_file.flush())
        return FileWipeStep::Flush;
    if (!m_target.syncToMedium())
        return FileWipeStep::Sync;
    if (!m_file.seek(0))
        return FileWipeStep::Seek;
    return FileWipeStep::None;
}

// Whether another process cut the file short while this pass is written: the
// blocks it freed would keep key bytes out of the passes' reach, and the
// pass's own later writes would make the size look right again.
bool Wipe::cutShort(int pass, qint64 written)
{
    std::int64_t size = 0;
    if (!m_file.flush() || !m_target.size(size))
        return true;
    const qint64 reached = pass == 0 ? qMax(m_outcome.size, written) : m_passSize;
    return size < reached;
}

// Whether the file is still the one being wiped, whole: nobody cut it short
// and wrote it again (holes where its freed blocks were), grew it or put
// another file under its name. Holes are not asked after a pass of zeros:
// file systems that compress store zero blocks as holes.
bool Wipe::unchanged(qint64 expectedSize, bool checkHoles)
{
    platformfile::Status status;
    if (!m_target.status(status))
        return false;
    if (status.size != expectedSize || (checkHoles && status.hasHoles) || !m_target.nameLeadsHere()) {
        m_outcome.systemError.clear();
        return false;
    }
    return true;
}

FileWipeOutcome Wipe::run()
{
    if (!encodable(m_path))
        return refuse(FileRefusal::UnencodableName);

    switch (m_target.open(nativePath(m_path))) {
    case platformfile::OpenResult::Opened:
        break;
    case platformfile::OpenResult::NotFound:
        m_outcome.status = FileWipeStatus::NotFound;
        m_outcome.systemError = systemText(m_target.error().message);
        return m_outcome;
    case platformfile::OpenResult::Invalid:
        return refuse(FileRefusal::Directory);
    case platformfile::OpenResult::NotRegular:
        m_outcome.linkTarget = systemText(m_target.linkTarget());
        return refuse(refusalOf(m_target.refusedKind()));
    case platformfile::OpenResult::Swapped:
        return refuse(FileRefusal::Swapped);
    case platformfile::OpenResult::Failed:
        return fail(FileWipeStep::Open);
    }

    platformfile::Status status;
    if (!m_target.status(status))
        return fail(FileWipeStep::Open);
    m_outcome.size = status.size;
    m_outcome.otherNames = status.links > 0 ? status.links - 1 : 0;
    const qint64 blockCount = wipeBlockCount(status.size);
    m_passSize = blockCount * wipeBlockSize;
    const PassBytes::Seed seed = PassBytes::seedFromClock();

    if (!m_file.open(m_target.descriptor(), QIODevice::ReadWrite, QFileDevice::DontCloseHandle))
        return fail(FileWipeStep::Open, false);
    // Before the first pass: where the key's bytes are now.
    m_medium = platformfile::describeMedium(m_target.descriptor());
    m_outcome.medium = judgeMedium(m_medium);
    // Where the passes may miss the key, its fingerprint is what lets the
    // fill take its blocks back afterwards.
    if (m_fingerprint || m_outcome.medium.placement != Placement::InPlace)
        m_outcome.key = fingerprintFile(m_target.descriptor(), status.size, QFileInfo(m_path).absolutePath());
    if (!tell(FileWipeEvent::Opened, -1, blockCount * wipeBlockSize))
        return fail(FileWipeStep::Cancelled, false);

    std::vector<unsigned char> chunk(std::size_t(qMin(blockCount, chunkBlocks) * wipeBlockSize));
    PassBytes bytes(seed);
    std::unique_ptr<PassBytes> lastPass;
    for (int i = 0; i < m_passes.size(); ++i) {
        bytes.beginPass(m_passes[i]);
        if (i + 1 == m_passes.size()) {
            lastPass = bytes.replayOfPass();
#ifdef KCC_PASS_DIGESTS
            m_digesting = m_state != nullptr;
#endif
        }
        const FileWipeStep step = writePass(i, blockCount, bytes, chunk.data());
        if (step != FileWipeStep::None)
            return fail(step, step != FileWipeStep::Cancelled && step != FileWipeStep::Changed);
        const bool zeros = bytes.isUniform() && bytes.uniformByte() == 0x00;
        if (!unchanged(m_passSize, !zeros))
            return fail(FileWipeStep::Changed);
        checkPlacement();
        m_outcome.passesDone = i + 1;
        if (m_observer)
            m_observer(i, m_passes[i]);
    }

    // The file stays until what is on the medium is known to be the last pass.
    tell(FileWipeEvent::ReadBack, m_passes.size(), m_passSize);
    if (readBack(lastPass.get()) != FileWipeStep::None)
        return fail(FileWipeStep::Verify, false);

    if (!m_file.resize(0))
        return fail(FileWipeStep::Truncate, false);
    // On the medium before the name goes: otherwise a power cut can bring
    // the name back at its former size.
    if (!m_target.syncToMedium())
        return fail(FileWipeStep::Truncate);
    m_file.unsetError();
    m_file.close();
    if (m_file.error() != QFileDevice::NoError)
        return fail(FileWipeStep::Close, false);
    tell(FileWipeEvent::Truncated, m_passes.size(), 0);

    // Best effort, as on any file system that cannot hold the moment.
    m_target.stampWipeTime();

    switch (m_target.removeName()) {
    case WipeTarget::RemoveResult::Removed:
        break;
    case WipeTarget::RemoveResult::NameChanged:
        return fail(FileWipeStep::NameChanged, false);
    case WipeTarget::RemoveResult::Failed:
        return fail(FileWipeStep::Remove);
    }
    if (m_target.status(status))
        m_outcome.otherNames = status.links;
    // Before the caller records the file as deleted.
    if (!m_target.syncRemoval())
        return fail(FileWipeStep::SyncRemoval);
    m_outcome.status = FileWipeStatus::Wiped;
    return m_outcome;
}

} // namespace

qint64 wipeBlockCount(qint64 fileSize)
{
    // Equals ceil(fileSize / 512.0) wherever a double holds the size exactly.
    if (fileSize <= 0)
        return 0;
    return (fileSize + wipeBlockSize - 1) / wipeBlockSize;
}

MediumVerdict probeFileMedium(const QString &path)
{
    platformfile::Medium medium;
    if (!encodable(path) || !platformfile::probeMedium(nativePath(path), medium))
        return MediumVerdict();
    return judgeMedium(medium);
}

FileWipeOutcome overwriteFile(const PassPlan &plan, const QString &path,
                              const PassObserver &observer, const FileWipeListener &listener, bool fingerprint)
{
    // Declared outside the try: the open file is released, and its mode put
    // back, only after the outcome so far has been taken from it.
    std::optional<Wipe> wipe;
    try {
        wipe.emplace(plan, path, observer, listener, fingerprint);
        return wipe->run();
    } catch (...) {
        FileWipeOutcome outcome = wipe ? wipe->outcome() : FileWipeOutcome();
        outcome.status = FileWipeStatus::Failed;
        outcome.failedStep = FileWipeStep::Exception;
        return outcome;
    }
}
