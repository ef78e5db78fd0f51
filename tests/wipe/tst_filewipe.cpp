// The file executor on real files: the bytes each pass leaves on disk, the
// generator draws, and the failures that must leave the file in place.

#include "filewipe.h"
#include "platformfile.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

QT_WARNING_PUSH
QT_WARNING_DISABLE_DEPRECATED
static int draw() { return qrand(); }
static void seed(uint s) { qsrand(s); }
QT_WARNING_POP

namespace {

QByteArray marker(qint64 size)
{
    QByteArray data(int(size), '\0');
    for (int i = 0; i < data.size(); ++i)
        data[i] = char(0xA5 ^ (i * 7));
    return data;
}

bool writeFile(const QString &path, const QByteArray &data)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(data) == data.size() && f.flush();
}

QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool uniform(const QByteArray &data, quint8 value)
{
    for (char c : data)
        if (quint8(c) != value)
            return false;
    return true;
}

bool chattr(const QString &flags, const QString &path)
{
    return QProcess::execute(QStringLiteral("chattr"), {flags, path}) == 0;
}

// Replays the generator from every seed the wipe may have taken (the low 32
// bits of a millisecond clock within the call) and accepts the one that gives
// exactly the random bytes seen and leaves the generator where it was found.
bool replayMatches(const QStringList &pattern, const QVector<QByteArray> &seen, qint64 from,
                   qint64 to, int nextDraw)
{
    for (qint64 ms = from; ms <= to; ++ms) {
        seed(uint(ms & 0xFFFFFFFF));
        bool ok = true;
        quint8 x = 0;
        for (int p = 0; ok && p < pattern.size(); ++p) {
            const QByteArray &bytes = seen[p];
            if (pattern[p] == QLatin1String("R")) {
                for (char c : bytes)
                    if (quint8(c) != quint8(draw() & 0xFF)) {
                        ok = false;
                        break;
                    }
            } else if (pattern[p] == QLatin1String("X")) {
                x = quint8(draw() & 0xFF);
                ok = uniform(bytes, x);
            } else if (pattern[p] == QLatin1String("~X")) {
                ok = uniform(bytes, quint8(~x));
            }
        }
        if (ok && draw() == nextDraw)
            return true;
    }
    return false;
}

} // namespace

class TestFileWipe : public QObject
{
    Q_OBJECT

private slots:
    void blockCount_data();
    void blockCount();
    void passesOnDisk_data();
    void passesOnDisk();
    void differentMillisecondsDiffer();
    void wipedDespiteAttributes_data();
    void wipedDespiteAttributes();
    void failuresKeepTheFile_data();
    void failuresKeepTheFile();
    void writeFailingMidway_data();
    void writeFailingMidway();
    void stampsTheWipeTime();

private:
    QTemporaryDir m_dir;
};

void TestFileWipe::blockCount_data()
{
    QTest::addColumn<qint64>("size");
    QTest::addColumn<qint64>("blocks");
    QTest::newRow("empty") << qint64(0) << qint64(0);
    QTest::newRow("1 byte") << qint64(1) << qint64(1);
    QTest::newRow("512 bytes") << qint64(512) << qint64(1);
    QTest::newRow("513 bytes") << qint64(513) << qint64(2);
    QTest::newRow("600 bytes") << qint64(600) << qint64(2);
    QTest::newRow("1024 bytes") << qint64(1024) << qint64(2);
    QTest::newRow("1 TiB + 1") << (qint64(1) << 40) + 1 << (qint64(1) << 31) + 1;
    QTest::newRow("8 TiB") << (qint64(1) << 43) << (qint64(1) << 34);
}

void TestFileWipe::blockCount()
{
    QFETCH(qint64, size);
    QFETCH(qint64, blocks);
    QCOMPARE(wipeBlockCount(size), blocks);
}

