// SPDX-License-Identifier: MIT
// The start-up layout over the screen, and the exit question.
#include "clock.h"
#include "datetime.h"
#include "form1.h"
#include "msgboxscript.h"
#include "qtwidgets.h"
#include "runtimeerror.h"
#include "screen.h"
#include "startup.h"
#include "testsupport.h"

#include <QApplication>
#include <QLabel>
#include <QLocale>
#include <QTimer>

#include <cmath>

using namespace platform;
using platform::qt::widgetOf;

namespace
{
constexpr double Tolerance = 1e-6;

bool near(double actual, double expected)
{
    return std::abs(actual - expected) <= Tolerance * std::max(1.0, std::abs(expected));
}
} // namespace

#define COMPARE_NEAR(actual, expected)                                                             \
    QVERIFY2(near((actual), (expected)), qPrintable(QStringLiteral("%1 = %2, expected %3")         \
                                                        .arg(QStringLiteral(#actual))              \
                                                        .arg((actual), 0, 'g', 12)                 \
                                                        .arg((expected), 0, 'g', 12)))

class TestLayout : public QObject
{
    Q_OBJECT

  private slots:
    void cleanup()
    {
        Screen::clearSizeOverride();
        SystemClock::reset();
    }

    void layoutFollowsTheScreen_data();
    void layoutFollowsTheScreen();
    void captionWidthsMoveOnlyWhatTheFormulasSay_data();
    void captionWidthsMoveOnlyWhatTheFormulasSay();
    void stateAfterLoad();
    void dateIsTakenWhenTheNoticeCloses();
    void arithmeticFaultEndsWithRuntimeError_data();
    void arithmeticFaultEndsWithRuntimeError();

    void exitQuestion_data();
    void exitQuestion();
    void refusedCloseKeepsTheModeAndTimers();
};

void TestLayout::layoutFollowsTheScreen_data()
{
    QTest::addColumn<QSizeF>("screen");
    QTest::addColumn<double>("dateFont");
    QTest::addColumn<double>("clockFont");
    QTest::newRow("1024x768") << QSizeF(15360, 11520) << 38.4 << 15360.0 / 90;
    QTest::newRow("1920x1080") << QSizeF(28800, 16200) << 72.0 << 320.0;
    // Not a multiple of 400 or 90: the font sizes stay fractional.
    QTest::newRow("1366x768 fractional") << QSizeF(20490, 11520) << 51.225 << 20490.0 / 90;
}

// Each edge is checked against its formula, computed from what the controls
// report, in the order the layout reads them.
void TestLayout::layoutFollowsTheScreen()
{
    QFETCH(QSizeF, screen);
    QFETCH(double, dateFont);
    QFETCH(double, clockFont);
    Screen::setSizeOverride(screen.width(), screen.height());
    MsgBoxScript boxes;
    Form1 form;
    form.Form_Load();

    const double W = screen.width();
    const double H = screen.height();
    const double S = form.ScaleWidth();
    COMPARE_NEAR(S, W); // no frame before the window manager has framed it

    COMPARE_NEAR(form.Label2.FontSize(), dateFont);
    COMPARE_NEAR(form.Label1.FontSize(), clockFont);
    COMPARE_NEAR(form.Label7.FontSize(), form.Label1.FontSize() / 2);
    COMPARE_TEXT(form.Label1.FontName(), u"楷体");
    COMPARE_TEXT(form.Label2.FontName(), u"楷体");
    COMPARE_TEXT(form.Label7.FontName(), u"楷体");
    QVERIFY(form.Label1.FontBold());
    QVERIFY(form.Label7.FontBold());
    QVERIFY(!form.Label2.FontBold());
    QCOMPARE(form.Label4.FontSize(), 14.0);
    QCOMPARE(form.Label6.FontSize(), 16.0);
    QCOMPARE(form.Label8.FontSize(), 12.0);
    QCOMPARE(form.Label2.ForeColor(), Rgb(0, 128, 128));
    QCOMPARE(form.Label7.ForeColor(), Rgb(170, 170, 170));

    const double L1 = form.Label1.Left();
    COMPARE_NEAR(L1, S / 10 - form.Label1.Width() / 2);
    COMPARE_NEAR(form.Label1.Top(), H / 2 - form.Label1.Height() / 2);
    COMPARE_NEAR(form.Label7.Left(), S - 7 * L1);
    COMPARE_NEAR(form.Label7.Top(), H / 2 - form.Label7.Height() / 2 + 1000);
    COMPARE_NEAR(form.Label4.Left(), S / 2 - form.Label4.Width() / 2 - 1800);
    COMPARE_NEAR(form.Label6.Left(), S / 2 - form.Label4.Width() / 2);
    COMPARE_NEAR(form.Combo1.Left(), S / 2 - form.Combo1.Width() / 2 + 600);
    COMPARE_NEAR(form.Label8.Left(), S / 2 - form.Label8.Width() / 2 + 3500);
    for (double top : {form.Label4.Top(), form.Combo1.Top(), form.Label8.Top()})
        COMPARE_NEAR(top, H - 2000);
    COMPARE_NEAR(form.Label6.Top(), H - 2800);

    // The date display was placed while still empty; emptied again it has
    // that width once more.
    form.Label2.setCaption(Text());
    COMPARE_NEAR(form.Label2.Left(), S / 2 - form.Label2.Width() / 2);
    COMPARE_NEAR(form.Label2.Top(), H / 10 - form.Label2.Height() / 2);

    COMPARE_NEAR(form.Width(), W);
    COMPARE_NEAR(form.Height(), H);
    QCOMPARE(widgetOf(form)->pos(), QPoint(0, 0));
}

void TestLayout::captionWidthsMoveOnlyWhatTheFormulasSay_data()
{
    QTest::addColumn<int>("widened");
    QTest::addColumn<bool>("label4Moves");
    QTest::addColumn<bool>("label6Moves");
    QTest::newRow("wider sync prompt moves both") << 4 << true << true;
    QTest::newRow("wider local switch moves neither") << 6 << false << false;
}

void TestLayout::captionWidthsMoveOnlyWhatTheFormulasSay()
{
    QFETCH(int, widened);
    QFETCH(bool, label4Moves);
    QFETCH(bool, label6Moves);
    Screen::setSizeOverride(15360, 11520);
    MsgBoxScript boxes;

    Form1 plain;
    plain.Form_Load();
    Form1 wide;
    Label &grown = widened == 4 ? wide.Label4 : wide.Label6;
    grown.setCaption(grown.Caption() + u"（更长的说明文字）");
    wide.Form_Load();

    QCOMPARE(wide.Label4.Left() != plain.Label4.Left(), label4Moves);
    QCOMPARE(wide.Label6.Left() != plain.Label6.Left(), label6Moves);
    if (label4Moves)
        QVERIFY(wide.Label4.Left() < plain.Label4.Left());
    QCOMPARE(wide.Label6.Top(), plain.Label6.Top());
}

void TestLayout::stateAfterLoad()
{
    Screen::setSizeOverride(15360, 11520);
    MsgBoxScript boxes;
    Form1 form;
    form.Timer2.setEnabled(false); // untouched by the load, whatever it is
    form.Label4.setVisible(false);
    form.Label8.setVisible(false);
    const QRect label3 = widgetOf(form.Label3)->geometry();
    const QRect label5 = widgetOf(form.Label5)->geometry();
    const QFont label5Font = widgetOf(form.Label5)->font();

    form.Form_Load();

    QVERIFY(form.Timer1.Enabled());
    QVERIFY(!form.Timer3.Enabled());
    QVERIFY(!form.Timer2.Enabled());
    QVERIFY(form.Timer4.Enabled());
    QVERIFY(form.Label4.Visible());
    QVERIFY(form.Label8.Visible());
    COMPARE_TEXT(form.Label3.Caption(), u"");
    COMPARE_TEXT(form.Label5.Caption(), u"");
    QCOMPARE(widgetOf(form.Label3)->geometry(), label3);
    QCOMPARE(widgetOf(form.Label5)->geometry(), label5);
    QCOMPARE(widgetOf(form.Label5)->font(), label5Font);
    COMPARE_TEXT(form.Label1.Caption(), u"");
    COMPARE_TEXT(form.Label7.Caption(), u"");

    // The credit line went out at (W - 100, H - 100); the drawing position is
    // now on the line below it.
    QCOMPARE(form.CurrentX(), 0.0);
    const double lineHeight = form.CurrentY() - (11520 - 100);
    QVERIFY2(lineHeight > 100 && lineHeight < 400, qPrintable(QString::number(lineHeight)));

    QCOMPARE(boxes.calls().size(), 1);
    QCOMPARE(boxes.calls().first().prompt, QStringLiteral("现在同步的是本地时间"));
    QCOMPARE(boxes.calls().first().title, QStringLiteral("提示"));
    QCOMPARE(boxes.calls().first().buttons, 0);
}

// The notice may stay open past midnight: the date shown is the new day.
void TestLayout::dateIsTakenWhenTheNoticeCloses()
{
    Screen::setSizeOverride(15360, 11520);
    SystemClock::setFixed(civil(QDate(2026, 12, 7), QTime(23, 59, 58)));
    MsgBoxScript boxes;
    boxes.setOnShow([] { SystemClock::setFixed(civil(QDate(2026, 12, 8), QTime(0, 0, 3))); });
    Form1 form;
    form.Form_Load();
    QCOMPARE(toQString(form.Label2.Caption()),
             QLocale::system().toString(QDate(2026, 12, 8), QLocale::LongFormat));
}

void TestLayout::arithmeticFaultEndsWithRuntimeError_data()
{
    QTest::addColumn<QSizeF>("screen");
    QTest::newRow("zero-sized screen") << QSizeF(0, 0);
    QTest::newRow("infinite width") << QSizeF(qInf(), 11520);
    QTest::newRow("NaN height") << QSizeF(15360, qQNaN());
    QTest::newRow("beyond the single range") << QSizeF(1e40, 11520);
}

// The program reports the run-time error and exits non-zero instead of
// crashing or showing a half-laid-out window.
void TestLayout::arithmeticFaultEndsWithRuntimeError()
{
    QFETCH(QSizeF, screen);
    Screen::setSizeOverride(screen.width(), screen.height());
    MsgBoxScript boxes;
    // Should the load wrongly succeed, the event loop must not hold the test.
    QTimer::singleShot(3000, qApp, [] { QCoreApplication::exit(0); });
    const int status = clockapp::run();
    QVERIFY(status != 0);
    QCOMPARE(boxes.calls().size(), 1);
    QVERIFY2(boxes.calls().first().prompt.contains(QStringLiteral("运行时错误")),
             qPrintable(boxes.calls().first().prompt));
    for (QWidget *w : QApplication::topLevelWidgets())
        QVERIFY(!w->isVisible());
}

void TestLayout::exitQuestion_data()
{
    QTest::addColumn<int>("answer");
    QTest::addColumn<bool>("closes");
    QTest::newRow("OK ends") << int(vbOK) << true;
    QTest::newRow("Cancel keeps the window") << int(vbCancel) << false;
}

void TestLayout::exitQuestion()
{
    QFETCH(int, answer);
    QFETCH(bool, closes);
    MsgBoxScript boxes(answer);
    Form1 form;
    form.Show();
    QWidget *window = widgetOf(form);
    QVERIFY(QTest::qWaitForWindowExposed(window));

    QCOMPARE(window->close(), closes);
    QCOMPARE(window->isVisible(), !closes);
    // One question per close: the unload request made inside the handler
    // joins the close under way.
    QCOMPARE(boxes.calls().size(), 1);
    QCOMPARE(boxes.calls().first().prompt, QStringLiteral("确定要退出吗？"));
    QCOMPARE(boxes.calls().first().title, QStringLiteral("提示"));
    QCOMPARE(boxes.calls().first().buttons, 289);

    if (!closes) {
        QVERIFY(!window->close());
        QCOMPARE(boxes.calls().size(), 2);
    }
}

void TestLayout::refusedCloseKeepsTheModeAndTimers()
{
    MsgBoxScript boxes(vbCancel);
    Form1 form;
    // Network mode.
    form.Timer1.setEnabled(false);
    form.Timer2.setEnabled(true);
    form.Timer3.setEnabled(true);
    form.Label5.setCaption(u"10:17");
    form.Show();
    QVERIFY(QTest::qWaitForWindowExposed(widgetOf(form)));
    QVERIFY(!widgetOf(form)->close());
    QVERIFY(!form.Timer1.Enabled());
    QVERIFY(form.Timer2.Enabled());
    QVERIFY(form.Timer3.Enabled());
    QVERIFY(form.Timer4.Enabled());
    COMPARE_TEXT(form.Label5.Caption(), u"10:17");
    // The network clock keeps ticking after the refused close.
    form.Label7.setCaption(u":41");
    QTRY_VERIFY_WITH_TIMEOUT(form.Label7.Caption() != u":41", 2500);
}

CLOCK_TEST_MAIN(TestLayout)
#include "tst_layout.moc"
