// The real main window under Qt Test: what the user sees, the boxes the clean
// command shows, and what reaches the executors. The container library is the
// link-time fake; files are real.

#include "fakevelmux.h"
#include "kestrik_kcc.h"
#include "journal.h"
#include "language.h"
#include "wipeprogressdialog.h"
#include "findwidget.h"
#include "boxtexts.h"
#include "loopmount.h"
#include "modalanswerer.h"
#include "passpattern.h"
#include "programrun.h"

#include <QAccessible>
#include <QCheckBox>
#include <QDateTime>
#include <QDialog>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QMimeData>
#include <QProgressDialog>
#include <QPushButton>
#include <QScopeGuard>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QtTest>

#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

using boxtexts::title;
using boxtexts::chooseContainer;
using boxtexts::confirmation;
using boxtexts::wiped;

// Nothing but looking at the token: the confirmation names it from what the
// library lists, and nothing else may happen before "Да".
bool tokenUntouched()
{
    for (const FakeVelmux::Call &call : FakeVelmux::calls())
        if (call.function != "velmux_create_ctx" && call.function != "velmux_get_media_info"
            && call.function != "velmux_get_media_list" && call.function != "velmux_destroy_ctx")
            return false;
    return true;
}

// Picks the first line of the media dialog and presses OK.
ModalAnswerer::Answer pickFirstMedium()
{
    return [](QWidget *w) {
        auto *list = w->findChild<QListWidget *>(QStringLiteral("listWidgetMediaSlots"));
        if (list && list->count() > 0)
            list->setCurrentRow(0);
        if (auto *ok = w->findChild<QPushButton *>(QStringLiteral("buttonOk")))
            ok->click();
    };
}

// Drops the URLs at the middle of `target` as the window system hands a drop
// to the window: Qt itself finds the widget under the point. Returns the
// action the drag source is told.
Qt::DropAction dropUrls(QWidget &window, QWidget &target, const QList<QUrl> &urls)
{
    QMimeData mime;
    mime.setUrls(urls);
    QStringList text;
    for (const QUrl &url : urls)
        text << url.toString();
    mime.setText(text.join(QLatin1Char('\n'))); // what a field would insert, if it got the drop
    const QPoint at = target.mapTo(&window, target.rect().center());
    const Qt::DropActions offered = Qt::CopyAction | Qt::MoveAction | Qt::LinkAction;
    QDragEnterEvent enter(at, offered, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(window.windowHandle(), &enter);
    QDropEvent drop(at, offered, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(window.windowHandle(), &drop);
    return drop.isAccepted() ? drop.dropAction() : Qt::IgnoreAction;
}

} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void startState();
    void modeSwitchKeepsFields();
    void emptyTarget_data();
    void emptyTarget();
    void confirmationRefused_data();
    void confirmationRefused();
    void fileWipe_data();
    void fileWipe();
    void algorithmOfEachButton_data();
    void algorithmOfEachButton();
    void deviceWipe_data();
    void deviceWipe();
    void workerKeepsTheSequence();
    void cancelKeepsTheFile();
    void fillOfferedWithoutASearch();
    void pinLeavesNoCopy_data();
    void pinLeavesNoCopy();
    void openFile_data();
    void openFile();
    void openWith_data();
    void openWith();
    void mediaDialogClosed_data();
    void mediaDialogClosed();
    void enterStartsWipe_data();
    void enterStartsWipe();
    void accessibleNames_data();
    void accessibleNames();
    void mnemonics_data();
    void mnemonics();
    void exitAction();
    void about();

private:
    void chooseMedium(Kestrik_KCC &window);
    QTemporaryDir m_dir;
};

void TestMainWindow::init()
{
    FakeVelmux::reset();
    FakeVelmux::addMedia(6, FakeVelmux::makeRecord(7, 6, 0x5A), "Token", "Model", "0042");
    FakeVelmux::setContainerSize(64);
}

void TestMainWindow::chooseMedium(Kestrik_KCC &window)
{
    child<QRadioButton>(window, "radioButtonDevice")->click();
    ModalAnswerer answerer;
    answerer.then(pickFirstMedium());
    child<QPushButton>(window, "pushButtonOpenDevice")->click();
    QCOMPARE(child<QLineEdit>(window, "lineEditDevice")->text(),
             QStringLiteral("Token (Model, S/N 0042)"));
}

void TestMainWindow::startState()
{
    Kestrik_KCC window;
    window.show();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    // Fixed, never below the drawn size; larger where the font needs it.
    QCOMPARE(window.minimumSize(), window.maximumSize());
    QCOMPARE(window.size(), window.minimumSize());
    QVERIFY(window.width() >= 560 && window.height() >= 252);
    QCOMPARE(QApplication::focusWidget(), child<QLineEdit>(window, "lineEditFile"));
    QCOMPARE(child<QLabel>(window, "labelPIN")->buddy(), child<QLineEdit>(window, "lineEditPIN"));
    QCOMPARE(window.windowTitle(), QStringLiteral("Модуль гарантированного удаления ключевых контейнеров"));
    QVERIFY(!window.windowIcon().isNull());
    QVERIFY(child<QRadioButton>(window, "radioButtonFile")->isChecked());
    QVERIFY(child<QRadioButton>(window, "radioButtonGost")->isChecked());
    QVERIFY(child<QLineEdit>(window, "lineEditFile")->isVisible());
    QVERIFY(child<QPushButton>(window, "pushButtonOpenFile")->isVisible());
    QVERIFY(!child<QLineEdit>(window, "lineEditDevice")->isVisible());
    QVERIFY(!child<QPushButton>(window, "pushButtonOpenDevice")->isVisible());
    QVERIFY(!child<QLineEdit>(window, "lineEditPIN")->isVisible());
    QVERIFY(!child<QLabel>(window, "labelPIN")->isVisible());
    QCOMPARE(child<QLineEdit>(window, "lineEditPIN")->echoMode(), QLineEdit::Password);
    QVERIFY(child<QLineEdit>(window, "lineEditDevice")->isReadOnly());
    QVERIFY(tokenUntouched());
}

