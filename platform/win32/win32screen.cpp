// SPDX-License-Identifier: MIT
#include "screen.h"

#include "twips.h"
#include "win32.h"

namespace platform
{

backend::ScreenMetrics backend::primaryScreen()
{
    const win32::WindowDc screen(nullptr);
    const int dpi = screen.get() ? GetDeviceCaps(screen.get(), LOGPIXELSX) : 96;
    return {GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN), twipsPerPixelAt(dpi)};
}

} // namespace platform
