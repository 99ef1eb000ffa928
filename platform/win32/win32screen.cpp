// SPDX-License-Identifier: MIT
#include "backend.h"
#include "win32.h"

namespace platform
{

int win32::systemDpi()
{
    static const int dpi = [] {
        const WindowDc screen(nullptr);
        const int read = screen.get() ? GetDeviceCaps(screen.get(), LOGPIXELSX) : 0;
        return read > 0 ? read : 96;
    }();
    return dpi;
}

ScreenMetrics backend::primaryScreen()
{
    return {GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN),
            twipsPerPixelAt(win32::systemDpi())};
}

} // namespace platform