void TestMainWindow::modeSwitchKeepsFields()
{
    Kestrik_KCC window;
    window.show();
    child<QLineEdit>(window, "lineEditFile")->setText(QStringLiteral("/tmp/key.pfx"));
    child<QRadioButton>(window, "radioButtonDevice")->click();
    QVERIFY(!child<QLineEdit>(window, "lineEditFile")->isVisible());
    QVERIFY(child<QLineEdit>(window, "lineEditDevice")->isVisible());
    QVERIFY(child<QLineEdit>(window, "lineEditPIN")->isVisible());
    QVERIFY(child<QLabel>(window, "labelPIN")->isVisible());
    QVERIFY(child<QPushButton>(window, "pushButtonClean")->isVisible());
    child<QLineEdit>(window, "lineEditPIN")->setText(QStringLiteral("1234"));
    child<QRadioButton>(window, "radioButtonFile")->click();
    QVERIFY(child<QLineEdit>(window, "lineEditFile")->isVisible());
    QCOMPARE(child<QLineEdit>(window, "lineEditFile")->text(), QStringLiteral("/tmp/key.pfx"));
    QCOMPARE(child<QLineEdit>(window, "lineEditPIN")->text(), QStringLiteral("1234"));
}

void TestMainWindow::emptyTarget_data()
{
    QTest::addColumn<bool>("deviceMode");
    QTest::addColumn<QString>("filePath");
    QTest::newRow("file mode, empty field") << false << QString();
    QTest::newRow("device mode, no medium, a path in the hidden file field")
        << true << QStringLiteral("/tmp/some.nctx");
}

void TestMainWindow::emptyTarget()
{
    QFETCH(bool, deviceMode);
    QFETCH(QString, filePath);
    Kestrik_KCC window;
    window.show();
    child<QLineEdit>(window, "lineEditFile")->setText(filePath);
    if (deviceMode)
        child<QRadioButton>(window, "radioButtonDevice")->click();

    ModalAnswerer answerer;
    child<QPushButton>(window, "pushButtonClean")->click();
    QCOMPARE(answerer.boxes().size(), 1);
    const ModalAnswerer::Box box = answerer.boxes().front();
    QCOMPARE(box.icon, QMessageBox::Critical);
    QCOMPARE(box.title, title);
    QCOMPARE(box.text, chooseContainer);
    QCOMPARE(box.buttons.size(), 1);
    QCOMPARE(box.parent, &window);
    QVERIFY(tokenUntouched());
}

void TestMainWindow::initTestCase()
{
    // As the program starts: the Russian catalogue gives the plural forms.
    QVERIFY(installProgramTranslations(*qApp));
}

void TestMainWindow::confirmationRefused_data()
{
    QTest::addColumn<bool>("escape");
    QTest::addColumn<qint64>("size"); // sparse past the key's 16 bytes
    QTest::addColumn<QString>("bytes");
    QTest::newRow("Нет") << false << qint64(16) << "байт";
    QTest::newRow("Escape") << true << qint64(16) << "байт";
    QTest::newRow("2 байта") << false << qint64(2) << "байта";
    QTest::newRow("21 байт") << false << qint64(21) << "байт";
    QTest::newRow("past a 32-bit count: 5 000 000 002 байта") << false << qint64(5000000002) << "байта";
}

void TestMainWindow::confirmationRefused()
{
    QFETCH(bool, escape);
    QFETCH(qint64, size);
    QFETCH(QString, bytes);
    const QString path = m_dir.filePath(QStringLiteral("keep.nctx"));
    const QByteArray key = QByteArray("secret key bytes").left(int(size));
    {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(key);
        QVERIFY(f.resize(size));
    }
    Kestrik_KCC window;
    window.show();
    child<QLineEdit>(window, "lineEditFile")->setText(path);

    ModalAnswerer answerer;
    answerer.then(escape ? ModalAnswerer::escape() : ModalAnswerer::press(QMessageBox::No));
    child<QPushButton>(window, "pushButtonClean")->click();

    QCOMPARE(answerer.boxes().size(), 1);
    const ModalAnswerer::Box box = answerer.boxes().front();
    QCOMPARE(box.icon, QMessageBox::Question);
    QCOMPARE(box.title, title);
    QCOMPARE(box.text, confirmation);
    QCOMPARE(QSet<QString>(box.buttons.begin(), box.buttons.end()),
             (QSet<QString>{QStringLiteral("Да"), QStringLiteral("Нет")}));
    QCOMPARE(box.defaultButton, QMessageBox::No);
    QCOMPARE(box.informative, QStringLiteral("Файл: %1\nРазмер: %2 %3\nАлгоритм: ГОСТ Р50739-95, проходов: 2.")
                                  .arg(QDir::toNativeSeparators(path), QLocale(QLocale::Russian).toString(size), bytes));
    QCOMPARE(child<QLineEdit>(window, "lineEditFile")->text(), path);
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.size(), size);
    QCOMPARE(f.read(key.size()), key);
}

void TestMainWindow::fileWipe_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("message");
    QTest::addColumn<bool>("cleared");
    QTest::addColumn<QString>("detail"); // what the informative text must hold
    QTest::newRow("existing file") << "file" << wiped << true << QString();
    QTest::newRow("no journal can be written: asked, Нет by default, nothing touched")
        << "unrecorded" << QStringLiteral("Удаление не начато: запись о нем не удалось сохранить в журнале уничтожения. "
                                          "Ключевой контейнер не изменен.")
        << false << QStringLiteral("Запись в журнал ");
    QTest::newRow("no journal can be written: asked, Да goes on, said in the box")
        << "unrecorded, go on" << wiped << true << QStringLiteral("Начало удаления в журнал не записано: ");
    QTest::newRow("volume search asked for on tmpfs: no device to read, said so")
        << "memory" << wiped << true << QStringLiteral("Том не проверен: устройство под файловой системой неизвестно.");
    // Refused before the question: none is asked, nothing is journalled.
    QTest::newRow("path of spaces") << "spaces" << boxtexts::fileNotFound << false << QString();
    QTest::newRow("missing file") << "missing" << boxtexts::fileNotFound << false << QStringLiteral("missing.pfx");
    QTest::newRow("directory") << "directory" << boxtexts::fileFailed << false
                               << QStringLiteral("folder.nctx» — это каталог, а не файл. Ничего не изменено.");
    QTest::newRow("symbolic link: the box names its target")
        << "link" << boxtexts::fileFailed << false
        << QStringLiteral("— символическая ссылка на «%1»").arg(QDir::toNativeSeparators(m_dir.filePath("key.pfx")));
}

