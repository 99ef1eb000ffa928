// SPDX-License-Identifier: MIT
// The network time query against servers on 127.0.0.1, and the controls that
// start it.
#include "clock.h"
#include "constants.h"
#include "form1.h"
#include "httprequest.h"
#include "msgboxscript.h"
#include "qtwidgets.h"
#include "testserver.h"
#include "testsupport.h"

#include <QComboBox>
#include <QElapsedTimer>
#include <QLocale>

using namespace platform;
using platform::qt::widgetOf;
using namespace std::chrono_literals;

namespace
{

const QDate PcDate(2031, 5, 17);
const CivilDateTime PcTime = civil(PcDate, QTime(9, 30, 12));
const QString FailureText =
    QStringLiteral("时间服务器连接错误！请检查网络或校正本地时间，重启软件！");

QString longDate(const QDate &date)
{
    return QLocale::system().toString(date, QLocale::LongFormat);
}

// The request target a proxy sees for a URL: an empty path becomes "/".
QString proxyTarget(const QString &url)
{
    return url.count(QLatin1Char('/')) == 2 ? url + QLatin1Char('/') : url;
}

void setMode(Form1 &form, bool network)
{
    form.Timer1.setEnabled(!network);
    form.Timer2.setEnabled(true);
    form.Timer3.setEnabled(network);
}

// The query the user starts from the server list.
void queryFromList(Form1 &form, const QString &url)
{
    form.Combo1.setText(toText(url));
    form.Combo1_Click();
}

// Routes plain http requests through a local server acting as the proxy, so
// that the built-in server names can be asked without leaving the machine.
class ProxyThrough
{
  public:
    explicit ProxyThrough(const TestServer &server)
    {
        for (const char *name : {"no_proxy", "NO_PROXY", "http_proxy"})
            m_saved.append({name, qgetenv(name), qEnvironmentVariableIsSet(name)});
        qunsetenv("no_proxy");
        qunsetenv("NO_PROXY");
        qputenv("http_proxy", server.url().toLatin1());
    }
    ~ProxyThrough()
    {
        for (const Saved &saved : m_saved) {
            if (saved.wasSet)
                qputenv(saved.name, saved.value);
            else
                qunsetenv(saved.name);
        }
    }
    ProxyThrough(const ProxyThrough &) = delete;
    ProxyThrough &operator=(const ProxyThrough &) = delete;

  private:
    struct Saved {
        const char *name;
        QByteArray value;
        bool wasSet;
    };
    QList<Saved> m_saved;
};

} // namespace

class TestTimeQuery : public QObject
{
    Q_OBJECT

  private slots:
    void init();
    void cleanup();

    void headerTable_data();
    void headerTable();
    void failures_data();
    void failures();
    void serverSeesBodilessPost();
    void silentServerFailsWithinTimeout();
    void endlessBodyReturnsPromptly();
    void defaultServerLeavesListAlone();
    void listEntry_data();
    void listEntry();
    void otherKeysStartNothing_data();
    void otherKeysStartNothing();
    void pointerOverPrompt();
};

void TestTimeQuery::init()
{
    SystemClock::setFixed(PcTime);
    XmlHttpRequest::resetTimeouts();
}

void TestTimeQuery::cleanup()
{
    SystemClock::reset();
    XmlHttpRequest::resetTimeouts();
}

