#include "programrun.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <memory>

namespace {

const QStringList kWorkstations{"ws1", "ws2"};

bool writeFile(const QString &path, const QByteArray &data)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(data) == data.size();
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

int freePort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    ::bind(fd, reinterpret_cast<const sockaddr *>(&address), size);
    ::getsockname(fd, reinterpret_cast<sockaddr *>(&address), &size);
    ::close(fd);
    return ntohs(address.sin_port);
}

// rsyslogd in the foreground with a configuration of its own; stopped with the test.
struct Daemon {
    std::unique_ptr<QProcess> process = std::make_unique<QProcess>();
    Daemon() = default;
    Daemon(Daemon &&) = default;
    ~Daemon()
    {
        if (process && process->state() != QProcess::NotRunning) {
            process->terminate();
            if (!process->waitForFinished(10000))
                process->kill();
            process->waitForFinished(5000);
        }
    }
};

// A socket of the test's own standing in for /dev/log: what the program
// sends, as it sends it.
struct Capture {
    int fd = -1;
    explicit Capture(const QString &path)
    {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        qstrncpy(address.sun_path, QFile::encodeName(path).constData(), sizeof address.sun_path);
        fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        ::bind(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address);
    }
    ~Capture() { ::close(fd); }
    QList<QByteArray> take()
    {
        QList<QByteArray> out;
        QByteArray buffer(1 << 17, '\0');
        for (ssize_t got; (got = ::recv(fd, buffer.data(), std::size_t(buffer.size()), 0)) > 0;)
            out << buffer.left(int(got));
        return out;
    }
};

} // namespace

class TestFleet : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void collectorStore_data();
    void collectorStore();
    void journaldExport();
    void windowsForwarded_data();
    void windowsForwarded();

private:
    Daemon startRsyslog(const QString &name, const QString &configuration);
    void wipe(const QString &workstation, int n, const QString &socket);
    ProgramRun verify(const QString &collection);

    QTemporaryDir m_dir;
    QString m_pins;
    QList<QByteArray> m_datagrams; // ws1's events as the program sent them
};

Daemon TestFleet::startRsyslog(const QString &name, const QString &configuration)
{
    Daemon daemon;
    const QString work = m_dir.filePath(name + ".work");
    QDir().mkpath(work);
    const QString conf = m_dir.filePath(name + ".conf");
    writeFile(conf, QStringLiteral("global(workDirectory=\"%1\" localHostname=\"%2\" maxMessageSize=\"8k\")\n")
                            .arg(work, name).toUtf8() + configuration.toUtf8());
    daemon.process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    daemon.process->start(QStringLiteral("rsyslogd"), {"-n", "-f", conf, "-i", m_dir.filePath(name + ".pid")});
    daemon.process->waitForStarted(10000);
    return daemon;
}

void TestFleet::wipe(const QString &workstation, int n, const QString &socket)
{
    const QString home = m_dir.filePath(workstation);
    QDir().mkpath(home);
    qputenv("KCC_JOURNAL", QFile::encodeName(home + "/journal.jsonl"));
    qputenv("KCC_SIGNING_KEY", QFile::encodeName(home + "/signing.key"));
    qputenv("KCC_SYSLOG_SOCKET", QFile::encodeName(socket));
    qunsetenv("KCC_JOURNAL_NO_SYSLOG");
    qunsetenv("KCC_TRUSTED_KEYS");
    for (int i = 1; i <= n; ++i) {
        const QString key = home + QStringLiteral("/key%1.p12").arg(i);
        QVERIFY(writeFile(key, QByteArray(2000, 'k')));
        QCOMPARE(runProgram(QStringLiteral(KCC_CLI_PATH), {"--wipe-file", key, "-a", "dod", "--yes"}).exitCode, 0);
    }
}

ProgramRun TestFleet::verify(const QString &collection)
{
    qputenv("KCC_TRUSTED_KEYS", QFile::encodeName(m_pins));
    const ProgramRun run = runProgram(QStringLiteral(KCC_CLI_PATH), {"--verify-collection", collection});
    qunsetenv("KCC_TRUSTED_KEYS");
    return run;
}

