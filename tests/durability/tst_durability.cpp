// What a wipe leaves on the block device itself. Key containers full of a
// marker live on a throwaway loop-mounted ext4; after every pass the file's
// blocks are read back from the image, and after the wipe and the unmount the
// whole image is searched for any remnant of the marker.
//
// A remnant is any 16 bytes in a row of the marker. The marker is a
// pseudo-random stream, so a given 16-byte run turns up by chance with odds
// of about 2^-128 per position: a hit is key material, never noise.

#include "filewipe.h"
#include "forkedchild.h"
#include "journal.h"
#include "journalplace.h"
#include "loopmount.h"
#include "programrun.h"
#include "volumesearch.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSet>
#include <QStorageInfo>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <grp.h>
#include <memory>
#include <linux/fiemap.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_map>
#include <vector>

namespace {

constexpr int runLength = 16;

// Fixed-seed splitmix64: the same marker on every run, unlike anything the
// file system or a wipe pass writes.
QByteArray markerStream(int size)
{
    QByteArray data(size, '\0');
    quint64 state = 0x4b43435f4d41524bULL;
    for (int i = 0; i < size; i += 8) {
        quint64 z = (state += 0x9e3779b97f4a7c15ULL);
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
        z ^= z >> 31;
        std::memcpy(data.data() + i, &z, qMin<size_t>(8, size_t(size - i)));
    }
    return data;
}

quint64 load64(const char *p)
{
    quint64 v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

// Finds every run of at least runLength bytes of the marker. Such a run holds
// a whole 8-byte word at an offset that is a multiple of 8, so only those
// words are looked up, and each candidate is grown both ways to its full run.
class RemnantScanner
{
public:
    explicit RemnantScanner(const QByteArray &marker)
        : m_marker(marker), m_filter(filterBits / 64, 0)
    {
        for (int i = 0; i + 8 <= marker.size(); ++i) {
            const quint64 word = load64(marker.constData() + i);
            const std::size_t b = bucket(word);
            m_filter[b / 64] |= quint64(1) << (b % 64);
            m_start.emplace(word, i);
        }
    }

    struct Run {
        qint64 imageOffset;
        int markerOffset;
        int length;
    };

    QVector<Run> scan(const QByteArray &image) const
    {
        QVector<Run> runs;
        const char *data = image.constData();
        const qint64 size = image.size();
        qint64 scannedUpTo = 0; // a run already reported covers everything before this
        for (qint64 a = 0; a + 8 <= size; a += 8) {
            if (a < scannedUpTo)
                continue;
            const quint64 word = load64(data + a);
            const std::size_t b = bucket(word);
            if (!(m_filter[b / 64] & (quint64(1) << (b % 64))))
                continue;
            const auto range = m_start.equal_range(word);
            for (auto it = range.first; it != range.second; ++it) {
                qint64 from = a;
                int at = it->second;
                while (from > 0 && at > 0 && data[from - 1] == m_marker[at - 1]) {
                    --from;
                    --at;
                }
                qint64 to = a + 8;
                int end = it->second + 8;
                while (to < size && end < m_marker.size() && data[to] == m_marker[end]) {
                    ++to;
                    ++end;
                }
                if (to - from >= runLength) {
                    runs.append({from, at, int(to - from)});
                    scannedUpTo = to;
                    break;
                }
            }
        }
        return runs;
    }

private:
    static constexpr std::size_t filterBits = std::size_t(1) << 24;
    static std::size_t bucket(quint64 word) { return std::size_t((word * 0x9e3779b97f4a7c15ULL) >> 40); }

    QByteArray m_marker;
    std::vector<quint64> m_filter;
    std::unordered_multimap<quint64, int> m_start;
};

QByteArray readWhole(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QByteArray readRange(const QString &path, qint64 offset, qint64 length)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) && f.seek(offset) ? f.read(length) : QByteArray();
}

bool writeToMedium(const QString &path, const QByteArray &data)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(data) == data.size() && f.flush()
        && ::fsync(f.handle()) == 0;
}

// Compares what the file system shows of the file with what its blocks hold
// on the image. The extent map is taken without FIEMAP_FLAG_SYNC, which would
// flush the file and hide a pass that never left the cache. The image is read
// through the backing file, which is exactly what the loop device has written.
QString fileOnImage(const QString &path, const QString &imagePath)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return QStringLiteral("cannot open the file to read it back");
    struct stat st {};
    ::fstat(fd, &st);
    QByteArray content(int(st.st_size), '\0');
    if (::pread(fd, content.data(), size_t(content.size()), 0) != content.size()) {
        ::close(fd);
        return QStringLiteral("cannot read the file back");
    }

    QFile image(imagePath);
    if (!image.open(QIODevice::ReadOnly)) {
        ::close(fd);
        return QStringLiteral("cannot open the image");
    }

    constexpr unsigned batch = 32;
    std::vector<char> buffer(sizeof(fiemap) + batch * sizeof(fiemap_extent));
    qint64 covered = 0;
    quint64 next = 0;
    QString problem;
    for (bool last = false; !last && problem.isEmpty();) {
        std::fill(buffer.begin(), buffer.end(), 0);
        auto *map = reinterpret_cast<fiemap *>(buffer.data());
        map->fm_start = next;
        map->fm_length = FIEMAP_MAX_OFFSET - next;
        map->fm_extent_count = batch;
        if (::ioctl(fd, FS_IOC_FIEMAP, map) != 0) {
            problem = QStringLiteral("FIEMAP refused: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
            break;
        }
        if (map->fm_mapped_extents == 0)
            break;
        for (unsigned e = 0; e < map->fm_mapped_extents && problem.isEmpty(); ++e) {
            const fiemap_extent &ext = map->fm_extents[e];
            last = ext.fe_flags & FIEMAP_EXTENT_LAST;
            next = ext.fe_logical + ext.fe_length;
            if (ext.fe_flags & (FIEMAP_EXTENT_UNKNOWN | FIEMAP_EXTENT_DELALLOC | FIEMAP_EXTENT_ENCODED
                                | FIEMAP_EXTENT_DATA_INLINE | FIEMAP_EXTENT_NOT_ALIGNED
                                | FIEMAP_EXTENT_UNWRITTEN)) {
                problem = QStringLiteral("extent at %1 has no plain place on the device (flags %2)")
                              .arg(ext.fe_logical)
                              .arg(ext.fe_flags, 0, 16);
                break;
            }
            const qint64 from = qint64(ext.fe_logical);
            const qint64 to = qMin<qint64>(qint64(ext.fe_logical + ext.fe_length), content.size());
            if (from >= to)
                continue;
            if (!image.seek(qint64(ext.fe_physical))) {
                problem = QStringLiteral("extent lies outside the image");
                break;
            }
            const QByteArray onImage = image.read(to - from);
            const QByteArray inFile = content.mid(int(from), int(to - from));
            if (onImage != inFile) {
                int at = 0;
                while (at < onImage.size() && onImage[at] == inFile[at])
                    ++at;
                problem = QStringLiteral("byte %1 of the file is %2 in the file system but %3 on the device")
                              .arg(from + at)
                              .arg(quint8(inFile.at(at)), 2, 16, QLatin1Char('0'))
                              .arg(at < onImage.size() ? quint8(onImage.at(at)) : 0, 2, 16, QLatin1Char('0'));
            }
            covered += to - from;
        }
        if (map->fm_mapped_extents < batch)
            last = true;
    }
    ::close(fd);
    if (problem.isEmpty() && covered != content.size())
        problem = QStringLiteral("only %1 of %2 bytes have blocks on the device").arg(covered).arg(content.size());
    return problem;
}

