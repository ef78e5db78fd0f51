#include "filewipe.h"

#include "filemedium.h"
#include "nativepath.h"
#include "passbytes.h"
#include "platformfile.h"

#include <QFileInfo>

#include <algorithm>
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

using platformfile::Range;
using platformfile::WipeTarget;

// Blocks handed to one write call. Many blocks per call keep the system-call
// overhead off a large file; the bytes and their order on disk are those of
// block-by-block writing. Small enough to leave the footprint flat.
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

// The stretches a pass writes: each one that holds data, rounded out to
// whole wipe blocks, never past the rounded end of the file, merged where
// the rounding makes them touch.
std::vector<Range> wipePlan(const std::vector<Range> &allocated, qint64 passSize)
{
    std::vector<Range> plan;
    for (const Range &r : allocated) {
        const qint64 from = r.offset / wipeBlockSize * wipeBlockSize;
        const qint64 to = qMin(wipeBlockCount(r.end()) * wipeBlockSize, passSize);
        if (to <= from)
            continue;
        if (!plan.empty() && plan.back().end() >= from)
            plan.back().length = qMax<qint64>(plan.back().end(), to) - plan.back().offset;
        else
            plan.push_back({from, to - from});
    }
    return plan;
}

// Whether every stretch of the plan still holds data: one that became a
// hole was freed by another process, key bytes and all.
bool stillData(const std::vector<Range> &plan, const std::vector<Range> &allocated)
{
    auto at = allocated.begin();
    for (const Range &need : plan) {
        while (at != allocated.end() && at->end() <= need.offset)
            ++at;
        if (at == allocated.end() || at->offset > need.offset || at->end() < need.end())
            return false;
    }
    return true;
}

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

