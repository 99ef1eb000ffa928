// SPDX-License-Identifier: MIT
#pragma once

#include "text.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <vector>

namespace platform
{

// What a back end provides to wake the user-interface thread once: after
// wakeAfter(ms) it calls onWake on that thread (unless cancelled or re-armed
// first). A later wakeAfter replaces the earlier one.
class WakeSource
{
  public:
    virtual ~WakeSource() = default;
    virtual void wakeAfter(int milliseconds) = 0;
    virtual void cancel() = 0;

    std::function<void()> onWake;
};

// When one timer ticks, on the wall clock's boundaries: a 1000 ms timer just
// after each whole second, a 500 ms timer just after each half second. A
// free-running interval drifts against the clock, so a displayed second would
// now and then show twice and skip the next.
//
// Pure arithmetic over the wall-clock time it is given, so that tests can
// step the clock: ticks missed while the thread was busy, or skipped by a step
// forward, arrive as one late tick; a wake-up a little before the boundary
// (the wake-up runs on the monotonic clock) waits the rest; a wake-up that
// finds the wall clock set back ticks at once and continues on the new
// clock's boundaries.
class TickSchedule
{
  public:
    // Up to this early, a wake-up is the monotonic clock running ahead of the
    // wall clock, not the wall clock being set back.
    static constexpr std::int64_t EarlySlackMs = 50;

    explicit TickSchedule(int intervalMs) : m_interval(intervalMs) {}

    int interval() const { return m_interval; }
    std::int64_t due() const { return m_due; }

    // Starts counting at `now`; returns the wait until the first tick.
    std::int64_t start(std::int64_t now);

    struct Wake {
        bool tick;           // deliver a tick now
        std::int64_t waitMs; // then wait this long, in (0, interval]
    };
    // A wake-up at wall-clock time `now`.
    Wake wake(std::int64_t now);

  private:
    std::int64_t nextBoundary(std::int64_t now) const;

    int m_interval;
    std::int64_t m_due = 0;
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

    Text Tag() const { return m_tag; }
    void setTag(const Text &tag) { m_tag = tag; }

    std::function<void()> Tick;

  private:
    friend class TimerScheduler;
    TimerScheduler &m_scheduler;
    TickSchedule m_schedule;
    bool m_enabled = false;
    std::uint64_t m_id = 0;    // unique within the scheduler, never reused
    std::uint64_t m_epoch = 0; // counts the enablings: a tick owed before is void
    Text m_tag;
};

// All timers of one window on one wake-up source: timers due on the same
// boundary ride the same wake-up and tick in the order they were created.
// Ticks are delivered also while a handler waits in a nested event loop (a
// message box), so a tick handler may be entered again; the ticks still owed
// from the wake-up under way then come first, a millisecond later.
class TimerScheduler
{
  public:
    using WallClock = std::function<std::int64_t()>;

    // The wall clock defaults to SystemClock::nowMs.
    explicit TimerScheduler(std::unique_ptr<WakeSource> wake, WallClock clock = {});
    ~TimerScheduler();
    TimerScheduler(const TimerScheduler &) = delete;
    TimerScheduler &operator=(const TimerScheduler &) = delete;

    // Runs the due ticks; what the wake source calls.
    void onWake();

  private:
    friend class Timer;
    // A tick that fell due and is not delivered yet.
    struct PendingTick {
        std::uint64_t id;
        std::uint64_t epoch;
    };

    void add(Timer *timer);
    void remove(Timer *timer);
    void enable(Timer *timer);
    void rearm();
    void deliver();
    Timer *find(std::uint64_t id) const;

    std::unique_ptr<WakeSource> m_wake;
    WallClock m_clock;
    std::vector<Timer *> m_timers; // in the order of creation
    std::deque<PendingTick> m_pending;
    std::uint64_t m_nextId = 0;
    bool m_armed = false;
    // The wall-clock time the armed wake-up aims at.
    std::int64_t m_target = 0;
};

} // namespace platform
