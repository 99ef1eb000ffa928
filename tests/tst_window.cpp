// SPDX-License-Identifier: MIT
// Form1 as the window description creates it, the local clock and the
// midnight date refresh.
#include "clock.h"
#include "datetime.h"
#include "form1.h"
#include "qtwidgets.h"
#include "testsupport.h"

#include <QApplication>
#include <QComboBox>
#include <QFontMetricsF>
#include <QLabel>
#include <QLocale>
#include <QUrl>

#include <cmath>

using namespace platform;
using platform::qt::widgetOf;

class TestWindow : public QObject
{
    Q_OBJECT

  private slots:
    void cleanup() { SystemClock::reset(); }

    void labelsAsDescribed_data();
    void labelsAsDescribed();
    void emptySelfSizingLabelIsOneSpaceWide_data();
    void emptySelfSizingLabelIsOneSpaceWide();
    void selfSizingKeepsLeftAndTop();
    void fixedSizeLabels_data();
    void fixedSizeLabels();
    void timersAsDescribed_data();
    void timersAsDescribed();
    void serverList();
    void stackingAndFocus();

    void localClock_data();
    void localClock();
    void localClockRestoresLocalColour();
    void midnightRefresh_data();
    void midnightRefresh();
    void midnightRefreshWritesOnEveryTickOfTheSecond();

  private:
    static Label &label(Form1 &form, int index);
};

Label &TestWindow::label(Form1 &form, int index)
{
    Label *labels[] = {&form.Label1, &form.Label2, &form.Label3, &form.Label4,
                       &form.Label5, &form.Label6, &form.Label7, &form.Label8};
    return *labels[index - 1];
}

void TestWindow::labelsAsDescribed_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<double>("left");
    QTest::addColumn<double>("top");
    QTest::addColumn<QString>("fontName");
    QTest::addColumn<int>("charset");
    QTest::addColumn<uint>("foreColor");
    QTest::addColumn<bool>("autoSize");
    QTest::addColumn<int>("tabIndex");

    const QString window; // empty: the window's own font
    QTest::newRow("Label1 hour-minute")
        << 1 << "" << 3120.0 << 5400.0 << "Arial" << 0 << 0x40C0u << true << 0;
    QTest::newRow("Label2 date") << 2 << "" << 2040.0 << 2160.0 << "华文楷体" << 134 << 0x40C0u
                                 << true << 1;
    QTest::newRow("Label3 counter")
        << 3 << "" << 0.0 << 0.0 << window << 0 << uint(SystemButtonText) << false << 2;
    QTest::newRow("Label4 sync prompt")
        << 4 << "同步网络时间:" << 6240.0 << 9120.0 << "楷体" << 134 << 0x808080u << true << 3;
    QTest::newRow("Label5 holder")
        << 5 << "" << 360.0 << 0.0 << "楷体" << 134 << uint(SystemButtonText) << false << 4;
    QTest::newRow("Label6 local switch") << 6 << "点击这里同步本地时间" << 6240.0 << 8760.0
                                         << "楷体" << 134 << uint(SystemButtonText) << true << 5;
    QTest::newRow("Label7 seconds")
        << 7 << "" << 12120.0 << 4560.0 << window << 0 << uint(SystemButtonText) << true << 7;
    QTest::newRow("Label8 default server")
        << 8 << QStringLiteral("例：http://www.baidu.com") << 11040.0 << 9120.0 << window << 0
        << 0x808080u << true << 8;
}

void TestWindow::labelsAsDescribed()
{
    QFETCH(int, index);
    QFETCH(QString, caption);
    QFETCH(double, left);
    QFETCH(double, top);
    QFETCH(QString, fontName);
    QFETCH(int, charset);
    QFETCH(uint, foreColor);
    QFETCH(bool, autoSize);
    QFETCH(int, tabIndex);

    Form1 form;
    Label &l = label(form, index);
    QLabel *widget = widgetOf(l);
    QCOMPARE(toQString(l.Caption()), caption);
    QCOMPARE(widget->text(), caption);
    QCOMPARE(l.Left(), left);
    QCOMPARE(l.Top(), top);
    QCOMPARE(toQString(l.FontName()),
             fontName.isEmpty() ? widgetOf(form)->font().family() : fontName);
    QCOMPARE(l.FontSize(), 9.0);
    QVERIFY(!l.FontBold());
    QCOMPARE(l.FontCharset(), charset);
    QCOMPARE(l.ForeColor(), ColourWord(foreColor));
    QCOMPARE(l.AutoSize(), autoSize);
    QCOMPARE(l.TabIndex(), tabIndex);
    QVERIFY(l.Visible());
    QCOMPARE(widget->focusPolicy(), Qt::NoFocus);
    QCOMPARE(l.MousePointer(), 0);
    QCOMPARE(widget->alignment() & Qt::AlignHorizontal_Mask,
             index == 2 ? Qt::AlignHCenter : Qt::AlignLeft);
}

