// SPDX-License-Identifier: MIT
// The network time query over scripted exchanges, and the controls that start
// it.
#define DOCTEST_CONFIG_IMPLEMENT
#define HANDLER_TEST_MAIN
#include "handlers.h"

#include "constants.h"

#include <vector>

using namespace handlers;
using Failure = HttpResponse::Failure;

namespace
{

const CivilDateTime PcTime{2031, 5, 17, 9, 30, 12};
const Text PcDate = u"2031年5月17日星期六";
const Text ServerUrl = u"http://time.example/";
const Text FailureText = u"时间服务器连接错误！请检查网络或校正本地时间，重启软件！";

HttpResponse dateReply(const std::string &date)
{
    return fake::Exchanges::reply(200, "Date: " + date + "\r\n");
}

// The URL the exchange is asked for: an empty path becomes "/".
std::string requested(const Text &url)
{
    const std::string bytes = toUtf8(url);
    return bytes.find('/', 7) == std::string::npos ? bytes + "/" : bytes;
}

// The query the user starts from the server list.
void queryFromList(Form1 &form, const Text &url)
{
    form.Combo1.setText(url);
    form.Combo1_Click();
}

// The PC's clock fixed for every case, the request's waits at their defaults.
struct QueryFixture : Fixture {
    QueryFixture() { setLocalTime(loop, PcTime); }
};

} // namespace

TEST_CASE_FIXTURE(QueryFixture, "the Date header seeds the network clock")
{
    struct Row {
        const char *name;
        int status;
        const char *before; // header lines the server sends before its Date line
        const char *date;
        const char16_t *holder;
        const char16_t *longDate;
    };
    // clang-format off
    const Row rows[] = {
        {"afternoon", 200, "", "Mon, 07 Dec 2026 14:04:45 GMT", u"22:04:45", u"2026年12月7日星期一"},
        {"16:00 rolls the day", 200, "", "Mon, 07 Dec 2026 16:00:00 GMT", u"00:00:00", u"2026年12月8日星期二"},
        {"new year", 200, "", "Thu, 31 Dec 2026 23:59:59 GMT", u"07:59:59", u"2027年1月1日星期五"},
        {"wrong weekday", 200, "", "Fri, 07 Dec 2026 14:04:45 GMT", u"22:04:45", u"2026年12月7日星期一"},
        {"zone not GMT", 200, "", "Mon, 07 Dec 2026 14:04:45 PST", u"22:04:45", u"2026年12月7日星期一"},
        // 02:00 to 03:00 of 8 March 2026 does not exist on New York's clocks.
        {"header in New York's gap", 200, "", "Sun, 08 Mar 2026 02:30:00 GMT", u"10:30:00", u"2026年3月8日星期日"},
        {"result in New York's gap", 200, "", "Sat, 07 Mar 2026 18:30:00 GMT", u"02:30:00", u"2026年3月8日星期日"},
        {"404 reply", 404, "", "Mon, 07 Dec 2026 14:04:45 GMT", u"22:04:45", u"2026年12月7日星期一"},
        // An obsolete folded line continues X-Foo; it is not a second Date.
        {"folded line is no Date", 200, "X-Foo: bar\r\n Date: Tue, 01 Jan 2030 00:00:00 GMT\r\n", "Mon, 07 Dec 2026 14:04:45 GMT", u"22:04:45", u"2026年12月7日星期一"},
    };
    // clang-format on
    for (const Row &row : rows) {
        INFO(std::string(row.name));
        fake::Exchanges exchanges(
            fake::Exchanges::reply(row.status, std::string(row.before) + "Date: " + row.date +
                                                   "\r\nContent-Length: 0\r\n"));
        fake::MessageBoxes boxes;
        Form1 form;
        setMode(form, false);
        form.Label3.setCaption(u"57");
        form.Label5.setVisible(false);
        form.Label7.setCaption(u":42");
        form.Label1.setCaption(u"09:30");

        queryFromList(form, ServerUrl);

        CHECK(exchanges.calls.size() == 1);
        CHECK(form.Label5.Caption() == row.holder);
        CHECK(form.Label5.Visible());
        CHECK(form.Label2.Caption() == row.longDate);
        CHECK(form.Label3.Caption() == u"0");
        CHECK(!form.Timer1.Enabled());
        CHECK(form.Timer2.Enabled());
        CHECK(form.Timer3.Enabled());
        // The hour-minute display is the network clock's business, from its
        // next tick on; the seconds come from the server.
        CHECK(form.Label1.Caption() == u"09:30");
        CHECK(form.Label7.Caption() == u":" + Text(row.holder).substr(6));
        CHECK(boxes.calls.empty());
    }
}

