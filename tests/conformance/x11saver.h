// SPDX-License-Identifier: MIT
#pragma once

#include <functional>

namespace driver
{

// Whether the X server's own screen saver is held off: on a connection of
// its own the saver is set to start after a second of idleness and reset;
// held off, it is still off a second and a half later. `pump` runs the
// program's event loop meanwhile.
bool x11SaverHeldOff(const std::function<void()> &pump);

} // namespace driver
