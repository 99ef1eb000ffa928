// SPDX-License-Identifier: MIT
#pragma once

#include "colour.h"

#include <QColor>

namespace platform::qt
{

// The opaque QColor of a colour word; system colours follow the
// application's palette, the user's colour scheme.
QColor toQColor(ColourWord colour);

} // namespace platform::qt
