#ifndef LOOPMOUNT_H
#define LOOPMOUNT_H

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <unistd.h>

// Runs a tool to its end; output gets what it printed.
inline bool runTool(const QString &program, const QStringList &arguments, QString *output)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    if (!process.waitForFinished(60000)) {
        *output = process.errorString();
        process.kill();
        process.waitForFinished();
        return false;
    }
    *output = QString::fromLocal8Bit(process.readAll()).trimmed();
    return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

// A throwaway file system in an image file, loop-mounted while it lives
// (ext4 by default; xfs, btrfs, or tmpfs with no image at all). Gives a real
// block device whose every byte the test can read back, and a file system
// that honours chattr flags wherever the test tree lives. Needs root and loop
// devices; when either is missing, failure() says why. imageDir: where the
// image lies, when not beside the mount point.
class LoopMount
{
public:
    // mkfsArgs: more for mkfs. secondMiB: a second device of that size, for
    // btrfs a raid1 mirror, for ext4 the external journal; both then attached
    // with losetup; failure() says why where the system refuses them.
    explicit LoopMount(qint64 sizeMiB = 16, const QString &type = QStringLiteral("ext4"),
                       const QString &options = QString(), const QStringList &mkfsArgs = {},
                       qint64 secondMiB = 0, const QString &imageDir = QString())
    {
        if (::geteuid() != 0) {
            m_failure = QStringLiteral("loop mounting needs root");
            return;
        }
        if (!QFileInfo::exists(QStringLiteral("/dev/loop-control"))) {
            m_failure = QStringLiteral("no loop devices here (/dev/loop-control is missing)");
            return;
        }
        const bool memory = type == QLatin1String("tmpfs");
        const QString mkfs = memory ? QString() : tool(QStringLiteral("mkfs.") + type);
        const QString mount = tool(QStringLiteral("mount"));
        if ((!memory && mkfs.isEmpty()) || mount.isEmpty()) {
            m_failure = QStringLiteral("mkfs.%1 or mount (mount) is not installed").arg(type);
            return;
        }
        if (!m_dir.isValid()) {
            m_failure = QStringLiteral("no temporary directory for the image");
            return;
        }
        m_mountPoint = m_dir.filePath(QStringLiteral("mnt"));
        if (!QDir().mkpath(m_mountPoint)) {
            m_failure = QStringLiteral("cannot create the mount point in %1").arg(m_dir.path());
            return;
        }
        if (memory) {
            if (!run(mount, {QStringLiteral("-t"), type, QStringLiteral("-o"),
                             QStringLiteral("size=%1m").arg(sizeMiB), type, m_mountPoint})) {
                m_failure = QStringLiteral("mount -t tmpfs failed: ") + m_lastError;
                return;
            }
            m_mounted = true;
            return;
        }
        m_image = (imageDir.isEmpty() ? m_dir.path() : imageDir) + QLatin1Char('/') + type + QStringLiteral(".img");
        if (!sparseImage(m_image, sizeMiB))
            return;
        // Quick to make, and no discard that would punch the image full of
        // holes for nothing; xfs with reflinks, so a file can share its blocks.
        QStringList args;
        if (type == QLatin1String("ext4"))
            args = QStringList{QStringLiteral("-q"), QStringLiteral("-F"), QStringLiteral("-E"),
                               QStringLiteral("lazy_itable_init=1,lazy_journal_init=1,nodiscard")};
        else if (type == QLatin1String("xfs"))
            args = QStringList{QStringLiteral("-q"), QStringLiteral("-f"), QStringLiteral("-K"), QStringLiteral("-m"),
                               QStringLiteral("reflink=1")};
        else if (type == QLatin1String("btrfs"))
            args = QStringList{QStringLiteral("-q"), QStringLiteral("-f"), QStringLiteral("-K")};
        args << mkfsArgs;
        QString source = m_image;
        QString mountOptions = options.isEmpty() ? QStringLiteral("loop") : QStringLiteral("loop,") + options;
        if (secondMiB > 0) {
            m_secondImage = m_dir.filePath(QStringLiteral("second.img"));
            if (!sparseImage(m_secondImage, secondMiB) || !attach(m_secondImage, m_second))
                return;
            if (type == QLatin1String("btrfs")) {
                if (!attach(m_image, m_first))
                    return;
                args << QStringLiteral("-d") << QStringLiteral("raid1") << QStringLiteral("-m")
                     << QStringLiteral("raid1");
                source = m_first;
                mountOptions = QStringLiteral("device=%1,device=%2").arg(m_first, m_second)
                    + (options.isEmpty() ? QString() : QLatin1Char(',') + options);
            } else {
                if (!run(tool(QStringLiteral("mke2fs")), {QStringLiteral("-q"), QStringLiteral("-F"), QStringLiteral("-O"),
                                                          QStringLiteral("journal_dev"), QStringLiteral("-b"),
                                                          QStringLiteral("4096"), m_second})) {
                    m_failure = QStringLiteral("mke2fs -O journal_dev failed: ") + m_lastError;
                    return;
                }
                args << QStringLiteral("-b") << QStringLiteral("4096") << QStringLiteral("-J")
                     << QStringLiteral("device=") + m_second;
            }
        }
        args << source;
        if (!m_first.isEmpty())
            args << m_second;
        if (!run(mkfs, args)) {
            m_failure = QStringLiteral("mkfs.%1 failed: ").arg(type) + m_lastError;
            return;
        }
        if (!run(mount, {QStringLiteral("-t"), type, QStringLiteral("-o"), mountOptions, source, m_mountPoint})) {
            m_failure = QStringLiteral("mount -o %1 failed: ").arg(mountOptions) + m_lastError;
            return;
        }
        m_mounted = true;
    }