void TestTimeQuery::headerTable_data()
{
    QTest::addColumn<QString>("header");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("holder");
    QTest::addColumn<QDate>("date");
    // Header lines the server sends before its Date line.
    QTest::addColumn<QByteArray>("before");

    const QDate dec7(2026, 12, 7);
    const QByteArray none;
    QTest::newRow("afternoon") << "Mon, 07 Dec 2026 14:04:45 GMT" << 200 << "22:04:45" << dec7
                               << none;
    QTest::newRow("16:00 rolls the day")
        << "Mon, 07 Dec 2026 16:00:00 GMT" << 200 << "00:00:00" << QDate(2026, 12, 8) << none;
    QTest::newRow("new year") << "Thu, 31 Dec 2026 23:59:59 GMT" << 200 << "07:59:59"
                              << QDate(2027, 1, 1) << none;
    QTest::newRow("leap February")
        << "Mon, 28 Feb 2028 20:00:00 GMT" << 200 << "04:00:00" << QDate(2028, 2, 29) << none;
    QTest::newRow("common February")
        << "Sat, 28 Feb 2026 20:00:00 GMT" << 200 << "04:00:00" << QDate(2026, 3, 1) << none;
    QTest::newRow("wrong weekday")
        << "Fri, 07 Dec 2026 14:04:45 GMT" << 200 << "22:04:45" << dec7 << none;
    QTest::newRow("zone not GMT") << "Mon, 07 Dec 2026 14:04:45 PST" << 200 << "22:04:45" << dec7
                                  << none;
    // 02:00 to 03:00 of 8 March 2026 does not exist on New York's clocks.
    QTest::newRow("header in New York's gap")
        << "Sun, 08 Mar 2026 02:30:00 GMT" << 200 << "10:30:00" << QDate(2026, 3, 8) << none;
    QTest::newRow("result in New York's gap")
        << "Sat, 07 Mar 2026 18:30:00 GMT" << 200 << "02:30:00" << QDate(2026, 3, 8) << none;
    QTest::newRow("404 reply") << "Mon, 07 Dec 2026 14:04:45 GMT" << 404 << "22:04:45" << dec7
                               << none;
    QTest::newRow("405 reply") << "Mon, 07 Dec 2026 14:04:45 GMT" << 405 << "22:04:45" << dec7
                               << none;
    // An obsolete folded line continues X-Foo; it is not a second Date.
    QTest::newRow("folded line is no Date")
        << "Mon, 07 Dec 2026 14:04:45 GMT" << 200 << "22:04:45" << dec7
        << QByteArray("X-Foo: bar\r\n Date: Tue, 01 Jan 2030 00:00:00 GMT\r\n");
}

void TestTimeQuery::headerTable()
{
    QFETCH(QString, header);
    QFETCH(int, status);
    QFETCH(QString, holder);
    QFETCH(QDate, date);
    QFETCH(QByteArray, before);
    RawServer server(QStringLiteral("HTTP/1.1 %1 Reply\r\n").arg(status).toStdString() +
                     before.toStdString() + "Date: " + header.toStdString() +
                     "\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
    QVERIFY(server.port() > 0);
    MsgBoxScript boxes;
    Form1 form;
    setMode(form, false);
    form.Label3.setCaption(u"57");
    form.Label5.setVisible(false);
    form.Label7.setCaption(u":42");
    form.Label1.setCaption(u"09:30");

    queryFromList(form, server.url());

    QCOMPARE(server.count(), 1);
    QCOMPARE(toQString(form.Label5.Caption()), holder);
    QVERIFY(form.Label5.Visible());
    QCOMPARE(toQString(form.Label2.Caption()), longDate(date));
    COMPARE_TEXT(form.Label3.Caption(), u"0");
    QVERIFY(!form.Timer1.Enabled());
    QVERIFY(form.Timer2.Enabled());
    QVERIFY(form.Timer3.Enabled());
    // The hour-minute display is the network clock's business, from its next
    // tick on; the seconds come from the server.
    COMPARE_TEXT(form.Label1.Caption(), u"09:30");
    QCOMPARE(toQString(form.Label7.Caption()), QLatin1Char(':') + holder.right(2));
    QCOMPARE(boxes.calls().size(), 0);
}

void TestTimeQuery::failures_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("date");
    QTest::addColumn<bool>("networkMode");
    QTest::addColumn<bool>("message");

    QTest::newRow("no Date header") << "server" << QString() << false << false;
    QTest::newRow("no Date header, network mode") << "server" << QString() << true << false;
    QTest::newRow("empty Date") << "server"
                                << "" << false << false;
    QTest::newRow("one-digit day") << "server"
                                   << "Mon, 7 Dec 2026 14:04:45 GMT" << false << false;
    QTest::newRow("German month") << "server"
                                  << "Mon, 07 Dez 2026 14:04:45 GMT" << false << false;
    QTest::newRow("30 February") << "server"
                                 << "Tue, 30 Feb 2027 10:00:00 GMT" << false << false;
    QTest::newRow("ISO form") << "server"
                              << "2026-12-07T14:04:45Z" << false << false;
    QTest::newRow("past the date range") << "server"
                                         << "Fri, 31 Dec 9999 16:00:00 GMT" << false << false;
    QTest::newRow("prompt text") << "prompt" << QString() << false << false;
    QTest::newRow("empty text") << "empty" << QString() << true << false;
    QTest::newRow("ftp scheme") << "ftp" << QString() << false << false;
    QTest::newRow("closed port") << "closed" << QString() << false << true;
    QTest::newRow("closed port, network mode") << "closed" << QString() << true << true;
}

