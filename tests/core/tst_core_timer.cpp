// SPDX-License-Identifier: MIT
// The timers' schedule on the wall clock, with a wall clock and a wake-up
// source of the test's own: time is simulated, nothing sleeps.

#define DOCTEST_CONFIG_IMPLEMENT
#define CORE_TEST_MAIN
#include "testing.h"

#include "fakeloop.h"
#include "serverclock.h"
#include "timer.h"

#include <algorithm>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

using namespace platform;

namespace
{

// A wall-clock time on a whole second (in 2027).
constexpr std::int64_t Base = 1800000000000;

// The event loop of one window on the tests' simulated time: a monotonic
// clock that the wake-up source runs on, and a wall clock that the test can
// step or that can lag behind.
class Loop
{
  public:
    explicit Loop(std::int64_t wallStart)
        : events(wallStart), scheduler(
                                 events.createWakeSource(), [this] { return wall(); },
                                 [this] { return events.mono(); })
    {
    }

    std::int64_t wall() const { return events.wall(); }
    void stepWall(std::int64_t ms) { events.stepWall(ms); }
    // Runs the loop for `ms` of monotonic time; called from a tick handler,
    // it is a nested event loop.
    void run(std::int64_t ms)
    {
        TimerScheduler::nestedLoopBegins();
        events.run(ms);
    }
    // The thread is busy: time passes and nothing is delivered.
    void busy(std::int64_t ms) { events.busy(ms); }

    // Ticks as "name@wall time", in order of delivery.
    std::vector<std::string> log;
    std::map<std::string, std::vector<std::int64_t>> ticks, monoTicks;
    void record(const std::string &name)
    {
        log.push_back(name + "@" + std::to_string(wall() - Base));
        ticks[name].push_back(wall());
        monoTicks[name].push_back(events.mono());
    }
    Timer &add(const std::string &name, int interval)
    {
        timers.push_back(std::make_unique<Timer>(scheduler, interval));
        Timer &timer = *timers.back();
        timer.Tick = [this, name] { record(name); };
        return timer;
    }

    fake::EventLoop events;
    TimerScheduler scheduler;
    std::vector<std::unique_ptr<Timer>> timers;
};

std::int64_t nextBoundary(std::int64_t t, int interval)
{
    return (t / interval + 1) * interval; // t is positive here
}

// Every tick on a boundary of the wall clock, one interval after the other.
void checkOnBoundaries(const std::vector<std::int64_t> &ticks, int interval, std::size_t from = 0)
{
    for (std::size_t k = from; k < ticks.size(); ++k) {
        INFO("tick " << k << " at " << ticks[k] - Base);
        CHECK(ticks[k] % interval == 0);
        if (k > from)
            CHECK(ticks[k] - ticks[k - 1] == interval);
    }
}

void checkWaits(const std::vector<int> &waits, int interval)
{
    for (int wait : waits) {
        INFO("wait " << wait);
        CHECK((wait > 0 && wait <= interval));
    }
}

} // namespace

TEST_CASE("TickSchedule arithmetic")
{
    struct Row {
        const char *name;
        int interval;
        std::int64_t startAt, first, wakeAt;
        bool tick;
        std::int64_t due; // after the wake-up: what the scheduler waits for
    };
    const std::int64_t slack = TickSchedule::EarlySlackMs;
    const Row rows[] = {
        {"first tick on the next whole second", 1000, 10200, 11000, 11000, true, 12000},
        {"started on a boundary: a whole interval", 1000, 10000, 11000, 11000, true, 12000},
        {"500 ms: the next half second", 500, 10200, 10500, 10500, true, 11000},
        {"late by 1600 ms: one tick, then the next boundary", 1000, 10200, 11000, 12600, true,
         13000},
        {"1 ms early waits the rest", 1000, 10200, 11000, 10999, false, 11000},
        {"EarlySlackMs early waits the rest", 1000, 10200, 11000, 11000 - slack, false, 11000},
        {"more than EarlySlackMs early: set back, tick now", 1000, 10200, 11000, 10999 - slack,
         true, 11000},
        {"set back an hour: tick now, then the new boundary", 500, 10200, 10500,
         10500 - 3600000 + 120, true, 10500 - 3600000 + 500},
        {"before 1970", 1000, -1700, -1000, -1000, true, 0},
    };
    for (const Row &row : rows) {
        INFO(std::string(row.name));
        TickSchedule schedule(row.interval);
        schedule.start(row.startAt);
        CHECK(schedule.due() == row.first);
        CHECK(schedule.wake(row.wakeAt) == row.tick);
        CHECK(schedule.due() == row.due);
    }
}