// What a wipe says of a name it did not open; nothing was touched.
void tellUnopened(platformfile::OpenResult opened, const WipeTarget &target, FileWipeOutcome &outcome)
{
    switch (opened) {
    case platformfile::OpenResult::Opened:
        return;
    case platformfile::OpenResult::NotFound:
        outcome.status = FileWipeStatus::NotFound;
        outcome.systemError = systemText(target.error().message);
        return;
    case platformfile::OpenResult::Invalid:
        outcome.status = FileWipeStatus::Refused;
        outcome.refusal = FileRefusal::Directory;
        return;
    case platformfile::OpenResult::NotRegular:
        outcome.status = FileWipeStatus::Refused;
        outcome.linkTarget = systemText(target.linkTarget());
        outcome.refusal = refusalOf(target.refusedKind());
        return;
    case platformfile::OpenResult::Swapped:
        outcome.status = FileWipeStatus::Refused;
        outcome.refusal = FileRefusal::Swapped;
        return;
    case platformfile::OpenResult::Failed:
        outcome.status = FileWipeStatus::Failed;
        outcome.failedStep = FileWipeStep::Open;
        outcome.systemError = systemText(target.error().message);
        return;
    }
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
        // What the passes added is given back; a file another process
        // changed is not touched again.
        if (m_outcome.bytesWritten && m_outcome.passesDone < m_outcome.passesPlanned
            && (step == FileWipeStep::Write || step == FileWipeStep::Sync || step == FileWipeStep::Cancelled))
            releaseAdded();
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
    bool openHeld();
    bool writePasses();
    FileWipeOutcome &emptyAndRemove();
    FileWipeStep writePass(int pass, PassBytes &bytes, unsigned char *chunk);
    FileWipeStep writeChunk(const unsigned char *data, qint64 size, std::size_t &range, qint64 &into);
    void releaseAdded();
    qint64 fileOffsetOf(qint64 streamOffset, std::size_t *rangeIndex = nullptr) const;
    std::int64_t readPass(platformfile::ReadBack &reader, qint64 from, std::size_t length,
                          std::vector<unsigned char> &scratch, const unsigned char *&out);
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
            if (into + take == chunk || offset + take == m_passBytes) {
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
    bool cutShort(int pass, qint64 reached);
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
    qint64 m_passSize = 0;  // the rounded end of the file, which it grows to
    std::vector<Range> m_plan;   // the stretches every pass writes, in order
    std::vector<qint64> m_planAt; // where each stretch starts in the pass's bytes
    qint64 m_passBytes = 0; // bytes every pass writes
    std::int64_t m_allocatedBefore = -1;
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

// Where byte streamOffset of a pass lands in the file.
qint64 Wipe::fileOffsetOf(qint64 streamOffset, std::size_t *rangeIndex) const
{
    const std::size_t index =
        std::size_t(std::upper_bound(m_planAt.begin(), m_planAt.end(), streamOffset) - m_planAt.begin()) - 1;
    if (rangeIndex)
        *rangeIndex = index;
    return m_plan[index].offset + (streamOffset - m_planAt[index]);
}

// Reads length bytes of the pass from byte from of it: in one read where
// they lie in one stretch of the file, else pieced together in scratch.
std::int64_t Wipe::readPass(platformfile::ReadBack &reader, qint64 from, std::size_t length,
                            std::vector<unsigned char> &scratch, const unsigned char *&out)
{
    std::size_t index = 0;
    qint64 at = fileOffsetOf(from, &index);
    if (qint64(length) <= m_plan[index].end() - at) {
        out = reader.data();
        return reader.read(at, length);
    }
    scratch.resize(length);
    std::size_t got = 0;
    while (got < length && index < m_plan.size()) {
        const std::size_t piece = std::size_t(qMin<qint64>(qint64(length - got), m_plan[index].end() - at));
        const std::int64_t n = reader.read(at, piece);
        if (n < 0)
            return -1;
        std::memcpy(scratch.data() + got, reader.data(), std::size_t(n));
        got += std::size_t(n);
        if (std::size_t(n) < piece)
            break;
        if (++index < m_plan.size())
            at = m_plan[index].offset;
    }
    out = scratch.data();
    return std::int64_t(got);
}

// Reads the pass back through a path the cache cannot answer where the
// medium has one, and compares it with the last pass made again.
FileWipeStep Wipe::readBack(PassBytes *expected)
{
    platformfile::ReadBack reader;
    if (!reader.open(m_target.descriptor(), m_medium.directRead))
        return FileWipeStep::None; // unread, and said so
    const qint64 chunk = qint64(platformfile::ReadBack::chunkSize);
    std::vector<unsigned char> scratch;
    const unsigned char *got = nullptr;
#ifdef KCC_PASS_DIGESTS
    // Digests of the pass as written: each chunk read is hashed and compared;
    // a uniform pass is compared with its byte, to the byte.
    if (m_digesting && m_lastPassDigests.size() == std::size_t((m_passBytes + chunk - 1) / chunk)
        && !(expected && expected->isUniform())) {
        for (qint64 offset = 0, index = 0; offset < m_passBytes; offset += chunk, ++index) {
            const std::size_t length = std::size_t(qMin(m_passBytes - offset, chunk));
            const std::int64_t n = readPass(reader, offset, length, scratch, got);
            if (n < 0)
                return FileWipeStep::None;
            const XXH128_hash_t h = XXH3_128bits(got, std::size_t(n));
            if (std::size_t(n) < length || !XXH128_isEqual(h, m_lastPassDigests[std::size_t(index)])) {
                m_outcome.verifyMismatchAt = fileOffsetOf(offset); // somewhere in this chunk
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
    const std::size_t wantSize = std::size_t(qMin(m_passBytes, chunk));
    std::vector<unsigned char> want[2] = {std::vector<unsigned char>(wantSize), std::vector<unsigned char>(wantSize)};
    const bool overlap = expected && !expected->isUniform() && expected->fillsOnAnyThread();
    const auto make = [&](int slot, qint64 offset) {
        if (expected && offset < m_passBytes)
            expected->fill(want[slot].data(), std::size_t(qMin(m_passBytes - offset, chunk)));
    };
    std::future<void> made = std::async(overlap ? std::launch::async : std::launch::deferred, make, 0, qint64(0));
    for (qint64 offset = 0, slot = 0; offset < m_passBytes; offset += chunk, slot ^= 1) {
        const std::size_t length = std::size_t(qMin(m_passBytes - offset, chunk));
        const std::int64_t n = readPass(reader, offset, length, scratch, got);
        made.get();
        if (n < 0)
            return FileWipeStep::None;
        if (offset + chunk < m_passBytes)
            made = std::async(overlap ? std::launch::async : std::launch::deferred, make, int(slot ^ 1),
                              offset + chunk);
        const unsigned char *expectedBytes = want[slot].data();
        if (expected && (std::size_t(n) < length || std::memcmp(expectedBytes, got, length) != 0)) {
            if (made.valid())
                made.wait();
            qint64 at = 0;
            while (at < n && expectedBytes[at] == got[at])
                ++at;
            m_outcome.verifyMismatchAt = fileOffsetOf(qMin(offset + at, m_passBytes - 1));
            m_outcome.verification = FileVerification::Mismatch;
            return FileWipeStep::Verify;
        }
    }
    m_outcome.verification = !expected        ? FileVerification::NoReplay
        : reader.direct()                     ? FileVerification::Direct
                                              : FileVerification::MaybeCached;
    return FileWipeStep::None;
}

// Writes size bytes of the pass where the plan puts them, from stretch range
// at into; both move on past what was written.
FileWipeStep Wipe::writeChunk(const unsigned char *data, qint64 size, std::size_t &range, qint64 &into)
{
    for (qint64 at = 0; at < size;) {
        const Range &r = m_plan[range];
        const qint64 take = qMin<qint64>(size - at, r.length - into);
        if (!m_target.writeAt(r.offset + into, data + at, std::size_t(take)))
            return FileWipeStep::Write;
        at += take;
        into += take;
        if (into == r.length) {
            ++range;
            into = 0;
        }
    }
    return FileWipeStep::None;
}

// Writes one pass over the plan and forces it to the medium: without the
// sync the later truncation lets the cache drop the pass while the key bytes
// stay on disk. chunk holds at least min(m_passBytes, chunkBlocks blocks).
FileWipeStep Wipe::writePass(int pass, PassBytes &bytes, unsigned char *chunk)
{
    bool filled = false;
    // Only computed values may be made on another thread: qrand() is per thread.
    std::optional<ChunkProducer> producer;
    const qint64 blockCount = m_passBytes / wipeBlockSize;
    if (!bytes.isUniform() && bytes.fillsOnAnyThread() && blockCount > chunkBlocks)
        producer.emplace(bytes, blockCount);
    std::size_t range = 0;
    qint64 into = 0;
    qint64 startedFrom = 0; // the file's bytes whose writing to the medium is not started yet
    for (qint64 written = 0; written < m_passBytes;) {
        const qint64 size = qMin(m_passBytes - written, chunkBlocks * wipeBlockSize);
        // A uniform pass is the same bytes everywhere: fill once, reuse.
        const unsigned char *data = chunk;
        if (producer) {
            data = producer->next();
        } else if (!filled || !bytes.isUniform()) {
            bytes.fill(chunk, std::size_t(size));
            filled = true;
        }
        m_outcome.bytesWritten = true;
        if (writeChunk(data, size, range, into) != FileWipeStep::None)
            return FileWipeStep::Write;
#ifdef KCC_PASS_DIGESTS
        if (m_digesting)
            digestWritten(data, int(size), written);
#endif
        written += size;
        const qint64 reached = written == m_passBytes ? m_plan.back().end() : m_plan[range].offset + into;
        if (cutShort(pass, reached))
            return FileWipeStep::Changed;
        if (reached - startedFrom >= writebackBytes) {
            m_target.startWriteback(startedFrom, reached - startedFrom);
            startedFrom = reached;
        }
        if (!tell(FileWipeEvent::Written, pass, written)) {
            // What was written of this pass still goes to the medium.
            m_target.syncToMedium();
            return FileWipeStep::Cancelled;
        }
    }
    // A file that ends in a hole grows to its rounded end as well.
    std::int64_t size = 0;
    if (pass == 0 && m_target.size(size) && size < m_passSize && !m_target.truncate(m_passSize))
        return FileWipeStep::Write;
    if (!m_target.syncToMedium())
        return FileWipeStep::Sync;
    return FileWipeStep::None;
}

// Whether another process cut the file short while this pass is written: the
// blocks it freed would keep key bytes out of the passes' reach, and the
// pass's own later writes would make the size look right again.
bool Wipe::cutShort(int pass, qint64 reached)
{
    std::int64_t size = 0;
    if (!m_target.size(size))
        return true;
    return size < (pass == 0 ? qMax(m_outcome.size, reached) : m_passSize);
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
    std::vector<Range> data;
    if (status.size != expectedSize
        || (checkHoles && (!m_target.allocatedRanges(status.size, data) || !stillData(m_plan, data)))
        || !m_target.nameLeadsHere()) {
        m_outcome.systemError.clear();
        return false;
    }
    return true;
}

// Gives back what the passes of a wipe that stopped added to the file: the
// growth to the rounded end, and blocks written where the file had none
// (where the system could not tell its holes, so the whole of it was planned).
void Wipe::releaseAdded()
{
    platformfile::Status now;
    if (!m_target.status(now))
        return;
    if (now.size > m_outcome.size)
        m_target.truncate(m_outcome.size);
    if (m_allocatedBefore < 0 || !m_target.status(now) || now.allocated <= m_allocatedBefore
        || !m_medium.extents.known)
        return;
    qint64 from = 0;
    for (const platformfile::Extent &e : m_medium.extents.extents) {
        if (qint64(e.logical) > from)
            m_target.releaseRange({from, qint64(e.logical) - from});
        from = qMax<qint64>(from, qint64(e.logical + e.length));
    }
    if (from < m_outcome.size)
        m_target.releaseRange({from, m_outcome.size - from});
}

// Opens the file, learns what of it holds data, and makes sure no other
// process has it open; false with the outcome set when the wipe cannot begin.
bool Wipe::openHeld()
{
    if (!encodablePath(m_path)) {
        refuse(FileRefusal::UnencodableName);
        return false;
    }
    const platformfile::OpenResult opened = m_target.open(nativePath(m_path));
    if (opened != platformfile::OpenResult::Opened) {
        tellUnopened(opened, m_target, m_outcome);
        return false;
    }

    platformfile::Status status;
    std::vector<Range> allocated;
    if (!m_target.status(status) || !m_target.allocatedRanges(status.size, allocated)) {
        fail(FileWipeStep::Open);
        return false;
    }
    m_outcome.size = status.size;
    m_outcome.otherNames = status.links > 0 ? status.links - 1 : 0;
    m_allocatedBefore = status.allocated;
    // No data found, yet blocks held: not to be trusted, so the whole file.
    if (allocated.empty() && status.size > 0 && status.allocated > 0)
        allocated.assign(1, Range{0, status.size});
    m_outcome.allocatedBytes = 0;
    for (const Range &r : allocated)
        m_outcome.allocatedBytes += r.length;
    m_passSize = wipeBlockCount(status.size) * wipeBlockSize;
    m_plan = wipePlan(allocated, m_passSize);
    for (const Range &r : m_plan) {
        m_planAt.push_back(m_passBytes);
        m_passBytes += r.length;
    }

    // A process that has the file open can write the key back after the
    // passes, or keep reading it: the wipe does not begin under it.
    if (m_target.othersHoldOpen() == platformfile::OthersResult::Held) {
        for (const platformfile::Holder &h : m_target.holders())
            m_outcome.holders.append({qint64(h.pid), systemText(h.name).trimmed()});
        fail(FileWipeStep::HeldOpen, false);
        return false;
    }
    return true;
}

// Every pass over the plan, each checked and observed; false with the
// outcome set when one did not go through.
bool Wipe::writePasses()
{
    const PassBytes::Seed seed = PassBytes::seedFromClock();
    std::vector<unsigned char> chunk(std::size_t(qMin(m_passBytes, chunkBlocks * wipeBlockSize)));
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
        const FileWipeStep step = writePass(i, bytes, chunk.data());
        if (step != FileWipeStep::None) {
            fail(step, step != FileWipeStep::Cancelled && step != FileWipeStep::Changed);
            return false;
        }
        const bool zeros = bytes.isUniform() && bytes.uniformByte() == 0x00;
        if (!unchanged(m_passSize, !zeros)) {
            fail(FileWipeStep::Changed);
            return false;
        }
        checkPlacement();
        m_outcome.passesDone = i + 1;
        if (m_observer)
            m_observer(i, m_passes[i]);
    }

    // The file stays until what is on the medium is known to be the last pass.
    tell(FileWipeEvent::ReadBack, m_passes.size(), m_passBytes);
    if (readBack(lastPass.get()) != FileWipeStep::None) {
        fail(FileWipeStep::Verify, false);
        return false;
    }
    return true;
}

// Empties the file, stamps it and removes its name, each forced to the
// medium; then makes sure nobody wrote into it meanwhile.
FileWipeOutcome &Wipe::emptyAndRemove()
{
    if (!m_target.truncate(0))
        return fail(FileWipeStep::Truncate);
    // On the medium before the name goes: otherwise a power cut can bring
    // the name back at its former size.
    if (!m_target.syncToMedium())
        return fail(FileWipeStep::Truncate);
    platformfile::Status status;
    const std::int64_t emptied = m_target.status(status) ? status.allocated : -1;
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
    const bool held = m_target.isOpen() && m_target.status(status);
    if (held)
        m_outcome.otherNames = status.links;
    // Before the caller records the file as deleted.
    if (!m_target.syncRemoval())
        return fail(FileWipeStep::SyncRemoval);
    // A process that had the file open wrote into it after the truncation:
    // whatever it wrote lives on in the file, nameless while it holds it.
    if (held && m_target.status(status) && (status.size > 0 || (emptied >= 0 && status.allocated > emptied)))
        return fail(FileWipeStep::RewrittenAfterRemoval, false);
    m_outcome.status = FileWipeStatus::Wiped;
    return m_outcome;
}

FileWipeOutcome Wipe::run()
{
    if (!openHeld())
        return m_outcome;
    // Before the first pass: where the key's bytes are now.
    m_medium = platformfile::describeMedium(m_target.descriptor());
    m_outcome.medium = judgeMedium(m_medium);
    // Where the passes may miss the key, its fingerprint is what lets the
    // fill take its blocks back afterwards.
    if (m_fingerprint || m_outcome.medium.placement != Placement::InPlace)
        m_outcome.key = fingerprintFile(m_target.descriptor(), m_outcome.size, QFileInfo(m_path).absolutePath());
    if (!tell(FileWipeEvent::Opened, -1, m_passBytes))
        return fail(FileWipeStep::Cancelled, false);
    // Nothing holds data: no pass has anything to overwrite or read back.
    if (m_passBytes > 0 && !writePasses())
        return m_outcome;
    return emptyAndRemove();
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
    if (!encodablePath(path) || !platformfile::probeMedium(nativePath(path), medium))
        return MediumVerdict();
    return judgeMedium(medium);
}

std::optional<FileWipeOutcome> refusalOfFile(const QString &path)
{
    FileWipeOutcome outcome;
    if (!encodablePath(path)) {
        outcome.status = FileWipeStatus::Refused;
        outcome.refusal = FileRefusal::UnencodableName;
        return outcome;
    }
    WipeTarget target;
    const platformfile::OpenResult looked = target.look(nativePath(path));
    if (looked == platformfile::OpenResult::Opened)
        return std::nullopt;
    tellUnopened(looked, target, outcome);
    return outcome;
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
