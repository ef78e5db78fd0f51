// The file executor on real files: the bytes each pass leaves on disk, the
// generator draws, and the failures that must leave the file in place.

#include "filewipe.h"
#include "wiperecord.h"
#include "wipereport.h"
#include "wipesession.h"
#include "forkedchild.h"
#include "journalplace.h"
#include "loopmount.h"
#include "platformfile.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QScopeGuard>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <grp.h>
#include <memory>
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

// The journal's word for an executor's outcome, through the session's verdict.
QString fileEndState(const FileWipeOutcome &outcome)
{
    WipeRequest request;
    request.path = QStringLiteral("container");
    WipeResult result;
    result.file = outcome;
    return toWord(judgeWipe(request, result).state);
}


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
    // Captured, not forwarded: a refusal is an expected answer, not noise for the log.
    QProcess process;
    process.start(QStringLiteral("chattr"), {flags, path});
    return process.waitForFinished() && process.exitStatus() == QProcess::NormalExit
        && process.exitCode() == 0;
}

QByteArray readRange(const QString &path, qint64 offset, qint64 length)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly) || !f.seek(offset))
        return QByteArray();
    return f.read(length);
}

bool writeAt(const QString &path, qint64 offset, const QByteArray &data)
{
    QFile f(path);
    return f.open(QIODevice::ReadWrite) && f.seek(offset) && f.write(data) == data.size() && f.flush();
}

// The user an unprivileged child becomes: nobody/nogroup on Debian.
constexpr uid_t unprivilegedId = 65534;

bool chownToUnprivileged(const QString &path)
{
    return ::chown(QFile::encodeName(path).constData(), unprivilegedId, unprivilegedId) == 0;
}

bool chmodPath(const QString &path, int mode)
{
    return ::chmod(QFile::encodeName(path).constData(), mode_t(mode)) == 0;
}

struct ChildSetup {
    rlim_t fileSizeLimit = RLIM_INFINITY;
    bool unprivileged = false;
    QString mustReach; // a directory the lowered user must be able to enter
};

struct ChildWipe {
    QString skipReason; // the child could not be set up as asked
    QString error;      // the child died or said nothing
    FileWipeOutcome outcome;
};

// Runs one wipe in a child process, so that a file-size limit or a lowered
// identity never touches the rest of the suite.
ChildWipe wipeInChild(WipeAlgorithm algorithm, const QString &path, const ChildSetup &setup)
{
    enum : int { Ran = 0, NoIdentity = 3, Unreachable = 4 };
    const QByteArray reach = QFile::encodeName(setup.mustReach);
    const ChildRun run = runInChild([&](QByteArray &output) {
        std::signal(SIGXFSZ, SIG_IGN); // past the limit a write fails with EFBIG instead
        if (setup.fileSizeLimit != RLIM_INFINITY) {
            struct rlimit rl {};
            rl.rlim_cur = rl.rlim_max = setup.fileSizeLimit;
            ::setrlimit(RLIMIT_FSIZE, &rl);
        }
        if (setup.unprivileged) {
            if (::setgroups(0, nullptr) != 0 || ::setgid(unprivilegedId) != 0
                || ::setuid(unprivilegedId) != 0 || ::geteuid() == 0)
                return int(NoIdentity);
            if (!reach.isEmpty() && ::access(reach.constData(), X_OK) != 0)
                return int(Unreachable);
        }
        const FileWipeOutcome outcome = overwriteFile(passPlan(algorithm), path);
        QDataStream out(&output, QIODevice::WriteOnly);
        out << int(outcome.status) << int(outcome.failedStep) << outcome.passesDone;
        return int(Ran);
    });
    ChildWipe result;
    int status = -1, step = -1;
    QDataStream in(run.output);
    in >> status >> step >> result.outcome.passesDone;
    result.outcome.status = FileWipeStatus(status);
    result.outcome.failedStep = FileWipeStep(step);
    if (run.exitCode == NoIdentity)
        result.skipReason = QStringLiteral("cannot become an unprivileged user (needs root)");
    else if (run.exitCode == Unreachable)
        result.skipReason = QStringLiteral("the temporary directory is out of an unprivileged user's reach");
    else if (run.exitCode != Ran || in.status() != QDataStream::Ok)
        result.error = QStringLiteral("the child wiping the file ended with code %1 %2")
                           .arg(run.exitCode).arg(run.error);
    return result;
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
    void asUnprivilegedUser_data();
    void asUnprivilegedUser();
    void changedBetweenSteps_data();
    void changedBetweenSteps();
    void stampsTheWipeTime();
    void killedWipeIsReported_data();
    void killedWipeIsReported();

private:
    QString flagCapableDir(QString *whyNot);

    QTemporaryDir m_dir;
    std::unique_ptr<LoopMount> m_flagFs; // only where the test tree refuses chattr
    QString m_flagDir;
    QString m_flagFailure;
};