// Each wake-up `earlyMs` early, as a monotonic clock running ahead would; up
// to EarlySlackMs it waits the rest, earlier is a wall clock set back: a tick
// at once, and the tick on the boundary.
TEST_CASE("ticks on the wall clock's boundaries")
{
    const std::int64_t slack = TickSchedule::EarlySlackMs;
    for (const int interval : {1000, 500})
        for (const std::int64_t earlyMs : {std::int64_t(0), std::int64_t(3), slack, slack + 1}) {
            INFO(interval << " ms, wake-ups " << earlyMs << " ms early");
            Loop loop(Base + 300);
            loop.events.earlyMs = earlyMs;
            loop.add("t", interval).setEnabled(true); // the first tick on the next boundary
            loop.run(4 * interval);
            const std::vector<std::int64_t> &ticks = loop.ticks["t"];
            if (earlyMs <= slack) {
                REQUIRE(ticks.size() == 4);
                CHECK(ticks.front() == nextBoundary(Base + 300, interval));
                checkOnBoundaries(ticks, interval);
            } else {
                REQUIRE(ticks.size() == 8);
                for (std::size_t k = 0; k < ticks.size(); k += 2) {
                    CHECK(ticks[k] % interval == interval - earlyMs);
                    CHECK(ticks[k + 1] - ticks[k] == earlyMs);
                }
            }
            checkWaits(loop.events.waits, interval);
        }
}

TEST_CASE("a busy thread gets one late tick")
{
    for (bool inHandler : {false, true}) {
        INFO(std::string(inHandler ? "busy inside the tick handler" : "busy between wake-ups"));
        Loop loop(Base + 200);
        Timer &timer = loop.add("t", 500);
        bool first = true;
        timer.Tick = [&] {
            loop.record("t");
            if (inHandler && std::exchange(first, false))
                loop.busy(1600);
        };
        timer.setEnabled(true);
        loop.run(300); // the tick at 500
        if (!inHandler)
            loop.busy(1600);
        loop.run(1000);
        const std::int64_t late = Base + 2100 + (inHandler ? 1 : 0);
        CHECK(loop.ticks["t"] ==
              std::vector<std::int64_t>{Base + 500, late, Base + 2500, Base + 3000});
        checkWaits(loop.events.waits, 500);
    }
}

TEST_CASE("a disabled timer stays silent")
{
    Loop loop(Base + 200);
    Timer &timer = loop.add("t", 500);
    timer.setEnabled(true);
    timer.setEnabled(false);
    CHECK(!loop.events.armed());
    loop.run(1200);
    CHECK(loop.ticks["t"].empty());
    timer.setEnabled(true); // at 1400: counts from now
    loop.run(1200);
    CHECK(loop.ticks["t"] == std::vector<std::int64_t>{Base + 1500, Base + 2000, Base + 2500});
    timer.setEnabled(false);
    loop.run(1200);
    CHECK(loop.ticks["t"].size() == 3);
}

