// SPDX-License-Identifier: MIT
// Form1 as the window description creates it, the local clock and the
// midnight date refresh.
#define DOCTEST_CONFIG_IMPLEMENT
#define HANDLER_TEST_MAIN
#include "handlers.h"

#include "constants.h"
#include "datetime.h"

#include <cmath>

using namespace handlers;

namespace
{
constexpr ColourWord LocalColour = 16576; // RGB(192, 64, 0)
}

TEST_CASE_FIXTURE(Fixture, "the window description")
{
    struct Row {
        const char *name;
        int index;
        const char16_t *caption;
        double left, top;
        double width, height;     // the fixed size; 0 for a self-sizing label
        const char16_t *fontName; // nullptr: the window's own font
        int charset;
        ColourWord foreColor;
        int tabIndex;
        Alignment alignment;
    };
    const ColourWord text = SystemButtonText;
    // clang-format off
    const Row rows[] = {
        {"Label1 hour-minute", 1, u"", 3120, 5400, 0, 0, u"Arial", 0, 0x40C0, 0, Alignment::Left},
        {"Label2 date", 2, u"", 2040, 2160, 0, 0, u"华文楷体", 134, 0x40C0, 1, Alignment::Center},
        {"Label3 counter", 3, u"", 0, 0, 450, 180, nullptr, 0, text, 2, Alignment::Left},
        {"Label4 sync prompt", 4, u"同步网络时间:", 6240, 9120, 0, 0, u"楷体", 134, 0x808080, 3, Alignment::Left},
        {"Label5 holder", 5, u"", 360, 0, 2055, 375, u"楷体", 134, text, 4, Alignment::Left},
        {"Label6 local switch", 6, u"点击这里同步本地时间", 6240, 8760, 0, 0, u"楷体", 134, text, 5, Alignment::Left},
        {"Label7 seconds", 7, u"", 12120, 4560, 0, 0, nullptr, 0, text, 7, Alignment::Left},
        {"Label8 default server", 8, u"例：http://www.baidu.com", 11040, 9120, 0, 0, nullptr, 0, 0x808080, 8, Alignment::Left},
    };
    // clang-format on
    Form1 form;
    fake::FakeWindow &window = peerOf(form);
    CHECK(form.Caption() == clockapp::CreditLine);
    CHECK(window.title == clockapp::CreditLine);
    CHECK(window.hasProgramIcon);
    CHECK(form.ForeColor() == 0xFFFFFFu);
    CHECK(window.clientWidthPx == 1139);
    CHECK(window.clientHeightPx == 680);
    CHECK(window.left == 0);
    CHECK(window.top == 0);

    for (const Row &row : rows) {
        INFO(std::string(row.name));
        Label &l = label(form, row.index);
        const fake::FakeLabel &peer = peerOf(l);
        const Text fontName = row.fontName ? Text(row.fontName) : fake::WindowFontName;
        CHECK(l.Caption() == row.caption);
        CHECK(peer.text == row.caption);
        CHECK(l.Left() == row.left);
        CHECK(l.Top() == row.top);
        CHECK(l.FontName() == fontName);
        CHECK(l.FontSize() == 9.0);
        CHECK(peer.font.points == 9.0);
        CHECK(!l.FontBold());
        CHECK(l.FontCharset() == row.charset);
        CHECK(l.ForeColor() == row.foreColor);
        CHECK(peer.foreColor == row.foreColor);
        CHECK(l.AutoSize() == (row.width == 0));
        if (row.width != 0) {
            CHECK(l.Width() == row.width);
            CHECK(l.Height() == row.height);
        }
        CHECK(peer.geometry == pixelRect(l.Left(), l.Top(), l.Width(), l.Height(), 15));
        CHECK(l.TabIndex() == row.tabIndex);
        CHECK(l.Visible());
        CHECK(peer.visible);
        CHECK(l.MousePointer() == 0);
        CHECK(peer.pointer == Pointer::Default);
        CHECK(peer.alignment == row.alignment);
    }

    struct TimerRow {
        const Timer &timer;
        int interval;
        const char16_t *tag;
    };
    const TimerRow timers[] = {
        {form.Timer1, 1000, u"本地时间"}, // local clock
        {form.Timer2, 1000, u"辅助秒钟"}, // resync
        {form.Timer3, 1000, u"秒钟"},     // network clock
        {form.Timer4, 500, u"更新日期"},  // midnight refresh
    };
    for (const TimerRow &row : timers) {
        INFO(toUtf8(row.tag));
        CHECK_MESSAGE(row.timer.Enabled(), "every timer runs from creation, before Form_Load");
        CHECK(row.timer.Interval() == row.interval);
        CHECK(row.timer.Tag() == row.tag);
    }

    // The server list, its prompt, and the focus in it.
    const fake::FakeComboBox &combo = peerOf(form.Combo1);
    CHECK(form.Combo1.Text() == u"请选择需要同步的服务器");
    CHECK(form.Combo1.TabIndex() == 6);
    CHECK(form.Combo1.Width() == 2655.0);
    CHECK(form.Combo1.Left() == 8160.0);
    CHECK(form.Combo1.Top() == 9120.0);
    CHECK(combo.geometry == PixelRect{544, 608, 177, 20});
    CHECK(window.focus == &combo);
    REQUIRE(form.Combo1.ListCount() == 13);
    CHECK(combo.items == clockapp::serverList());
}

