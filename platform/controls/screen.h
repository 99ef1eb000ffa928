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

} // namespace platform
