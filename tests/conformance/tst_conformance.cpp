// SPDX-License-Identifier: MIT
// What backend.h promises, one case per promise, for every back end: the
// tests' own, Qt and Win32 each run these cases through a driver of their
// own (driver.h), so the handlers' suites may trust the tests' back end to
// behave as the real ones do.
#include "testing.h"

#include "driver.h"

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

using namespace platform;
using namespace std::chrono_literals;

namespace
{

// A window with one label, shown at the screen's top-left corner.
struct Scene {
    std::unique_ptr<WindowPeer> window = backend::createWindow();
    std::unique_ptr<LabelPeer> label = window->createLabel();
    std::unique_ptr<ComboBoxPeer> combo;

    explicit Scene(bool withCombo = false)
    {
        window->moveTo(0, 0);
        window->setClientSize(400, 300);
        label->setText(u"同步网络时间:");
        label->setGeometry({10, 10, 120, 30});
        if (withCombo) {
            combo = window->createComboBox();
            combo->setGeometry({10, 100, 200, 24});
            combo->addItem(u"http://a.example/");
            combo->setText(u"ab");
            combo->setFocus();
        }
        window->show();
        REQUIRE(driver::runUntil([&] { return driver::isShown(*window); }, 5000));
    }
};

HttpExchange post(const std::string &url, std::chrono::milliseconds total = 5000ms)
{
    return {"POST", url, 2000ms, total, 64 * 1024};
}

// While something holds the thread (a message box, an exchange), a wake
// source ticks every 50 ms: the first tick changes the label and clicks it,
// later ones look whether the change was painted and the click arrived.
struct Busy {
    Scene &scene;
    std::unique_ptr<WakeSource> wake = backend::createWakeSource();
    int ticks = 0;
    int paintsBefore = -1;
    bool painted = false;
    int clicks = 0;
    int clicksMeanwhile = -1;
    std::function<void()> onTick;

    explicit Busy(Scene &s) : scene(s)
    {
        scene.label->onClick = [this] { ++clicks; };
        wake->onWake = [this] {
            if (++ticks == 1) {
                paintsBefore = driver::paints(*scene.label);
                scene.label->setText(u"点击这里同步本地时间");
                driver::click(*scene.label, true);
            } else if (driver::paints(*scene.label) > paintsBefore) {
                painted = true;
            }
            if (onTick)
                onTick();
            wake->wakeAfter(50);
        };
        wake->wakeAfter(50);
    }
    void over()
    {
        clicksMeanwhile = clicks;
        wake->cancel();
    }
};

} // namespace

TEST_CASE("children stack in creation order and focus goes where it is set")
{
    std::unique_ptr<WindowPeer> window = backend::createWindow();
    window->setClientSize(400, 300);
    auto first = window->createLabel();
    auto combo = window->createComboBox();
    auto last = window->createLabel();
    CHECK(driver::stacking(*window) == std::vector<const void *>{driver::native(*first),
                                                                 driver::native(*combo),
                                                                 driver::native(*last)});
    combo->setFocus();
    window->show();
    CHECK(driver::runUntil([&] { return driver::focus(*window) == driver::native(*combo); }, 5000));
}

TEST_CASE("setFont returns the size the toolkit realised")
{
    struct Row {
        const char *name;
        const char16_t *face;
        int charset;
        double points;
    };
    const Row rows[] = {
        {"9 pt", u"Arial", 0, 9},
        {"10 pt: 13.33 pixels", u"Arial", 0, 10},
        {"38.4 pt, the date at 1024 pixels", u"楷体", 134, 38.4},
        {"170.67 pt, the clock at 1024 pixels", u"楷体", 134, 15360.0 / 90},
    };
    Scene scene;
    for (const Row &row : rows) {
        INFO(row.name);
        const double realised = scene.label->setFont({row.face, row.points, false, row.charset});
        CHECK(realised == doctest::Approx(driver::fontPoints(*scene.label)));
        // Whole pixels at most: within a pixel of the size asked for.
        CHECK(std::abs(realised - row.points) <= 72.0 / 96 + 1e-9);
    }
}

TEST_CASE("print returns the height of a line of the window's font")
{
    Scene scene;
    const double height = scene.window->print(u"credit", 10, 250, 0xFFFFFF);
    CHECK(height > 0);
    CHECK(height < 100);
}

