// The scripted modes of both programs (the window's and kestrik-kcc-cli):
// exit status, messages and what is left on disk and on the token. Each run is
// a new session with no terminal, as a script under cron would be.

#include "boxtexts.h"
#include "commandoptions.h"
#include "programrun.h"
#include "journal.h"
#include "tokenstore.h"

#include <QDate>
#include <QDir>
#include <QFileInfo>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>
#include <QtTest>

namespace {

using Run = ProgramRun;

// A first argument "{cli}" runs kestrik-kcc-cli instead of the window's program.
Run runProgram(QStringList arguments, const QByteArray &input = QByteArray(),
               const QString &language = QString())
{
    QString program = QStringLiteral(KCC_PROGRAM_PATH);
    if (!arguments.isEmpty() && arguments.front() == QLatin1String("{cli}")) {
        program = QStringLiteral(KCC_CLI_PATH);
        arguments.removeFirst();
    }
    return ::runProgram(program, arguments, input, language);
}

// The long options and exit statuses a text documents: the manual page's
// entries, or the option and status lists of --help.
struct Documented {
    QSet<QString> options;
    QSet<int> statuses;
};

Documented fromManualPage(const QString &source)
{
    Documented found;
    const QStringList lines = source.split(QLatin1Char('\n'));
    QString section;
    static const QRegularExpression option(QStringLiteral(R"(\\-\\-[a-z]+(\\-[a-z]+)*)"));
    static const QRegularExpression status(QStringLiteral(R"(^\.B (\d+)$)"));
    for (int i = 0; i + 1 < lines.size(); ++i) {
        if (lines[i].startsWith(QLatin1String(".SH ")))
            section = lines[i].mid(4);
        if (lines[i] != QLatin1String(".TP"))
            continue;
        const QString entry = lines[i + 1];
        if (section == QLatin1String("OPTIONS") || section == QLatin1String("COMMAND\\-LINE WIPE")) {
            for (auto m = option.globalMatch(entry); m.hasNext();)
                found.options << m.next().captured(0).remove(QLatin1Char('\\'));
        } else if (section == QLatin1String("EXIT STATUS")) {
            const auto m = status.match(entry);
            if (m.hasMatch())
                found.statuses << m.captured(1).toInt();
        }
    }
    return found;
}

Documented fromHelp(const QString &help)
{
    Documented found;
    static const QRegularExpression option(QStringLiteral(R"(^  (?:-[a-z], |    )(--[a-z-]+))"));
    static const QRegularExpression status(QStringLiteral(R"(^ *(\d+)  \S)"));
    enum { None, Options, Statuses } block = None;
    for (const QString &line : help.split(QLatin1Char('\n'))) {
        if (line == QStringLiteral("Параметры:") || line == QLatin1String("Options:"))
            block = Options;
        else if (line == QStringLiteral("Коды возврата:") || line == QLatin1String("Exit status:"))
            block = Statuses;
        else if (!line.startsWith(QLatin1Char(' ')))
            block = None;
        else if (block == Options && option.match(line).hasMatch())
            found.options << option.match(line).captured(1);
        else if (block == Statuses && status.match(line).hasMatch())
            found.statuses << status.match(line).captured(1).toInt();
    }
    return found;
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
    void certificate_data();
    void certificate();
    void structuredEvents();
    void documented_data();
    void documented();

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
    QTest::newRow("a file name beside a scripted mode")
        << QStringList{"--list-tokens", "{key}"} << 2 << true << "лишний аргумент" << QString();
    QTest::newRow("a PIN on the command line") << QStringList{"--pin", "1234"} << 2 << true << "никогда не берётся" << QString();
    QTest::newRow("version, no display") << QStringList{"--version"} << 0 << true << QString() << QString();
    QTest::newRow("help, Russian") << QStringList{"--help"} << 0 << true << "Использование: kestrik-kcc" << "ru";
    QTest::newRow("help, English") << QStringList{"--help"} << 0 << true << "Usage: kestrik-kcc" << "en";
    QTest::newRow("usage error, English") << QStringList{"--pin", "1234"} << 2 << true << "is never taken" << "en";
    QTest::newRow("wiped, English") << QStringList{"--wipe-file", "{key}", "-a", "dod", "--yes"} << 0 << false
                                    << "Key container wiped and deleted successfully." << "en";
    QTest::newRow("cli: wiped") << QStringList{"{cli}", "--wipe-file", "{key}", "-a", "dod", "--yes"} << 0 << false << wiped << QString();
    QTest::newRow("cli: a link is refused")
        << QStringList{"{cli}", "--wipe-file", "{link}", "-a", "gost", "-y"} << 5 << true << boxtexts::fileFailed << QString();
    QTest::newRow("cli: version") << QStringList{"{cli}", "--version"} << 0 << true << QString() << QString();
    QTest::newRow("cli: help, English") << QStringList{"{cli}", "--help"} << 0 << true << "Usage: kestrik-kcc-cli" << "en";
    QTest::newRow("cli: the act is the window program's")
        << QStringList{"{cli}", "--act", "{key}.pdf"} << 2 << true << "kestrik-kcc --act" << QString();
    QTest::newRow("cli: no mode, no window") << QStringList{"{cli}"} << 2 << true << "окно открывает kestrik-kcc" << QString();
    QTest::newRow("cli: a file name without a mode")
        << QStringList{"{cli}", "{key}"} << 2 << true << "сначала укажите режим" << QString();
    QTest::newRow("cli: Qt's window options are not taken")
        << QStringList{"{cli}", "-platform", "offscreen", "--list-tokens"} << 2 << true << "неизвестный параметр «-platform»" << QString();
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
        QCOMPARE(run.out, (arguments.front() == QLatin1String("{cli}") ? QStringLiteral("kestrik-kcc-cli")
                                                                       : QStringLiteral("kestrik-kcc"))
                              + QStringLiteral(" 1.0.0.6\n"));
}

void TestCommandLine::token_data()
{
    QTest::addColumn<QString>("serial"); // empty: the token's own
    QTest::addColumn<QByteArray>("pin");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<bool>("containerRemains");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("program"); // "{cli}": kestrik-kcc-cli; empty: the window's
    const QByteArray pin = TokenStore::defaultPin().toUtf8() + '\n';
    QTest::newRow("deleted; SoftHSM2 replaces instead of overwriting") << QString() << pin << 8 << false << QStringLiteral("не позволил перезаписать") << QString();
    QTest::newRow("cli: deleted") << QString() << pin << 8 << false << QStringLiteral("не позволил перезаписать") << "{cli}";
    QTest::newRow("wrong PIN") << QString() << QByteArray("000000\n") << 7 << true << boxtexts::wrongPin << QString();
    QTest::newRow("no such serial") << QStringLiteral("0000") << pin << 4 << true << QStringLiteral("не найден") << QString();
    QTest::newRow("no PIN given") << QString() << QByteArray() << 1 << true << QStringLiteral("PIN-код не прочитан") << QString();
}

void TestCommandLine::token()
{
    QFETCH(QString, serial);
    QFETCH(QByteArray, pin);
    QFETCH(int, exitCode);
    QFETCH(bool, containerRemains);
    QFETCH(QString, message);
    QFETCH(QString, program);
    if (!TokenStore::unavailableReason().isEmpty())
        QSKIP(qPrintable(TokenStore::unavailableReason()));
    TokenStore store;
    QVERIFY2(store.initToken(QStringLiteral("Beta")), qPrintable(store.errorString()));
    QVERIFY(store.writeContainer(QStringLiteral("Beta"), QByteArray(300, 'c')));

    const QStringList self = program.isEmpty() ? QStringList() : QStringList{program};
    const Run list = runProgram(self + QStringList{QStringLiteral("--list-tokens")});
    QCOMPARE(list.exitCode, 0);
    QVERIFY2(list.out.contains(store.serial(QStringLiteral("Beta")) + QStringLiteral("\tBeta")), qPrintable(list.out));

    if (serial.isEmpty())
        serial = store.serial(QStringLiteral("Beta"));
    const Run run = runProgram(self + QStringList{QStringLiteral("--wipe-token"), serial, QStringLiteral("-a"),
                                                  QStringLiteral("gost"), QStringLiteral("--pin-stdin"),
                                                  QStringLiteral("--yes")},
                               pin);
    QCOMPARE(run.exitCode, exitCode);
    QVERIFY2(run.err.contains(message), qPrintable(run.err));
    bool ok = false;
    const QList<TokenStore::DataObject> objects = store.dataObjects(QStringLiteral("Beta"), &ok);
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

void TestCommandLine::certificate_data()
{
    QTest::addColumn<QString>("tamper"); // what is done to the certificate before it is checked
    QTest::addColumn<int>("exitCode");
    QTest::newRow("as written") << "" << 0;
    QTest::newRow("a field edited") << "edit" << 13;
    QTest::newRow("checked with another key") << "other key" << 13;
    QTest::newRow("the key in it swapped for another") << "swap key" << 13;
}

// A certificate exported from the journal verifies offline with the key
// --public-key prints, here and, independently, with openssl; every change
// to it fails.
void TestCommandLine::certificate()
{
    QFETCH(QString, tamper);
    QFETCH(int, exitCode);
    const QString key = m_dir.filePath(QStringLiteral("certified.pfx"));
    QVERIFY(writeFile(key, QByteArray(5000, 'c')));
    QCOMPARE(runProgram({"--wipe-file", key, "-a", "gost", "--yes"}).exitCode, 0);
    const QVector<JournalRecord> records = Journal().read();
    QVERIFY(!records.isEmpty());
    const QString file = m_dir.filePath(QStringLiteral("certificate-%1.json").arg(QTest::currentDataTag()).replace(' ', '-'));
    QCOMPARE(runProgram({"--certificate", QString::number(records.last().sequence), file}).exitCode, 0);
    const ProgramRun printed = runProgram({"--public-key"});
    QCOMPARE(printed.exitCode, 0);
    const QString publicKey = printed.out.trimmed();

    QFile f(file);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QJsonObject document = QJsonDocument::fromJson(f.readAll()).object();
    f.close();
    QCOMPARE(document.value("public_key").toString(), publicKey);
    QJsonObject body = document.value("certificate").toObject();
    QCOMPARE(body.value("media").toObject().value("path").toString(), QFileInfo(key).absoluteFilePath());
    QCOMPARE(body.value("sanitization").toObject().value("passes_done").toInt(), 2);

    // openssl, knowing nothing of the program, checks the same bytes.
    const QString openssl = QStandardPaths::findExecutable(QStringLiteral("openssl"));
    if (tamper.isEmpty() && !openssl.isEmpty()) {
        const QByteArray der = QByteArray::fromHex("302a300506032b6570032100") + QByteArray::fromHex(publicKey.toLatin1());
        QVERIFY(writeFile(file + ".pem", "-----BEGIN PUBLIC KEY-----\n" + der.toBase64() + "\n-----END PUBLIC KEY-----\n"));
        QVERIFY(writeFile(file + ".bin", QJsonDocument(body).toJson(QJsonDocument::Compact)));
        QVERIFY(writeFile(file + ".sig", QByteArray::fromBase64(document.value("signature").toString().toLatin1())));
        QCOMPARE(QProcess::execute(openssl, {"pkeyutl", "-verify", "-pubin", "-inkey", file + ".pem", "-rawin", "-in",
                                             file + ".bin", "-sigfile", file + ".sig"}),
                 0);
    }

    QStringList check{"--verify-certificate", file};
    const QString otherKey = QString(64, QLatin1Char('7'));
    if (tamper == QLatin1String("edit")) {
        QJsonObject media = body.value("media").toObject();
        media["path"] = QStringLiteral("/somewhere/else.pfx");
        body["media"] = media;
        document["certificate"] = body;
    } else if (tamper == QLatin1String("other key")) {
        check << "--key" << otherKey;
    } else if (tamper == QLatin1String("swap key")) {
        document["public_key"] = otherKey;
    }
    QVERIFY(writeFile(file, QJsonDocument(document).toJson()));
    const ProgramRun verified = runProgram(check);
    QVERIFY2(verified.exitCode == exitCode, qPrintable(verified.out + verified.err));
}

// Where journald runs, each entry reaches it with its fields and a fixed
// MESSAGE_ID per kind of event: begun, then wiped.
void TestCommandLine::structuredEvents()
{
    const QString journalctl = QStandardPaths::findExecutable(QStringLiteral("journalctl"));
    // journald as the system runs it: systemd is the first process.
    if (!QFileInfo::exists(QStringLiteral("/run/systemd/system")) || journalctl.isEmpty())
        QSKIP("no journald here to receive the events");
    const QString key = m_dir.filePath(QStringLiteral("logged.pfx"));
    QVERIFY(writeFile(key, QByteArray(700, 'l')));
    const QByteArray quiet = qgetenv("KCC_JOURNAL_NO_SYSLOG");
    qunsetenv("KCC_JOURNAL_NO_SYSLOG");
    const ProgramRun run = runProgram({"--wipe-file", key, "-a", "dod", "--yes"});
    qputenv("KCC_JOURNAL_NO_SYSLOG", quiet);
    QCOMPARE(run.exitCode, 0);
    const QString attempt = Journal().read().last().entry.attempt;
    QProcess query;
    query.start(journalctl, {"-o", "json", "KCC_ATTEMPT=" + attempt});
    QVERIFY(query.waitForFinished(30000));
    QStringList ids;
    for (const QByteArray &line : query.readAllStandardOutput().split('\n')) {
        const QJsonObject event = QJsonDocument::fromJson(line).object();
        if (!event.isEmpty()) {
            ids << event.value("MESSAGE_ID").toString();
            QCOMPARE(event.value("KCC_TARGET").toString(), QFileInfo(key).absoluteFilePath());
            QCOMPARE(event.value("SYSLOG_FACILITY").toString(), QStringLiteral("10"));
        }
    }
    QCOMPARE(ids, QStringList({"6f2a1c0e9b7d4e0a8c3f5d2b1a4e7c90", "3b9e7d1f2c4a4f6b9e8d7c6b5a4f3e21"}));
}

QTEST_GUILESS_MAIN(TestCommandLine)
// The manual page and both programs' --help name every option and exit
// status of the one table, and nothing else.
void TestCommandLine::documented_data()
{
    QTest::addColumn<QStringList>("arguments"); // empty: the manual page's source
    QTest::addColumn<QString>("language");
    QTest::newRow("manual page") << QStringList() << QString();
    QTest::newRow("kestrik-kcc --help, Russian") << QStringList{"--help"} << "ru";
    QTest::newRow("kestrik-kcc --help, English") << QStringList{"--help"} << "en";
    QTest::newRow("kestrik-kcc-cli --help, Russian") << QStringList{"{cli}", "--help"} << "ru";
    QTest::newRow("kestrik-kcc-cli --help, English") << QStringList{"{cli}", "--help"} << "en";
}

void TestCommandLine::documented()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, language);
    Documented expected;
    for (int i = 0; i < kOptionDocCount; ++i)
        expected.options << QLatin1String(kOptionDocs[i].longName);
    for (int i = 0; i < kExitDocCount; ++i)
        expected.statuses << kExitDocs[i].code;

    Documented found;
    if (arguments.isEmpty()) {
        QFile page(QStringLiteral(KCC_MAN_SOURCE));
        QVERIFY(page.open(QIODevice::ReadOnly));
        found = fromManualPage(QString::fromUtf8(page.readAll()));
    } else {
        const Run run = runProgram(arguments, QByteArray(), language);
        QCOMPARE(run.exitCode, 0);
        found = fromHelp(run.out);
    }
    QStringList missing = (expected.options - found.options).values(), extra = (found.options - expected.options).values();
    missing.sort();
    extra.sort();
    QVERIFY2(missing.isEmpty() && extra.isEmpty(),
             qPrintable(QStringLiteral("not documented: %1; not in the table: %2").arg(missing.join(' '), extra.join(' '))));
    QCOMPARE(found.statuses, expected.statuses);
}

#include "tst_commandline.moc"
