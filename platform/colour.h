#pragma once

#include <QColor>

#include <cstdint>

namespace platform
{

// A colour word 0x00BBGGRR: red in the low byte.
using ColourWord = std::uint32_t;

// System colours of the user's scheme, as colour words with the high bit set.
enum SystemColour : ColourWord {
    SystemWindowBackground = 0x80000005,
    SystemWindowText = 0x80000008,
    SystemButtonFace = 0x8000000F,
    SystemButtonText = 0x80000012,
};

// The classic 16-colour palette, index 0 to 15; other indexes raise
// InvalidProcedureCall.
ColourWord QBColor(int index);
// Components are clamped to 0..255.
ColourWord Rgb(int red, int green, int blue);

// The opaque QColor of a colour word; the high byte is ignored.
QColor toQColor(ColourWord colour);

} // namespace platform