// chattr needs a file system that keeps the flags (ext4 does, overlayfs and
// older tmpfs do not). Falls back to a scratch ext4 when the test tree cannot.
QString TestFileWipe::flagCapableDir(QString *whyNot)
{
    const auto accepts = [](const QString &dir) {
        const QString probe = dir + QStringLiteral("/flag-probe");
        if (!writeFile(probe, "x"))
            return false;
        const bool ok = chattr(QStringLiteral("+i"), probe);
        if (ok)
            chattr(QStringLiteral("-i"), probe);
        QFile::remove(probe);
        return ok;
    };
    if (m_flagDir.isEmpty() && m_flagFailure.isEmpty()) {
        if (accepts(m_dir.path())) {
            m_flagDir = m_dir.path();
        } else {
            m_flagFs = std::make_unique<LoopMount>(16);
            if (!m_flagFs->isMounted())
                m_flagFailure = QStringLiteral("chattr is refused here and there is no scratch ext4: ")
                    + m_flagFs->failure();
            else if (!accepts(m_flagFs->mountPoint()))
                m_flagFailure = QStringLiteral("chattr is refused even on a scratch ext4");
            else
                m_flagDir = m_flagFs->mountPoint();
        }
    }
    *whyNot = m_flagFailure;
    return m_flagDir;
}

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
    QTest::newRow("3 GiB + 1") << (qint64(3) << 30) + 1 << (qint64(6) << 20) + 1;
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
    // Nothing to overwrite: no pass, no draw, and the report claims none.
    QTest::newRow("Gost, empty") << int(Gost) << qint64(0) << QStringList();
    QTest::newRow("Rcmp, empty") << int(Rcmp) << qint64(0) << QStringList();
    QTest::newRow("Ar380, 1 byte") << int(Ar380) << qint64(1) << ar380;
    QTest::newRow("Schneier, 513 bytes") << int(Schneier) << qint64(513) << schneier;
    QTest::newRow("DoD, 1024 bytes") << int(DoD) << qint64(1024) << dod;
    QTest::newRow("Vsitr, 5000 bytes") << int(Vsitr) << qint64(5000) << vsitr;
    QTest::newRow("Schneier, 300 KiB + 3: several writes per pass")
        << int(Schneier) << qint64(300 * 1024 + 3) << schneier;
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
    const FileWipeOutcome outcome = overwriteFile(passPlan(WipeAlgorithm(algorithm)), path, observer);
    const qint64 after = QDateTime::currentMSecsSinceEpoch();
    const int nextDraw = draw();

    QCOMPARE(int(outcome.status), int(FileWipeStatus::Wiped));
    QVERIFY(!QFileInfo::exists(path));
    QCOMPARE(seen.size(), pattern.size());
    QCOMPARE(outcome.passesDone, pattern.size());
    QCOMPARE(outcome.allocatedBytes, size);
    const QString told = fileWipeReport(outcome, path).facts;
    QCOMPARE(told.contains(QStringLiteral("Файл был пуст: перезаписывать было нечего")), size == 0);
    QCOMPARE(told.contains(QStringLiteral("Проходы записаны поверх собственных блоков файла")), size > 0);
    if (size == 0) {
        QCOMPARE(fileEndState(outcome), QStringLiteral("wiped"));
        return;
    }

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
        QCOMPARE(int(overwriteFile(passPlan(Gost), path, [&](int, const WipePass &) { last = readFile(path); }).status),
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
    QTest::newRow("Cyrillic directory and name") << QStringLiteral("Ключи/Петров №2.p12") << 0600;
    QTest::newRow("name with spaces") << QStringLiteral("  key  container  ") << 0600;
    QTest::newRow("name of spaces only") << QStringLiteral("spaces/   ") << 0600;
}

