// SPDX-License-Identifier: MIT
// What only the Qt back end shows, beyond the contract's conformance suite:
// the list's pick, Qt's own readings of Enter and editing keys, the label's
// pointer and mouse moves, what the widgets show of a label, the colours and
// the long date of the user's locale.
#include "combobox.h"
#include "datetime.h"
#include "label.h"
#include "qtcolour.h"
#include "qtcombobox.h"
#include "qtlabel.h"
#include "qtwindow.h"
#include "testsupport.h"
#include "window.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QFontMetricsF>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPalette>

#include <cmath>

using namespace platform;

namespace
{

QLabel *widgetOf(Label &label)
{
    return static_cast<qt::QtLabel &>(label.peer()).widget();
}

QComboBox *widgetOf(ComboBox &combo)
{
    return static_cast<qt::QtComboBox &>(combo.peer()).widget();
}

QWidget *widgetOf(Window &window)
{
    return static_cast<qt::QtWindow &>(window.peer()).widget();
}

// A window with one combo box holding three entries, shown and focused.
struct ComboFixture {
    Window window;
    ComboBox combo{window};
    ComboFixture()
    {
        for (const char16_t *entry :
             {u"http://a.example/", u"http://b.example/", u"http://c.example"})
            combo.AddItem(entry);
        combo.setText(u"prompt");
        combo.setSize(2655, 300);
        window.setClientSize(6000, 3000);
        window.Show();
        combo.SetFocus();
    }
};

} // namespace

class TestControls : public QObject
{
    Q_OBJECT

  private slots:
    void pickingFromTheListClicksOnce_data()
    {
        QTest::addColumn<int>("row");
        QTest::newRow("first entry") << 0;
        QTest::newRow("entry without a path") << 2;
    }

    void pickingFromTheListClicksOnce()
    {
        QFETCH(int, row);
        ComboFixture f;
        QVERIFY(QTest::qWaitForWindowExposed(widgetOf(f.window)));
        int clicks = 0;
        f.combo.Click = [&] { ++clicks; };
        QComboBox *box = widgetOf(f.combo);
        box->showPopup();
        QAbstractItemView *view = box->view();
        QTRY_VERIFY(view->isVisible());
        view->setCurrentIndex(view->model()->index(row, 0));
        QTest::keyClick(view, Qt::Key_Return);
        QTRY_COMPARE(clicks, 1);
        COMPARE_TEXT(f.combo.Text(), f.combo.List(row));
        QCoreApplication::processEvents();
        QCOMPARE(clicks, 1);
    }