// Declared in stacking order: each control lies above those before it.
TEST_CASE_FIXTURE(Fixture, "stacking order")
{
    Form1 form;
    const std::vector<const void *> bottomFirst = {
        &peerOf(form.Label1), &peerOf(form.Label2), &peerOf(form.Label3),
        &peerOf(form.Label4), &peerOf(form.Label5), &peerOf(form.Label6),
        &peerOf(form.Label7), &peerOf(form.Label8), &peerOf(form.Combo1)};
    CHECK(peerOf(form).stacking == bottomFirst);
}

// A self-sizing label grows with its caption and its font, keeping its left
// and top and its peer on whole pixels; empty, it is one space of its font
// wide, so it grows even before it has a caption. A fixed-size label keeps
// its size.
TEST_CASE_FIXTURE(Fixture, "labels size themselves or keep their size")
{
    for (int index = 1; index <= 8; ++index) {
        INFO("Label" << index);
        Form1 form;
        Label &l = label(form, index);
        const Text caption = l.Caption();
        const double left = l.Left(), top = l.Top(), width = l.Width(), height = l.Height();
        const bool grows = l.AutoSize();
        l.setCaption(caption + u"12:34:56 再长一些的文字");
        CHECK((l.Width() > width) == grows);
        CHECK(l.Height() == height);
        CHECK(l.Left() == left);
        CHECK(l.Top() == top);
        CHECK(peerOf(l).geometry.left == std::lround(left / 15));
        CHECK(peerOf(l).geometry.width == std::lround(l.Width() / 15));
        l.setCaption(caption);
        CHECK(l.Width() == width);
        l.setFontSize(36);
        CHECK((l.Width() > width) == grows);
        CHECK((l.Height() > 2 * height) == grows);
    }
}

// Each tick of the local clock reads the PC's clock once, on the wall clock's
// whole seconds; Now() drops the milliseconds, so it never reads ahead.
TEST_CASE_FIXTURE(Fixture, "local clock")
{
    struct Row {
        const char *name;
        int hour, minute, second;
        const char16_t *hourMinute;
        const char16_t *seconds;
    };
    const Row rows[] = {
        {"morning with leading zeros", 9, 5, 7, u"09:05", u":07"},
        {"afternoon stays 24-hour", 13, 0, 0, u"13:00", u":00"},
    };
    for (const Row &row : rows) {
        INFO(std::string(row.name));
        setLocalTime(loop, {2026, 12, 7, row.hour, row.minute, row.second});
        loop.stepWall(-700);
        Form1 form;
        setMode(form, false);
        form.Label1.setForeColor(Rgb(128, 128, 0));
        loop.run(700);
        CHECK(form.Label1.Caption() == row.hourMinute);
        CHECK(form.Label7.Caption() == row.seconds);
        // The local colour comes back whatever the digits had.
        CHECK(form.Label1.ForeColor() == LocalColour);
        loop.busy(600);
        CHECK(Format(Now(), u"HH:mm:ss") == Text(row.hourMinute) + row.seconds);
    }
}

