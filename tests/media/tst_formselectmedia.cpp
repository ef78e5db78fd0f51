#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include "fakevelmux.h"
#include "formselectmedia.h"

namespace {

struct Medium {
    uint32_t type = 0;
    uint32_t slot = 0;
    uint8_t fill = 0;
    QByteArray name, detail, serial;
};
using Media = QVector<Medium>;
struct Failure {
    QByteArray function;
    int occurrence = 0;
};
using Failures = QVector<Failure>;

MediaRecord recordOf(const Medium &m) { return FakeVelmux::makeRecord(m.slot, m.type, m.fill); }

void script(const Media &media)
{
    for (const Medium &m : media)
        FakeVelmux::addMedia(m.type, recordOf(m), m.name.constData(), m.detail.constData(),
                             m.serial.constData());
}

QListWidget *list(FormSelectMedia &dialog)
{
    return dialog.findChild<QListWidget *>("listWidgetMediaSlots");
}

QPushButton *button(FormSelectMedia &dialog, const char *name)
{
    return dialog.findChild<QPushButton *>(name);
}

QStringList lines(FormSelectMedia &dialog)
{
    QStringList texts;
    for (int i = 0; i < list(dialog)->count(); ++i)
        texts << list(dialog)->item(i)->text();
    return texts;
}

} // namespace

Q_DECLARE_METATYPE(Media)
Q_DECLARE_METATYPE(Failures)

class TestFormSelectMedia : public QObject
{
    Q_OBJECT

private slots:
    void init() { FakeVelmux::reset(); }

    void listing_data();
    void listing();
    void callSequenceWhenCallsFail();
    void displayText_data();
    void displayText();
    void tooManyMedia_data();
    void tooManyMedia();
    void okFollowsSelection();
    void exec_data();
    void exec();
    void selectedMedia_data();
    void selectedMedia();
    void nothingSelected_data();
    void nothingSelected();
    void form();
};

void TestFormSelectMedia::listing_data()
{
    QTest::addColumn<Media>("media");
    QTest::addColumn<Failures>("failures");
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<QVector<uint>>("slotIds");

    // Added out of code order on purpose; two under code 1 keep library order.
    const Media mixed = {{7, 70, 1, "G", "g", "7"},  {1, 10, 2, "A1", "a", "1"},
                         {4, 40, 3, "D", "d", "4"},  {1, 11, 4, "A2", "a", "2"},
                         {3, 30, 5, "C", "c", "3"},  {6, 60, 6, "F", "f", "6"},
                         {5, 0xFFFFFFF0u, 7, "E", "e", "5"}};
    const QStringList all = {"A1 (a, S/N 1)", "A2 (a, S/N 2)", "C (c, S/N 3)", "D (d, S/N 4)",
                             "E (e, S/N 5)",  "F (f, S/N 6)",  "G (g, S/N 7)"};
    const QVector<uint> allSlots = {10, 11, 30, 40, 0xFFFFFFF0u, 60, 70};

    QTest::newRow("no media") << Media{} << Failures{} << QStringList{} << QVector<uint>{};
    QTest::newRow("grouped by code, library order within") << mixed << Failures{} << all << allSlots;
    QTest::newRow("code 2 never asked")
        << Media{{2, 20, 9, "B", "b", "2"}, {1, 10, 2, "A", "a", "1"}} << Failures{}
        << QStringList{"A (a, S/N 1)"} << QVector<uint>{10};
    QTest::newRow("create_ctx fails for code 3")
        << mixed << Failures{{"velmux_create_ctx", 2}}
        << QStringList{all[0], all[1], all[3], all[4], all[5], all[6]}
        << QVector<uint>{10, 11, 40, 0xFFFFFFF0u, 60, 70};
    QTest::newRow("get_media_list fails for code 1")
        << mixed << Failures{{"velmux_get_media_list", 1}} << QStringList(all.mid(2)) << allSlots.mid(2);
    // The first of two under code 1: the one after it must still be asked.
    QTest::newRow("get_media_info fails for one medium")
        << mixed << Failures{{"velmux_get_media_info", 1}} << QStringList(all.mid(1))
        << allSlots.mid(1);
    QTest::newRow("every create_ctx fails")
        << mixed << Failures{{"velmux_create_ctx", 0}} << QStringList{} << QVector<uint>{};
    QTest::newRow("every get_media_info fails")
        << mixed << Failures{{"velmux_get_media_info", 0}} << QStringList{} << QVector<uint>{};
}

