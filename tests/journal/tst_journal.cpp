#include "certificate.h"
#include "compactjson.h"
#include "freshhome.h"
#include "journal.h"
#include "journalact.h"
#include "journaldialog.h"
#include "journalexport.h"
#include "journaltexts.h"
#include "journalcheck.h"
#include "journalfile.h"
#include "journalforge.h"
#include "signing.h"
#include "ownedptr.h"
#include "stamps.h"
#include "timestamp.h"
#include "tsa.h"

#include <QCryptographicHash>
#include <QDateEdit>
#include <QJsonDocument>
#include <QJsonObject>
#include <QFile>
#include <QLabel>
#include <QProcess>
#include <QSet>
#include <QStandardPaths>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QtTest>

#include <openssl/pkcs7.h>
#include <openssl/ts.h>
#include <openssl/x509.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

Q_DECLARE_METATYPE(VerifyResult::Break)
Q_DECLARE_METATYPE(VerifyResult::State)

namespace {

JournalEntry entry(const QString &path, const QDateTime &time = QDateTime())
{
    JournalEntry e;
    e.time = time;
    e.filePath = path;
    e.size = 4096;
    e.algorithmName = QStringLiteral("DoD 5220.22-M");
    e.algorithmIndex = 1;
    e.passesPlanned = 3;
    e.passesDone = 3;
    e.resultText = QStringLiteral("Ключевой контейнер очищен и удален успешно.");
    e.endState = EndState::Wiped;
    return e;
}

QList<QByteArray> lines(const QString &path)
{
    QFile file(path);
    file.open(QIODevice::ReadOnly);
    return file.readAll().split('\n');
}

void writeRaw(const QString &path, const QByteArray &data, QIODevice::OpenMode mode)
{
    QFile file(path);
    QVERIFY(file.open(mode));
    QCOMPARE(file.write(data), qint64(data.size()));
}

} // namespace

class TestJournal : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;
    QString path() const { return dir.filePath(QStringLiteral("journal.jsonl")); }

