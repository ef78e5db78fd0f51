// The scripted modes of both programs (the window's and kestrik-kcc-cli):
// exit status, messages and what is left on disk and on the token. Each run is
// a new session with no terminal, as a script under cron would be.

#include "boxtexts.h"
#include "freshhome.h"
#include "certificate.h"
#include "commandline.h"
#include "commandoptions.h"
#include "forkedchild.h"
#include "wipesession.h"
#include "wipetexts.h"
#include "programrun.h"
#include "journal.h"
#include "journalforge.h"
#include "journalplace.h"
#include "signing.h"
#include "journalfile.h"
#include "tokenstore.h"
#include "tsa.h"

#include <QDate>
#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>
#include <QtTest>

#include <pwd.h>
#include <signal.h>
#include <unistd.h>

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

// The options a completion script offers: bash's word list, zsh's specs.
QSet<QString> fromCompletion(const QString &script)
{
    QSet<QString> found;
    static const QRegularExpression bashList(QStringLiteral(R"(^    local options='([^']*)')"));
    static const QRegularExpression zshSpec(QStringLiteral(R"(^    '(?:\([^)]*\)'\{-[a-z],)?(--[a-z]+(?:-[a-z]+)*))"));
    for (const QString &line : script.split(QLatin1Char('\n'))) {
        const auto words = bashList.match(line);
        if (words.hasMatch())
            for (const QString &word : words.captured(1).split(QLatin1Char(' ')))
                if (word.startsWith(QLatin1String("--")))
                    found << word;
        const auto spec = zshSpec.match(line);
        if (spec.hasMatch())
            found << spec.captured(1);
    }
    return found;
}

// The variables the manual page's ENVIRONMENT section names.
QSet<QString> environmentOfManualPage(const QString &source)
{
    QSet<QString> found;
    const QStringList lines = source.split(QLatin1Char('\n'));
    const int start = lines.indexOf(QStringLiteral(".SH ENVIRONMENT"));
    static const QRegularExpression name(QStringLiteral(R"([A-Z][A-Z0-9_]+)"));
    for (int i = start + 1; start >= 0 && i + 1 < lines.size() && !lines[i].startsWith(QLatin1String(".SH ")); ++i)
        if (lines[i] == QLatin1String(".TP"))
            for (auto m = name.globalMatch(lines[i + 1]); m.hasNext();)
                found << m.next().captured(0);
    return found;
}

// The KCC_ and VELMUX_ variables the programs' own sources read.
QSet<QString> environmentOfSources()
{
    QSet<QString> found;
    static const QRegularExpression read(QStringLiteral(
        R"re((?:qEnvironmentVariable(?:IsSet|IsEmpty)?|qgetenv|getenv)\(\s*"((?:KCC|VELMUX)_[A-Z0-9_]+)")re"));
    for (const char *dir : {"app", "cli", "journal", "media", "session", "translations", "velmux", "wipe"}) {
        QDirIterator files(QStringLiteral(KCC_SOURCE_DIR "/") + QLatin1String(dir), {"*.cpp", "*.h"}, QDir::Files,
                           QDirIterator::Subdirectories);
        while (files.hasNext()) {
            QFile file(files.next());
            if (!file.open(QIODevice::ReadOnly))
                continue;
            for (auto m = read.globalMatch(QString::fromUtf8(file.readAll())); m.hasNext();)
                found << m.next().captured(1);
        }
    }
    return found;
}

bool writeFile(const QString &path, const QByteArray &data)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(data) == data.size();
}

// A journal, its key and its pinned keys in a directory of their own, for
// the runs of one row.
struct RecordPlace {
    QTemporaryDir dir;
    QByteArray saved[3] = {qgetenv("KCC_JOURNAL"), qgetenv("KCC_SIGNING_KEY"), qgetenv("KCC_TRUSTED_KEYS")};
    QString journal() const { return dir.filePath(QStringLiteral("journal.jsonl")); }
    QString key() const { return dir.filePath(QStringLiteral("signing.key")); }
    RecordPlace()
    {
        qputenv("KCC_JOURNAL", QFile::encodeName(journal()));
        qputenv("KCC_SIGNING_KEY", QFile::encodeName(key()));
        qputenv("KCC_TRUSTED_KEYS", QFile::encodeName(dir.filePath(QStringLiteral("trusted-keys"))));
    }
    ~RecordPlace()
    {
        qputenv("KCC_JOURNAL", saved[0]);
        qputenv("KCC_SIGNING_KEY", saved[1]);
        qputenv("KCC_TRUSTED_KEYS", saved[2]);
    }
    // Everything in the directory, name and bytes.
    QMap<QString, QByteArray> state() const
    {
        QMap<QString, QByteArray> files;
        for (const QFileInfo &info : QDir(dir.path()).entryInfoList(QDir::Files | QDir::System | QDir::Hidden)) {
            QFile f(info.filePath());
            files.insert(info.fileName(), f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("?"));
        }
        return files;
    }
};

int lineOf(const QString &path, const QByteArray &text)
{
    QFile f(path);
    const QByteArray bytes = f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    return bytes.left(bytes.indexOf(text)).count('\n') + 1;
}

// The value at KEY/KEY/INDEX in a document; undefined where there is none.
QJsonValue jsonAt(const QJsonObject &document, const QString &path)
{
    QJsonValue value = document;
    for (const QString &step : path.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        bool index = false;
        const int at = step.toInt(&index);
        value = index ? value.toArray().at(at) : value.toObject().value(step);
    }
    return value;
}

// A scalar as a row writes it: null, true, 12, text.
QString jsonText(const QJsonValue &value)
{
    if (value.isNull())
        return QStringLiteral("null");
    if (value.isBool())
        return QLatin1String(value.toBool() ? "true" : "false");
    if (value.isDouble())
        return QString::number(qint64(value.toDouble()));
    return value.toString();
}

// What the journal holds before a row's run: nothing; a wipe; a wipe whose
// first entry was changed; a wipe with no key to check it; a wipe certified
// into {dir}/c.json with its key pinned and the journal and certificate
// collected into {dir}/fleet; that with the certificate tampered with.
bool recordFor(const QString &setup, const RecordPlace &place, const QString &key)
{
    if (setup.isEmpty())
        return true;
    if (!writeFile(key, QByteArray(900, 'k')) || runProgram({"--wipe-file", key, "-a", "gost", "-y"}).exitCode != 0)
        return false;
    if (setup == QLatin1String("edited")) {
        QList<QByteArray> entries = journalforge::lines(place.journal());
        entries.first().replace("\"planned\":2", "\"planned\":3");
        return journalforge::write(place.journal(), entries);
    }
    if (setup == QLatin1String("no key"))
        return QFile::remove(place.key());
    if (setup == QLatin1String("wiped"))
        return true;
    const QString certificate = place.dir.filePath(QStringLiteral("c.json"));
    const QDir fleet(place.dir.filePath(QStringLiteral("fleet")));
    if (runProgram({"--certificate", "last", certificate}).exitCode != 0
        || !writeFile(place.dir.filePath("trusted-keys"), runProgram({"--public-key"}).out.toLatin1())
        || !QDir().mkpath(fleet.filePath(QStringLiteral("host"))))
        return false;
    if (setup == QLatin1String("tampered")) {
        QFile f(certificate);
        if (!f.open(QIODevice::ReadOnly))
            return false;
        QByteArray text = f.readAll();
        f.close();
        if (!writeFile(certificate, text.replace("\"passes_done\": 2", "\"passes_done\": 3")))
            return false;
    }
    return QFile::copy(place.journal(), fleet.filePath(QStringLiteral("host/journal.jsonl")))
        && QFile::copy(place.journal() + QStringLiteral(".head"), fleet.filePath(QStringLiteral("host/journal.jsonl.head")))
        && QFile::copy(certificate, fleet.filePath(QStringLiteral("c.json")));
}

} // namespace

class TestCommandLine : public QObject
{
    Q_OBJECT

private slots:
    void files_data();
    void files();
    void terminalQuestion_data();
    void terminalQuestion();
    void json_data();
    void json();
    void token_data();
    void token();
    void journal();
    void certificate_data();
    void certificate();
    void certificateFields_data();
    void certificateFields();
    void certificateRefused_data();
    void certificateRefused();
    void collection_data();
    void collection();
    void timestamps_data();
    void timestamps();
    void structuredEvents();
    void record_data();
    void record();
    void oneRecord_data();
    void oneRecord();
    void readOnlyModesNeverWrite_data();
    void readOnlyModesNeverWrite();
    void endCannotVanish_data();
    void endCannotVanish();
    void killedWipeInSight_data();
    void killedWipeInSight();
    void documented_data();
    void documented();
    void environmentDocumented();
    void everyOutcomeReadsTheSame_data();
    void everyOutcomeReadsTheSame();

private:
    QJsonObject certificateOf(const QString &target, bool configured);