void TestFormSelectMedia::listing()
{
    QFETCH(Media, media);
    QFETCH(Failures, failures);
    QFETCH(QStringList, expected);
    QFETCH(QVector<uint>, slotIds);
    script(media);
    for (const Failure &f : failures)
        FakeVelmux::failCall(f.function.toStdString(), f.occurrence);

    FormSelectMedia dialog(nullptr);

    QCOMPARE(lines(dialog), expected);
    for (int i = 0; i < list(dialog)->count(); ++i) {
        const QVariant data = list(dialog)->item(i)->data(Qt::UserRole);
        QCOMPARE(data.userType(), int(QMetaType::UInt));
        QCOMPARE(data.toUInt(), slotIds[i]);
    }
    QVERIFY(list(dialog)->selectedItems().isEmpty());
    QVERIFY(!button(dialog, "buttonOk")->isEnabled());

    QVector<uint32_t> typesAsked;
    for (const FakeVelmux::Call &c : FakeVelmux::calls()) {
        if (c.function == "velmux_create_ctx")
            typesAsked << c.mediaType;
        if (c.function == "velmux_get_media_list")
            QCOMPARE(c.preset, VELMUX_MEDIA_LIST_CAPACITY);
        if (c.function == "velmux_get_media_info")
            QCOMPARE(c.preset, uint32_t(sizeof(MediaInfo)));
    }
    QCOMPARE(typesAsked, (QVector<uint32_t>{1, 3, 4, 5, 6, 7}));
    QCOMPARE(FakeVelmux::liveContexts(), size_t(0));
}

void TestFormSelectMedia::callSequenceWhenCallsFail()
{
    script({{1, 10, 1, "A", "a", "1"}});
    FakeVelmux::failCall("velmux_get_media_list", 2); // code 3
    FakeVelmux::failCall("velmux_create_ctx", 3);     // code 4

    FormSelectMedia dialog(nullptr);

    const std::vector<std::string> expected = {
        "velmux_create_ctx", "velmux_get_media_list", "velmux_get_media_info", "velmux_destroy_ctx",
        "velmux_create_ctx", "velmux_get_media_list", "velmux_destroy_ctx",
        "velmux_create_ctx",
        "velmux_create_ctx", "velmux_get_media_list", "velmux_destroy_ctx",
        "velmux_create_ctx", "velmux_get_media_list", "velmux_destroy_ctx",
        "velmux_create_ctx", "velmux_get_media_list", "velmux_destroy_ctx"};
    QCOMPARE(FakeVelmux::callNames(), expected);
    QCOMPARE(lines(dialog), QStringList{"A (a, S/N 1)"});
}

