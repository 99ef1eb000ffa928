#pragma once

#include <QString>

#include <functional>

namespace platform
{

enum MsgBoxStyle : int {
    vbOKOnly = 0,
    vbOKCancel = 1,
    vbQuestion = 32,
    vbDefaultButton2 = 256,
};

enum MsgBoxResult : int {
    vbOK = 1,
    vbCancel = 2,
};

// Modal message box; returns the button chosen. Escape or closing the box
// answers Cancel where there is one, else OK.
int MsgBox(const QString &prompt, int buttons, const QString &title);

// Tests answer message boxes through this hook; an empty hook restores the
// real dialogs.
using MsgBoxHook = std::function<int(const QString &prompt, int buttons, const QString &title)>;
void setMsgBoxHook(MsgBoxHook hook);

} // namespace platform
