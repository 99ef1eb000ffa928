// SPDX-License-Identifier: MIT
// The start-up layout over the screen, and the exit question.
#define DOCTEST_CONFIG_IMPLEMENT
#define HANDLER_TEST_MAIN
#include "handlers.h"

#include "constants.h"
#include "placement.h"
#include "startup.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>

using namespace handlers;

namespace
{
// Each value handed to a property passes through a single.
doctest::Approx closeTo(double expected)
{
    return doctest::Approx(expected).epsilon(1e-6);
}
} // namespace

// Worked out by hand from the start-up formulas and the tests' back end's
// text measurement (an em is points * 4 / 3 pixels, ASCII half an em, bold a
// tenth wider, a line 1.25 em; a self-sizing label takes whole pixels), each
// value rounded to a single as the layout hands it over.
TEST_CASE_FIXTURE(Fixture, "the layout follows the screen")
{
    struct Place {
        double left, top;
    };
    struct Row {
        const char *name;
        int width, height;  // the screen in pixels, 15 twips each
        int frame, caption; // the window's frame in pixels
        double dateFont, clockFont, secondsFont;
        Place date, clock, seconds, sync, local, list, example;
    };
    // clang-format off
    const Row rows[] = {
        // fonts: date, clock, seconds; places: date, clock, seconds, sync
        // prompt, local switch, list, example
        {"1024x768", 1024, 768, 0, 0, 38.4f, 170.666672f, 85.333336f, {7485, 664.5}, {591, 3622.5}, {11223, 5687.5}, {4965, 9520}, {6765, 8720}, {6952.5, 9520}, {9740, 9520}},
        {"1920x1080", 1920, 1080, 0, 0, 72, 320, 160, {14040, 720}, {1117.5, 4095}, {20977.5, 7097.5}, {11685, 14200}, {13485, 13400}, {13672.5, 14200}, {16460, 14200}},
        {"3840x2160", 3840, 2160, 0, 0, 144, 640, 320, {28080, 1440}, {2235, 8197.5}, {41955, 13195}, {26085, 30400}, {27885, 29600}, {28072.5, 30400}, {30860, 30400}},
        // Not a multiple of 400 or 90: the font sizes stay fractional.
        {"1366x768", 1366, 768, 0, 0, 51.225f, 227.666672f, 113.833336f, {9982.5, 507}, {796.5, 2910}, {14914.5, 5335}, {7530, 9520}, {9330, 8720}, {9517.5, 9520}, {12305, 9520}},
        // The inner width places the displays, the screen's height their rows.
        {"1366x768 framed", 1366, 768, 4, 23, 51.225f, 227.666672f, 113.833336f, {9922.5, 507}, {784.5, 2910}, {14878.5, 5335}, {7470, 9520}, {9270, 8720}, {9457.5, 9520}, {12245, 9520}},
        // Low for its width, as a small screen at a high DPI: the bottom rows
        // reach into the digits and move down just clear of them, keeping
        // their spacing.
        {"1920x600: bottom rows moved", 1920, 600, 0, 0, 72, 320, 160, {14040, 0}, {1117.5, 495}, {20977.5, 3497.5}, {11685, 9305}, {13485, 8505}, {13672.5, 9305}, {16460, 9305}},
    };
    // clang-format on
    for (const Row &row : rows) {
        INFO(std::string(row.name));
        fake::setScreen({row.width, row.height, 15});
        fake::MessageBoxes boxes;
        Form1 form;
        fake::FakeWindow &window = peerOf(form);
        window.frame = row.frame;
        window.caption = row.caption;
        form.Form_Load();

        CHECK(form.Label2.FontSize() == closeTo(row.dateFont));
        CHECK(form.Label1.FontSize() == closeTo(row.clockFont));
        CHECK(form.Label7.FontSize() == closeTo(row.secondsFont));
        const auto at = [](const auto &control, Place place) {
            CHECK(control.Left() == closeTo(place.left));
            CHECK(control.Top() == closeTo(place.top));
        };
        at(form.Label2, row.date);
        at(form.Label1, row.clock);
        at(form.Label7, row.seconds);
        at(form.Label4, row.sync);
        at(form.Label6, row.local);
        at(form.Combo1, row.list);
        at(form.Label8, row.example);

        for (Label *l : {&form.Label1, &form.Label2, &form.Label7})
            CHECK(peerOf(*l).font.name == u"楷体");
        CHECK(peerOf(form.Label1).font.bold);
        CHECK(peerOf(form.Label7).font.bold);
        CHECK(!peerOf(form.Label2).font.bold);
        CHECK(peerOf(form.Label4).font.points == 14.0);
        CHECK(peerOf(form.Label6).font.points == 16.0);
        CHECK(peerOf(form.Label8).font.points == 12.0);
        CHECK(peerOf(form.Label2).foreColor == Rgb(0, 128, 128));
        CHECK(peerOf(form.Label7).foreColor == Rgb(170, 170, 170));
        // The outer frame covers the screen.
        CHECK(window.outerWidth() == row.width);
        CHECK(window.outerHeight() == row.height);
        CHECK(window.left == 0);
        CHECK(window.top == 0);
    }
}