void TestMainWindow::fileWipe()
{
    QFETCH(QString, kind);
    QFETCH(QString, message);
    QFETCH(bool, cleared);
    QFETCH(QString, detail);

    QString path = QStringLiteral("   ");
    const QByteArray journalPath = qgetenv("KCC_JOURNAL");
    const auto journalBack = qScopeGuard([&] { qputenv("KCC_JOURNAL", journalPath); });
    const bool unrecorded = kind.startsWith(QLatin1String("unrecorded"));
    if (unrecorded)
        qputenv("KCC_JOURNAL", QFile::encodeName(m_dir.path())); // a directory: no file can go there
    const int recorded = Journal().read().size();
    QTemporaryDir memory(QStringLiteral("/dev/shm/kcc-window-XXXXXX"));
    const bool search = kind == QLatin1String("memory");
    if (search && !memory.isValid())
        QSKIP("no /dev/shm here");
    const auto makeTarget = [&] {
        if (search) {
            path = memory.filePath(QStringLiteral("контейнер.p12"));
            QFile f(path);
            return f.open(QIODevice::WriteOnly) && f.write(QByteArray(3000, 'k')) == 3000;
        }
        if (kind == QLatin1String("file") || unrecorded) {
            path = m_dir.filePath(QStringLiteral("контейнер.p12"));
            QFile f(path);
            return f.open(QIODevice::WriteOnly) && f.write(QByteArray(3000, 'k')) == 3000;
        }
        if (kind == QLatin1String("directory")) {
            path = m_dir.filePath(QStringLiteral("folder.nctx"));
            return QDir().mkpath(path);
        }
        if (kind == QLatin1String("link")) {
            path = m_dir.filePath(QStringLiteral("link.pfx"));
            QFile f(m_dir.filePath(QStringLiteral("key.pfx")));
            return f.open(QIODevice::WriteOnly) && f.write("key bytes") == 9
                && (QFileInfo(path).isSymLink() || QFile::link(f.fileName(), path));
        }
        if (kind == QLatin1String("missing"))
            path = m_dir.filePath(QStringLiteral("missing.pfx"));
        return true;
    };
    QVERIFY(makeTarget());
    const bool asked = kind == QLatin1String("file") || unrecorded || search;

    Kestrik_KCC window;
    window.show();
    child<QLineEdit>(window, "lineEditFile")->setText(path);
    child<QLineEdit>(window, "lineEditPIN")->setText(QStringLiteral("9999"));
    child<QRadioButton>(window, "radioButtonSchneier")->click();
    child<QCheckBox>(window, "checkBoxSearchVolume")->setChecked(search);

    ModalAnswerer answerer;
    answerer.then(ModalAnswerer::press(QMessageBox::Yes));
    if (unrecorded)
        answerer.then(ModalAnswerer::press(kind.endsWith(QLatin1String("go on")) ? QMessageBox::Yes : QMessageBox::No));
    child<QPushButton>(window, "pushButtonClean")->click();

    QCOMPARE(answerer.boxes().size(), (unrecorded ? 3 : 2) - (asked ? 0 : 1));
    QCOMPARE(answerer.boxes().first().icon == QMessageBox::Question, asked);
    if (unrecorded)
        QCOMPARE(answerer.boxes().at(1).defaultButton, QMessageBox::No);
    const ModalAnswerer::Box outcome = answerer.boxes().last();
    QVERIFY2(outcome.text == message, qPrintable(outcome.describe()));
    QCOMPARE(outcome.title, title);
    QCOMPARE(outcome.icon, cleared ? QMessageBox::Information : QMessageBox::Critical);
    QCOMPARE(outcome.buttons.size(), 1);
    QCOMPARE(outcome.parent, &window);
    // What was wiped, how and how long it took, then what is left.
    QVERIFY2(outcome.informative.startsWith(QStringLiteral("Файл: ")), qPrintable(outcome.informative));
    QVERIFY((outcome.informative + QLatin1Char('\n')).contains(QStringLiteral("\nАлгоритм: Алгоритм Шнайера\n")));
    QVERIFY2(outcome.informative.contains(detail), qPrintable(outcome.informative));
    QCOMPARE(child<QLineEdit>(window, "lineEditFile")->text(), cleared ? QString() : path);
    QCOMPARE(child<QLineEdit>(window, "lineEditPIN")->text(), QStringLiteral("9999"));
    QVERIFY(child<QRadioButton>(window, "radioButtonSchneier")->isChecked());
    if (kind == QLatin1String("file") || search || cleared)
        QVERIFY(!QFileInfo::exists(path));
    if (unrecorded && !cleared)
        QCOMPARE(QFileInfo(path).size(), qint64(3000));
    if (kind == QLatin1String("directory"))
        QVERIFY(QFileInfo(path).isDir());
    QVERIFY(tokenUntouched());

    if (!asked)
        QCOMPARE(Journal().read().size(), recorded);
    // Recorded before the box showed, with the box's own texts.
    if (asked && !unrecorded) {
        VerifyResult chain;
        const QVector<JournalRecord> records = Journal().read(&chain);
        QVERIFY(chain.ok());
        QCOMPARE(records.size(), recorded + 1);
        QCOMPARE(records.last().entry.resultText, message);
        QCOMPARE(records.last().entry.resultInformative, outcome.informative);
        QCOMPARE(records.last().entry.filePath, QFileInfo(path).absoluteFilePath());

        // The same wipe from the command line is journalled the same way.
        QVERIFY(makeTarget());
        QStringList arguments{QStringLiteral("--wipe-file"), path, QStringLiteral("-a"), QStringLiteral("schneier"),
                              QStringLiteral("--yes")};
        if (search)
            arguments << QStringLiteral("--search-volume");
        const ProgramRun scripted = runProgram(QStringLiteral(KCC_PROGRAM_PATH), arguments);
        QVERIFY2(scripted.exitCode >= 0, qPrintable(scripted.err));
        const QVector<JournalRecord> after = Journal().read(&chain);
        QVERIFY(chain.ok());
        QCOMPARE(after.size(), recorded + 2);
        QCOMPARE(after.last().entry.interface, JournalEntry::Interface::CommandLine);
        QCOMPARE(records.last().entry.interface, JournalEntry::Interface::Window);
        QCOMPARE(attemptOf(after.last().entry), attemptOf(records.last().entry));
    }
}

