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

// A search of every device of the volume (each btrfs device, an ext4 external
// journal) for blocks equal to a block of the key.
struct VolumeSearch {
    enum class Status {
        NotRun,
        Done,         // every device read whole; survivors lists what matched
        Incomplete,   // some devices read whole, not the ones in devicesNotRead
        NoDevice,     // the volume's device is not known (network, memory, FUSE, ...); see error
        NoPermission, // no device could be opened: root, the disk group or a device cgroup; see error
        Cancelled,
        Failed,       // no device read whole; see error and devicesNotRead
        NotAvailable, // not on this system
    };
    Status status = Status::NotRun;
    QString device;             // the volume's own device: "/dev/loop3"
    QStringList devices;        // every device read, whole or in part, in order
    QStringList devicesNotRead; // "path: the system's reason", or a device known but not found
    qint64 volumeSize = 0;      // of all devices opened
    qint64 bytesRead = 0;
    qint64 elapsedMs = 0;
    int keyBlocks = 0;          // blocks of the key a match can be told by (not one repeated byte)
    QVector<qint64> survivors;  // device offsets of blocks equal to one of them
    QStringList survivorDevices; // parallel to survivors: the device each offset is on
    QString error;              // the system's reason whenever the search did not read every device
};

// The free space of the key's file system filled until the fill's own blocks
// cover every block the key lay on, or else to the end of the free space
// above a reserve; the fill file is gone in every case.
struct FreedFill {
    enum class Status {
        NotRun,
        // Proven: every block of the key has a place the file system told,
        // and the fill's own blocks now lie on each of them.
        Covered,
        // Free space taken down to the reserve, but not proven to have reached
        // the key: part of it had no place the file system tells (inline,
        // compressed, unknown: rangesUnmapped), or a data journal the fill
        // wrote at least journalBytes through.
        Filled,
        // Not reached: the free space ran out with mapped blocks of the key
        // still outside the fill (see rangesCovered), or with less written
        // through a data journal than the journal holds (see journalBytes).
        NotCovered,
        Cancelled,
        Failed,       // error always says why
        NotAvailable,
    };
    Status status = Status::NotRun;
    qint64 bytesWritten = 0;
    qint64 elapsedMs = 0;
    int rangesTotal = 0;     // blocks of the key's former place the file system told
    int rangesCovered = 0;   // of those, now under the fill
    int rangesUnmapped = 0;  // blocks of the key with no place told: never counted as covered
    qint64 journalBytes = 0; // data journal: its size; -1 not known
    int leftoversRemoved = 0; // fill files an interrupted earlier fill left in the directory
    qint64 leftoverBytes = 0;
    QString error;
};

// What a search or a fill can reach of the key: blocks whose place on the
// volume the file system told, and blocks it did not (inline in metadata,
// compressed or encoded, unknown).
struct KeyReach {
    int mappedBlocks = 0;
    int unmappedBlocks = 0;
    bool compressed = false;
    bool inlineData = false;
};
KeyReach keyReach(const KeyFingerprint &key);

// Takes the fingerprint through the held file before it is overwritten.
KeyFingerprintPtr fingerprintFile(int fd, qint64 size, const QString &directory);

// Every device of the key's volume, each read sequentially past the cache.
VolumeSearch searchVolume(const KeyFingerprint &key, const VolumeProgress &progress = {});

// For a volume that wrote the passes elsewhere: after the name is gone.
FreedFill fillFreedBlocks(const KeyFingerprint &key, const VolumeProgress &progress = {});

#endif // VOLUMESEARCH_H
