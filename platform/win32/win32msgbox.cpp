// SPDX-License-Identifier: MIT
#include "backend.h"

#include "win32.h"

namespace platform
{

// The system writes the buttons in the user's language.
MessageBoxAnswer backend::showMessageBox(const MessageBoxRequest &request)
{
    UINT flags = request.withCancel ? MB_OKCANCEL : MB_OK;
    if (request.question)
        flags |= MB_ICONQUESTION;
    if (request.withCancel && request.cancelIsDefault)
        flags |= MB_DEFBUTTON2;
    const HWND owner = GetActiveWindow();
    if (!owner)
        flags |= MB_TASKMODAL;
    const int answer =
        MessageBoxW(owner, win32::wide(request.prompt), win32::wide(request.title), flags);
    // No answer (the box could not be shown) counts as closing it.
    return request.withCancel && answer != IDOK ? MessageBoxAnswer::Cancel : MessageBoxAnswer::Ok;
}

} // namespace platform
