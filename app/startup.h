// SPDX-License-Identifier: MIT
#pragma once

namespace clockapp
{

// Creates the window, loads it and runs the event loop; returns the exit
// status. Needs a platform::Application.
int run();

} // namespace clockapp
