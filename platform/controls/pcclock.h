// SPDX-License-Identifier: MIT
#pragma once

#include "datetime.h"

#include <cstdint>

namespace platform
{

// The PC's local date and time now, the back end's wall clock in the PC's
// time zone, in whole seconds (23:59:59.600 reads 23:59:59), as the classic
// Now: the fields then never run ahead of the PC's clock by the rounding of
// Hour, Minute, Second and Format.
Date Now();

// Milliseconds on the monotonic clock that the timers' wake-ups and the HTTP
// exchanges wait on: what a request's send moment and its answer's times are
// given in.
std::int64_t monotonicNow();

} // namespace platform