struct Container {
    QString name;
    int markerOffset;
    int size;
};

// Several sizes, one of them not a multiple of 512 or of the block size, each
// its own stretch of the marker so a remnant names its container.
const QVector<Container> &containers()
{
    static const QVector<Container> list{
        {QStringLiteral("small.pfx"), 0, 700},
        {QStringLiteral("page.p12"), 700, 4096},
        {QStringLiteral("large.nctx"), 4796, 65636},
    };
    return list;
}

int markerSize()
{
    const Container &last = containers().constLast();
    return last.markerOffset + last.size;
}

QString describe(const QVector<RemnantScanner::Run> &runs)
{
    QStringList lines;
    for (const RemnantScanner::Run &run : runs) {
        QString owner;
        for (const Container &c : containers())
            if (run.markerOffset >= c.markerOffset && run.markerOffset < c.markerOffset + c.size)
                owner = QStringLiteral("%1 from byte %2").arg(c.name).arg(run.markerOffset - c.markerOffset);
        lines << QStringLiteral("image offset %1: %2 bytes of %3").arg(run.imageOffset).arg(run.length).arg(owner);
        if (lines.size() == 8) {
            lines << QStringLiteral("... %1 runs in all").arg(runs.size());
            break;
        }
    }
    return lines.join(QLatin1Char('\n'));
}

} // namespace

class TestDurability : public QObject
{
    Q_OBJECT

private slots:
    void noRemnantOnTheDevice_data();
    void noRemnantOnTheDevice();
    void verdictMatchesTheDevice_data();
    void verdictMatchesTheDevice();
    void searchFindsWhatTheImageHolds_data();
    void searchFindsWhatTheImageHolds();
    void reachOfTheKey_data();
    void reachOfTheKey();
    void claimMatchesTheImage_data();
    void claimMatchesTheImage();
    void fillLeavesNoFile_data();
    void fillLeavesNoFile();
    void refusedWorkSaysWhy();
    void removalReachesTheMedium_data();
    void removalReachesTheMedium();
    void tightVolume_data();
    void tightVolume();
};

void TestDurability::noRemnantOnTheDevice_data()
{
    QTest::addColumn<int>("algorithm");
    QTest::newRow("Gost") << int(Gost);
    QTest::newRow("DoD") << int(DoD);
    QTest::newRow("HmgBaseline") << int(HmgBaseline);
    QTest::newRow("HmgEnhanced") << int(HmgEnhanced);
    QTest::newRow("Rcmp") << int(Rcmp);
    QTest::newRow("Ar380") << int(Ar380);
    QTest::newRow("Vsitr") << int(Vsitr);
    QTest::newRow("Schneier") << int(Schneier);
}

void TestDurability::noRemnantOnTheDevice()
{
    QFETCH(int, algorithm);

    LoopMount fs(16);
    if (!fs.isMounted())
        QSKIP(qPrintable(QStringLiteral("no loop-mounted ext4: ") + fs.failure()));

    const QByteArray marker = markerStream(markerSize());
    const RemnantScanner scanner(marker);

    for (const Container &c : containers())
        QVERIFY(writeToMedium(fs.filePath(c.name), marker.mid(c.markerOffset, c.size)));

    // The scan must see every container before the wipe, or its silence after
    // the wipe would prove nothing.
    const QVector<RemnantScanner::Run> before = scanner.scan(readWhole(fs.imagePath()));
    for (const Container &c : containers()) {
        const bool seen = std::any_of(before.begin(), before.end(), [&](const RemnantScanner::Run &h) {
            return h.markerOffset < c.markerOffset + c.size && h.markerOffset + h.length > c.markerOffset;
        });
        QVERIFY2(seen, qPrintable(c.name + QStringLiteral(" is not on the image before the wipe")));
    }

    const int passCount = wipeSchedule(WipeAlgorithm(algorithm)).size();
    for (const Container &c : containers()) {
        const QString path = fs.filePath(c.name);
        QStringList late;
        const FileWipeOutcome outcome =
            overwriteFile(passPlan(WipeAlgorithm(algorithm)), path, [&](int index, const WipePass &) {
                // Each pass must be on the device before the next one starts. The
                // scan after the unmount alone would pass a wipe that forces only
                // its last pass out.
                const QString problem = fileOnImage(path, fs.imagePath());
                if (!problem.isEmpty())
                    late << QStringLiteral("%1 after pass %2: %3").arg(c.name).arg(index + 1).arg(problem);
            });
        QCOMPARE(int(outcome.status), int(FileWipeStatus::Wiped));
        QCOMPARE(outcome.passesDone, passCount);
        QVERIFY2(late.isEmpty(), qPrintable(late.join(QLatin1Char('\n'))));
        QVERIFY(!QFileInfo::exists(path));
    }

    QVERIFY2(fs.unmount(), "the scratch file system did not unmount cleanly");
    const QVector<RemnantScanner::Run> after = scanner.scan(readWhole(fs.imagePath()));
    QVERIFY2(after.isEmpty(), qPrintable(QStringLiteral("key material left on the device:\n") + describe(after)));
}

