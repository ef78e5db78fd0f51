// A device wipe end to end: the real main window, the real media dialog and
// the real container library on throwaway tokens of two implementations:
// SoftHSM2, which replaces the container on every pass, and openCryptoki,
// which overwrites it in place. The token is reached through the tests'
// pass-through module, which reads back what the token holds after each
// write.

#include "kestrik_kcc.h"
#include "faultmodule.h"
#include "findwidget.h"
#include "boxtexts.h"
#include "devicetexts.h"
#include "modalanswerer.h"
#include "passpattern.h"
#include "programrun.h"
#include "tokenstore.h"

#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QFile>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {

const QString kToken = QStringLiteral("Alpha");
const QString kContainer = QStringLiteral("container");
const QString kOther = QStringLiteral("other");
const QString kApplication = QStringLiteral("Kestrik key container");
const QString kKept = QStringLiteral("Kestrik kept copy");
using boxtexts::title;
using boxtexts::confirmation;
using boxtexts::wiped;
using boxtexts::wrongPin;
using boxtexts::sessionFailed;
using Implementation = TokenStore::Implementation;

// The passes of the algorithms the rows use, in passpattern.h's notation.
QStringList passesOf(const QString &button)
{
    if (button == QLatin1String("radioButtonGost"))
        return {"00", "R"};
    if (button == QLatin1String("radioButtonSchneier"))
        return {"01", "00", "R", "R", "R", "R", "R"};
    if (button == QLatin1String("radioButtonAR"))
        return {"R", "X", "~X"};
    return {"00", "01", "R"}; // radioButtonDoD
}

// What the pass-through module read back after each write, as the notation
// of passpattern.h, each with "set" (in place) or "create" (a new object).
QStringList writesLogged(const QString &path)
{
    QFile file(path);
    QStringList writes;
    if (!file.open(QIODevice::ReadOnly))
        return writes;
    std::vector<uint8_t> previous;
    for (const QByteArray &line : file.readAll().split('\n')) {
        if (line.isEmpty())
            continue;
        const QByteArray hex = line.mid(line.indexOf(' ') + 1);
        const QByteArray raw = QByteArray::fromHex(hex);
        const std::vector<uint8_t> bytes(raw.begin(), raw.end());
        QString pattern = passPattern(bytes);
        if (pattern == QLatin1String("X") && previous.size() == bytes.size() && !bytes.empty()
            && passPattern(previous) == QLatin1String("X") && uint8_t(~previous.front()) == bytes.front())
            pattern = QStringLiteral("~X");
        writes << QString::fromLatin1(line.left(line.indexOf(' '))) + QLatin1Char(' ') + pattern;
        previous = bytes;
    }
    return writes;
}

QByteArray pattern(int size, int salt)
{
    QByteArray data(size, '\0');
    for (int i = 0; i < size; ++i)
        data[i] = char((i * 31 + salt) & 0xFF);
    return data;
}

// Chooses the line of the token with this label and presses OK.
ModalAnswerer::Answer chooseToken(const QString &label, QStringList *lines)
{
    return [label, lines](QWidget *w) {
        auto *list = w->findChild<QListWidget *>(QStringLiteral("listWidgetMediaSlots"));
        for (int row = 0; list && row < list->count(); ++row) {
            *lines << list->item(row)->text();
            if (list->item(row)->text().startsWith(label + QLatin1String(" (")))
                list->setCurrentRow(row);
        }
        if (auto *ok = w->findChild<QPushButton *>(QStringLiteral("buttonOk")))
            ok->click();
        if (w->isVisible())
            qobject_cast<QDialog *>(w)->reject(); // nothing chosen: fail on the field, not on a hang
    };
}

} // namespace

class TestDeviceWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase_data();
    void initTestCase();
    void init();
    void cleanup();
    void wipeThroughWindow_data();
    void wipeThroughWindow();

private:
    std::unique_ptr<TokenStore> m_token;
};

