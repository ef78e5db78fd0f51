// What the officer reads: every text of the main window, the About dialog and
// the media dialog fits its widget with Debian's desktop fonts at the dpi of
// this run (QT_FONT_DPI or QT_SCALE_FACTOR, one CTest entry each), and Qt's
// own texts are Russian once the program's loader has run.

#include "fakevelmux.h"
#include "findwidget.h"
#include "formabout.h"
#include "formselectmedia.h"
#include "kestrik_kcc.h"
#include "language.h"
#include "wipetexts.h"

#include <QGroupBox>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QStyleOptionButton>
#include <QStyleOptionGroupBox>
#include <QTranslator>
#include <QtTest>

#include <iterator>
#include <memory>
#include <tuple>

namespace {

bool fits(const QSize &text, const QRect &room)
{
    return text.width() <= room.width() && text.height() <= room.height();
}

QString describe(const QWidget *w, const QString &text, const QSize &need, const QRect &room)
{
    return QStringLiteral("%1 \"%2\": needs %3x%4, has %5x%6")
        .arg(w->objectName(), text)
        .arg(need.width()).arg(need.height()).arg(room.width()).arg(room.height());
}

// Every visible text of the window that its widget cuts off.
QStringList clippedTexts(QWidget &window)
{
    QStringList clipped;
    const auto check = [&](const QWidget *w, const QString &text, const QSize &need, const QRect &room) {
        if (!fits(need, room) || !w->rect().contains(room))
            clipped << describe(w, text, need, room);
    };
    for (QWidget *w : window.findChildren<QWidget *>()) {
        if (!w->isVisibleTo(&window))
            continue;
        const QFontMetrics fm = w->fontMetrics();
        if (auto *label = qobject_cast<QLabel *>(w)) {
            if (label->text().isEmpty())
                continue;
            if (label->wordWrap()) {
                const QSize need(label->width(), label->heightForWidth(label->width()));
                check(w, label->text().left(40), need, label->rect());
            } else {
                const int m = label->margin();
                check(w, label->text(), fm.size(Qt::TextShowMnemonic, label->text()),
                      label->contentsRect().adjusted(m, m, -m, -m));
            }
        } else if (auto *button = qobject_cast<QAbstractButton *>(w)) {
            QStyleOptionButton option;
            option.initFrom(button);
            option.text = button->text();
            const QStyle::SubElement contents = qobject_cast<QRadioButton *>(w)
                                                    ? QStyle::SE_RadioButtonContents
                                                    : QStyle::SE_PushButtonContents;
            check(w, button->text(), fm.size(Qt::TextShowMnemonic, button->text()),
                  w->style()->subElementRect(contents, &option, w));
        } else if (auto *box = qobject_cast<QGroupBox *>(w)) {
            QStyleOptionGroupBox option;
            option.initFrom(box);
            option.text = box->title();
            option.textAlignment = box->alignment();
            option.subControls = QStyle::SC_GroupBoxFrame | QStyle::SC_GroupBoxLabel;
            option.lineWidth = 1;
            check(w, box->title(), fm.size(Qt::TextShowMnemonic, box->title()),
                  w->style()->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxLabel, w));
        } else if (auto *bar = qobject_cast<QMenuBar *>(w)) {
            for (QAction *action : bar->actions())
                check(w, action->text(), fm.size(Qt::TextShowMnemonic, action->text()),
                      bar->actionGeometry(action));
        }
    }
    return clipped;
}