    QTemporaryDir m_dir;
    QHash<QString, QJsonObject> m_certificates; // one real wipe per target and settings
    QTemporaryDir m_fleet; // hosts' journals and certificates, made once, copied for each row
    QString m_tokenSerial;
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
    QTest::newRow("a PIN on the command line") << QStringList{"--pin", "1234"} << 2 << true << "никогда не берется" << QString();
    QTest::newRow("a PIN as --pin=VALUE") << QStringList{"--pin=1234"} << 2 << true << "никогда не берется" << QString();
    QTest::newRow("--algorithm=NAME") << QStringList{"--wipe-file", "{key}", "--algorithm=dod", "--yes"} << 0 << false << wiped << QString();
    QTest::newRow("--wipe-file=FILE, bundled -ya NAME")
        << QStringList{"{cli}", "--wipe-file={key}", "-ya", "dod"} << 0 << false << wiped << QString();
    QTest::newRow("an unknown letter in a bundle")
        << QStringList{"{cli}", "--wipe-file", "{key}", "-yz", "-a", "dod"} << 2 << true << "неизвестный параметр «-z»" << QString();
    QTest::newRow("a flag given a value")
        << QStringList{"--wipe-file", "{key}", "-a", "dod", "--yes=no"} << 2 << true << "--yes не принимает значения" << QString();
    QTest::newRow("-- ends the options: -y after it is a file, not the answer")
        << QStringList{"--wipe-file", "-a", "dod", "--", "{key}", "-y"} << 3 << true << "не подтверждено" << QString();
    QTest::newRow("two modes: both named")
        << QStringList{"--wipe-file", "{key}", "--journal", "-a", "dod", "-y"} << 2 << true
        << "--wipe-file и --journal нельзя указывать вместе" << QString();
    QTest::newRow("two modes, English") << QStringList{"{cli}", "--journal", "--act", "{key}.pdf"} << 2 << true
                                        << "--journal and --act cannot be used together" << "en";
    QTest::newRow("version, no display") << QStringList{"--version"} << 0 << true << QString() << QString();
    QTest::newRow("help, Russian") << QStringList{"--help"} << 0 << true << "Использование: kestrik-kcc" << "ru";
    QTest::newRow("help, English") << QStringList{"--help"} << 0 << true << "Usage: kestrik-kcc" << "en";
    QTest::newRow("usage error, English") << QStringList{"--pin", "1234"} << 2 << true << "is never taken" << "en";
    QTest::newRow("wiped, English") << QStringList{"--wipe-file", "{key}", "-a", "dod", "--yes"} << 0 << false
                                    << "Key container wiped and deleted successfully." << "en";
    QTest::newRow("cli: wiped") << QStringList{"{cli}", "--wipe-file", "{key}", "-a", "dod", "--yes"} << 0 << false << wiped << QString();
    QTest::newRow("cli: a link is refused")
        << QStringList{"{cli}", "--wipe-file", "{link}", "-a", "gost", "-y"} << 5 << true << boxtexts::fileFailed << QString();
    QTest::newRow("cli: its results under its own name")
        << QStringList{"{cli}", "--wipe-file", "{key}", "-a", "dod", "--yes"} << 0 << false << "kestrik-kcc-cli: /" << QString();
    // Refused before the question: no terminal is needed to hear it.
    QTest::newRow("a folder without --yes: refused, not asked")
        << QStringList{"{cli}", "--wipe-file", "{dir}", "-a", "dod"} << 5 << true << boxtexts::fileFailed << QString();
    QTest::newRow("a missing file without --yes: not found, not asked")
        << QStringList{"--wipe-file", "{missing}", "-a", "dod"} << 4 << true << boxtexts::fileNotFound.trimmed() << QString();
    QTest::newRow("a link without --yes: refused, not asked")
        << QStringList{"{cli}", "--wipe-file", "{link}", "-a", "dod"} << 5 << true << boxtexts::fileFailed << QString();
    QTest::newRow("a missing file and a key without a terminal: the key is asked about")
        << QStringList{"{cli}", "--wipe-file", "{missing}", "{key}", "-a", "dod"} << 3 << true << "не подтверждено" << QString();
    QTest::newRow("--json is not taken by the act")
        << QStringList{"--act", "{key}.pdf", "--json"} << 2 << true << "--json is not taken with --act" << "en";
    QTest::newRow("--quiet only with a wipe")
        << QStringList{"{cli}", "--list-tokens", "-q"} << 2 << true << "--quiet" << QString();
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
    QVERIFY(QDir().mkpath(m_dir.filePath(QStringLiteral("folder.pfx"))));
    arguments.replaceInStrings(QStringLiteral("{dir}"), m_dir.filePath(QStringLiteral("folder.pfx")));

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

void TestCommandLine::terminalQuestion_data()
{
    QTest::addColumn<QString>("target"); // "key", "folder" or "missing"
    QTest::addColumn<QStringList>("extra");
    QTest::addColumn<bool>("hardLink");
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("said"); // on the terminal, besides the question's path and size
    QTest::addColumn<QString>("unsaid");
    const QString none = QStringLiteral("\x01");
    QTest::newRow("no: the file and its size, the answer named") << "key" << QStringList() << false << QByteArray("нет\n") << 3
                                                                 << QStringLiteral("ответ «нет»") << QStringLiteral("ответьте в терминале");
    QTest::newRow("the fill may take the free space") << "key" << QStringList{"--fill-freed"} << false << QByteArray("нет\n") << 3
                                                      << QStringLiteral("свободное место тома будет заполнено") << none;
    QTest::newRow("other names of the file") << "key" << QStringList() << true << QByteArray("нет\n") << 3
                                             << QStringLiteral("другие имена (жесткие ссылки): 1") << none;
    QTest::newRow("yes: a line per pass while it runs") << "key" << QStringList() << false << QByteArray("да\n") << 0
                                                        << QStringLiteral("\rПроход 3 из 3") << none;
    QTest::newRow("--quiet: no progress, nothing said of a success")
        << "key" << QStringList{"--quiet"} << false << QByteArray("да\n") << 0 << QStringLiteral("Алгоритм: ")
        << QStringLiteral("Проход");
    QTest::newRow("--json: the document alone on standard output, the progress on the terminal")
        << "key" << QStringList{"--json"} << false << QByteArray("да\n") << 0 << QStringLiteral("\rПроход 3 из 3") << none;
    QTest::newRow("a folder: refused at once") << "folder" << QStringList() << false << QByteArray("да\n") << 5
                                               << boxtexts::fileFailed << QStringLiteral("Вы действительно");
    QTest::newRow("a missing file: not found at once") << "missing" << QStringList() << false << QByteArray("да\n") << 4
                                                       << boxtexts::fileNotFound.trimmed() << QStringLiteral("Вы действительно");
}

// The question on the terminal says what the window's does; only a typed
// "да" goes on; what cannot be wiped is refused before it. The terminal is a
// pseudo-terminal of script(1); standard output goes to a file.
void TestCommandLine::terminalQuestion()
{
    QFETCH(QString, target);
    QFETCH(QStringList, extra);
    QFETCH(bool, hardLink);
    QFETCH(QByteArray, answer);
    QFETCH(int, exitCode);
    QFETCH(QString, said);
    QFETCH(QString, unsaid);
    if (QStandardPaths::findExecutable(QStringLiteral("script")).isEmpty())
        QSKIP("script(1) is not installed");
    RecordPlace place;
    QString key = m_dir.filePath(QStringLiteral("вопрос.pfx"));
    const QString link = m_dir.filePath(QStringLiteral("second-name.pfx"));
    QFile::remove(link);
    QVERIFY(writeFile(key, QByteArray(4000, 'q')));
    if (hardLink)
        QCOMPARE(::link(QFile::encodeName(key).constData(), QFile::encodeName(link).constData()), 0);
    if (target == QLatin1String("folder")) {
        key = m_dir.filePath(QStringLiteral("папка.pfx"));
        QVERIFY(QDir().mkpath(key));
    } else if (target == QLatin1String("missing")) {
        key = m_dir.filePath(QStringLiteral("нет.pfx"));
    }
    const QString output = m_dir.filePath(QStringLiteral("stdout"));
    QStringList command{QStringLiteral(KCC_CLI_PATH), QStringLiteral("--wipe-file"), key, QStringLiteral("-a"),
                        QStringLiteral("dod")};
    command += extra;
    for (QString &word : command)
        word = QLatin1Char('\'') + word.replace(QLatin1Char('\''), QStringLiteral("'\\''")) + QLatin1Char('\'');
    QProcess terminal;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    terminal.setProcessEnvironment(env);
    terminal.start(QStringLiteral("script"), {QStringLiteral("-qec"), command.join(QLatin1Char(' ')) + QStringLiteral(" >'") + output + QLatin1Char('\''),
                                              QStringLiteral("/dev/null")});
    terminal.write(answer);
    QVERIFY(terminal.waitForFinished(60000));
    const QString screen = QString::fromUtf8(terminal.readAll());
    QVERIFY2(terminal.exitCode() == exitCode, qPrintable(screen));
    const bool asked = target == QLatin1String("key") && !extra.contains(QStringLiteral("--yes"));
    QCOMPARE(screen.contains(QStringLiteral("Вы действительно хотите удалить ключевой контейнер?")), asked);
    if (asked)
        QVERIFY2(screen.contains(key) && screen.contains(QStringLiteral("Размер: 4")), qPrintable(screen));
    QVERIFY2(screen.contains(said), qPrintable(screen));
    QVERIFY2(!screen.contains(unsaid), qPrintable(screen));
    if (extra.contains(QStringLiteral("--quiet")))
        QVERIFY2(!screen.contains(boxtexts::wiped), qPrintable(screen));
    QCOMPARE(QFileInfo::exists(key), exitCode != 0 && target != QLatin1String("missing"));
    QFile out(output);
    QVERIFY(out.open(QIODevice::ReadOnly));
    const QByteArray printed = out.readAll();
    if (!extra.contains(QStringLiteral("--json"))) {
        QVERIFY2(printed.isEmpty(), printed.constData());
        return;
    }
    const QJsonObject document = QJsonDocument::fromJson(printed).object();
    QCOMPARE(document.value("exit_status").toInt(), exitCode);
    QCOMPARE(document.value("targets").toArray().first().toObject().value("end_state").toString(), QStringLiteral("wiped"));
}

void TestCommandLine::json_data()
{
    QTest::addColumn<QString>("setup"); // what the journal holds first: see recordFor()
    QTest::addColumn<QStringList>("arguments"); // {key}, {folder}, {missing}, {dir} stand for paths
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QStringList>("states"); // each target's end state, in order
    // The journal's and the certificates' modes: KEY/PATH=VALUE in the document, {seq} the last ending entry's number.
    QTest::addColumn<QStringList>("fields");
    QTest::newRow("wiped: recorded, its entry's number and hash")
        << "" << QStringList{"--wipe-file", "{key}", "--algorithm=dod", "--yes"} << 0 << QStringList{"wiped"} << QStringList();
    QTest::newRow("a folder, a missing file and a key: each its own status, the gravest the document's")
        << "" << QStringList{"--wipe-file", "{folder}", "{missing}", "{key}", "-ya", "gost"} << 5
        << QStringList{"refused", "not-found", "wiped"} << QStringList();
    QTest::newRow("not confirmed: nothing wiped, the refusals still listed")
        << "" << QStringList{"--wipe-file", "{missing}", "{key}", "-a", "gost"} << 3 << QStringList{"not-found"} << QStringList();
    QTest::newRow("no such token") << "" << QStringList{"--wipe-token", "0000", "-a", "gost", "--pin-stdin", "-y"} << 4
                                   << QStringList{"not-found"} << QStringList();
    QTest::newRow("the token list") << "" << QStringList{"--list-tokens"} << 0 << QStringList() << QStringList{"tokens/"};
    QTest::newRow("the journal") << "wiped" << QStringList{"--journal"} << 0 << QStringList()
                                 << QStringList{"verification/state=intact", "entries/0/seq={seq}", "entries/0/end_state=wiped",
                                                "entries/0/finished=true"};
    QTest::newRow("the journal, an entry changed")
        << "edited" << QStringList{"--journal"} << 9 << QStringList() << QStringList{"verification/state=broken", "verification/line=1"};
    QTest::newRow("the journal checked, an entry changed")
        << "edited" << QStringList{"--verify-journal"} << 9 << QStringList()
        << QStringList{"verification/break=changed", "verification/line=1"};
    QTest::newRow("the journal checked, no key") << "no key" << QStringList{"--verify-journal"} << 15 << QStringList()
                                                 << QStringList{"verification/state=not-verified", "verification/last_seq={seq}"};
    QTest::newRow("a certificate written") << "wiped" << QStringList{"--certificate", "last", "{dir}/c.json"} << 0 << QStringList()
                                           << QStringList{"seq={seq}", "written=true", "error=null"};
    QTest::newRow("no such entry to certify") << "wiped" << QStringList{"--certificate", "999", "{dir}/c.json"} << 4 << QStringList()
                                              << QStringList{"written=false", "seq=null"};
    QTest::newRow("a certificate checked") << "certified" << QStringList{"--verify-certificate", "{dir}/c.json"} << 0
                                           << QStringList() << QStringList{"holds=true", "seq={seq}", "why=null"};
    QTest::newRow("a tampered certificate checked") << "tampered" << QStringList{"--verify-certificate", "{dir}/c.json"} << 13
                                                    << QStringList() << QStringList{"holds=false", "signer=null"};
    QTest::newRow("a collection") << "certified" << QStringList{"--verify-collection", "{dir}/fleet"} << 0 << QStringList()
                                  << QStringList{"collection/journals=1", "collection/cross_checked=1", "collection/events=null"};
    QTest::newRow("a collection with a tampered certificate")
        << "tampered" << QStringList{"--verify-collection", "{dir}/fleet"} << 13 << QStringList()
        << QStringList{"collection/failures/0/file={dir}/fleet/c.json", "collection/failures/0/line={signature line}"};
    QTest::newRow("the key, made now") << "" << QStringList{"--public-key"} << 0 << QStringList() << QStringList{"made=true"};
    QTest::newRow("the key, made before") << "wiped" << QStringList{"--public-key"} << 0 << QStringList() << QStringList{"made=false"};
}

// One document on standard output, whatever the people's texts on standard error say.
void TestCommandLine::json()
{
    QFETCH(QString, setup);
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QStringList, states);
    QFETCH(QStringList, fields);
    RecordPlace place;
    const QString key = place.dir.filePath(QStringLiteral("ключ.pfx"));
    QVERIFY(QDir().mkpath(place.dir.filePath(QStringLiteral("folder.pfx"))));
    QVERIFY(recordFor(setup, place, key));
    QVERIFY(writeFile(key, QByteArray(4096, 'j')));
    const QString seq = setup.isEmpty() ? QString() : QString::number(Journal(place.journal()).read().last().sequence);
    for (QStringList *list : {&arguments, &fields}) {
        list->replaceInStrings(QStringLiteral("{key}"), key);
        list->replaceInStrings(QStringLiteral("{folder}"), place.dir.filePath(QStringLiteral("folder.pfx")));
        list->replaceInStrings(QStringLiteral("{missing}"), place.dir.filePath(QStringLiteral("missing.pfx")));
        list->replaceInStrings(QStringLiteral("{dir}"), place.dir.path());
        list->replaceInStrings(QStringLiteral("{seq}"), seq);
        list->replaceInStrings(QStringLiteral("{signature line}"),
                               QString::number(lineOf(place.dir.filePath(QStringLiteral("c.json")), "\"signature\"")));
    }
    const Run run = runProgram(QStringList{QStringLiteral("{cli}"), QStringLiteral("--json")} + arguments,
                               QByteArray("1234\n"));
    QVERIFY2(run.exitCode == exitCode, qPrintable(QString::number(run.exitCode) + run.out + run.err));
    QJsonParseError error;
    const QJsonObject document = QJsonDocument::fromJson(run.out.toUtf8(), &error).object();
    QVERIFY2(error.error == QJsonParseError::NoError, qPrintable(run.out));
    QCOMPARE(document.value("format").toString(), QStringLiteral("kestrik-kcc result 1"));
    QCOMPARE(document.value("mode").toString(), arguments.first().mid(2));
    QCOMPARE(document.value("exit_status").toInt(), exitCode);
    for (const QString &field : fields) {
        const QString path = field.section(QLatin1Char('='), 0, 0);
        QVERIFY2(jsonAt(document, path) != QJsonValue(QJsonValue::Undefined), qPrintable(path + run.out));
        if (field.contains(QLatin1Char('=')))
            QVERIFY2(jsonText(jsonAt(document, path)) == field.section(QLatin1Char('='), 1), qPrintable(field + run.out));
    }
    if (!arguments.first().startsWith(QLatin1String("--wipe-")))
        return;
    QStringList told;
    const QVector<JournalRecord> records = Journal().read();
    for (const QJsonValue &value : document.value("targets").toArray()) {
        const QJsonObject target = value.toObject();
        told << target.value("end_state").toString();
        QCOMPARE(target.value("exit_status").toInt(), exitStatusOf(endStateFromWord(told.last())));
        QCOMPARE(target.value("recorded").toBool(), told.last() == QLatin1String("wiped"));
        if (!target.value("recorded").toBool())
            continue;
        // The number and hash the journal itself gives its ending entry.
        QVERIFY(!records.isEmpty());
        QCOMPARE(qint64(target.value("seq").toDouble()), records.last().sequence);
        QCOMPARE(target.value("hash").toString(), records.last().hash);
        QCOMPARE(target.value("path").toString(), key);
        QCOMPARE(target.value("passes_done").toInt(), target.value("passes_planned").toInt());
    }
    QCOMPARE(told, states);
    // Refused at once: nothing recorded of a target never asked about.
    if (!states.contains(QStringLiteral("wiped")))
        QVERIFY(records.isEmpty());
}

