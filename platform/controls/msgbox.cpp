// SPDX-License-Identifier: MIT
#include "msgbox.h"

#include "application.h"
#include "backend.h"

namespace platform
{

namespace
{
MsgBoxHook &hook()
{
    static MsgBoxHook instance;
    return instance;
}
} // namespace

int MsgBox(const Text &prompt, int buttons, const Text &title)
{
    if (hook())
        return hook()(prompt, buttons, title);
    MessageBoxRequest request{prompt, title};
    request.withCancel = (buttons & 0xF) == vbOKCancel;
    request.question = (buttons & vbQuestion) != 0;
    request.cancelIsDefault = request.withCancel && (buttons & vbDefaultButton2) != 0;
    return backend::showMessageBox(request) == MessageBoxAnswer::Cancel ? vbCancel : vbOK;
}

void setMsgBoxHook(MsgBoxHook newHook)
{
    hook() = std::move(newHook);
}

void reportRuntimeError(const RuntimeError &error)
{
    MsgBox(errorReport(error), vbOKOnly, Application::Title());
    Application::exit(1);
}

} // namespace platform
