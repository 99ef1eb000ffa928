// SPDX-License-Identifier: MIT
#include "twips.h"

#include <algorithm>
#include <cmath>

namespace platform
{

double twipsPerPixelAt(double dpi)
{
    return 1440.0 / (dpi > 0 ? dpi : 96.0);
}

int toPixels(double twips, double twipsPerPixel)
{
    const double pixels = twips / twipsPerPixel;
    if (std::isnan(pixels))
        return 0;
    return int(std::lround(std::clamp(pixels, -1.0e6, 1.0e6)));
}

PixelRect pixelRect(double left, double top, double width, double height, double twipsPerPixel)
{
    return PixelRect{toPixels(left, twipsPerPixel), toPixels(top, twipsPerPixel),
                     toPixels(width, twipsPerPixel), toPixels(height, twipsPerPixel)};
}

} // namespace platform