// Whatever moves the PC's day, the local clock's next tick shows its date:
// a sleep over midnight, a step of the clock either way, a daylight-saving
// change that skips midnight (Havana goes from 23:59:59 to 01:00:00).
TEST_CASE_FIXTURE(Fixture, "the date follows the PC's day")
{
    enum How { Sleep, Step, Run };
    struct Row {
        const char *name;
        const char *zone;
        CivilDateTime start;
        How how;
        std::int64_t ms;
        const char16_t *date;
    };
    const Row rows[] = {
        {"asleep over midnight",
         nullptr,
         {2026, 12, 7, 23, 50, 0},
         Sleep,
         3600000,
         u"2026年12月8日星期二"},
        {"a step of a day and an hour",
         nullptr,
         {2026, 12, 7, 8, 21, 0},
         Step,
         90000000,
         u"2026年12月8日星期二"},
        {"a step back of a day",
         nullptr,
         {2026, 12, 7, 8, 21, 0},
         Step,
         -86400000,
         u"2026年12月6日星期日"},
        {"daylight saving begins at midnight",
         "America/Havana",
         {2027, 3, 13, 23, 59, 58},
         Run,
         3000,
         u"2027年3月14日星期日"},
    };
    for (const Row &row : rows) {
        INFO(std::string(row.name));
#ifdef _WIN32
        // The C runtime takes only the offset from TZ for certain.
        if (row.zone) {
            MESSAGE("skipped on Windows: daylight-saving rules from TZ");
            continue;
        }
#endif
        std::optional<ZoneScope> zone;
        if (row.zone)
            zone.emplace(row.zone);
        setLocalTime(loop, row.start);
        Form1 form;
        setMode(form, false);
        form.showDateOf(Now());
        loop.run(1000);
        if (row.how == Sleep)
            loop.sleep(row.ms);
        else if (row.how == Step)
            loop.stepWall(row.ms);
        loop.run(row.how == Run ? row.ms : 1500);
        CHECK(form.Label2.Caption() == row.date);
    }
}

// The date written is the display clock's: the PC's in local mode.
TEST_CASE_FIXTURE(Fixture, "midnight refresh")
{
    struct Row {
        const char *name;
        const char16_t *hourMinute;
        const char16_t *seconds;
        bool writes;
    };
    const Row rows[] = {
        {"00:00 :00 writes", u"00:00", u":00", true},
        {"00:00 :01 does not", u"00:00", u":01", false},
        {"00:01 :00 does not", u"00:01", u":00", false},
        {"longer caption, first five count", u"00:00:00", u":00", true},
        {"seconds compared exactly", u"00:00", u":00 ", false},
    };
    for (const Row &row : rows) {
        INFO(std::string(row.name));
        setLocalTime(loop, {2026, 12, 7, 15, 59, 59});
        Form1 form;
        form.Label1.setCaption(row.hourMinute);
        form.Label7.setCaption(row.seconds);
        // Every tick of the second writes, not only the first.
        for (int tick = 0; tick < 2; ++tick) {
            form.Label2.setCaption(u"unchanged");
            form.Timer4_Timer();
            CHECK(form.Label2.Caption() == (row.writes ? u"2026年12月7日星期一" : u"unchanged"));
        }
    }
}

// Over local midnight on the event loop: the date refresh writes as the
// display turns to 00:00:00, while between midnights its half-second ticks
// wake nothing. Wake-ups from 23:59:57.3 to 00:00:01.3: 58, 59, 00, 00.5
// (the display shows midnight) and 01.
TEST_CASE_FIXTURE(Fixture, "the date turns at midnight, with one wake-up a second in between")
{
    setLocalTime(loop, {2026, 12, 7, 23, 59, 57, 300});
    Form1 form;
    form.Timer3.setEnabled(false); // local mode
    form.Label2.setCaption(u"unchanged");
    const int before = loop.wakeUps;
    loop.run(4000);
    CHECK(form.Label2.Caption() == u"2026年12月8日星期二");
    CHECK(loop.wakeUps - before == 5);
}