void TestFleet::initTestCase()
{
    if (QStandardPaths::findExecutable(QStringLiteral("rsyslogd")).isEmpty())
        QSKIP("rsyslog is not installed (scripts/packages.sh lists it)");
    QVERIFY(m_dir.isValid());
    // The collector writes each sender's events to a file of its own, in the
    // traditional format and in RFC 5424 side by side.
    const int port = freePort();
    const Daemon collector = startRsyslog(QStringLiteral("collector"), QStringLiteral(
        "module(load=\"imtcp\")\ninput(type=\"imtcp\" address=\"127.0.0.1\" port=\"%1\")\n"
        "template(name=\"trad\" type=\"string\" string=\"%2/traditional/%HOSTNAME%.log\")\n"
        "template(name=\"rfc\" type=\"string\" string=\"%2/rfc5424/%HOSTNAME%.log\")\n"
        "action(type=\"omfile\" dynaFile=\"trad\" template=\"RSYSLOG_TraditionalFileFormat\")\n"
        "action(type=\"omfile\" dynaFile=\"rfc\" template=\"RSYSLOG_SyslogProtocol23Format\")\n")
        .arg(port).arg(m_dir.filePath("store")));
    std::vector<Daemon> workstations;
    for (const QString &ws : kWorkstations) {
        const QString socket = m_dir.filePath(ws + ".sock");
        workstations.push_back(startRsyslog(ws, QStringLiteral(
            "module(load=\"imuxsock\" SysSock.Use=\"off\")\n"
            "input(type=\"imuxsock\" Socket=\"%1\" RateLimit.Interval=\"0\")\n"
            "action(type=\"omfwd\" target=\"127.0.0.1\" port=\"%2\" protocol=\"tcp\")\n").arg(socket).arg(port)));
        for (int tries = 0; tries < 100 && !QFileInfo::exists(socket); ++tries)
            QThread::msleep(100);
        QVERIFY2(QFileInfo::exists(socket), qPrintable(socket));
    }
    QByteArray pins;
    for (const QString &ws : kWorkstations) {
        wipe(ws, ws == QLatin1String("ws1") ? 3 : 2, m_dir.filePath(ws + ".sock"));
        pins += runProgram(QStringLiteral(KCC_CLI_PATH), {"--public-key"}).out.toLatin1();
    }
    m_pins = m_dir.filePath("trusted-keys");
    QVERIFY(writeFile(m_pins, pins));
    // Until every event has reached the collector: each wipe two entries, each
    // pass one more; bounded, never a measure.
    const auto arrived = [&] {
        return readFile(m_dir.filePath("store/rfc5424/ws1.log")).count("KCC_ENTRY=") >= 3 * 5
            && readFile(m_dir.filePath("store/rfc5424/ws2.log")).count("KCC_ENTRY=") >= 2 * 5
            && readFile(m_dir.filePath("store/traditional/ws2.log")).count("KCC_ENTRY=") >= 2 * 5;
    };
    for (int tries = 0; tries < 300 && !arrived(); ++tries)
        QThread::msleep(100);
    QVERIFY2(arrived(), readFile(m_dir.filePath("store/rfc5424/ws1.log")).constData());
    // The program's events as sent, for journald's formats.
    const QString capture = m_dir.filePath("capture.sock");
    Capture socket(capture);
    wipe(QStringLiteral("ws3"), 2, capture);
    m_datagrams = socket.take();
    QVERIFY(writeFile(m_pins, pins + runProgram(QStringLiteral(KCC_CLI_PATH), {"--public-key"}).out.toLatin1()));
}

// damage: what is done to the collection; named: the file and the text of
// the line naming it ("" where it is whole).
void TestFleet::collectorStore_data()
{
    QTest::addColumn<QString>("format");
    QTest::addColumn<QString>("damage");
    QTest::addColumn<QString>("named");
    QTest::addColumn<QString>("why");
    QTest::newRow("whole, traditional") << "traditional" << "" << "" << "";
    QTest::newRow("whole, RFC 5424") << "rfc5424" << "" << "" << "";
    QTest::newRow("event deleted") << "traditional" << "delete" << "traditional/ws1.log" << "записей 4–4 нет среди событий";
    QTest::newRow("entry edited") << "rfc5424" << "edit" << "rfc5424/ws1.log" << "подпись записи 6 не сходится";
    QTest::newRow("journal cut") << "traditional" << "cut" << "ws2/journal.jsonl" << "журнал обрезан";
    // Deleted on the workstation with its head: the events still hold every
    // entry, and its certificate still finds its own there.
    QTest::newRow("journal and head gone, a certificate kept") << "rfc5424" << "gone" << "" << "";
}

