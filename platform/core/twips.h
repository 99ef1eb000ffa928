// SPDX-License-Identifier: MIT
#pragma once

namespace platform
{

// A rectangle in whole device pixels, as a back end places a control.
struct PixelRect {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    bool operator==(const PixelRect &o) const
    {
        return left == o.left && top == o.top && width == o.width && height == o.height;
    }
};

// Twips per pixel for a screen of `dpi` dots per inch: 1440 / dpi (15 at 96);
// a dpi that is not positive counts as 96.
double twipsPerPixelAt(double dpi);

// Nearest whole pixel, held within +-1e6 (what a window system takes); NaN is 0.
int toPixels(double twips, double twipsPerPixel);
// A control's pixel rectangle from its position and size in twips.
PixelRect pixelRect(double left, double top, double width, double height, double twipsPerPixel);

} // namespace platform
