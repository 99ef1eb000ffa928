// SPDX-License-Identifier: MIT
#include "pcclock.h"

#include "backend.h"

namespace platform
{

Date Now()
{
    CivilDateTime now = backend::localTime(backend::wallClockMs());
    now.millisecond = 0;
    return fromCivil(now);
}

std::int64_t monotonicNow()
{
    return backend::monotonicMs();
}

} // namespace platform