void TestFileWipe::wipedDespiteAttributes()
{
    QFETCH(QString, name);
    QFETCH(int, mode);
    const QString path = m_dir.filePath(name);
    QVERIFY(QDir().mkpath(QFileInfo(path).path()));
    QVERIFY(writeFile(path, marker(700)));
    QVERIFY(chmodPath(path, mode));
    QVERIFY(!refusalOfFile(path));

    QByteArray firstPass;
    const FileWipeOutcome outcome =
        overwriteFile(passPlan(DoD), path, [&](int index, const WipePass &) {
            if (index == 0)
                firstPass = readFile(path);
        });
    QCOMPARE(int(outcome.status), int(FileWipeStatus::Wiped));
    QVERIFY(uniform(firstPass, 0x00));
    QCOMPARE(firstPass.size(), 1024);
    QVERIFY(!QFileInfo::exists(path));
    QVERIFY(QFileInfo(QFileInfo(path).path()).isDir()); // only the file goes
}

void TestFileWipe::failuresKeepTheFile_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<int>("status");
    QTest::addColumn<int>("step");
    QTest::addColumn<int>("passes");
    QTest::addColumn<int>("refusal");
    QTest::addColumn<QString>("endState"); // as the journal records it
    const int notFound = int(FileWipeStatus::NotFound);
    const int refused = int(FileWipeStatus::Refused);
    const int failed = int(FileWipeStatus::Failed);
    const int none = int(FileRefusal::None);
    QTest::newRow("missing path") << "missing" << notFound << int(FileWipeStep::None) << 0 << none << "not-found";
    QTest::newRow("path of spaces") << "spaces" << notFound << int(FileWipeStep::None) << 0 << none << "not-found";
    QTest::newRow("dangling symbolic link")
        << "dangling" << refused << int(FileWipeStep::None) << 0 << int(FileRefusal::SymbolicLink) << "refused";
    QTest::newRow("symbolic link to a file")
        << "link" << refused << int(FileWipeStep::None) << 0 << int(FileRefusal::SymbolicLink) << "refused";
    QTest::newRow("directory") << "directory" << refused << int(FileWipeStep::None) << 0 << int(FileRefusal::Directory) << "refused";
    QTest::newRow("FIFO: refused, never waited on")
        << "fifo" << refused << int(FileWipeStep::None) << 0 << int(FileRefusal::Fifo) << "refused";
    QTest::newRow("name with U+FFFD: its encoded sibling is left alone")
        << "unencodable" << refused << int(FileWipeStep::None) << 0 << int(FileRefusal::UnencodableName) << "refused";
    QTest::newRow("immutable file") << "immutable" << failed << int(FileWipeStep::Open) << 0 << none << "untouched";
    QTest::newRow("append-only file") << "append-only" << failed << int(FileWipeStep::Open) << 0 << none << "untouched";
    QTest::newRow("removal refused: immutable directory")
        << "immutable directory" << failed << int(FileWipeStep::Remove) << 7 << none << "overwritten-emptied-name-kept";
    QTest::newRow("removal refused: append-only directory")
        << "append-only directory" << failed << int(FileWipeStep::Remove) << 7 << none << "overwritten-emptied-name-kept";
}

