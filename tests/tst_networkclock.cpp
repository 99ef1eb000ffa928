// SPDX-License-Identifier: MIT
// The network clock, the periodic resynchronisation and the switch back to
// local time.
#include "clock.h"
#include "form1.h"
#include "msgboxscript.h"
#include "testserver.h"
#include "testsupport.h"

using namespace platform;

namespace
{

constexpr ColourWord NetworkColour = 0x00008080; // RGB(128, 128, 0)
constexpr ColourWord LocalColour = 16576;        // RGB(192, 64, 0)

void networkMode(Form1 &form)
{
    form.Timer1.setEnabled(false);
    form.Timer2.setEnabled(true);
    form.Timer3.setEnabled(true);
}

} // namespace

class TestNetworkClock : public QObject
{
    Q_OBJECT

  private slots:
    void cleanup() { SystemClock::reset(); }

    void tick_data();
    void tick();
    void secondsRunOnFromTheServer();
    void resync_data();
    void resync();
    void unattendedFailuresShowOneMessage();
    void localSwitch_data();
    void localSwitch();
};

void TestNetworkClock::tick_data()
{
    QTest::addColumn<QString>("holder");
    QTest::addColumn<QString>("seconds");
    QTest::addColumn<QString>("nextHolder");
    QTest::addColumn<QString>("nextSeconds");

    QTest::newRow("09:05 :09") << "09:05"
                               << ":09"
                               << "09:05"
                               << ":10";
    QTest::newRow("09:05 :59 carries the minute") << "09:05"
                                                  << ":59"
                                                  << "09:06"
                                                  << ":00";
    QTest::newRow("09:59 :59 carries the hour") << "09:59"
                                                << ":59"
                                                << "10:00"
                                                << ":00";
    QTest::newRow("23:59 :59 wraps the day") << "23:59"
                                             << ":59"
                                             << "00:00"
                                             << ":00";
    QTest::newRow("query form, its seconds ignored") << "12:34:56"
                                                     << ":20"
                                                     << "12:34"
                                                     << ":21";
    QTest::newRow("empty seconds display") << "09:05"
                                           << ""
                                           << "09:05"
                                           << ":01";
    QTest::newRow("00:05 :30 keeps two-digit hour") << "00:05"
                                                    << ":30"
                                                    << "00:05"
                                                    << ":31";
    QTest::newRow("seconds without digits") << "09:05"
                                            << ":ab"
                                            << "09:05"
                                            << ":01";
    QTest::newRow("one-character seconds") << "09:05"
                                           << "7"
                                           << "09:05"
                                           << ":08";
    QTest::newRow("query form at 23:59:59") << "23:59:59"
                                            << ":59"
                                            << "00:00"
                                            << ":00";
}

void TestNetworkClock::tick()
{
    QFETCH(QString, holder);
    QFETCH(QString, seconds);
    QFETCH(QString, nextHolder);
    QFETCH(QString, nextSeconds);
    Form1 form;
    form.Label1.setCaption(u"88:88");
    form.Label1.setForeColor(LocalColour);
    form.Label2.setCaption(u"date");
    form.Label5.setCaption(toText(holder));
    form.Label7.setCaption(toText(seconds));

    form.Timer3_Timer();

    QCOMPARE(toQString(form.Label5.Caption()), nextHolder);
    QCOMPARE(toQString(form.Label7.Caption()), nextSeconds);
    QCOMPARE(toQString(form.Label1.Caption()), nextHolder);
    QCOMPARE(form.Label1.ForeColor(), NetworkColour);
    COMPARE_TEXT(form.Label2.Caption(), u"date");
}