void TestWindow::emptySelfSizingLabelIsOneSpaceWide_data()
{
    QTest::addColumn<int>("index");
    QTest::newRow("Label1") << 1;
    QTest::newRow("Label2") << 2;
    QTest::newRow("Label7") << 7;
}

// An empty self-sizing label is one line high and one space wide, so it grows
// with its font even before it has a caption.
void TestWindow::emptySelfSizingLabelIsOneSpaceWide()
{
    QFETCH(int, index);
    Form1 form;
    Label &l = label(form, index);
    const double tpp = form.twipsPerPixel();
    QFontMetricsF metrics(widgetOf(l)->font());
    QCOMPARE(l.Width(), std::ceil(metrics.horizontalAdvance(QLatin1Char(' '))) * tpp);
    QCOMPARE(l.Height(), std::ceil(metrics.height()) * tpp);
    QVERIFY(l.Width() > 0);

    const double width9 = l.Width();
    const double height9 = l.Height();
    l.setFontSize(36);
    QVERIFY2(l.Width() > width9, "an empty label widens with its font");
    QVERIFY(l.Height() > 2 * height9);
}

void TestWindow::selfSizingKeepsLeftAndTop()
{
    Form1 form;
    Label &l = form.Label4;
    const double width = l.Width();
    const double height = l.Height();
    l.setCaption(l.Caption() + u"再长一些的文字");
    QVERIFY(l.Width() > width);
    QCOMPARE(l.Height(), height);
    QCOMPARE(l.Left(), 6240.0);
    QCOMPARE(l.Top(), 9120.0);
    l.setCaption(u"同步网络时间:");
    QCOMPARE(l.Width(), width);
    // The widget follows on whole pixels.
    QCOMPARE(widgetOf(l)->geometry().left(), int(std::lround(6240.0 / form.twipsPerPixel())));
}

void TestWindow::fixedSizeLabels_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<double>("width");
    QTest::addColumn<double>("height");
    QTest::newRow("Label3") << 3 << 450.0 << 180.0;
    QTest::newRow("Label5") << 5 << 2055.0 << 375.0;
}

void TestWindow::fixedSizeLabels()
{
    QFETCH(int, index);
    QFETCH(double, width);
    QFETCH(double, height);
    Form1 form;
    Label &l = label(form, index);
    QCOMPARE(l.Width(), width);
    QCOMPARE(l.Height(), height);
    l.setCaption(u"12:34:56 and more text than fits");
    QCOMPARE(l.Width(), width);
    QCOMPARE(l.Height(), height);
}

void TestWindow::timersAsDescribed_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<int>("interval");
    QTest::addColumn<QString>("tag");
    QTest::newRow("Timer1 local clock") << 1 << 1000 << "本地时间";
    QTest::newRow("Timer2 resync") << 2 << 1000 << "辅助秒钟";
    QTest::newRow("Timer3 network clock") << 3 << 1000 << "秒钟";
    QTest::newRow("Timer4 midnight refresh") << 4 << 500 << "更新日期";
}

void TestWindow::timersAsDescribed()
{
    QFETCH(int, index);
    QFETCH(int, interval);
    QFETCH(QString, tag);
    Form1 form;
    Timer *timers[] = {&form.Timer1, &form.Timer2, &form.Timer3, &form.Timer4};
    Timer *t = timers[index - 1];
    QVERIFY2(t->Enabled(), "every timer runs from creation, before Form_Load");
    QCOMPARE(t->Interval(), interval);
    QCOMPARE(toQString(t->Tag()), tag);
}

void TestWindow::serverList()
{
    Form1 form;
    COMPARE_TEXT(form.Combo1.Text(), u"请选择需要同步的服务器");
    QCOMPARE(form.Combo1.ListCount(), 13);
    QCOMPARE(widgetOf(form.Combo1)->count(), 13);
    QCOMPARE(form.Combo1.TabIndex(), 6);
    QCOMPARE(form.Combo1.Width(), 2655.0);
    QCOMPARE(form.Combo1.Left(), 8160.0);
    QCOMPARE(form.Combo1.Top(), 9120.0);
    for (int i = 0; i < form.Combo1.ListCount(); ++i) {
        const QString entry = toQString(form.Combo1.List(i));
        QCOMPARE(widgetOf(form.Combo1)->itemText(i), entry);
        QVERIFY2(entry != toQString(form.Combo1.Text()), "the prompt is not an entry");
        const QUrl url(entry, QUrl::StrictMode);
        QVERIFY2(url.isValid() && url.scheme() == QStringLiteral("http") && !url.host().isEmpty(),
                 qPrintable(entry));
        // The fifth entry stops at the host; the others end in "/" right after it.
        const QString expectedPath = i == 4 ? QString() : QStringLiteral("/");
        QCOMPARE(url.path(), expectedPath);
        QVERIFY(entry.endsWith(url.host() + expectedPath));
    }
}