// The key written to the medium, as setup asks: on a NOCOW file, or shared
// with a reflinked copy.
bool putKey(const LoopMount &fs, const QString &setup, const QString &path, const QByteArray &key)
{
    // The NOCOW flag holds only for a file that has no data yet.
    if (setup == QLatin1String("nocow")
        && (!QFile(path).open(QIODevice::WriteOnly)
            || QProcess::execute(LoopMount::tool(QStringLiteral("chattr")), {QStringLiteral("+C"), path}) != 0))
        return false;
    if (!writeToMedium(path, key))
        return false;
    return setup != QLatin1String("reflink")
        || (QProcess::execute(QStringLiteral("cp"), {QStringLiteral("--reflink=always"), path,
                                                       fs.filePath(QStringLiteral("copy.pfx"))}) == 0
            && QProcess::execute(QStringLiteral("sync"), {}) == 0);
}

// A DoD wipe through the command line, as a script would run it, journalled
// to a journal of its own; entry is its one ending entry.
ProgramRun wipeByScript(const QString &path, const QStringList &extra, JournalEntry *entry)
{
    QTemporaryDir journalDir;
    const QString journalPath = journalDir.filePath(QStringLiteral("journal.jsonl"));
    const JournalPlace place(journalPath);
    const ProgramRun run = runProgram(QStringLiteral(KCC_PROGRAM_PATH),
                                      QStringList{QStringLiteral("--wipe-file"), path, QStringLiteral("-a"),
                                                  QStringLiteral("dod"), QStringLiteral("--yes")}
                                          + extra);
    const QVector<JournalRecord> records = Journal(journalPath).read();
    *entry = records.size() == 1 ? records.first().entry : JournalEntry();
    return run;
}

void TestDurability::verdictMatchesTheDevice_data()
{
    QTest::addColumn<QString>("type");
    QTest::addColumn<int>("sizeMiB"); // what mkfs accepts at the least
    QTest::addColumn<QString>("options");
    QTest::addColumn<QString>("setup");
    QTest::addColumn<QString>("placement"); // as the journal records it
    QTest::addColumn<int>("exitCode");
    QTest::newRow("ext4, data=ordered") << "ext4" << 16 << "" << "" << "in-place" << 0;
    QTest::newRow("ext4, data=journal") << "ext4" << 16 << "data=journal" << "" << "relocating" << 8;
    QTest::newRow("xfs") << "xfs" << 320 << "" << "" << "in-place" << 0;
    QTest::newRow("xfs, shared with a reflink copy") << "xfs" << 320 << "" << "reflink" << "relocating" << 8;
    QTest::newRow("btrfs, copy-on-write") << "btrfs" << 160 << "" << "" << "relocating" << 8;
    QTest::newRow("btrfs, shared with a reflink copy") << "btrfs" << 160 << "" << "reflink" << "relocating" << 8;
    QTest::newRow("btrfs, a NOCOW file") << "btrfs" << 160 << "" << "nocow" << "in-place" << 0;
    // Memory keeps nothing after the process, unless it may have paged the key out.
    QFile swaps(QStringLiteral("/proc/swaps"));
    const bool swapping = !swaps.open(QIODevice::ReadOnly) || swaps.readAll().count('\n') > 1;
    QTest::newRow("tmpfs") << "tmpfs" << 16 << "" << "" << "not-provable" << (swapping ? 10 : 0);
    QTest::newRow("overlay: the lower layer keeps the key, said so") << "ext4" << 16 << "" << "overlay" << "relocating" << 8;
}

// Wiped through the command line as a script would, then the raw medium is
// searched: a wipe that says the passes reached the key's own blocks must
// leave none of them, and one that leaves some must say so.
void TestDurability::verdictMatchesTheDevice()
{
    QFETCH(QString, type);
    QFETCH(int, sizeMiB);
    QFETCH(QString, options);
    QFETCH(QString, setup);
    QFETCH(QString, placement);
    QFETCH(int, exitCode);

    LoopMount fs(sizeMiB, type, options);
    if (!fs.isMounted())
        QSKIP(qPrintable(QStringLiteral("no loop-mounted %1: ").arg(type) + fs.failure()));
    const QByteArray marker = markerStream(64 * 1024);
    const RemnantScanner scanner(marker);
    QString key = fs.filePath(QStringLiteral("key.pfx"));
    std::unique_ptr<OverlayMount> overlay;
    const QString lower = fs.filePath(QStringLiteral("lower/key.pfx"));
    if (setup == QLatin1String("overlay")) {
        QVERIFY(QDir().mkpath(fs.filePath(QStringLiteral("lower"))) && writeToMedium(lower, marker));
        overlay.reset(new OverlayMount(fs.mountPoint()));
        if (!overlay->isMounted())
            QSKIP(qPrintable(QStringLiteral("no overlay mount: ") + overlay->failure()));
        key = overlay->path(QStringLiteral("merged"), QStringLiteral("key.pfx"));
        // Not copied up yet: the lower file is the file.
        QCOMPARE(probeFileMedium(key).lowerCopy, lower);
    } else {
        QVERIFY(putKey(fs, setup, key, marker));
    }
    const bool image = !fs.imagePath().isEmpty();
    if (image)
        QVERIFY2(!scanner.scan(readWhole(fs.imagePath())).isEmpty(), "the key is not on the image before the wipe");

    JournalEntry entry;
    const ProgramRun run = wipeByScript(key, {}, &entry);
    QCOMPARE(run.exitCode, exitCode);
    QVERIFY(!QFileInfo::exists(key));
    QCOMPARE(toWord(entry.placement), placement);
    // The fixed success text only where nothing is known to have escaped.
    QCOMPARE(entry.resultText.startsWith(QStringLiteral("Ключевой контейнер очищен и удален успешно.")),
             placement != QLatin1String("relocating"));
    QVERIFY2(run.err.contains(entry.resultText), qPrintable(run.err));
    // Read back past the cache where the system says direct reads are real
    // (not on btrfs here), after dropping the cached pages elsewhere.
    if (placement == QLatin1String("in-place"))
        QVERIFY2(toWord(entry.verification) == QLatin1String(type == QLatin1String("btrfs") ? "maybe-cached" : "direct"),
                 qPrintable(toWord(entry.verification)));
    if (overlay) {
        QVERIFY2(run.err.contains(lower), qPrintable(run.err));
        QVERIFY2(readWhole(lower) == marker, "the lower layer's file is not the key it was");
        QVERIFY(overlay->unmount());
    }
    if (!image)
        return;

    QVERIFY2(fs.unmount(), "the scratch file system did not unmount cleanly");
    const QVector<RemnantScanner::Run> after = scanner.scan(readWhole(fs.imagePath()));
    if (placement == QLatin1String("in-place"))
        QVERIFY2(after.isEmpty(), qPrintable(QStringLiteral("said in place, yet key material is left:\n") + describe(after)));
    // A copy that shares the blocks is another file's own data: it must stay.
    if (setup == QLatin1String("reflink") || setup == QLatin1String("overlay"))
        QVERIFY2(!after.isEmpty(), "the copy lost the key: the search would prove nothing");
    qInfo("%s: %d runs of the key left on the medium", qPrintable(type + QLatin1Char(' ') + options + setup),
          int(after.size()));
}