void TestFormSelectMedia::displayText_data()
{
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<QByteArray>("detail");
    QTest::addColumn<QByteArray>("serial");
    QTest::addColumn<QString>("expected");

    QTest::newRow("all fields") << QByteArray("Token A") << QByteArray("Model B")
                                << QByteArray("0042") << QString("Token A (Model B, S/N 0042)");
    QTest::newRow("empty detail") << QByteArray("A") << QByteArray() << QByteArray("C")
                                  << QString("A (, S/N C)");
    QTest::newRow("empty serial") << QByteArray("A") << QByteArray("B") << QByteArray()
                                  << QString("A (B, S/N )");
    QTest::newRow("cyrillic name") << QByteArray("Токен Иванова") << QByteArray("B")
                                   << QByteArray("C")
                                   << QString::fromUtf8("Токен Иванова (B, S/N C)");
    // A field filled to its last byte has no NUL; the next field must not leak in.
    QTest::newRow("name fills its field") << QByteArray(50, 'N') << QByteArray("B")
                                          << QByteArray("C")
                                          << QString(50, 'N') + " (B, S/N C)";
    QTest::newRow("detail fills its field") << QByteArray("A") << QByteArray(33, 'D')
                                            << QByteArray("C")
                                            << "A (" + QString(33, 'D') + ", S/N C)";
    // Placeholders in a label are text, not room for the next field.
    QTest::newRow("%1 in the name") << QByteArray("Key%1") << QByteArray("DETAIL") << QByteArray("SERIAL")
                                    << QString("Key%1 (DETAIL, SERIAL)").replace("SERIAL", "S/N SERIAL");
    QTest::newRow("%2 and %3 in the detail") << QByteArray("A") << QByteArray("%3%2") << QByteArray("%1")
                                             << QString("A (%3%2, S/N %1)");
}

// Each type code lists at most VELMUX_MEDIA_LIST_CAPACITY media; the rest are counted under the list.
void TestFormSelectMedia::tooManyMedia_data()
{
    QTest::addColumn<QVector<int>>("perType"); // media of codes 1 and 6
    QTest::addColumn<int>("shown");
    QTest::addColumn<QString>("label");
    QTest::addColumn<QByteArray>("moduleError"); // a named module that did not load
    QTest::newRow("none: says so and how to go on") << QVector<int>{0, 0} << 0
                                                    << QStringLiteral("Носители не найдены. Подключите токен и откройте этот список снова кнопкой «...». "
                                                                      "Показываются только инициализированные носители, не защищенные от записи.")
                                                    << QByteArray();
    QTest::newRow("exactly 32") << QVector<int>{32, 0} << 32 << QString() << QByteArray();
    QTest::newRow("33") << QVector<int>{33, 0} << 32 << QStringLiteral("Не показано носителей: 1 (список вмещает 32 носителя каждого типа).")
                        << QByteArray();
    QTest::newRow("40 and 300") << QVector<int>{40, 300} << 64
                                << QStringLiteral("Не показано носителей: 276 (список вмещает 32 носителя каждого типа).")
                                << QByteArray();
    // Not "no media found": the officer would plug the token in again and again.
    QTest::newRow("a named module does not load")
        << QVector<int>{1, 0} << 0
        << QStringLiteral("Модуль PKCS#11 не загружен: /nonexistent.so: cannot open shared object file. Исправьте путь в "
                          "VELMUX_PKCS11_MODULE и откройте этот список снова кнопкой «...».")
        << QByteArray("/nonexistent.so: cannot open shared object file");
}

void TestFormSelectMedia::tooManyMedia()
{
    QFETCH(QVector<int>, perType);
    QFETCH(int, shown);
    QFETCH(QString, label);
    QFETCH(QByteArray, moduleError);
#ifdef Q_OS_WIN
    // The library's extras are looked up in velmux.dll at run time, and this
    // suite links the fake in its place.
    if (!moduleError.isEmpty())
        QSKIP("the module's error is an extra of velmux.dll, which the fake does not stand in for here");
#endif
    if (!moduleError.isEmpty()) {
        FakeVelmux::setModuleError(moduleError.toStdString());
        FakeVelmux::failCall("velmux_create_ctx", 0, VELMUX_E_MODULE);
    }
    const uint32_t types[] = {1, 6};
    for (int t = 0; t < 2; ++t)
        for (int i = 0; i < perType[t]; ++i)
            script({{types[t], uint32_t(i), uint8_t(t), QByteArray::number(i), "D", "S"}});

    FormSelectMedia dialog(nullptr);

    QCOMPARE(list(dialog)->count(), shown);
    auto *notShown = dialog.findChild<QLabel *>("labelListNote");
    QVERIFY(notShown);
    QCOMPARE(notShown->isVisibleTo(&dialog), !label.isEmpty());
    if (!label.isEmpty())
        QCOMPARE(notShown->text(), label);
    QCOMPARE(FakeVelmux::liveContexts(), size_t(0));
}