// Every wipe runs on the window's one worker thread, so a token wipe still
// continues the random sequence the last file wipe seeded, as on one thread.
void TestMainWindow::workerKeepsTheSequence()
{
    const QString path = m_dir.filePath(QStringLiteral("sequence.nctx"));
    {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly) && f.write(QByteArray(600, 'k')) == 600);
    }
    Kestrik_KCC window;
    window.show();
    child<QLineEdit>(window, "lineEditFile")->setText(path);
    child<QRadioButton>(window, "radioButtonGost")->click();
    const qint64 from = QDateTime::currentMSecsSinceEpoch();
    {
        ModalAnswerer answerer;
        answerer.then(ModalAnswerer::press(QMessageBox::Yes));
        child<QPushButton>(window, "pushButtonClean")->click();
    }
    const qint64 to = QDateTime::currentMSecsSinceEpoch();
    QVERIFY(!QFileInfo::exists(path));

    chooseMedium(window);
    child<QLineEdit>(window, "lineEditPIN")->setText(QStringLiteral("1234"));
    FakeVelmux::clearCalls();
    ModalAnswerer answerer;
    answerer.then(ModalAnswerer::press(QMessageBox::Yes));
    child<QPushButton>(window, "pushButtonClean")->click();
    std::vector<uint8_t> tokenRandom;
    for (const FakeVelmux::Call &call : FakeVelmux::calls())
        if (call.function == "velmux_write_container")
            tokenRandom = call.data;
    QCOMPARE(tokenRandom.size(), size_t(64));

    QT_WARNING_PUSH
    QT_WARNING_DISABLE_DEPRECATED
    bool found = false;
    for (qint64 ms = from; ms <= to && !found; ++ms) {
        qsrand(uint(ms & 0xFFFFFFFF));
        for (int i = 0; i < 1024; ++i) // the file's random pass: two blocks
            qrand();
        found = std::all_of(tokenRandom.begin(), tokenRandom.end(),
                            [](uint8_t b) { return b == uint8_t(qrand() & 0xFF); });
    }
    QT_WARNING_POP
    QVERIFY2(found, "the token's random pass does not continue the file wipe's sequence");
}

void TestMainWindow::cancelKeepsTheFile()
{
    const QString path = m_dir.filePath(QStringLiteral("large.pfx"));
    // Written whole: holes are not overwritten, so a sparse file would be done
    // before the cancel could land.
    const QByteArray chunk(1 << 20, 'K');
    {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        for (int i = 0; i < 128; ++i)
            QVERIFY(f.write(chunk) == chunk.size());
    }
    WipeProgressDialog::setShowDelay(0);
    const auto delayBack = qScopeGuard([] { WipeProgressDialog::setShowDelay(400); });
    Kestrik_KCC window;
    window.show();
    child<QLineEdit>(window, "lineEditFile")->setText(path);
    child<QRadioButton>(window, "radioButtonVSITR")->click();

    ModalAnswerer answerer;
    answerer.answerProgressDialogs();
    answerer.then(ModalAnswerer::press(QMessageBox::Yes));
    QString progressText;
    answerer.then([&](QWidget *w) {
        auto *progress = qobject_cast<QProgressDialog *>(w);
        QVERIFY(progress);
        progressText = progress->labelText();
        progress->findChild<QPushButton *>()->click();
    });
    child<QPushButton>(window, "pushButtonClean")->click();

    QCOMPARE(answerer.modalCount(), 3);
    QVERIFY2(progressText.startsWith(QStringLiteral("Алгоритм: VSITR\nПроход ")), qPrintable(progressText));
    const ModalAnswerer::Box outcome = answerer.boxes().at(1);
    QCOMPARE(outcome.text, boxtexts::fileFailed);
    QVERIFY2(outcome.informative.contains(QStringLiteral("Удаление отменено")), qPrintable(outcome.informative));
    QCOMPARE(QFileInfo(path).size(), qint64(128) << 20);
    QCOMPARE(child<QLineEdit>(window, "lineEditFile")->text(), path);
    QVERIFY(toWord(Journal().read().last().entry.endState).startsWith(QStringLiteral("cancelled")));
}

// Where the passes went elsewhere, the result box offers the fill even when no
// search was asked for; the fill amends the attempt's entry, so the journal
// still lists one wipe.
void TestMainWindow::fillOfferedWithoutASearch()
{
    LoopMount volume(160, QStringLiteral("btrfs"));
    if (!volume.isMounted())
        QSKIP(qPrintable(volume.failure()));
    const QString path = volume.filePath(QStringLiteral("key.pfx"));
    {
        QFile f(path);
        QByteArray key(64 * 1024, '\0');
        for (int i = 0; i < key.size(); ++i)
            key[i] = char((i * 131 + i / 7) & 0xff);
        QVERIFY(f.open(QIODevice::WriteOnly) && f.write(key) == key.size() && f.flush() && ::fsync(f.handle()) == 0);
    }
    const int recorded = Journal().read().size();
    Kestrik_KCC window;
    window.show();
    child<QLineEdit>(window, "lineEditFile")->setText(path);
    child<QCheckBox>(window, "checkBoxSearchVolume")->setChecked(false);

    ModalAnswerer answerer;
    answerer.then(ModalAnswerer::press(QMessageBox::Yes));
    answerer.then([](QWidget *w) {
        auto *box = qobject_cast<QMessageBox *>(w);
        QVERIFY(box);
        for (QAbstractButton *button : box->buttons())
            if (button->text() == QStringLiteral("Заполнить освобожденное место"))
                return button->click();
        box->button(QMessageBox::Ok)->click();
    });
    child<QPushButton>(window, "pushButtonClean")->click();

    QCOMPARE(answerer.boxes().size(), 3);
    const ModalAnswerer::Box relocated = answerer.boxes().at(1);
    QVERIFY2(relocated.buttons.contains(QStringLiteral("Заполнить освобожденное место")), qPrintable(relocated.describe()));
    QCOMPARE(relocated.icon, QMessageBox::Warning);
    const ModalAnswerer::Box afterFill = answerer.boxes().at(2);
    QVERIFY2(afterFill.text == boxtexts::wiped, qPrintable(afterFill.describe()));
    const QVector<JournalRecord> records = Journal().read();
    QCOMPARE(records.size(), recorded + 1);
    QCOMPARE(records.last().entry.endState, EndState::WipedFreedBlocksFilled);
    QCOMPARE(records.last().entry.fill, FillWord::Covered);
}