// Offsets of the image's aligned blocks equal to a block of the key.
QVector<qint64> keyBlocksOn(const QByteArray &image, const QByteArray &key, int blockSize = 4096)
{
    QSet<QByteArray> blocks;
    for (int at = 0; at < key.size(); at += blockSize)
        blocks.insert(key.mid(at, blockSize));
    QVector<qint64> found;
    for (qint64 at = 0; at + blockSize <= image.size(); at += blockSize)
        if (blocks.contains(QByteArray::fromRawData(image.constData() + at, blockSize)))
            found << at;
    return found;
}

void TestDurability::searchFindsWhatTheImageHolds_data()
{
    QTest::addColumn<QString>("type");
    QTest::addColumn<int>("sizeMiB");
    QTest::addColumn<QString>("options");
    QTest::addColumn<QString>("setup");
    QTest::addColumn<bool>("fill");
    QTest::addColumn<int>("exitCode");
    QTest::newRow("ext4, data=ordered: nothing to find") << "ext4" << 16 << "" << "" << true << 0;
    QTest::newRow("ext4, data=journal: the journal's copy, gone after the fill") << "ext4" << 16 << "data=journal" << ""
                                                                                 << true << 0;
    QTest::newRow("btrfs: the moved blocks, found") << "btrfs" << 160 << "" << "" << false << 11;
    QTest::newRow("btrfs: the moved blocks, gone after the fill") << "btrfs" << 160 << "" << "" << true << 0;
    QTest::newRow("xfs: a reflinked copy keeps them, said so") << "xfs" << 320 << "" << "reflink" << true << 11;
}

// The program's own search after the wipe against a raw search of the image
// after the unmount: it must find every block of the key the image holds.
void TestDurability::searchFindsWhatTheImageHolds()
{
    QFETCH(QString, type);
    QFETCH(int, sizeMiB);
    QFETCH(QString, options);
    QFETCH(QString, setup);
    QFETCH(bool, fill);
    QFETCH(int, exitCode);

    LoopMount fs(sizeMiB, type, options);
    if (!fs.isMounted())
        QSKIP(qPrintable(QStringLiteral("no loop-mounted %1: ").arg(type) + fs.failure()));
    const QByteArray key = markerStream(64 * 1024);
    const QString path = fs.filePath(QStringLiteral("key.pfx"));
    QVERIFY(putKey(fs, setup, path, key));
    JournalEntry entry;
    const ProgramRun run = wipeByScript(path, fill ? QStringList{"--search-volume", "--fill-freed"}
                                                   : QStringList{"--search-volume"},
                                        &entry);
    QVERIFY2(run.exitCode == exitCode, qPrintable(QString::number(run.exitCode) + QLatin1Char(' ') + run.err));
    QVERIFY(entry.volumeBytesRead >= qint64(sizeMiB) << 20);
    QVERIFY2(run.err.contains(QStringLiteral("прочитан целиком")), qPrintable(run.err));

    QVERIFY2(fs.unmount(), "the scratch file system did not unmount cleanly");
    const QVector<qint64> onImage = keyBlocksOn(readWhole(fs.imagePath()), key);
    QVERIFY2(entry.survivors >= onImage.size(),
             qPrintable(QStringLiteral("the program found %1 blocks of the key, the image holds %2")
                            .arg(entry.survivors)
                            .arg(onImage.size())));
    QCOMPARE(entry.survivors > 0, exitCode == 11);
    if (setup == QLatin1String("reflink"))
        QVERIFY2(run.err.contains(QStringLiteral("держит другой файл")), qPrintable(run.err));
    // Where the passes went elsewhere, the first search found the key and the
    // fill took it back.
    if (fill && exitCode == 0 && (type == QLatin1String("btrfs") || !options.isEmpty())) {
        const QRegularExpressionMatch before =
            QRegularExpression(QStringLiteral("До заполнения на томе было найдено блоков ключа: (\\d+)")).match(run.err);
        QVERIFY2(before.hasMatch() && before.captured(1).toInt() > 0, qPrintable(run.err));
    }
}

// Blocks of the key in each search's findings on one device.
int survivorsOn(const VolumeSearch &search, const QString &device)
{
    return int(search.survivorDevices.count(device));
}

