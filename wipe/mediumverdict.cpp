#include "mediumverdict.h"

#include "filemedium.h"

#include <QFile>
#include <QStringList>

#include <algorithm>
#include <functional>

namespace {

using platformfile::FileSystemKind;
using platformfile::Medium;

struct Rule {
    std::function<bool(const Medium &)> applies;
    Placement placement;
    MediumLimit limit;
};

bool flagged(const Medium &m, std::uint32_t flag)
{
    return m.extents.known && (m.extents.flags() & flag) != 0;
}

bool copyOnWrite(const Medium &m)
{
    switch (m.kind) {
    case FileSystemKind::Btrfs:
        return !m.fileNoCow;
    case FileSystemKind::Zfs:
    case FileSystemKind::F2fs: // log-structured: a rewrite goes to the log's head
        return true;
    default:
        return false;
    }
}

bool writesInPlace(const Medium &m)
{
    switch (m.kind) {
    case FileSystemKind::Ext:
    case FileSystemKind::Xfs:
    case FileSystemKind::Fat:
    case FileSystemKind::ExFat:
    case FileSystemKind::Ntfs:
        return true;
    case FileSystemKind::Btrfs:
        return m.fileNoCow;
    default:
        return false;
    }
}

// Every rule that applies adds its limit. A known relocation outweighs what
// cannot be proven; in place is what is left when neither applies.
const Rule rules[] = {
    {[](const Medium &m) { return m.kind == FileSystemKind::Network; }, Placement::NotProvable, LimitNetwork},
    {[](const Medium &m) { return m.kind == FileSystemKind::Fuse; }, Placement::NotProvable, LimitFuse},
    {[](const Medium &m) { return m.kind == FileSystemKind::Overlay && m.lowerCopy.empty(); }, Placement::NotProvable,
     LimitOverlay},
    // The passes went to the upper layer's copy; the lower file keeps the key.
    {[](const Medium &m) { return m.kind == FileSystemKind::Overlay && !m.lowerCopy.empty(); }, Placement::Relocating,
     LimitOverlay},
    {[](const Medium &m) { return m.kind == FileSystemKind::Memory; }, Placement::NotProvable, LimitMemory},
    {copyOnWrite, Placement::Relocating, LimitCopyOnWrite},
    {[](const Medium &m) { return m.dataJournal; }, Placement::Relocating, LimitDataJournal},
    {[](const Medium &m) {
         return m.fileCompressed || flagged(m, platformfile::ExtentEncoded)
             || (m.compressMount && m.kind == FileSystemKind::Btrfs && !m.fileNoCow);
     },
     Placement::Relocating, LimitCompressed},
    {[](const Medium &m) { return flagged(m, platformfile::ExtentShared); }, Placement::Relocating, LimitShared},
    {[](const Medium &m) { return m.fileInline || flagged(m, platformfile::ExtentInline | platformfile::ExtentTail); },
     Placement::Relocating, LimitInline},
    {[](const Medium &m) {
         return !m.extents.known && m.kind != FileSystemKind::Network && m.kind != FileSystemKind::Fuse
             && m.kind != FileSystemKind::Overlay && m.kind != FileSystemKind::Memory;
     },
     Placement::NotProvable, LimitNoExtentMap},
    {[](const Medium &m) { return m.extents.known && !writesInPlace(m) && !copyOnWrite(m); }, Placement::NotProvable,
     LimitUnknownFileSystem},
};

struct DeviceRule {
    std::function<bool(const Medium &)> applies;
    MediumLimit limit;
};

const DeviceRule deviceRules[] = {
    {[](const Medium &m) { return m.device.flash; }, LimitFlash},
    {[](const Medium &m) { return m.device.encrypted || m.fileEncrypted; }, LimitEncrypted},
    {[](const Medium &m) { return m.device.imageFile; }, LimitImageFile},
};

QString deviceText(const platformfile::BlockDevice &d)
{
    if (!d.known)
        return QString();
    QStringList traits;
    if (d.imageFile)
        traits << QStringLiteral("loop");
    if (d.flash)
        traits << QStringLiteral("SSD/flash");
    if (d.rotational)
        traits << QStringLiteral("HDD");
    if (d.removable)
        traits << QStringLiteral("removable");
    if (d.encrypted)
        traits << QStringLiteral("encrypted");
    if (!d.transport.empty())
        traits << QString::fromStdString(d.transport);
    const QString name = QString::fromStdString(d.name);
    return traits.isEmpty() ? name : name + QStringLiteral(": ") + traits.join(QStringLiteral(", "));
}

} // namespace