TEST_CASE_FIXTURE(QueryFixture, "a failed query keeps the mode")
{
    enum Kind { Reply, NotSent, Fails };
    struct Row {
        const char *name;
        Kind kind;
        const char *headers; // Reply: the header lines
        Failure failure;     // Fails
        bool networkMode;
        bool message;
        const char16_t *url = u"http://time.example/";
    };
    const Failure none = Failure::None;
    // clang-format off
    const Row rows[] = {
        {"no Date header", Reply, "Server: x\r\n", none, false, false},
        // The slice is taken at fixed places, not around a one-digit day.
        {"one-digit day", Reply, "Date: Mon, 7 Dec 2026 14:04:45 GMT\r\n", none, false, false},
        {"past the date range", Reply, "Date: Fri, 31 Dec 9999 16:00:00 GMT\r\n", none, false, false},
        {"prompt text", NotSent, "", none, false, false, u"请选择需要同步的服务器"},
        {"empty text", NotSent, "", none, true, false, u""},
        {"ftp scheme", NotSent, "", none, false, false, u"ftp://time.example/"},
        {"unreachable", Fails, "", Failure::Unreachable, false, true},
        {"unreachable, network mode", Fails, "", Failure::Unreachable, true, true},
        {"time-out", Fails, "", Failure::Timeout, false, false},
        {"other failure, network mode", Fails, "", Failure::Other, true, false},
    };
    // clang-format on
    for (const Row &row : rows) {
        INFO(std::string(row.name));
        fake::Exchanges exchanges(row.kind == Fails ? fake::Exchanges::failure(row.failure)
                                                    : fake::Exchanges::reply(200, row.headers));
        fake::MessageBoxes boxes;
        Form1 form;
        setMode(form, row.networkMode);
        form.Label2.setCaption(u"earlier");
        form.Label3.setCaption(u"57");
        form.Label5.setCaption(u"11:22");
        form.Label5.setVisible(false);
        // The message box comes before the date display is rewritten.
        Text dateWhileAsking;
        boxes.onShow = [&] { dateWhileAsking = form.Label2.Caption(); };

        queryFromList(form, row.url);

        CHECK(exchanges.calls.size() == (row.kind == NotSent ? 0u : 1u));
        CHECK(form.Timer1.Enabled() == !row.networkMode);
        CHECK(form.Timer2.Enabled());
        CHECK(form.Timer3.Enabled() == row.networkMode);
        CHECK(form.Label2.Caption() == PcDate);
        CHECK(form.Label3.Caption() == u"0");
        CHECK(form.Label5.Visible());
        CHECK(form.Label5.Caption() == u"11:22");
        REQUIRE(boxes.calls.size() == (row.message ? 1u : 0u));
        if (row.message) {
            CHECK(boxes.calls[0].prompt == FailureText);
            CHECK(boxes.calls[0].title == u"提示");
            CHECK(!boxes.calls[0].withCancel);
            CHECK(!boxes.calls[0].question);
            CHECK(dateWhileAsking == u"earlier");
        }
    }
}