void TestDurability::reachOfTheKey_data()
{
    QTest::addColumn<QString>("type");
    QTest::addColumn<int>("sizeMiB");
    QTest::addColumn<QString>("options");
    QTest::addColumn<QStringList>("mkfsArgs");
    QTest::addColumn<int>("secondMiB"); // btrfs: a raid1 mirror; ext4: the external journal
    QTest::addColumn<int>("keyBytes");
    QTest::addColumn<bool>("compressible");
    QTest::addColumn<bool>("unmapped");
    QTest::addColumn<bool>("compressed");
    QTest::addColumn<bool>("inlineData");
    QTest::addColumn<int>("fillStatus");
    QTest::addColumn<int>("afterFill"); // blocks of the key the search finds after the fill: 0 none, 1 some, -1 not asked
    QTest::addColumn<QString>("state"); // the journal's end state of the same wipe through the command line
    const int filled = int(FreedFill::Status::Filled);
    QTest::newRow("btrfs compress=zstd, a compressible key")
        << "btrfs" << 160 << "compress=zstd" << QStringList() << 0 << 65536 << true << true << true << false << filled << -1
        << "deleted-key-unreachable";
    QTest::newRow("btrfs, an inline key of 1000 bytes")
        << "btrfs" << 160 << "" << QStringList() << 0 << 1000 << false << true << false << true << filled << -1
        << "deleted-key-unreachable";
    QTest::newRow("ext4 inline_data, a key of 60 bytes") << "ext4" << 16 << "" << QStringList{"-O", "inline_data"} << 0
                                                         << 60 << false << true << false << true << filled << -1
                                                         << "deleted-key-unreachable";
    QTest::newRow("ext4 data=journal, external journal larger than the free space")
        << "ext4" << 16 << "data=journal" << QStringList() << 32 << 65536 << false << false << false << false
        << int(FreedFill::Status::NotCovered) << 1 << "deleted-key-blocks-on-volume";
    QTest::newRow("ext4 data=journal, external journal smaller than the free space")
        << "ext4" << 16 << "data=journal" << QStringList() << 6 << 65536 << false << false << false << false << filled << 0
        << "wiped-freed-blocks-filled";
    QTest::newRow("btrfs raid1 over two devices") << "btrfs" << 128 << "" << QStringList() << 128 << 65536 << false
                                                  << false << false << false << int(FreedFill::Status::Covered) << 0
                                                  << "wiped-freed-blocks-filled";
}

QByteArray testKey(int bytes, bool compressible)
{
    QByteArray key;
    if (compressible) // every block its own, each squeezed many times over
        for (int line = 0; key.size() < bytes; ++line)
            key += QByteArray("key container line ") + QByteArray::number(line).rightJustified(8, '0') + '\n';
    else
        key = markerStream(bytes);
    key.truncate(bytes);
    return key;
}

// The search and the fill at the wipe layer: what they say they reached of a
// key that is compressed, inline, journalled to another device or mirrored.
void TestDurability::reachOfTheKey()
{
    QFETCH(QString, type);
    QFETCH(int, sizeMiB);
    QFETCH(QString, options);
    QFETCH(QStringList, mkfsArgs);
    QFETCH(int, secondMiB);
    QFETCH(int, keyBytes);
    QFETCH(bool, compressible);
    QFETCH(bool, unmapped);
    QFETCH(bool, compressed);
    QFETCH(bool, inlineData);
    QFETCH(int, fillStatus);
    QFETCH(int, afterFill);

    LoopMount fs(sizeMiB, type, options, mkfsArgs, secondMiB);
    if (!fs.isMounted())
        QSKIP(qPrintable(QStringLiteral("no loop-mounted %1 -o %2 %3: ").arg(type, options, mkfsArgs.join(' '))
                         + fs.failure()));
    const QByteArray key = testKey(keyBytes, compressible);
    const QString path = fs.filePath(QStringLiteral("key.pfx"));
    QVERIFY(writeToMedium(path, key));
    const FileWipeOutcome outcome = overwriteFile(passPlan(DoD), path, {}, {}, true);
    QCOMPARE(int(outcome.status), int(FileWipeStatus::Wiped));
    QVERIFY(outcome.key);

    const KeyReach reach = keyReach(*outcome.key);
    QCOMPARE(reach.unmappedBlocks > 0, unmapped);
    QCOMPARE(reach.mappedBlocks > 0, !unmapped);
    QCOMPARE(reach.compressed, compressed);
    QCOMPARE(reach.inlineData, inlineData);

    // Stopped at its first chunk, with the next reads in flight: it says so,
    // and the search after it still reads every device whole.
    const VolumeSearch stopped = searchVolume(*outcome.key, [](qint64, qint64) { return false; });
    QCOMPARE(int(stopped.status), int(VolumeSearch::Status::Cancelled));
    QVERIFY(stopped.bytesRead > 0 && stopped.bytesRead < stopped.volumeSize);

    const VolumeSearch search = searchVolume(*outcome.key);
    QVERIFY2(search.status == VolumeSearch::Status::Done, qPrintable(search.error));
    QCOMPARE(search.bytesRead, search.volumeSize);
    QCOMPARE(search.devices.size(), secondMiB > 0 ? 2 : 1);
    QCOMPARE(search.survivorDevices.size(), search.survivors.size());
    if (secondMiB > 0) {
        // A mirror holds the key as its first device does; an external journal holds its copies.
        QVERIFY2(survivorsOn(search, fs.secondDevice()) > 0, qPrintable(search.devices.join(' ')));
        if (type == QLatin1String("btrfs"))
            QVERIFY(survivorsOn(search, search.devices.first()) > 0);
    }

    const FreedFill fill = fillFreedBlocks(*outcome.key);
    QVERIFY2(fill.status == FreedFill::Status(fillStatus),
             qPrintable(QStringLiteral("status %1, %2 bytes written, %3 of %4 blocks covered, %5 unmapped, journal %6: %7")
                            .arg(int(fill.status))
                            .arg(fill.bytesWritten)
                            .arg(fill.rangesCovered)
                            .arg(fill.rangesTotal)
                            .arg(fill.rangesUnmapped)
                            .arg(fill.journalBytes)
                            .arg(fill.error)));
    qInfo("%s: %d blocks placed, %d not; the fill wrote %lld bytes, covered %d; journal %lld bytes",
          QTest::currentDataTag(), reach.mappedBlocks, reach.unmappedBlocks, fill.bytesWritten, fill.rangesCovered,
          fill.journalBytes);
    QCOMPARE(fill.rangesUnmapped, reach.unmappedBlocks);
    // Filled means the free space was taken down to its reserve.
    QVERIFY(fill.bytesWritten > 0);
    if (options == QLatin1String("data=journal")) {
        QCOMPARE(fill.journalBytes, qint64(secondMiB) << 20);
        QCOMPARE(fill.status == FreedFill::Status::Filled, fill.bytesWritten >= fill.journalBytes);
    }
    if (afterFill < 0)
        return;
    const VolumeSearch again = searchVolume(*outcome.key);
    QVERIFY2(again.status == VolumeSearch::Status::Done, qPrintable(again.error));
    QCOMPARE(again.survivors.size() > 0, afterFill > 0);

    // The program's search against a raw search of each image.
    QVERIFY2(fs.unmount(), "the scratch file system did not unmount cleanly");
    const QStringList images{fs.imagePath(), fs.secondImagePath()};
    for (int i = 0; i < images.size(); ++i) {
        const int onImage = keyBlocksOn(readWhole(images.at(i)), key).size();
        const int found = survivorsOn(again, again.devices.value(i));
        QVERIFY2(found >= onImage, qPrintable(QStringLiteral("%1 holds %2 blocks of the key, the search found %3")
                                                  .arg(images.at(i))
                                                  .arg(onImage)
                                                  .arg(found)));
    }
}

