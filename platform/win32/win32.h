// SPDX-License-Identifier: MIT
#pragma once

// What every file of the Windows back end shares: the Windows headers with
// the program's settings, text in the API's UTF-16, colour words as COLORREF,
// and the ownership of handles.

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include "colour.h"
#include "runtimeerror.h"
#include "text.h"

#include <memory>
#include <type_traits>
#include <utility>

namespace platform::win32
{

// The API's WCHAR and the program's char16_t are both UTF-16 code units.
static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows has 16-bit wchar_t");

// Raises the run-time error of a Win32 call that failed, `error` being the
// system's code, read by the caller right after the call.
[[noreturn]] inline void raiseSystemError(const char *call, DWORD error)
{
    throw RuntimeError(InvalidProcedureCall, errorDescription(InvalidProcedureCall) + u" (" +
                                                 fromUtf8(call) + u" " + CStr(double(error)) +
                                                 u")");
}

inline const wchar_t *wide(const Text &text)
{
    return reinterpret_cast<const wchar_t *>(text.c_str());
}

inline Text fromWide(const wchar_t *text, std::size_t length)
{
    return Text(reinterpret_cast<const char16_t *>(text), length);
}

// A colour word is already a COLORREF; a system colour names GetSysColor's index.
inline COLORREF toColorRef(ColourWord colour)
{
    if (isSystemColour(colour))
        return GetSysColor(int(colour & 0xFF));
    return COLORREF(colour & 0x00FFFFFF);
}

struct GdiObjectDeleter {
    void operator()(void *object) const { DeleteObject(static_cast<HGDIOBJ>(object)); }
};
using UniqueFont = std::unique_ptr<std::remove_pointer_t<HFONT>, GdiObjectDeleter>;
using UniqueBrush = std::unique_ptr<std::remove_pointer_t<HBRUSH>, GdiObjectDeleter>;

struct DcDeleter {
    void operator()(HDC dc) const { DeleteDC(dc); }
};
// A memory device context of the program's own.
using UniqueDc = std::unique_ptr<std::remove_pointer_t<HDC>, DcDeleter>;

struct HandleDeleter {
    void operator()(HANDLE handle) const { CloseHandle(handle); }
};
using UniqueHandle = std::unique_ptr<void, HandleDeleter>;

// A window of the program. A window destroyed with its parent is released
// (WM_NCDESTROY) rather than destroyed again; an owner destroys its window
// with reset() in its own destructor, while it can still take that message.
struct WindowDeleter {
    void operator()(HWND window) const { DestroyWindow(window); }
};
using UniqueWindow = std::unique_ptr<std::remove_pointer_t<HWND>, WindowDeleter>;

// The window procedure of a class whose windows each belong to an object: the
// object arrives with WM_NCCREATE (lpCreateParams), takes the handle into its
// m_hwnd and answers every message in handle(); at WM_NCDESTROY the handle is
// released, the window being gone already.
template <class Owner>
LRESULT CALLBACK ownedWindowProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE) {
        auto *self =
            static_cast<Owner *>(reinterpret_cast<CREATESTRUCTW *>(lParam)->lpCreateParams);
        self->m_hwnd.reset(hwnd);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto *self = reinterpret_cast<Owner *>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!self)
        return DefWindowProcW(hwnd, message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        self->m_hwnd.release();
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }
    return self->handle(message, wParam, lParam);
}

// A wait registered with the thread pool; ending it waits for a callback
// that is running.
struct WaitDeleter {
    void operator()(HANDLE wait) const { UnregisterWaitEx(wait, INVALID_HANDLE_VALUE); }
};
using UniqueWait = std::unique_ptr<void, WaitDeleter>;

// A window's device context (nullptr: the screen's), released when the
// guard goes; movable, so that it can outlive the scope that got it.
class WindowDc
{
  public:
    explicit WindowDc(HWND window) : m_window(window), m_dc(GetDC(window)) {}
    ~WindowDc() { reset(); }
    WindowDc(WindowDc &&other) noexcept
        : m_window(other.m_window), m_dc(std::exchange(other.m_dc, nullptr))
    {
    }
    WindowDc &operator=(WindowDc &&other) noexcept
    {
        if (this != &other) {
            reset();
            m_window = other.m_window;
            m_dc = std::exchange(other.m_dc, nullptr);
        }
        return *this;
    }
    HDC get() const { return m_dc; }

  private:
    void reset()
    {
        if (m_dc)
            ReleaseDC(m_window, std::exchange(m_dc, nullptr));
    }
    HWND m_window;
    HDC m_dc;
};

// Selects a GDI object into a context and puts the previous one back when
// the guard goes; movable, as selectObject() below hands it out.
class Selection
{
  public:
    Selection(HDC dc, HGDIOBJ object) : m_dc(dc), m_previous(SelectObject(dc, object)) {}
    ~Selection() { reset(); }
    Selection(Selection &&other) noexcept
        : m_dc(other.m_dc), m_previous(std::exchange(other.m_previous, nullptr))
    {
    }
    Selection &operator=(Selection &&other) noexcept
    {
        if (this != &other) {
            reset();
            m_dc = other.m_dc;
            m_previous = std::exchange(other.m_previous, nullptr);
        }
        return *this;
    }
    // False when SelectObject failed; nothing is restored then.
    explicit operator bool() const { return m_previous != nullptr; }

  private:
    void reset()
    {
        if (m_previous)
            SelectObject(m_dc, std::exchange(m_previous, nullptr));
    }
    HDC m_dc;
    HGDIOBJ m_previous;
};

[[nodiscard]] inline Selection selectObject(HDC dc, HGDIOBJ object)
{
    return Selection(dc, object);
}

// The system's dots per inch, read once: the program is system-DPI aware, so
// Windows keeps this one value for the process's lifetime and scales the
// window itself on a screen of another DPI. Fonts, the screen's twips and
// the window's twips all use it.
int systemDpi();

// Private window messages of the back end.
enum : UINT {
    // A control's WM_COMMAND notification, sent on by the parent window.
    WM_CLOCK_COMMAND = WM_APP + 1,
    // A pick from the combo box's list, handled once the list has closed.
    WM_CLOCK_PICKED,
    // The wake-up timer fell due.
    WM_CLOCK_WAKE,
};

} // namespace platform::win32
