#pragma once

namespace clockapp
{

// Creates the window, loads it and runs the event loop; returns the exit status.
int run();

} // namespace clockapp
