// SPDX-License-Identifier: MIT
#include "win32wakesource.h"

#include "win32window.h"

#include <algorithm>

namespace platform::win32
{

namespace
{
// Not in every SDK's headers; Windows 10 1803 and later know the flag.
#ifndef CREATE_WAITABLE_TIMER_HIGH_RESOLUTION
constexpr DWORD CREATE_WAITABLE_TIMER_HIGH_RESOLUTION = 0x00000002;
#endif
constexpr UINT_PTR TickTimerId = 1;
} // namespace

Win32WakeSource::Win32WakeSource()
{
    const wchar_t *className = registerClass(
        L"FullScreenClockWake", &ownedWindowProcedure<Win32WakeSource>, nullptr, nullptr);
    CreateWindowExW(0, className, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                    GetModuleHandleW(nullptr), this);
    raiseIfNotCreated(m_hwnd.get());

    m_timer.reset(CreateWaitableTimerExW(nullptr, nullptr, CREATE_WAITABLE_TIMER_HIGH_RESOLUTION,
                                         TIMER_ALL_ACCESS));
    if (!m_timer)
        m_timer.reset(CreateWaitableTimerExW(nullptr, nullptr, 0, TIMER_ALL_ACCESS));
    // An auto-reset timer: each time it falls due, the pool calls once. The
    // pool's wait has no time-out of its own; the timer bounds it.
    HANDLE wait = nullptr;
    if (m_timer && RegisterWaitForSingleObject(&wait, m_timer.get(), &Win32WakeSource::signalled,
                                               this, INFINITE, WT_EXECUTEINWAITTHREAD)) {
        m_wait.reset(wait);
        m_onSystemTick = false;
    } else {
        m_timer.reset();
    }
}

Win32WakeSource::~Win32WakeSource()
{
    // No call of `signalled` is running or can start once the wait is gone;
    // only then may the timer and the window go.
    m_wait.reset();
    m_timer.reset();
    m_hwnd.reset();
}

void Win32WakeSource::wakeAfter(int milliseconds)
{
    arm(std::chrono::milliseconds(std::max(0, milliseconds)));
}

void Win32WakeSource::arm(std::chrono::milliseconds delay)
{
    m_armed = true;
    m_due = std::chrono::steady_clock::now() + delay;
    if (!m_onSystemTick) {
        // Relative due times are negative, in units of 100 ns.
        LARGE_INTEGER due;
        due.QuadPart = -std::max<LONGLONG>(1, LONGLONG(delay.count()) * 10000);
        if (SetWaitableTimer(m_timer.get(), &due, 0, nullptr, nullptr, FALSE))
            return;
    }
    SetTimer(m_hwnd.get(), TickTimerId,
             UINT(std::max<long long>(USER_TIMER_MINIMUM, delay.count())), nullptr);
}

void Win32WakeSource::cancel()
{
    m_armed = false;
    if (m_timer)
        CancelWaitableTimer(m_timer.get());
    if (m_hwnd)
        KillTimer(m_hwnd.get(), TickTimerId);
}

// On a thread of the pool.
void CALLBACK Win32WakeSource::signalled(void *self, BOOLEAN)
{
    PostMessageW(static_cast<Win32WakeSource *>(self)->m_hwnd.get(), WM_CLOCK_WAKE, 0, 0);
}

void Win32WakeSource::woken()
{
    if (!m_armed)
        return; // cancelled after the timer fell due
    // A signal of an earlier arming can arrive after a re-arm. The waitable
    // timer, never early, is armed for the rest already; SetTimer's tick may
    // come early and is armed again.
    const auto early = m_due - std::chrono::steady_clock::now();
    if (early > std::chrono::milliseconds(1)) {
        if (m_onSystemTick)
            arm(std::chrono::ceil<std::chrono::milliseconds>(early));
        return;
    }
    m_armed = false;
    if (onWake)
        onWake();
}

LRESULT Win32WakeSource::handle(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CLOCK_WAKE:
        woken();
        return 0;
    case WM_TIMER:
        if (wParam == TickTimerId) {
            KillTimer(m_hwnd.get(), TickTimerId);
            woken();
            return 0;
        }
        break;
    default:
        break;
    }
    return DefWindowProcW(m_hwnd.get(), message, wParam, lParam);
}

} // namespace platform::win32
