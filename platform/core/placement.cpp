// SPDX-License-Identifier: MIT
#include "placement.h"

#include <algorithm>

namespace placement
{

// A long date of some locales is wider than the room right of the display's
// start-up place: it moves left just enough to end inside the window.
double dateDisplayLeft(double home, double width, double innerWidth)
{
    const double fitting = innerWidth - DateMargin - width;
    return std::max(0.0, std::min(home, fitting));
}

} // namespace placement