void TestFormSelectMedia::displayText()
{
    QFETCH(QByteArray, name);
    QFETCH(QByteArray, detail);
    QFETCH(QByteArray, serial);
    QFETCH(QString, expected);
    script({{1, 1, 1, name, detail, serial}});

    FormSelectMedia dialog(nullptr);

    QCOMPARE(lines(dialog), QStringList{expected});
}

void TestFormSelectMedia::okFollowsSelection()
{
    script({{1, 1, 1, "A", "a", "1"}, {3, 2, 2, "B", "b", "2"}});
    FormSelectMedia dialog(nullptr);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QPushButton *ok = button(dialog, "buttonOk");
    QVERIFY(!ok->isEnabled());

    QListWidget *view = list(dialog);
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {},
                      view->visualItemRect(view->item(1)).center());
    QCOMPARE(view->selectedItems().size(), 1);
    QVERIFY(ok->isEnabled());

    view->clearSelection();
    QVERIFY(!ok->isEnabled());

    view->item(0)->setSelected(true);
    QVERIFY(ok->isEnabled());
}

void TestFormSelectMedia::exec_data()
{
    QTest::addColumn<Media>("media");
    QTest::addColumn<QString>("action");
    QTest::addColumn<int>("result");
    QTest::addColumn<int>("selectedRow");

    const Media two = {{1, 1, 1, "A", "a", "1"}, {3, 2, 2, "B", "b", "2"}};
    QTest::newRow("double-click second line") << two << "dclick 1" << int(QDialog::Accepted) << 1;
    QTest::newRow("click line, then OK") << two << "click 0,ok" << int(QDialog::Accepted) << 0;
    QTest::newRow("click line, then Cancel") << two << "click 1,cancel" << int(QDialog::Rejected) << 1;
    QTest::newRow("OK without selection does nothing")
        << two << "ok,cancel" << int(QDialog::Rejected) << -1;
    QTest::newRow("no media, only Cancel") << Media{} << "ok,cancel" << int(QDialog::Rejected) << -1;
}

void TestFormSelectMedia::exec()
{
    QFETCH(Media, media);
    QFETCH(QString, action);
    QFETCH(int, result);
    QFETCH(int, selectedRow);
    script(media);
    FormSelectMedia dialog(nullptr);
    QListWidget *view = list(dialog);

    // Only the last step may close the dialog; a click alone must not.
    bool closedEarly = false;
    const auto stillOpen = [&] { closedEarly = closedEarly || !dialog.isVisible(); };
    QTimer::singleShot(0, &dialog, [&] {
        for (const QString &step : action.split(',')) {
            stillOpen();
            const QStringList words = step.split(' ');
            const QPoint at = words.size() > 1
                ? view->visualItemRect(view->item(words[1].toInt())).center() : QPoint();
            if (words[0] == "dclick") {
                // QTest sends the double-click event alone; a real one follows a click.
                QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, at);
                stillOpen();
                QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, at);
            } else if (words[0] == "click")
                QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, at);
            else if (words[0] == "ok")
                QTest::mouseClick(button(dialog, "buttonOk"), Qt::LeftButton);
            else if (words[0] == "cancel")
                QTest::mouseClick(button(dialog, "buttonCancel"), Qt::LeftButton);
        }
    });
    // Stops a dialog the steps failed to close, with a result no row expects.
    QTimer::singleShot(5000, &dialog, [&] { dialog.done(42); });

    QCOMPARE(dialog.exec(), result);
    QVERIFY(!closedEarly);
    const QList<QListWidgetItem *> selected = view->selectedItems();
    QCOMPARE(selected.isEmpty() ? -1 : view->row(selected.first()), selectedRow);
}