MediumVerdict judgeMedium(const Medium &medium)
{
    MediumVerdict verdict;
    verdict.known = true;
    verdict.fileSystem = QString::fromStdString(medium.fileSystem);
    verdict.device = deviceText(medium.device);
    for (const platformfile::DiskIdentity &d : medium.device.disks)
        verdict.disks.append({QString::fromStdString(d.name), QString::fromStdString(d.maker),
                              QString::fromStdString(d.model), QString::fromStdString(d.serial),
                              QString::fromStdString(d.transport), QString::fromStdString(d.kind)});
#ifdef _WIN32
    verdict.lowerCopy = QString::fromStdWString(medium.lowerCopy);
#else
    verdict.lowerCopy = QFile::decodeName(QByteArray::fromStdString(medium.lowerCopy));
#endif
    bool relocating = false, unprovable = false;
    for (const Rule &rule : rules) {
        if (!rule.applies(medium))
            continue;
        verdict.limits |= rule.limit;
        relocating = relocating || rule.placement == Placement::Relocating;
        unprovable = unprovable || rule.placement == Placement::NotProvable;
    }
    for (const DeviceRule &rule : deviceRules)
        if (rule.applies(medium))
            verdict.limits |= rule.limit;
    verdict.placement = relocating ? Placement::Relocating
        : unprovable               ? Placement::NotProvable
                                   : Placement::InPlace;
    return verdict;
}

bool sameBlocks(const platformfile::ExtentMap &original, const platformfile::ExtentMap &now)
{
    if (!original.known || !now.known)
        return false;
    constexpr std::uint32_t moved = platformfile::ExtentShared | platformfile::ExtentInline
        | platformfile::ExtentEncoded | platformfile::ExtentTail | platformfile::ExtentUnknown;
    for (const platformfile::Extent &was : original.extents) {
        if (was.flags & (platformfile::ExtentUnknown | platformfile::ExtentInline))
            return false; // no place to compare with
        // Walk the ranges of the file that covered this extent.
        std::uint64_t at = was.logical;
        const std::uint64_t end = was.logical + was.length;
        while (at < end) {
            const auto covering = std::find_if(now.extents.begin(), now.extents.end(), [at](const auto &e) {
                return e.logical <= at && at < e.logical + e.length;
            });
            if (covering == now.extents.end() || (covering->flags & moved))
                return false;
            if (covering->physical + (at - covering->logical) != was.physical + (at - was.logical))
                return false;
            at = std::min(end, covering->logical + covering->length);
        }
    }
    return true;
}

QString placementId(Placement placement)
{
    switch (placement) {
    case Placement::InPlace:
        return QStringLiteral("in-place");
    case Placement::Relocating:
        return QStringLiteral("relocating");
    case Placement::NotProvable:
        break;
    }
    return QStringLiteral("not-provable");
}

QStringList limitIds(quint32 limits)
{
    // In the bits' order: bit i is named by the i-th word.
    static const char *const words[] = {
        "copy-on-write", "shared", "compressed", "data-journal", "inline", "moved", "network", "fuse",
        "overlay", "memory", "no-extent-map", "unknown-file-system", "flash", "encrypted", "image-file",
    };
    static_assert(1u << (sizeof words / sizeof words[0] - 1) == LimitImageFile, "one word per limit");
    QStringList ids;
    for (quint32 i = 0; i < sizeof words / sizeof words[0]; ++i)
        if (limits & (1u << i))
            ids << QLatin1String(words[i]);
    return ids;
}
