#ifndef MEDIUMVERDICT_H
#define MEDIUMVERDICT_H

#include <QString>
#include <QStringList>
#include <QVector>
#include <QtGlobal>

namespace platformfile {
struct Medium;
struct ExtentMap;
}

// Whether overwriting a file reaches the blocks its bytes were on.
enum class Placement {
    InPlace,     // the passes go over the file's own blocks, and the extent map shows they did
    Relocating,  // the passes go elsewhere; the original blocks keep the key
    NotProvable, // nothing here can tell
};

// What limits an overwrite, one sentence each for the officer.
enum MediumLimit : quint32 {
    LimitCopyOnWrite = 1u << 0,  // the file system writes changes to new blocks
    LimitShared = 1u << 1,       // another file or a snapshot shares the blocks
    LimitCompressed = 1u << 2,
    LimitDataJournal = 1u << 3,  // data goes through the journal first
    LimitInline = 1u << 4,       // the bytes live in file-system metadata
    LimitMoved = 1u << 5,        // measured: a pass landed on other blocks
    LimitNetwork = 1u << 6,
    LimitFuse = 1u << 7,
    LimitOverlay = 1u << 8,
    LimitMemory = 1u << 9,
    LimitNoExtentMap = 1u << 10, // the file system says nothing of where the bytes are
    LimitUnknownFileSystem = 1u << 11,
    // What the device below adds, whatever the placement.
    LimitFlash = 1u << 12,       // remapped copies only the device's own erase reaches
    LimitEncrypted = 1u << 13,   // only ciphertext reaches the device
    LimitImageFile = 1u << 14,   // the volume is a file on another file system
};

// One disk under the volume, as the system names it; empty where it does not.
struct MediumDisk {
    QString name, maker, model, serial, transport;
    QString kind; // "physical", "virtual", "loop", "network", "memory"
};

struct MediumVerdict {
    Placement placement = Placement::NotProvable;
    quint32 limits = 0;    // MediumLimit bits
    QString fileSystem;    // "ext4", "btrfs", "NTFS"; empty when unknown
    QString device;        // "sda: SSD, sata"; empty when unknown
    QString lowerCopy;     // an overlay's lower-layer file that keeps the key; empty when none
    QVector<MediumDisk> disks; // the bottom disks; none where no block device is below
    bool known = false;    // the medium was looked at
};

// From one table: the placement the medium allows and why.
MediumVerdict judgeMedium(const platformfile::Medium &medium);

// Whether every byte the original extents held is still where the file now
// maps it, in extents that are not shared, inline or encoded. Ranges the
// original did not map (holes, the growth to whole blocks) may be anywhere.
bool sameBlocks(const platformfile::ExtentMap &original, const platformfile::ExtentMap &now);

// Short machine-readable words for the journal.
QString placementId(Placement placement);
// One word per MediumLimit bit set, in the bits' order: "copy-on-write", "flash", ...
QStringList limitIds(quint32 limits);

#endif // MEDIUMVERDICT_H
