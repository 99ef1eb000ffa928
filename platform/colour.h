#pragma once

#include <QColor>

#include <cstdint>

namespace platform {

// A colour word 0x00BBGGRR: red in the low byte.
using ColourWord = std::uint32_t;

// The classic 16-colour palette, index 0 to 15; other indexes raise
// InvalidProcedureCall.
ColourWord QBColor(int index);
// Components are clamped to 0..255.
ColourWord Rgb(int red, int green, int blue);

QColor toQColor(ColourWord colour);

} // namespace platform