TEST_CASE_FIXTURE(Fixture, "caption widths move only what the formulas say")
{
    struct Row {
        const char *name;
        int widened;
        bool label4Moves, label6Moves;
    };
    const Row rows[] = {
        {"wider sync prompt moves both", 4, true, true},
        {"wider local switch moves neither", 6, false, false},
    };
    for (const Row &row : rows) {
        INFO(std::string(row.name));
        fake::MessageBoxes boxes;

        Form1 plain;
        plain.Form_Load();
        Form1 wide;
        Label &grown = row.widened == 4 ? wide.Label4 : wide.Label6;
        grown.setCaption(grown.Caption() + u"（更长的说明文字）");
        wide.Form_Load();

        CHECK((wide.Label4.Left() != plain.Label4.Left()) == row.label4Moves);
        CHECK((wide.Label6.Left() != plain.Label6.Left()) == row.label6Moves);
        if (row.label4Moves)
            CHECK(wide.Label4.Left() < plain.Label4.Left());
        CHECK(wide.Label6.Top() == plain.Label6.Top());
    }
}

TEST_CASE_FIXTURE(Fixture, "the date display stays inside the window")
{
    using namespace placement;
    // A long date moves it by the rule, the next short one puts it back.
    for (const double width : {5000.0, 9240.0, 9300.0, 16000.0}) {
        INFO("at least " << width << " twips wide");
        fake::MessageBoxes boxes;
        Form1 form;
        form.Form_Load();
        form.showDate(Text());
        const double home = form.Label2.Left();
        Text wide = u"Wednesday, December 9, 2026";
        while (form.Label2.Left() + width >= form.Label2.Left() + form.Label2.Width())
            form.showDate(wide += u" 2026");
        const double caption = form.Label2.Width();
        const double expected = dateDisplayLeft(home, caption, form.ScaleWidth());
        CHECK(form.Label2.Left() == closeTo(double(float(expected))));
        CHECK((form.Label2.Left() + caption <= form.ScaleWidth() - DateMargin + 1 ||
               form.Label2.Left() == 0));
        form.showDate(u"2026年12月9日星期三");
        CHECK(form.Label2.Left() == closeTo(home));
    }
}

TEST_CASE_FIXTURE(Fixture, "the state after the load")
{
    fake::MessageBoxes boxes;
    Form1 form;
    form.Timer2.setEnabled(false); // untouched by the load, whatever it is
    form.Label4.setVisible(false);
    form.Label8.setVisible(false);
    const PixelRect label3 = peerOf(form.Label3).geometry;
    const PixelRect label5 = peerOf(form.Label5).geometry;
    const FontSpec label5Font = peerOf(form.Label5).font;

    form.Form_Load();

    CHECK(form.Timer1.Enabled());
    CHECK(!form.Timer3.Enabled());
    CHECK(!form.Timer2.Enabled());
    CHECK(form.Timer4.Enabled());
    CHECK(form.Label4.Visible());
    CHECK(peerOf(form.Label4).visible);
    CHECK(form.Label8.Visible());
    CHECK(form.Label3.Caption() == u"");
    CHECK(form.Label5.Caption() == u"");
    CHECK(peerOf(form.Label3).geometry == label3);
    CHECK(peerOf(form.Label5).geometry == label5);
    const FontSpec font = peerOf(form.Label5).font;
    CHECK((font.name == label5Font.name && font.points == label5Font.points &&
           font.bold == label5Font.bold && font.charset == label5Font.charset));
    CHECK(form.Label1.Caption() == u"");
    CHECK(form.Label7.Caption() == u"");

    // The credit line went out at (W - 100, H - 100) in the window's colour;
    // the drawing position is now on the line below it.
    const auto &printed = peerOf(form).printed;
    REQUIRE(printed.size() == 1);
    CHECK(printed[0].line == clockapp::CreditLine);
    CHECK(printed[0].x == std::lround((15360 - 100) / 15.0));
    CHECK(printed[0].y == std::lround((11520 - 100) / 15.0));
    CHECK(printed[0].colour == 0xFFFFFFu);
    CHECK(form.CurrentX() == 0.0);
    const double lineHeight = form.CurrentY() - (11520 - 100);
    CHECK(lineHeight > 100);
    CHECK(lineHeight < 400);

    REQUIRE(boxes.calls.size() == 1);
    CHECK(boxes.calls[0].prompt == u"现在同步的是本地时间");
    CHECK(boxes.calls[0].title == u"提示");
    CHECK(!boxes.calls[0].withCancel);
    CHECK(!boxes.calls[0].question);
    CHECK(form.Label2.Caption() == fake::longDate(civilDateOf(Now())));
}

// The notice may stay open past midnight: the date shown is the new day.
TEST_CASE_FIXTURE(Fixture, "the date is taken when the notice closes")
{
    setLocalTime(loop, {2026, 12, 7, 23, 59, 58});
    fake::MessageBoxes boxes;
    boxes.onShow = [&] { loop.stepWall(5000); };
    Form1 form;
    form.Form_Load();
    CHECK(form.Label2.Caption() == u"2026年12月8日星期二");
}