void TestWindow::stackingAndFocus()
{
    Form1 form;
    QWidget *window = widgetOf(form);
    QList<QWidget *> stacking;
    for (QObject *child : window->children())
        if (auto *w = qobject_cast<QWidget *>(child))
            stacking.append(w);
    const QList<QWidget *> bottomFirst = {
        widgetOf(form.Label1), widgetOf(form.Label2), widgetOf(form.Label3),
        widgetOf(form.Label4), widgetOf(form.Label5), widgetOf(form.Label6),
        widgetOf(form.Label7), widgetOf(form.Label8), widgetOf(form.Combo1)};
    QCOMPARE(stacking, bottomFirst);

    QComboBox *combo = widgetOf(form.Combo1);
    form.Show();
    QVERIFY(QTest::qWaitForWindowActive(window));
    QTRY_VERIFY(combo->hasFocus() || combo->isAncestorOf(QApplication::focusWidget()));
    QTest::keyClick(window, Qt::Key_Tab);
    QVERIFY2(combo->hasFocus() || combo->isAncestorOf(QApplication::focusWidget()),
             "Combo1 is the only control that takes the focus");
}

void TestWindow::localClock_data()
{
    QTest::addColumn<QTime>("time");
    QTest::addColumn<QString>("hourMinute");
    QTest::addColumn<QString>("seconds");
    QTest::newRow("morning with leading zeros") << QTime(9, 5, 7) << "09:05"
                                                << ":07";
    QTest::newRow("afternoon stays 24-hour") << QTime(13, 0, 0) << "13:00"
                                             << ":00";
    QTest::newRow("midnight") << QTime(0, 0, 0) << "00:00"
                              << ":00";
    QTest::newRow("last second of the day") << QTime(23, 59, 59) << "23:59"
                                            << ":59";
}

// Runs also under an English locale with a 12-hour time format: the hour is a
// number, so no AM/PM form may leak in.
void TestWindow::localClock()
{
    QFETCH(QTime, time);
    QFETCH(QString, hourMinute);
    QFETCH(QString, seconds);
    SystemClock::setFixed(civil(QDate(2026, 12, 7), time));
    Form1 form;
    form.Timer1_Timer();
    QCOMPARE(toQString(form.Label1.Caption()), hourMinute);
    QCOMPARE(toQString(form.Label7.Caption()), seconds);
    QCOMPARE(widgetOf(form.Label1)->text(), hourMinute);
    QCOMPARE(form.Label1.ForeColor(), ColourWord(16576));
}

void TestWindow::localClockRestoresLocalColour()
{
    Form1 form;
    form.Label1.setForeColor(Rgb(128, 128, 0));
    form.Timer1_Timer();
    QCOMPARE(form.Label1.ForeColor(), Rgb(192, 64, 0));
    QCOMPARE(widgetOf(form.Label1)->palette().color(QPalette::WindowText), QColor(192, 64, 0));
}

void TestWindow::midnightRefresh_data()
{
    QTest::addColumn<QString>("hourMinute");
    QTest::addColumn<QString>("seconds");
    QTest::addColumn<bool>("writes");
    QTest::newRow("00:00 :00 writes") << "00:00"
                                      << ":00" << true;
    QTest::newRow("00:00 :01 does not") << "00:00"
                                        << ":01" << false;
    QTest::newRow("00:01 :00 does not") << "00:01"
                                        << ":00" << false;
    QTest::newRow("12:00 :00 does not") << "12:00"
                                        << ":00" << false;
    QTest::newRow("longer caption, first five count") << "00:00:00"
                                                      << ":00" << true;
    QTest::newRow("seconds compared exactly") << "00:00"
                                              << ":00 " << false;
    QTest::newRow("empty displays") << ""
                                    << "" << false;
}

// The date written is the PC's, even when the network clock shows midnight
// while the PC is still on another day.
void TestWindow::midnightRefresh()
{
    QFETCH(QString, hourMinute);
    QFETCH(QString, seconds);
    QFETCH(bool, writes);
    SystemClock::setFixed(civil(QDate(2026, 12, 7), QTime(15, 59, 59)));
    Form1 form;
    form.Label1.setCaption(toText(hourMinute));
    form.Label7.setCaption(toText(seconds));
    form.Label2.setCaption(u"unchanged");
    form.Timer4_Timer();
    const QString pcDate = QLocale::system().toString(QDate(2026, 12, 7), QLocale::LongFormat);
    QCOMPARE(toQString(form.Label2.Caption()), writes ? pcDate : QStringLiteral("unchanged"));
}

void TestWindow::midnightRefreshWritesOnEveryTickOfTheSecond()
{
    SystemClock::setFixed(civil(QDate(2026, 12, 8), QTime(0, 0, 0)));
    Form1 form;
    form.Timer1_Timer();
    COMPARE_TEXT(form.Label1.Caption(), u"00:00");
    const Text date = Format(Now(), u"dddddd");
    for (int tick = 0; tick < 2; ++tick) {
        form.Label2.setCaption(Text());
        form.Timer4_Timer();
        COMPARE_TEXT(form.Label2.Caption(), date);
    }
}

CLOCK_TEST_MAIN(TestWindow)
#include "tst_window.moc"
