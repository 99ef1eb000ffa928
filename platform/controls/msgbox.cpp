// SPDX-License-Identifier: MIT
#include "msgbox.h"

#include "application.h"
#include "backend.h"
#include "timer.h"

namespace platform
{

int MsgBox(const Text &prompt, int buttons, const Text &title)
{
    MessageBoxRequest request{prompt, title};
    request.withCancel = (buttons & 0xF) == vbOKCancel;
    request.question = (buttons & vbQuestion) != 0;
    request.cancelIsDefault = request.withCancel && (buttons & vbDefaultButton2) != 0;
    TimerScheduler::nestedLoopBegins();
    return backend::showMessageBox(request) == MessageBoxAnswer::Cancel ? vbCancel : vbOK;
}

void reportRuntimeError(const RuntimeError &error)
{
    MsgBox(errorReport(error), vbOKOnly, Application::Title());
    Application::exit(1);
}

} // namespace platform