void TestMainWindow::algorithmOfEachButton_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<QStringList>("writes");
    QTest::newRow("ГОСТ") << "radioButtonGost" << QStringList{"00", "R"};
    QTest::newRow("DoD") << "radioButtonDoD" << QStringList{"00", "01", "R"};
    QTest::newRow("HMG IS5 BS") << "radioButtonHMG_BS" << QStringList{"00"};
    QTest::newRow("HMG IS5 ES") << "radioButtonHMG_ES" << QStringList{"00", "01", "R"};
    QTest::newRow("RCMP") << "radioButtonRCMP" << QStringList{"00", "01", "00", "01", "00", "01", "X"};
    QTest::newRow("AR380-19") << "radioButtonAR" << QStringList{"R", "X", "X"};
    QTest::newRow("VSITR") << "radioButtonVSITR" << QStringList{"00", "01", "00", "01", "00", "01", "R"};
    QTest::newRow("Шнайер") << "radioButtonSchneier" << QStringList{"01", "00", "R", "R", "R", "R", "R"};
}

void TestMainWindow::algorithmOfEachButton()
{
    QFETCH(QString, button);
    QFETCH(QStringList, writes);
    Kestrik_KCC window;
    window.show();
    chooseMedium(window);
    child<QRadioButton>(window, button.toLatin1().constData())->click();
    // The mode switch after choosing must not change the algorithm.
    child<QRadioButton>(window, "radioButtonFile")->click();
    child<QRadioButton>(window, "radioButtonDevice")->click();

    FakeVelmux::clearCalls();
    ModalAnswerer answerer;
    answerer.then(ModalAnswerer::press(QMessageBox::Yes));
    child<QPushButton>(window, "pushButtonClean")->click();

    QStringList seen;
    for (const FakeVelmux::Call &call : FakeVelmux::calls())
        if (call.function == "velmux_write_container")
            seen << passPattern(call.data);
    QCOMPARE(seen, writes);
    QVERIFY2(answerer.boxes().last().text == wiped, qPrintable(answerer.boxes().last().describe()));
}

void TestMainWindow::deviceWipe_data()
{
    QTest::addColumn<QString>("pin");
    QTest::addColumn<QString>("failing");
    QTest::addColumn<QString>("message");
    QTest::newRow("success") << "1234" << QString() << wiped;
    QTest::newRow("empty PIN reaches the library") << "" << QString() << wiped;
    QTest::newRow("wrong PIN") << "0000" << "velmux_login"
                               << QStringLiteral("Неправильный PIN-код.");
}

void TestMainWindow::deviceWipe()
{
    QFETCH(QString, pin);
    QFETCH(QString, failing);
    QFETCH(QString, message);
    Kestrik_KCC window;
    window.show();
    child<QLineEdit>(window, "lineEditFile")->setText(QStringLiteral("/tmp/untouched.nctx"));
    chooseMedium(window);
    child<QLineEdit>(window, "lineEditPIN")->setText(pin);
    child<QRadioButton>(window, "radioButtonDoD")->click();

    FakeVelmux::clearCalls();
    if (!failing.isEmpty())
        FakeVelmux::failCall(failing.toStdString(), 1, VELMUX_E_PIN_INCORRECT);
    ModalAnswerer answerer;
    answerer.then(ModalAnswerer::press(QMessageBox::Yes));
    child<QPushButton>(window, "pushButtonClean")->click();

    QCOMPARE(answerer.boxes().size(), 2);
    QCOMPARE(answerer.boxes().at(0).text, confirmation);
    QVERIFY2(answerer.boxes().at(1).text == message, qPrintable(answerer.boxes().at(1).describe()));
    const std::vector<FakeVelmux::Call> &calls = FakeVelmux::calls();
    QVERIFY(!calls.empty());
    QCOMPARE(calls.front().function, std::string("velmux_create_ctx"));
    QCOMPARE(calls.front().mediaType, 6u);
    const auto open = std::find_if(calls.begin(), calls.end(), [](const FakeVelmux::Call &c) {
        return c.function == "velmux_open_session";
    });
    QVERIFY(open != calls.end() && open->record);
    QCOMPARE(FakeVelmux::bytes(*open->record), FakeVelmux::bytes(FakeVelmux::makeRecord(7, 6, 0x5A)));
    const auto login = std::find_if(calls.begin(), calls.end(), [](const FakeVelmux::Call &c) {
        return c.function == "velmux_login";
    });
    QVERIFY(login != calls.end());
    QVERIFY(!login->pinNull);
    QCOMPARE(QString::fromStdString(login->pin), pin);

    const bool success = failing.isEmpty();
    QCOMPARE(child<QLineEdit>(window, "lineEditDevice")->text(),
             success ? QString() : QStringLiteral("Token (Model, S/N 0042)"));
    QCOMPARE(child<QLineEdit>(window, "lineEditPIN")->text(), success ? QString() : pin);
    QCOMPARE(child<QLineEdit>(window, "lineEditFile")->text(), QStringLiteral("/tmp/untouched.nctx"));
    QVERIFY(child<QRadioButton>(window, "radioButtonDevice")->isChecked());
    QVERIFY(child<QRadioButton>(window, "radioButtonDoD")->isChecked());
    QCOMPARE(FakeVelmux::containerPresent(), !success);
}