// The shown widgets of the main window more than 3 pixels off the form as it
// was drawn, each in its parent's coordinates. Radio buttons and the PIN label
// are as large as their font makes them: only their corner counts.
QStringList offDrawing(QWidget &window)
{
    QList<std::tuple<const char *, QRect, bool>> form = {
        {"groupBox", {10, 10, 541, 81}, true},
        {"radioButtonFile", {10, 20, 171, 17}, false},
        {"radioButtonDevice", {180, 20, 151, 17}, false},
        {"lineEditFile", {10, 50, 481, 21}, true},
        {"pushButtonOpenFile", {500, 50, 31, 21}, true},
        {"lineEditDevice", {10, 50, 311, 21}, true},
        {"pushButtonOpenDevice", {330, 50, 31, 21}, true},
        {"labelPIN", {370, 50, 21, 16}, false},
        {"lineEditPIN", {400, 50, 131, 21}, true},
        {"groupBox_2", {10, 100, 541, 91}, true},
        {"pushButtonClean", {10, 200, 201, 23}, true},
    };
    // The algorithms, row by row in three columns.
    const char *const algorithms[] = {"radioButtonGost", "radioButtonHMG_ES", "radioButtonDoD",
                                      "radioButtonVSITR", "radioButtonRCMP", "radioButtonSchneier",
                                      "radioButtonHMG_BS", "radioButtonAR"};
    for (int i = 0; i < int(std::size(algorithms)); ++i)
        form.append({algorithms[i], QRect(10 + 170 * (i % 3), 20 + 20 * (i / 3), 161, 17), false});
    QStringList off;
    for (const auto &[name, drawn, sized] : form) {
        const QWidget *w = child<QWidget>(window, name);
        const QRect r = w->geometry();
        const QPoint corner = r.topLeft() - drawn.topLeft();
        const QSize size = sized ? r.size() - drawn.size() : QSize(0, 0);
        if (w->isVisibleTo(&window) && qMax(qMax(qAbs(corner.x()), qAbs(corner.y())),
                                            qMax(qAbs(size.width()), qAbs(size.height()))) > 3)
            off << QStringLiteral("%1 at %2,%3 %4x%5")
                       .arg(name).arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height());
    }
    return off;
}

// The program's language as KCC_LANGUAGE chooses it at start-up, for one row:
// English installs the embedded catalogue, Russian installs nothing more.
class ScopedLanguage
{
public:
    explicit ScopedLanguage(const QString &language) : m_saved(qgetenv("KCC_LANGUAGE"))
    {
        qputenv("KCC_LANGUAGE", language.toLatin1());
        chosen = programLanguage();
        if (chosen == Language::English) {
            std::vector<std::unique_ptr<QTranslator>> translators = programTranslators(chosen);
            if (!translators.empty())
                m_translator = std::move(translators.front());
            installed = m_translator && QCoreApplication::installTranslator(m_translator.get());
        }
    }
    ~ScopedLanguage()
    {
        if (installed)
            QCoreApplication::removeTranslator(m_translator.get());
        qputenv("KCC_LANGUAGE", m_saved);
    }
    ScopedLanguage(const ScopedLanguage &) = delete;
    ScopedLanguage &operator=(const ScopedLanguage &) = delete;

    Language chosen = Language::Russian;
    bool installed = false;

private:
    QByteArray m_saved;
    std::unique_ptr<QTranslator> m_translator;
};

} // namespace

class TestWindowTexts : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void textsFit_data();
    void textsFit();
    void language_data();
    void language();
    void qtTextsRussian_data();
    void qtTextsRussian();

private:
    QFont m_platformFont;
};

void TestWindowTexts::initTestCase()
{
    m_platformFont = QApplication::font();
    QVERIFY2(programLanguage() == Language::Russian && installProgramTranslations(*qApp),
             "Russian not chosen (KCC_LANGUAGE=ru), or qtbase_ru.qm missing: Debian's qttranslations5-l10n");
}

void TestWindowTexts::init()
{
    FakeVelmux::reset();
    FakeVelmux::addMedia(6, FakeVelmux::makeRecord(7, 6, 0x5A), "Token", "Model", "0042");
}

void TestWindowTexts::cleanup()
{
    QApplication::setFont(m_platformFont);
}

void TestWindowTexts::textsFit_data()
{
    QTest::addColumn<QString>("family"); // empty: the platform's own default
    QTest::addColumn<int>("points");
    QTest::addColumn<QString>("window");
    QTest::addColumn<QString>("language");
    QTest::addColumn<bool>("drawn"); // the main window keeps its drawn geometry at 96 dpi
    // Qt's own default off a desktop is 12 points: its texts need more room
    // than the drawing gave them, so the window grows there.
    const struct {
        const char *name;
        const char *family;
        int points;
        bool drawn;
    } fonts[] = {
        {"platform default", "", 0, false},
        {"DejaVu Sans 9 (Qt on X11)", "DejaVu Sans", 9, true},
        {"Cantarell 11 (GNOME)", "Cantarell", 11, false},
    };
    for (const char *language : {"ru", "en"})
        for (const auto &font : fonts)
            for (const char *window : {"main, file", "main, device", "about", "media"})
                QTest::addRow("%s, %s, %s", language, font.name, window)
                    << font.family << font.points << window << language
                    << (font.drawn && qstrcmp(language, "ru") == 0 && qstrncmp(window, "main", 4) == 0);
}