void TestCommandLine::token_data()
{
    QTest::addColumn<QString>("serial"); // empty: the token's own
    QTest::addColumn<QByteArray>("pin");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<bool>("containerRemains");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("program"); // "{cli}": kestrik-kcc-cli; empty: the window's
    // VELMUX_PKCS11_MODULE, "{module}" the token's; empty: the token's alone.
    QTest::addColumn<QString>("modules");
    const QByteArray pin = TokenStore::defaultPin().toUtf8() + '\n';
    QTest::newRow("deleted; SoftHSM2 replaces instead of overwriting") << QString() << pin << 8 << false << QStringLiteral("не позволил перезаписать") << QString() << QString();
    QTest::newRow("cli: deleted") << QString() << pin << 8 << false << QStringLiteral("не позволил перезаписать") << "{cli}" << QString();
    QTest::newRow("wrong PIN") << QString() << QByteArray("000000\n") << 7 << true << boxtexts::wrongPin << QString() << QString();
    QTest::newRow("no such serial") << QStringLiteral("0000") << pin << 4 << true << QStringLiteral("не найден") << QString() << QString();
    QTest::newRow("no PIN given") << QString() << QByteArray() << 1 << true << QStringLiteral("PIN-код не прочитан") << QString() << QString();
    // A mistyped path is an error naming it, never "no tokens"; nothing wiped.
    const QString notLoaded = QStringLiteral("модуль PKCS#11 не загружен: /nonexistent.so: ");
    QTest::newRow("cli: a module that does not load") << QString() << pin << 1 << true << notLoaded << "{cli}"
                                                      << QStringLiteral("/nonexistent.so");
    QTest::newRow("cli: a module that does not load beside a good one")
        << QString() << pin << 1 << true << notLoaded << "{cli}" << QStringLiteral("{module}:/nonexistent.so");
    QTest::newRow("a module that does not load") << QString() << pin << 1 << true << notLoaded << QString()
                                                 << QStringLiteral("/nonexistent.so");
    QTest::newRow("cli: no PIN file: the file and the reason named")
        << QString() << QByteArray("{no-file}") << 1 << true
        << QStringLiteral("kestrik-kcc-cli: /nonexistent/pin: PIN-код не прочитан: No such file or directory") << "{cli}"
        << QString();
}

void TestCommandLine::token()
{
    QFETCH(QString, serial);
    QFETCH(QByteArray, pin);
    QFETCH(int, exitCode);
    QFETCH(bool, containerRemains);
    QFETCH(QString, message);
    QFETCH(QString, program);
    QFETCH(QString, modules);
    if (!TokenStore::unavailableReason().isEmpty())
        QSKIP(qPrintable(TokenStore::unavailableReason()));
    TokenStore store;
    QVERIFY2(store.initToken(QStringLiteral("Beta")), qPrintable(store.errorString()));
    QVERIFY(store.writeContainer(QStringLiteral("Beta"), QByteArray(300, 'c')));
    const QByteArray tokenModule = qgetenv("VELMUX_PKCS11_MODULE");
    if (!modules.isEmpty())
        qputenv("VELMUX_PKCS11_MODULE", modules.replace(QStringLiteral("{module}"), QFile::decodeName(tokenModule)).toUtf8());

    const QStringList self = program.isEmpty() ? QStringList() : QStringList{program};
    const Run list = runProgram(self + QStringList{QStringLiteral("--list-tokens")});
    if (!modules.isEmpty()) {
        QCOMPARE(list.exitCode, 1);
        QVERIFY2(list.err.contains(message), qPrintable(list.err));
        QVERIFY2(list.out.isEmpty(), qPrintable(list.out));
    } else {
        QCOMPARE(list.exitCode, 0);
        QVERIFY2(list.out.contains(store.serial(QStringLiteral("Beta")) + QStringLiteral("\tBeta")), qPrintable(list.out));
        const Run listed = runProgram(self + QStringList{QStringLiteral("--list-tokens"), QStringLiteral("--json")});
        QCOMPARE(listed.exitCode, 0);
        int beta = 0;
        for (const QJsonValue &value : QJsonDocument::fromJson(listed.out.toUtf8()).object().value("tokens").toArray()) {
            const QJsonObject token = value.toObject();
            if (token.value("serial").toString() != store.serial(QStringLiteral("Beta")))
                continue;
            ++beta;
            QCOMPARE(token.value("label").toString(), QStringLiteral("Beta"));
            QVERIFY2(!token.value("maker").toString().isEmpty(), qPrintable(listed.out)); // SoftHSM2 names its maker
        }
        QCOMPARE(beta, 1);
    }

    if (serial.isEmpty())
        serial = store.serial(QStringLiteral("Beta"));
    const QStringList pinFrom = pin == "{no-file}" ? QStringList{QStringLiteral("--pin-file"), QStringLiteral("/nonexistent/pin")}
                                                   : QStringList{QStringLiteral("--pin-stdin")};
    const Run run = runProgram(self + QStringList{QStringLiteral("--wipe-token"), serial, QStringLiteral("-a"),
                                                  QStringLiteral("gost"), QStringLiteral("--yes")} + pinFrom,
                               pin);
    qputenv("VELMUX_PKCS11_MODULE", tokenModule);
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
    const QString journal = m_dir.filePath(QStringLiteral("journal.jsonl"));
    std::unique_ptr<JournalPlace> place = std::make_unique<JournalPlace>(journal);
    const QString key = m_dir.filePath(QStringLiteral("журналируемый.pfx"));
    const QString second = m_dir.filePath(QStringLiteral("second.p12"));
    QVERIFY(writeFile(key, QByteArray(700, 'k')) && writeFile(second, QByteArray(70, 'k')));

    QCOMPARE(runProgram({"--wipe-file", key, second, "-a", "vsitr", "-y"}).exitCode, 0);
    const Run verified = runProgram({"--verify-journal"});
    const Run printed = runProgram({"--journal"});
    const QString act = m_dir.filePath(QStringLiteral("act.pdf"));
    const Run acted = runProgram({"--act", act, "--from", QDate::currentDate().toString(Qt::ISODate)});
    // The number the CSV shows for a wipe is the one --certificate takes, as is "last".
    const QString shown = printed.out.trimmed().split(QStringLiteral("\r\n")).last().section(QLatin1Char(','), 0, 0).remove('"');
    const QString byNumber = m_dir.filePath(QStringLiteral("by-number.json"));
    const QString byLast = m_dir.filePath(QStringLiteral("by-last.json"));
    QCOMPARE(runProgram({"--certificate", shown, byNumber}).exitCode, 0);
    QCOMPARE(runProgram({"{cli}", "--certificate", "last", byLast}).exitCode, 0);
    QFile file(journal);
    QVERIFY(file.open(QIODevice::ReadWrite));
    QByteArray text = file.readAll();
    text.replace(text.indexOf("VSITR"), 5, "DoD 5220.22-M"); // the first entry, edited
    QVERIFY(file.seek(0) && file.write(text) == text.size() && file.resize(text.size()));
    file.close();
    const Run broken = runProgram({"--verify-journal"});
    place.reset();

    QCOMPARE(verified.exitCode, 0);
    QCOMPARE(printed.exitCode, 0);
    QVERIFY2(printed.out.contains(key) && printed.out.contains(QStringLiteral("VSITR")), qPrintable(printed.out));
    QCOMPARE(acted.exitCode, 0);
    QVERIFY(QFileInfo(act).size() > 0);
    QCOMPARE(broken.exitCode, 9);
    QFile certified(byNumber), last(byLast);
    QVERIFY(certified.open(QIODevice::ReadOnly) && last.open(QIODevice::ReadOnly));
    QCOMPARE(certified.readAll(), last.readAll());
}

