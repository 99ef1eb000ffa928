// SPDX-License-Identifier: MIT
// Program start and the event loop on the Windows message queue: the common
// controls for the combo box, the long date from the user's locale settings,
// the local time in the system's current zone, and the wait of a busy window
// while an HTTP exchange runs.
#include "backend.h"
#include "clock.h"

#include "datetime.h"
#include "win32.h"
#include "win32eventloop.h"
#include "win32fonts.h"

#include <commctrl.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cwchar>
#include <iterator>
#include <optional>

namespace platform
{

namespace
{
int g_openWindows = 0;
bool g_exitRequested = false;
int g_exitStatus = 0;

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

std::int64_t backend::wallClockMs()
{
    return systemClockMs();
}

// The performance counter runs on while the PC sleeps.
std::int64_t backend::monotonicMs()
{
    static const std::int64_t frequency = [] {
        LARGE_INTEGER f{};
        QueryPerformanceFrequency(&f); // never fails since Windows XP
        return std::int64_t(f.QuadPart);
    }();
    LARGE_INTEGER count{};
    QueryPerformanceCounter(&count);
    // Whole seconds and the rest apart, so that the product cannot overflow.
    return count.QuadPart / frequency * 1000 + count.QuadPart % frequency * 1000 / frequency;
}

// The rules of the system's zone of the moment for a year. Asking which zone
// it is costs little; its rules come from the registry, so the last zone's
// are kept until the zone, its daylight-saving switch or the year changes.
namespace
{
const TIME_ZONE_INFORMATION *zoneRules(WORD year)
{
    struct Kept {
        DYNAMIC_TIME_ZONE_INFORMATION zone{};
        WORD year = 0;
        TIME_ZONE_INFORMATION rules{};
    };
    thread_local std::optional<Kept> kept;
    DYNAMIC_TIME_ZONE_INFORMATION zone{};
    if (GetDynamicTimeZoneInformation(&zone) != TIME_ZONE_ID_INVALID) {
        const auto same = [&](const Kept &k) {
            return k.year == year &&
                   k.zone.DynamicDaylightTimeDisabled == zone.DynamicDaylightTimeDisabled &&
                   std::wcscmp(k.zone.TimeZoneKeyName, zone.TimeZoneKeyName) == 0;
        };
        if (kept && same(*kept))
            return &kept->rules;
        Kept fresh{zone, year, {}};
        if (GetTimeZoneInformationForYear(year, &zone, &fresh.rules)) {
            kept = fresh;
            return &kept->rules;
        }
    }
    // A zone the registry does not list has no rules by year.
    kept.reset();
    thread_local TIME_ZONE_INFORMATION plain{};
    return GetTimeZoneInformation(&plain) != TIME_ZONE_ID_INVALID ? &plain : nullptr;
}
} // namespace

// The zone as the system has it now, at every reading, where the C run-time
// reads it once: a change of zone or of its daylight-saving switch shows at
// the next tick. The rules are those of the year (dynamic daylight saving);
// a zone the registry does not list keeps the rules the system gave. A
// reading never ends the program: should the system fail it, the C
// run-time's answers.
CivilDateTime backend::localTime(std::int64_t msSinceEpoch)
{
    // FILETIME counts 100 ns from 1601-01-01 UTC, in 63 bits.
    constexpr std::int64_t MsFrom1601To1970 = 11644473600000;
    constexpr std::int64_t LastMs = INT64_MAX / 10000 - MsFrom1601To1970;
    if (msSinceEpoch < -MsFrom1601To1970 || msSinceEpoch > LastMs)
        return localTimeOf(msSinceEpoch);
    const auto ticks = std::uint64_t(msSinceEpoch + MsFrom1601To1970) * 10000;
    const FILETIME file{DWORD(ticks), DWORD(ticks >> 32)};
    SYSTEMTIME utc{};
    if (!FileTimeToSystemTime(&file, &utc))
        return localTimeOf(msSinceEpoch);
    SYSTEMTIME local{};
    const TIME_ZONE_INFORMATION *rules = zoneRules(utc.wYear);
    const bool converted = rules && SystemTimeToTzSpecificLocalTime(rules, &utc, &local);
    if (!converted)
        return localTimeOf(msSinceEpoch);
    return CivilDateTime{local.wYear,   local.wMonth,  local.wDay,         local.wHour,
                         local.wMinute, local.wSecond, local.wMilliseconds};
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

BusyWait waitWhileBusy(HANDLE event, std::chrono::steady_clock::time_point deadline)
{
    // What keeps the window alive: the wake-up source's messages and timers,
    // which drive the clock, and painting. Sent messages (a shutdown's
    // WM_QUERYENDSESSION among them) are delivered by the wait itself.
    static constexpr UINT Allowed[] = {WM_TIMER, WM_PAINT, WM_CLOCK_WAKE};
    // A window whose painting does not validate it must not hold the wait.
    constexpr int MaxPerTurn = 100;
    for (;;) {
        for (const UINT kind : Allowed) {
            MSG message;
            for (int i = 0;
                 i < MaxPerTurn && PeekMessageW(&message, nullptr, kind, kind, PM_REMOVE); ++i) {
                // WM_QUIT comes whatever the filter: it stays for the outer loop.
                if (message.message == WM_QUIT) {
                    PostQuitMessage(int(message.wParam));
                    return BusyWait::Ending;
                }
                DispatchMessageW(&message);
            }
        }
        if (g_exitRequested)
            return BusyWait::Ending;
        const auto left = deadline - std::chrono::steady_clock::now();
        if (left <= std::chrono::steady_clock::duration::zero())
            return BusyWait::TimedOut;
        const auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
        // Without MWMO_INPUTAVAILABLE the wait ends only for messages that are
        // new since the peeks above: input and other posted messages left
        // queued do not wake it again. A wake-up posted while a key waits in
        // the queue did not always end it under Wine (a tick up to a second
        // late), so the peeks run again at least every slice.
        constexpr long long SliceMs = 50;
        const DWORD woken =
            MsgWaitForMultipleObjectsEx(1, &event, DWORD(std::min<long long>(ms, SliceMs)),
                                        QS_TIMER | QS_PAINT | QS_POSTMESSAGE | QS_SENDMESSAGE, 0);
        if (woken == WAIT_OBJECT_0)
            return BusyWait::Done;
        if (woken == WAIT_FAILED)
            return BusyWait::Ending;
    }
}

} // namespace win32

void backend::start(int &argc, char **argv, const Text &title)
{
    (void)argc;
    (void)argv;
    (void)title;
    INITCOMMONCONTROLSEX controls{};
    controls.dwSize = sizeof(controls);
    controls.dwICC = ICC_STANDARD_CLASSES;
    InitCommonControlsEx(&controls);
    win32::carryMissingFaces();
}

void backend::finish()
{
    win32::dropCarriedFaces();
}

// Every wake-up of the thread arrives as a message (the wake source posts
// one), so the loop needs no time-out of its own.
int backend::exec()
{
    MSG message;
    BOOL got;
    while ((got = GetMessageW(&message, nullptr, 0, 0)) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    const int status = g_exitRequested || got < 0 ? g_exitStatus : int(message.wParam);
    g_exitRequested = false;
    return status;
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
