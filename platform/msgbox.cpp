// SPDX-License-Identifier: MIT
#include "msgbox.h"

#include "application.h"

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
    return backend::showMessageBox(prompt, buttons, title);
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