void TestFileWipe::failuresKeepTheFile()
{
    QFETCH(QString, kind);
    QFETCH(int, status);
    QFETCH(int, step);
    QFETCH(int, passes);
    QFETCH(int, refusal);
    QFETCH(QString, endState);

    const bool flagged = kind.startsWith(QLatin1String("immutable")) || kind.startsWith(QLatin1String("append-only"));
    QString base = m_dir.path();
    if (flagged) {
        QString whyNot;
        base = flagCapableDir(&whyNot);
        if (base.isEmpty())
            QSKIP(qPrintable(whyNot));
    }
    QTemporaryDir dir(base + QStringLiteral("/case-XXXXXX"));
    QVERIFY(dir.isValid());
    QString path = dir.filePath(QStringLiteral("container.nctx"));
    const QByteArray original = marker(1500);
    const QString bystander = dir.filePath(QStringLiteral("bystander"));
    QVERIFY(writeFile(bystander, original));

    QString guarded; // what chattr must release afterwards
    QString flag;
    if (kind == QLatin1String("missing") || kind == QLatin1String("spaces")) {
        // only the bystander
    } else if (kind == QLatin1String("dangling")) {
        QVERIFY(QFile::link(dir.filePath(QStringLiteral("gone")), path));
    } else if (kind == QLatin1String("link")) {
        QVERIFY(QFile::link(bystander, path));
    } else if (kind == QLatin1String("directory")) {
        QVERIFY(QDir().mkpath(path));
        QVERIFY(writeFile(path + QStringLiteral("/inside"), original));
    } else if (kind == QLatin1String("fifo")) {
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    } else if (kind == QLatin1String("unencodable")) {
        path = dir.filePath(QStringLiteral("key\uFFFD.pfx"));
        QVERIFY(writeFile(QFile::decodeName(QFile::encodeName(path)), original));
        QVERIFY(writeFile(dir.filePath(QStringLiteral("key.pfx")), original));
    } else {
        QVERIFY(writeFile(path, original));
        flag = kind.startsWith(QLatin1String("immutable")) ? QStringLiteral("+i") : QStringLiteral("+a");
        guarded = kind.endsWith(QLatin1String("directory")) ? dir.path() : path;
        QVERIFY2(chattr(flag, guarded), "chattr failed where it worked a moment ago");
    }
    const QStringList entriesBefore = QDir(dir.path()).entryList(QDir::AllEntries | QDir::System);

    const QString target = kind == QLatin1String("spaces") ? QStringLiteral("   ") : path;
    // Asked before the question, the same looks say what the wipe will, and change nothing.
    const std::optional<FileWipeOutcome> early = refusalOfFile(target);
    const FileWipeOutcome outcome = overwriteFile(passPlan(Schneier), target);
    if (!guarded.isEmpty())
        QVERIFY(chattr(QString(flag).replace('+', '-'), guarded));
    QCOMPARE(early.has_value(), status != int(FileWipeStatus::Failed) || step == int(FileWipeStep::Open));
    if (early) {
        QCOMPARE(int(early->status), status);
        QCOMPARE(int(early->failedStep), step);
        QCOMPARE(int(early->refusal), refusal);
        QCOMPARE(fileEndState(*early), endState);
    }

    QCOMPARE(int(outcome.status), status);
    QCOMPARE(int(outcome.failedStep), step);
    QCOMPARE(outcome.passesDone, passes);
    QCOMPARE(int(outcome.refusal), refusal);
    QCOMPARE(fileEndState(outcome), endState);
    QCOMPARE(readFile(bystander), original);
    if (kind == QLatin1String("directory"))
        QCOMPARE(readFile(path + QStringLiteral("/inside")), original);
    if (kind == QLatin1String("immutable") || kind == QLatin1String("append-only"))
        QCOMPARE(readFile(path), original);
    if (kind == QLatin1String("link"))
        QCOMPARE(outcome.linkTarget, bystander);
    if (status != int(FileWipeStatus::Failed) || step != int(FileWipeStep::Remove)) {
        // Refused or not found: every name in the directory is as it was.
        QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::System), entriesBefore);
        const QStringList names = QDir(dir.path()).entryList(QDir::Files);
        for (const QString &name : names)
            QCOMPARE(readFile(dir.filePath(name)), original);
    } else {
        // Every pass ran and the content is gone; only the empty name is left.
        QVERIFY(QFileInfo::exists(path));
        QCOMPARE(QFileInfo(path).size(), qint64(0));
    }
}

void TestFileWipe::writeFailingMidway_data()
{
    QTest::addColumn<qint64>("size");
    QTest::addColumn<qint64>("limit");
    QTest::newRow("at the first block") << qint64(256 * 1024) << qint64(0);
    QTest::newRow("at a middle block") << qint64(256 * 1024) << qint64(64 * 1024);
    // Several GiB, nearly all hole: the holes are not written, and the limit
    // stops the first pass at the stretch of data past 3 GiB.
    QTest::newRow("sparse 3 GiB + 1 byte") << (qint64(3) << 30) + 1 << qint64(1024 * 1024);
}

void TestFileWipe::writeFailingMidway()
{
    QFETCH(qint64, size);
    QFETCH(qint64, limit);
    const QString path = m_dir.filePath(QStringLiteral("limited-%1").arg(QTest::currentDataTag()));

    // Key bytes at the head and, for a large file, at the tail past a hole.
    const qint64 headSize = qMin<qint64>(size, 256 * 1024);
    const QByteArray head = marker(headSize);
    const QByteArray tail = marker(4096).mid(100);
    {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        QVERIFY(f.resize(size));
    }
    QVERIFY(writeAt(path, 0, head));
    if (size > headSize)
        QVERIFY(writeAt(path, size - tail.size(), tail));

    const ChildWipe child = wipeInChild(DoD, path, {rlim_t(limit), false, {}});
    QVERIFY2(child.error.isEmpty(), qPrintable(child.error));
    QCOMPARE(int(child.outcome.status), int(FileWipeStatus::Failed));
    QVERIFY2(child.outcome.failedStep == FileWipeStep::Write || child.outcome.failedStep == FileWipeStep::Flush,
             qPrintable(QString("failed at step %1").arg(int(child.outcome.failedStep))));
    QCOMPARE(child.outcome.passesDone, 0);

    // Not truncated, not removed: up to the limit the first pass (zeros), past
    // it the original bytes.
    QCOMPARE(QFileInfo(path).size(), size);
    const QByteArray after = readRange(path, 0, headSize);
    QCOMPARE(after.size(), int(headSize));
    QVERIFY(uniform(after.left(int(limit)), 0x00));
    QCOMPARE(after.mid(int(limit)), head.mid(int(limit)));
    if (size > headSize)
        QCOMPARE(readRange(path, size - tail.size(), tail.size()), tail);
    QVERIFY(QFile::remove(path));
}

