// SPDX-License-Identifier: MIT
#include "screen.h"

#include "backend.h"

namespace platform
{

namespace
{
struct Override {
    bool active = false;
    double width = 0;
    double height = 0;
};

Override &testSize()
{
    static Override instance;
    return instance;
}

double primaryTwips(int ScreenMetrics::*side)
{
    const ScreenMetrics metrics = backend::primaryScreen();
    return metrics.*side * metrics.twipsPerPixel;
}
} // namespace

double Screen::Width()
{
    return testSize().active ? testSize().width : primaryTwips(&ScreenMetrics::width);
}

double Screen::Height()
{
    return testSize().active ? testSize().height : primaryTwips(&ScreenMetrics::height);
}

void Screen::setSizeOverride(double widthTwips, double heightTwips)
{
    testSize() = Override{true, widthTwips, heightTwips};
}

void Screen::clearSizeOverride()
{
    testSize() = Override{};
}

} // namespace platform
