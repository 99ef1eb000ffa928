// SPDX-License-Identifier: MIT
#pragma once

#include "text.h"
#include "version.h"

#include <vector>

namespace clockapp
{

// The time server queried by a click on the network sync prompt.
inline const platform::Text DefaultTimeServer = u"http://www.baidu.com";

// The built-in server list, in the order shown.
std::vector<platform::Text> serverList();

// The program's name, in its window and its run-time error report.
inline const platform::Text ProgramName = u"全屏时钟";

// Window title and the line printed on the window at start-up.
inline const platform::Text CreditLine =
    u"全屏时钟 " CLOCK_VERSION_SHORT u" · 制作：全屏时钟开发组 · 联系：fullscreenclock@example.org";

} // namespace clockapp
