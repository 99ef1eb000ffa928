// SPDX-License-Identifier: MIT
#pragma once

#include <chrono>
#include <cstdint>

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

// The C++ library's wall clock in milliseconds since 1970-01-01 00:00 UTC,
// which the real back ends hand out as the PC's. Their monotonic clocks are
// their own: the library's steady clock stops while a Linux PC sleeps.
inline std::int64_t systemClockMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

// `msSinceEpoch` (milliseconds since 1970-01-01 00:00 UTC) as the local civil
// time of the PC's time zone. Windows has no local time before 1970: UTC then.
CivilDateTime localTimeOf(std::int64_t msSinceEpoch);

} // namespace platform