void TestFileWipe::passesOnDisk_data()
{
    QTest::addColumn<int>("algorithm");
    QTest::addColumn<qint64>("size");
    QTest::addColumn<QStringList>("pattern"); // 00/01 fixed, R random data, X one drawn byte, ~X its complement

    const QStringList gost{"00", "R"};
    const QStringList dod{"00", "01", "R"};
    const QStringList rcmp{"00", "01", "00", "01", "00", "01", "X"};
    const QStringList ar380{"R", "X", "~X"};
    const QStringList vsitr{"00", "01", "00", "01", "00", "01", "R"};
    const QStringList schneier{"01", "00", "R", "R", "R", "R", "R"};

    QTest::newRow("Gost, 600 bytes") << int(Gost) << qint64(600) << gost;
    QTest::newRow("DoD, 600 bytes") << int(DoD) << qint64(600) << dod;
    QTest::newRow("HmgBaseline, 600 bytes") << int(HmgBaseline) << qint64(600) << QStringList{"00"};
    QTest::newRow("HmgEnhanced, 600 bytes") << int(HmgEnhanced) << qint64(600) << dod;
    QTest::newRow("Rcmp, 600 bytes") << int(Rcmp) << qint64(600) << rcmp;
    QTest::newRow("Ar380, 600 bytes") << int(Ar380) << qint64(600) << ar380;
    QTest::newRow("Vsitr, 600 bytes") << int(Vsitr) << qint64(600) << vsitr;
    QTest::newRow("Schneier, 600 bytes") << int(Schneier) << qint64(600) << schneier;
    QTest::newRow("Gost, empty") << int(Gost) << qint64(0) << gost;
    QTest::newRow("Rcmp, empty: still one draw") << int(Rcmp) << qint64(0) << rcmp;
    QTest::newRow("Ar380, empty") << int(Ar380) << qint64(0) << ar380;
    QTest::newRow("Ar380, 1 byte") << int(Ar380) << qint64(1) << ar380;
    QTest::newRow("Schneier, 513 bytes") << int(Schneier) << qint64(513) << schneier;
    QTest::newRow("DoD, 1024 bytes") << int(DoD) << qint64(1024) << dod;
    QTest::newRow("Vsitr, 5000 bytes") << int(Vsitr) << qint64(5000) << vsitr;
}

void TestFileWipe::passesOnDisk()
{
    QFETCH(int, algorithm);
    QFETCH(qint64, size);
    QFETCH(QStringList, pattern);

    const QString path = m_dir.filePath(QStringLiteral("container.nctx"));
    QVERIFY(writeFile(path, marker(size)));

    QVector<QByteArray> seen;
    QVector<WipePass> passes;
    const PassObserver observer = [&](int index, const WipePass &pass) {
        QCOMPARE(index, seen.size());
        seen << readFile(path);
        passes << pass;
    };
    const qint64 before = QDateTime::currentMSecsSinceEpoch();
    const FileWipeOutcome outcome = wipeFile(WipeAlgorithm(algorithm), path, observer);
    const qint64 after = QDateTime::currentMSecsSinceEpoch();
    const int nextDraw = draw();

    QCOMPARE(int(outcome.status), int(FileWipeStatus::Wiped));
    QVERIFY(!QFileInfo::exists(path));
    QCOMPARE(seen.size(), pattern.size());

    // Whole blocks from offset 0: the file grows to the next multiple of 512.
    const int extent = int(wipeBlockCount(size) * wipeBlockSize);
    for (int p = 0; p < pattern.size(); ++p) {
        QCOMPARE(seen[p].size(), extent);
        if (pattern[p] == QLatin1String("00"))
            QVERIFY2(uniform(seen[p], 0x00), qPrintable(QString("pass %1").arg(p)));
        else if (pattern[p] == QLatin1String("01"))
            QVERIFY2(uniform(seen[p], 0x01), qPrintable(QString("pass %1").arg(p)));
    }
    QVERIFY2(replayMatches(pattern, seen, before, after, nextDraw),
             "random passes are not the clock-seeded generator's draws in order");
}

void TestFileWipe::differentMillisecondsDiffer()
{
    QVector<QByteArray> randomPasses;
    for (int i = 0; i < 2; ++i) {
        const QString path = m_dir.filePath(QStringLiteral("twice-%1").arg(i));
        QVERIFY(writeFile(path, marker(2048)));
        QByteArray last;
        const qint64 start = QDateTime::currentMSecsSinceEpoch();
        while (QDateTime::currentMSecsSinceEpoch() == start) {
        }
        QCOMPARE(int(wipeFile(Gost, path, [&](int, const WipePass &) { last = readFile(path); }).status),
                 int(FileWipeStatus::Wiped));
        randomPasses << last;
    }
    QVERIFY(randomPasses[0] != randomPasses[1]);
}