void TestCommandLine::certificate_data()
{
    QTest::addColumn<QString>("tamper"); // what is done to the certificate before it is checked
    QTest::addColumn<QString>("keys");   // what it is checked with: given, pinned, none
    QTest::addColumn<int>("exitCode");
    QTest::newRow("as written, the key given") << "" << "given" << 0;
    QTest::newRow("as written, the key pinned") << "" << "pinned" << 0;
    QTest::newRow("as written, no key given or pinned") << "" << "none" << 15;
    QTest::newRow("a field edited") << "edit" << "given" << 13;
    QTest::newRow("checked with another key") << "other key" << "given" << 13;
    QTest::newRow("the key in it swapped for another") << "swap key" << "given" << 13;
    QTest::newRow("signed by a key of its own, nothing pinned") << "own key" << "none" << 15;
    QTest::newRow("signed by a key of its own, checked with the pinned key") << "own key" << "pinned" << 13;
    // Read as another writer may leave it: the same body, its text otherwise.
    QTest::newRow("reformatted, non-ASCII escaped") << "escaped" << "pinned" << 0;
    // The signed body, then an edited one under the same name: the parser keeps the last.
    QTest::newRow("an edited body after the signed one") << "second body" << "pinned" << 13;
}

// A certificate exported from the journal verifies offline with the key
// --public-key prints, given or pinned, here and, independently, with
// openssl; every change to it fails, and the key it carries proves nothing.
void TestCommandLine::certificate()
{
    QFETCH(QString, tamper);
    QFETCH(QString, keys);
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
    QCOMPARE(document.value("signer_key_sha256").toString(),
             SigningKey::fingerprint(QByteArray::fromHex(publicKey.toLatin1())));
    QJsonObject body = document.value("certificate").toObject();
    QCOMPARE(body.value("media").toObject().value("path").toString(), QFileInfo(key).absoluteFilePath());
    QCOMPARE(body.value("sanitization").toObject().value("passes_done").toInt(), 2);
    QStringList check{"--verify-certificate", file};
    if (keys == QLatin1String("given"))
        check << "--key" << publicKey;
    const QString otherKey = QString(64, QLatin1Char('7'));
    if (tamper == QLatin1String("own key")) {
        // Anyone's key: another installation's journal and certificate, made by the program.
        RecordPlace forger;
        QVERIFY(writeFile(key, QByteArray(5000, 'c')));
        QCOMPARE(runProgram({"--wipe-file", key, "-a", "gost", "--yes"}).exitCode, 0);
        QCOMPARE(runProgram({"--certificate", QString::number(Journal().read().last().sequence), file}).exitCode, 0);
        QVERIFY(f.open(QIODevice::ReadOnly));
        document = QJsonDocument::fromJson(f.readAll()).object();
        f.close();
        QVERIFY(document.value("public_key").toString() != publicKey);
    } else if (tamper == QLatin1String("edit") || tamper == QLatin1String("second body")) {
        QJsonObject media = body.value("media").toObject();
        media["path"] = QStringLiteral("/somewhere/else.pfx");
        body["media"] = media;
        document["certificate"] = body;
    } else if (tamper == QLatin1String("other key")) {
        check.replace(check.size() - 1, otherKey);
    } else if (tamper == QLatin1String("swap key")) {
        document["public_key"] = otherKey;
    }
    QByteArray text = QJsonDocument(document).toJson();
    if (tamper == QLatin1String("escaped")) {
        QString escaped;
        for (const QChar c : QString::fromUtf8(text))
            escaped += c.unicode() < 128 ? QString(c) : QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
        QVERIFY(escaped.contains(QLatin1String("\\u04")));
        text = escaped.toLatin1();
    } else if (tamper == QLatin1String("second body")) {
        f.open(QIODevice::ReadOnly);
        const QByteArray signedBody = QJsonDocument(QJsonDocument::fromJson(f.readAll()).object().value("certificate").toObject()).toJson();
        f.close();
        text = "{\n    \"certificate\": " + signedBody.trimmed() + "," + text.mid(1);
    }
    QVERIFY(writeFile(file, text));
    const QByteArray saved = qgetenv("KCC_TRUSTED_KEYS");
    const QString pinned = m_dir.filePath(QStringLiteral("trusted-keys"));
    QVERIFY(writeFile(pinned, "# the organisation's\n" + publicKey.toLatin1() + '\n'));
    qputenv("KCC_TRUSTED_KEYS", QFile::encodeName(keys == QLatin1String("none") ? pinned + ".absent" : pinned));
    const ProgramRun verified = runProgram(check);
    qputenv("KCC_TRUSTED_KEYS", saved);
    QVERIFY2(verified.exitCode == exitCode, qPrintable(verified.out + verified.err));
}

// The value at a dotted path of a certificate; arrays counted from 1, as the act shows them.
QString fieldAt(const QJsonObject &body, const QString &path)
{
    QJsonValue value = body;
    for (const QString &part : path.split(QLatin1Char('.'))) {
        bool index = false;
        const int n = part.toInt(&index);
        value = index ? value.toArray().at(n - 1) : value.toObject().value(part);
    }
    return value.isDouble() ? QString::number(value.toDouble()) : value.toString();
}

// A real wipe of a file or of a SoftHSM2 token's container, with or without
// an organisation's settings, and its certificate's body.
QJsonObject TestCommandLine::certificateOf(const QString &target, bool configured)
{
    const QString id = target + (configured ? "+settings" : "");
    if (m_certificates.contains(id))
        return m_certificates.value(id);
    const QString ini = qEnvironmentVariable("KCC_CERTIFICATE_SETTINGS");
    QFile::remove(ini);
    if (configured && !writeFile(ini, "[operator]\nname=Иванов Иван Иванович\ntitle=Администратор безопасности\n"
                                      "organisation=ООО Ромашка, отдел 3\n[media]\nproperty_number=ИНВ-0042\n"
                                      "classification=ДСП\n[sanitization]\nnotes=по заявке 17\n"
                                      "[destination]\nkind=internal reuse\n"))
        return QJsonObject();
    int exitCode = -1;
    if (target == QLatin1String("file")) {
        const QString key = m_dir.filePath(id + ".pfx");
        writeFile(key, QByteArray(5000, 'f'));
        exitCode = runProgram({"--wipe-file", key, "-a", "dod", "--yes"}).exitCode;
    } else {
        TokenStore store;
        if (!store.initToken(QStringLiteral("Gamma")) || !store.writeContainer(QStringLiteral("Gamma"), QByteArray(300, 't'), false, QStringLiteral("Ключи 2024")))
            return QJsonObject();
        m_tokenSerial = store.serial(QStringLiteral("Gamma"));
        exitCode = runProgram({"--wipe-token", store.serial(QStringLiteral("Gamma")), "-a", "gost", "--pin-stdin", "--yes"},
                              TokenStore::defaultPin().toUtf8() + '\n').exitCode;
    }
    QFile::remove(ini);
    const QVector<JournalRecord> records = Journal().read();
    if (exitCode < 0 || records.isEmpty())
        return QJsonObject();
    const QString file = m_dir.filePath(id + ".json");
    if (runProgram({"--certificate", QString::number(records.last().sequence), file}).exitCode != 0)
        return QJsonObject();
    QFile f(file);
    f.open(QIODevice::ReadOnly);
    const QByteArray text = f.readAll();
    QJsonObject body = QJsonDocument::fromJson(text).object().value("certificate").toObject();
    // No media category anywhere: a container's overwrite is no Clear or Purge of a medium.
    if (text.contains("Clear") || text.contains("Purge") || text.contains("category"))
        body = QJsonObject();
    m_certificates.insert(id, body);
    return body;
}

void TestCommandLine::certificateFields_data()
{
    QTest::addColumn<QString>("target");
    QTest::addColumn<bool>("configured");
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("expected"); // "<login>": the user's login; "<token serial>"; "*": any text, "unknown" included
    const QString login = QString::fromLocal8Bit(getpwuid(getuid())->pw_name);
    QTest::newRow("operator from the settings") << "file" << true << "operator.name" << "Иванов Иван Иванович";
    QTest::newRow("says the name is from the settings") << "file" << true << "operator.name_source" << "settings";
    QTest::newRow("operator's title") << "file" << true << "operator.title" << "Администратор безопасности";
    QTest::newRow("organisation") << "file" << true << "operator.organisation" << "ООО Ромашка, отдел 3";
    QTest::newRow("property number") << "file" << true << "media.property_number" << "ИНВ-0042";
    QTest::newRow("classification") << "file" << true << "media.classification" << "ДСП";
    QTest::newRow("notes") << "file" << true << "sanitization.notes" << "по заявке 17";
    QTest::newRow("destination") << "file" << true << "destination.kind" << "internal reuse";
    QTest::newRow("operator falls back to the login") << "file" << false << "operator.name" << login;
    QTest::newRow("says the name is the login") << "file" << false << "operator.name_source" << "login";
    QTest::newRow("organisation not set") << "file" << false << "operator.organisation" << "unknown";
    QTest::newRow("property number not set") << "file" << false << "media.property_number" << "unknown";
    QTest::newRow("backup not set") << "file" << false << "media.data_backed_up" << "unknown";
    QTest::newRow("file scope") << "file" << false << "sanitization.scope" << "the named container: the file";
    QTest::newRow("technique") << "file" << false << "sanitization.technique" << "overwrite, then removal";
    QTest::newRow("first pass pattern") << "file" << false << "sanitization.passes.1.pattern" << "0x00";
    QTest::newRow("last pass pattern") << "file" << false << "sanitization.passes.3.pattern" << "random data";
    QTest::newRow("passes done") << "file" << false << "sanitization.passes_done" << "3";
    QTest::newRow("no search asked for") << "file" << false << "verification.volume_search" << "not run";
    QTest::newRow("read back") << "file" << false << "verification.read_back" << "*";
    QTest::newRow("disk's maker") << "file" << false << "media.disks.1.maker" << "*";
    QTest::newRow("disk's model") << "file" << false << "media.disks.1.model" << "*";
    QTest::newRow("disk's serial") << "file" << false << "media.disks.1.serial_number" << "*";
    QTest::newRow("validation left blank") << "file" << false << "validation.name" << "";
    QTest::newRow("validation date left blank") << "file" << false << "validation.date" << "";
    QTest::newRow("token scope") << "token" << false << "sanitization.scope" << "the named container: the token object";
    QTest::newRow("token maker") << "token" << false << "media.maker" << "SoftHSM project";
    QTest::newRow("token model") << "token" << false << "media.model" << "SoftHSM v2";
    QTest::newRow("token serial") << "token" << false << "media.serial_number" << "<token serial>";
    QTest::newRow("token label") << "token" << false << "media.label" << "Gamma";
    QTest::newRow("container label") << "token" << false << "media.container_label" << "Ключи 2024";
    QTest::newRow("absence proven") << "token" << false << "verification.absence_on_token" << "*";
    QTest::newRow("token state") << "token" << false << "result.state" << "replaced-not-overwritten";
    QTest::newRow("token doubt stated") << "token" << false << "sanitization.doubts.1" << "*";
    QTest::newRow("token not configured") << "token" << false << "operator.organisation" << "unknown";
}

