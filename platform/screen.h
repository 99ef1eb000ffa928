#pragma once

#include <QSizeF>

namespace platform
{

// The primary screen, in twips.
class Screen
{
  public:
    static double Width();
    static double Height();

    // Tests pretend another screen size, any values included.
    static void setSizeOverride(const QSizeF &twips);
    static void clearSizeOverride();
};

} // namespace platform