// A clock rewrites its captions every second: a new caption repaints the
// cells that differ from the one shown, and nothing of a label the user
// cannot see. The witness's change, painted with the subject's, shows that
// painting happened.
TEST_CASE("a new caption repaints the cells that changed, and only where it can be seen")
{
    enum class Painted { Nothing, ChangedCells, Whole };
    using Step = std::function<void(LabelPeer &)>;
    struct Row {
        const char *name;
        Step first;              // done to the label before the change
        const char16_t *caption; // after "12:07"
        Step then;               // done with the change, as a self-sizing label is
        Painted painted;
    };
    const Row rows[] = {
        {"the last digit", nullptr, u"12:08", nullptr, Painted::ChangedCells},
        {"the caption it shows", nullptr, u"12:07", nullptr, Painted::Nothing},
        {"hidden", [](LabelPeer &label) { label.setVisible(false); }, u"12:08", nullptr,
         Painted::Nothing},
        {"ink as its paper", [](LabelPeer &label) { label.setForeColor(SystemButtonFace); },
         u"12:08", nullptr, Painted::Nothing},
        {"outside the window",
         [](LabelPeer &label) {
             label.setGeometry({500, 10, 300, 80});
         },
         u"12:08", nullptr, Painted::Nothing},
        {"centred, in a label that grows",
         [](LabelPeer &label) { label.setAlignment(Alignment::Center); }, u"12:08",
         [](LabelPeer &label) {
             label.setGeometry({10, 10, 340, 80});
         },
         Painted::Whole},
    };
    for (const Row &row : rows) {
        INFO(row.name);
        Scene scene;
        LabelPeer &label = *scene.label;
        const std::unique_ptr<LabelPeer> witness = scene.window->createLabel();
        witness->setGeometry({10, 200, 100, 30});
        label.setFont({u"Arial", 36, false, 0});
        label.setGeometry({10, 10, 300, 80});
        label.setText(u"12:07");
        if (row.first)
            row.first(label);
        // Whatever the window shows first is painted and forgotten.
        driver::paintPending(*scene.window);
        driver::runUntil([] { return false; }, 100);
        driver::paintPending(*scene.window);
        driver::painted(label);
        driver::painted(*witness);

        label.setText(row.caption);
        if (row.then)
            row.then(label);
        witness->setText(u"1");
        driver::paintPending(*scene.window);
        REQUIRE(driver::painted(*witness).width > 0);
        const PixelRect painted = driver::painted(label);
        switch (row.painted) {
        case Painted::Nothing:
            CHECK(painted.width == 0);
            break;
        case Painted::ChangedCells:
            // Right of the cells that stayed, and over the one that changed.
            CHECK(painted.width > 0);
            CHECK(painted.left >= label.measure(u"12:").width);
            CHECK(painted.left + painted.width > label.measure(u"12:0").width);
            break;
        case Painted::Whole:
            CHECK(painted == PixelRect{0, 0, 340, 80});
            break;
        }
    }
}

// A right click goes first: had it clicked, the count would pass one when
// the left click arrives.
TEST_CASE("a left click reaches the label, a right click does not")
{
    Scene scene;
    int clicks = 0;
    scene.label->onClick = [&] { ++clicks; };
    driver::click(*scene.label, false);
    driver::click(*scene.label, true);
    CHECK(driver::runUntil([&] { return clicks > 0; }, 5000));
    CHECK(clicks == 1);
}

TEST_CASE("a key reaches onKeyPress before the edit field")
{
    struct Row {
        const char *name;
        char16_t key;
        bool swallow;
        const char16_t *textAfter;
    };
    const Row rows[] = {
        {"a letter is passed on", u'c', false, u"abc"},
        {"Enter is a key press, no click", u'\r', false, u"ab"},
        {"a key set to 0 is swallowed", u'c', true, u"ab"},
    };
    for (const Row &row : rows) {
        INFO(row.name);
        Scene scene(true);
        std::vector<int> codes;
        int clicks = 0;
        scene.combo->onClick = [&] { ++clicks; };
        scene.combo->onKeyPress = [&](std::int16_t &code) {
            codes.push_back(code);
            if (row.swallow)
                code = 0;
        };
        driver::type(*scene.combo, row.key);
        REQUIRE(driver::runUntil([&] { return !codes.empty(); }, 5000));
        CHECK(codes == std::vector<int>{int(row.key)});
        CHECK(clicks == 0);
        CHECK(scene.combo->text() == row.textAfter);
    }
}

TEST_CASE("a close asks the window and closes only if it agrees")
{
    struct Row {
        const char *name;
        bool byUser;
        bool agree;
    };
    const Row rows[] = {
        {"the user's close, agreed", true, true},
        {"the user's close, refused", true, false},
        {"the program's close, agreed", false, true},
        {"the program's close, refused", false, false},
    };
    for (const Row &row : rows) {
        INFO(row.name);
        Scene scene;
        int asked = 0;
        scene.window->onCloseRequest = [&] {
            ++asked;
            return row.agree;
        };
        if (row.byUser)
            driver::close(*scene.window);
        else
            scene.window->close();
        CHECK(driver::runUntil([&] { return asked > 0; }, 5000));
        CHECK(asked == 1);
        CHECK(driver::runUntil([&] { return driver::isShown(*scene.window) != row.agree; }, 5000));
    }
}

