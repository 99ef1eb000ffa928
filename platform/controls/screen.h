// SPDX-License-Identifier: MIT
#pragma once

namespace platform
{

// The primary screen, in twips.
class Screen
{
  public:
    static double Width();
    static double Height();
};

} // namespace platform