// Each field as a real wipe measured it, or "unknown"; never blank unless
// left for the person who validates.
void TestCommandLine::certificateFields()
{
    QFETCH(QString, target);
    QFETCH(bool, configured);
    QFETCH(QString, field);
    QFETCH(QString, expected);
    if (target == QLatin1String("token") && !TokenStore::unavailableReason().isEmpty())
        QSKIP(qPrintable(TokenStore::unavailableReason()));
    const QJsonObject body = certificateOf(target, configured);
    QVERIFY2(!body.isEmpty(), "no certificate, or one that names a media category");
    const QString value = fieldAt(body, field);
    if (expected == QLatin1String("*"))
        QVERIFY2(!value.isEmpty(), qPrintable(field));
    else if (expected == QLatin1String("<token serial>"))
        QCOMPARE(value, m_tokenSerial);
    else
        QCOMPARE(value, expected);
}

void TestCommandLine::certificateRefused_data()
{
    QTest::addColumn<QString>("state"); // of the entry appended; empty: a begun entry
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("message");
    QTest::newRow("not found") << "not-found" << 5 << "not-found";
    QTest::newRow("interrupted") << "interrupted" << 5 << "прервано";
    QTest::newRow("absence not proven") << "deleted-absence-unverified" << 5 << "deleted-absence-unverified";
    QTest::newRow("kept after an error") << "incomplete-kept" << 5 << "incomplete-kept";
    QTest::newRow("token error, container gone") << "token-error-container-gone" << 5 << "token-error-container-gone";
    QTest::newRow("only begun") << "" << 4 << "нет завершающей записи";
    QTest::newRow("doubtful still gets one") << "relocated-not-overwritten" << 0 << "";
    // Its attempt ended again by a fill: named with the ending that stands.
    QTest::newRow("an ending amended later") << "amended" << 4 << "дописано";
}

void TestCommandLine::certificateRefused()
{
    QFETCH(QString, state);
    QFETCH(int, exitCode);
    QFETCH(QString, message);
    JournalEntry e;
    e.filePath = m_dir.filePath(QStringLiteral("refused.pfx"));
    e.algorithmName = QStringLiteral("DoD 5220.22-M");
    e.passesPlanned = 3;
    const bool amended = state == QLatin1String("amended");
    e.phase = state.isEmpty() ? JournalEntry::Phase::Begun : JournalEntry::Phase::Ended;
    e.endState = state.isEmpty() ? EndState::Begun : amended ? EndState::Wiped : endStateFromWord(state);
    e.attempt = QStringLiteral("refused-%1-%2").arg(QTest::currentDataTag()).arg(QCoreApplication::applicationPid());
    // This process, alive: the program leaves the begun entry alone.
    const journalfile::ProcessStamp self = journalfile::currentProcess();
    e.pid = self.pid;
    e.boot = QString::fromStdString(self.boot);
    e.processStarted = self.started;
    QVERIFY(Journal().append(e));
    if (amended)
        QVERIFY(Journal().append(e));
    const QVector<JournalRecord> all = Journal().readEntries();
    const QString file = m_dir.filePath(QStringLiteral("refused.json"));
    QFile::remove(file);
    const Run run = runProgram({"--certificate", QString::number(all.at(all.size() - (amended ? 2 : 1)).sequence), file});
    QVERIFY2(run.exitCode == exitCode, qPrintable(run.err));
    QVERIFY2(run.err.contains(message), qPrintable(run.err));
    QCOMPARE(QFileInfo::exists(file), exitCode == 0);
}

// Where journald runs, each entry reaches it with its fields and a fixed
// MESSAGE_ID per kind of event: begun, then wiped.
namespace {

bool copyTree(const QString &from, const QString &to)
{
    if (!QDir().mkpath(to))
        return false;
    for (const QFileInfo &info : QDir(from).entryInfoList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot)) {
        const QString target = QDir(to).filePath(info.fileName());
        if (info.isDir() ? !copyTree(info.filePath(), target) : !QFile::copy(info.filePath(), target))
            return false;
    }
    return true;
}

} // namespace

void TestCommandLine::collection_data()
{
    QTest::addColumn<QString>("damage");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("failing"); // the file named, under the collection
    QTest::addColumn<QByteArray>("at");   // what stands on the line named; empty: past the file's end
    QTest::newRow("all hold") << "" << 0 << QString() << QByteArray();
    // Followed, it would count every file again, without end.
    QTest::newRow("a link back to the top, not followed") << "loop" << 0 << QString() << QByteArray();
    QTest::newRow("a tampered certificate") << "tamper" << 13 << "certificates/b/wipe.json" << QByteArray("\"signature\"");
    // The signed body, then a tampered one under the same name: the parser keeps the last.
    QTest::newRow("a tampered body after the signed one")
        << "second body" << 13 << "certificates/b/wipe.json" << QByteArray("\"signature\"");
    QTest::newRow("a certificate signed by an unpinned key")
        << "unpinned" << 13 << "certificates/rogue.json" << QByteArray("\"signer_key_sha256\"");
    QTest::newRow("a cut journal") << "cut" << 9 << "hosts/c/var/journal.jsonl" << QByteArray();
    // Checked on every core, named in the files' order whichever finished first.
    QTest::newRow("two cut journals and a tampered certificate")
        << "cut a, c; tamper b" << 9 << "hosts/a/var/journal.jsonl" << QByteArray();
    QTest::newRow("no keys pinned") << "unpinned keys" << 15 << QString() << QByteArray();
}

// Hosts made by the program itself, each with its own journal and key, their
// certificates gathered apart: every failure is named by file and line.
void TestCommandLine::collection()
{
    QFETCH(QString, damage);
    QFETCH(int, exitCode);
    QFETCH(QString, failing);
    QFETCH(QByteArray, at);
    const QDir fleet(m_fleet.path());
    if (!fleet.exists(QStringLiteral("pristine"))) {
        QByteArray pinned;
        for (const QString &host : QStringList{"a", "b", "c", "rogue"}) {
            RecordPlace place;
            const bool rogue = host == QLatin1String("rogue");
            const QString journal = fleet.filePath(QStringLiteral("pristine/hosts/%1/var/journal.jsonl").arg(host));
            QVERIFY(QDir().mkpath(QFileInfo(journal).path()) && QDir().mkpath(fleet.filePath("pristine/certificates")));
            qputenv("KCC_JOURNAL", QFile::encodeName(rogue ? place.journal() : journal));
            const QString key = place.dir.filePath(QStringLiteral("key.p12"));
            QVERIFY(writeFile(key, QByteArray(3000, 'f')));
            QCOMPARE(runProgram({"--wipe-file", key, "-a", "dod", "--yes"}).exitCode, 0);
            QDir().mkpath(fleet.filePath(QStringLiteral("pristine/certificates/") + host));
            const QString certificate = fleet.filePath(rogue ? QStringLiteral("rogue.json")
                                                             : QStringLiteral("pristine/certificates/%1/wipe.json").arg(host));
            QCOMPARE(runProgram({"--certificate", QString::number(Journal().read().last().sequence), certificate}).exitCode, 0);
            if (!rogue)
                pinned += runProgram({"--public-key"}).out.toLatin1();
        }
        QVERIFY(writeFile(fleet.filePath("trusted-keys"), pinned));
    }
    const QString collection = fleet.filePath(QString::fromLatin1(QTest::currentDataTag()).replace(' ', '-'));
    QVERIFY(copyTree(fleet.filePath("pristine"), collection));
    const QString failed = QDir(collection).filePath(failing);
    int line = at.isEmpty() ? 0 : lineOf(failed, at);
    if (damage == QLatin1String("tamper") || damage == QLatin1String("second body")) {
        QFile f(failed);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QByteArray text = f.readAll();
        f.close();
        const QByteArray signedBody =
            QJsonDocument(QJsonDocument::fromJson(text).object().value("certificate").toObject()).toJson().trimmed();
        text.replace("\"passes_done\": 3", "\"passes_done\": 4");
        if (damage == QLatin1String("second body"))
            text = "{\n    \"certificate\": " + signedBody + "," + text.mid(1);
        QVERIFY(writeFile(failed, text));
        line = lineOf(failed, at);
    } else if (damage == QLatin1String("loop")) {
        QVERIFY(QFile::link(collection, QDir(collection).filePath(QStringLiteral("hosts/a/loop"))));
    } else if (damage == QLatin1String("unpinned")) {
        QVERIFY(QFile::copy(fleet.filePath("rogue.json"), failed));
        line = lineOf(failed, at);
    } else if (damage == QLatin1String("cut")) {
        QList<QByteArray> lines = journalforge::lines(failed);
        lines.removeLast();
        QVERIFY(journalforge::write(failed, lines));
        line = lines.size() + 1;
    }
    QStringList named; // in the report's order
    if (damage == QLatin1String("cut a, c; tamper b")) {
        for (const QString &host : {QStringLiteral("a"), QStringLiteral("c")}) {
            const QString journal = QDir(collection).filePath(QStringLiteral("hosts/%1/var/journal.jsonl").arg(host));
            QList<QByteArray> lines = journalforge::lines(journal);
            lines.removeLast();
            QVERIFY(journalforge::write(journal, lines));
            named << QStringLiteral("%1:%2: ").arg(journal).arg(lines.size() + 1);
        }
        const QString certificate = QDir(collection).filePath(QStringLiteral("certificates/b/wipe.json"));
        QFile f(certificate);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QByteArray text = f.readAll();
        f.close();
        QVERIFY(text.contains("\"passes_done\": 3"));
        QVERIFY(writeFile(certificate, text.replace("\"passes_done\": 3", "\"passes_done\": 4")));
        named << QStringLiteral("%1:%2: ").arg(certificate).arg(lineOf(certificate, "\"signature\""));
    }
    const QByteArray saved = qgetenv("KCC_TRUSTED_KEYS");
    const QString pins = fleet.filePath("trusted-keys");
    qputenv("KCC_TRUSTED_KEYS", QFile::encodeName(damage == QLatin1String("unpinned keys") ? pins + ".absent" : pins));
    const Run run = runProgram({"--verify-collection", collection});
    qputenv("KCC_TRUSTED_KEYS", saved);
    // Its own errors first: a long report would push a sanitizer's past what a failure prints.
    QVERIFY2(run.exitCode == exitCode, qPrintable(QStringLiteral("exit %1\n").arg(run.exitCode) + run.err + run.out));
    if (exitCode == 15)
        return;
    QVERIFY2(run.out.contains(QStringLiteral("ключей подписи: 3")), qPrintable(run.out));
    if (failing.isEmpty()) {
        QVERIFY2(run.out.contains(QStringLiteral("  wiped: 3\n")) && run.out.contains(QStringLiteral("сверено с записями журналов: 3"))
                     && run.out.contains(QStringLiteral("Ошибок: 0.")),
                 qPrintable(run.out));
    } else if (!named.isEmpty()) {
        QVERIFY2(run.out.contains(QStringLiteral("Ошибок: 3.\n") + named.first()), qPrintable(run.out));
        QVERIFY2(run.out.indexOf(named.at(0)) < run.out.indexOf(named.at(1))
                     && run.out.indexOf(named.at(1)) < run.out.indexOf(named.at(2)),
                 qPrintable(run.out));
    } else {
        QVERIFY2(run.out.contains(QStringLiteral("Ошибок: 1.\n%1:%2: ").arg(failed).arg(line)), qPrintable(run.out));
    }
}

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

