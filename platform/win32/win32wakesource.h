// SPDX-License-Identifier: MIT
#pragma once

#include "backend.h"
#include "win32.h"

#include <chrono>

namespace platform::win32
{

// Wakes the user-interface thread once per wakeAfter. A high-resolution
// waitable timer (a plain one where the system has none) is waited for by
// the system's thread pool, which posts a message to a hidden window of the
// user-interface thread. So the wake-up is on time to the millisecond rather
// than to the system tick of about 15.6 ms, and it arrives in every message
// loop of the thread, a message box's included. Without any waitable timer,
// SetTimer does the job on the system tick.
class Win32WakeSource : public WakeSource
{
  public:
    Win32WakeSource();
    ~Win32WakeSource() override;

    void wakeAfter(int milliseconds) override;
    void cancel() override;

  private:
    friend LRESULT CALLBACK ownedWindowProcedure<Win32WakeSource>(HWND, UINT, WPARAM, LPARAM);
    LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam);
    static void CALLBACK signalled(void *self, BOOLEAN timedOut);
    void arm(std::chrono::milliseconds delay);
    void woken();

    UniqueWindow m_hwnd;
    UniqueHandle m_timer;
    UniqueWait m_wait;
    bool m_onSystemTick = true; // no waitable timer: SetTimer
    bool m_armed = false;
    std::chrono::steady_clock::time_point m_due;
};

} // namespace platform::win32
