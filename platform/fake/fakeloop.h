// SPDX-License-Identifier: MIT
#pragma once

// The test back end's event loop: time is simulated and nothing sleeps. A
// monotonic clock drives the wake-up sources; the wall clock is the monotonic
// one plus an offset the test can step. The back end's clocks read those of
// the current loop.

#include "timer.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace platform::fake
{

class EventLoop
{
  public:
    // Becomes the current loop, whose wake sources backend::createWakeSource
    // hands out and whose clocks backend::wallClockMs and monotonicMs read;
    // `wallStart` is in milliseconds since 1970 UTC.
    explicit EventLoop(std::int64_t wallStart);
    ~EventLoop();
    EventLoop(const EventLoop &) = delete;
    EventLoop &operator=(const EventLoop &) = delete;

    // The loop of the test under way; aborts when there is none.
    static EventLoop &current();
    // The same, or null.
    static EventLoop *existing();

    std::unique_ptr<WakeSource> createWakeSource();

    // The back end's monotonic clock, which counts the time the PC sleeps,
    // and the wall clock.
    std::int64_t mono() const { return m_mono + m_asleep; }
    std::int64_t wall() const { return m_mono + m_offset; }
    // The user or a time service sets the wall clock.
    void stepWall(std::int64_t ms) { m_offset += ms; }

    // Runs the loop for `ms` of monotonic time, delivering the wake-ups that
    // fall due in time order; called from a handler, it is a nested event
    // loop, as a message box runs.
    void run(std::int64_t ms);
    // Delivers what is due now; no time passes.
    void processEvents() { run(0); }
    // The thread is busy or stopped: time passes and nothing is delivered.
    // A PC whose wake-ups wait on a clock that runs on while it sleeps sleeps
    // the same way.
    void busy(std::int64_t ms) { m_mono += ms; }
    // The PC sleeps: the wall and monotonic clocks move on while the clock
    // the wake-ups wait on (Linux's CLOCK_MONOTONIC) stands still, so a
    // wake-up due is delivered after the sleep as late as the sleep was long.
    void sleep(std::int64_t ms) { m_asleep += ms, m_offset += ms; }

    // Ends the innermost run at once, as the toolkit's exit() ends its loop.
    void quit() { m_quit = true; }
    bool quitRequested() const { return m_quit; }
    void clearQuit() { m_quit = false; }

    // What a toolkit does between events, run after each delivery and at the
    // end of every run: the tests' back end paints there and hands out the
    // input it held.
    inline static void (*betweenEvents)() = nullptr;

    // The PC's time zone, when the test plays it: the offset from UTC in ms
    // at each wall-clock instant (ms since 1970 UTC), so that zones and their
    // daylight-saving changes are the test's on every platform. Without it,
    // local time is the C run-time's (TZ).
    std::function<std::int64_t(std::int64_t utcMs)> zoneOffset;

    // How many wake sources exist.
    std::size_t wakeSources() const { return m_sources.size(); }

    // Every wake-up longer than EarlySlackMs fires this much early (never at
    // once), as a monotonic clock running ahead of the wall clock would.
    std::int64_t earlyMs = 0;

    // What the wake sources were asked and did, for tests of the schedule.
    int wakeUps = 0;
    std::vector<int> waits;
    // Whether any wake source is armed.
    bool armed() const;

  private:
    class Source;
    friend class Source;
    Source *nextDue() const;

    std::int64_t m_mono = 0;   // what the wake-ups wait on
    std::int64_t m_asleep = 0; // the time slept, which m_mono missed
    std::int64_t m_offset;
    bool m_quit = false;
    std::vector<Source *> m_sources; // in the order of creation
    EventLoop *m_previous;
};

} // namespace platform::fake