// The server gives hour, minute and second; the ticks carry them on.
void TestNetworkClock::secondsRunOnFromTheServer()
{
    TestServer server(200, std::string("Mon, 07 Dec 2026 02:17:05 GMT"));
    SystemClock::setFixed(civil(QDate(2026, 12, 7), QTime(10, 15, 42)));
    MsgBoxScript boxes;
    Form1 form;
    form.Timer1_Timer();
    COMPARE_TEXT(form.Label1.Caption(), u"10:15");
    COMPARE_TEXT(form.Label7.Caption(), u":42");

    form.Combo1.setText(toText(server.url()));
    form.Combo1_Click();
    COMPARE_TEXT(form.Label5.Caption(), u"10:17:05");
    COMPARE_TEXT(form.Label7.Caption(), u":05");
    QVERIFY(form.Timer3.Enabled());

    form.Timer3_Timer();
    COMPARE_TEXT(form.Label5.Caption(), u"10:17");
    COMPARE_TEXT(form.Label1.Caption(), u"10:17");
    COMPARE_TEXT(form.Label7.Caption(), u":06");
    for (int i = 0; i < 53; ++i)
        form.Timer3_Timer();
    COMPARE_TEXT(form.Label1.Caption(), u"10:17");
    COMPARE_TEXT(form.Label7.Caption(), u":59");
    form.Timer3_Timer();
    COMPARE_TEXT(form.Label1.Caption(), u"10:18");
    COMPARE_TEXT(form.Label7.Caption(), u":00");
    QCOMPARE(boxes.calls().size(), 0);
}

void TestNetworkClock::resync_data()
{
    QTest::addColumn<QString>("counter");
    QTest::addColumn<QString>("holder");
    QTest::addColumn<QString>("target"); // "server", "closed" or a literal list text
    QTest::addColumn<QString>("nextCounter");
    QTest::addColumn<int>("requests");
    QTest::addColumn<QString>("nextHolder");
    QTest::addColumn<int>("messages");

    QTest::newRow("empty counts 1") << ""
                                    << ""
                                    << "server"
                                    << "1" << 0 << "" << 0;
    QTest::newRow("1 counts 2") << "1"
                                << "10:00"
                                << "server"
                                << "2" << 0 << "10:00" << 0;
    QTest::newRow("leading number read") << "12 ticks"
                                         << ""
                                         << "server"
                                         << "13" << 0 << "" << 0;
    QTest::newRow("179 with holder queries") << "179"
                                             << "10:00"
                                             << "server"
                                             << "0" << 1 << "22:04:45" << 0;
    QTest::newRow("179 with empty holder only wraps") << "179"
                                                      << ""
                                                      << "server"
                                                      << "0" << 0 << "" << 0;
    QTest::newRow("180 counts on") << "180"
                                   << "10:00"
                                   << "server"
                                   << "181" << 0 << "10:00" << 0;
    QTest::newRow("250 counts on") << "250"
                                   << "10:00"
                                   << "server"
                                   << "251" << 0 << "10:00" << 0;
    QTest::newRow("179, list shows the prompt") << "179"
                                                << "10:00"
                                                << "请选择需要同步的服务器"
                                                << "0" << 0 << "10:00" << 0;
    QTest::newRow("179, server unreachable") << "179"
                                             << "10:00"
                                             << "closed"
                                             << "0" << 0 << "10:00" << 1;
}

void TestNetworkClock::resync()
{
    QFETCH(QString, counter);
    QFETCH(QString, holder);
    QFETCH(QString, target);
    QFETCH(QString, nextCounter);
    QFETCH(int, requests);
    QFETCH(QString, nextHolder);
    QFETCH(int, messages);
    TestServer server(200, std::string("Mon, 07 Dec 2026 14:04:45 GMT"));
    MsgBoxScript boxes;
    Form1 form;
    networkMode(form);
    form.Label3.setCaption(toText(counter));
    form.Label5.setCaption(toText(holder));
    if (target == QLatin1String("server"))
        form.Combo1.setText(toText(server.url()));
    else if (target == QLatin1String("closed"))
        form.Combo1.setText(toText(QStringLiteral("http://127.0.0.1:%1/").arg(closedPort())));
    else
        form.Combo1.setText(toText(target));
    // Whatever the query leaves in the counter, the tick writes 0 after it.
    boxes.setOnShow([&] { form.Label3.setCaption(u"during"); });

    form.Timer2_Timer();

    QCOMPARE(toQString(form.Label3.Caption()), nextCounter);
    QCOMPARE(server.seen().count, requests);
    QCOMPARE(toQString(form.Label5.Caption()), nextHolder);
    QCOMPARE(boxes.calls().size(), messages);
    QVERIFY(form.Timer2.Enabled());
    QVERIFY(form.Timer3.Enabled());
}