// The window's timers go on while the server takes its time; the answer
// seeds the clock when it comes, with the second its server is estimated to
// be in by then: the Date was written somewhere in those 3 s.
TEST_CASE_FIXTURE(Fixture, "the timers tick through a slow exchange")
{
    fake::Exchanges exchanges(dateReply("Mon, 07 Dec 2026 14:04:45 GMT"));
    Form1 form;
    setMode(form, false);
    std::vector<Text> secondsMeanwhile;
    exchanges.during = [&] {
        for (int i = 0; i < 3; ++i) {
            loop.run(1000);
            secondsMeanwhile.push_back(form.Label7.Caption());
        }
    };
    form.Timer1_Timer();
    const Text before = form.Label7.Caption();

    queryFromList(form, ServerUrl);

    REQUIRE(secondsMeanwhile.size() == 3);
    for (std::size_t i = 0; i < 3; ++i)
        CHECK(secondsMeanwhile[i] != (i == 0 ? before : secondsMeanwhile[i - 1]));
    CHECK(form.Label5.Caption() == u"22:04:47");
    CHECK(form.Label7.Caption() == u":47");
    CHECK(form.Timer3.Enabled());
}

// Picking an entry and pressing Enter on it are the same query, once: a POST
// to the URL as typed. The prompt beside the list asks the default server and
// leaves the list alone.
TEST_CASE_FIXTURE(QueryFixture, "a list entry or the default server")
{
    enum How { Pick, Enter, Typed, Prompt };
    struct Row {
        const char *name;
        How how;
        int index; // of the list's entry; Typed: none
    };
    const Row rows[] = {
        {"pick first", Pick, 0},           {"Enter on first", Enter, 0},
        {"pick fifth", Pick, 4},           {"Enter on fifth", Enter, 4},
        {"typed with a query", Typed, -1}, {"the default server", Prompt, -1},
    };
    for (const Row &row : rows) {
        INFO(std::string(row.name));
        fake::Exchanges exchanges(dateReply("Mon, 07 Dec 2026 16:00:00 GMT"));
        Form1 form;
        setMode(form, false);
        fake::FakeComboBox &combo = peerOf(form.Combo1);
        Text typed = row.index >= 0 ? form.Combo1.List(row.index) : u"http://time.example/t?x=1";
        if (row.how == Pick) {
            combo.pick(row.index);
        } else if (row.how == Prompt) {
            typed = form.Combo1.Text();
            peerOf(form.Label4).click();
        } else {
            combo.editText = typed; // chosen with the arrow keys, or typed
            CHECK(combo.type(13) == 13);
        }

        CHECK(form.Combo1.Text() == typed);
        REQUIRE(exchanges.calls.size() == 1);
        CHECK(exchanges.calls[0].method == "POST");
        CHECK(exchanges.calls[0].url ==
              requested(row.how == Prompt ? clockapp::DefaultTimeServer : typed));
        CHECK(form.Label5.Caption() == u"00:00:00");
        CHECK(form.Label2.Caption() == u"2026年12月8日星期二");
    }
}

TEST_CASE_FIXTURE(QueryFixture, "other keys start nothing")
{
    struct Row {
        const char *name;
        int key;
    };
    // Only 13 is Enter: not the line feed, nor 13 in the high byte too.
    const Row rows[] = {{"line feed", 10}, {"13 in the high byte", 13 * 256 + 13}};
    for (const Row &row : rows) {
        INFO(std::string(row.name));
        fake::Exchanges exchanges(dateReply("Mon, 07 Dec 2026 14:04:45 GMT"));
        Form1 form;
        setMode(form, false);
        form.Combo1.setText(ServerUrl);
        form.Label3.setCaption(u"57");

        CHECK(peerOf(form.Combo1).type(std::int16_t(row.key)) == std::int16_t(row.key));

        CHECK(exchanges.calls.empty());
        CHECK(form.Label3.Caption() == u"57");
        CHECK(form.Timer1.Enabled());
    }
}

TEST_CASE_FIXTURE(QueryFixture, "the pointer over the prompt")
{
    Form1 form;
    peerOf(form.Label4).mouseMove({}, 3, 4);
    CHECK(form.Label4.MousePointer() == 14);
    CHECK(peerOf(form.Label4).pointer == Pointer::Help);
}
