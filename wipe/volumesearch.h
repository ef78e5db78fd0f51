#ifndef VOLUMESEARCH_H
#define VOLUMESEARCH_H

#include <QString>
#include <QStringList>
#include <QVector>

#include <functional>
#include <memory>

// What the key was, block by block: a 128-bit digest of each file-system block
// of the original content, and where those blocks lay on the volume. Kept in
// memory for one wipe only; nothing of it is ever written anywhere.
class KeyFingerprint;
using KeyFingerprintPtr = std::shared_ptr<const KeyFingerprint>;

// Told of the bytes done of the total; false stops the work.
using VolumeProgress = std::function<bool(qint64 done, qint64 total)>;

// A search of the whole volume for blocks equal to a block of the key.
struct VolumeSearch {
    enum class Status {
        NotRun,
        Done,         // every block read; survivors lists what matched
        NoDevice,     // the volume's device is not known (network, memory, FUSE, ...)
        NoPermission, // reading the device needs root or the disk group
        Cancelled,
        Failed,       // see error
        NotAvailable, // not on this system
        Incomplete,   // some devices of the file system read, others not: see devicesNotRead
    };
    Status status = Status::NotRun;
    QStringList devices;        // every device read whole, in order
    QStringList devicesNotRead; // "path: reason"
    QStringList survivorDevices; // the device of each survivor
    QString device;           // the device read: "/dev/loop3"
    qint64 volumeSize = 0;
    qint64 bytesRead = 0;
    qint64 elapsedMs = 0;
    int keyBlocks = 0;        // blocks of the key a match can be told by (not one repeated byte)
    QVector<qint64> survivors; // device offsets of blocks equal to one of them
    QString error;
};

// The free space of the key's file system filled until the fill's own blocks
// cover every block the key lay on, or, where data went through a journal,
// until the free space is used; the fill file is removed in every case.
struct FreedFill {
    enum class Status {
        NotRun,
        Covered,      // the fill took every block the key lay on
        Filled,       // the free space was filled (data journal: the journal wrapped)
        NotCovered,   // the volume was full, down to its reserve, first; see rangesCovered
        Cancelled,
        Failed,       // see error
        NotAvailable,
    };
    Status status = Status::NotRun;
    qint64 bytesWritten = 0;
    qint64 elapsedMs = 0;
    int rangesTotal = 0;   // blocks of the key's former place
    int rangesCovered = 0; // of those, now under the fill
    int rangesUnmapped = 0; // blocks of the key whose place the file system does not tell
    QString error;
};

// What a search or a fill can reach of the key.
struct KeyReach {
    int mappedBlocks = 0;   // blocks whose place on the volume is known
    int unmappedBlocks = 0; // inline, compressed, encoded or unknown: neither search nor fill can tell them
    bool compressed = false;
    bool inlineData = false;
};
KeyReach keyReach(const KeyFingerprint &key);

// Takes the fingerprint through the held file before it is overwritten.
KeyFingerprintPtr fingerprintFile(int fd, qint64 size, const QString &directory);

// The key's volume, read sequentially past the cache.
VolumeSearch searchVolume(const KeyFingerprint &key, const VolumeProgress &progress = {});

// For a volume that wrote the passes elsewhere: after the name is gone.
FreedFill fillFreedBlocks(const KeyFingerprint &key, const VolumeProgress &progress = {});

#endif // VOLUMESEARCH_H