private slots:
    // A new record each time: the key goes aside with the journal and its head.
    void init()
    {
        for (const QString &file : {path(), Journal(path()).headPath(), SigningKey::defaultPath(),
                                    SigningKey::defaultPath() + QStringLiteral(".last")})
            QFile::remove(file);
    }

    void concurrentAppendsKeepEveryEntry()
    {
        const int children = 4, each = 25;
        QVector<pid_t> pids;
        for (int c = 0; c < children; ++c) {
            const pid_t pid = ::fork();
            if (pid == 0) {
                bool ok = true;
                for (int i = 0; i < each; ++i)
                    ok = Journal(path()).append(entry(QStringLiteral("/c%1/k%2").arg(c).arg(i))) && ok;
                ::_exit(ok ? 0 : 1);
            }
            QVERIFY(pid > 0);
            pids << pid;
        }
        for (pid_t pid : pids) {
            int status = 0;
            QCOMPARE(::waitpid(pid, &status, 0), pid);
            QVERIFY(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        }
        VerifyResult verification;
        const QVector<JournalRecord> records = Journal(path()).read(&verification);
        QVERIFY2(verification.ok(), qPrintable(verification.describe()));
        QSet<QString> paths;
        for (const JournalRecord &r : records)
            paths << r.entry.filePath;
        QCOMPARE(paths.size(), children * each);
        QCOMPARE(records.last().sequence, qint64(children * each));
    }

    void tornLastLine_data()
    {
        QTest::addColumn<QByteArray>("tail");
        QTest::addColumn<int>("entriesAfter");
        QTest::addColumn<QVector<int>>("tornAfter");
        QTest::newRow("half a line") << QByteArray("{\"seq\":3,\"prev\":\"ab") << 3 << QVector<int>{3};
        QTest::newRow("blank line at the end") << QByteArray("\n") << 3 << QVector<int>{3};
        QTest::newRow("last entry without newline") << QByteArray() << 3 << QVector<int>{};
    }

    void tornLastLine()
    {
        QFETCH(QByteArray, tail);
        QFETCH(int, entriesAfter);
        QFETCH(QVector<int>, tornAfter);
        const Journal journal(path());
        QVERIFY(journal.append(entry("/a")) && journal.append(entry("/b")));
        if (tail.isEmpty()) {
            QByteArray data = lines(path()).mid(0, 2).join('\n'); // drop the final newline
            writeRaw(path(), data, QIODevice::WriteOnly | QIODevice::Truncate);
        } else {
            writeRaw(path(), tail, QIODevice::Append);
        }
        VerifyResult before = journal.verify();
        QCOMPARE(before.state, VerifyResult::State::TornLast);
        QCOMPARE(before.line, tail.isEmpty() ? 2 : 3);
        QCOMPARE(before.entries, 2);
        QCOMPARE(journal.read().size(), 2);

        QString error;
        QVERIFY2(journal.append(entry("/c"), &error), qPrintable(error));
        VerifyResult after;
        const QVector<JournalRecord> records = journal.read(&after);
        QVERIFY2(after.ok(), qPrintable(after.describe()));
        QCOMPARE(after.entries, entriesAfter);
        QCOMPARE(after.tornLines, tornAfter);
        QCOMPARE(records.last().entry.filePath, QStringLiteral("/c"));
        QCOMPARE(records.last().sequence, qint64(3));
    }

    void tamperingBreaksTheChain_data()
    {
        QTest::addColumn<QString>("edit");
        QTest::addColumn<int>("at"); // 1-based line the edit touches
        QTest::addColumn<VerifyResult::Break>("kind");
        QTest::addColumn<int>("line");
        QTest::addColumn<bool>("appends"); // whether a wipe may still append after it
        QTest::newRow("byte of a path edited") << "path" << 2 << VerifyResult::Break::Changed << 2 << true;
        QTest::newRow("byte of the chain hash edited") << "prev" << 3 << VerifyResult::Break::Changed << 3 << true;
        QTest::newRow("entry no longer JSON") << "brace" << 2 << VerifyResult::Break::Damaged << 2 << true;
        QTest::newRow("line deleted") << "delete" << 3 << VerifyResult::Break::Missing << 3 << true;
        QTest::newRow("first line deleted") << "delete" << 1 << VerifyResult::Break::Missing << 1 << true;
        QTest::newRow("two lines swapped") << "swap" << 2 << VerifyResult::Break::Reordered << 2 << true;
        QTest::newRow("sequence number edited") << "seq" << 4 << VerifyResult::Break::Changed << 4 << true;
        // Whoever may write the file can rebuild the chain; not the signatures.
        QTest::newRow("path edited, chain rebuilt, signatures dropped")
            << "rechain" << 3 << VerifyResult::Break::Unsigned << 1 << false;
        QTest::newRow("rewritten unsigned, dated before the key, as written before it")
            << "before key" << 3 << VerifyResult::Break::Unsigned << 1 << false;
        QTest::newRow("path edited, chain rebuilt, signed with another key")
            << "other key" << 3 << VerifyResult::Break::Changed << 1 << false;
        // The end, guarded by the head outside the file.
        QTest::newRow("last two entries cut off") << "cut" << 4 << VerifyResult::Break::Cut << 4 << false;
        QTest::newRow("every entry removed") << "empty" << 1 << VerifyResult::Break::Emptied << 0 << false;
        QTest::newRow("last line damaged") << "damage" << 5 << VerifyResult::Break::Cut << 5 << false;
        QTest::newRow("last line damaged, an entry chained past it")
            << "damage and chain" << 5 << VerifyResult::Break::Damaged << 5 << false;
        QTest::newRow("head rewritten to the cut end") << "head" << 4 << VerifyResult::Break::HeadInvalid << 0 << false;
    }

    void tamperingBreaksTheChain()
    {
        QFETCH(QString, edit);
        QFETCH(int, at);
        QFETCH(bool, appends);
        const Journal journal(path());
        for (int i = 1; i <= 5; ++i)
            QVERIFY(journal.append(entry(QStringLiteral("/key-%1").arg(i))));
        QVERIFY(journal.verify().ok());

        QList<QByteArray> all = journalforge::lines(path());
        QByteArray &line = all[at - 1];
        SigningKey other;
        if (edit == "other key" || edit == "head") {
            const QByteArray ours = qgetenv("KCC_SIGNING_KEY");
            qputenv("KCC_SIGNING_KEY", QFile::encodeName(dir.filePath("other.key")));
            QVERIFY(other.load() == SigningKey::Load::Loaded || other.create(0, Journal::genesisHash()));
            qputenv("KCC_SIGNING_KEY", ours);
        }
        if (edit == "path")
            line.replace("/key-", "/kez-");
        else if (edit == "prev")
            line[line.indexOf("\"prev\":\"") + 8] = line[line.indexOf("\"prev\":\"") + 8] == '1' ? '2' : '1';
        else if (edit == "brace" || edit == "damage")
            line.chop(1);
        else if (edit == "damage and chain") {
            all << journalforge::chainedAfter(all[at - 2]);
            all[at - 1].chop(1);
        }
        else if (edit == "seq")
            line.replace(QByteArray("\"seq\":") + QByteArray::number(at), "\"seq\":9");
        else if (edit == "delete")
            all.removeAt(at - 1);
        else if (edit == "swap")
            all.swapItemsAt(at - 1, at);
        else if (edit == "cut" || edit == "head")
            all = all.mid(0, at - 1);
        else if (edit == "empty")
            all.clear();
        if (edit == "head") {
            // The head, forged to name the new end, without the key.
            QJsonObject head = QJsonDocument::fromJson(journalforge::lines(journal.headPath()).value(0)).object();
            head["seq"] = at - 1;
            head["sha256"] = journalforge::hashOf(all.last());
            head.remove("sig");
            head["sig"] = QString::fromLatin1(other.sign(QJsonDocument(head).toJson(QJsonDocument::Compact)).toBase64());
            QVERIFY(journalforge::write(journal.headPath(), {QJsonDocument(head).toJson(QJsonDocument::Compact)}));
        }
        QVERIFY(journalforge::write(path(), all));
        if (edit == "rechain" || edit == "before key" || edit == "other key")
            QVERIFY(journalforge::rechain(path(), [&](QJsonObject &object, int i) {
                if (i == at - 1)
                    object["target"] = QJsonObject{{"kind", "file"}, {"path", "/elsewhere"}, {"size", 1}};
                if (edit == "before key")
                    object["time_utc"] = QStringLiteral("2001-01-01T00:00:00Z");
            }, other.isLoaded() ? &other : nullptr));

        const VerifyResult result = journal.verify();
        QVERIFY2(result.state == VerifyResult::State::Broken, qPrintable(result.describe()));
        QTEST(result.kind, "kind");
        QTEST(result.line, "line");
        // Nothing is chained past an end that does not match the head.
        const QByteArray before = journalforge::lines(path()).join('\n');
        QString error;
        QCOMPARE(journal.append(entry("/after"), &error), appends);
        if (!appends)
            QCOMPARE(journalforge::lines(path()).join('\n'), before);
    }

    // The head's two copies, written in turn: a write cut short spoils only
    // the copy it wrote, which is told from tampering by the journal going
    // past the other copy's entry, as the lost write's entry does.
    void headCopies_data()
    {
        QTest::addColumn<QString>("edit");
        QTest::addColumn<bool>("cut"); // the journal's last entry removed as well
        QTest::addColumn<VerifyResult::State>("state");
        QTest::addColumn<VerifyResult::Break>("kind");
        using S = VerifyResult::State;
        using B = VerifyResult::Break;
        QTest::newRow("newer copy torn, the journal past the older") << "torn" << false << S::Intact << B::None;
        QTest::newRow("newer copy torn, the journal cut to the older") << "torn" << true << S::Broken << B::Cut;
        QTest::newRow("older copy over the newer, the journal whole") << "older" << false << S::Intact << B::None;
        QTest::newRow("older copy over the newer, the last entry cut") << "older" << true << S::Broken << B::Cut;
        QTest::newRow("both copies spoiled") << "both" << false << S::Broken << B::HeadInvalid;
        QTest::newRow("head of one copy, as written before") << "one copy" << false << S::Intact << B::None;
    }

    void headCopies()
    {
        QFETCH(QString, edit);
        QFETCH(bool, cut);
        QFETCH(VerifyResult::State, state);
        const Journal journal(path());
        for (int i = 1; i <= 5; ++i)
            QVERIFY(journal.append(entry(QStringLiteral("/key-%1").arg(i))));
        QList<QByteArray> copies = journalforge::headCopies(journal.headPath());
        QCOMPARE(copies.size(), 2);
        const int newer = journalforge::newerCopy(copies);
        QByteArray &spoiled = copies[newer];
        if (edit == "torn") {
            // The write reached the medium up to the middle of the hash; the
            // rest is what the copy before it left there.
            const int at = spoiled.indexOf("\"sha256\"") + 20;
            spoiled = spoiled.left(at) + copies[1 - newer].mid(at);
        } else if (edit == "older") {
            spoiled = copies[1 - newer];
        } else if (edit == "both") {
            for (QByteArray &copy : copies)
                copy.replace("\"sig\":\"", "\"sig\":\"A");
        }
        QByteArray head = copies.join();
        if (edit == "one copy") {
            QJsonObject object = QJsonDocument::fromJson(copies[newer].trimmed()).object();
            for (const char *field : {"gen", "sig", "key_sha256"})
                object.remove(field);
            SigningKey key;
            QVERIFY(key.load() == SigningKey::Load::Loaded);
            object["sig"] = QString::fromLatin1(key.sign(QJsonDocument(object).toJson(QJsonDocument::Compact)).toBase64());
            head = QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
        }
        writeRaw(journal.headPath(), head, QIODevice::WriteOnly | QIODevice::Truncate);
        if (cut)
            QVERIFY(journalforge::write(path(), journalforge::lines(path()).mid(0, 4)));

        const VerifyResult result = journal.verify();
        QVERIFY2(result.state == state, qPrintable(result.describe()));
        QTEST(result.kind, "kind");
        if (result.kind == VerifyResult::Break::Cut)
            QCOMPARE(result.line, 5);
        // Nothing is chained past an end the head does not vouch for; after
        // an append the head is two copies again.
        const QByteArray before = journalforge::lines(path()).join('\n');
        QCOMPARE(journal.append(entry("/after")), state == VerifyResult::State::Intact);
        if (state == VerifyResult::State::Intact) {
            QVERIFY2(journal.verify().ok(), qPrintable(journal.verify().describe()));
            QCOMPARE(journalforge::headCopies(journal.headPath()).value(0).size(), 4096);
        } else {
            QCOMPARE(journalforge::lines(path()).join('\n'), before);
        }
    }

    // The check over bytes alone, with no key and no file: "@N" in a line
    // stands for the hash of line N (@0: the first entry's genesis).
    void checkOverBytes_data()
    {
        QTest::addColumn<QByteArrayList>("lines");
        QTest::addColumn<qint64>("headSeq"); // -1: no head
        QTest::addColumn<VerifyResult::State>("state");
        QTest::addColumn<VerifyResult::Break>("kind");
        QTest::addColumn<int>("line");
        const QByteArray first = "{\"seq\":1,\"prev\":\"@0\"}";
        using S = VerifyResult::State;
        using B = VerifyResult::Break;
        QTest::newRow("nothing") << QByteArrayList{} << qint64(-1) << S::Intact << B::None << 0;
        QTest::newRow("chained, the end unguarded")
            << QByteArrayList{first, "{\"seq\":2,\"prev\":\"@1\"}"} << qint64(-1) << S::NotVerified << B::None << 0;
        QTest::newRow("no sequence number") << QByteArrayList{"{\"prev\":\"@0\"}"} << qint64(-1) << S::Broken
                                            << B::Malformed << 1;
        QTest::newRow("sequence runs back")
            << QByteArrayList{first, "{\"seq\":2,\"prev\":\"@1\"}", "{\"seq\":1,\"prev\":\"@0\"}"} << qint64(-1)
            << S::Broken << B::Reordered << 3;
        QTest::newRow("torn line the next entry vouches for")
            << QByteArrayList{first, "{\"seq\":2,\"pr", "{\"seq\":2,\"prev\":\"@1\",\"skipped_torn\":\"@2\"}"}
            << qint64(-1) << S::NotVerified << B::None << 0;
        QTest::newRow("head names an entry past the end") << QByteArrayList{first} << qint64(2) << S::Broken << B::Cut << 2;
        QTest::newRow("head over no entries") << QByteArrayList{} << qint64(1) << S::Broken << B::Emptied << 0;
    }

    void checkOverBytes()
    {
        QFETCH(QByteArrayList, lines);
        QFETCH(qint64, headSeq);
        for (int i = 0; i < lines.size(); ++i)
            for (int n = 0; n <= i; ++n)
                lines[i].replace("@" + QByteArray::number(n),
                                 (n ? journalforge::hashOf(lines[n - 1]) : Journal::genesisHash()).toLatin1());
        journalchain::Anchor anchor;
        anchor.head.present = headSeq >= 0;
        anchor.head.seq = headSeq;
        QVector<JournalRecord> records;
        const QByteArray bytes = lines.join('\n') + (lines.isEmpty() ? "" : "\n");
        const VerifyResult result = journalchain::check(bytes, anchor, &records);
        QTEST(result.state, "state");
        QTEST(result.kind, "kind");
        QTEST(result.line, "line");
        QCOMPARE(records.size(), result.entries);
        // Read a byte at a time, as a file is read in pieces that end mid-line.
        journalchain::StreamCheck stream(anchor);
        for (const char byte : bytes)
            stream.feed(&byte, 1);
        const VerifyResult pieces = stream.finish();
        QCOMPARE(pieces.state, result.state);
        QCOMPARE(pieces.kind, result.kind);
        QCOMPARE(pieces.line, result.line);
        QCOMPARE(pieces.entries, result.entries);
    }

    void fileIsPrivateAndNotFollowed()
    {
        QVERIFY(Journal(path()).append(entry("/a")));
        struct stat st;
        QCOMPARE(::stat(QFile::encodeName(path()).constData(), &st), 0);
        QCOMPARE(st.st_mode & 0777, mode_t(0600));

        const QString target = dir.filePath("elsewhere");
        writeRaw(target, "keep", QIODevice::WriteOnly);
        const QString link = dir.filePath("linked.jsonl");
        QVERIFY(QFile::link(target, link));
        QString error;
        QVERIFY(!Journal(link).append(entry("/b"), &error));
        QVERIFY2(error.contains(link), qPrintable(error));
        QCOMPARE(lines(target).join('\n'), QByteArray("keep"));
    }

    void actPdfNamesTheContainer_data()
    {
        QTest::addColumn<bool>("english");
        QTest::newRow("Russian") << false;
        QTest::newRow("English") << true;
    }

    void actPdfNamesTheContainer()
    {
        QFETCH(bool, english);
        const JournalTexts &texts = english ? journalTexts(Language::English) : journalTexts(Language::Russian);
        const QString pdftotext = QStandardPaths::findExecutable("pdftotext");
        if (pdftotext.isEmpty())
            QSKIP("pdftotext (poppler-utils) is not installed");
        const Journal journal(path());
        JournalEntry e = entry(QStringLiteral("/home/офицер/ключи/контейнер-7.pfx"));
        e.algorithmName = QStringLiteral("Алгоритм Шнайера");
        QVERIFY(journal.append(e));
        JournalEntry token = entry(QString());
        token.targetKind = JournalEntry::TargetKind::Token;
        token.tokenLabel = QStringLiteral("Токен отдела 3");
        token.tokenSerial = QStringLiteral("5f3a9c21");
        token.containerLabel = QStringLiteral("Ключи ЭП 2024");
        token.resultText = QStringLiteral("Ошибка записи в ключевой контейнер.");
        token.endState = EndState::TokenErrorContainerUnknown;
        QVERIFY(journal.append(token));
        VerifyResult verification;
        const QVector<JournalRecord> records = journal.read(&verification);

        // KCC_ACT_PDF keeps the act, for the README's picture.
        const QString pdf = qEnvironmentVariable("KCC_ACT_PDF", dir.filePath("act.pdf"));
        QString error;
        QVERIFY2(writeActPdf(pdf, ActInput{records, verification, path(), {}, {}}, &error, texts),
                 qPrintable(error));
        QProcess process;
        process.start(pdftotext, {"-raw", pdf, "-"}); // -raw: each cell's lines stay together
        QVERIFY(process.waitForFinished(-1));
        QCOMPARE(process.exitCode(), 0);
        const auto squeezed = [](QString s) {
            return s.remove(QRegularExpression("\\s", QRegularExpression::UseUnicodePropertiesOption));
        };
        const QString text = squeezed(QString::fromUtf8(process.readAllStandardOutput()));
        for (const QString &expected : {e.filePath, e.algorithmName, e.resultText, records.first().hash.left(16),
                                        token.tokenLabel, token.containerLabel, token.resultText,
                                        texts.actFileTitle.section(QLatin1Char(' '), 1).toUpper(),
                                        texts.sizeText(e.size), QStringLiteral("sanitization.scope"),
                                        QStringLiteral("overwrite, then removal"), texts.noCertificate.section(QLatin1Char(':'), 1)})
            QVERIFY2(text.contains(squeezed(expected), Qt::CaseInsensitive), qPrintable(expected));
    }

    // What the entry records at wipe time is what the certificate says, read
    // back from the file; what was not recorded is "unknown".
    void certificateFromEntry_data()
    {
        QTest::addColumn<QString>("set");
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("expected");
        QTest::newRow("disk's serial") << "disk" << "media.disks.1.serial_number" << "S4EVNX0M";
        QTest::newRow("disk's maker not given") << "disk" << "media.disks.1.maker" << "unknown";
        QTest::newRow("no disk below") << "" << "media.disks" << "unknown";
        QTest::newRow("flash is a doubt") << "flash" << "sanitization.doubts.1" << "the device is flash memory: its controller may keep remapped copies that only the device's own sanitize reaches";
        QTest::newRow("token maker") << "token" << "media.maker" << "Фирма";
        QTest::newRow("organisation's field") << "fields" << "media.property_number" << "ИНВ-7";
        QTest::newRow("operator from settings") << "fields" << "operator.name" << "Петров П. П.";
        QTest::newRow("operator from the login") << "" << "operator.name" << "officer";
        QTest::newRow("search's blocks found") << "search" << "verification.volume_search.key_blocks_found" << "2";
    }

    void certificateFromEntry()
    {
        QFETCH(QString, set);
        QFETCH(QString, field);
        QFETCH(QString, expected);
        JournalEntry e = entry(QStringLiteral("/k/key.pfx"));
        e.user = QStringLiteral("officer");
        e.operatorSource = QStringLiteral("login");
        if (set == QLatin1String("disk"))
            e.disks.append({"sda", "", "Samsung SSD 860", "S4EVNX0M", "sata", "physical"});
        if (set == QLatin1String("flash"))
            e.deviceLimits << QStringLiteral("flash");
        if (set == QLatin1String("token")) {
            e.targetKind = JournalEntry::TargetKind::Token;
            e.tokenMaker = QStringLiteral("Фирма");
        }
        if (set == QLatin1String("fields")) {
            e.operatorSource = QStringLiteral("settings");
            e.operatorName = QStringLiteral("Петров П. П.");
            e.organisationFields.insert(QStringLiteral("media/property_number"), QStringLiteral("ИНВ-7"));
        }
        if (set == QLatin1String("search")) {
            e.survivors = 2;
            e.volumeDevice = QStringLiteral("/dev/sda1");
            e.volumeBytesRead = 1 << 20;
        }
        QVERIFY(Journal(path()).append(e));
        const QVector<JournalRecord> records = Journal(path()).read();
        QCOMPARE(records.size(), 1);
        QString value;
        for (const auto &f : certificateFields(certificateBody(records.first(), path())))
            if (f.first == field)
                value = f.second;
        QCOMPARE(value, expected);
    }

    // A size in the words and digits of the export's language, wherever the entry holds one.
    void sizeWords_data()
    {
        QTest::addColumn<bool>("english");
        QTest::addColumn<qint64>("size");
        QTest::addColumn<QString>("expected");
        QTest::newRow("1 байт") << false << qint64(1) << "1 байт";
        QTest::newRow("2 байта") << false << qint64(2) << "2 байта";
        QTest::newRow("12 байт") << false << qint64(12) << "12 байт";
        QTest::newRow("past a 32-bit count: 5 000 000 002 байта") << false << qint64(5000000002)
                                                                 << "5\u00a0000\u00a0000\u00a0002 байта";
        QTest::newRow("past a 32-bit count: 4 294 967 311 байт") << false << qint64(4294967311)
                                                                << "4\u00a0294\u00a0967\u00a0311 байт";
        QTest::newRow("1 byte") << true << qint64(1) << "1 byte";
        QTest::newRow("past a 32-bit count: 4,294,967,297 bytes") << true << qint64(4294967297) << "4,294,967,297 bytes";
        QTest::newRow("unknown") << false << qint64(-1) << "неизвестно";
    }

    void sizeWords()
    {
        QFETCH(bool, english);
        QFETCH(qint64, size);
        QFETCH(QString, expected);
        const JournalTexts &texts = english ? journalTexts(Language::English) : journalTexts(Language::Russian);
        JournalEntry e = entry(QStringLiteral("/k/key.pfx"));
        e.size = size;
        e.fill = FillWord::Filled;
        e.fillBytes = size;
        e.survivors = 0;
        e.volumeBytesRead = size;
        e.volumeDevice = QStringLiteral("/dev/sda1");
        const QString target = texts.targetText(e);
        QCOMPARE(target.count(expected), 3);
        QVERIFY2(!target.contains(QStringLiteral("%")), qPrintable(target));
    }

    // Every field quoted, quotes doubled, a leading = + - @ defused, so a
    // spreadsheet neither splits nor evaluates what a path or a label holds.
    void csvFields_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("field");
        QTest::newRow("plain") << "/k/key.pfx" << "\"/k/key.pfx\"";
        QTest::newRow("quote and comma") << "/k/a \"b\", c.pfx" << "\"/k/a \"\"b\"\", c.pfx\"";
        QTest::newRow("line break") << "/k/a\nb.pfx" << "\"/k/a\nb.pfx\"";
        for (const char *lead : {"=", "+", "-", "@"})
            QTest::addRow("leading %s", lead) << QString::fromLatin1(lead) + "cmd|' /C calc'!A0"
                                              << "\"'" + QString::fromLatin1(lead) + "cmd|' /C calc'!A0\"";
    }

    void csvFields()
    {
        QFETCH(QString, path);
        QFETCH(QString, field);
        JournalRecord record;
        record.entry = entry(path);
        record.entry.resultText = path; // a column that is the text itself
        const QByteArray csv = journalCsv({record}, journalTexts(Language::Russian));
        QVERIFY(csv.startsWith("\xEF\xBB\xBF"));
        const QString text = QString::fromUtf8(csv.mid(3));
        QVERIFY(text.endsWith(QStringLiteral("\r\n")));
        const QStringList rows = text.split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
        QCOMPARE(rows.size(), 2);
        QVERIFY2(rows[1].contains(QLatin1Char(',') + field + QLatin1Char(',')), qPrintable(rows[1]));
    }

    // A wipe cut off after its first pass: the window and the act show it by
    // its begun entry's number as not finished, with nothing written.
    void openAttemptInWindowAndAct()
    {
        const Journal journal(path());
        QVERIFY(journal.append(entry("/done")));
        JournalEntry begun = entry("/cut");
        begun.phase = JournalEntry::Phase::Begun;
        begun.endState = EndState::Begun;
        begun.passesDone = 0;
        begun.resultText.clear();
        begun.attempt = QStringLiteral("cut-off");
        begun.hostId = QString::fromStdString(journalfile::machineId());
        begun.pid = 0x7ffffff0; // no such process
        QVERIFY(journal.append(begun));
        JournalEntry progress = begun;
        progress.phase = JournalEntry::Phase::Progress;
        progress.passesDone = 1;
        QVERIFY(journal.append(progress));
        const QList<QByteArray> before = lines(path()) + lines(journal.headPath());

        JournalDialog dialog(path());
        auto *table = dialog.findChild<QTableWidget *>("tableEntries");
        QCOMPARE(table->rowCount(), 2);
        QCOMPARE(table->item(0, JournalTexts::Number)->text(), QStringLiteral("2"));
        QCOMPARE(table->item(0, JournalTexts::Result)->text(), QStringLiteral("Не завершено: прервано"));
        QCOMPARE(table->item(0, JournalTexts::Passes)->text(), QStringLiteral("1 из 3"));
        QCOMPARE(table->item(1, JournalTexts::Number)->text(), QStringLiteral("1"));
        const QString chain = dialog.findChild<QLabel *>("labelChain")->text();
        QVERIFY2(chain.contains(QStringLiteral("Запись 2: /cut")) && chain.contains(QStringLiteral("1 из 3, прервано")),
                 qPrintable(chain));
        VerifyResult verification;
        const QVector<JournalRecord> rows = journal.readAttempts(&verification);
        const QString act = actDocument(ActInput{rows, verification, path(), {}, {}})->toPlainText();
        QVERIFY2(act.contains(QStringLiteral("Не завершено: прервано")) && act.contains(QStringLiteral("Запись 2: /cut")),
                 qPrintable(act));
        QCOMPARE(lines(path()) + lines(journal.headPath()), before);
    }

    void windowShowsNewestFirstAndFiltersByDate()
    {
        const Journal journal(path());
        for (const QDate &day : {QDate(2024, 1, 10), QDate(2024, 2, 15), QDate(2024, 3, 20)})
            QVERIFY(journal.append(entry("/k" + day.toString(Qt::ISODate), QDateTime(day, QTime(12, 0)))));
        JournalDialog dialog(path());
        auto *table = dialog.findChild<QTableWidget *>("tableEntries");
        QCOMPARE(table->rowCount(), 3);
        QVERIFY(table->item(0, JournalTexts::Time)->text().startsWith("20.03.2024"));
        QVERIFY(dialog.findChild<QLabel *>("labelChain")->text().contains(QStringLiteral("проверен")));

        dialog.findChild<QDateEdit *>("dateFrom")->setDate(QDate(2024, 2, 1));
        dialog.findChild<QDateEdit *>("dateTo")->setDate(QDate(2024, 2, 29));
        QCOMPARE(table->rowCount(), 1);
        QCOMPARE(dialog.chosenRecords().size(), 1);
        QCOMPARE(dialog.chosenRecords().first().entry.filePath, QStringLiteral("/k2024-02-15"));
    }

    // A journal an earlier command line kept under its own name is named in
    // the window, whose own journal is the installation's.
    void windowNamesAnEarlierCommandLinesJournal_data()
    {
        QTest::addColumn<bool>("earlier");
        QTest::newRow("none") << false;
        QTest::newRow("one left by an earlier command line") << true;
    }

    void windowNamesAnEarlierCommandLinesJournal()
    {
        QFETCH(bool, earlier);
        FreshHome home;
        const QString earlierPath = home.path(FreshHome::earlierRecord() + "/journal.jsonl");
        if (earlier) {
            qputenv("KCC_SIGNING_KEY", QFile::encodeName(home.path(FreshHome::earlierRecord() + "/signing.key")));
            QVERIFY(Journal(earlierPath).append(entry(QStringLiteral("/k-earlier"))));
            qunsetenv("KCC_SIGNING_KEY");
        }
        QVERIFY(Journal().append(entry(QStringLiteral("/k-now"))));
        QCOMPARE(Journal::defaultPath(), home.path(FreshHome::record() + "/journal.jsonl"));
        JournalDialog dialog(Journal::defaultPath());
        QCOMPARE(dialog.findChild<QTableWidget *>("tableEntries")->rowCount(), 1);
        const QString chain = dialog.findChild<QLabel *>("labelChain")->text();
        QVERIFY2(chain.contains(QStringLiteral("проверен")), qPrintable(chain));
        QCOMPARE(chain.contains(earlierPath), earlier);
    }

    // Real tokens from an authority the test made, against records: each
    // way a token or a time can be wrong is named.
    void stampsChecked_data()
    {
        QTest::addColumn<QString>("token");     // "own", "other hash", "other CA", "none"; a list: one stamped entry each
        QTest::addColumn<bool>("asked");
        QTest::addColumn<QByteArray>("nonce");  // kept in the record
        QTest::addColumn<int>("entryShift");    // seconds from now: the entry's own time
        QTest::addColumn<int>("recordedShift"); // the timestamp entry's own time
        QTest::addColumn<QString>("counts");    // stamped/pending/unstamped
        QTest::addColumn<QString>("finding");   // a word of the first finding; empty: none
        QTest::newRow("holds") << "own" << true << QByteArray() << 0 << 1 << "1/0/0" << QString();
        QTest::newRow("pending") << "none" << true << QByteArray() << 0 << 0 << "0/1/0" << QString();
        QTest::newRow("unstamped") << "none" << false << QByteArray() << 0 << 0 << "0/0/1" << QString();
        QTest::newRow("token for another hash") << "other hash" << true << QByteArray() << 0 << 1 << "0/1/0"
                                                << "imprint";
        QTest::newRow("token from another CA") << "other CA" << true << QByteArray() << 0 << 1 << "0/1/0"
                                               << "certificate";
        QTest::newRow("another nonce kept") << "own" << true << QByteArray::fromHex("0102") << 0 << 1 << "0/1/0"
                                            << "число";
        QTest::newRow("authority's time before the entry's") << "own" << true << QByteArray() << 86400 << 86401
                                                             << "1/0/0" << "вперед";
        // Each signer's chain is checked once a run: a second authority
        // from another CA still fails, before or after the one that holds.
        QTest::newRow("own, then another CA's") << "own,other CA" << true << QByteArray() << 0 << 1 << "1/1/0"
                                                << "certificate";
        QTest::newRow("another CA's, then own twice") << "other CA,own,own" << true << QByteArray() << 0 << 1
                                                      << "2/1/0" << "certificate";
        QTest::newRow("clock set back a day") << "own" << true << QByteArray() << -86400 << -86399 << "1/0/0"
                                              << "назад";
    }
    void stampsChecked()
    {
        QFETCH(QString, token);
        QFETCH(bool, asked);
        QFETCH(QByteArray, nonce);
        QFETCH(int, entryShift);
        QFETCH(int, recordedShift);
        QFETCH(QString, counts);
        QFETCH(QString, finding);
        static TestAuthority own, other;
        QVERIFY(own.ok() && other.ok());
        const QDateTime now = QDateTime::currentDateTimeUtc();
        QVector<JournalRecord> records;
        int failingLine = 0; // the first token's that does not hold
        const QStringList tokens = token.split(QLatin1Char(','));
        for (int i = 0; i < tokens.size(); ++i) {
            JournalRecord ended;
            ended.sequence = ended.line = 4 + 2 * i;
            ended.hash = QString::fromLatin1(
                QCryptographicHash::hash("ending" + QByteArray::number(i), QCryptographicHash::Sha256).toHex());
            ended.entry.time = now.addSecs(entryShift);
            ended.entry.stampAsked = asked;
            records << ended;
            if (tokens.at(i) == QLatin1String("none"))
                continue;
            JournalRecord stamp;
            stamp.sequence = stamp.line = ended.line + 1;
            stamp.entry.phase = JournalEntry::Phase::Timestamp;
            stamp.entry.time = now.addSecs(recordedShift);
            stamp.entry.stampedSequence = ended.sequence;
            stamp.entry.stampedHash = ended.hash;
            stamp.entry.stampNonce = nonce;
            const QString digest = tokens.at(i) == QLatin1String("other hash") ? QString(64, QLatin1Char('a')) : ended.hash;
            stamp.entry.stampToken = (tokens.at(i) == QLatin1String("other CA") ? other : own).token(digest);
            QVERIFY(!stamp.entry.stampToken.isEmpty());
            if (!failingLine && (tokens.at(i) != QLatin1String("own") || !nonce.isEmpty()))
                failingLine = stamp.line;
            records << stamp;
        }
        const stamps::Report report = stamps::check(records, timestamp::Verifier(own.caFile()));
        // A token that fails leaves its entry pending.
        QCOMPARE(QStringLiteral("%1/%2/%3").arg(report.stamped).arg(report.pending).arg(report.unstamped), counts);
        QVERIFY2(report.notVerified.isEmpty(), qPrintable(report.notVerified));
        QCOMPARE(report.findings.isEmpty(), finding.isEmpty());
        if (!finding.isEmpty()) {
            QVERIFY2(report.findings.front().why.contains(finding), qPrintable(report.findings.front().why));
            QCOMPARE(report.findings.front().line, report.findings.front().clock ? 4 : failingLine);
        }
    }

    // Where a member's value stands in text the program wrote; anything
    // unexpected is "not found", for the caller to parse the text whole.
    void compactMembers_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("path");     // keys, dotted
        QTest::addColumn<QByteArray>("value"); // its text; empty: not found
        QTest::newRow("nested") << QByteArray("{\"a\":{\"b\":[1,{\"c\":\"}\"}],\"c\":\"x\"},\"d\":2}") << "a.c" << QByteArray("\"x\"");
        QTest::newRow("a brace inside a string") << QByteArray("{\"a\":\"{\\\"}\",\"b\":true}") << "b" << QByteArray("true");
        QTest::newRow("indented, compacted") << QByteArray("{\n    \"a\": {\n        \"b\": \"x y\"\n    }\n}")
                                             << "a.b" << QByteArray("\"x y\"");
        QTest::newRow("a name twice") << QByteArray("{\"a\":1,\"a\":2}") << "a" << QByteArray();
        QTest::newRow("the same name deeper counts apart") << QByteArray("{\"a\":{\"a\":1}}") << "a.a" << QByteArray("1");
        QTest::newRow("a comma before the end") << QByteArray("{\"a\":1,}") << "a" << QByteArray();
        QTest::newRow("no comma between") << QByteArray("{\"a\":1\"b\":2}") << "b" << QByteArray();
        QTest::newRow("not a value") << QByteArray("{\"a\":yes,\"b\":2}") << "b" << QByteArray();
        QTest::newRow("a string not closed") << QByteArray("{\"a\":\"x}") << "a" << QByteArray();
        QTest::newRow("not an object") << QByteArray("[\"a\",1]") << "a" << QByteArray();
        QTest::newRow("missing") << QByteArray("{\"a\":{\"b\":1}}") << "a.c" << QByteArray();
    }
    void compactMembers()
    {
        QFETCH(QByteArray, text);
        QFETCH(QString, path);
        QFETCH(QByteArray, value);
        const QByteArray compact = compactjson::compacted(text);
        compactjson::Span at = compactjson::whole(compact);
        for (const QString &key : path.split(QLatin1Char('.')))
            at = compactjson::member(compact, at, key.toLatin1().constData());
        QCOMPARE(at.found() ? compact.mid(at.from, at.to - at.from) : QByteArray(), value);
        QByteArray plain;
        QCOMPARE(compactjson::plainString(compact, at, &plain), value.startsWith('"') && !value.contains('\\'));
    }

    // Every byte of a real token changed in turn: the verifier, which
    // decodes the authority's certificates once a run, never holds a token
    // OpenSSL's own whole check refuses, and holds the untouched one.
    void tokenNoLaxerThanOpenSsl_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("ECDSA P-256 authority") << "ec";
        QTest::newRow("RSA authority") << "rsa";
        QTest::newRow("GOST R 34.10-2012 authority") << "gost";
    }
    void tokenNoLaxerThanOpenSsl()
    {
        QFETCH(QString, kind);
        const TestAuthority authority(kind);
        if (authority.unavailable())
            QSKIP("OpenSSL's GOST engine (libengine-gost-openssl) is not installed");
        QVERIFY(authority.ok());
        const timestamp::Verifier verifier(authority.caFile()); // loads that engine where there is one
        const QString digestHex(64, QLatin1Char('5'));
        const QByteArray digest = QByteArray::fromHex(digestHex.toLatin1());
        const QByteArray token = authority.token(digestHex);
        QVERIFY(!token.isEmpty());
        Owned<X509_STORE, X509_STORE_free> store(X509_STORE_new());
        QVERIFY(X509_STORE_load_file(store.get(), QFile::encodeName(authority.caFile()).constData()) == 1);
        const auto openSslHolds = [&](const QByteArray &der) {
            const auto *at = reinterpret_cast<const unsigned char *>(der.constData());
            Owned<PKCS7, PKCS7_free> p7(d2i_PKCS7(nullptr, &at, der.size()));
            Owned<TS_VERIFY_CTX, TS_VERIFY_CTX_free> ctx(TS_VERIFY_CTX_new());
            X509_STORE_up_ref(store.get());
            TS_VERIFY_CTX_set_store(ctx.get(), store.get());
            TS_VERIFY_CTX_set_imprint(ctx.get(), static_cast<unsigned char *>(OPENSSL_memdup(digest.constData(), 32)), 32);
            TS_VERIFY_CTX_set_flags(ctx.get(), TS_VFY_VERSION | TS_VFY_SIGNATURE | TS_VFY_IMPRINT);
            return p7 && TS_RESP_verify_token(ctx.get(), p7.get()) == 1;
        };
        const auto holds = [&](const QByteArray &der) {
            return verifier.check(der, digest, QByteArray()).state == timestamp::TokenCheck::State::Holds;
        };
        QVERIFY(holds(token) && openSslHolds(token));
        // The signed time-stamp info: no byte of it changes unnoticed.
        const auto *at = reinterpret_cast<const unsigned char *>(token.constData());
        const Owned<PKCS7, PKCS7_free> p7(d2i_PKCS7(nullptr, &at, token.size()));
        QVERIFY(p7 && PKCS7_type_is_signed(p7.get()));
        const ASN1_OCTET_STRING *info = p7->d.sign->contents->d.other->value.octet_string;
        const int infoAt = token.indexOf(QByteArray(reinterpret_cast<const char *>(info->data), info->length));
        QVERIFY(infoAt > 0);
        for (int i = 0; i < token.size(); ++i) {
            QByteArray changed = token;
            changed[i] = char(changed.at(i) ^ 0x01);
            const bool ours = holds(changed);
            QVERIFY2(!ours || openSslHolds(changed), qPrintable(QStringLiteral("byte %1 of %2").arg(i).arg(token.size())));
            QVERIFY2(!ours || i < infoAt || i >= infoAt + info->length, qPrintable(QStringLiteral("byte %1").arg(i)));
        }
        QVERIFY(holds(token)); // the certificates kept from the changed ones spoil nothing
    }
};

QTEST_MAIN(TestJournal)
#include "tst_journal.moc"
