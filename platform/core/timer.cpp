// SPDX-License-Identifier: MIT
#include "timer.h"

#include "clock.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <exception>
#include <limits>
#include <utility>

namespace platform
{

namespace
{

// The wait for an overdue timer, and the one that lets a nested event loop
// deliver the ticks still owed from the wake-up under way.
constexpr std::int64_t FlushMs = 1;

// The schedulers of this thread delivering ticks, innermost last.
thread_local std::vector<TimerScheduler *> delivering;

} // namespace

// ---- TickSchedule --------------------------------------------------------------
// A schedule with an interval of 0 or less never ticks; the scheduler never
// consults one.

std::int64_t TickSchedule::nextBoundary(std::int64_t now) const
{
    return (floorDiv(now, m_interval) + 1) * m_interval;
}

void TickSchedule::start(std::int64_t now, std::int64_t mono)
{
    m_ticked = false;
    m_wallAhead = now - mono;
    if (m_interval > 0)
        m_due = nextBoundary(now);
}

void TickSchedule::ticked(std::int64_t now, std::int64_t mono)
{
    m_ticked = true;
    m_lastTick = mono;
    m_wallAhead = now - mono;
    if (m_interval > 0)
        m_due = nextBoundary(now);
}

bool TickSchedule::wake(std::int64_t now)
{
    if (m_interval <= 0)
        return false;
    if (now < m_due) {
        const std::int64_t early = m_due - now;
        if (early <= EarlySlackMs && early <= m_interval)
            return false;
        // Further off than the monotonic clock can drift: the wall clock was
        // set back. Tick now, then follow the new clock.
    }
    // Due, late (a busy thread) or pushed past by a step forward: one tick,
    // however many boundaries went by.
    m_due = nextBoundary(now);
    return true;
}

bool TickSchedule::wake(std::int64_t now, std::int64_t mono, std::int64_t previousWake)
{
    const std::int64_t wallAhead = now - mono;
    if (m_interval <= 0 || !m_ticked || std::llabs(wallAhead - m_wallAhead) <= EarlySlackMs)
        return wake(now);
    // The wall clock was stepped since the last tick.
    m_wallAhead = wallAhead;
    const std::int64_t earliest = std::max(mono, m_lastTick + m_interval / 2);
    // The stepped clock's first boundary from `earliest` on, on the monotonic
    // clock; a wake-up up to EarlySlackMs past a boundary is on it.
    std::int64_t at = nextBoundary(now + (earliest - mono) - EarlySlackMs - 1) - now + mono;
    at = std::max(at, earliest);
    // The step came after the previous wake-up and the last tick.
    if (at - std::max(previousWake, m_lastTick) > m_interval)
        at = earliest;
    if (at <= mono) {
        m_due = nextBoundary(now);
        return true;
    }
    m_due = now + (at - mono);
    return false;
}

// ---- Timer ---------------------------------------------------------------------

Timer::Timer(TimerScheduler &scheduler, int intervalMs)
    : m_scheduler(scheduler), m_schedule(intervalMs)
{
    m_scheduler.add(this);
}

Timer::~Timer()
{
    m_scheduler.remove(this);
}

void Timer::setEnabled(bool enabled)
{
    if (enabled == m_enabled)
        return;
    m_enabled = enabled;
    if (enabled) {
        ++m_epoch;
        m_scheduler.enable(this);
    } else {
        m_scheduler.rearm();
    }
}

void Timer::setPhase(std::int64_t offsetMs, std::int64_t from)
{
    m_phase = offsetMs;
    if (m_enabled) {
        ++m_epoch;
        m_scheduler.enable(this, from);
    }
}

void Timer::clearPhase()
{
    if (!m_phase)
        return;
    m_phase.reset();
    if (m_enabled) {
        ++m_epoch;
        m_scheduler.enable(this);
    }
}

// ---- TimerScheduler ------------------------------------------------------------

TimerScheduler::TimerScheduler(std::unique_ptr<WakeSource> wake, WallClock clock,
                               MonotonicClock monotonic)
    : m_wake(std::move(wake)), m_clock(std::move(clock)), m_monotonic(std::move(monotonic)),
      m_lastWake(m_monotonic())
{
    m_wake->onWake = [this] { onWake(); };
}

TimerScheduler::~TimerScheduler()
{
    m_wake->cancel();
    m_wake->onWake = nullptr;
}

void TimerScheduler::add(Timer *timer)
{
    timer->m_id = ++m_nextId;
    m_timers.push_back(timer);
}

void TimerScheduler::remove(Timer *timer)
{
    m_timers.erase(std::remove(m_timers.begin(), m_timers.end(), timer), m_timers.end());
    if (timer->m_enabled)
        rearm();
}

std::int64_t TimerScheduler::timeOf(const Timer *timer, std::int64_t wall, std::int64_t mono)
{
    return timer->m_phase ? mono + *timer->m_phase : wall;
}

void TimerScheduler::enable(Timer *timer, std::optional<std::int64_t> from)
{
    if (timer->Interval() > 0) {
        const std::int64_t mono = from ? *from : m_monotonic();
        timer->m_schedule.start(timeOf(timer, m_clock(), mono), mono);
    }
    rearm();
}

Timer *TimerScheduler::find(std::uint64_t id) const
{
    for (Timer *timer : m_timers) {
        if (timer->m_id == id)
            return timer;
    }
    return nullptr;
}

// Aims the one wake-up at the earliest due timer, or soon when ticks are
// still owed.
void TimerScheduler::rearm()
{
    std::int64_t now = 0;
    std::int64_t mono = 0;
    bool haveNow = false;
    std::int64_t wait = std::numeric_limits<std::int64_t>::max();
    for (Timer *timer : m_timers) {
        if (!timer->m_enabled || timer->Interval() <= 0)
            continue;
        const bool idle = timer->m_idle && timer->m_idle();
        const bool wasIdle = std::exchange(timer->m_wasIdle, idle);
        if (idle)
            continue;
        if (!haveNow) {
            now = m_clock();
            mono = m_monotonic();
            haveNow = true;
        }
        const std::int64_t time = timeOf(timer, now, mono);
        // A boundary passed while the timer was idle had a tick that changed
        // nothing: the next comes on the next boundary, not at once.
        if (wasIdle && timer->m_schedule.due() <= time)
            timer->m_schedule.start(time, mono);
        std::int64_t ahead = timer->m_schedule.due() - time;
        // Overdue (a busy thread), or further ahead than one interval (the
        // wall clock went back since): wake at once.
        if (ahead <= 0 || ahead > timer->Interval())
            ahead = FlushMs;
        wait = std::min(wait, ahead);
    }
    if (m_pending.empty())
        m_flushOwed = false;
    if (m_flushOwed) {
        if (!haveNow) {
            now = m_clock();
            mono = m_monotonic();
        }
        wait = FlushMs;
    } else if (!haveNow) {
        m_armed = false;
        m_wake->cancel();
        return;
    }
    // The same moment as armed already (to the rounding of two readings):
    // nothing to tell the wake-up source. The wall clock's aim follows the
    // latest reading all the same, for telling a step back at the wake-up.
    m_target = now + wait;
    if (m_armed && std::abs(mono + wait - m_monoTarget) <= 1)
        return;
    m_armed = true;
    m_monoTarget = mono + wait;
    m_wake->wakeAfter(int(wait));
}

void TimerScheduler::replan()
{
    if (m_pending.empty()) // else the delivery under way re-arms
        rearm();
}

void TimerScheduler::flushOwed()
{
    if (m_pending.empty() || m_flushOwed)
        return;
    m_flushOwed = true;
    rearm();
}

void TimerScheduler::nestedLoopBegins()
{
    for (TimerScheduler *scheduler : delivering)
        scheduler->flushOwed();
}

void TimerScheduler::onWake()
{
    const std::int64_t now = m_clock();
    const std::int64_t mono = m_monotonic();
    const std::int64_t previousWake = std::exchange(m_lastWake, mono);
    // The wake-up runs on the monotonic clock: a wall clock far behind the
    // time aimed at was set back, and every timer follows it at once.
    const bool setBack = m_armed && now < m_target - TickSchedule::EarlySlackMs;
    m_armed = false;

    // All schedules first, in the order of creation, so that a tick handler
    // that runs a nested event loop finds them up to date.
    for (Timer *timer : m_timers) {
        if (!timer->m_enabled || timer->Interval() <= 0)
            continue;
        // A phased timer's clock runs on the monotonic one: no step reaches it.
        const std::int64_t time = timeOf(timer, now, mono);
        const std::int64_t ahead = timer->m_schedule.due() - time;
        if (!(setBack && !timer->m_phase) && ahead > TickSchedule::EarlySlackMs &&
            ahead <= timer->Interval())
            continue; // not due on this wake-up
        if (!timer->m_schedule.wake(time, mono, previousWake))
            continue;
        // One owed tick per timer at most, as several missed intervals give a
        // single tick.
        const bool owed =
            std::any_of(m_pending.begin(), m_pending.end(), [&](const PendingTick &p) {
                return p.id == timer->m_id && p.epoch == timer->m_epoch;
            });
        if (!owed)
            m_pending.push_back(PendingTick{timer->m_id, timer->m_epoch});
    }
    deliver();
}

// Delivers the owed ticks in order. A nested event loop inside a tick handler
// delivers the rest from its own wake-up; the queue is shared, so every tick
// is delivered once. A timer disabled, re-enabled or destroyed since its tick
// fell due does not get it.
void TimerScheduler::deliver()
{
    // Listed while it delivers; a handler that throws leaves the ticks still
    // owed to come at once.
    struct Delivering {
        TimerScheduler *scheduler;
        int exceptions = std::uncaught_exceptions();
        explicit Delivering(TimerScheduler *s) : scheduler(s) { delivering.push_back(s); }
        ~Delivering()
        {
            delivering.erase(std::find(delivering.rbegin(), delivering.rend(), scheduler).base() -
                             1);
            if (std::uncaught_exceptions() > exceptions) {
                try {
                    scheduler->flushOwed();
                } catch (...) { // the handler's error is the one to report
                }
            }
        }
    } listed(this);
    while (!m_pending.empty()) {
        const PendingTick tick = m_pending.front();
        m_pending.pop_front();
        Timer *timer = find(tick.id);
        if (!timer || !timer->m_enabled || timer->m_epoch != tick.epoch)
            continue;
        // The next tick on the boundary after this one, also when an earlier
        // handler ran long or the wall clock was stepped meanwhile.
        const std::int64_t mono = m_monotonic();
        timer->m_schedule.ticked(timeOf(timer, m_clock(), mono), mono);
        rearm(); // the next boundary, also should the handler wait in a nested loop
        if (timer->Tick)
            timer->Tick();
    }
    rearm();
}

} // namespace platform
