// SPDX-License-Identifier: MIT
#pragma once

#include <memory>

namespace platform::qt
{

// Keeps the display on and the screen saver off for as long as it lives:
// asked of the desktop's screen saver on the session bus
// (org.freedesktop.ScreenSaver, as GNOME and KDE offer it on X11 and
// Wayland), and where the session has none, of the X server's screen-saver
// extension. Neither stops the user from locking the session. When no one
// grants it nothing is said.
class DisplayKeeper
{
  public:
    DisplayKeeper();
    ~DisplayKeeper();
    DisplayKeeper(const DisplayKeeper &) = delete;
    DisplayKeeper &operator=(const DisplayKeeper &) = delete;

  private:
    // Shared with the answer to the request, which may come after the end.
    struct Request;
    std::shared_ptr<Request> m_request;
};

} // namespace platform::qt