TEST_CASE("the window reports each change of its state")
{
    enum class Step { Show, Minimise, Restore, Close };
    struct Row {
        const char *name;
        Step step;
        WindowState state;
    };
    const Row rows[] = {
        {"shown", Step::Show, WindowState::Shown},
        {"minimised by the user", Step::Minimise, WindowState::Minimised},
        {"restored by the user", Step::Restore, WindowState::Shown},
        {"closed", Step::Close, WindowState::Hidden},
    };
    std::unique_ptr<WindowPeer> window = backend::createWindow();
    window->moveTo(0, 0);
    window->setClientSize(400, 300);
    std::vector<WindowState> reported;
    window->onStateChange = [&](WindowState state) { reported.push_back(state); };
    CHECK(window->state() == WindowState::Hidden);
    std::vector<WindowState> expected;
    for (const Row &row : rows) {
        INFO(std::string(row.name));
        switch (row.step) {
        case Step::Show:
            window->show();
            break;
        case Step::Minimise:
            driver::minimise(*window);
            break;
        case Step::Restore:
            driver::restore(*window);
            break;
        case Step::Close:
            window->close();
            break;
        }
        expected.push_back(row.state);
        CHECK(driver::runUntil([&] { return window->state() == row.state; }, 5000));
        // Once for each change, and nothing else on the way.
        driver::runUntil([] { return false; }, 200);
        CHECK(reported == expected);
    }
}

TEST_CASE("the display stays on while a window asks, and is given back")
{
    struct Row {
        const char *name;
        int settleMs;      // the event loop runs this long before it is given back
        bool secondWindow; // a second window asks too, and gives back first
        bool byEnd;        // the window's end gives back, not keepDisplayOn(false)
    };
    const Row rows[] = {
        {"given back at once", 0, false, false},
        {"given back once granted", 300, false, false},
        {"given back by the window's end", 300, false, true},
        {"held while a second window still asks", 300, true, false},
    };
    const auto keptOn = [](bool on) {
        return driver::runUntil([on] { return driver::displayKeptOn() == on; }, 5000);
    };
    for (const Row &row : rows) {
        INFO(std::string(row.name));
        REQUIRE(keptOn(false));
        std::unique_ptr<WindowPeer> window = backend::createWindow();
        window->keepDisplayOn(true);
        if (row.settleMs > 0) {
            CHECK(keptOn(true));
            driver::runUntil([] { return false; }, row.settleMs);
        }
        if (row.secondWindow) {
            std::unique_ptr<WindowPeer> second = backend::createWindow();
            second->keepDisplayOn(true);
            driver::runUntil([] { return false; }, row.settleMs);
            second->keepDisplayOn(false);
            second.reset();
            driver::runUntil([] { return false; }, row.settleMs);
            CHECK(driver::displayKeptOn());
        }
        if (row.byEnd)
            window.reset();
        else
            window->keepDisplayOn(false);
        // A grant that arrives late is given back too.
        driver::runUntil([] { return false; }, 300);
        CHECK(keptOn(false));
    }
}

// Each driver's test runs in TZ=CST-8, which every C run-time and Wine read
// alike: UTC+8 all year.
TEST_CASE("local time is the PC's zone's, to the millisecond")
{
    struct Row {
        const char *name;
        std::int64_t ms;
        CivilDateTime local;
    };
    const Row rows[] = {
        {"afternoon in UTC, evening at +8", 1796652285123, {2026, 12, 7, 22, 4, 45, 123}},
        {"16:00 UTC is the next day's midnight", 1796659200000, {2026, 12, 8, 0, 0, 0, 0}},
        {"into a leap day", 1835382600999, {2028, 2, 29, 4, 30, 0, 999}},
        {"into a new year", 1830297599500, {2028, 1, 1, 7, 59, 59, 500}},
    };
    const char *zone = std::getenv("TZ");
    REQUIRE(zone != nullptr);
    REQUIRE(std::string(zone) == "CST-8");
    for (const Row &row : rows) {
        INFO(std::string(row.name));
        const CivilDateTime local = backend::localTime(row.ms);
        CHECK(std::vector<int>{local.year, local.month, local.day, local.hour, local.minute,
                               local.second, local.millisecond} ==
              std::vector<int>{row.local.year, row.local.month, row.local.day, row.local.hour,
                               row.local.minute, row.local.second, row.local.millisecond});
    }
}

TEST_CASE("a message box lets ticks and painting through")
{
    Scene scene;
    Busy busy(scene);
    busy.onTick = [&] {
        if (busy.painted && busy.ticks >= 3)
            driver::answerMessageBox(MessageBoxAnswer::Cancel);
    };
    const MessageBoxAnswer answer =
        backend::showMessageBox({u"确定要退出吗？", u"提示", true, true, true});
    busy.over();
    CHECK(answer == MessageBoxAnswer::Cancel);
    CHECK(busy.ticks >= 3);
    CHECK(busy.painted);
}

