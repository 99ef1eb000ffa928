// SPDX-License-Identifier: MIT
#include "clock.h"

#include <ctime>

namespace platform
{

CivilDateTime localTimeOf(std::int64_t msSinceEpoch)
{
    const std::time_t time = static_cast<std::time_t>(floorDiv(msSinceEpoch, 1000));
    const int millisecond = int(msSinceEpoch - floorDiv(msSinceEpoch, 1000) * 1000);
    // The user-interface thread is the only caller, so the shared result of
    // localtime is safe here.
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

} // namespace platform