void TestFileWipe::asUnprivilegedUser_data()
{
    // Root passes every permission check, so these run as nobody.
    QTest::addColumn<int>("dirMode");
    QTest::addColumn<int>("fileMode");
    QTest::addColumn<bool>("ownFile");
    QTest::addColumn<int>("status");
    QTest::addColumn<int>("step");
    QTest::addColumn<QString>("remains"); // "nothing", "original" or "empty"

    QTest::newRow("read-only file of its owner")
        << 0700 << 0400 << true << int(FileWipeStatus::Wiped) << int(FileWipeStep::None) << "nothing";
    QTest::newRow("directory that may be written but not read: the removal is still forced out")
        << 0300 << 0600 << true << int(FileWipeStatus::Wiped) << int(FileWipeStep::None) << "nothing";
    QTest::newRow("unreadable directory")
        << 0000 << 0600 << true << int(FileWipeStatus::NotFound) << int(FileWipeStep::None) << "original";
    QTest::newRow("read-only file in a directory that forbids removal: mode put back")
        << 0500 << 0400 << true << int(FileWipeStatus::Failed) << int(FileWipeStep::Remove) << "empty";
    QTest::newRow("file of another user")
        << 0700 << 0644 << false << int(FileWipeStatus::Failed) << int(FileWipeStep::Open) << "original";
}

void TestFileWipe::asUnprivilegedUser()
{
    QFETCH(int, dirMode);
    QFETCH(int, fileMode);
    QFETCH(bool, ownFile);
    QFETCH(int, status);
    QFETCH(int, step);
    QFETCH(QString, remains);

    if (::geteuid() != 0)
        QSKIP("needs root to hand the files to an unprivileged user");
    QVERIFY(chmodPath(m_dir.path(), 0711));
    QTemporaryDir dir(m_dir.filePath(QStringLiteral("user-XXXXXX")));
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("container.pfx"));
    const QByteArray original = marker(1500);
    QVERIFY(writeFile(path, original));
    QVERIFY(chownToUnprivileged(dir.path()));
    if (ownFile)
        QVERIFY(chownToUnprivileged(path));
    QVERIFY(chmodPath(path, fileMode));
    QVERIFY(chmodPath(dir.path(), dirMode));

    const ChildWipe child = wipeInChild(Gost, path, {RLIM_INFINITY, true, m_dir.path()});
    QVERIFY(chmodPath(dir.path(), 0700));
    if (!child.skipReason.isEmpty())
        QSKIP(qPrintable(child.skipReason));
    QVERIFY2(child.error.isEmpty(), qPrintable(child.error));

    QCOMPARE(int(child.outcome.status), status);
    QCOMPARE(int(child.outcome.failedStep), step);
    if (remains == QLatin1String("nothing")) {
        QVERIFY(!QFileInfo::exists(path));
        return;
    }
    struct stat st {};
    QCOMPARE(::stat(QFile::encodeName(path).constData(), &st), 0);
    QCOMPARE(int(st.st_mode & 07777), fileMode);
    if (remains == QLatin1String("original")) {
        QCOMPARE(child.outcome.passesDone, 0);
        QCOMPARE(readFile(path), original);
    } else {
        QCOMPARE(child.outcome.passesDone, 2);
        QVERIFY(QFileInfo::exists(path));
        QCOMPARE(QFileInfo(path).size(), qint64(0));
    }
}