    ~LoopMount()
    {
        unmount();
        for (const QString &device : {m_first, m_second})
            if (!device.isEmpty())
                run(tool(QStringLiteral("losetup")), {QStringLiteral("-d"), device});
    }

    LoopMount(const LoopMount &) = delete;
    LoopMount &operator=(const LoopMount &) = delete;

    bool isMounted() const { return m_mounted; }
    QString failure() const { return m_failure; }
    QString mountPoint() const { return m_mountPoint; }
    QString imagePath() const { return m_image; }
    QString secondImagePath() const { return m_secondImage; }
    QString secondDevice() const { return m_second; } // "/dev/loop5"
    QString filePath(const QString &name) const { return m_mountPoint + QLatin1Char('/') + name; }

    // Unmounting writes everything back to the image and frees the loop device
    // (mount -o loop attaches it with auto-clear).
    bool unmount()
    {
        if (!m_mounted)
            return true;
        const QString umount = tool(QStringLiteral("umount"));
        if (run(umount, {m_mountPoint})) {
            m_mounted = false;
            return true;
        }
        // Something still holds it: detach lazily so no mount outlives the test.
        run(umount, {QStringLiteral("-l"), m_mountPoint});
        m_mounted = false;
        return false;
    }

    static QString tool(const QString &name)
    {
        QString path = QStandardPaths::findExecutable(name);
        if (path.isEmpty())
            path = QStandardPaths::findExecutable(
                name, {QStringLiteral("/usr/sbin"), QStringLiteral("/sbin"), QStringLiteral("/usr/bin"),
                       QStringLiteral("/bin")});
        return path;
    }

private:
    // Sparse, so a 128 MiB btrfs device costs only what is written.
    bool sparseImage(const QString &path, qint64 sizeMiB)
    {
        QFile image(path);
        if (image.open(QIODevice::WriteOnly) && image.resize(sizeMiB << 20))
            return true;
        m_failure = QStringLiteral("cannot create the image file in %1").arg(m_dir.path());
        return false;
    }

    bool attach(const QString &image, QString &device)
    {
        if (!run(tool(QStringLiteral("losetup")), {QStringLiteral("--find"), QStringLiteral("--show"), image})) {
            m_failure = QStringLiteral("losetup failed: ") + m_lastError;
            return false;
        }
        device = m_lastError; // the merged output: the device's name
        return true;
    }

