// SPDX-License-Identifier: MIT
#pragma once

// The one event loop of the user-interface thread, shared by Application,
// the windows and the request's wait.

namespace platform::win32
{

// The program's top-level windows report their life: when the last one is
// gone, the loop ends.
void windowOpened();
void windowClosed();

// Dispatches the messages that are waiting now. Returns false once the loop
// has been asked to end; the request to end stays posted for the outer loop.
bool dispatchPending();

} // namespace platform::win32