void TestTimeQuery::failures()
{
    QFETCH(QString, kind);
    QFETCH(QString, date);
    QFETCH(bool, networkMode);
    QFETCH(bool, message);
    const std::optional<std::string> header =
        date.isNull() ? std::nullopt : std::optional<std::string>(date.toStdString());
    TestServer server(200, header);

    QString url = server.url();
    if (kind == QLatin1String("prompt"))
        url = QStringLiteral("请选择需要同步的服务器");
    else if (kind == QLatin1String("empty"))
        url = QString();
    else if (kind == QLatin1String("ftp"))
        url = QStringLiteral("ftp://127.0.0.1:%1/").arg(server.port());
    else if (kind == QLatin1String("closed"))
        url = QStringLiteral("http://127.0.0.1:%1/").arg(closedPort());

    MsgBoxScript boxes;
    Form1 form;
    setMode(form, networkMode);
    form.Label2.setCaption(u"earlier");
    form.Label3.setCaption(u"57");
    form.Label5.setCaption(u"11:22");
    form.Label5.setVisible(false);
    // The message box comes before the date display is rewritten.
    QString dateWhileAsking;
    boxes.setOnShow([&] { dateWhileAsking = toQString(form.Label2.Caption()); });

    queryFromList(form, url);

    QCOMPARE(form.Timer1.Enabled(), !networkMode);
    QVERIFY(form.Timer2.Enabled());
    QCOMPARE(form.Timer3.Enabled(), networkMode);
    QCOMPARE(toQString(form.Label2.Caption()), longDate(PcDate));
    COMPARE_TEXT(form.Label3.Caption(), u"0");
    QVERIFY(form.Label5.Visible());
    COMPARE_TEXT(form.Label5.Caption(), u"11:22");
    QCOMPARE(boxes.calls().size(), message ? 1 : 0);
    if (message) {
        QCOMPARE(boxes.calls().at(0).prompt, FailureText);
        QCOMPARE(boxes.calls().at(0).title, QStringLiteral("提示"));
        QCOMPARE(boxes.calls().at(0).buttons, 0);
        QCOMPARE(dateWhileAsking, QStringLiteral("earlier"));
    }
}

void TestTimeQuery::serverSeesBodilessPost()
{
    TestServer server(200, std::string("Mon, 07 Dec 2026 14:04:45 GMT"));
    Form1 form;
    queryFromList(form, server.url(QStringLiteral("/time?x=1")));

    const TestServer::Seen seen = server.seen();
    QCOMPARE(seen.count, 1);
    QCOMPARE(seen.method, std::string("POST"));
    QCOMPARE(seen.target, std::string("/time?x=1"));
    QCOMPARE(seen.body, std::string());
    QCOMPARE(seen.contentLength, std::string("0"));
}

void TestTimeQuery::silentServerFailsWithinTimeout()
{
    XmlHttpRequest::setTimeouts(500ms, 1500ms);
    SilentServer server;
    QVERIFY(server.port() > 0);
    MsgBoxScript boxes;
    Form1 form;
    setMode(form, false);

    QElapsedTimer elapsed;
    elapsed.start();
    queryFromList(form, server.url());
    const qint64 ms = elapsed.elapsed();
    qInfo("query against a silent server ended after %lld ms", ms);

    QVERIFY2(ms >= 1400 && ms < 3500, qPrintable(QString::number(ms)));
    QCOMPARE(boxes.calls().size(), 0);
    QVERIFY(form.Timer1.Enabled());
    QVERIFY(!form.Timer3.Enabled());
    QCOMPARE(toQString(form.Label2.Caption()), longDate(PcDate));
}