void TestDurability::claimMatchesTheImage_data()
{
    reachOfTheKey_data();
}

// The same cases through the command line, searched and filled as asked: the
// one verdict's exit status, box and journal entry against the raw images.
void TestDurability::claimMatchesTheImage()
{
    QFETCH(QString, type);
    QFETCH(int, sizeMiB);
    QFETCH(QString, options);
    QFETCH(QStringList, mkfsArgs);
    QFETCH(int, secondMiB);
    QFETCH(int, keyBytes);
    QFETCH(bool, compressible);
    QFETCH(QString, state);

    LoopMount fs(sizeMiB, type, options, mkfsArgs, secondMiB);
    if (!fs.isMounted())
        QSKIP(qPrintable(QStringLiteral("no loop-mounted %1 -o %2 %3: ").arg(type, options, mkfsArgs.join(' '))
                         + fs.failure()));
    const QByteArray key = testKey(keyBytes, compressible);
    const QString path = fs.filePath(QStringLiteral("key.pfx"));
    QVERIFY(writeToMedium(path, key));
    JournalEntry entry;
    const ProgramRun run = wipeByScript(path, {QStringLiteral("--search-volume"), QStringLiteral("--fill-freed")}, &entry);
    const bool destroyed = state.startsWith(QLatin1String("wiped"));
    QVERIFY2(run.exitCode == (destroyed ? 0 : 11), qPrintable(QString::number(run.exitCode) + QLatin1Char(' ') + run.err));
    QCOMPARE(toWord(entry.endState), state);
    QCOMPARE(entry.resultText == QStringLiteral("Ключевой контейнер очищен и удален успешно."), destroyed);
    QVERIFY2(run.err.contains(entry.resultText), qPrintable(run.err));
    if (!destroyed)
        return;
    // Said destroyed: no image holds a block of the key.
    QVERIFY2(fs.unmount(), "the scratch file system did not unmount cleanly");
    for (const QString &image : {fs.imagePath(), fs.secondImagePath()})
        QVERIFY2(keyBlocksOn(readWhole(image), key).isEmpty(), qPrintable(image));
}

QStringList fillFiles(const QString &directory)
{
    return QDir(directory).entryList({QStringLiteral(".kcc-fill-*")}, QDir::Hidden | QDir::Files | QDir::System);
}

void TestDurability::fillLeavesNoFile_data()
{
    QTest::addColumn<int>("signal"); // sent to a fill in a child; 0: none
    QTest::addColumn<bool>("named"); // the fill made to use a named file
    QTest::addColumn<int>("leftovers"); // fill files the kill left
    QTest::newRow("SIGKILL, an unnamed file") << int(SIGKILL) << false << 0;
    QTest::newRow("SIGTERM, an unnamed file") << int(SIGTERM) << false << 0;
    QTest::newRow("SIGKILL, a named file: removed by the next fill") << int(SIGKILL) << true << 1;
    QTest::newRow("SIGTERM, a named file") << int(SIGTERM) << true << 0;
    QTest::newRow("SIGINT, a named file") << int(SIGINT) << true << 0;
    QTest::newRow("SIGHUP, a named file") << int(SIGHUP) << true << 0;
    QTest::newRow("a link and another name are not the fill's") << 0 << false << 0;
}

// A fill killed midway, then the next fill in the same directory: no fill
// file may outlive both, and nothing else of that name is touched.
void TestDurability::fillLeavesNoFile()
{
    QFETCH(int, signal);
    QFETCH(bool, named);
    QFETCH(int, leftovers);

    LoopMount fs(16);
    if (!fs.isMounted())
        QSKIP(qPrintable(QStringLiteral("no loop-mounted ext4: ") + fs.failure()));
    const QString path = fs.filePath(QStringLiteral("key.pfx"));
    QVERIFY(writeToMedium(path, markerStream(65536)));
    const FileWipeOutcome outcome = overwriteFile(passPlan(DoD), path, {}, {}, true);
    QVERIFY(outcome.key);
    const KeyFingerprint &key = *outcome.key;

    if (signal != 0) {
        const ChildRun child = runInChild([&](QByteArray &) {
            // As in the program: the system's own disposition of the signal.
            for (int s : {SIGINT, SIGTERM, SIGHUP})
                ::signal(s, SIG_DFL);
            if (named)
                qputenv("KCC_FILL_NO_TMPFILE", "1");
            fillFreedBlocks(key, [signal](qint64 done, qint64) {
                if (done > 0)
                    ::kill(::getpid(), signal);
                return true;
            });
            return 0;
        });
        QVERIFY2(child.error.isEmpty(), qPrintable(child.error));
        QCOMPARE(child.exitCode, -1); // killed mid-fill, not finished
        QCOMPARE(fillFiles(fs.mountPoint()).size(), leftovers);
    }
    const QString bait = fs.filePath(QStringLiteral("bait"));
    const QString link = fs.filePath(QStringLiteral(".kcc-fill-0123456789abcdef"));
    const QString other = fs.filePath(QStringLiteral(".kcc-fill-not-ours"));
    if (signal == 0) {
        QVERIFY(writeToMedium(bait, "kept"));
        QVERIFY(QFile::link(bait, link));
        QVERIFY(writeToMedium(other, "kept"));
    }

    const FreedFill fill = fillFreedBlocks(key);
    QVERIFY2(fill.status == FreedFill::Status::Covered || fill.status == FreedFill::Status::NotCovered,
             qPrintable(fill.error));
    QCOMPARE(fill.leftoversRemoved, leftovers);
    QCOMPARE(fill.leftoverBytes > 0, leftovers > 0);
    if (signal != 0) {
        QVERIFY2(fillFiles(fs.mountPoint()).isEmpty(), qPrintable(fillFiles(fs.mountPoint()).join(' ')));
    } else {
        QVERIFY(QFileInfo(link).isSymLink());
        QCOMPARE(readWhole(bait), QByteArray("kept"));
        QCOMPARE(readWhole(other), QByteArray("kept"));
    }
}