// A step made between wake-ups `after` ms past a tick, or inside the first
// timer's handler while it runs for 300 ms; for one timer of each interval
// alone and for the window's four timers (the local clock, the resync
// counter, the network clock and the half-second one), there with the
// network clock's twin on a server's seconds, which no step reaches.
TEST_CASE("the wall clock steps back or forward")
{
    const std::int64_t steps[] = {-250,   250,   -500,     500,     -1000,    1000,
                                  -30000, 30000, -3600000, 3600000, -86400000};
    const std::vector<int> window = {1000, 1000, 1000, 500};
    const std::pair<std::vector<int>, bool> setups[] = {
        {{1000}, false}, {{500}, false}, {window, false}, {window, true}};
    for (const std::int64_t stepMs : steps)
        for (const bool inHandler : {false, true})
            for (const auto &[intervals, phased] : setups)
                for (const std::int64_t after : {100, 400, 600, 700, 900}) {
                    INFO("a step of " << stepMs << " ms"
                                      << std::string(inHandler ? " inside a tick handler" : "")
                                      << ", " << intervals.size() << " timer(s)"
                                      << std::string(phased ? " and the phased one" : "") << ", "
                                      << after << " ms after a tick");
                    Loop loop(Base + 200);
                    for (std::size_t i = 0; i < intervals.size(); ++i)
                        loop.add("t" + std::to_string(i), intervals[i]).setEnabled(true);
                    if (phased) {
                        Timer &own = loop.add("phased", 1000);
                        own.setPhase(370, loop.events.mono());
                        own.setEnabled(true);
                    }
                    std::map<std::string, std::size_t> before; // ticks before the step
                    std::int64_t stepAt = 0, stepMono = 0;
                    const auto step = [&] {
                        for (const auto &[name, ticks] : loop.ticks)
                            before[name] = ticks.size();
                        loop.stepWall(stepMs);
                        stepAt = loop.wall();
                        stepMono = loop.events.mono();
                    };
                    loop.run(1800 + after);
                    if (inHandler) {
                        loop.timers.front()->Tick = [&] {
                            loop.record("t0");
                            if (stepAt == 0) {
                                loop.busy(300);
                                step();
                            }
                        };
                    } else {
                        step();
                    }
                    loop.run(12000);
                    // Ticks over the 10 s after the step, on the monotonic clock.
                    const auto within10s = [&](const std::vector<std::int64_t> &mono) {
                        return std::count_if(mono.begin(), mono.end(), [&](std::int64_t t) {
                            return t > stepMono && t <= stepMono + 10000;
                        });
                    };

                    for (std::size_t i = 0; i < intervals.size(); ++i) {
                        const std::string name = "t" + std::to_string(i);
                        const int interval = intervals[i];
                        INFO(name << ", " << interval << " ms");
                        const std::vector<std::int64_t> &all = loop.ticks[name];
                        checkOnBoundaries({all.begin(), all.begin() + before[name]}, interval);
                        const std::vector<std::int64_t> ticks(all.begin() + before[name],
                                                              all.end());
                        REQUIRE(ticks.size() >= 3);
                        // The first tick within one interval of the step; forward,
                        // it is the only one for the step, and every later tick is
                        // on the new clock's next boundary.
                        CHECK(ticks[0] - stepAt >= 0);
                        CHECK(ticks[0] - stepAt <= interval);
                        CHECK(ticks[1] == nextBoundary(ticks[0], interval));
                        checkOnBoundaries(ticks, interval, 1);
                        // Of the window's, a step of half a second or more between
                        // wake-ups earns no tick: one a second, never two within
                        // half a second.
                        if (phased && interval == 1000 && !inHandler && std::abs(stepMs) >= 500) {
                            const std::vector<std::int64_t> &mono = loop.monoTicks[name];
                            CHECK(within10s(mono) == 10);
                            for (std::size_t k = before[name]; k < mono.size(); ++k)
                                CHECK(mono[k] - mono[k - 1] >= 500);
                        }
                    }
                    if (phased) {
                        const std::vector<std::int64_t> &own = loop.monoTicks["phased"];
                        CHECK(within10s(own) == 10);
                        for (const std::int64_t t : own)
                            CHECK((t + 370) % 1000 == 0);
                    }
                    checkWaits(loop.events.waits,
                               *std::max_element(intervals.begin(), intervals.end()));
                }
}

TEST_CASE("timers due together ride one wake-up in creation order")
{
    Loop loop(Base + 200);
    for (const char *name : {"Timer1", "Timer2", "Timer3"})
        loop.add(name, 1000).setEnabled(true);
    loop.add("Timer4", 500).setEnabled(true);
    loop.run(2700);
    CHECK(loop.events.wakeUps == 5); // 500, 1000, 1500, 2000, 2500
    // Armed once at the start and once per wake-up for the next boundary:
    // ticks owed across handlers that wait in no nested loop arm nothing, and
    // an arming for the moment armed already is not repeated.
    CHECK(loop.events.waits == std::vector<int>{800, 300, 500, 500, 500, 500, 500});
    CHECK(loop.log == std::vector<std::string>{"Timer4@500", "Timer1@1000", "Timer2@1000",
                                               "Timer3@1000", "Timer4@1000", "Timer4@1500",
                                               "Timer1@2000", "Timer2@2000", "Timer3@2000",
                                               "Timer4@2000", "Timer4@2500"});
}

// An idle timer gets no wake-up of its own and ticks on the others'; from
// the re-plan that finds it busy it ticks on its own boundaries again, but
// a boundary that passed while it was idle is not made up.
TEST_CASE("an idle timer rides the other timers' wake-ups")
{
    Loop loop(Base + 200);
    loop.add("A", 1000).setEnabled(true);
    Timer &half = loop.add("B", 500);
    bool idle = true;
    half.setIdleWhile([&] { return idle; });
    half.setEnabled(true);
    loop.run(2500);
    CHECK(loop.events.wakeUps == 2);
    idle = false; // at 2700, past the boundary at 2500
    loop.scheduler.replan();
    loop.run(1000);
    idle = true; // at 3700
    loop.scheduler.replan();
    loop.run(1000);
    CHECK(loop.events.wakeUps == 5);
    CHECK(loop.log == std::vector<std::string>{"A@1000", "B@1000", "A@2000", "B@2000", "A@3000",
                                               "B@3000", "B@3500", "A@4000", "B@4000"});
}

