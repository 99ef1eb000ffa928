#pragma once

#include <QSizeF>

namespace platform {

// The primary screen, in twips.
class Screen
{
public:
    static double Width();
    static double Height();

    // Tests pretend another screen size; an invalid size restores the real one.
    static void setSizeOverride(const QSizeF &twips);
};

} // namespace platform