// Without the right to read the device or write the directory, the search
// and the fill carry the system's reason, which the program shows.
void TestDurability::refusedWorkSaysWhy()
{
    LoopMount fs(16);
    if (!fs.isMounted())
        QSKIP(qPrintable(QStringLiteral("no loop-mounted ext4: ") + fs.failure()));
    const QString path = fs.filePath(QStringLiteral("key.pfx"));
    QVERIFY(writeToMedium(path, markerStream(65536)));
    const FileWipeOutcome outcome = overwriteFile(passPlan(DoD), path, {}, {}, true);
    QVERIFY(outcome.key);
    const ChildRun child = runInChild([&](QByteArray &output) {
        if (::setgroups(0, nullptr) != 0 || ::setresgid(65534, 65534, 65534) != 0 || ::setresuid(65534, 65534, 65534) != 0)
            return 2;
        const VolumeSearch search = searchVolume(*outcome.key);
        const FreedFill fill = fillFreedBlocks(*outcome.key);
        output = QStringList{QString::number(int(search.status)), search.error, search.devicesNotRead.join(' '),
                             QString::number(int(fill.status)), fill.error}
                     .join('\n')
                     .toUtf8();
        return 0;
    });
    QCOMPARE(child.exitCode, 0);
    const QStringList said = QString::fromUtf8(child.output).split('\n');
    QCOMPARE(said.size(), 5);
    const QString refused = QString::fromLocal8Bit(std::strerror(EACCES));
    QCOMPARE(said.at(0).toInt(), int(VolumeSearch::Status::NoPermission));
    QVERIFY2(said.at(1).contains(refused) && said.at(2).contains(QStringLiteral("/dev/")), qPrintable(child.output));
    QCOMPARE(said.at(3).toInt(), int(FreedFill::Status::Failed));
    QVERIFY2(said.at(4).contains(refused), qPrintable(child.output));
}

void TestDurability::removalReachesTheMedium_data()
{
    QTest::addColumn<bool>("imageFull"); // the image's own file system fills after the truncation
    QTest::newRow("power cut after the wipe: the name is gone from the copied image") << false;
    QTest::newRow("the removal cannot be written: said so, not wiped") << true;
}

// ext4 commits its journal only every 60 s here, so what the wipe did not
// force out itself is not in an image copied while the mount lives: the copy
// is the medium after a power cut, its journal replayed by e2fsck.
void TestDurability::removalReachesTheMedium()
{
    QFETCH(bool, imageFull);

    LoopMount holder(24, QStringLiteral("tmpfs"));
    if (!holder.isMounted())
        QSKIP(qPrintable(QStringLiteral("no tmpfs for the image: ") + holder.failure()));
    LoopMount fs(16, QStringLiteral("ext4"), QStringLiteral("commit=60"), {}, 0, holder.mountPoint());
    if (!fs.isMounted())
        QSKIP(qPrintable(QStringLiteral("no loop-mounted ext4: ") + fs.failure()));
    const QByteArray marker = markerStream(64 * 1024);
    const QString key = fs.filePath(QStringLiteral("key.pfx"));
    QVERIFY(writeToMedium(key, marker));

    // The image is sparse: once its tmpfs is full, the journal's next commit
    // cannot be written and the file system reports an I/O error.
    QFile filler(holder.filePath(QStringLiteral("filler")));
    const QByteArray mebibyte(1 << 20, '\0');
    const FileWipeOutcome outcome = overwriteFile(passPlan(DoD), key, {}, [&](FileWipeEvent event, int, qint64) {
        if (imageFull && event == FileWipeEvent::Truncated && filler.open(QIODevice::WriteOnly))
            while (filler.write(mebibyte) == mebibyte.size() && filler.flush()) {
            }
        return true;
    });
    QVERIFY(!QFileInfo::exists(key));
    if (imageFull) {
        QCOMPARE(int(outcome.status), int(FileWipeStatus::Failed));
        QCOMPARE(int(outcome.failedStep), int(FileWipeStep::SyncRemoval));
        QCOMPARE(outcome.passesDone, outcome.passesPlanned);
        QVERIFY2(!outcome.systemError.isEmpty(), "no reason given");
        return;
    }
    QCOMPARE(int(outcome.status), int(FileWipeStatus::Wiped));

    const QString copy = holder.filePath(QStringLiteral("copy.img"));
    QVERIFY(QFile::copy(fs.imagePath(), copy));
    QProcess fsck;
    fsck.start(LoopMount::tool(QStringLiteral("e2fsck")), {QStringLiteral("-fy"), copy});
    QVERIFY(fsck.waitForFinished(60000));
    QVERIFY2(fsck.exitCode() <= 1, fsck.readAll().constData()); // 1: the journal replayed, or fixed
    QString output;
    QVERIFY2(runTool(LoopMount::tool(QStringLiteral("debugfs")), {QStringLiteral("-R"), QStringLiteral("ls -p /"), copy},
                     &output),
             qPrintable(output));
    QVERIFY2(output.contains(QStringLiteral("/lost+found/")), qPrintable(output));
    QVERIFY2(!output.contains(QStringLiteral("/key.pfx/")), qPrintable(QStringLiteral("the name came back:\n") + output));
    const QVector<RemnantScanner::Run> left = RemnantScanner(marker).scan(readWhole(copy));
    QVERIFY2(left.isEmpty(), qPrintable(QStringLiteral("key material on the copied image:\n") + describe(left)));
}

