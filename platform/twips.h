#pragma once

namespace platform {

// Twips per pixel on the primary screen: 1440 / logical dpi (15 at 96 dpi).
double twipsPerPixel();

} // namespace platform
