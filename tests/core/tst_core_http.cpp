// SPDX-License-Identifier: MIT
// The request object's rules over the tests' scripted exchange: which texts
// are requested and as which URL, how a header block is read, and which code
// each kind of failure raises. The real exchanges meet hostile servers in
// tests/http/.

#define DOCTEST_CONFIG_IMPLEMENT
#define CORE_TEST_MAIN
#include "testing.h"

#include "backend.h"
#include "fakebackend.h"
#include "httprequest.h"

#include <string>

using namespace platform;

namespace
{

// The exchanges wait on the simulated clocks of a loop.
fake::EventLoop simulatedTime{0};

// Open and send; the code raised, 0 for none.
int post(XmlHttpRequest &request, const Text &url)
{
    return errorOf([&] {
        request.Open(u"POST", url, false);
        request.send();
    });
}

// A final response of 200 with this header block.
HttpResponse answer(const std::string &rawHeaders)
{
    return {HttpResponse::Failure::None, 200, rawHeaders};
}

} // namespace

TEST_CASE("which texts are requested, and as which URL")
{
    struct Row {
        const char *name;
        Text text;
        const char *url; // nullptr: not a URL, nothing is asked for
    };
    const Row rows[] = {
        {"http with a path", u"http://www.example.com/time?x=1", "http://www.example.com/time?x=1"},
        {"https, scheme in capitals", u"HTTPS://Example.com", "https://Example.com/"},
        {"port and query", u"http://127.0.0.1:8080?q", "http://127.0.0.1:8080/?q"},
        {"fragment is not sent", u"http://example.com/a#top", "http://example.com/a"},
        {"underscore in a name", u"http://time_server.example.com/",
         "http://time_server.example.com/"},
        {"IPv6 literal", u"http://[::1]:8080/", "http://[::1]:8080/"},
        {"empty port is the scheme's", u"http://example.com:/", "http://example.com/"},
        {"port 65535", u"http://127.0.0.1:65535/", "http://127.0.0.1:65535/"},
        // A typed host name or address without a scheme is requested as http.
        {"bare host name", u"www.baidu.com", "http://www.baidu.com/"},
        {"bare name, port, path", u"time.example.com:81/now", "http://time.example.com:81/now"},
        {"bare name, trailing dot", u"www.example.com.", "http://www.example.com./"},
        // As a Chinese-speaking user types them (the tests' back end's made-up
        // ASCII form of a name; the real ones meet tests/http/).
        {"host name in Chinese", u"http://例子.测试/", "http://xn--e4be8be5ad90.xn--e6b58be8af95/"},
        {"bare host name in Chinese", u"例子.测试:81",
         "http://xn--e4be8be5ad90.xn--e6b58be8af95:81/"},
        {"path and query in Chinese", u"http://example.com/时间?城市=北京",
         "http://example.com/%E6%97%B6%E9%97%B4?%E5%9F%8E%E5%B8%82=%E5%8C%97%E4%BA%AC"},
        // Nothing else.
        {"prompt text", u"请选择需要同步的服务器", nullptr},
        {"empty", u"", nullptr},
        {"bare name without a dot", u"localhost", nullptr},
        {"bare name with a query", u"www.example.com?x", nullptr},
        {"bare name with an underscore", u"time_server.example.com", nullptr},
        {"bare name, empty port", u"www.example.com:", nullptr},
        {"ftp", u"ftp://127.0.0.1/", nullptr},
        {"scheme without slashes", u"http:example.com", nullptr},
        {"backslash in a path", u"http://example.com/a\\b", nullptr},
        {"blank in the path", u"http://example.com/a b", nullptr},
        {"user name in Chinese", u"http://用户@example.com/", nullptr},
        {"port 0", u"http://127.0.0.1:0/", nullptr},
        {"port 65536", u"http://127.0.0.1:65536/", nullptr},
        {"port with a sign", u"http://127.0.0.1:+80/", nullptr},
        {"port six digits", u"http://127.0.0.1:000080/", nullptr},
        {"CR LF in the path", u"http://example.com/\r\nX-Injected: 1", nullptr},
        {"host name without an ASCII form", u"http://例\uFFFD.测试/", nullptr},
        {"Chinese in an IPv6 literal", u"http://[::1例]/", nullptr},
        {"lone surrogate in a path", u"http://example.com/\xD800", nullptr},
        {"address in short form", u"http://127.1/", nullptr},
        {"address in hexadecimal", u"http://0x7f.0.0.1/", nullptr},
        {"address with a leading zero", u"http://127.0.0.01/", nullptr},
        {"address part too large", u"http://256.0.0.1/", nullptr},
        {"address with five parts", u"http://1.2.3.4.5/", nullptr},
        {"empty label", u"http://www..example.com/", nullptr},
        {"label starts with a dash", u"http://-x.example.com/", nullptr},
        {"unclosed IPv6", u"http://[::1/", nullptr},
    };
    for (const Row &row : rows) {
        INFO(std::string(row.name));
        fake::Exchanges exchanges(answer("HTTP/1.1 200 OK\r\n\r\n"));
        XmlHttpRequest request;
        if (row.url) {
            CHECK(post(request, row.text) == 0);
            REQUIRE(exchanges.calls.size() == 1);
            CHECK(exchanges.calls[0].url == row.url);
            CHECK(exchanges.calls[0].method == "POST");
        } else {
            CHECK(post(request, row.text) == XmlHttpRequest::InvalidUrl);
            CHECK(exchanges.calls.empty());
            CHECK(request.readyState() == XmlHttpRequest::Unsent);
        }
    }
}