void TestFleet::collectorStore()
{
    QFETCH(QString, format);
    QFETCH(QString, damage);
    QFETCH(QString, named);
    QFETCH(QString, why);
    const QString collection = m_dir.filePath(QString::fromLatin1(QTest::currentDataTag()).replace(' ', '-').remove(','));
    QVERIFY(QDir().mkpath(collection + "/" + format));
    for (const QString &ws : kWorkstations) {
        QVERIFY(QFile::copy(m_dir.filePath(QStringLiteral("store/%1/%2.log").arg(format, ws)),
                            QStringLiteral("%1/%2/%3.log").arg(collection, format, ws)));
        QVERIFY(QDir().mkpath(collection + "/" + ws));
        for (const char *name : {"journal.jsonl", "journal.jsonl.head"})
            QVERIFY((damage == QLatin1String("gone") && ws == QLatin1String("ws1"))
                    || QFile::copy(m_dir.filePath(ws + "/" + name), QStringLiteral("%1/%2/%3").arg(collection, ws, QLatin1String(name))));
    }
    if (damage == QLatin1String("gone")) {
        qputenv("KCC_JOURNAL", QFile::encodeName(m_dir.filePath("ws1/journal.jsonl")));
        qputenv("KCC_SIGNING_KEY", QFile::encodeName(m_dir.filePath("ws1/signing.key")));
        qputenv("KCC_JOURNAL_NO_SYSLOG", "1");
        const ProgramRun made = runProgram(QStringLiteral(KCC_CLI_PATH), {"--certificate", "last", collection + "/ws1.json"});
        qunsetenv("KCC_JOURNAL_NO_SYSLOG");
        QVERIFY2(made.exitCode == 0, qPrintable(made.err));
    }
    const QString damaged = collection + "/" + named;
    QList<QByteArray> lines = readFile(damaged).split('\n');
    int line = 0;
    const auto lineOf = [&](const QByteArray &text) {
        for (int i = 0; i < lines.size(); ++i)
            if (lines.at(i).contains(text))
                return i + 1;
        return 0;
    };
    if (damage == QLatin1String("delete")) {
        line = lineOf("destruction entry 4 ");
        lines.removeAt(line - 1);
    } else if (damage == QLatin1String("edit")) {
        line = lineOf("destruction entry 6 ");
        QByteArray &edited = lines[line - 1];
        const int entry = edited.indexOf("KCC_ENTRY=");
        edited = edited.left(entry) + edited.mid(entry).replace("key2.p12", "key7.p12");
    } else if (damage == QLatin1String("cut")) {
        lines.removeLast(); // the empty rest after the last newline
        lines.removeLast();
        line = lines.size() + 1;
        lines.append(QByteArray());
    }
    if (!named.isEmpty())
        QVERIFY(writeFile(damaged, lines.join('\n')));
    const ProgramRun run = verify(collection);
    if (damage.isEmpty() || damage == QLatin1String("gone")) {
        QVERIFY2(run.exitCode == 0, qPrintable(run.out + run.err));
        if (!damage.isEmpty())
            QVERIFY2(run.out.contains(QStringLiteral("сверено с записями журналов: 1")), qPrintable(run.out));
        QVERIFY2(run.out.contains(QStringLiteral("установок (хост и ключ): 2, записей по событиям: 25"))
                     && run.out.contains(QStringLiteral("Хосты, чьи записи целы: ws1, ws2.")),
                 qPrintable(run.out));
        return;
    }
    QVERIFY2(run.exitCode != 0, qPrintable(run.out));
    QVERIFY2(run.out.contains(QStringLiteral("%1:%2: ").arg(damaged).arg(line)) && run.out.contains(why),
             qPrintable(run.out + run.err));
    if (damage != QLatin1String("cut"))
        QVERIFY2(run.out.contains(QStringLiteral("Хосты, чьи записи целы: ws2.")), qPrintable(run.out));
}

