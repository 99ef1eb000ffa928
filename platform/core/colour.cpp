// SPDX-License-Identifier: MIT
#include "colour.h"

#include "runtimeerror.h"

#include <algorithm>

namespace platform
{

ColourWord QBColor(int index)
{
    // 0x00BBGGRR, red in the low byte.
    static const ColourWord palette[16] = {
        0x000000, // 0 black
        0x800000, // 1 navy        RGB(0, 0, 128)
        0x008000, // 2 green       RGB(0, 128, 0)
        0x808000, // 3 teal        RGB(0, 128, 128)
        0x000080, // 4 maroon      RGB(128, 0, 0)
        0x800080, // 5 purple      RGB(128, 0, 128)
        0x008080, // 6 olive       RGB(128, 128, 0)
        0xC0C0C0, // 7 silver      RGB(192, 192, 192)
        0x808080, // 8 grey        RGB(128, 128, 128)
        0xFF0000, // 9 blue        RGB(0, 0, 255)
        0x00FF00, // 10 lime       RGB(0, 255, 0)
        0xFFFF00, // 11 cyan/aqua  RGB(0, 255, 255)
        0x0000FF, // 12 red        RGB(255, 0, 0)
        0xFF00FF, // 13 magenta    RGB(255, 0, 255)
        0x00FFFF, // 14 yellow     RGB(255, 255, 0)
        0xFFFFFF, // 15 white      RGB(255, 255, 255)
    };
    if (index < 0 || index > 15)
        throw RuntimeError(InvalidProcedureCall);
    return palette[index];
}

ColourWord Rgb(int red, int green, int blue)
{
    const auto clamp = [](int component) {
        return static_cast<ColourWord>(std::clamp(component, 0, 255));
    };
    return clamp(red) | (clamp(green) << 8) | (clamp(blue) << 16);
}

} // namespace platform
