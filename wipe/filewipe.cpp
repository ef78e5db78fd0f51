#include "filewipe.h"

#include "passbytes.h"
#include "platformfile.h"

#include <QDataStream>
#include <QFile>

#include <vector>

namespace {

platformfile::NativePath nativePath(const QString &path)
{
#ifdef _WIN32
    return path.toStdWString();
#else
    return QFile::encodeName(path).toStdString();
#endif
}

// Blocks handed to one write call. Many blocks per call keep the system-call
// and stream overhead off a large file; the bytes and their order on disk are
// those of block-by-block writing. Small enough to leave the footprint flat.
constexpr qint64 chunkBlocks = 512; // 256 KiB

// How much of a pass may sit in the cache before its writing to the medium
// is started, so the disk works while the rest of the pass is produced.
constexpr qint64 writebackBytes = 8 * 1024 * 1024;

// Writes one pass over blockCount blocks from offset 0 and forces it to the
// medium: without the sync the later truncation lets the cache drop the pass
// while the key bytes stay on disk. chunk holds at least
// min(blockCount, chunkBlocks) blocks.
FileWipeStep writePass(QFile &file, QDataStream &stream, qint64 blockCount, PassBytes &bytes,
                       unsigned char *chunk)
{
    bool filled = false;
    qint64 written = 0;  // bytes of this pass handed to the system
    qint64 startedTo = 0; // and how far their writing to the medium was started
    for (qint64 done = 0; done < blockCount;) {
        const qint64 blocks = qMin(blockCount - done, chunkBlocks);
        const int size = int(blocks * wipeBlockSize);
        // A uniform pass is the same bytes everywhere: fill once, reuse.
        if (!filled || !bytes.isUniform()) {
            bytes.fill(chunk, std::size_t(size));
            filled = true;
        }
        if (stream.writeRawData(reinterpret_cast<const char *>(chunk), size) != size)
            return FileWipeStep::Write;
        done += blocks;
        written += size;
        if (written - startedTo >= writebackBytes) {
            if (!file.flush())
                return FileWipeStep::Flush;
            platformfile::startWriteback(file.handle(), startedTo, written - startedTo);
            startedTo = written;
        }
    }
    if (stream.status() != QDataStream::Ok)
        return FileWipeStep::Write;
    if (!file.flush())
        return FileWipeStep::Flush;
    if (!platformfile::syncToMedium(file.handle()))
        return FileWipeStep::Sync;
    if (!file.seek(0))
        return FileWipeStep::Seek;
    return FileWipeStep::None;
}

FileWipeOutcome failed(FileWipeStep step, int passesCompleted)
{
    return {FileWipeStatus::Failed, step, passesCompleted};
}

FileWipeOutcome runWipe(WipeAlgorithm algorithm, const QString &path, const PassObserver &observer)
{
    QFile file;
    file.setFileName(path);
    // The static check follows links, so a dangling link counts as not found.
    if (!QFile::exists(path))
        return {FileWipeStatus::NotFound, FileWipeStep::None, 0};

    const platformfile::NativePath native = nativePath(path);
    platformfile::clearAttributes(native);

    const qint64 blockCount = wipeBlockCount(file.size());
    const uint seed = PassBytes::seedFromClock();

    // Never creates: a file that vanished since the check is a failure, not a new file.
    if (!file.open(QIODevice::ReadWrite | QIODevice::ExistingOnly))
        return failed(FileWipeStep::Open, 0);
    QDataStream stream(&file);

    const QVector<WipePass> passes = wipeSchedule(algorithm);
    std::vector<unsigned char> chunk(std::size_t(qMin(blockCount, chunkBlocks) * wipeBlockSize));
    PassBytes bytes(seed);
    for (int i = 0; i < passes.size(); ++i) {
        bytes.beginPass(passes[i]);
        const FileWipeStep step = writePass(file, stream, blockCount, bytes, chunk.data());
        if (step != FileWipeStep::None)
            return failed(step, i);
        if (observer)
            observer(i, passes[i]);
    }

    if (!file.resize(0))
        return failed(FileWipeStep::Truncate, passes.size());
    file.unsetError();
    file.close();
    if (file.error() != QFileDevice::NoError)
        return failed(FileWipeStep::Close, passes.size());

    platformfile::stampWipeTime(native);

    if (!file.remove())
        return failed(FileWipeStep::Remove, passes.size());
    return {FileWipeStatus::Wiped, FileWipeStep::None, passes.size()};
}

} // namespace

qint64 wipeBlockCount(qint64 fileSize)
{
    // Equals ceil(fileSize / 512.0) wherever a double holds the size exactly.
    if (fileSize <= 0)
        return 0;
    return (fileSize + wipeBlockSize - 1) / wipeBlockSize;
}

FileWipeOutcome overwriteFile(WipeAlgorithm algorithm, const QString &path, const PassObserver &observer)
{
    try {
        return runWipe(algorithm, path, observer);
    } catch (...) {
        return failed(FileWipeStep::Exception, 0);
    }
}
