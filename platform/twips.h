#pragma once

namespace platform
{

// Twips per pixel on the primary screen: 1440 / logical dpi (15 at 96 dpi).
double twipsPerPixel();

// Nearest whole pixel, held within what a widget geometry can take.
int toPixels(double twips);

} // namespace platform
