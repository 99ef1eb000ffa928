// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>

namespace platform
{

// A colour word 0x00BBGGRR: red in the low byte.
using ColourWord = std::uint32_t;

// System colours of the user's scheme, as colour words with the high bit set.
// A back end resolves them against its own palette.
enum SystemColour : ColourWord {
    SystemWindowBackground = 0x80000005,
    SystemWindowText = 0x80000008,
    SystemButtonFace = 0x8000000F,
    SystemButtonText = 0x80000012,
};

constexpr bool isSystemColour(ColourWord colour)
{
    return (colour & 0x80000000u) != 0;
}
constexpr int redOf(ColourWord colour)
{
    return int(colour & 0xFF);
}
constexpr int greenOf(ColourWord colour)
{
    return int((colour >> 8) & 0xFF);
}
constexpr int blueOf(ColourWord colour)
{
    return int((colour >> 16) & 0xFF);
}

// The classic 16-colour palette, index 0 to 15; other indexes raise
// InvalidProcedureCall.
ColourWord QBColor(int index);
// Components are clamped to 0..255.
ColourWord Rgb(int red, int green, int blue);

} // namespace platform