TEST_CASE("the response's header block")
{
    const std::string date = "Mon, 07 Dec 2026 14:04:45 GMT";
    const Text dateText = u"Mon, 07 Dec 2026 14:04:45 GMT";
    const std::string ok = "HTTP/1.1 200 OK\r\n";
    struct Row {
        const char *name;
        std::string raw;
        Text header;
        Text value;
    };
    const Row rows[] = {
        {"name without case", "HTTP/1.1 404 Not Found\r\nDATE: " + date + "\r\n\r\n", u"date",
         dateText},
        {"blanks around the value", ok + "Date:   " + date + " \t\r\n\r\n", u"Date", dateText},
        {"bare line feeds", "HTTP/1.1 200 OK\nDate: " + date + "\n\n", u"Date", dateText},
        {"missing", ok + "Server: x\r\n\r\n", u"Date", u""},
        {"repeated headers joined", ok + "X-Twice: a\r\nX-Other: c\r\nx-twice: b\r\n\r\n",
         u"X-Twice", u"a, b"},
        {"folded with a tab, twice", ok + "Date:\r\n\tMon, 07 Dec\r\n  2026 14:04:45 GMT\r\n\r\n",
         u"Date", dateText},
        {"a fold after the status line is no header", ok + " Date: " + date + "\r\n\r\n", u"Date",
         u""},
        {"an interim response is not the answer",
         "HTTP/1.1 102 Processing\r\nDate: x\r\n\r\n" + ok + "Date: " + date + "\r\n\r\n", u"Date",
         dateText},
        {"line without a colon skipped", ok + "garbage\r\nDate: " + date + "\r\n\r\n", u"Date",
         dateText},
        {"empty name skipped", ok + ": x\r\n\r\n", u"", u""},
        {"bytes above 127 as Latin-1", ok + "X-Byte: caf\xe9\r\n\r\n", u"X-Byte", u"caf\u00e9"},
    };
    for (const Row &row : rows) {
        INFO(std::string(row.name));
        fake::Exchanges exchanges(answer(row.raw));
        XmlHttpRequest request;
        REQUIRE(post(request, u"http://127.0.0.1/") == 0);
        CHECK(request.readyState() == XmlHttpRequest::Done);
        CHECK(request.getResponseHeader(row.header) == row.value);
    }
}

TEST_CASE("failure kinds and the codes they raise")
{
    using Failure = HttpResponse::Failure;
    struct Row {
        const char *name;
        Failure failure;
        std::size_t headerBytes;
        int code;
    };
    const Row rows[] = {
        {"not found or unreachable", Failure::Unreachable, 0, XmlHttpRequest::ResourceNotFound},
        {"time-out", Failure::Timeout, 0, XmlHttpRequest::Timeout},
        {"anything else", Failure::Other, 0, XmlHttpRequest::DownloadFailure},
        {"headers at the limit", Failure::None, XmlHttpRequest::MaxHeaderBytes, 0},
        {"headers beyond the limit", Failure::None, XmlHttpRequest::MaxHeaderBytes + 1,
         XmlHttpRequest::DownloadFailure},
    };
    for (const Row &row : rows) {
        INFO(std::string(row.name));
        fake::Exchanges exchanges(fake::Exchanges::failure(row.failure));
        if (row.headerBytes > 0) {
            std::string raw = "HTTP/1.1 200 OK\r\nX: ";
            raw += std::string(row.headerBytes - raw.size() - 4, 'x') + "\r\n\r\n";
            exchanges.response = answer(raw);
        }
        XmlHttpRequest request;
        CHECK(post(request, u"http://127.0.0.1:8080/") == row.code);
        CHECK(request.readyState() ==
              (row.code == 0 ? XmlHttpRequest::Done : XmlHttpRequest::Opened));
    }
}

TEST_CASE("methods, order of calls and the bounds handed on")
{
    fake::Exchanges exchanges(answer("HTTP/1.1 200 OK\r\n\r\n"));
    XmlHttpRequest request;
    CHECK(errorOf([&] { request.send(); }) == XmlHttpRequest::InvalidState);
    CHECK(errorOf([&] { request.getResponseHeader(u"Date"); }) == XmlHttpRequest::InvalidState);
    CHECK(errorOf([&] { request.Open(u"POST", u"http://127.0.0.1/", true); }) ==
          XmlHttpRequest::InvalidRequest);
    for (const Text method : {u"PO ST", u"", u"GET\r\n", u"P\u00d6ST", u"(GET)"}) {
        INFO(toUtf8(method));
        CHECK(errorOf([&] { request.Open(method, u"http://127.0.0.1/", false); }) ==
              XmlHttpRequest::InvalidRequest);
    }
    CHECK(exchanges.calls.empty());

    request.Open(u"post", u"http://127.0.0.1/", false);
    request.send();
    REQUIRE(exchanges.calls.size() == 1);
    CHECK(exchanges.calls[0].method == "POST");
    CHECK(exchanges.calls[0].connectTimeout == std::chrono::milliseconds(5000));
    CHECK(exchanges.calls[0].totalTimeout == std::chrono::milliseconds(10000));
    CHECK(exchanges.calls[0].maxHeaderBytes == 64 * 1024u);
    CHECK(errorOf([&] { request.getResponseHeader(u"Date"); }) == 0);
}
