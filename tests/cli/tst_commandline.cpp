// The program's scripted modes: exit status, messages and what is left on
// disk and on the token. Each run is a new session with no terminal, as a
// script under cron would be.

#include "boxtexts.h"
#include "programrun.h"
#include "softhsmtoken.h"

#include <QDate>
#include <QDir>
#include <QFileInfo>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

namespace {

using Run = ProgramRun;

Run runProgram(const QStringList &arguments, const QByteArray &input = QByteArray(),
               const QString &language = QString())
{
    return ::runProgram(QStringLiteral(KCC_PROGRAM_PATH), arguments, input, language);
}

bool writeFile(const QString &path, const QByteArray &data)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(data) == data.size();
}

} // namespace

class TestCommandLine : public QObject
{
    Q_OBJECT

private slots:
    void files_data();
    void files();
    void token_data();
    void token();
    void journal();

private:
    QTemporaryDir m_dir;
};

void TestCommandLine::files_data()
{
    QTest::addColumn<QStringList>("arguments"); // {key}, {link}, {missing} stand for paths
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<bool>("keyRemains");
    QTest::addColumn<QString>("message"); // on standard error, or standard output
    QTest::addColumn<QString>("language"); // KCC_LANGUAGE; empty: the tests' own (ru)
    const QString wiped = boxtexts::wiped;
    QTest::newRow("wiped") << QStringList{"--wipe-file", "{key}", "-a", "dod", "--yes"} << 0 << false << wiped << QString();
    QTest::newRow("not confirmed without a terminal")
        << QStringList{"--wipe-file", "{key}", "-a", "dod"} << 3 << true << "не подтверждено" << QString();
    QTest::newRow("a link is refused, its target kept")
        << QStringList{"--wipe-file", "{link}", "--algorithm", "gost", "-y"} << 5 << true << boxtexts::fileFailed << QString();
    QTest::newRow("missing and wiped: the worse status")
        << QStringList{"--wipe-file", "{missing}", "{key}", "-a", "7", "-y"} << 4 << false << boxtexts::fileNotFound.trimmed() << QString();
    QTest::newRow("no algorithm") << QStringList{"--wipe-file", "{key}", "-y"} << 2 << true << "--algorithm" << QString();
    QTest::newRow("unknown algorithm") << QStringList{"--wipe-file", "{key}", "-a", "md5", "-y"} << 2 << true << "--algorithm" << QString();
    QTest::newRow("a PIN on the command line") << QStringList{"--pin", "1234"} << 2 << true << "никогда не берётся" << QString();
    QTest::newRow("version, no display") << QStringList{"--version"} << 0 << true << QString() << QString();
    QTest::newRow("help, Russian") << QStringList{"--help"} << 0 << true << "Использование: kestrik-kcc" << "ru";
    QTest::newRow("help, English") << QStringList{"--help"} << 0 << true << "Usage: kestrik-kcc" << "en";
    QTest::newRow("usage error, English") << QStringList{"--pin", "1234"} << 2 << true << "is never taken" << "en";
    QTest::newRow("wiped, English") << QStringList{"--wipe-file", "{key}", "-a", "dod", "--yes"} << 0 << false
                                    << "Key container wiped and deleted successfully." << "en";
}

void TestCommandLine::files()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(bool, keyRemains);
    QFETCH(QString, message);
    QFETCH(QString, language);

    const QString key = m_dir.filePath(QStringLiteral("ключ.pfx"));
    const QByteArray original(4000, 'k');
    QVERIFY(writeFile(key, original));
    const QString link = m_dir.filePath(QStringLiteral("link.p12"));
    QFile::remove(link);
    QVERIFY(QFile::link(key, link));
    arguments.replaceInStrings(QStringLiteral("{key}"), key);
    arguments.replaceInStrings(QStringLiteral("{link}"), link);
    arguments.replaceInStrings(QStringLiteral("{missing}"), m_dir.filePath(QStringLiteral("missing")));

    const Run run = runProgram(arguments, QByteArray(), language);
    QCOMPARE(run.exitCode, exitCode);
    QVERIFY2(run.err.contains(message) || run.out.startsWith(message), qPrintable(run.err + run.out));
    QCOMPARE(QFile::exists(key), keyRemains);
    if (keyRemains) {
        QFile f(key);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), original);
    }
    if (arguments.contains(QStringLiteral("--version")))
        QCOMPARE(run.out, QStringLiteral("kestrik-kcc 1.0.0.6\n"));
}