void TestTimeQuery::endlessBodyReturnsPromptly()
{
    TestServer server([](httplib::Server &routes) {
        routes.Post("/", [](const httplib::Request &, httplib::Response &res) {
            res.set_header("Date", "Mon, 07 Dec 2026 14:04:45 GMT");
            auto chunks = std::make_shared<int>(0);
            res.set_chunked_content_provider(
                "text/plain", [chunks](size_t, httplib::DataSink &sink) {
                    static const std::string block(64 * 1024, 'z');
                    // Bounded: a client that never hangs up still ends it.
                    return ++*chunks < 20000 && sink.write(block.data(), block.size());
                });
        });
    });
    Form1 form;
    QElapsedTimer elapsed;
    elapsed.start();
    queryFromList(form, server.url());
    const qint64 ms = elapsed.elapsed();

    QVERIFY2(ms < 2000, qPrintable(QString::number(ms)));
    COMPARE_TEXT(form.Label5.Caption(), u"22:04:45");
    QVERIFY(form.Timer3.Enabled());
}

void TestTimeQuery::defaultServerLeavesListAlone()
{
    TestServer server(200, std::string("Mon, 07 Dec 2026 14:04:45 GMT"));
    const ProxyThrough proxy(server);
    Form1 form;
    setMode(form, false);

    form.Label4_click();

    QCOMPARE(server.seen().count, 1);
    QCOMPARE(QString::fromStdString(server.seen().target),
             proxyTarget(toQString(clockapp::DefaultTimeServer)));
    COMPARE_TEXT(form.Combo1.Text(), u"请选择需要同步的服务器");
    COMPARE_TEXT(form.Label5.Caption(), u"22:04:45");
    QVERIFY(form.Timer3.Enabled());
}

void TestTimeQuery::listEntry_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<bool>("byEnter");
    QTest::newRow("pick first") << 0 << false;
    QTest::newRow("Enter on first") << 0 << true;
    QTest::newRow("pick fifth") << 4 << false;
    QTest::newRow("Enter on fifth") << 4 << true;
}

// Picking an entry and pressing Enter on it are the same query, once.
void TestTimeQuery::listEntry()
{
    QFETCH(int, index);
    QFETCH(bool, byEnter);
    TestServer server(200, std::string("Mon, 07 Dec 2026 16:00:00 GMT"));
    const ProxyThrough proxy(server);
    Form1 form;
    setMode(form, false);

    widgetOf(form.Combo1)->setCurrentIndex(index);
    const QString entry = toQString(form.Combo1.List(index));
    QCOMPARE(toQString(form.Combo1.Text()), entry);
    std::int16_t key = 13;
    if (byEnter)
        form.Combo1_KeyPress(key);
    else
        emit widgetOf(form.Combo1)->activated(index);

    QCOMPARE(key, std::int16_t(13));
    QCOMPARE(server.seen().count, 1);
    QCOMPARE(QString::fromStdString(server.seen().target), proxyTarget(entry));
    COMPARE_TEXT(form.Label5.Caption(), u"00:00:00");
    QCOMPARE(toQString(form.Label2.Caption()), longDate(QDate(2026, 12, 8)));
}

void TestTimeQuery::otherKeysStartNothing_data()
{
    QTest::addColumn<int>("key");
    QTest::newRow("letter") << int('a');
    QTest::newRow("line feed") << 10;
    QTest::newRow("escape") << 27;
    QTest::newRow("13 in the high byte") << 13 * 256 + 13;
}

void TestTimeQuery::otherKeysStartNothing()
{
    QFETCH(int, key);
    TestServer server(200, std::string("Mon, 07 Dec 2026 14:04:45 GMT"));
    Form1 form;
    setMode(form, false);
    form.Combo1.setText(toText(server.url()));
    form.Label3.setCaption(u"57");

    std::int16_t keyAscii = static_cast<std::int16_t>(key);
    form.Combo1_KeyPress(keyAscii);

    QCOMPARE(keyAscii, static_cast<std::int16_t>(key));
    QCOMPARE(server.seen().count, 0);
    COMPARE_TEXT(form.Label3.Caption(), u"57");
    QVERIFY(form.Timer1.Enabled());
}

void TestTimeQuery::pointerOverPrompt()
{
    Form1 form;
    QVERIFY(form.Label4.MousePointer() != 14);
    form.Label4_MouseMove();
    QCOMPARE(form.Label4.MousePointer(), 14);
}

CLOCK_TEST_MAIN(TestTimeQuery)
#include "tst_timequery.moc"
