// SPDX-License-Identifier: MIT
#pragma once

#include "colour.h"
#include "text.h"
#include "version.h"

#include <vector>

namespace clockapp
{

// The time server queried by a click on the network sync prompt.
inline const platform::Text DefaultTimeServer = u"http://www.baidu.com";
// The server list's text at start: not a server.
inline const platform::Text ServerListPrompt = u"请选择需要同步的服务器";

// The built-in server list, in the order shown.
std::vector<platform::Text> serverList();

// The colour of the big digits while they show the PC's time (16576).
constexpr platform::ColourWord LocalModeColour = 0x000040C0;

// The program's name, in its window and its run-time error report.
inline const platform::Text ProgramName = u"全屏时钟";

// Window title and the line printed on the window at start-up.
inline const platform::Text CreditLine =
    u"全屏时钟 " CLOCK_VERSION_SHORT u" · 制作：全屏时钟开发组 · 联系：fullscreenclock@example.org";

} // namespace clockapp