    bool run(const QString &program, const QStringList &arguments)
    {
        return runTool(program, arguments, &m_lastError);
    }

    QTemporaryDir m_dir;
    QString m_image;
    QString m_secondImage;
    QString m_first;  // attached here rather than by mount -o loop
    QString m_second;
    QString m_mountPoint;
    QString m_failure;
    QString m_lastError;
    bool m_mounted = false;
};

// An overlay mounted on base/merged while it lives, over base/lower with
// base/upper for the changes; what lower holds must be put there before.
class OverlayMount
{
public:
    explicit OverlayMount(const QString &base) : m_base(base)
    {
        for (const char *dir : {"lower", "upper", "work", "merged"})
            QDir().mkpath(path(QLatin1String(dir)));
        const QString options = QStringLiteral("lowerdir=%1,upperdir=%2,workdir=%3")
                                    .arg(path(QStringLiteral("lower")), path(QStringLiteral("upper")),
                                         path(QStringLiteral("work")));
        m_mounted = runTool(LoopMount::tool(QStringLiteral("mount")),
                            {QStringLiteral("-t"), QStringLiteral("overlay"), QStringLiteral("overlay"),
                             QStringLiteral("-o"), options, path(QStringLiteral("merged"))},
                            &m_failure);
    }
    ~OverlayMount() { unmount(); }
    OverlayMount(const OverlayMount &) = delete;
    OverlayMount &operator=(const OverlayMount &) = delete;

    bool isMounted() const { return m_mounted; }
    QString failure() const { return m_failure; }
    // base/layer/name; the merged view is the layer "merged".
    QString path(const QString &layer, const QString &name = QString()) const
    {
        return m_base + QLatin1Char('/') + layer + (name.isEmpty() ? QString() : QLatin1Char('/') + name);
    }
    bool unmount()
    {
        QString output;
        if (m_mounted && !runTool(LoopMount::tool(QStringLiteral("umount")), {path(QStringLiteral("merged"))}, &output))
            return false;
        m_mounted = false;
        return true;
    }

private:
    QString m_base;
    QString m_failure;
    bool m_mounted = false;
};

// An image file attached as a raw loop block device while it lives, for tests
// that check a device's bytes stay untouched. Needs root, like LoopMount.
class LoopDevice
{
public:
    LoopDevice(const QString &image, const QByteArray &contents) : m_image(image)
    {
        if (::geteuid() != 0 || !QFileInfo::exists(QStringLiteral("/dev/loop-control"))) {
            m_failure = QStringLiteral("a loop block device needs root and /dev/loop-control");
            return;
        }
        QFile file(image);
        if (!file.open(QIODevice::WriteOnly) || file.write(contents) != contents.size()) {
            m_failure = QStringLiteral("cannot write the image ") + image;
            return;
        }
        file.close();
        QProcess losetup;
        losetup.start(LoopMount::tool(QStringLiteral("losetup")),
                      {QStringLiteral("--find"), QStringLiteral("--show"), image});
        if (!losetup.waitForFinished(60000) || losetup.exitCode() != 0)
            m_failure = QStringLiteral("losetup failed: ") + QString::fromLocal8Bit(losetup.readAllStandardError());
        else
            m_device = QString::fromLocal8Bit(losetup.readAllStandardOutput()).trimmed();
    }
    ~LoopDevice()
    {
        if (!m_device.isEmpty())
            QProcess::execute(LoopMount::tool(QStringLiteral("losetup")), {QStringLiteral("-d"), m_device});
        QFile::remove(m_image);
    }
    LoopDevice(const LoopDevice &) = delete;
    LoopDevice &operator=(const LoopDevice &) = delete;

    QString failure() const { return m_failure; }
    QString path() const { return m_device; }
    QByteArray contents() const
    {
        QFile device(m_device);
        return device.open(QIODevice::ReadOnly) ? device.readAll() : QByteArray();
    }

private:
    QString m_image;
    QString m_device;
    QString m_failure;
};

#endif // LOOPMOUNT_H