void TestDeviceWindow::initTestCase_data()
{
    QTest::addColumn<Implementation>("implementation");
    for (Implementation implementation : TokenStore::implementations())
        QTest::newRow(TokenStore::name(implementation)) << implementation;
}

void TestDeviceWindow::initTestCase()
{
}

void TestDeviceWindow::init()
{
    QFETCH_GLOBAL(Implementation, implementation);
    const QString reason = TokenStore::unavailableReason(implementation);
    if (!reason.isEmpty())
        QSKIP(qPrintable(reason));
    m_token = std::make_unique<TokenStore>(implementation);
    QVERIFY2(m_token->isValid() && m_token->initToken(kToken), qPrintable(m_token->errorString()));
}

void TestDeviceWindow::cleanup()
{
    m_token.reset();
}

void TestDeviceWindow::wipeThroughWindow_data()
{
    QTest::addColumn<QString>("algorithmButton");
    QTest::addColumn<bool>("isPrivate");
    QTest::addColumn<QString>("pin");
    QTest::addColumn<QString>("setup");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("informative");
    QTest::addColumn<int>("size");

    using namespace devicetexts;
    const QString pin = TokenStore::defaultPin();
    // SoftHSM2 never changes a data object's value: every wipe there replaces;
    // openCryptoki's rows expect the success text instead.
    QTest::newRow("Gost, private container") << "radioButtonGost" << true << pin << "" << replaced
                                             << replacedDetail << 300;
    QTest::newRow("Schneier, public container") << "radioButtonSchneier" << false << pin << "" << replaced
                                                << replacedDetail << 300;
    QTest::newRow("Ar380, empty container") << "radioButtonAR" << false << pin << "" << replaced
                                            << replacedDetail << 0;
    QTest::newRow("wrong PIN, private container") << "radioButtonGost" << true << "654321" << "" << wrongPin
                                                  << untouched << 300;
    QTest::newRow("wrong PIN, public container") << "radioButtonSchneier" << false << "654321" << "" << wrongPin
                                                 << untouched << 300;
    QTest::newRow("token swapped after choosing") << "radioButtonGost" << true << pin << "swap" << sessionFailed
                                                   << untouched << 300;
    QTest::newRow("user PIN never set") << "radioButtonGost" << false << pin << "no user PIN"
                                        << pinNotInitialized << untouched << 300;
    QTest::newRow("PIN locked by wrong ones") << "radioButtonGost" << true << pin << "locked" << pinLocked
                                              << untouched << 300;
    QTest::newRow("no container") << "radioButtonGost" << true << pin << "no container" << noContainer
                                  << QString() << 300;
    QTest::newRow("two containers") << "radioButtonDoD" << true << pin << "two containers" << severalContainers
                                    << severalDetail(2) << 300;
    QTest::newRow("copy left by an interrupted wipe") << "radioButtonDoD" << true << pin << "left copy"
                                                      << replaced << replacedDetail << 300;
    QTest::newRow("%1 in the token label") << "radioButtonGost" << false << pin << "label" << replaced
                                           << replacedDetail << 16;
    // Through a pass-through module that fails one call of the real token:
    // the box carries the token's own answer.
    QTest::newRow("the token fails the search for the container (CKR_DEVICE_ERROR)")
        << "radioButtonGost" << true << pin << "fault:C_FindObjectsInit:30" << boxtexts::sizeFailed
        << untouched + QStringLiteral(" Ответ носителя: An error occurred on the device (CKR_DEVICE_ERROR, 0x00000030).") << 300;
    QTest::newRow("the token fails the log-in (CKR_DEVICE_ERROR): said beside the fixed text")
        << "radioButtonGost" << true << pin << "fault:C_Login:30" << wrongPin
        << untouched + QStringLiteral(" Ответ носителя: An error occurred on the device (CKR_DEVICE_ERROR, 0x00000030).") << 300;
    QTest::newRow("the token fails the log-in with a value of its maker's own")
        << "radioButtonGost" << true << pin << "fault:C_Login:80000001" << wrongPin
        << untouched + QStringLiteral(" Ответ носителя: Unknown error (CKR_VENDOR_DEFINED+0x1, 0x80000001).") << 300;
    QTest::newRow("the token refuses a session (CKR_SESSION_COUNT)")
        << "radioButtonGost" << true << pin << "fault:C_OpenSession:b1" << sessionFailed
        << untouched + QStringLiteral(" Ответ носителя: Too many sessions are active (CKR_SESSION_COUNT, 0x000000b1).") << 300;
    // A pass that fails does not stop the others nor the deletion; the box
    // says how many reached the token.
    QTest::newRow("the token fails every write (CKR_DEVICE_ERROR)")
        << "radioButtonGost" << true << pin << "fault:C_SetAttributeValue:30" << boxtexts::writeFailed
        << written(0, 2) + gone + QStringLiteral(" Ответ носителя: An error occurred on the device (CKR_DEVICE_ERROR, 0x00000030).")
        << 300;
    QTest::newRow("the token says it wrote and kept the old bytes")
        << "radioButtonGost" << true << pin << "fault:C_SetAttributeValue:ignore" << boxtexts::writeFailed
        << written(0, 2) + gone << 300;
    QTest::newRow("the token refuses to change the value (CKR_ATTRIBUTE_READ_ONLY): replaced")
        << "radioButtonDoD" << true << pin << "fault:C_SetAttributeValue:10" << replaced << replacedDetail << 300;
    // What the check after the deletion finds is named with whose bytes it
    // holds (the pass is added below, as the label depends on the token).
    QTest::newRow("the token says it deleted the container and kept it")
        << "radioButtonGost" << true << pin << "fault:C_DestroyObject:ignore" << boxtexts::deviceFailed
        << written(2, 2) + present << 300;
    QTest::newRow("the token keeps the last pass under another label")
        << "radioButtonGost" << true << pin << "fault:C_DestroyObject:copy-label" << boxtexts::deviceFailed
        << written(2, 2) + present + remnant(QStringLiteral("Kestrik kept copy"), kApplication, 2) << 300;
    QTest::newRow("the token keeps the original value under another application")
        << "radioButtonGost" << true << pin << "fault:C_SetAttributeValue:copy-application" << boxtexts::deviceFailed
        << written(2, 2) + present + remnant(kContainer, QStringLiteral("Kestrik kept copy"), 0) << 300;
    QTest::newRow("the module answers from a view cached in the process")
        << "radioButtonGost" << true << pin << "fault:C_DestroyObject:cached" << boxtexts::deviceFailed
        << written(2, 2) + present << 300;
    // Taken by the token, but its absence could not be checked.
    QTest::newRow("the check after the deletion gets no session (CKR_SESSION_COUNT)")
        << "radioButtonGost" << true << pin << "after:C_OpenSession:b1" << deletionUnproven
        << written(2, 2) + QStringLiteral("Ответ носителя: Too many sessions are active (CKR_SESSION_COUNT, 0x000000b1).") << 300;
    QTest::newRow("the check after the deletion cannot search (CKR_DEVICE_ERROR)")
        << "radioButtonGost" << true << pin << "after:C_FindObjectsInit:30" << deletionUnproven
        << written(2, 2) + QStringLiteral("Ответ носителя: An error occurred on the device (CKR_DEVICE_ERROR, 0x00000030).") << 300;
}

