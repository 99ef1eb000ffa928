// SPDX-License-Identifier: MIT
#include "x11saver.h"

#include <chrono>

#include <X11/Xlib.h>
#include <X11/extensions/scrnsaver.h>

namespace driver
{

bool x11SaverHeldOff(const std::function<void()> &pump)
{
    static Display *const observer = [] {
        Display *display = XOpenDisplay(nullptr);
        if (display)
            XSetScreenSaver(display, 1, 0, DontPreferBlanking, AllowExposures);
        return display;
    }();
    if (!observer)
        return false;
    XForceScreenSaver(observer, ScreenSaverReset);
    XSync(observer, False);
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(1500);
    while (std::chrono::steady_clock::now() < end) {
        pump();
        XScreenSaverInfo info{};
        if (XScreenSaverQueryInfo(observer, DefaultRootWindow(observer), &info) &&
            info.state == ScreenSaverOn)
            return false;
    }
    return true;
}

} // namespace driver
