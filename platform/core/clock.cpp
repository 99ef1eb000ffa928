// SPDX-License-Identifier: MIT
#include "clock.h"

#include <chrono>
#include <ctime>
#include <optional>
#include <utility>

namespace platform
{

namespace
{

struct ClockState {
    std::optional<CivilDateTime> fixed;      // a test's local time
    std::function<std::int64_t()> source;    // a test's wall clock
    std::function<std::int64_t()> monotonic; // a test's monotonic clock
};

ClockState &state()
{
    static ClockState clock;
    return clock;
}

} // namespace

std::int64_t SystemClock::nowMs()
{
    const ClockState &clock = state();
    if (clock.source)
        return clock.source();
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

CivilDateTime SystemClock::localNow()
{
    const ClockState &clock = state();
    if (clock.fixed)
        return *clock.fixed;

    const std::int64_t ms = nowMs();
    std::int64_t seconds = ms / 1000;
    int millisecond = int(ms % 1000);
    if (millisecond < 0) {
        --seconds;
        millisecond += 1000;
    }
    const std::time_t time = static_cast<std::time_t>(seconds);
    // The user-interface thread is the only caller, so the shared result of
    // localtime is safe here. Windows has no local time before 1970: UTC then.
    const std::tm *local = std::localtime(&time);
    if (!local)
        local = std::gmtime(&time);
    if (!local)
        return CivilDateTime{};
    // A leap second (tm_sec 60) reads as the second before it.
    return CivilDateTime{local->tm_year + 1900,
                         local->tm_mon + 1,
                         local->tm_mday,
                         local->tm_hour,
                         local->tm_min,
                         local->tm_sec < 60 ? local->tm_sec : 59,
                         millisecond};
}

void SystemClock::setFixed(const CivilDateTime &localTime)
{
    state().fixed = localTime;
}

void SystemClock::setSource(std::function<std::int64_t()> msSinceEpoch)
{
    state().source = std::move(msSinceEpoch);
}

std::int64_t SystemClock::monotonicMs()
{
    const ClockState &clock = state();
    if (clock.monotonic)
        return clock.monotonic();
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

void SystemClock::setMonotonicSource(std::function<std::int64_t()> ms)
{
    state().monotonic = std::move(ms);
}

void SystemClock::reset()
{
    state() = ClockState{};
}

} // namespace platform