void TestFileWipe::wipedDespiteAttributes_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("mode");
    QTest::newRow("read-only") << QStringLiteral("readonly.pfx") << 0400;
    QTest::newRow("no permissions at all") << QStringLiteral("locked.p12") << 0000;
    QTest::newRow("Cyrillic name") << QStringLiteral("ключ Иванова.nctx") << 0600;
    QTest::newRow("name with spaces") << QStringLiteral("  key  container  ") << 0600;
}

void TestFileWipe::wipedDespiteAttributes()
{
    QFETCH(QString, name);
    QFETCH(int, mode);
    const QString path = m_dir.filePath(name);
    QVERIFY(writeFile(path, marker(700)));
    QVERIFY(::chmod(QFile::encodeName(path).constData(), mode_t(mode)) == 0);

    QByteArray firstPass;
    const FileWipeOutcome outcome =
        wipeFile(DoD, path, [&](int index, const WipePass &) {
            if (index == 0)
                firstPass = readFile(path);
        });
    QCOMPARE(int(outcome.status), int(FileWipeStatus::Wiped));
    QVERIFY(uniform(firstPass, 0x00));
    QCOMPARE(firstPass.size(), 1024);
    QVERIFY(!QFileInfo::exists(path));
}

void TestFileWipe::failuresKeepTheFile_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<int>("status");
    QTest::addColumn<int>("step");
    QTest::newRow("missing path") << "missing" << int(FileWipeStatus::NotFound) << int(FileWipeStep::None);
    QTest::newRow("path of spaces") << "spaces" << int(FileWipeStatus::NotFound) << int(FileWipeStep::None);
    QTest::newRow("dangling symbolic link") << "dangling" << int(FileWipeStatus::NotFound) << int(FileWipeStep::None);
    QTest::newRow("directory") << "directory" << int(FileWipeStatus::Failed) << int(FileWipeStep::Open);
    QTest::newRow("immutable file") << "immutable" << int(FileWipeStatus::Failed) << int(FileWipeStep::Open);
    QTest::newRow("append-only file") << "append-only" << int(FileWipeStatus::Failed) << int(FileWipeStep::Open);
    QTest::newRow("removal refused") << "undeletable" << int(FileWipeStatus::Failed) << int(FileWipeStep::Remove);
}

void TestFileWipe::failuresKeepTheFile()
{
    QFETCH(QString, kind);
    QFETCH(int, status);
    QFETCH(int, step);

    QTemporaryDir dir(m_dir.filePath(QStringLiteral("case-XXXXXX")));
    const QString path = dir.filePath(QStringLiteral("container.nctx"));
    const QByteArray original = marker(1500);
    QString guarded; // what chattr must release afterwards
    QString flag;

    if (kind == QLatin1String("missing")) {
        // nothing there
    } else if (kind == QLatin1String("spaces")) {
        QVERIFY(writeFile(dir.filePath(QStringLiteral("x")), original));
    } else if (kind == QLatin1String("dangling")) {
        QVERIFY(QFile::link(dir.filePath(QStringLiteral("gone")), path));
    } else if (kind == QLatin1String("directory")) {
        QVERIFY(QDir().mkpath(path));
        QVERIFY(writeFile(path + QStringLiteral("/inside"), original));
    } else {
        QVERIFY(writeFile(path, original));
        flag = kind == QLatin1String("immutable") ? "+i" : kind == QLatin1String("append-only") ? "+a" : "+i";
        guarded = kind == QLatin1String("undeletable") ? dir.path() : path;
        if (!chattr(flag, guarded))
            QSKIP("this file system or user cannot set file flags with chattr");
    }

    const QString target = kind == QLatin1String("spaces") ? QStringLiteral("   ") : path;
    const FileWipeOutcome outcome = wipeFile(Schneier, target);
    if (!guarded.isEmpty())
        chattr(QString(flag).replace('+', '-'), guarded);

    QCOMPARE(int(outcome.status), status);
    QCOMPARE(int(outcome.failedStep), step);
    if (kind == QLatin1String("directory"))
        QCOMPARE(readFile(path + QStringLiteral("/inside")), original);
    if (kind == QLatin1String("immutable") || kind == QLatin1String("append-only"))
        QCOMPARE(readFile(path), original);
    if (kind == QLatin1String("undeletable")) {
        // Every pass ran and the content is gone; only the name is left.
        QCOMPARE(outcome.passesCompleted, 7);
        QVERIFY(QFileInfo::exists(path));
        QCOMPARE(QFileInfo(path).size(), qint64(0));
    }
    if (kind == QLatin1String("spaces"))
        QCOMPARE(readFile(dir.filePath(QStringLiteral("x"))), original);
}