void TestCommandLine::token_data()
{
    QTest::addColumn<QString>("serial"); // empty: the token's own
    QTest::addColumn<QByteArray>("pin");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<bool>("containerRemains");
    QTest::addColumn<QString>("message");
    const QByteArray pin = SoftHsmToken::defaultPin().toUtf8() + '\n';
    QTest::newRow("deleted; SoftHSM2 replaces instead of overwriting") << QString() << pin << 8 << false << QStringLiteral("не позволил перезаписать");
    QTest::newRow("wrong PIN") << QString() << QByteArray("000000\n") << 7 << true << boxtexts::wrongPin;
    QTest::newRow("no such serial") << QStringLiteral("0000") << pin << 4 << true << QStringLiteral("не найден");
    QTest::newRow("no PIN given") << QString() << QByteArray() << 1 << true << QStringLiteral("PIN-код не прочитан");
}

void TestCommandLine::token()
{
    QFETCH(QString, serial);
    QFETCH(QByteArray, pin);
    QFETCH(int, exitCode);
    QFETCH(bool, containerRemains);
    QFETCH(QString, message);
    if (!SoftHsmToken::unavailableReason().isEmpty())
        QSKIP(qPrintable(SoftHsmToken::unavailableReason()));
    SoftHsmToken store;
    QVERIFY2(store.initToken(QStringLiteral("Beta")), qPrintable(store.errorString()));
    QVERIFY(store.writeContainer(QStringLiteral("Beta"), QByteArray(300, 'c')));

    const Run list = runProgram({QStringLiteral("--list-tokens")});
    QCOMPARE(list.exitCode, 0);
    QVERIFY2(list.out.contains(store.serial(QStringLiteral("Beta")) + QStringLiteral("\tBeta")), qPrintable(list.out));

    if (serial.isEmpty())
        serial = store.serial(QStringLiteral("Beta"));
    const Run run = runProgram({QStringLiteral("--wipe-token"), serial, QStringLiteral("-a"), QStringLiteral("gost"),
                                QStringLiteral("--pin-stdin"), QStringLiteral("--yes")},
                               pin);
    QCOMPARE(run.exitCode, exitCode);
    QVERIFY2(run.err.contains(message), qPrintable(run.err));
    bool ok = false;
    const QList<SoftHsmToken::DataObject> objects = store.dataObjects(QStringLiteral("Beta"), &ok);
    QVERIFY(ok);
    QCOMPARE(objects.size(), containerRemains ? 1 : 0);
}

// Scripted wipes are journalled like the window's; the journal can be read,
// checked and turned into an act from the command line.
void TestCommandLine::journal()
{
    const QByteArray saved = qgetenv("KCC_JOURNAL");
    const QString journal = m_dir.filePath(QStringLiteral("journal.jsonl"));
    qputenv("KCC_JOURNAL", QFile::encodeName(journal));
    const QString key = m_dir.filePath(QStringLiteral("журналируемый.pfx"));
    const QString second = m_dir.filePath(QStringLiteral("second.p12"));
    QVERIFY(writeFile(key, QByteArray(700, 'k')) && writeFile(second, QByteArray(70, 'k')));

    QCOMPARE(runProgram({"--wipe-file", key, second, "-a", "vsitr", "-y"}).exitCode, 0);
    const Run verified = runProgram({"--verify-journal"});
    const Run printed = runProgram({"--journal"});
    const QString act = m_dir.filePath(QStringLiteral("act.pdf"));
    const Run acted = runProgram({"--act", act, "--from", QDate::currentDate().toString(Qt::ISODate)});
    QFile file(journal);
    QVERIFY(file.open(QIODevice::ReadWrite));
    QByteArray text = file.readAll();
    text.replace(text.indexOf("VSITR"), 5, "DoD 5220.22-M"); // the first entry, edited
    QVERIFY(file.seek(0) && file.write(text) == text.size() && file.resize(text.size()));
    file.close();
    const Run broken = runProgram({"--verify-journal"});
    qputenv("KCC_JOURNAL", saved);

    QCOMPARE(verified.exitCode, 0);
    QCOMPARE(printed.exitCode, 0);
    QVERIFY2(printed.out.contains(key) && printed.out.contains(QStringLiteral("VSITR")), qPrintable(printed.out));
    QCOMPARE(acted.exitCode, 0);
    QVERIFY(QFileInfo(act).size() > 0);
    QCOMPARE(broken.exitCode, 9);
}

QTEST_GUILESS_MAIN(TestCommandLine)
#include "tst_commandline.moc"