// Nobody answers the first failure message while resyncs keep failing behind
// it: each of them runs as after any failure, but no second box opens.
void TestNetworkClock::unattendedFailuresShowOneMessage()
{
    SystemClock::setFixed(civil(QDate(2026, 12, 7), QTime(10, 15, 42)));
    MsgBoxScript boxes;
    Form1 form;
    networkMode(form);
    form.Label5.setCaption(u"10:00");
    form.Combo1.setText(toText(QStringLiteral("http://127.0.0.1:%1/").arg(closedPort())));
    int open = 0, mostOpen = 0, nested = 0;
    boxes.setOnShow([&] {
        mostOpen = std::max(mostOpen, ++open);
        while (nested < 3) {
            ++nested;
            form.Label3.setCaption(u"179");
            form.Label2.setCaption(u"stale");
            form.Timer2_Timer();
            COMPARE_TEXT(form.Label3.Caption(), u"0");
            QVERIFY(form.Label2.Caption() != u"stale");
            QVERIFY(form.Timer3.Enabled());
        }
        --open;
    });

    form.Label3.setCaption(u"179");
    form.Timer2_Timer();

    QCOMPARE(nested, 3);
    QCOMPARE(mostOpen, 1);
    QCOMPARE(boxes.calls().size(), 1);
    // Once answered, the next failure is reported again.
    form.Combo1_Click();
    QCOMPARE(boxes.calls().size(), 2);
}

void TestNetworkClock::localSwitch_data()
{
    QTest::addColumn<bool>("fromNetwork");
    QTest::newRow("from network mode") << true;
    QTest::newRow("from local mode after start-up") << false;
}

void TestNetworkClock::localSwitch()
{
    QFETCH(bool, fromNetwork);
    SystemClock::setFixed(civil(QDate(2026, 12, 7), QTime(10, 15, 42)));
    Form1 form;
    form.Timer1.setEnabled(!fromNetwork);
    form.Timer2.setEnabled(true);
    form.Timer3.setEnabled(fromNetwork);
    form.Label1.setCaption(u"23:59");
    form.Label1.setForeColor(NetworkColour);
    form.Label7.setCaption(u":07");
    form.Label2.setCaption(u"last query's date");
    form.Label3.setCaption(u"42");
    form.Label5.setCaption(fromNetwork ? u"23:59" : u"");
    form.Combo1.setText(u"http://example.invalid/");

    form.Label6_Click();

    COMPARE_TEXT(form.Label1.Caption(), u"10:15");
    QCOMPARE(form.Label1.ForeColor(), LocalColour);
    COMPARE_TEXT(form.Label7.Caption(), u":42");
    QVERIFY(!form.Label5.Visible());
    QVERIFY(form.Timer1.Enabled());
    QVERIFY(!form.Timer2.Enabled());
    QVERIFY(!form.Timer3.Enabled());
    QVERIFY(form.Timer4.Enabled());
    COMPARE_TEXT(form.Label5.Caption(), fromNetwork ? u"23:59" : u"");
    COMPARE_TEXT(form.Label2.Caption(), u"last query's date");
    COMPARE_TEXT(form.Label3.Caption(), u"42");
    COMPARE_TEXT(form.Combo1.Text(), u"http://example.invalid/");
}

CLOCK_TEST_MAIN(TestNetworkClock)
#include "tst_networkclock.moc"