// The record fails closed: no wipe without its begun entry unless asked
// for, nothing unsigned, cut or unanchored passes, nothing is built on a
// broken journal.
void TestCommandLine::record_data()
{
    QTest::addColumn<QString>("setup");
    QTest::addColumn<QStringList>("arguments"); // {key} the container, {pub} the journal's public key
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("message"); // on standard error or output
    QTest::addColumn<bool>("keyRemains");
    const QStringList wipe{"--wipe-file", "{key}", "-a", "dod", "-y"};
    QTest::newRow("no journal can be written: nothing wiped") << "journal dir" << wipe << 16 << "Удаление не начато" << true;
    QTest::newRow("no journal can be written, --no-journal: wiped")
        << "journal dir" << wipe + QStringList{"--no-journal"} << 0 << boxtexts::wiped << false;
    QTest::newRow("a garbage key file stops the wipe") << "garbage key" << wipe << 16 << "holds no key" << true;
    QTest::newRow("a key others may write stops the wipe") << "open key" << wipe << 16 << "writable by group or others" << true;
    QTest::newRow("a journal that is a link stops the wipe") << "linked journal" << wipe << 16 << "symbolic link" << true;
    QTest::newRow("an unsigned rewrite dated before the key")
        << "forged" << QStringList{"--verify-journal"} << 9 << "не подписана" << true;
    QTest::newRow("no certificate from a forged journal")
        << "forged" << QStringList{"--certificate", "2", "{dir}/c.json"} << 9 << "сертификат не выдается" << true;
    QTest::newRow("the CSV of a forged journal says so")
        << "forged" << QStringList{"--journal"} << 9 << "ВНИМАНИЕ: журнал не прошел проверку" << true;
    QTest::newRow("the act of a forged journal") << "forged" << QStringList{"--act", "{dir}/act.pdf"} << 9 << "не подписана" << true;
    QTest::newRow("the last entries cut off") << "cut" << QStringList{"--verify-journal"} << 9 << "отрезан" << true;
    QTest::newRow("emptied") << "emptied" << QStringList{"--verify-journal"} << 9 << "опустошен" << true;
    QTest::newRow("signed entries, no key") << "no key" << QStringList{"--verify-journal"} << 15 << "ключа подписи нет" << true;
    QTest::newRow("anchored with --key, no key file")
        << "no key" << QStringList{"--verify-journal", "--key", "{pub}"} << 0 << "Подписи записей верны" << true;
    QTest::newRow("anchored with another key")
        << "" << QStringList{"--verify-journal", "--key", QString(64, '7')} << 15 << "не соответствуют этому ключу" << true;
    QTest::newRow("another key, an entry changed as well")
        << "edited" << QStringList{"--verify-journal", "--key", QString(64, '7')} << 15 << "не соответствуют этому ключу" << true;
    QTest::newRow("its own key, an entry changed")
        << "edited" << QStringList{"--verify-journal", "--key", "{pub}"} << 9 << "изменена" << true;
    QTest::newRow("the key's fingerprint given as the key")
        << "" << QStringList{"--verify-journal", "--key", "{fingerprint}"} << 2 << "это отпечаток ключа, а не сам ключ" << true;
    QTest::newRow("the key is not among the pinned ones") << "pinned other" << QStringList{"--verify-journal"} << 15
                                                         << "not in" << true;
    QTest::newRow("the key is pinned") << "pinned" << QStringList{"--verify-journal"} << 0 << "Подписи записей верны" << true;
}

void TestCommandLine::record()
{
    QFETCH(QString, setup);
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QString, message);
    QFETCH(bool, keyRemains);
    RecordPlace place;
    const QString container = place.dir.filePath(QStringLiteral("container.pfx"));
    // Two genuine wipes first: a signed journal with its head.
    for (int i = 0; i < 2; ++i) {
        QVERIFY(writeFile(container, QByteArray(900, 'k')));
        QCOMPARE(runProgram({"--wipe-file", container, "-a", "gost", "-y"}).exitCode, 0);
    }
    SigningKey key;
    QVERIFY(key.load() == SigningKey::Load::Loaded);
    const QString publicKey = QString::fromLatin1(key.publicKey().toHex());
    QVERIFY(writeFile(container, QByteArray(900, 'k')));
    if (setup == "journal dir")
        qputenv("KCC_JOURNAL", QFile::encodeName(place.dir.path()));
    else if (setup == "garbage key")
        QVERIFY(writeFile(place.key(), "not a key\n"));
    else if (setup == "open key")
        QVERIFY(QFile::setPermissions(place.key(), QFile::permissions(place.key()) | QFileDevice::WriteOther));
    else if (setup == "linked journal")
        QVERIFY(QFile::rename(place.journal(), place.journal() + ".real") && QFile::link(place.journal() + ".real", place.journal()));
    else if (setup == "forged")
        QVERIFY(journalforge::rechain(place.journal(), [](QJsonObject &object, int) {
            object["time_utc"] = QStringLiteral("2001-01-01T00:00:00Z");
        }));
    else if (setup == "cut")
        QVERIFY(journalforge::write(place.journal(), journalforge::lines(place.journal()).mid(0, 2)));
    else if (setup == "emptied")
        QVERIFY(journalforge::write(place.journal(), {}));
    else if (setup == "no key")
        QVERIFY(QFile::remove(place.key()));
    else if (setup == "edited")
    {
        QList<QByteArray> entries = journalforge::lines(place.journal());
        entries.first().replace("\"planned\":2", "\"planned\":3");
        QVERIFY(journalforge::write(place.journal(), entries));
    }
    else if (setup == "pinned other" || setup == "pinned")
        QVERIFY(writeFile(place.dir.filePath("trusted-keys"),
                          "# the organisation's keys\n" + (setup == "pinned" ? publicKey.toLatin1() : QByteArray(64, 'a')) + "\n"));
    arguments.replaceInStrings("{key}", container);
    arguments.replaceInStrings("{dir}", place.dir.path());
    arguments.replaceInStrings("{pub}", publicKey);
    arguments.replaceInStrings("{fingerprint}", SigningKey::fingerprint(key.publicKey()));
    const Run run = runProgram(arguments);
    QVERIFY2(run.exitCode == exitCode, qPrintable(QString::number(run.exitCode) + run.out + run.err));
    QVERIFY2(run.err.contains(message) || run.out.contains(message), qPrintable(run.out + run.err));
    QCOMPARE(QFileInfo::exists(container), keyRemains);
    if (arguments.contains("--certificate"))
        QVERIFY(!QFileInfo::exists(place.dir.filePath("c.json")));
}

// Both programs of one user keep one record: one journal, one head, one key,
// whichever program wipes and whichever reads, with no variable naming them.
// An earlier command line's journal, kept under its own name, stays in sight.
void TestCommandLine::oneRecord_data()
{
    QTest::addColumn<QStringList>("steps"); // wipes and the key made first, in order
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QStringList>("said"); // on standard output or error
    const QStringList both{"cli wipe", "window wipe"};
    QTest::newRow("a new user's check") << QStringList() << QStringList{"{cli}", "--verify-journal"} << 0
                                        << QStringList{"Журнала еще нет", "Ключа подписи еще нет"};
    QTest::newRow("the key made before the first wipe signs it")
        << QStringList{"public key", "cli wipe"} << QStringList{"{cli}", "--verify-journal", "--key", "{pub}"} << 0
        << QStringList{"Журнал проверен: записей 5", "Подписи записей верны"};
    QTest::newRow("the window's act lists both programs' wipes")
        << both << QStringList{"--act", "{home}/act.pdf"} << 0 << QStringList{"записей в акте: 2"};
    QTest::newRow("the command line's CSV lists both")
        << both << QStringList{"{cli}", "--journal"} << 0 << QStringList{"{home}/cli.pfx", "{home}/window.pfx"};
    QTest::newRow("the window's check covers both")
        << both << QStringList{"--verify-journal"} << 0 << QStringList{"Журнал проверен: записей 10"};
    QTest::newRow("an earlier command line's journal, checked with its own key")
        << QStringList{"earlier wipe", "cli wipe"} << QStringList{"{cli}", "--verify-journal"} << 0
        << QStringList{"{earlier}: (журнал прежней версии kestrik-kcc-cli) Журнал проверен: записей 5",
                       "{record}/journal.jsonl: Журнал проверен: записей 5"};
    QTest::newRow("an earlier command line's journal, named by --journal")
        << QStringList{"earlier wipe"} << QStringList{"{cli}", "--journal"} << 0
        << QStringList{"прежняя версия kestrik-kcc-cli вела отдельно, лежит в {earlier}"};
    QTest::newRow("an earlier command line's journal, named by --act")
        << QStringList{"earlier wipe"} << QStringList{"--act", "{home}/act.pdf"} << 0
        << QStringList{"KCC_JOURNAL={earlier} KCC_SIGNING_KEY={home}/.local/share/kestrik-kcc-cli/signing.key"};
}

void TestCommandLine::oneRecord()
{
    QFETCH(QStringList, steps);
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QStringList, said);
    FreshHome home;
    const QString record = home.path(FreshHome::record());
    const QString earlier = home.path(FreshHome::earlierRecord());
    QString publicKey;
    for (const QString &step : steps) {
        const bool window = step == QLatin1String("window wipe");
        const QString container = home.path(window ? "window.pfx" : "cli.pfx");
        QVERIFY(writeFile(container, QByteArray(900, 'k')));
        if (step == QLatin1String("public key")) {
            const Run made = runProgram({"{cli}", "--public-key"});
            QCOMPARE(made.exitCode, 0);
            QVERIFY2(made.err.contains(record + "/signing.key"), qPrintable(made.err));
            publicKey = made.out.trimmed();
        } else if (step == QLatin1String("earlier wipe")) {
            // What an earlier command line wrote: its journal and key under its own name.
            qputenv("KCC_JOURNAL", QFile::encodeName(earlier + "/journal.jsonl"));
            qputenv("KCC_SIGNING_KEY", QFile::encodeName(earlier + "/signing.key"));
            QCOMPARE(runProgram({"{cli}", "--wipe-file", container, "-a", "dod", "-y"}).exitCode, 0);
            qunsetenv("KCC_JOURNAL");
            qunsetenv("KCC_SIGNING_KEY");
        } else {
            QStringList wipe{"--wipe-file", container, "-a", "dod", "-y"};
            if (!window)
                wipe.prepend("{cli}");
            QCOMPARE(runProgram(wipe).exitCode, 0);
        }
    }
    arguments.replaceInStrings("{home}", home.dir.path());
    arguments.replaceInStrings("{pub}", publicKey);
    const Run run = runProgram(arguments);
    QVERIFY2(run.exitCode == exitCode, qPrintable(QString::number(run.exitCode) + run.out + run.err));
    for (QString text : said) {
        text.replace("{pub}", publicKey).replace("{home}", home.dir.path()).replace("{record}", record);
        text.replace("{earlier}", earlier + "/journal.jsonl");
        QVERIFY2(run.out.contains(text) || run.err.contains(text), qPrintable(text + "\n" + run.out + run.err));
    }
    // One journal, one head, one key; nothing under the command line's own name but what an earlier one left.
    const QStringList made = steps.isEmpty() ? QStringList() : QStringList{"journal.jsonl", "journal.jsonl.head", "signing.key", "signing.key.last"};
    QCOMPARE(home.files(FreshHome::record()), steps == QStringList{"earlier wipe"} ? QStringList() : made);
    QCOMPARE(QFileInfo::exists(earlier), steps.contains("earlier wipe"));
    QVERIFY(!QFileInfo::exists(home.path(".config/kestrik-kcc-cli")));
}

