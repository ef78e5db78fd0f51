// The catalogues kept in the repository: the English one holds every Russian
// text of the sources, translated, with its placeholders and line breaks; the
// Russian one the plural forms of every text that holds a number.

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QXmlStreamReader>
#include <QtTest>

namespace {

struct Message {
    QString context;
    QString source;
    QStringList forms; // one translation, or a plural text's forms
    QString type; // the translation's type attribute: unfinished, vanished, obsolete
    bool numerus = false;
};

QVector<Message> readTs(const QString &path, QString *error)
{
    QVector<Message> messages;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = file.errorString();
        return messages;
    }
    QXmlStreamReader xml(&file);
    QString context;
    Message message;
    while (!xml.atEnd()) {
        xml.readNext();
        if (!xml.isStartElement())
            continue;
        if (xml.name() == QLatin1String("name")) {
            context = xml.readElementText();
        } else if (xml.name() == QLatin1String("message")) {
            message = Message{context, QString(), QStringList(), QString(),
                              xml.attributes().value(QLatin1String("numerus")) == QLatin1String("yes")};
        } else if (xml.name() == QLatin1String("source")) {
            message.source = xml.readElementText();
        } else if (xml.name() == QLatin1String("translation")) {
            message.type = xml.attributes().value(QLatin1String("type")).toString();
            if (!message.numerus)
                message.forms << xml.readElementText();
            while (message.numerus && xml.readNextStartElement())
                message.forms << xml.readElementText();
            messages << message;
        }
    }
    if (xml.hasError())
        *error = xml.errorString();
    return messages;
}

QStringList placeholders(const QString &text)
{
    QStringList found;
    QRegularExpressionMatchIterator it = QRegularExpression(QStringLiteral("%L?(\\d+|n)")).globalMatch(text);
    while (it.hasNext())
        found << it.next().captured();
    found.sort();
    return found;
}

// Leading and trailing spaces matter: texts are joined with others.
QString edges(const QString &text)
{
    int lead = 0;
    while (lead < text.size() && text.at(lead) == QLatin1Char(' '))
        ++lead;
    int trail = 0;
    while (trail < text.size() - lead && text.at(text.size() - 1 - trail) == QLatin1Char(' '))
        ++trail;
    return QStringLiteral("%1 leading, %2 trailing").arg(lead).arg(trail);
}

// Latin words of a Russian text that are neither names, options, units nor
// markup: an English word left in a Russian sentence.
QStringList foreignWords(const QString &text)
{
    static const QSet<QString> names{
        // formats, standards, programs, file systems and the device commands they name
        "CSV", "PDF", "JSON", "SHA-256", "PIN", "PKCS#11", "FUSE", "Qt", "Kestrik", "KCC", "nctx", "p12", "pfx", "json", "pdf",
        "overlay", "sanitize", "crypto", "erase", "NIST", "SP", "Clear", "Purge", "ru", "en", "www", "email", "Windows", "DLL",
        // the algorithms' names on the command line
        "gost", "dod", "hmg-bs", "hmg-es", "rcmp", "ar380", "vsitr", "schneier", "yes", "last"};
    QString plain = text;
    for (const char *pattern : {"<[^>]*>", "&[a-z]+;", "(https?|mailto):[^\\s\"<]*", "[\\w.]+@[\\w.]+",
                                "(^|\\s|\\[|\\()--?[A-Za-z][A-Za-z0-9-]*", "\\b[A-Z][A-Z0-9]*_[A-Z0-9_]+\\b", "%L?(\\d+|n)",
                                "\\b[a-z0-9.-]+\\.example\\b/?", "#\\w+#", "\\*\\.[A-Za-z0-9.]+"})
        plain.replace(QRegularExpression(QString::fromLatin1(pattern)), QStringLiteral(" "));
    QStringList found;
    QRegularExpressionMatchIterator it = QRegularExpression(QStringLiteral("[A-Za-z][A-Za-z0-9#+]*(-[A-Za-z0-9]+)*")).globalMatch(plain);
    while (it.hasNext()) {
        const QString word = it.next().captured();
        if (!names.contains(word) && !names.contains(word + QLatin1Char('#')))
            found << word;
    }
    return found;
}

} // namespace

class TestTranslations : public QObject
{
    Q_OBJECT

private slots:
    void catalogue_data();
    void catalogue();
};