TEST_CASE("a tick handler runs a nested event loop")
{
    // A waits in a message box for a second, so its second tick arrives while
    // the first still runs. Before it waits, A disables B, disables and
    // enables D, and destroys E, all due on the same boundary; later, C
    // enables B.
    Loop loop(Base + 700);
    Timer &a = loop.add("A", 1000);
    Timer &b = loop.add("B", 1000);
    Timer &c = loop.add("C", 500);
    Timer &d = loop.add("D", 1000);
    loop.add("E", 1000);
    int depth = 0, deepest = 0;
    bool armedBeforeTick = true, waited = false;
    a.Tick = [&] {
        armedBeforeTick = armedBeforeTick && loop.events.armed();
        loop.record("A");
        ++depth;
        if (!std::exchange(waited, true)) {
            b.setEnabled(false);
            d.setEnabled(false);
            d.setEnabled(true); // counts from now: its owed tick lapses
            loop.timers.back().reset();
            loop.run(1000);
        }
        deepest = std::max(deepest, depth);
        --depth;
    };
    c.Tick = [&] {
        armedBeforeTick = armedBeforeTick && loop.events.armed();
        loop.record("C");
        if (loop.wall() == Base + 2500)
            b.setEnabled(true);
    };
    for (Timer *timer : {&a, &b, &c, &d, loop.timers.back().get()})
        timer->setEnabled(true);
    loop.run(2400);
    CHECK(deepest == 2);
    CHECK(armedBeforeTick);
    // C's tick owed from 1000 comes as soon as the nested loop runs.
    CHECK(loop.log == std::vector<std::string>{"A@1000", "C@1001", "C@1500", "A@2000", "C@2000",
                                               "D@2000", "C@2500", "A@3000", "B@3000", "C@3000",
                                               "D@3000"});
    checkWaits(loop.events.waits, 500);
}

TEST_CASE("a run-time error from a tick handler reaches the event loop")
{
    Loop loop(Base + 700);
    Timer &a = loop.add("A", 1000);
    a.Tick = [] { throw RuntimeError(Overflow); };
    loop.add("B", 1000).setEnabled(true);
    a.setEnabled(true);
    int error = 0;
    try {
        loop.run(500);
    } catch (const RuntimeError &e) {
        error = e.number();
    }
    CHECK(error == Overflow);
    // The scheduler is left armed: the tick owed to B still comes.
    CHECK(loop.events.armed());
    a.setEnabled(false);
    loop.run(1);
    CHECK(loop.log == std::vector<std::string>{"B@1001"});
}

// Each answer bounds the server's clock minus the monotonic clock; the next
// request leaves when its answer tells most.
TEST_CASE("what the answers tell about a server's clock")
{
    struct Answer {
        const char16_t *server;
        std::int64_t second, t0, t1, setup;
    };
    struct Row {
        const char *name;
        std::vector<Answer> answers;
        std::int64_t low, high;
        std::vector<std::int64_t> sendAt; // of requests to server A at 2000, one after the other
    };
    const char16_t *a = u"http://a.example/", *b = u"http://b.example/";
    // clang-format off
    const Row rows[] = {
        {"no answer: at once", {}, 0, 0, {2000}},
        // The request leaves 150 ms after it is sent, as the last one did.
        {"one answer after a set-up", {{a, 10000, 100, 140, 150}}, 9859, 10901, {2450, 2450}},
        // The middle, 10380, on a whole second halfway through a 40 ms exchange.
        {"one answer", {{a, 10000, 100, 140, 0}}, 9859, 10901, {2600, 2600}},
        {"a second answer narrows it", {{a, 10000, 100, 140, 0}, {a, 12000, 1620, 1660, 0}}, 10339, 10902, {2360}},
        {"a contradicting answer starts afresh", {{a, 10000, 100, 140, 0}, {a, 15000, 1620, 1660, 0}}, 13339, 14381, {2120}},
        {"another server starts afresh", {{b, 10000, 100, 140, 0}, {a, 12000, 1620, 1660, 0}}, 10339, 11381, {2120}},
        {"the kept interval widens by the drift", {{a, 10000, 100, 140, 0}, {a, 1009900, 1000100, 1000140, 0}}, 9759, 10801, {2700}},
        // Narrow: the whole second just below it, then just above.
        {"narrow: checks on both sides", {{a, 10000, 100, 100, 0}, {a, 12000, 1150, 1150, 0}}, 10849, 10902, {2162, 2087, 2162}},
    };
    // clang-format on
    for (const Row &row : rows) {
        INFO(std::string(row.name));
        ServerClock clock;
        for (const Answer &answer : row.answers)
            clock.observe(answer.server, answer.second, answer.t0, answer.t1, answer.setup);
        if (!row.answers.empty()) {
            CHECK(clock.low() == row.low);
            CHECK(clock.high() == row.high);
        }
        for (const std::int64_t sendAt : row.sendAt)
            CHECK(clock.sendMoment(a, 2000) == sendAt);
        CHECK(clock.sendMoment(u"http://c.example/", 2000) == 2000);
        clock.clear();
        CHECK(clock.sendMoment(a, 2000) == 2000);
    }
}