    void keysRaiseKeyPressOnly_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("keyAscii");
        QTest::addColumn<QString>("textAfter");
        // Qt would report this as an activation; it must stay a key press.
        QTest::newRow("Enter with an entry's text")
            << "http://b.example/" << int(Qt::Key_Return) << 13 << "http://b.example/";
        QTest::newRow("keypad Enter") << "abc" << int(Qt::Key_Enter) << 13 << "abc";
        QTest::newRow("backspace is passed on") << "ab" << int(Qt::Key_Backspace) << 8 << "a";
    }

    void keysRaiseKeyPressOnly()
    {
        QFETCH(QString, typed);
        QFETCH(int, key);
        QFETCH(int, keyAscii);
        QFETCH(QString, textAfter);
        ComboFixture f;
        QVERIFY(QTest::qWaitForWindowActive(widgetOf(f.window)));
        f.combo.setText(typed.toStdU16String());
        widgetOf(f.combo)->lineEdit()->end(false);
        int clicks = 0;
        f.combo.Click = [&] { ++clicks; };
        QList<int> codes;
        f.combo.KeyPress = [&](std::int16_t &code) { codes.append(code); };
        QTest::keyClick(widgetOf(f.combo), Qt::Key(key));
        QCOMPARE(codes, QList<int>{keyAscii});
        QCOMPARE(clicks, 0);
        QCOMPARE(toQString(f.combo.Text()), textAfter);
    }

    void labelPointerAndMove()
    {
        Window window;
        Label label(window);
        label.setAutoSize(true);
        label.setCaption(u"同步网络时间:");
        window.setClientSize(4500, 1500);
        window.Show();
        QVERIFY(QTest::qWaitForWindowExposed(widgetOf(window)));
        int moves = 0;
        label.MouseMove = [&](int, int, double, double) { ++moves; };
        QTest::mouseMove(widgetOf(label), QPoint(2, 2));
        QTRY_VERIFY(moves > 0);
        label.setMousePointer(14);
        QCOMPARE(widgetOf(label)->cursor().shape(), Qt::WhatsThisCursor);
    }

    // What the tests' own back end cannot show: real font metrics, the focus
    // policy, the alignment and the colour on the QLabel.
    void labelOnItsWidget()
    {
        Window window;
        Label plain(window);
        Label kai(window);
        Label centred(window);
        kai.setFontName(u"楷体");
        kai.setFontCharset(134);
        centred.setAlignment(Alignment::Center);
        const double tpp = window.twipsPerPixel();
        for (Label *label : {&plain, &kai}) {
            label->setAutoSize(true);
            // Empty, a self-sizing label is one space of its real font wide.
            const QFontMetricsF metrics(widgetOf(*label)->font());
            QCOMPARE(label->Width(), std::ceil(metrics.horizontalAdvance(QLatin1Char(' '))) * tpp);
            QCOMPARE(label->Height(), std::ceil(metrics.height()) * tpp);
            QVERIFY(label->Width() > 0);
        }
        // Without a face of its own a label takes the window's.
        QCOMPARE(toQString(plain.FontName()), widgetOf(window)->font().family());
        COMPARE_TEXT(kai.FontName(), u"楷体");

        QCOMPARE(widgetOf(plain)->focusPolicy(), Qt::NoFocus);
        QCOMPARE(widgetOf(plain)->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignLeft);
        QCOMPARE(widgetOf(centred)->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);
        plain.setForeColor(Rgb(192, 64, 0));
        QCOMPARE(widgetOf(plain)->palette().color(QPalette::WindowText), QColor(192, 64, 0));
        plain.setLeft(6240);
        QCOMPARE(widgetOf(plain)->geometry().left(), int(std::lround(6240.0 / tpp)));
    }

    void colourToQColor_data()
    {
        QTest::addColumn<uint>("word");
        QTest::addColumn<QColor>("colour");
        const QPalette palette = QApplication::palette();
        QTest::newRow("local-mode colour") << 16576u << QColor(192, 64, 0);
        QTest::newRow("network-mode colour") << 0x008080u << QColor(128, 128, 0);
        QTest::newRow("white") << 0xFFFFFFu << QColor(255, 255, 255);
        QTest::newRow("high byte ignored") << 0x80563412u << QColor(0x12, 0x34, 0x56);
        QTest::newRow("button face from the scheme")
            << uint(SystemButtonFace) << palette.color(QPalette::Button);
        QTest::newRow("button text from the scheme")
            << uint(SystemButtonText) << palette.color(QPalette::ButtonText);
    }

    void colourToQColor()
    {
        QFETCH(uint, word);
        QFETCH(QColor, colour);
        QCOMPARE(qt::toQColor(word), colour);
        QCOMPARE(qt::toQColor(word).alpha(), 255);
    }

    void longDateIsSystemLocaleLongFormat_data()
    {
        QTest::addColumn<double>("serial");
        QTest::addColumn<QDate>("date");
        // Which day a serial is, the core's tables check; here the ends of the range.
        QTest::newRow("2026-12-07 afternoon") << 46363.586 << QDate(2026, 12, 7);
        QTest::newRow("first day of range") << -657434.0 << QDate(100, 1, 1);
        QTest::newRow("last day of range") << 2958465.5 << QDate(9999, 12, 31);
    }

    void longDateIsSystemLocaleLongFormat()
    {
        QFETCH(double, serial);
        QFETCH(QDate, date);
        const QString expected = QLocale::system().toString(date, QLocale::LongFormat);
        QVERIFY(!expected.isEmpty());
        QCOMPARE(toQString(Format(Date{serial}, u"dddddd")), expected);

        // The default QLocale plays no part: only the user's (system) locale.
        const QLocale previous;
        QLocale::setDefault(QLocale(QLocale::Japanese, QLocale::Japan));
        const Text withOtherDefault = Format(Date{serial}, u"dddddd");
        QLocale::setDefault(previous);
        QCOMPARE(toQString(withOtherDefault), expected);
    }

    void longDateInChinese_data()
    {
        QTest::addColumn<double>("serial");
        QTest::addColumn<QString>("text");
        QTest::newRow("2026-12-07 Monday, 22:04")
            << 46363.92 << QStringLiteral("2026年12月7日星期一");
        QTest::newRow("2026-12-08 Tuesday") << 46364.0 << QStringLiteral("2026年12月8日星期二");
        QTest::newRow("2027-01-01 Friday, 07:59")
            << 46388.333 << QStringLiteral("2027年1月1日星期五");
        QTest::newRow("2028-02-29 Tuesday") << 46812.0 << QStringLiteral("2028年2月29日星期二");
    }

    void longDateInChinese()
    {
        QFETCH(double, serial);
        QFETCH(QString, text);
        if (QLocale::system().name() != QLatin1String("zh_CN"))
            QSKIP("not under zh_CN: the CTest entry tst_controls_zh_CN runs this");
        QCOMPARE(toQString(Format(Date{serial}, u"dddddd")), text);
    }
};

CLOCK_TEST_MAIN(TestControls)
#include "tst_controls.moc"