// journald's side, where no journald runs here: the program's own events,
// caught as sent, made into journalctl's export format and handed to the
// real systemd-journal-remote, whose journal file is then checked, and read
// back by journalctl as json.
void TestFleet::journaldExport()
{
    const QString remote = QStringLiteral("/lib/systemd/systemd-journal-remote");
    if (!QFileInfo::exists(remote))
        QSKIP("systemd-journal-remote is not installed (scripts/packages.sh lists it)");
    QVERIFY(m_datagrams.size() >= 2 * 5);
    QByteArray exported;
    qint64 stamp = 1700000000000000;
    for (const QByteArray &datagram : m_datagrams) {
        const QByteArray message = datagram.mid(datagram.indexOf("]: ") + 3);
        ++stamp;
        exported += "__REALTIME_TIMESTAMP=" + QByteArray::number(stamp) + "\n__MONOTONIC_TIMESTAMP="
            + QByteArray::number(stamp) + "\n_BOOT_ID=0123456789abcdef0123456789abcdef\n_HOSTNAME=ws3\n"
            + "SYSLOG_IDENTIFIER=kestrik-kcc\nMESSAGE=" + message + "\n\n";
    }
    const QString store = m_dir.filePath("journald");
    QVERIFY(QDir().mkpath(store + "/export"));
    QVERIFY(writeFile(store + "/export/ws3.export", exported));
    QVERIFY(QDir().mkpath(store + "/remote"));
    QProcess process;
    process.start(remote, {"--output=" + store + "/remote/ws3.journal", "--split-mode=none", store + "/export/ws3.export"});
    QVERIFY(process.waitForFinished(60000));
    QVERIFY2(process.exitCode() == 0, process.readAllStandardError().constData());
    // journalctl's json output of that file, as an auditor would save it.
    QVERIFY(QDir().mkpath(store + "/json"));
    process.setStandardOutputFile(store + "/json/ws3.events.json");
    process.start(QStringLiteral("journalctl"), {"--file=" + store + "/remote/ws3.journal", "-o", "json", "--all"});
    QVERIFY(process.waitForFinished(60000) && process.exitCode() == 0);
    for (const QString dir : {"export", "remote", "json"}) {
        const ProgramRun run = verify(store + "/" + dir);
        QVERIFY2(run.exitCode == 0 && run.out.contains(QStringLiteral("Хосты, чьи записи целы: ws3.")),
                 qPrintable(dir + ": " + run.out + run.err));
    }
}

// Windows Event Forwarding's side, where no Windows runs here: ws3's events
// as the program's Windows layer puts them (insertion strings: the person's
// line, the entry, the head) in the shape `wevtutil qe ForwardedEvents
// /f:xml` exports them, one event a line.
void TestFleet::windowsForwarded_data()
{
    QTest::addColumn<int>("deleted"); // the event taken out, counted from 1; 0: none
    QTest::newRow("whole") << 0;
    QTest::newRow("an event deleted") << 4;
}

void TestFleet::windowsForwarded()
{
    QFETCH(int, deleted);
    QVERIFY(m_datagrams.size() >= 2 * 5);
    const auto escaped = [](const QByteArray &text) {
        return QByteArray(text).replace('&', "&amp;").replace('<', "&lt;").replace('>', "&gt;");
    };
    QByteArray exported;
    int line = 0;
    for (int i = 0; i < m_datagrams.size(); ++i) {
        const QByteArray message = m_datagrams.at(i).mid(m_datagrams.at(i).indexOf("]: ") + 3);
        const int key = message.indexOf(" KCC_KEY_SHA256="), head = message.indexOf(" KCC_HEAD="),
                  entry = message.indexOf(" KCC_ENTRY=");
        QVERIFY(key > 0 && head > key && entry > head);
        if (i + 1 == deleted) {
            line = i + 1;
            continue;
        }
        exported += "<Event xmlns='http://schemas.microsoft.com/win/2004/08/events/event'><System><Provider "
                    "Name='Kestrik KCC'/><EventID Qualifiers='0'>1</EventID><Level>4</Level><TimeCreated "
                    "SystemTime='2026-12-09T10:00:0" + QByteArray::number(i % 10) + ".000000000Z'/><EventRecordID>"
            + QByteArray::number(i + 1) + "</EventRecordID><Channel>ForwardedEvents</Channel><Computer>ws3</Computer>"
            "<Security/></System><EventData><Data>" + escaped(message.left(key)) + "</Data><Data>"
            + escaped(message.mid(entry + 11)) + "</Data><Data>" + escaped(message.mid(head + 10, entry - head - 10))
            + "</Data></EventData></Event>\r\n";
    }
    const QString store = m_dir.filePath(QStringLiteral("windows-%1").arg(deleted));
    QVERIFY(QDir().mkpath(store));
    QVERIFY(writeFile(store + "/fleet.xml", exported));
    const ProgramRun run = verify(store);
    if (!deleted) {
        QVERIFY2(run.exitCode == 0 && run.out.contains(QStringLiteral("Хосты, чьи записи целы: ws3.")),
                 qPrintable(run.out + run.err));
        return;
    }
    // The gap is named at the event after it, the line the export gives it.
    QVERIFY2(run.exitCode != 0 && run.out.contains(QStringLiteral("%1/fleet.xml:%2: ").arg(store).arg(line))
                 && run.out.contains(QStringLiteral("нет среди событий")),
             qPrintable(run.out + run.err));
}

QTEST_GUILESS_MAIN(TestFleet)
#include "tst_fleet.moc"
