// SPDX-License-Identifier: MIT
#include "backend.h"
#include "win32.h"

namespace platform
{

ScreenMetrics backend::primaryScreen()
{
    const win32::WindowDc screen(nullptr);
    const int dpi = screen.get() ? GetDeviceCaps(screen.get(), LOGPIXELSX) : 96;
    return {GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN), twipsPerPixelAt(dpi)};
}

} // namespace platform
