// SPDX-License-Identifier: MIT
#pragma once

// Where the window's displays go, beyond the start-up layout's formulas:
// plain arithmetic in twips.
namespace placement
{

// Room kept between a moved date display and the window's inner right edge.
constexpr double DateMargin = 120; // twips

// The left edge of a date display `width` twips wide: `home`, unless the
// caption would then reach past `innerWidth` less the margin; then as far left
// as it needs, but not past the window's left edge.
double dateDisplayLeft(double home, double width, double innerWidth);

} // namespace placement
