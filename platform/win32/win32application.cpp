// SPDX-License-Identifier: MIT
// Program start and the event loop on the Windows message queue. COM is
// initialised for the user-interface thread (a single-threaded apartment, as
// the request object expects), the common controls for the combo box, and
// the long date comes from the user's locale settings.
#include "backend.h"

#include "runtimeerror.h"
#include "win32.h"
#include "win32eventloop.h"

#include <commctrl.h>
#include <objbase.h>

#include <iterator>

namespace platform
{

namespace
{
HRESULT g_com = E_FAIL;
int g_openWindows = 0;
bool g_exitRequested = false;
int g_exitStatus = 0;
// A bound on every wait of the loop; messages end the wait at once.
constexpr DWORD LoopWaitMs = 1000;

void requestExit(int status)
{
    g_exitRequested = true;
    g_exitStatus = status;
    PostQuitMessage(status);
}
} // namespace

Text backend::formatLongDate(const CivilDate &date)
{
    SYSTEMTIME day{};
    day.wYear = WORD(date.year);
    day.wMonth = WORD(date.month);
    day.wDay = WORD(date.day);
    day.wDayOfWeek = WORD(date.weekday);
    wchar_t buffer[128];
    const int length = GetDateFormatEx(LOCALE_NAME_USER_DEFAULT, DATE_LONGDATE, &day, nullptr,
                                       buffer, int(std::size(buffer)), nullptr);
    if (length <= 0)
        throw RuntimeError(InvalidProcedureCall);
    return win32::fromWide(buffer, std::size_t(length - 1));
}

namespace win32
{

void windowOpened()
{
    ++g_openWindows;
}

void windowClosed()
{
    if (--g_openWindows == 0 && !g_exitRequested)
        requestExit(0);
}

bool dispatchPending()
{
    MSG message;
    // Bounded: what is posted meanwhile waits for the next call.
    for (int i = 0; i < 1000 && PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE); ++i) {
        if (message.message == WM_QUIT) {
            PostQuitMessage(int(message.wParam));
            return false;
        }
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return !g_exitRequested;
}

} // namespace win32

void backend::start(int &argc, char **argv, const Text &title)
{
    (void)argc;
    (void)argv;
    (void)title;
    g_com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    INITCOMMONCONTROLSEX controls{};
    controls.dwSize = sizeof(controls);
    controls.dwICC = ICC_STANDARD_CLASSES;
    InitCommonControlsEx(&controls);
}

void backend::finish()
{
    if (SUCCEEDED(g_com))
        CoUninitialize();
    g_com = E_FAIL;
}

int backend::exec()
{
    for (;;) {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT) {
                const int status = g_exitRequested ? g_exitStatus : int(message.wParam);
                g_exitRequested = false;
                return status;
            }
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        MsgWaitForMultipleObjectsEx(0, nullptr, LoopWaitMs, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    }
}

void backend::exit(int status)
{
    requestExit(status);
}

void backend::processEvents()
{
    win32::dispatchPending();
}

} // namespace platform
