// SPDX-License-Identifier: MIT
// The request object over libcurl against servers of its own on 127.0.0.1.
#include "httprequest.h"
#include "runtimeerror.h"
#include "testserver.h"

#include <QElapsedTimer>
#include <QTemporaryFile>
#include <QTest>

#include <atomic>

using platform::RuntimeError;
using platform::XmlHttpRequest;
using namespace std::chrono_literals;

namespace
{

const char *const SampleDate = "Mon, 07 Dec 2026 14:04:45 GMT";

// The code a call fails with, or 0 when it succeeds.
template <class Call> int failureOf(Call call)
{
    try {
        call();
    } catch (const RuntimeError &error) {
        return error.number();
    }
    return 0;
}

int post(XmlHttpRequest &request, const QString &url)
{
    return failureOf([&] {
        request.Open(u"POST", url.toStdU16String(), false);
        request.send();
    });
}

} // namespace

class TestHttpRequest : public QObject
{
    Q_OBJECT

  private slots:
    void init() { XmlHttpRequest::resetTimeouts(); }
    void cleanupTestCase() { XmlHttpRequest::resetTimeouts(); }

    void rejectsWhatIsNotAnHttpUrl_data();
    void rejectsWhatIsNotAnHttpUrl();
    void sendsBodilessPost();
    void headerWhateverTheStatus_data();
    void headerWhateverTheStatus();
    void unreachableOrBroken_data();
    void unreachableOrBroken();
    void timesOut_data();
    void timesOut();
    void bodyIsNeverDownloaded_data();
    void bodyIsNeverDownloaded();
    void membersOutOfOrder();
};

void TestHttpRequest::rejectsWhatIsNotAnHttpUrl_data()
{
    QTest::addColumn<QString>("url");
    QTest::newRow("prompt text") << QStringLiteral("请选择需要同步的服务器");
    QTest::newRow("empty") << QString();
    QTest::newRow("ftp") << QStringLiteral("ftp://127.0.0.1/");
    QTest::newRow("bare host") << QStringLiteral("127.0.0.1");
    QTest::newRow("no host") << QStringLiteral("http://");
    QTest::newRow("relative") << QStringLiteral("/index.html");
    QTest::newRow("file") << QStringLiteral("file:///etc/hostname");
    QTest::newRow("gopher") << QStringLiteral("gopher://127.0.0.1/");
}

void TestHttpRequest::rejectsWhatIsNotAnHttpUrl()
{
    QFETCH(QString, url);
    XmlHttpRequest request;
    QCOMPARE(post(request, url), XmlHttpRequest::InvalidUrl);
    QCOMPARE(request.readyState(), XmlHttpRequest::Unsent);
}

void TestHttpRequest::sendsBodilessPost()
{
    TestServer *self = nullptr;
    TestServer server([&](httplib::Server &routes) {
        routes.Post("/", [&](const httplib::Request &req, httplib::Response &res) {
            self->record(req);
            res.set_header("Date", SampleDate);
            res.set_header("X-Twice", "a");
            res.set_header("X-Twice", "b");
        });
    });
    self = &server;

    XmlHttpRequest request;
    QCOMPARE(post(request, server.url()), 0);
    QCOMPARE(request.readyState(), XmlHttpRequest::Done);
    QCOMPARE(QString::fromStdU16String(request.getResponseHeader(u"Date")),
             QString::fromLatin1(SampleDate));
    QCOMPARE(QString::fromStdU16String(request.getResponseHeader(u"date")),
             QString::fromLatin1(SampleDate));
    QCOMPARE(QString::fromStdU16String(request.getResponseHeader(u"X-Twice")),
             QStringLiteral("a, b"));
    QCOMPARE(QString::fromStdU16String(request.getResponseHeader(u"X-Missing")), QString());

    const TestServer::Seen seen = server.seen();
    QCOMPARE(seen.count, 1);
    QCOMPARE(seen.method, std::string("POST"));
    QCOMPARE(seen.body, std::string());
    QCOMPARE(seen.contentLength, std::string("0"));
    QCOMPARE(seen.contentType, std::string());
}

void TestHttpRequest::headerWhateverTheStatus_data()
{
    QTest::addColumn<int>("status");
    QTest::newRow("404") << 404;
    QTest::newRow("405") << 405;
    QTest::newRow("500") << 500;
    QTest::newRow("redirect not followed") << 302;
}

void TestHttpRequest::headerWhateverTheStatus()
{
    QFETCH(int, status);
    std::atomic<int> targetHits{0};
    TestServer server([&](httplib::Server &routes) {
        routes.Post("/", [&](const httplib::Request &, httplib::Response &res) {
            res.status = status;
            res.set_header("Date", SampleDate);
            res.set_header("Location", "/target");
            res.set_content("not here", "text/plain");
        });
        routes.Post("/target", [&](const httplib::Request &, httplib::Response &res) {
            ++targetHits;
            res.set_header("Date", "Tue, 01 Jan 2030 00:00:00 GMT");
        });
        routes.Get("/target", [&](const httplib::Request &, httplib::Response &res) {
            ++targetHits;
            res.set_header("Date", "Tue, 01 Jan 2030 00:00:00 GMT");
        });
    });

    XmlHttpRequest request;
    QCOMPARE(post(request, server.url()), 0);
    QCOMPARE(QString::fromStdU16String(request.getResponseHeader(u"Date")),
             QString::fromLatin1(SampleDate));
    QCOMPARE(targetHits.load(), 0);
}

