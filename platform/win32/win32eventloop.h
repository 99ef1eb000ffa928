// SPDX-License-Identifier: MIT
#pragma once

// The one event loop of the user-interface thread, shared by Application,
// the windows and the HTTP exchange's wait.

#include "win32.h"

#include <chrono>

namespace platform::win32
{

// The program's top-level windows report their life: when the last one is
// gone, the loop ends.
void windowOpened();
void windowClosed();

// Dispatches the messages that are waiting now. Returns false once the loop
// has been asked to end; the request to end stays posted for the outer loop.
bool dispatchPending();

enum class BusyWait { Done, TimedOut, Ending };
// Waits until `event` is set, the deadline passes or the program is to end,
// as a busy window waits: timers tick and the window paints, while keys,
// clicks and the close command stay queued until the wait is over.
BusyWait waitWhileBusy(HANDLE event, std::chrono::steady_clock::time_point deadline);

} // namespace platform::win32