void TestFileWipe::changedBetweenSteps_data()
{
    QTest::addColumn<int>("event");
    QTest::addColumn<QString>("action");
    QTest::addColumn<int>("status");
    QTest::addColumn<int>("step");
    QTest::addColumn<int>("passes");
    QTest::addColumn<QString>("endState"); // as the journal records it
    const int opened = int(FileWipeEvent::Opened);
    const int written = int(FileWipeEvent::Written);
    const int truncated = int(FileWipeEvent::Truncated);
    const int failed = int(FileWipeStatus::Failed);
    const int changed = int(FileWipeStep::Changed);
    const int nameChanged = int(FileWipeStep::NameChanged);
    QTest::newRow("name swapped for a link to an outside file once opened")
        << opened << "link" << failed << changed << 0 << "incomplete-kept";
    QTest::newRow("name swapped for a link to a block device once opened")
        << opened << "device" << failed << changed << 0 << "incomplete-kept";
    QTest::newRow("name swapped for a link after truncation")
        << truncated << "link" << failed << nameChanged << 3 << "overwritten-emptied-name-kept";
    QTest::newRow("name swapped for a FIFO after truncation")
        << truncated << "fifo" << failed << nameChanged << 3 << "overwritten-emptied-name-kept";
    QTest::newRow("truncated by another process during a pass")
        << written << "truncate" << failed << changed << 0 << "incomplete-kept";
    QTest::newRow("appended to by another process during a pass")
        << written << "append" << failed << changed << 0 << "incomplete-kept";
    QTest::newRow("another file put under the name during a pass")
        << written << "replace" << failed << changed << 0 << "incomplete-kept";
    QTest::newRow("a hole punched by another process during a pass")
        << written << "punch hole" << failed << changed << 1 << "incomplete-kept";
    QTest::newRow("bytes changed behind the wipe after the last pass: the read-back keeps the file")
        << int(FileWipeEvent::ReadBack) << "overwrite" << failed << int(FileWipeStep::Verify) << 3
        << "verify-failed-kept";
    QTest::newRow("cancelled after a write") << written << "cancel" << failed << int(FileWipeStep::Cancelled) << 0 << "cancelled-incomplete-kept";
    QTest::newRow("held open by another process: not begun, its name told")
        << -1 << "held open" << failed << int(FileWipeStep::HeldOpen) << 0 << "held-open-untouched";
    QTest::newRow("written back after the truncation through a descriptor opened before: no success")
        << truncated << "write back" << failed << int(FileWipeStep::RewrittenAfterRemoval) << 3 << "rewritten-after-removal";
    QTest::newRow("a second hard link: wiped, the other name says so")
        << opened << "hard link" << int(FileWipeStatus::Wiped) << int(FileWipeStep::None) << 3 << "wiped-other-names-remain";
}