void TestDeviceWindow::wipeThroughWindow()
{
    QFETCH(QString, algorithmButton);
    QFETCH(bool, isPrivate);
    QFETCH(QString, pin);
    QFETCH(QString, setup);
    QFETCH(QString, message);
    QFETCH(QString, informative);
    QFETCH(int, size);
    const Implementation implementation = m_token->implementation();
    // openCryptoki 3.8 overwrites in place; later versions refuse, as the
    // read-only row makes it.
    const bool inPlace = implementation == Implementation::OpenCryptoki
        && setup != QLatin1String("fault:C_SetAttributeValue:10");
    const bool swapToken = setup == QLatin1String("swap");
    // The token pretends, or keeps the container it was told to destroy.
    const bool pretendedDeletion = setup == QLatin1String("fault:C_DestroyObject:ignore")
        || setup == QLatin1String("fault:C_DestroyObject:cached");
    if (inPlace && setup == QLatin1String("fault:C_DestroyObject:cached"))
        QSKIP("openCryptoki is never started afresh in a process (it crashes on a second initialisation): "
              "a view cached in the process goes unseen there");
    if (pretendedDeletion)
        informative += devicetexts::remnant(inPlace ? kContainer : devicetexts::copyLabel, kApplication,
                                            passesOf(algorithmButton).size());
    if (swapToken && !m_token->holdsSeveralTokens())
        QSKIP("one token only: it cannot be swapped");
    if (inPlace && message == devicetexts::replaced) {
        message = wiped;
        informative = QString();
    }
    const QString kToken = setup == QLatin1String("label") ? QStringLiteral("Key%1") : ::kToken;
    if (setup == QLatin1String("label") || setup == QLatin1String("no user PIN")) {
        m_token.reset(); // this token alone; the old store puts the environment back first
        m_token = std::make_unique<TokenStore>(implementation);
        QVERIFY2(setup == QLatin1String("label") ? m_token->initToken(kToken)
                                                 : m_token->initTokenWithoutUserPin(kToken),
                 qPrintable(m_token->errorString()));
    }
    const bool pinSet = setup != QLatin1String("no user PIN");
    const QByteArray module = qgetenv("VELMUX_PKCS11_MODULE");
    const auto restoreModule = qScopeGuard([&] {
        qputenv("VELMUX_PKCS11_MODULE", module);
        qunsetenv("KCC_FAULT_CALL");
        qunsetenv("KCC_FAULT_LOG");
        qunsetenv("KCC_FAULT_AFTER");
    });

    QByteArray container = pattern(size, 7);
    const QByteArray other = pattern(48, 99);
    QStringList before{kOther};
    const auto writeContainers = [&] {
        if (pinSet && setup != QLatin1String("no container")) {
            QVERIFY2(m_token->writeContainer(kToken, container, isPrivate), qPrintable(m_token->errorString()));
            before << kContainer;
        }
        if (setup == QLatin1String("two containers")) {
            QVERIFY(m_token->writeContainer(kToken, container, isPrivate, QStringLiteral("second")));
            before << QStringLiteral("second");
        }
        if (setup == QLatin1String("left copy")) {
            QVERIFY(m_token->writeContainer(kToken, pattern(size, 5), isPrivate, devicetexts::copyLabel));
            before << devicetexts::copyLabel;
        }
    };
    writeContainers();
    if (QTest::currentTestFailed())
        return;
    if (pinSet) {
        QVERIFY2(m_token->writeObject(kToken, kOther, other, QStringLiteral("Else"), isPrivate),
                 qPrintable(m_token->errorString()));
        QCOMPARE(m_token->dataObjects(kToken).size(), before.size());
    }
    before.sort();
    if (setup == QLatin1String("locked")) {
        if (implementation == Implementation::SoftHsm2)
            QSKIP("SoftHSM2 never locks a PIN");
        QVERIFY2(m_token->lockUserPin(kToken), qPrintable(m_token->errorString()));
    }

    // Every row through the pass-through module, which logs each write.
    QTemporaryDir logDir;
    const QString writeLog = logDir.filePath(QStringLiteral("writes.log"));
    qputenv("KCC_FAULT_TARGET", module);
    qputenv("KCC_FAULT_LOG", QFile::encodeName(writeLog));
    qputenv("VELMUX_PKCS11_MODULE", KCC_FAULT_MODULE);
    if (setup.startsWith(QLatin1String("fault:")) || setup.startsWith(QLatin1String("after:"))) {
        const QStringList fault = setup.split(QLatin1Char(':'));
        qputenv("KCC_FAULT_CALL", fault.at(1).toLatin1());
        // A replacing token destroys the old object on every pass: the
        // deletion is the call after them.
        const bool atDeletion = fault.at(1) == QLatin1String("C_DestroyObject") && !inPlace;
        qputenv("KCC_FAULT_AT", atDeletion ? QByteArray::number(passesOf(algorithmButton).size() + 1) : QByteArray("0"));
        qputenv("KCC_FAULT_RV", fault.at(2).toLatin1());
        if (fault.at(0) == QLatin1String("after"))
            qputenv("KCC_FAULT_AFTER", "deletion");
    }
    resetFaultModule(KCC_FAULT_MODULE);

    Kestrik_KCC window;
    window.show();
    child<QRadioButton>(window, "radioButtonDevice")->click();
    child<QRadioButton>(window, algorithmButton.toLatin1().constData())->click();

    QStringList lines;
    {
        ModalAnswerer answerer;
        answerer.then(chooseToken(kToken, &lines));
        child<QPushButton>(window, "pushButtonOpenDevice")->click();
    }
    const QString device
        = QStringLiteral("%1 (%2, S/N %3)").arg(kToken, TokenStore::model(implementation), m_token->serial(kToken));
    QCOMPARE(lines, QStringList{device});
    auto *lineEditDevice = child<QLineEdit>(window, "lineEditDevice");
    auto *lineEditPIN = child<QLineEdit>(window, "lineEditPIN");
    QCOMPARE(lineEditDevice->text(), device);
    QTest::keyClicks(lineEditPIN, pin);
    QCOMPARE(lineEditPIN->text(), pin);

    if (swapToken) {
        // Same label, new serial: the chosen record names a token that is gone.
        QVERIFY2(m_token->replaceToken(kToken), qPrintable(m_token->errorString()));
        container = pattern(size, 13);
        QVERIFY2(m_token->writeContainer(kToken, container, isPrivate), qPrintable(m_token->errorString()));
        QVERIFY2(m_token->writeObject(kToken, kOther, other, QStringLiteral("Else"), isPrivate),
                 qPrintable(m_token->errorString()));
    }

    ModalAnswerer answerer;
    answerer.then(ModalAnswerer::press(QMessageBox::Yes));
    child<QPushButton>(window, "pushButtonClean")->click();

    const bool success = message == devicetexts::replaced || message == wiped;
    QCOMPARE(answerer.boxes().size(), 2);
    QCOMPARE(answerer.boxes().at(0).text, confirmation);
    const ModalAnswerer::Box outcome = answerer.boxes().at(1);
    QVERIFY2(outcome.text == message, qPrintable(outcome.describe()));
    // The token and the algorithm first, then what is left on the token.
    QVERIFY2(outcome.informative.startsWith(QStringLiteral("Носитель: %1 (").arg(kToken))
                 && outcome.informative.endsWith(informative),
             qPrintable(outcome.informative));
    QCOMPARE(outcome.icon, message == wiped ? QMessageBox::Information
                           : success        ? QMessageBox::Warning
                                            : QMessageBox::Critical);
    QCOMPARE(outcome.title, title);
    QCOMPARE(outcome.buttons.size(), 1);
    QCOMPARE(outcome.parent, &window);

    // An unproven deletion was made all the same.
    const bool gone = success || informative.contains(devicetexts::gone) || message == devicetexts::deletionUnproven;
    const bool keptByLabel = setup == QLatin1String("fault:C_DestroyObject:copy-label");
    if (setup == QLatin1String("locked"))
        QVERIFY2(m_token->unlockUserPin(kToken), qPrintable(m_token->errorString()));
    if (pinSet) {
        bool listed = false;
        const QList<TokenStore::DataObject> objects = m_token->dataObjects(kToken, &listed);
        QVERIFY2(listed, qPrintable(m_token->errorString()));
        QStringList labels;
        for (const TokenStore::DataObject &object : objects)
            labels << object.label;
        labels.sort();
        // A pretended deletion leaves the overwritten container (under the
        // copy's label where the token replaced it).
        const QStringList stays = keptByLabel ? QStringList({kKept, kOther})
            : pretendedDeletion && !inPlace    ? QStringList({devicetexts::copyLabel, kOther})
                                               : before;
        QCOMPARE(labels, gone ? QStringList({kOther}) : stays);
        QCOMPARE(m_token->readObject(kToken, kOther), other);
        if (!gone && !pretendedDeletion && !keptByLabel && before.contains(kContainer))
            QCOMPARE(m_token->readObject(kToken, kContainer), container);
    }
    // Each pass reached the token as written: read back by the module right
    // after the token took it.
    if (success || pretendedDeletion) {
        QStringList expected;
        for (const QString &pass : passesOf(algorithmButton))
            expected << (inPlace ? QStringLiteral("set ") : QStringLiteral("create ")) + (size == 0 ? QStringLiteral("-") : pass);
        QCOMPARE(writesLogged(writeLog), expected);
    }

    QCOMPARE(lineEditDevice->text(), success ? QString() : device);
    QCOMPARE(lineEditPIN->text(), success ? QString() : pin);
    QVERIFY(child<QRadioButton>(window, "radioButtonDevice")->isChecked());
    QVERIFY(child<QRadioButton>(window, algorithmButton.toLatin1().constData())->isChecked());

    // The same wipe from the command line is journalled the same way.
    if (swapToken)
        return; // listed afresh there, the new token is found
    if (gone || setup == QLatin1String("fault:C_SetAttributeValue:copy-application"))
        writeContainers();
    if (QTest::currentTestFailed())
        return;
    if (QTest::currentTestFailed())
        return;
    if (setup == QLatin1String("locked"))
        QVERIFY2(m_token->lockUserPin(kToken), qPrintable(m_token->errorString()));
    const QVector<JournalRecord> byWindow = Journal().read();
    QVERIFY(!byWindow.isEmpty());
    const JournalEntry &windowEntry = byWindow.last().entry;
    if (message == wiped)
        QCOMPARE(windowEntry.containerLabel, kContainer);
    const ProgramRun scripted = runProgram(
        QStringLiteral(KCC_PROGRAM_PATH),
        {QStringLiteral("--wipe-token"), m_token->serial(kToken), QStringLiteral("-a"),
         QString::fromLatin1(wipeAlgorithmId(WipeAlgorithm(windowEntry.algorithmIndex))),
         QStringLiteral("--pin-stdin"), QStringLiteral("--yes")},
        pin.toUtf8() + '\n');
    // The same end, told by the exit status.
    const int exitStatus = message == wiped                            ? 0
        : message == devicetexts::replaced                             ? 8
        : message == devicetexts::deletionUnproven                     ? 14
        : message == devicetexts::noContainer                          ? 4
        : message == devicetexts::severalContainers                    ? 5
                                                                       : 7;
    QVERIFY2(scripted.exitCode == exitStatus, qPrintable(QStringLiteral("%1: %2").arg(scripted.exitCode).arg(scripted.err)));
    const QVector<JournalRecord> after = Journal().read();
    QCOMPARE(after.size(), byWindow.size() + 1);
    QCOMPARE(after.last().entry.interface, JournalEntry::Interface::CommandLine);
    QStringList scriptedAttempt = attemptOf(after.last().entry), windowAttempt = attemptOf(windowEntry);
    // A container the window's wipe left holding its passes starts the
    // scripted one: whose bytes the check then finds differs.
    if (pretendedDeletion || keptByLabel) {
        const int informativeAt = 15, containerAt = 9;
        scriptedAttempt.removeAt(informativeAt);
        windowAttempt.removeAt(informativeAt);
        scriptedAttempt.removeAt(containerAt);
        windowAttempt.removeAt(containerAt);
    }
    QCOMPARE(scriptedAttempt, windowAttempt);
}

QTEST_MAIN(TestDeviceWindow)
#include "tst_devicewindow.moc"
