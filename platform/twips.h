#pragma once

#include <QRect>

namespace platform
{

// Twips per pixel on the primary screen: 1440 / logical dpi (15 at 96 dpi).
double twipsPerPixel();

// Nearest whole pixel, held within what a widget geometry can take.
int toPixels(double twips);
// A widget geometry from a position and size in twips.
QRect pixelRect(double left, double top, double width, double height);

} // namespace platform