// Another process, or an attacker, acts between two steps of a wipe. Nothing
// outside the named file may change, and no success may be reported while
// the original bytes remain.
void TestFileWipe::changedBetweenSteps()
{
    QFETCH(int, event);
    QFETCH(QString, action);
    QFETCH(int, status);
    QFETCH(int, step);
    QFETCH(int, passes);
    QFETCH(QString, endState);

    std::unique_ptr<LoopDevice> device;
    if (action == QLatin1String("device")) {
        device = std::make_unique<LoopDevice>(m_dir.filePath(QStringLiteral("device.img")), marker(1 << 20));
        if (!device->failure().isEmpty())
            QSKIP(qPrintable(device->failure()));
    }
    QTemporaryDir dir(m_dir.filePath(QStringLiteral("swap-XXXXXX")));
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("key.pfx"));
    const QString moved = dir.filePath(QStringLiteral("key.moved"));
    const QString outside = m_dir.filePath(QStringLiteral("outside-%1").arg(QTest::currentDataTag()).left(40));
    const QByteArray original = marker(600 * 1024); // three writes a pass
    QVERIFY(writeFile(path, original));
    QVERIFY(writeFile(outside, original));
    const QByteArray name = QFile::encodeName(path);

    bool acted = false;
    // A real process of its own name holds the file open from before the wipe.
    QProcess holder;
    if (action == QLatin1String("held open")) {
        holder.start(QStringLiteral("sh"), {QStringLiteral("-c"), QStringLiteral("exec 3<>\"$1\"; exec sleep 30"),
                                             QStringLiteral("sh"), path});
        QVERIFY(holder.waitForStarted());
        // The shell has opened the file once it has become sleep.
        const QString comm = QStringLiteral("/proc/%1/comm").arg(holder.processId());
        QVERIFY(QTest::qWaitFor([&] { return readFile(comm) == "sleep\n"; }));
        acted = true;
    }
    const auto stopHolder = qScopeGuard([&] {
        holder.kill();
        holder.waitForFinished();
    });
    int writer = -1; // opened once the wipe has made sure nobody else had the file open
    const auto closeWriter = qScopeGuard([&] {
        if (writer >= 0)
            ::close(writer);
    });
    const bool afterZeros = action == QLatin1String("punch hole");
    const FileWipeListener listener = [&](FileWipeEvent e, int pass, qint64) {
        if (action == QLatin1String("write back") && e == FileWipeEvent::Opened)
            writer = ::open(name.constData(), O_WRONLY | O_CLOEXEC);
        // Holes are asked only after a pass that is not all zeros: DoD's second.
        if (acted || int(e) != event || (afterZeros && pass < 1))
            return true;
        acted = true;
        if (action == QLatin1String("cancel"))
            return false;
        if (action == QLatin1String("write back"))
            return ::pwrite(writer, original.constData(), size_t(original.size()), 0) == original.size();
        if (action == QLatin1String("truncate"))
            return ::truncate(name.constData(), 0) == 0;
        if (action == QLatin1String("append")) {
            QFile f(path);
            return f.open(QIODevice::Append) && f.write(marker(80 * 1024)) > 0;
        }
        if (action == QLatin1String("overwrite")) {
            QFile other(path);
            return other.open(QIODevice::ReadWrite) && other.seek(1000) && other.write("changed", 7) == 7
                && other.flush();
        }
        if (afterZeros) {
            const int fd = ::open(name.constData(), O_WRONLY);
            const bool punched = fd >= 0
                && ::fallocate(fd, FALLOC_FL_PUNCH_HOLE | FALLOC_FL_KEEP_SIZE, 0, 64 * 1024) == 0;
            if (fd >= 0)
                ::close(fd);
            return punched;
        }
        if (action == QLatin1String("hard link"))
            return ::link(name.constData(), QFile::encodeName(moved).constData()) == 0;
        if (!QFile::rename(path, moved))
            return false;
        if (action == QLatin1String("fifo"))
            return ::mkfifo(name.constData(), 0600) == 0;
        if (action == QLatin1String("replace"))
            return writeFile(path, original);
        return QFile::link(action == QLatin1String("device") ? device->path() : outside, path);
    };
    const FileWipeOutcome outcome = overwriteFile(passPlan(DoD), path, {}, listener);

    QVERIFY(acted);
    QCOMPARE(int(outcome.status), status);
    QCOMPARE(int(outcome.failedStep), step);
    QCOMPARE(outcome.passesDone, passes);
    QCOMPARE(fileEndState(outcome), endState);
    QCOMPARE(readFile(outside), original);
    if (device)
        QCOMPARE(device->contents(), marker(1 << 20));
    if (action == QLatin1String("held open")) {
        QCOMPARE(readFile(path), original);
        QCOMPARE(outcome.holders.size(), 1);
        QCOMPARE(outcome.holders.first().pid, holder.processId());
        QCOMPARE(outcome.holders.first().name, QStringLiteral("sleep"));
        QVERIFY2(fileWipeReport(outcome, path).facts.contains(QStringLiteral("sleep (PID %1)").arg(holder.processId())),
                 qPrintable(fileWipeReport(outcome, path).facts));
    } else if (action == QLatin1String("write back")) {
        QVERIFY(!QFileInfo::exists(path));
        QVERIFY(fileWipeReport(outcome, path).facts.contains(QStringLiteral("может быть ключ")));
    } else if (action == QLatin1String("hard link")) {
        QCOMPARE(outcome.otherNames, quint64(1));
        QCOMPARE(QFileInfo(moved).size(), qint64(0));
    } else if (step == int(FileWipeStep::NameChanged)) {
        // The file held was overwritten and emptied; the name now leads
        // elsewhere and was left alone.
        QCOMPARE(QFileInfo(moved).size(), qint64(0));
        QVERIFY(QFileInfo(path).isSymLink() || QFileInfo::exists(path));
    } else if (action == QLatin1String("replace")) {
        QCOMPARE(readFile(path), original);
    } else {
        // Stopped: the file stays, for a retry.
        QVERIFY(QFileInfo::exists(moved) || QFileInfo(path).isFile());
    }
}