qint64 allocatedOf(const QString &path)
{
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? qint64(st.st_blocks) * 512 : -1;
}

qint64 freeBytes(const QString &dir)
{
    return QStorageInfo(dir).bytesFree();
}

void TestDurability::tightVolume_data()
{
    QTest::addColumn<int>("sizeMiB");
    QTest::addColumn<QStringList>("mkfsArgs");
    QTest::addColumn<qint64>("fileSize");
    QTest::addColumn<QVector<qint64>>("keyAt"); // where the key's 64 KiB stretches lie; the rest is hole
    QTest::addColumn<bool>("fill");             // the volume filled before the wipe
    QTest::addColumn<int>("status");
    QTest::newRow("5 GiB sparse, three stretches of data, on 200 MiB: only the data overwritten")
        << 200 << QStringList() << (qint64(5) << 30) + 700
        << QVector<qint64>{0, qint64(3) << 30, (qint64(5) << 30) + 700 - 65536} << false << int(FileWipeStatus::Wiped);
    // Kept in the inode, the key needs a block of its own once a pass
    // rounds it to 512 bytes: on a full volume there is none.
    QTest::newRow("a 50-byte key in its inode on a full volume: no space, said so, nothing left behind")
        << 16 << QStringList{QStringLiteral("-O"), QStringLiteral("inline_data")} << qint64(50) << QVector<qint64>{0}
        << true << int(FileWipeStatus::Failed);
}

// The passes write the file's data and nothing else: a sparse file's holes
// stay holes, the volume keeps its free space, and a pass the volume has no
// room for says why and leaves nothing of its own behind.
void TestDurability::tightVolume()
{
    QFETCH(int, sizeMiB);
    QFETCH(QStringList, mkfsArgs);
    QFETCH(qint64, fileSize);
    QFETCH(QVector<qint64>, keyAt);
    QFETCH(bool, fill);
    QFETCH(int, status);

    LoopMount fs(sizeMiB, QStringLiteral("ext4"), QString(), mkfsArgs);
    if (!fs.isMounted())
        QSKIP(qPrintable(QStringLiteral("no loop-mounted ext4 %1: ").arg(mkfsArgs.join(' ')) + fs.failure()));
    const QString path = fs.filePath(QStringLiteral("key.pfx"));
    const QByteArray key = markerStream(int(qMin<qint64>(fileSize, 65536)));
    {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly) && f.resize(fileSize));
        for (qint64 at : keyAt)
            QVERIFY(f.seek(at) && f.write(key) == key.size());
        QVERIFY(f.flush() && ::fsync(f.handle()) == 0);
    }
    if (fill) {
        QFile filler(fs.filePath(QStringLiteral("filler")));
        QVERIFY(filler.open(QIODevice::WriteOnly));
        const QByteArray block(4096, '\0');
        while (filler.write(block) == block.size() && filler.flush()) {
        }
        filler.close();
        ::sync();
    }
    const qint64 allocated = allocatedOf(path);
    const qint64 freeBefore = freeBytes(fs.mountPoint());
    QStringList grown;
    const FileWipeOutcome outcome = overwriteFile(passPlan(DoD), path, [&](int index, const WipePass &) {
        // A pass may round the last stretch out to 512 bytes, within a block it already has.
        if (allocatedOf(path) > allocated)
            grown << QStringLiteral("pass %1: %2 bytes allocated, %3 before").arg(index + 1).arg(allocatedOf(path)).arg(allocated);
        for (qint64 at : keyAt)
            if (readRange(path, at, key.size()) == key)
                grown << QStringLiteral("pass %1: the key at %2 is still there").arg(index + 1).arg(at);
    });
    QVERIFY2(grown.isEmpty(), qPrintable(grown.join(QLatin1Char('\n'))));
    QCOMPARE(int(outcome.status), status);
    // Every byte of the key counted, the holes not.
    QVERIFY2(outcome.allocatedBytes >= keyAt.size() * key.size() && outcome.allocatedBytes < fileSize / 1000 + 65536 * 4,
             qPrintable(QString::number(outcome.allocatedBytes)));
    if (status == int(FileWipeStatus::Wiped)) {
        QCOMPARE(outcome.passesDone, outcome.passesPlanned);
        QVERIFY(!QFileInfo::exists(path));
        QVERIFY2(freeBytes(fs.mountPoint()) >= freeBefore,
                 qPrintable(QStringLiteral("%1 bytes free after the wipe, %2 before").arg(freeBytes(fs.mountPoint())).arg(freeBefore)));
    } else {
        QCOMPARE(int(outcome.failedStep), int(FileWipeStep::Write));
        QCOMPARE(outcome.passesDone, 0);
        QVERIFY2(outcome.systemError.contains(QString::fromLocal8Bit(std::strerror(ENOSPC))), qPrintable(outcome.systemError));
        QCOMPARE(QFileInfo(path).size(), fileSize);
        QVERIFY(allocatedOf(path) <= allocated);
        QCOMPARE(readWhole(path), key);
    }
    QVERIFY2(fs.unmount(), "the scratch file system did not unmount cleanly");
    if (status != int(FileWipeStatus::Wiped))
        return;
    const QVector<RemnantScanner::Run> left = RemnantScanner(key).scan(readWhole(fs.imagePath()));
    QVERIFY2(left.isEmpty(), qPrintable(QStringLiteral("key material on the image:\n") + describe(left)));
}

QTEST_GUILESS_MAIN(TestDurability)
#include "tst_durability.moc"
