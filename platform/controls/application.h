// SPDX-License-Identifier: MIT
#pragma once

#include "text.h"

namespace platform
{

// Program start and the event loop of the back end that is built. Create one
// before any window; it starts the toolkit and installs its locale services
// (the long date).
class Application
{
  public:
    // `title` names the program, also in the run-time error report.
    Application(int &argc, char **argv, const Text &title);
    ~Application();
    Application(const Application &) = delete;
    Application &operator=(const Application &) = delete;

    static Text Title();
    // Runs the event loop until the last window has closed or exit() is
    // called; returns the exit status.
    static int exec();
    static void exit(int status);
    // Dispatches the pending events from inside a handler, then returns.
    static void DoEvents();
};

} // namespace platform