void TestFileWipe::killedWipeIsReported_data()
{
    QTest::addColumn<int>("event"); // the step the process is killed at; -1: its begun line is torn
    QTest::addColumn<QString>("fileNow");
    QTest::addColumn<int>("size");
    const int size = 600 * 1024;
    QTest::newRow("before the first pass") << int(FileWipeEvent::Opened) << "Файл на месте (614" << size;
    QTest::newRow("an empty file, before the first pass: no pass claimed")
        << int(FileWipeEvent::Opened) << "Файл на месте и пуст, как и до удаления: перезаписывать в нем было нечего" << 0;
    QTest::newRow("during a pass") << int(FileWipeEvent::Written) << "Файл на месте (" << size;
    QTest::newRow("after the last pass, before the truncation") << int(FileWipeEvent::ReadBack) << "Файл на месте (" << size;
    QTest::newRow("after the truncation, before the removal") << int(FileWipeEvent::Truncated)
                                                              << "Файл на месте и пуст: проходы были записаны" << size;
    QTest::newRow("its begun entry torn: nothing to report, the chain says torn") << -1 << "" << size;
    QTest::newRow("still under way in a live process: left alone") << -2 << "" << size;
}

// A wipe whose process is killed (or whose power is cut) between two steps
// leaves its begun entry; the next start finds it, says what is under the
// name now and closes it once.
void TestFileWipe::killedWipeIsReported()
{
    QFETCH(int, event);
    QFETCH(QString, fileNow);
    QFETCH(int, size);
    QTemporaryDir dir(m_dir.filePath(QStringLiteral("killed-XXXXXX")));
    QVERIFY(dir.isValid());
    const QString journal = dir.filePath(QStringLiteral("journal.jsonl"));
    const JournalPlace place(journal);
    const QString path = dir.filePath(QStringLiteral("key.pfx"));
    QVERIFY(writeFile(path, marker(size)));

    if (event == -2) {
        WipeRequest request;
        request.path = path;
        QVERIFY(Journal(journal).append(begunEntry(request, QStringLiteral("live"))));
    } else if (event < 0) {
        const QByteArray line = QJsonDocument(QJsonObject{{"phase", "begun"}, {"attempt", "x"}}).toJson(QJsonDocument::Compact);
        QFile f(journal);
        QVERIFY(f.open(QIODevice::WriteOnly) && f.write(line.left(line.size() / 2)) > 0);
    } else {
        const ChildRun child = runInChild([&](QByteArray &) {
            WipeRequest request;
            request.plan = passPlan(DoD);
            request.path = path;
            request.listener = [event](FileWipeEvent e, int, qint64) {
                if (int(e) == event)
                    ::raise(SIGKILL);
                return true;
            };
            runWipeSession(request);
            return 0;
        });
        QCOMPARE(child.exitCode, -1); // killed, not finished
    }

    const QVector<InterruptedWipe> found = closeInterruptedWipes(JournalEntry::Interface::CommandLine);
    QCOMPARE(found.size(), fileNow.isEmpty() ? 0 : 1);
    QCOMPARE(Journal(journal).verify().state, event == -1 ? VerifyResult::State::TornLast : VerifyResult::State::Intact);
    if (fileNow.isEmpty())
        return;
    QVERIFY2(found.first().fileNow.startsWith(fileNow), qPrintable(found.first().fileNow));
    const QVector<JournalRecord> ended = Journal(journal).read();
    QCOMPARE(ended.size(), 1);
    QCOMPARE(ended.first().entry.endState, EndState::Interrupted);
    QCOMPARE(ended.first().entry.attempt, found.first().begun.entry.attempt);
    QVERIFY(ended.first().entry.resultInformative.contains(QFileInfo(path).absoluteFilePath()));
    // Told once: the attempt is closed now.
    QVERIFY(closeInterruptedWipes(JournalEntry::Interface::CommandLine).isEmpty());
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

    {
        platformfile::WipeTarget target;
        QCOMPARE(int(target.open(QFile::encodeName(path).toStdString())), int(platformfile::OpenResult::Opened));
        QVERIFY(target.stampWipeTime());
    }
    struct stat st {};
    QCOMPARE(::stat(QFile::encodeName(path).constData(), &st), 0);
    QCOMPARE(qint64(st.st_mtim.tv_sec), platformfile::wipeTimeUnixSeconds);
    QCOMPARE(qint64(st.st_atim.tv_sec), platformfile::wipeTimeUnixSeconds);
    const QDateTime stamped = QDateTime::fromSecsSinceEpoch(st.st_mtim.tv_sec, Qt::UTC);
    QCOMPARE(stamped.date(), QDate(30827, 1, 1));
    QCOMPARE(stamped.time(), QTime(0, 0));
}

QTEST_GUILESS_MAIN(TestFileWipe)
#include "tst_filewipe.moc"