void TestCommandLine::readOnlyModesNeverWrite_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("writes");
    QTest::addColumn<int>("closed"); // interrupted attempts told of
    for (const QStringList &mode : {QStringList{"--verify-journal"}, QStringList{"--journal"},
                                    QStringList{"--act", "{out}/act.pdf"}, QStringList{"--public-key"},
                                    QStringList{"--verify-certificate", "{dir}/none.json"},
                                    QStringList{"--verify-collection", "{dir}"}})
        QTest::newRow(qPrintable(mode.first())) << mode << false << 0;
    // Where a wipe follows, this host's attempt is closed, the other host's left.
    QTest::newRow("--wipe-file") << QStringList{"--wipe-file", "{dir}/container.pfx", "-a", "gost", "-y"} << true << 1;
}

void TestCommandLine::readOnlyModesNeverWrite()
{
    QFETCH(QStringList, arguments);
    QFETCH(bool, writes);
    QFETCH(int, closed);
    RecordPlace place;
    QVERIFY(writeFile(place.dir.filePath("container.pfx"), QByteArray(900, 'k')));
    QVERIFY(writeFile(place.dir.filePath("other.pfx"), QByteArray(900, 'k')));
    QCOMPARE(runProgram({"--wipe-file", place.dir.filePath("other.pfx"), "-a", "gost", "-y"}).exitCode, 0);
    // Two attempts cut off: one of this host, one of another host's process.
    for (const QString &host : {QString(), QStringLiteral("another-host-id")}) {
        JournalEntry begun;
        begun.phase = JournalEntry::Phase::Begun;
        begun.endState = EndState::Begun;
        begun.attempt = QStringLiteral("attempt-%1").arg(host.isEmpty() ? "here" : "there");
        begun.filePath = place.dir.filePath("cut.pfx");
        begun.passesPlanned = 2;
        begun.hostId = host;
        if (host.isEmpty()) {
            QFile id(QStringLiteral("/etc/machine-id"));
            QVERIFY(id.open(QIODevice::ReadOnly));
            begun.hostId = QString::fromLatin1(id.readLine().trimmed());
        }
        QVERIFY(Journal().append(begun));
    }
    const QMap<QString, QByteArray> before = place.state();
    arguments.replaceInStrings("{dir}", place.dir.path());
    arguments.replaceInStrings("{out}", m_dir.path());
    const Run run = runProgram(arguments);
    QVERIFY2(run.exitCode >= 0, qPrintable(run.err));
    QCOMPARE(place.state() != before, writes);
    QCOMPARE(run.err.contains(wipetexts::interrupted()), closed > 0);
    const QVector<JournalRecord> open = Journal().openAttempts();
    QCOMPARE(open.size(), 2 - closed);
    QCOMPARE(open.last().entry.attempt, QStringLiteral("attempt-there"));
}

void TestCommandLine::endCannotVanish_data()
{
    QTest::addColumn<QStringList>("removed"); // files of the record moved aside
    QTest::addColumn<bool>("emptied");        // the journal left empty
    QTest::addColumn<int>("lastKept");        // entries left in the journal; -1: all
    QTest::addColumn<int>("verifyExit");
    QTest::addColumn<QString>("message");
    QTest::addColumn<int>("wipeExit");
    const QStringList record{"journal.jsonl", "journal.jsonl.head"};
    QTest::newRow("journal and head deleted") << record << false << -1 << 15 << "журнала нет или он пуст, а ключ подписи "
                                                                                "уже подписал записи по номер 8" << 16;
    QTest::newRow("journal emptied, head deleted") << QStringList{"journal.jsonl.head"} << true << -1 << 15
                                                   << "журнала нет или он пуст" << 16;
    QTest::newRow("head deleted") << QStringList{"journal.jsonl.head"} << false << -1 << 15
                                  << "головы журнала нет, а ключ подписи уже подписал записи по номер 8" << 16;
    QTest::newRow("head deleted, the last wipe cut off") << QStringList{"journal.jsonl.head"} << false << 4 << 9
                                                         << "журнал кончается записью 4, а ключ подписи подписал запись 8" << 16;
    QTest::newRow("the key's record deleted") << QStringList{"signing.key.last"} << false << -1 << 15
                                              << "записи ключа подписи о последней подписанной им записи" << 16;
    QTest::newRow("a fresh start: the key moved aside with the record")
        << record + QStringList{"signing.key", "signing.key.last"} << false << -1 << 0 << "Журнала еще нет" << 0;
}

// Once the key has signed, the journal's end is kept beside the key as well:
// deleting the journal, its head or its last entries is told, and no wipe
// starts a new chain over it until the officer moves the key aside too.
void TestCommandLine::endCannotVanish()
{
    QFETCH(QStringList, removed);
    QFETCH(bool, emptied);
    QFETCH(int, lastKept);
    QFETCH(int, verifyExit);
    QFETCH(QString, message);
    QFETCH(int, wipeExit);
    RecordPlace place;
    const QString container = place.dir.filePath(QStringLiteral("container.pfx"));
    for (int i = 0; i < 2; ++i) {
        QVERIFY(writeFile(container, QByteArray(900, 'k')));
        QCOMPARE(runProgram({"--wipe-file", container, "-a", "gost", "-y"}).exitCode, 0);
    }
    QTemporaryDir aside;
    for (const QString &name : removed)
        QVERIFY(QFile::rename(place.dir.filePath(name), aside.filePath(name)));
    if (emptied)
        QVERIFY(journalforge::write(place.journal(), {}));
    if (lastKept >= 0)
        QVERIFY(journalforge::write(place.journal(), journalforge::lines(place.journal()).mid(0, lastKept)));
    const Run verified = runProgram({"--verify-journal"});
    QVERIFY2(verified.exitCode == verifyExit, qPrintable(verified.out + verified.err));
    QVERIFY2(verified.out.contains(message), qPrintable(verified.out));

    QVERIFY(writeFile(container, QByteArray(900, 'k')));
    const QMap<QString, QByteArray> before = place.state();
    const Run wiped = runProgram({"{cli}", "--wipe-file", container, "-a", "gost", "-y"});
    QVERIFY2(wiped.exitCode == wipeExit, qPrintable(wiped.err));
    QCOMPARE(place.state() == before, wipeExit != 0);
    if (wipeExit == 0)
        QCOMPARE(runProgram({"--verify-journal"}).exitCode, 0);
}

void TestCommandLine::killedWipeInSight_data()
{
    QTest::addColumn<QStringList>("arguments"); // {begun}: the killed wipe's begun entry's number
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QStringList>("said"); // on standard output or error
    QTest::newRow("--journal") << QStringList{"--journal"} << 0
                               << QStringList{"\"{begun}\"", "Не завершено: прервано", "\"1 из 3\""};
    QTest::newRow("--verify-journal") << QStringList{"--verify-journal"} << 0
                                      << QStringList{"Не завершено удалений (нет завершающей записи): 1",
                                                     "Запись {begun}: ", "проходов на носителе 1 из 3, прервано"};
    QTest::newRow("--certificate of its begun entry")
        << QStringList{"--certificate", "{begun}", "{dir}/c.json"} << 4 << QStringList{"нет завершающей записи"};
    QTest::newRow("--act") << QStringList{"--act", "{dir}/act.pdf"} << 0 << QStringList();
}

// A wipe killed after its first pass reached the file: every reading mode
// shows it as not finished, by its number, and none writes a byte.
void TestCommandLine::killedWipeInSight()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QStringList, said);
    RecordPlace place;
    const QString container = place.dir.filePath(QStringLiteral("killed.pfx"));
    QVERIFY(writeFile(container, QByteArray(64 * 1024, 'k')));
    const ChildRun child = runInChild([&](QByteArray &) {
        WipeRequest request;
        request.plan = passPlan(DoD);
        request.path = container;
        request.listener = [](FileWipeEvent event, int pass, qint64) {
            if (event == FileWipeEvent::Written && pass >= 1)
                ::raise(SIGKILL);
            return true;
        };
        runWipeSession(request);
        return 0;
    });
    QCOMPARE(child.exitCode, -1);
    const QVector<JournalRecord> open = Journal().openAttempts();
    QCOMPARE(open.size(), 1);
    const QString begun = QString::number(open.first().sequence);
    const QMap<QString, QByteArray> before = place.state();
    arguments.replaceInStrings("{begun}", begun);
    arguments.replaceInStrings("{dir}", place.dir.path());
    const Run run = runProgram(arguments);
    QVERIFY2(run.exitCode == exitCode, qPrintable(run.out + run.err));
    for (QString text : said)
        QVERIFY2((run.out + run.err).contains(text.replace("{begun}", begun)), qPrintable(text + '\n' + run.out + run.err));
    const QMap<QString, QByteArray> after = place.state();
    QCOMPARE(after.value("journal.jsonl"), before.value("journal.jsonl"));
    QCOMPARE(after.value("journal.jsonl.head"), before.value("journal.jsonl.head"));
    QCOMPARE(after.value("signing.key.last"), before.value("signing.key.last"));
}

void TestCommandLine::timestamps_data()
{
    QTest::addColumn<QString>("authority"); // up, down, none
    QTest::addColumn<bool>("clockBack");    // the wipe runs a day in the past (faketime)
    QTest::addColumn<QString>("said");      // what --verify-journal says of the stamps
    QTest::newRow("authority up: stamped") << "up" << false << "поставлено 1, ожидают 0, без метки 0";
    QTest::newRow("authority down: pending, stamped at the next start") << "down" << false
                                                                        << "поставлено 2, ожидают 0, без метки 0";
    QTest::newRow("clock set back a day: named") << "up" << true << "часы станции были переведены назад";
    QTest::newRow("nothing configured: nothing changes") << "none" << false << "";
}

