// SPDX-License-Identifier: MIT
#include "msgbox.h"

#include "win32.h"

namespace platform
{

// The program's flags are the system's (0: OK; 289: OK and Cancel, question
// mark, Cancel the default) and so are the answers (1 OK, 2 Cancel); the
// system writes the buttons in the user's language.
int backend::showMessageBox(const Text &prompt, int buttons, const Text &title)
{
    const HWND owner = GetActiveWindow();
    const int answer = MessageBoxW(owner, win32::wide(prompt), win32::wide(title),
                                   UINT(buttons) | (owner ? 0 : MB_TASKMODAL));
    if (answer == 0)
        return (buttons & 0xF) == vbOKCancel ? vbCancel : vbOK;
    return answer;
}

} // namespace platform
