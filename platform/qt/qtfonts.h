// SPDX-License-Identifier: MIT
#pragma once

namespace platform::qt
{

// Maps the font families the program asks for onto installed fonts and sets
// the default user-interface font. Idempotent; needs the QApplication.
void installFonts();

} // namespace platform::qt
