// SPDX-License-Identifier: MIT
// Program start and the event loop on the Windows message queue. COM is
// initialised for the user-interface thread (a single-threaded apartment, as
// the request object expects), the common controls for the combo box, and
// the long date comes from the user's locale settings.
#include "backend.h"

#include "datetime.h"
#include "win32.h"
#include "win32eventloop.h"
#include "win32fonts.h"

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

Text localeText(LCTYPE item)
{
    wchar_t buffer[128];
    const int length =
        GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, item, buffer, int(std::size(buffer)));
    return length > 0 ? win32::fromWide(buffer, std::size_t(length - 1)) : Text();
}

// The user's long-date picture and names, for the dates GetDateFormatEx
// refuses (before 1601).
Text longDateByPicture(const CivilDate &date)
{
    DateNames names;
    for (int i = 0; i < 12; ++i) {
        names.months[i] = localeText(LOCALE_SMONTHNAME1 + i);
        names.shortMonths[i] = localeText(LOCALE_SABBREVMONTHNAME1 + i);
    }
    // The locale counts from Monday, the date from Sunday.
    for (int i = 0; i < 7; ++i) {
        names.weekdays[(i + 1) % 7] = localeText(LOCALE_SDAYNAME1 + i);
        names.shortWeekdays[(i + 1) % 7] = localeText(LOCALE_SABBREVDAYNAME1 + i);
    }
    return formatDatePicture(localeText(LOCALE_SLONGDATE), date, names);
}
} // namespace

// A date display is never a way for a server's Date to end the program: any
// date the date type holds is written.
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
        return longDateByPicture(date);
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
    win32::carryMissingFaces();
}

void backend::finish()
{
    win32::dropCarriedFaces();
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