void TestHttpRequest::unreachableOrBroken_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<int>("code");
    QTest::newRow("closed port") << "closed" << int(XmlHttpRequest::ResourceNotFound);
    QTest::newRow("https to a plain server") << "tls" << int(XmlHttpRequest::SecurityProblem);
    QTest::newRow("headers too large") << "large" << int(XmlHttpRequest::DownloadFailure);
}

void TestHttpRequest::unreachableOrBroken()
{
    QFETCH(QString, kind);
    QFETCH(int, code);
    TestServer server([](httplib::Server &routes) {
        routes.Post("/", [](const httplib::Request &, httplib::Response &res) {
            res.set_header("Date", SampleDate);
            const std::string filler(1000, 'x');
            for (int i = 0; i < 100; ++i)
                res.set_header("X-Filler-" + std::to_string(i), filler);
        });
    });
    QString url;
    if (kind == QLatin1String("closed"))
        url = QStringLiteral("http://127.0.0.1:%1/").arg(closedPort());
    else if (kind == QLatin1String("tls"))
        url = QStringLiteral("https://127.0.0.1:%1/").arg(server.port());
    else
        url = server.url();

    XmlHttpRequest request;
    QCOMPARE(post(request, url), code);
    QCOMPARE(request.readyState(), XmlHttpRequest::Opened);
}

void TestHttpRequest::timesOut_data()
{
    QTest::addColumn<bool>("connects");
    QTest::addColumn<bool>("programFigures");
    QTest::addColumn<int>("code");
    const int notFound = XmlHttpRequest::ResourceNotFound;
    const int timeout = XmlHttpRequest::Timeout;
    QTest::newRow("never answers, shortened") << true << false << timeout;
    QTest::newRow("never answers, 10 s") << true << true << timeout;
    QTest::newRow("never connects, shortened") << false << false << notFound;
    QTest::newRow("never connects, 5 s") << false << true << notFound;
}

void TestHttpRequest::timesOut()
{
    QFETCH(bool, connects);
    QFETCH(bool, programFigures);
    QFETCH(int, code);
    if (!programFigures)
        XmlHttpRequest::setTimeouts(500ms, 1500ms);
    const auto limit =
        connects ? XmlHttpRequest::DefaultTotalTimeout : XmlHttpRequest::DefaultConnectTimeout;
    const qint64 expectedMs = programFigures ? limit.count() : (connects ? 1500 : 500);

    SilentServer silent;
    FullServer full;
    const QString url = connects ? silent.url() : full.url();
    QVERIFY(silent.port() > 0 && full.port() > 0);

    XmlHttpRequest request;
    QElapsedTimer elapsed;
    elapsed.start();
    QCOMPARE(post(request, url), code);
    const qint64 ms = elapsed.elapsed();
    qInfo("gave up after %lld ms (time-out %lld ms)", ms, expectedMs);
    QVERIFY2(ms >= expectedMs - 100, qPrintable(QString::number(ms)));
    QVERIFY2(ms < expectedMs + 2000, qPrintable(QString::number(ms)));
}

void TestHttpRequest::bodyIsNeverDownloaded_data()
{
    QTest::addColumn<bool>("chunked");
    QTest::newRow("endless chunked body") << true;
    QTest::newRow("one gigabyte body") << false;
}

void TestHttpRequest::bodyIsNeverDownloaded()
{
    QFETCH(bool, chunked);
    constexpr size_t Chunk = 64 * 1024;
    constexpr size_t Gigabyte = size_t(1) << 30;
    std::atomic<size_t> served{0};
    TestServer server([&](httplib::Server &routes) {
        routes.Post("/", [&](const httplib::Request &, httplib::Response &res) {
            res.set_header("Date", SampleDate);
            const auto provide = [&served](size_t, httplib::DataSink &sink) {
                static const std::string block(Chunk, 'z');
                // Bounded so that the server stops even if nobody hangs up.
                if (served >= Gigabyte)
                    return false;
                if (!sink.write(block.data(), block.size()))
                    return false;
                served += Chunk;
                return true;
            };
            if (chunked) {
                res.set_chunked_content_provider("application/octet-stream", provide);
            } else {
                res.set_content_provider(Gigabyte, "application/octet-stream",
                                         [provide](size_t offset, size_t, httplib::DataSink &sink) {
                                             return provide(offset, sink);
                                         });
            }
        });
    });

    XmlHttpRequest request;
    QElapsedTimer elapsed;
    elapsed.start();
    QCOMPARE(post(request, server.url()), 0);
    const qint64 ms = elapsed.elapsed();
    QVERIFY2(ms < 2000, qPrintable(QString::number(ms)));
    QCOMPARE(QString::fromStdU16String(request.getResponseHeader(u"Date")),
             QString::fromLatin1(SampleDate));
    QVERIFY(served < Gigabyte);
}

void TestHttpRequest::membersOutOfOrder()
{
    XmlHttpRequest request;
    QCOMPARE(failureOf([&] { request.send(); }), XmlHttpRequest::InvalidState);
    QCOMPARE(failureOf([&] { request.getResponseHeader(u"Date"); }), XmlHttpRequest::InvalidState);
    QCOMPARE(failureOf([&] { request.Open(u"POST", u"http://127.0.0.1/", true); }),
             XmlHttpRequest::InvalidRequest);
    QCOMPARE(failureOf([&] { request.Open(u"PO ST", u"http://127.0.0.1/", false); }),
             XmlHttpRequest::InvalidRequest);
}

QTEST_GUILESS_MAIN(TestHttpRequest)
#include "tst_httprequest.moc"