void TestFormSelectMedia::selectedMedia_data()
{
    QTest::addColumn<Media>("media");
    QTest::addColumn<int>("row");

    QTest::newRow("one slotId under two codes, second line")
        << Media{{1, 5, 0xA1, "First", "a", "1"}, {6, 5, 0xB2, "Second", "b", "2"}} << 1;
    QTest::newRow("one slotId under two codes, first line")
        << Media{{1, 5, 0xA1, "First", "a", "1"}, {6, 5, 0xB2, "Second", "b", "2"}} << 0;
    // Same code and slotId: two modules; only the opaque bytes differ.
    QTest::newRow("one slotId from two modules, second line")
        << Media{{1, 7, 0x11, "Same", "a", "1"}, {1, 7, 0x22, "Same", "a", "2"}} << 1;
    QTest::newRow("distinct slots, last line")
        << Media{{1, 1, 1, "A", "a", "1"}, {4, 2, 2, "B", "b", "2"}, {7, 3, 3, "C", "c", "3"}} << 2;
}

void TestFormSelectMedia::selectedMedia()
{
    QFETCH(Media, media);
    QFETCH(int, row);
    script(media);
    FormSelectMedia dialog(nullptr);
    list(dialog)->item(row)->setSelected(true);

    MediaRecord record = FakeVelmux::makeRecord(0, 0, 0);
    QString text;
    QVERIFY(dialog.selectedMedia(record, text));

    const Medium &m = media[row];
    QCOMPARE(FakeVelmux::bytes(record), FakeVelmux::bytes(recordOf(m)));
    QCOMPARE(text, QString("%1 (%2, S/N %3)").arg(QString(m.name), QString(m.detail), QString(m.serial)));
}

void TestFormSelectMedia::nothingSelected_data()
{
    QTest::addColumn<Media>("media");
    QTest::addColumn<bool>("selectThenClear");

    const Media one = {{1, 9, 9, "A", "a", "1"}};
    QTest::newRow("no media") << Media{} << false;
    QTest::newRow("media, none selected") << one << false;
    QTest::newRow("selection cleared") << one << true;
}

void TestFormSelectMedia::nothingSelected()
{
    QFETCH(Media, media);
    QFETCH(bool, selectThenClear);
    script(media);
    FormSelectMedia dialog(nullptr);
    if (selectThenClear) {
        list(dialog)->item(0)->setSelected(true);
        list(dialog)->clearSelection();
    }

    const MediaRecord before = FakeVelmux::makeRecord(0xDEAD, 0xBEEF, 0x5A);
    MediaRecord record = before;
    QString text = "unchanged";
    QVERIFY(!dialog.selectedMedia(record, text));
    QCOMPARE(FakeVelmux::bytes(record), FakeVelmux::bytes(before));
    QCOMPARE(text, QString("unchanged"));
}

void TestFormSelectMedia::form()
{
    // A plain dialog gets the help button here, so clearing it is not a no-op.
    QVERIFY(QDialog().windowFlags() & Qt::WindowContextHelpButtonHint);

    FormSelectMedia dialog(nullptr);
    QVERIFY(!(dialog.windowFlags() & Qt::WindowContextHelpButtonHint));
    QCOMPARE(dialog.windowTitle(), QString::fromUtf8("Выбор носителя"));
    QCOMPARE(dialog.size(), QSize(394, 284));
    QVERIFY(dialog.isModal());
    QVERIFY(dialog.isSizeGripEnabled());
    QCOMPARE(button(dialog, "buttonOk")->text(), QString("OK"));
    QCOMPARE(button(dialog, "buttonCancel")->text(), QString::fromUtf8("Отмена"));
    QCOMPARE(list(dialog)->selectionMode(), QAbstractItemView::SingleSelection);
}

QTEST_MAIN(TestFormSelectMedia)
#include "tst_formselectmedia.moc"
