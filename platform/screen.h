// SPDX-License-Identifier: MIT
#pragma once

namespace platform
{

// The primary screen, in twips.
class Screen
{
  public:
    static double Width();
    static double Height();

    // Tests pretend another screen size, any values included.
    static void setSizeOverride(double widthTwips, double heightTwips);
    static void clearSizeOverride();
};

namespace backend
{
// The primary screen's size in pixels and its twips per pixel.
struct ScreenMetrics {
    int width = 0;
    int height = 0;
    double twipsPerPixel = 15;
};
ScreenMetrics primaryScreen();
} // namespace backend

} // namespace platform
