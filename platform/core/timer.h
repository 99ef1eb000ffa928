// SPDX-License-Identifier: MIT
#pragma once

#include "backend.h"
#include "text.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace platform
{

// When one timer ticks, on the wall clock's boundaries: a 1000 ms timer just
// after each whole second, a 500 ms timer just after each half second. A
// free-running interval drifts against the clock, so a displayed second would
// now and then show twice and skip the next.
//
// Pure arithmetic over the times it is given, so that tests can step the
// clock: ticks missed while the thread was busy, or skipped by a step
// forward, arrive as one late tick; a wake-up a little before the boundary
// (the wake-up runs on the monotonic clock) waits the rest; a wake-up that
// finds the wall clock set back ticks at once and continues on the new
// clock's boundaries.
//
// A step of the wall clock between two ticks (seen on the monotonic clock) is
// no reason to tick sooner: a tick handler that counts seconds, as the network
// clock does, would gain one. After a step the next tick comes on the stepped
// clock's first boundary at least half an interval after the last tick, or,
// should that boundary lie over an interval after the step could have come,
// half an interval after the last tick, so that a display still shows the
// stepped time within one interval.
class TickSchedule
{
  public:
    // Up to this early, a wake-up is the monotonic clock running ahead of the
    // wall clock, not the wall clock being set back; the wall clock moving
    // this much or less against the monotonic one is no step.
    static constexpr std::int64_t EarlySlackMs = 50;

    explicit TickSchedule(int intervalMs) : m_interval(intervalMs) {}

    int interval() const { return m_interval; }
    std::int64_t due() const { return m_due; }

    // Starts counting at wall-clock time `now`, forgetting earlier ticks.
    void start(std::int64_t now, std::int64_t mono = 0);
    // A tick was delivered at `now` (`mono` on the monotonic clock): the
    // next is due on the boundary after it.
    void ticked(std::int64_t now, std::int64_t mono);

    // A wake-up at wall-clock time `now`: whether it delivers a tick.
    bool wake(std::int64_t now);
    // The same with the monotonic time `mono` of the wake-up and
    // `previousWake`, that of the wake-up before it: a wall clock stepped
    // since the last tick is followed as said above.
    bool wake(std::int64_t now, std::int64_t mono, std::int64_t previousWake);

  private:
    std::int64_t nextBoundary(std::int64_t now) const;

    int m_interval;
    std::int64_t m_due = 0;
    bool m_ticked = false;        // since the start
    std::int64_t m_lastTick = 0;  // monotonic time of the last tick
    std::int64_t m_wallAhead = 0; // wall minus monotonic time, as last seen
};

class TimerScheduler;

// A timer of the window: ticks on the wall-clock schedule while enabled and
// raises Tick on the user-interface thread.
class Timer
{
  public:
    Timer(TimerScheduler &scheduler, int intervalMs);
    ~Timer();
    Timer(const Timer &) = delete;
    Timer &operator=(const Timer &) = delete;

    bool Enabled() const { return m_enabled; }
    // Enabling starts counting the interval from now.
    void setEnabled(bool enabled);
    int Interval() const { return m_schedule.interval(); }

    // Ticks on the boundaries of a clock of the program's own, the monotonic
    // clock plus `offsetMs` (a server's clock as estimated), instead of the
    // wall clock's: a step of the PC's clock then moves no tick. Counting
    // starts again from monotonic time `from`, the caller's own reading, so
    // that what it showed then and the next tick agree; a tick owed before
    // is void.
    void setPhase(std::int64_t offsetMs, std::int64_t from);
    // Back to the wall clock's boundaries, counting from now.
    void clearPhase();

    Text Tag() const { return m_tag; }
    void setTag(const Text &tag) { m_tag = tag; }

    std::function<void()> Tick;

    // While `idle` returns true a tick would change nothing, so no wake-up is
    // aimed at this timer alone: it ticks, late, on the next wake-up another
    // timer brings. Whoever changes what `idle` reads calls
    // TimerScheduler::replan.
    void setIdleWhile(std::function<bool()> idle) { m_idle = std::move(idle); }

  private:
    friend class TimerScheduler;
    TimerScheduler &m_scheduler;
    TickSchedule m_schedule;
    bool m_enabled = false;
    std::optional<std::int64_t> m_phase; // monotonic plus this, else the wall clock
    std::uint64_t m_id = 0;              // unique within the scheduler, never reused
    std::uint64_t m_epoch = 0;           // counts the enablings: a tick owed before is void
    Text m_tag;
    std::function<bool()> m_idle;
    bool m_wasIdle = false; // at the last re-arming
};

// All timers of one window on one wake-up source: timers due on the same
// boundary ride the same wake-up and tick in the order they were created.
// Ticks are delivered also while a handler waits in a nested event loop (a
// message box), so a tick handler may be entered again; the ticks still owed
// from the wake-up under way then come first, a millisecond after the loop
// begins. Whatever runs a nested loop says so first (nestedLoopBegins): an
// arming a millisecond ahead before every handler would cost a wake-up a
// second where handlers are slow.
class TimerScheduler
{
  public:
    using WallClock = std::function<std::int64_t()>;
    using MonotonicClock = std::function<std::int64_t()>;

    // `clock` reads the wall clock, `monotonic` the clock the wake-up source
    // waits on, both in milliseconds.
    TimerScheduler(std::unique_ptr<WakeSource> wake, WallClock clock, MonotonicClock monotonic);
    ~TimerScheduler();
    TimerScheduler(const TimerScheduler &) = delete;
    TimerScheduler &operator=(const TimerScheduler &) = delete;

    // Runs the due ticks; what the wake source calls.
    void onWake();
    // Aims the wake-up anew, as what an idle timer reads has changed.
    void replan();
    // A nested event loop is about to wait: ticks still owed from a wake-up
    // under way, in any scheduler of this thread, come a millisecond later.
    static void nestedLoopBegins();

  private:
    friend class Timer;
    // A tick that fell due and is not delivered yet.
    struct PendingTick {
        std::uint64_t id;
        std::uint64_t epoch;
    };

    void add(Timer *timer);
    void remove(Timer *timer);
    // Starts `timer` counting from now, or from monotonic time `from`.
    void enable(Timer *timer, std::optional<std::int64_t> from = std::nullopt);
    void rearm();
    // Owed ticks come a millisecond later, not at the next boundary.
    void flushOwed();
    // The time `timer` schedules on: the wall clock, or its own phase.
    static std::int64_t timeOf(const Timer *timer, std::int64_t wall, std::int64_t mono);
    void deliver();
    Timer *find(std::uint64_t id) const;

    std::unique_ptr<WakeSource> m_wake;
    WallClock m_clock;
    MonotonicClock m_monotonic;
    std::vector<Timer *> m_timers; // in the order of creation
    std::deque<PendingTick> m_pending;
    std::uint64_t m_nextId = 0;
    bool m_armed = false;
    // Owed ticks are to come at once: a nested loop began, or a handler threw.
    bool m_flushOwed = false;
    // The moment the armed wake-up aims at, on the wall and monotonic clocks.
    std::int64_t m_target = 0;
    std::int64_t m_monoTarget = 0;
    // The monotonic time of the last wake-up: a step seen now came after it.
    std::int64_t m_lastWake = 0;
};

} // namespace platform