TEST_CASE("an exchange lets ticks and painting through and holds input")
{
    Scene scene;
    const std::string url = driver::serve(driver::Server::Answering, 2000);
    Busy busy(scene);
    const HttpResponse response = backend::exchange(post(url));
    busy.over();
    CHECK(response.failure == HttpResponse::Failure::None);
    CHECK(busy.ticks >= 3);
    CHECK(busy.painted);
    CHECK(busy.clicksMeanwhile == 0);
    // The click made meanwhile arrives once the exchange has returned.
    CHECK(driver::runUntil([&] { return busy.clicks == 1; }, 3000));
}

TEST_CASE("the exchange's outcomes")
{
    using Failure = HttpResponse::Failure;
    using driver::Server;
    struct Row {
        const char *name;
        Server server;
        std::size_t maxHeaderBytes;
        Failure failure;
    };
    const Row rows[] = {
        {"the final response's header block", Server::Answering, 64 * 1024, Failure::None},
        {"a header block over the bound", Server::Answering, 40, Failure::Other},
        {"connection refused", Server::Refusing, 64 * 1024, Failure::Unreachable},
        {"no answer within the whole-exchange bound", Server::Silent, 64 * 1024, Failure::Timeout},
        {"no status line", Server::Malformed, 64 * 1024, Failure::Other},
    };
    for (const Row &row : rows) {
        INFO(row.name);
        if (row.maxHeaderBytes < driver::Reply.size() && !driver::boundsHeaderBlock)
            continue;
        HttpExchange request = post(driver::serve(row.server), 700ms);
        request.maxHeaderBytes = row.maxHeaderBytes;
        const std::int64_t start = driver::now();
        const HttpResponse response = backend::exchange(request);
        CHECK(response.failure == row.failure);
        // A failure carries the back end's own code, to tell failures apart.
        CHECK((response.nativeError != 0) == (row.failure != Failure::None));
        CHECK(driver::now() - start < 700 + 1500);
        if (row.failure == Failure::None) {
            CHECK(response.status == 200);
            // Connecting, then the request, then the answer's headers.
            CHECK(response.startedAt >= start);
            CHECK(response.sentAt >= response.startedAt);
            CHECK(response.headersAt >= response.sentAt);
            // WinHTTP leaves out the line breaks that end the block.
            const auto lines = [](std::string block) {
                return block.substr(0, block.find_last_not_of("\r\n") + 1);
            };
            CHECK(lines(response.rawHeaders) == lines(driver::Reply));
        }
    }
}

TEST_CASE("the system's word that the PC woke reaches the window")
{
    Scene scene;
    int resumed = 0;
    scene.window->onResume = [&] { ++resumed; };
    driver::reportResume(*scene.window);
    CHECK(driver::runUntil([&] { return resumed == 1; }, 3000));
}

// On Linux the suite runs where the boot-time clock is far ahead of
// CLOCK_MONOTONIC, as after the PC has slept.
TEST_CASE("the monotonic clock counts the PC's sleep and never goes back")
{
    std::int64_t last = backend::monotonicMs();
    for (int i = 0; i < 100; ++i) {
        const std::int64_t before = driver::sleepCountingMs();
        const std::int64_t mono = backend::monotonicMs();
        const std::int64_t after = driver::sleepCountingMs();
        CHECK(mono >= last);
        CHECK(mono >= before - 1);
        CHECK(mono <= after + 1);
        last = mono;
        driver::pump();
    }
}

TEST_CASE("a wake source wakes once, after its wait")
{
    std::unique_ptr<WakeSource> wake = backend::createWakeSource();
    std::vector<std::int64_t> wakes;
    wake->onWake = [&] { wakes.push_back(driver::now()); };

    SUBCASE("armed")
    {
        const std::int64_t start = driver::now();
        wake->wakeAfter(200);
        driver::runUntil([] { return false; }, 700);
        REQUIRE(wakes.size() == 1);
        CHECK(wakes[0] - start >= 200 - 1);
        CHECK(wakes[0] - start < 200 + 300);
    }
    SUBCASE("re-armed: the later wait replaces the earlier")
    {
        const std::int64_t start = driver::now();
        wake->wakeAfter(600);
        wake->wakeAfter(100);
        driver::runUntil([] { return false; }, 900);
        REQUIRE(wakes.size() == 1);
        CHECK(wakes[0] - start < 100 + 300);
    }
    SUBCASE("cancelled")
    {
        wake->wakeAfter(100);
        wake->cancel();
        driver::runUntil([] { return false; }, 400);
        CHECK(wakes.empty());
    }
}
