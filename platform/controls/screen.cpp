// SPDX-License-Identifier: MIT
#include "screen.h"

#include "backend.h"

namespace platform
{

double Screen::Width()
{
    const ScreenMetrics metrics = backend::primaryScreen();
    return metrics.width * metrics.twipsPerPixel;
}

double Screen::Height()
{
    const ScreenMetrics metrics = backend::primaryScreen();
    return metrics.height * metrics.twipsPerPixel;
}

} // namespace platform
