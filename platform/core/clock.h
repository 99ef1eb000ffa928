// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <functional>

namespace platform
{

// A civil (wall-clock) date and time, as the calendar and the clock on the
// wall give it: no time zone attached.
struct CivilDateTime {
    int year = 1899;
    int month = 12;
    int day = 30;
    int hour = 0;
    int minute = 0;
    int second = 0;
    int millisecond = 0;
};

// Integer division rounding toward negative infinity, so that times and days
// before an epoch fall into the right unit.
constexpr std::int64_t floorDiv(std::int64_t a, std::int64_t b)
{
    std::int64_t q = a / b;
    if ((a % b != 0) && ((a < 0) != (b < 0)))
        --q;
    return q;
}

// The PC's clock. Tests fix the local time, or give the wall clock a source
// of their own that they can step.
class SystemClock
{
  public:
    // Milliseconds since 1970-01-01 00:00 UTC: what the timers schedule on.
    static std::int64_t nowMs();
    // The local civil time now: the fixed time of a test, else nowMs() in the
    // PC's time zone.
    static CivilDateTime localNow();

    // Milliseconds on the monotonic clock the timers' wake-ups wait on
    // (steady_clock), unless a test's simulated time stands in for it.
    static std::int64_t monotonicMs();

    static void setFixed(const CivilDateTime &localTime);
    static void setSource(std::function<std::int64_t()> msSinceEpoch);
    static void setMonotonicSource(std::function<std::int64_t()> ms);
    // Back to the real clocks.
    static void reset();
};

} // namespace platform