void TestFileWipe::writeFailingMidway_data()
{
    QTest::addColumn<qint64>("limit");
    QTest::newRow("at the first block") << qint64(0);
    QTest::newRow("at a middle block") << qint64(64 * 1024);
}

void TestFileWipe::writeFailingMidway()
{
    QFETCH(qint64, limit);
    const QString path = m_dir.filePath(QStringLiteral("limited-%1").arg(limit));
    const QByteArray original = marker(256 * 1024);
    QVERIFY(writeFile(path, original));

    // The file-size limit makes writes past it fail with EFBIG; a child process
    // keeps the limit away from the rest of the suite.
    const pid_t child = fork();
    QVERIFY(child >= 0);
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        struct rlimit rl {};
        rl.rlim_cur = rl.rlim_max = rlim_t(limit);
        setrlimit(RLIMIT_FSIZE, &rl);
        const FileWipeOutcome outcome = wipeFile(DoD, path);
        _exit(outcome.status == FileWipeStatus::Failed ? 10 + int(outcome.failedStep) : 1);
    }
    int wstatus = 0;
    QCOMPARE(waitpid(child, &wstatus, 0), child);
    QVERIFY(WIFEXITED(wstatus));
    const int code = WEXITSTATUS(wstatus);
    QVERIFY2(code == 10 + int(FileWipeStep::Write) || code == 10 + int(FileWipeStep::Flush),
             qPrintable(QString("child exited with %1").arg(code)));

    // Not truncated, not removed: what lies past the limit is still the original.
    const QByteArray after = readFile(path);
    QCOMPARE(after.size(), original.size());
    QCOMPARE(after.mid(int(limit)), original.mid(int(limit)));
}

void TestFileWipe::stampsTheWipeTime()
{
    // tmpfs holds the far-future moment exactly; ext4 clamps it to 2446.
    const QString shm = QStringLiteral("/dev/shm");
    if (!QFileInfo(shm).isDir())
        QSKIP("no /dev/shm to hold an unclamped time");
    QTemporaryDir dir(shm + QStringLiteral("/kcc-XXXXXX"));
    const QString path = dir.filePath(QStringLiteral("stamp"));
    QVERIFY(writeFile(path, "x"));
    QVERIFY(::chmod(QFile::encodeName(path).constData(), 0400) == 0);

    QVERIFY(platformfile::clearAttributes(QFile::encodeName(path).toStdString()));
    QVERIFY(QFileInfo(path).permissions() & QFileDevice::WriteOwner);
    QVERIFY(platformfile::stampWipeTime(QFile::encodeName(path).toStdString()));

    struct stat st {};
    QCOMPARE(::stat(QFile::encodeName(path).constData(), &st), 0);
    QCOMPARE(qint64(st.st_mtim.tv_sec), platformfile::wipeTimeUnixSeconds);
    QCOMPARE(qint64(st.st_atim.tv_sec), platformfile::wipeTimeUnixSeconds);
    const QDateTime stamped = QDateTime::fromSecsSinceEpoch(st.st_mtim.tv_sec, Qt::UTC);
    QCOMPARE(stamped.date(), QDate(30827, 1, 1));
    QCOMPARE(stamped.time(), QTime(0, 0));

    QVERIFY(!platformfile::stampWipeTime(QFile::encodeName(dir.filePath("missing")).toStdString()));
    QVERIFY(!platformfile::syncToMedium(-1));
}

QTEST_GUILESS_MAIN(TestFileWipe)
#include "tst_filewipe.moc"