// How many times the bytes occur in the process's writable memory. Allocates
// nothing, so no freed block is reused and overwritten by the search itself.
int occurrencesInMemory(const char *needle, size_t size)
{
    static char maps[1 << 20];
    const int fd = ::open("/proc/self/maps", O_RDONLY);
    if (fd < 0)
        return -1;
    size_t length = 0;
    ssize_t n;
    while (length < sizeof maps - 1 && (n = ::read(fd, maps + length, sizeof maps - 1 - length)) > 0)
        length += size_t(n);
    ::close(fd);
    maps[length] = '\0';
    int found = 0;
    for (char *line = maps; line && *line;) {
        char *next = std::strchr(line, '\n');
        if (next)
            *next = '\0';
        unsigned long from = 0, to = 0;
        char permissions[5] = {};
        if (std::sscanf(line, "%lx-%lx %4s", &from, &to, permissions) == 3 && permissions[0] == 'r'
            && permissions[1] == 'w' && !std::strstr(line, "[vvar]")) {
            for (const char *p = reinterpret_cast<const char *>(from);
                 p + size <= reinterpret_cast<const char *>(to); ++p)
                if (*p == needle[0] && std::memcmp(p, needle, size) == 0)
                    ++found;
        }
        line = next ? next + 1 : nullptr;
    }
    return found;
}

void TestMainWindow::pinLeavesNoCopy_data()
{
    QTest::addColumn<bool>("typed");
    QTest::newRow("set") << false;
    QTest::newRow("typed") << true;
}

// After a wipe no copy of the PIN in the field's own encoding is left in
// memory. The PIN is made here, never a literal, and this test keeps no copy.
void TestMainWindow::pinLeavesNoCopy()
{
#if defined(__SANITIZE_ADDRESS__)
    QSKIP("AddressSanitizer's shadow memory cannot be read, and it keeps freed blocks apart");
#endif
    QFETCH(bool, typed);
    Kestrik_KCC window;
    window.show();
    chooseMedium(window);
    auto *pinField = child<QLineEdit>(window, "lineEditPIN");
    constexpr int length = 29;
    char16_t digits[length] = {};
    for (int i = 0; i < length; ++i)
        digits[i] = char16_t(u'0' + (7 * i + 3) % 10);
    if (typed) {
        pinField->setFocus();
        for (int i = 0; i < length; ++i)
            QTest::keyClick(pinField, char(digits[i]));
    } else {
        pinField->setText(QString::fromUtf16(digits, length));
    }
    static char16_t needle[length];
    std::copy(std::begin(digits), std::end(digits), needle);
    std::fill(std::begin(digits), std::end(digits), u'\0');
    FakeVelmux::clearCalls();

    ModalAnswerer answerer;
    answerer.then(ModalAnswerer::press(QMessageBox::Yes));
    child<QPushButton>(window, "pushButtonClean")->click();
    QCOMPARE(pinField->text(), QString());
    FakeVelmux::clearCalls(); // the fake's record of the log-in holds it in UTF-8 anyway

    // The needle itself is the one occurrence.
    QCOMPARE(occurrencesInMemory(reinterpret_cast<const char *>(needle), sizeof needle), 1);
}

void TestMainWindow::openFile_data()
{
    QTest::addColumn<bool>("accept");
    QTest::newRow("cancelled") << false;
    QTest::newRow("file chosen") << true;
}