// A wipe's ending entry stamped by an authority the test runs: its token in
// the certificate verifies with openssl alone; an authority down leaves the
// wipe as it was but for one line, and the next start stamps it; a clock set
// back is named by file and line.
void TestCommandLine::timestamps()
{
    QFETCH(QString, authority);
    QFETCH(bool, clockBack);
    QFETCH(QString, said);
    RecordPlace place;
    TestAuthority tsa;
    QVERIFY(tsa.ok());
    QVERIFY(tsa.start());
    const QString settings = place.dir.filePath(QStringLiteral("certificate.ini"));
    QVERIFY(writeFile(settings, authority == QLatin1String("none") ? QByteArray("[operator]\nname=A\n") : tsa.settings()));
    const QByteArray savedSettings = qgetenv("KCC_CERTIFICATE_SETTINGS");
    qputenv("KCC_CERTIFICATE_SETTINGS", QFile::encodeName(settings));
    const auto restore = qScopeGuard([&] { qputenv("KCC_CERTIFICATE_SETTINGS", savedSettings); });
    if (authority == QLatin1String("down"))
        tsa.stop();
    const QString key = place.dir.filePath(QStringLiteral("stamped.pfx"));
    QVERIFY(writeFile(key, QByteArray(3000, 's')));
    qputenv("FAKETIME_DONT_FAKE_MONOTONIC", "1");
    const QStringList wipe{QStringLiteral(KCC_CLI_PATH), "--wipe-file", key, "-a", "dod", "--yes"};
    // faketime's preloaded library comes before a sanitizer's runtime: the
    // runtime is told not to refuse that order, and its leak check, whose
    // stacks then stop short of the suppressions' frames, stays off.
    const QByteArray asan = qgetenv("ASAN_OPTIONS");
    if (clockBack)
        qputenv("ASAN_OPTIONS", asan + (asan.isEmpty() ? "" : ":") + "verify_asan_link_order=0:detect_leaks=0");
    const ProgramRun wiped = clockBack ? ::runProgram("faketime", QStringList{"-f", "-1d"} + wipe)
                                       : ::runProgram(wipe.front(), wipe.mid(1));
    qputenv("ASAN_OPTIONS", asan);
    QVERIFY2(wiped.exitCode == 0, qPrintable(wiped.err));
    QCOMPARE(wiped.err.contains(QStringLiteral("Метка времени отложена")), authority == QLatin1String("down"));
    if (authority == QLatin1String("down")) {
        QVERIFY(tsa.start());
        QVERIFY(writeFile(key, QByteArray(3000, 's')));
        QCOMPARE(runProgram({"{cli}", "--wipe-file", key, "-a", "dod", "--yes"}).exitCode, 0); // the next start
    }
    QCOMPARE(runProgram({"{cli}", "--stamp-pending"}).exitCode, authority == QLatin1String("none") ? 1 : 0);
    QVERIFY(writeFile(place.dir.filePath(QStringLiteral("trusted-keys")), runProgram({"--public-key"}).out.toLatin1()));
    const ProgramRun verified = runProgram({"{cli}", "--verify-journal"});
    QFile journal(place.journal());
    QVERIFY(journal.open(QIODevice::ReadOnly));
    const QByteArray bytes = journal.readAll();
    if (said.isEmpty()) {
        // As before stamps were kept: no field, no entry, no word.
        QVERIFY(!bytes.contains("\"timestamp\"") && !bytes.contains("\"stamp\""));
        QVERIFY(!verified.out.contains(QStringLiteral("Метки")));
        QCOMPARE(verified.exitCode, 0);
        return;
    }
    QVERIFY2(verified.out.contains(said), qPrintable(verified.out));
    QCOMPARE(verified.exitCode, clockBack ? 9 : 0);
    if (clockBack) {
        // Named by file and line in the journal and in a collection of it.
        const int line = int(bytes.left(bytes.indexOf("\"phase\":\"timestamp\"")).count('\n')); // the ending entry's
        QVERIFY2(verified.out.contains(QStringLiteral("%1:%2: ").arg(place.journal()).arg(line)), qPrintable(verified.out));
        const ProgramRun collected = runProgram({"{cli}", "--verify-collection", place.dir.path()});
        QVERIFY2(collected.exitCode == 9, qPrintable(QStringLiteral("exit %1\n").arg(collected.exitCode) + collected.err));
        QVERIFY2(collected.out.contains(QStringLiteral("journal.jsonl:%1: ").arg(line)), qPrintable(collected.out));
        return;
    }
    const QString certificate = place.dir.filePath(QStringLiteral("stamped.json"));
    QCOMPARE(runProgram({"{cli}", "--certificate", "last", certificate}).exitCode, 0);
    const ProgramRun checked = runProgram({"{cli}", "--verify-certificate", certificate});
    QCOMPARE(checked.exitCode, 0);
    QVERIFY2(checked.out.contains(QStringLiteral("метка времени подлинная")), qPrintable(checked.out));
    // The auditor's own check, without this program.
    QFile file(certificate);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QJsonObject body = QJsonDocument::fromJson(file.readAll()).object().value("certificate").toObject();
    const QString token = place.dir.filePath(QStringLiteral("token.der"));
    QVERIFY(writeFile(token, QByteArray::fromBase64(body.value("timestamp").toObject().value("token").toString().toLatin1())));
    QProcess openssl;
    openssl.start("openssl", {"ts", "-verify", "-digest", body.value("journal").toObject().value("entry_sha256").toString(),
                              "-in", token, "-token_in", "-CAfile", tsa.caFile()});
    QVERIFY(openssl.waitForFinished());
    QVERIFY2(openssl.exitCode() == 0 && openssl.readAllStandardOutput().contains("Verification: OK"),
             openssl.readAllStandardError().constData());
}

void TestCommandLine::everyOutcomeReadsTheSame_data()
{
    QTest::addColumn<int>("state");
    QTest::addColumn<bool>("recordFails"); // the ending entry cannot reach the medium
    for (int i = 0; i < endStateCount; ++i)
        QTest::newRow(qPrintable(toWord(EndState(i)))) << i << false;
    QTest::newRow("a real wipe whose ending entry is not recorded") << int(EndState::EndNotRecorded) << true;
}

// Each front end reads the outcome from its own table; none may tell more
// than another: success, a doubt and a failure read alike in the box, the
// exit status, the journal's kind, the system log's level and the certificate.
void TestCommandLine::everyOutcomeReadsTheSame()
{
    QFETCH(int, state);
    QFETCH(bool, recordFails);
    const EndState s = EndState(state);
    const EndStateKind kind = kindOf(s);
    const int status = exitStatusOf(s);
    const Severity severity = severityOf(s);
    QCOMPARE(severity == Severity::Information, kind == EndStateKind::Proven);
    QCOMPARE(status == kExitOk, kind == EndStateKind::Proven);
    QCOMPARE(stateText(s, true).contains(QStringLiteral("успешно")), kind == EndStateKind::Proven);
    QCOMPARE(severity == Severity::Warning, kind == EndStateKind::Doubtful);
    QCOMPARE(!doubtOf(s).isEmpty(), kind == EndStateKind::Doubtful);
    QCOMPARE(isWarning(kind), kind != EndStateKind::Proven && kind != EndStateKind::Begun);
    JournalEntry ended;
    ended.phase = JournalEntry::Phase::Ended;
    ended.endState = s;
    QCOMPARE(certificateIssued(ended), kind == EndStateKind::Proven || kind == EndStateKind::Doubtful);
    bool documented = false;
    for (int i = 0; i < kExitDocCount; ++i)
        documented = documented || kExitDocs[i].code == status;
    QVERIFY(documented);
    if (s != EndState::Unknown && s != EndState::EndNotRecorded)
        QCOMPARE(endStateFromWord(toWord(s)), s);
    else
        QCOMPARE(endStateFromWord(toWord(s)), EndState::Unknown);
    if (!recordFails)
        return;

    // A real file wipe whose journal goes away after the file is emptied.
    QTemporaryDir dir(m_dir.filePath(QStringLiteral("unrecorded-XXXXXX")));
    QVERIFY(dir.isValid());
    const QString journal = dir.filePath(QStringLiteral("journal.jsonl"));
    const JournalPlace place(journal);
    const QString key = dir.filePath(QStringLiteral("key.pfx"));
    QVERIFY(writeFile(key, QByteArray(4096, 'k')));
    WipeRequest request;
    request.plan = passPlan(DoD);
    request.path = key;
    request.listener = [&](FileWipeEvent event, int, qint64) {
        if (event == FileWipeEvent::Truncated)
            qputenv("KCC_JOURNAL", QFile::encodeName(dir.path())); // a directory: no entry goes there
        return true;
    };
    const WipeResult result = runWipeSession(request);
    QCOMPARE(toWord(result.verdict.state), toWord(EndState::Wiped));
    QCOMPARE(toWord(result.told), toWord(s));
    QCOMPARE(exitStatusOf(result.told), kExitEndNotRecorded);
    QCOMPARE(result.report.severity, Severity::Critical);
    QCOMPARE(result.report.text, stateText(s, true));
    // What the wipe did follows, and why it is not on record.
    QVERIFY2(result.report.informative.startsWith(boxtexts::wiped), qPrintable(result.report.informative));
    QVERIFY(result.destroyed());
    QVERIFY(!QFileInfo::exists(key));
    // Begun and its passes are on record, the end is not: the attempt stays open.
    const QVector<JournalRecord> records = Journal(journal).read(nullptr, true);
    QVERIFY(!records.isEmpty());
    QVERIFY(records.last().entry.phase != JournalEntry::Phase::Ended);
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
    QTest::newRow("bash completion") << QStringList{"{completion}", "kestrik-kcc"} << QString();
    QTest::newRow("zsh completion") << QStringList{"{completion}", "_kestrik-kcc"} << QString();
}

void TestCommandLine::documented()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, language);
    Documented expected;
    for (int i = 0; i < kOptionCount; ++i)
        if (kOptions[i].help) // a refused option is not documented
            expected.options << QLatin1String(kOptions[i].longName);
    for (int i = 0; i < kExitDocCount; ++i)
        expected.statuses << kExitDocs[i].code;

    Documented found;
    if (arguments.isEmpty()) {
        QFile page(QStringLiteral(KCC_MAN_SOURCE));
        QVERIFY(page.open(QIODevice::ReadOnly));
        found = fromManualPage(QString::fromUtf8(page.readAll()));
    } else if (arguments.front() == QLatin1String("{completion}")) {
        QFile script(QStringLiteral(KCC_COMPLETION_DIR "/") + arguments.back());
        QVERIFY2(script.open(QIODevice::ReadOnly), qPrintable(script.fileName()));
        found.options = fromCompletion(QString::fromUtf8(script.readAll()));
        found.statuses = expected.statuses; // a completion offers no statuses
    } else {
        const Run run = runProgram(arguments, QByteArray(), language);
        QCOMPARE(run.exitCode, 0);
        found = fromHelp(run.out);
        for (const QString &line : run.out.split(QLatin1Char('\n')))
            QVERIFY2(line.size() <= 80, qPrintable(line));
    }
    QStringList missing = (expected.options - found.options).values(), extra = (found.options - expected.options).values();
    missing.sort();
    extra.sort();
    QVERIFY2(missing.isEmpty() && extra.isEmpty(),
             qPrintable(QStringLiteral("not documented: %1; not in the table: %2").arg(missing.join(' '), extra.join(' '))));
    QCOMPARE(found.statuses, expected.statuses);
}

// Every variable the programs read is in the manual page, and the page names
// no variable they do not read; those only the tests set stay out.
void TestCommandLine::environmentDocumented()
{
    QFile page(QStringLiteral(KCC_MAN_SOURCE));
    QVERIFY(page.open(QIODevice::ReadOnly));
    const QSet<QString> documented = environmentOfManualPage(QString::fromUtf8(page.readAll()));
    QSet<QString> read = environmentOfSources();
    QVERIFY2(read.contains(QStringLiteral("KCC_JOURNAL")) && read.contains(QStringLiteral("VELMUX_PKCS11_MODULE")),
             qPrintable(read.values().join(' ')));
    read.remove(QStringLiteral("KCC_FILL_NO_TMPFILE")); // the durability tests' switch
    QStringList missing = (read - documented).values();
    missing.sort();
    QVERIFY2(missing.isEmpty(), qPrintable(QStringLiteral("not in ENVIRONMENT: ") + missing.join(' ')));
    for (const QString &name : documented)
        if (name.startsWith(QLatin1String("KCC_")) || name.startsWith(QLatin1String("VELMUX_")))
            QVERIFY2(read.contains(name), qPrintable(name + QStringLiteral(" is documented but never read")));
}

#include "tst_commandline.moc"
