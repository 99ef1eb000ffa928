#include "combobox.h"
#include "label.h"
#include "window.h"

#include <QAbstractItemView>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>

using namespace platform;

// A window with one combo box holding three entries, shown and focused.
class ComboFixture
{
  public:
    ComboFixture() : combo(new ComboBox(&window))
    {
        for (const char *entry : {"http://a.example/", "http://b.example/", "http://c.example"})
            combo->AddItem(QString::fromLatin1(entry));
        combo->setText(QStringLiteral("prompt"));
        combo->setSize(2655, 300);
        window.resize(400, 200);
        window.show();
        combo->setFocus();
    }

    Window window;
    ComboBox *combo;
};

class TestControls : public QObject
{
    Q_OBJECT

  private slots:
    void pickingFromTheListClicksOnce_data();
    void pickingFromTheListClicksOnce();
    void keysRaiseKeyPressOnly_data();
    void keysRaiseKeyPressOnly();
    void zeroedKeyIsSwallowed();
    void labelClickAndPointer();
    void printMovesTheDrawingPosition();
};

void TestControls::pickingFromTheListClicksOnce_data()
{
    QTest::addColumn<int>("row");
    QTest::newRow("first entry") << 0;
    QTest::newRow("entry without a path") << 2;
}

void TestControls::pickingFromTheListClicksOnce()
{
    QFETCH(int, row);
    ComboFixture f;
    QVERIFY(QTest::qWaitForWindowExposed(&f.window));
    QSignalSpy clicks(f.combo, &ComboBox::Click);
    f.combo->showPopup();
    QAbstractItemView *view = f.combo->view();
    QTRY_VERIFY(view->isVisible());
    const QModelIndex index = view->model()->index(row, 0);
    view->setCurrentIndex(index);
    QTest::keyClick(view, Qt::Key_Return);
    QTRY_COMPARE(clicks.size(), 1);
    QCOMPARE(f.combo->Text(), f.combo->List(row));
    QCoreApplication::processEvents();
    QCOMPARE(clicks.size(), 1);
}

void TestControls::keysRaiseKeyPressOnly_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("keyAscii");
    QTest::addColumn<QString>("textAfter");
    QTest::newRow("Enter with typed text")
        << "http://x/" << int(Qt::Key_Return) << 13 << "http://x/";
    // Qt would report this as an activation; it must stay a key press.
    QTest::newRow("Enter with an entry's text")
        << "http://b.example/" << int(Qt::Key_Return) << 13 << "http://b.example/";
    QTest::newRow("keypad Enter") << "abc" << int(Qt::Key_Enter) << 13 << "abc";
    QTest::newRow("letter is passed on") << "ab" << int(Qt::Key_C) << int('c') << "abc";
    QTest::newRow("backspace is passed on") << "ab" << int(Qt::Key_Backspace) << 8 << "a";
}

void TestControls::keysRaiseKeyPressOnly()
{
    QFETCH(QString, typed);
    QFETCH(int, key);
    QFETCH(int, keyAscii);
    QFETCH(QString, textAfter);
    ComboFixture f;
    QVERIFY(QTest::qWaitForWindowActive(&f.window));
    f.combo->setText(typed);
    f.combo->lineEdit()->end(false);
    QSignalSpy clicks(f.combo, &ComboBox::Click);
    QList<int> codes;
    QObject::connect(f.combo, &ComboBox::KeyPress, f.combo,
                     [&](qint16 &code) { codes.append(code); });

    QTest::keyClick(f.combo, Qt::Key(key));
    QCOMPARE(codes, QList<int>{keyAscii});
    QCOMPARE(clicks.size(), 0);
    QCOMPARE(f.combo->Text(), textAfter);
}

void TestControls::zeroedKeyIsSwallowed()
{
    ComboFixture f;
    QVERIFY(QTest::qWaitForWindowActive(&f.window));
    f.combo->setText(QStringLiteral("ab"));
    f.combo->lineEdit()->end(false);
    QObject::connect(f.combo, &ComboBox::KeyPress, f.combo, [](qint16 &code) { code = 0; });
    QTest::keyClick(f.combo, Qt::Key_C);
    QCOMPARE(f.combo->Text(), QStringLiteral("ab"));
}

void TestControls::labelClickAndPointer()
{
    Window window;
    auto *label = new Label(&window);
    label->setAutoSize(true);
    label->setCaption(QStringLiteral("同步网络时间:"));
    window.resize(300, 100);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QSignalSpy clicks(label, &Label::Click);
    QSignalSpy moves(label, &Label::MouseMove);

    QTest::mouseClick(label, Qt::LeftButton);
    QCOMPARE(clicks.size(), 1);
    QTest::mouseClick(label, Qt::RightButton);
    QCOMPARE(clicks.size(), 1);

    QTest::mouseMove(label, QPoint(2, 2));
    QTRY_VERIFY(!moves.isEmpty());
    label->setMousePointer(14);
    QCOMPARE(label->cursor().shape(), Qt::WhatsThisCursor);
}

void TestControls::printMovesTheDrawingPosition()
{
    Window window;
    window.setCurrentX(1500);
    window.setCurrentY(300);
    window.Print(QStringLiteral("credit"));
    QCOMPARE(window.CurrentX(), 0.0);
    QVERIFY(window.CurrentY() > 300);
}

QTEST_MAIN(TestControls)
#include "tst_controls.moc"
