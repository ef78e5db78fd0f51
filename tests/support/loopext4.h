#ifndef LOOPEXT4_H
#define LOOPEXT4_H

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <unistd.h>

// A throwaway ext4 file system in an image file, loop-mounted while it lives.
// Gives a real block device whose every byte the test can read back, and a
// file system that honours chattr flags wherever the test tree lives. Needs
// root and loop devices; when either is missing, failure() says why.
class LoopExt4
{
public:
    explicit LoopExt4(qint64 sizeMiB = 16)
    {
        if (::geteuid() != 0) {
            m_failure = QStringLiteral("loop mounting needs root");
            return;
        }
        if (!QFileInfo::exists(QStringLiteral("/dev/loop-control"))) {
            m_failure = QStringLiteral("no loop devices here (/dev/loop-control is missing)");
            return;
        }
        const QString mkfs = tool(QStringLiteral("mkfs.ext4"));
        const QString mount = tool(QStringLiteral("mount"));
        if (mkfs.isEmpty() || mount.isEmpty()) {
            m_failure = QStringLiteral("mkfs.ext4 (e2fsprogs) or mount (mount) is not installed");
            return;
        }
        if (!m_dir.isValid()) {
            m_failure = QStringLiteral("no temporary directory for the image");
            return;
        }
        m_image = m_dir.filePath(QStringLiteral("ext4.img"));
        m_mountPoint = m_dir.filePath(QStringLiteral("mnt"));
        QFile image(m_image);
        if (!image.open(QIODevice::WriteOnly) || !image.resize(sizeMiB << 20)
            || !QDir().mkpath(m_mountPoint)) {
            m_failure = QStringLiteral("cannot create the image file in %1").arg(m_dir.path());
            return;
        }
        image.close();
        // Lazy inode tables and journal keep mkfs quick; nodiscard keeps it from
        // punching the image full of holes for nothing.
        if (!run(mkfs, {QStringLiteral("-q"), QStringLiteral("-F"), QStringLiteral("-E"),
                        QStringLiteral("lazy_itable_init=1,lazy_journal_init=1,nodiscard"), m_image})) {
            m_failure = QStringLiteral("mkfs.ext4 failed: ") + m_lastError;
            return;
        }
        if (!run(mount, {QStringLiteral("-t"), QStringLiteral("ext4"), QStringLiteral("-o"),
                         QStringLiteral("loop"), m_image, m_mountPoint})) {
            m_failure = QStringLiteral("mount -o loop failed: ") + m_lastError;
            return;
        }
        m_mounted = true;
    }

    ~LoopExt4() { unmount(); }

    LoopExt4(const LoopExt4 &) = delete;
    LoopExt4 &operator=(const LoopExt4 &) = delete;

    bool isMounted() const { return m_mounted; }
    QString failure() const { return m_failure; }
    QString mountPoint() const { return m_mountPoint; }
    QString imagePath() const { return m_image; }
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
    bool run(const QString &program, const QStringList &arguments)
    {
        QProcess process;
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(program, arguments);
        if (!process.waitForFinished(60000)) {
            m_lastError = process.errorString();
            process.kill();
            process.waitForFinished();
            return false;
        }
        m_lastError = QString::fromLocal8Bit(process.readAll()).trimmed();
        return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    }

    QTemporaryDir m_dir;
    QString m_image;
    QString m_mountPoint;
    QString m_failure;
    QString m_lastError;
    bool m_mounted = false;
};

// An image file attached as a raw loop block device while it lives, for tests
// that check a device's bytes stay untouched. Needs root, like LoopExt4.
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
        losetup.start(LoopExt4::tool(QStringLiteral("losetup")),
                      {QStringLiteral("--find"), QStringLiteral("--show"), image});
        if (!losetup.waitForFinished(60000) || losetup.exitCode() != 0)
            m_failure = QStringLiteral("losetup failed: ") + QString::fromLocal8Bit(losetup.readAllStandardError());
        else
            m_device = QString::fromLocal8Bit(losetup.readAllStandardOutput()).trimmed();
    }
    ~LoopDevice()
    {
        if (!m_device.isEmpty())
            QProcess::execute(LoopExt4::tool(QStringLiteral("losetup")), {QStringLiteral("-d"), m_device});
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

#endif // LOOPEXT4_H