void TestMainWindow::openFile()
{
    QFETCH(bool, accept);
    const QString path = m_dir.filePath(QStringLiteral("chosen.pfx"));
    {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
    }
    Kestrik_KCC window;
    window.show();
    child<QLineEdit>(window, "lineEditFile")->setText(QStringLiteral("typed before"));

    QString caption;
    QStringList filters;
    ModalAnswerer answerer;
    answerer.then([&](QWidget *w) {
        auto *dialog = qobject_cast<QFileDialog *>(w);
        if (!dialog)
            return;
        caption = dialog->windowTitle();
        filters = dialog->nameFilters();
        if (accept) {
            // Typed into the dialog's own name field, as a user would.
            if (auto *name = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit")))
                name->setText(path);
            QMetaObject::invokeMethod(dialog, "accept");
            if (dialog->isVisible())
                dialog->reject(); // not taken: fail on the field, not on a hang
        } else {
            dialog->reject();
        }
    });
    child<QPushButton>(window, "pushButtonOpenFile")->click();

    QCOMPARE(caption, QStringLiteral("Открыть"));
#ifdef Q_OS_WIN
    const QString everyFile = QStringLiteral("Все файлы (*.*)");
#else
    const QString everyFile = QStringLiteral("Все файлы (*)"); // "*.*" hides names without a dot
#endif
    QCOMPARE(filters, (QStringList{QStringLiteral("Файловые контейнеры (*.nctx *.pfx *.p12)"), everyFile}));
    QCOMPARE(child<QLineEdit>(window, "lineEditFile")->text(),
             accept ? path : QStringLiteral("typed before"));
}

void TestMainWindow::openWith_data()
{
    QTest::addColumn<QString>("drop");      // the widget dropped on; empty: names given at the start
    QTest::addColumn<bool>("deviceMode");
    QTest::addColumn<QStringList>("names"); // {key}, {other}, {dir}, {link}, {missing} stand for paths
    QTest::addColumn<bool>("taken");        // the key in the field, file mode; else both as they were
    QTest::addColumn<QString>("box");       // part of the one information box; empty: none
    QTest::newRow("argument") << QString() << false << QStringList{"{key}"} << true << QString();
    QTest::newRow("relative argument, two more ignored")
        << QString() << false << QStringList{"ключ.pfx", "{other}", "{missing}"} << true << "остальные не взяты (2)";
    QTest::newRow("missing argument") << QString() << false << QStringList{"{missing}"} << false << "не найден";
    QTest::newRow("folder argument") << QString() << false << QStringList{"{dir}"} << false << "папка, а не файл";
    QTest::newRow("drop of one file on the field") << "lineEditFile" << false << QStringList{"{key}"} << true << QString();
    QTest::newRow("drop on the algorithms in device mode")
        << "groupBox_2" << true << QStringList{"{key}"} << true << QString();
    QTest::newRow("drop of two files")
        << "lineEditFile" << false << QStringList{"{key}", "{other}"} << false << "Перетащено файлов: 2";
    QTest::newRow("drop of a folder on the device field")
        << "lineEditDevice" << true << QStringList{"{dir}"} << false << "папка, а не файл";
    QTest::newRow("drop of a link") << "pushButtonClean" << false << QStringList{"{link}"} << false << "ссылка на другой файл";
    QTest::newRow("drop of a URL") << "lineEditFile" << false << QStringList{"https://kestrik.example/key.pfx"}
                                   << false << "не файл на этом компьютере";
}

void TestMainWindow::openWith()
{
    QFETCH(QString, drop);
    QFETCH(bool, deviceMode);
    QFETCH(QStringList, names);
    QFETCH(bool, taken);
    QFETCH(QString, box);
    const QString key = m_dir.filePath(QStringLiteral("ключ.pfx"));
    const QString other = m_dir.filePath(QStringLiteral("другой.nctx"));
    const QByteArray original(700, 'k');
    for (const QString &path : {key, other}) {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        QCOMPARE(f.write(original), qint64(original.size()));
    }
    const QString link = m_dir.filePath(QStringLiteral("ссылка.p12"));
    QFile::remove(link);
    QVERIFY(QFile::link(key, link));
    QVERIFY(QDir(m_dir.path()).mkpath(QStringLiteral("папка.nctx")));
    const QString before = QDir::current().path();
    QVERIFY(QDir::setCurrent(m_dir.path()));
    const auto back = qScopeGuard([&] { QDir::setCurrent(before); });
    names.replaceInStrings(QStringLiteral("{key}"), key);
    names.replaceInStrings(QStringLiteral("{other}"), other);
    names.replaceInStrings(QStringLiteral("{dir}"), m_dir.filePath(QStringLiteral("папка.nctx")));
    names.replaceInStrings(QStringLiteral("{link}"), link);
    names.replaceInStrings(QStringLiteral("{missing}"), m_dir.filePath(QStringLiteral("нет.nctx")));

    Kestrik_KCC window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    auto *field = child<QLineEdit>(window, "lineEditFile");
    const QString typed = drop.isEmpty() ? QString() : QStringLiteral("/tmp/typed before.pfx");
    field->setText(typed);
    if (deviceMode)
        child<QRadioButton>(window, "radioButtonDevice")->click();

    ModalAnswerer answerer;
    if (drop.isEmpty()) {
        window.openNamedFiles(names);
    } else {
        QList<QUrl> urls;
        for (const QString &name : names)
            urls << (name.startsWith(QLatin1Char('/')) ? QUrl::fromLocalFile(name) : QUrl(name));
        // Never Move: a file manager could delete what it believes was moved.
        QCOMPARE(dropUrls(window, *child<QWidget>(window, drop.toLatin1().constData()), urls), Qt::CopyAction);
        if (box.isEmpty())
            QTRY_COMPARE(field->text(), key);
    }
    QTRY_COMPARE(answerer.boxes().size(), box.isEmpty() ? 0 : 1);
    QTRY_VERIFY(!QApplication::activeModalWidget());
    if (!box.isEmpty()) {
        const ModalAnswerer::Box shown = answerer.boxes().front();
        QCOMPARE(shown.icon, QMessageBox::Information);
        QCOMPARE(shown.parent, &window);
        QVERIFY2((shown.text + shown.informative).contains(box), qPrintable(shown.text + shown.informative));
    }
    QCOMPARE(field->text(), taken ? key : typed);
    QCOMPARE(child<QRadioButton>(window, "radioButtonFile")->isChecked(), taken || !deviceMode);
    QCOMPARE(field->isVisible(), taken || !deviceMode);
    for (const QString &path : {key, other}) {
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), original);
    }
    QVERIFY(tokenUntouched());
}

void TestMainWindow::mediaDialogClosed_data()
{
    QTest::addColumn<bool>("enter");
    QTest::addColumn<QString>("device");
    QTest::newRow("Escape keeps the medium") << false << "Token (Model, S/N 0042)";
    QTest::newRow("Enter on the list takes its current row") << true << "Second (Model, S/N 0043)";
}

void TestMainWindow::mediaDialogClosed()
{
    QFETCH(bool, enter);
    QFETCH(QString, device);
    FakeVelmux::addMedia(6, FakeVelmux::makeRecord(8, 6, 0x5B), "Second", "Model", "0043");
    Kestrik_KCC window;
    window.show();
    chooseMedium(window);
    ModalAnswerer answerer;
    answerer.then([enter](QWidget *w) {
        auto *list = w->findChild<QListWidget *>(QStringLiteral("listWidgetMediaSlots"));
        if (!enter || !list)
            return ModalAnswerer::escape()(w);
        // As the officer does: into the list, one line down, Enter.
        list->setFocus(Qt::TabFocusReason);
        QTest::keyClick(list, Qt::Key_Down);
        QTest::keyClick(list, Qt::Key_Return);
        if (w->isVisible())
            ModalAnswerer::escape()(w); // not taken: fail on the field, not on a hang
    });
    child<QPushButton>(window, "pushButtonOpenDevice")->click();
    QCOMPARE(answerer.modalCount(), 1);
    QCOMPARE(child<QLineEdit>(window, "lineEditDevice")->text(), device);
}

void TestMainWindow::enterStartsWipe_data()
{
    QTest::addColumn<QString>("widget");
    QTest::addColumn<int>("key");
    QTest::newRow("Return in the path field") << "lineEditFile" << int(Qt::Key_Return);
    QTest::newRow("keypad Enter in the path field") << "lineEditFile" << int(Qt::Key_Enter);
    QTest::newRow("Return on the wipe button") << "pushButtonClean" << int(Qt::Key_Return);
    QTest::newRow("Return in the PIN field") << "lineEditPIN" << int(Qt::Key_Return);
}

void TestMainWindow::enterStartsWipe()
{
    QFETCH(QString, widget);
    QFETCH(int, key);
    const QString path = m_dir.filePath(QStringLiteral("enter.nctx"));
    {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly) && f.write("secret key bytes") == 16);
    }
    Kestrik_KCC window;
    window.show();
    child<QLineEdit>(window, "lineEditFile")->setText(path);
    if (widget == QLatin1String("lineEditPIN"))
        chooseMedium(window);
    FakeVelmux::clearCalls();

    QWidget *target = child<QWidget>(window, widget.toLatin1().constData());
    target->setFocus();
    ModalAnswerer answerer;
    answerer.then(ModalAnswerer::press(QMessageBox::No));
    QTest::keyClick(target, Qt::Key(key));

    QCOMPARE(answerer.texts(), QStringList{confirmation});
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), QByteArray("secret key bytes"));
    QVERIFY(tokenUntouched());
}