void TestWindowTexts::textsFit()
{
    QFETCH(QString, family);
    QFETCH(int, points);
    QFETCH(QString, window);
    QFETCH(QString, language);
    QFETCH(bool, drawn);
    const ScopedLanguage chosen(language);
    QVERIFY(chosen.chosen == Language::Russian || chosen.installed);
    if (!family.isEmpty()) {
        const QFont font(family, points);
        QCOMPARE(QFontInfo(font).family(), family);
        QApplication::setFont(font);
    }

    Kestrik_KCC main;
    if (window == QLatin1String("main, device"))
        child<QRadioButton>(main, "radioButtonDevice")->click();
    main.show();
    QWidget *shown = &main;
    FormAbout about(&main);
    FormSelectMedia media(&main);
    if (window == QLatin1String("about"))
        shown = &about;
    else if (window == QLatin1String("media"))
        shown = &media;
    shown->show();
    QVERIFY(QTest::qWaitForWindowExposed(shown));

    const QStringList clipped = clippedTexts(*shown);
    QVERIFY2(clipped.isEmpty(), qPrintable(clipped.join(QStringLiteral("\n"))));
    // The window fits its contents: no layout squeezed below its minimum.
    QVERIFY(shown->width() >= shown->minimumSizeHint().width());
    QVERIFY(shown->height() >= shown->minimumSizeHint().height());
    // Drawn for 96 dpi, one device pixel per pixel.
    const QScreen *screen = main.screen();
    if (drawn && qRound(screen->logicalDotsPerInch()) == 96
        && qFuzzyCompare(screen->devicePixelRatio(), 1.0)) {
        QCOMPARE(main.size(), QSize(560, 252));
        const QStringList off = offDrawing(main);
        QVERIFY2(off.isEmpty(), qPrintable(off.join(QStringLiteral("\n"))));
    }
}

void TestWindowTexts::language_data()
{
    QTest::addColumn<QString>("language");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("cleanButton");
    QTest::addColumn<QString>("boxText");
    QTest::newRow("KCC_LANGUAGE=ru") << "ru" << "Модуль гарантированного удаления ключевых контейнеров"
                                     << "&Удалить ключевой контейнер"
                                     << "Ключевой контейнер очищен и удален успешно.";
    QTest::newRow("KCC_LANGUAGE=en") << "en" << "Secure Key Container Deletion Module" << "&Wipe key container"
                                     << "Key container wiped and deleted successfully.";
}

void TestWindowTexts::language()
{
    QFETCH(QString, language);
    QFETCH(QString, title);
    QFETCH(QString, cleanButton);
    QFETCH(QString, boxText);
    const ScopedLanguage chosen(language);
    QCOMPARE(chosen.chosen == Language::English, language == QLatin1String("en"));
    Kestrik_KCC main;
    QCOMPARE(main.windowTitle(), title);
    QCOMPARE(child<QPushButton>(main, "pushButtonClean")->text(), cleanButton);
    QCOMPARE(wipetexts::wiped(), boxText);
}

void TestWindowTexts::qtTextsRussian_data()
{
    QTest::addColumn<QString>("context");
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("russian");
    QTest::newRow("file dialog: Look in") << "QFileDialog" << "Look in:" << "Перейти к:";
    QTest::newRow("file dialog: File name") << "QFileDialog" << "File &name:" << "&Имя файла:";
    QTest::newRow("file dialog: Files of type") << "QFileDialog" << "Files of type:" << "Типы файлов:";
    QTest::newRow("button box: Cancel") << "QPlatformTheme" << "Cancel" << "Отмена";
    QTest::newRow("line edit menu: Paste") << "QLineEdit" << "&Paste" << "В&ставить";
}

void TestWindowTexts::qtTextsRussian()
{
    QFETCH(QString, context);
    QFETCH(QString, source);
    QFETCH(QString, russian);
    QCOMPARE(QCoreApplication::translate(context.toLatin1().constData(), source.toLatin1().constData()),
             russian);
}

QTEST_MAIN(TestWindowTexts)
#include "tst_windowtexts.moc"