// The program reports the run-time error and exits non-zero instead of
// crashing or showing a half-laid-out window.
TEST_CASE_FIXTURE(Fixture, "a fault at start ends with a run-time error")
{
    struct Row {
        const char *name;
        ScreenMetrics screen;
        bool windowsRefused = false;
    };
    const Row rows[] = {
        {"zero-sized screen", {0, 0, 15}},
        {"infinite twips", {1024, 768, std::numeric_limits<double>::infinity()}},
        {"NaN twips", {1024, 768, std::numeric_limits<double>::quiet_NaN()}},
        {"beyond the single range", {1024, 768, 1e37}},
        {"the system refuses the window", {1024, 768, 15}, true},
    };
    // Should the load wrongly succeed, the event loop must not hold the test.
    fake::setExecLimit(3000);
    for (const Row &row : rows) {
        INFO(std::string(row.name));
        fake::setScreen(row.screen);
        fake::setWindowsRefused(row.windowsRefused);
        fake::MessageBoxes boxes;
        const int status = clockapp::run();
        fake::setWindowsRefused(false);
        CHECK(status != 0);
        CHECK(fake::lastExitStatus() == status);
        REQUIRE(boxes.calls.size() == 1);
        CHECK(toUtf8(boxes.calls[0].prompt).find("运行时错误") != std::string::npos);
        CHECK(boxes.calls[0].title == clockapp::ProgramName);
        const auto &windows = fake::FakeWindow::all();
        CHECK(std::none_of(windows.begin(), windows.end(), [](auto *w) { return w->shown; }));
    }
    fake::setExecLimit(60000);
}

TEST_CASE_FIXTURE(Fixture, "the exit question")
{
    for (const bool ok : {true, false}) {
        INFO(std::string(ok ? "OK ends" : "Cancel keeps the window"));
        fake::MessageBoxes boxes(ok ? MessageBoxAnswer::Ok : MessageBoxAnswer::Cancel);
        Form1 form;
        setMode(form, true);
        form.Label5.setCaption(u"10:17");
        form.Show();
        fake::FakeWindow &window = peerOf(form);

        CHECK(window.requestClose() == ok);
        CHECK(window.shown == !ok);
        // One question per close: the unload request made inside the handler
        // joins the close under way.
        REQUIRE(boxes.calls.size() == 1);
        CHECK(boxes.calls[0].prompt == u"确定要退出吗？");
        CHECK(boxes.calls[0].title == u"提示");
        // OK and Cancel, the question mark, Cancel the default.
        CHECK(boxes.calls[0].withCancel);
        CHECK(boxes.calls[0].question);
        CHECK(boxes.calls[0].cancelIsDefault);

        if (ok)
            continue;
        CHECK(!window.requestClose());
        CHECK(boxes.calls.size() == 2);
        // A refused close keeps the mode, the timers and the network clock.
        CHECK(!form.Timer1.Enabled());
        CHECK(form.Timer2.Enabled());
        CHECK(form.Timer3.Enabled());
        CHECK(form.Timer4.Enabled());
        form.Label7.setCaption(u":41");
        loop.run(1000);
        CHECK(form.Label7.Caption() == u":42");
        CHECK(form.Label1.Caption() == u"10:17");
    }
}

// The clock is there to be watched: the display stays on while it can be
// seen, whatever hides it, and whoever asked the display back is heeded.
TEST_CASE_FIXTURE(Fixture, "the display stays on while the clock can be seen")
{
    enum class Step { Show, Minimise, Restore, CloseRefused, CloseAgreed };
    struct Row {
        const char *name;
        Step step;
        bool keptOn;
    };
    const Row rows[] = {
        {"shown", Step::Show, true},
        {"minimised", Step::Minimise, false},
        {"restored", Step::Restore, true},
        {"a close refused keeps it", Step::CloseRefused, true},
        {"minimised again", Step::Minimise, false},
        {"a close refused while minimised", Step::CloseRefused, false},
        {"restored again", Step::Restore, true},
        {"closed", Step::CloseAgreed, false},
    };
    auto form = std::make_unique<Form1>();
    fake::FakeWindow &window = peerOf(*form);
    CHECK_MESSAGE(!fake::displayKeptOn(), "not before the window is shown");
    for (const Row &row : rows) {
        INFO(row.name);
        switch (row.step) {
        case Step::Show:
            form->Show();
            break;
        case Step::Minimise:
            window.minimise();
            break;
        case Step::Restore:
            window.restore();
            break;
        case Step::CloseRefused:
        case Step::CloseAgreed: {
            fake::MessageBoxes boxes(row.step == Step::CloseAgreed ? MessageBoxAnswer::Ok
                                                                   : MessageBoxAnswer::Cancel);
            window.requestClose();
            REQUIRE(boxes.calls.size() == 1);
            break;
        }
        }
        CHECK(fake::displayKeptOn() == row.keptOn);
    }

    // A window that ends while shown gives it back with its end.
    form = std::make_unique<Form1>();
    form->Show();
    CHECK(fake::displayKeptOn());
    form.reset();
    CHECK(!fake::displayKeptOn());
}