void TestTranslations::catalogue_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("language"); // the catalogue's own lupdate options
    QTest::addColumn<int>("forms");        // of a plural text
    QTest::addColumn<bool>("updateFromSources");
    for (bool update : {false, true}) {
        const char *how = update ? "after lupdate over the sources (no new, no vanished texts)" : "as kept in the repository";
        QTest::addRow("English, %s", how) << QStringLiteral(KCC_TS_EN) << QStringLiteral(KCC_LUPDATE_EN) << 2 << update;
        QTest::addRow("Russian plural forms, %s", how) << QStringLiteral(KCC_TS_RU) << QStringLiteral(KCC_LUPDATE_RU) << 3 << update;
    }
}

void TestTranslations::catalogue()
{
    QFETCH(QString, path);
    QFETCH(QString, language);
    QFETCH(int, forms);
    QFETCH(bool, updateFromSources);
    const bool english = forms == 2;
    QTemporaryDir dir;
    if (updateFromSources) {
        QVERIFY(dir.isValid());
        const QString copy = dir.filePath(QStringLiteral("copy.ts"));
        QVERIFY(QFile::copy(path, copy));
        QStringList arguments = QStringLiteral(KCC_LUPDATE_OPTIONS).split(QLatin1Char(','))
                                + language.split(QLatin1Char(','));
        arguments << QStringLiteral("-extensions") << QStringLiteral("cpp,h,ui");
        for (const QString &sub : QStringLiteral(KCC_TRANSLATED_DIRS).split(QLatin1Char(',')))
            arguments << QDir(QStringLiteral(KCC_SOURCE_DIR)).filePath(sub);
        arguments << QStringLiteral("-ts") << copy;
        QProcess lupdate;
        lupdate.start(QStringLiteral(KCC_LUPDATE), arguments);
        QVERIFY2(lupdate.waitForFinished(300000), qPrintable(lupdate.errorString()));
        QVERIFY2(lupdate.exitCode() == 0, lupdate.readAllStandardError().constData());
        path = copy;
    }

    QString error;
    const QVector<Message> messages = readTs(path, &error);
    QVERIFY2(error.isEmpty(), qPrintable(error));
    QVERIFY(messages.size() > (english ? 100 : 5));
    QStringList faults;
    QSet<QString> seen;
    const QRegularExpression cyrillic(QStringLiteral("[\\x{0400}-\\x{04FF}]"));
    for (const Message &m : messages) {
        const QString where = m.context + QStringLiteral(": \"") + m.source.left(60) + QStringLiteral("\": ");
        if (!m.type.isEmpty())
            faults << where + m.type + (m.type == QLatin1String("unfinished")
                                            ? QStringLiteral(" (new text: translate it)")
                                            : QStringLiteral(" (gone from the sources: remove it)"));
        else if (m.forms.size() != (m.numerus ? forms : 1))
            faults << where + QStringLiteral("%1 forms").arg(m.forms.size());
        for (const QString &translation : m.forms) {
            if (translation.isEmpty())
                faults << where + QStringLiteral("empty translation");
            else if (placeholders(m.source) != placeholders(translation))
                faults << where + QStringLiteral("placeholders differ");
            else if (m.source.count(QLatin1Char('\n')) != translation.count(QLatin1Char('\n')))
                faults << where + QStringLiteral("line breaks differ");
            else if (edges(m.source) != edges(translation))
                faults << where + QStringLiteral("spaces at the ends differ");
            if (english && !updateFromSources && translation.contains(cyrillic))
                faults << where + QStringLiteral("Cyrillic in the English translation");
        }
        // One voice: "е" as the fixed texts write it, and no English inside Russian.
        QStringList russian = english ? QStringList() : m.forms;
        russian << m.source;
        for (const QString &text : russian) {
            if (!text.contains(cyrillic))
                continue;
            if (text.contains(QChar(0x0451)) || text.contains(QChar(0x0401)))
                faults << where + QStringLiteral("writes ё where the texts write е");
            if (text.contains(QStringLiteral(" - ")))
                faults << where + QStringLiteral("a hyphen where the texts write a dash (—)");
            const QStringList foreign = foreignWords(text);
            if (!foreign.isEmpty())
                faults << where + QStringLiteral("Latin words in a Russian text: ") + foreign.join(QLatin1Char(' '));
        }
        const QString key = m.context + QChar(0) + m.source;
        if (seen.contains(key))
            faults << where + QStringLiteral("listed twice");
        seen.insert(key);
    }
    QVERIFY2(faults.isEmpty(), qPrintable(faults.join(QLatin1Char('\n'))));
}

QTEST_GUILESS_MAIN(TestTranslations)
#include "tst_translations.moc"