void TestMainWindow::accessibleNames_data()
{
    QTest::addColumn<QString>("widget");
    QTest::addColumn<QString>("name");
    QTest::newRow("path") << "lineEditFile" << "Путь к файлу ключевого контейнера";
    QTest::newRow("device") << "lineEditDevice" << "Носитель PKCS#11";
    QTest::newRow("PIN") << "lineEditPIN" << "PIN-код";
    QTest::newRow("browse for a file") << "pushButtonOpenFile" << "Выбрать файл";
    QTest::newRow("browse for a medium") << "pushButtonOpenDevice" << "Выбрать носитель";
}

void TestMainWindow::accessibleNames()
{
    QFETCH(QString, widget);
    QFETCH(QString, name);
    Kestrik_KCC window;
    window.show();
    QAccessibleInterface *accessible =
        QAccessible::queryAccessibleInterface(child<QWidget>(window, widget.toLatin1().constData()));
    QVERIFY(accessible);
    QCOMPARE(accessible->text(QAccessible::Name), name);
}

void TestMainWindow::mnemonics_data()
{
    // The texts as they were before, and each needs its mnemonic.
    QTest::addColumn<QString>("widget");
    QTest::addColumn<QString>("text");
    QTest::newRow("file mode") << "radioButtonFile" << "Файловый контейнер";
    QTest::newRow("device mode") << "radioButtonDevice" << "Устройство PKCS#11";
    QTest::newRow("PIN") << "labelPIN" << "PIN:";
    QTest::newRow("wipe") << "pushButtonClean" << "Удалить ключевой контейнер";
    QTest::newRow("ГОСТ") << "radioButtonGost" << "ГОСТ Р50739-95";
    QTest::newRow("DoD") << "radioButtonDoD" << "DoD 5220.22-M";
    QTest::newRow("HMG BS") << "radioButtonHMG_BS" << "HMG IS5 BS";
    QTest::newRow("HMG ES") << "radioButtonHMG_ES" << "HMG IS5 ES";
    QTest::newRow("RCMP") << "radioButtonRCMP" << "RCMP TSSIT OPS-II";
    QTest::newRow("AR380-19") << "radioButtonAR" << "AR380-19";
    QTest::newRow("VSITR") << "radioButtonVSITR" << "VSITR";
    QTest::newRow("Шнайер") << "radioButtonSchneier" << "Алгоритм Шнайера";
}

void TestMainWindow::mnemonics()
{
    QFETCH(QString, widget);
    QFETCH(QString, text);
    Kestrik_KCC window;
    QWidget *w = child<QWidget>(window, widget.toLatin1().constData());
    const QString shown = w->property("text").toString();
    QVERIFY2(shown.count(QLatin1Char('&')) == 1, qPrintable(shown));
    QCOMPARE(QString(shown).remove(QLatin1Char('&')), text);

    // No two mnemonics of the window share a key.
    QStringList keys;
    for (QWidget *other : window.findChildren<QWidget *>()) {
        const QString t = other->property("text").toString();
        if (t.contains(QLatin1Char('&')))
            keys << t.mid(t.indexOf(QLatin1Char('&')) + 1, 1).toLower();
    }
    for (QAction *menu : window.menuBar()->actions())
        keys << menu->text().mid(menu->text().indexOf(QLatin1Char('&')) + 1, 1).toLower();
    QCOMPARE(QSet<QString>(keys.begin(), keys.end()).size(), keys.size());
}

void TestMainWindow::exitAction()
{
    Kestrik_KCC window;
    window.show();
    const QList<QAction *> menus = window.menuBar()->actions();
    QCOMPARE(menus.size(), 3);
    QCOMPARE(menus.front()->text(), QStringLiteral("&Файл"));
    QCOMPARE(menus.at(1)->text(), QStringLiteral("&Справка"));
    QCOMPARE(menus.back()->text(), QStringLiteral("&Журнал"));
    QAction *exit = window.findChild<QAction *>(QStringLiteral("actionExit"));
    QVERIFY(exit && menus.front()->menu()->actions().contains(exit));
    QCOMPARE(exit->shortcut(), QKeySequence(QStringLiteral("Ctrl+Q")));
    exit->trigger();
    QVERIFY(!window.isVisible());
}

void TestMainWindow::about()
{
    Kestrik_KCC window;
    window.show();
    QString info, heading, dialogTitle;
    QSize size, minimum, maximum, pixmap;
    bool helpButton = true;
    ModalAnswerer answerer;
    answerer.then([&](QWidget *w) {
        dialogTitle = w->windowTitle();
        size = w->size();
        minimum = w->minimumSize();
        maximum = w->maximumSize();
        helpButton = w->windowFlags().testFlag(Qt::WindowContextHelpButtonHint);
        info = w->findChild<QLabel *>(QStringLiteral("labelInfo"))->text();
        heading = w->findChild<QLabel *>(QStringLiteral("label_2"))->text();
        pixmap = w->findChild<QLabel *>(QStringLiteral("label"))->pixmap(Qt::ReturnByValue).size();
        qobject_cast<QDialog *>(w)->reject();
    });
    const QList<QAction *> actions = window.findChildren<QAction *>(QStringLiteral("actionAbout"));
    QCOMPARE(actions.size(), 1);
    QCOMPARE(actions.front()->text(), QStringLiteral("&О программе"));
    actions.front()->trigger();

    QCOMPARE(dialogTitle, QStringLiteral("О программе"));
    QVERIFY(info.contains(QStringLiteral("<p>Версия: 1.0.0.6</p>")));
    QVERIFY(!info.contains(QStringLiteral("#version#")));
    QVERIFY(info.contains(QStringLiteral("&quot;Kestrik&quot;")));
    QCOMPARE(heading, QStringLiteral("Модуль гарантированного удаления\nключевых контейнеров"));
    QCOMPARE(minimum, maximum);
    QCOMPARE(size, minimum);
    QVERIFY(size.width() >= 563 && size.height() >= 249);
    QVERIFY(!helpButton);
    QCOMPARE(pixmap, QSize(203, 229));
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
