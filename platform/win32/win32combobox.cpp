// SPDX-License-Identifier: MIT
#include "win32combobox.h"

#include "win32window.h"

#include <commctrl.h>

#include <algorithm>
#include <utility>

namespace platform::win32
{

namespace
{
constexpr UINT_PTR SubclassId = 1;
// Apart from the ids the field itself may use for its own timers.
constexpr UINT_PTR CaretRestTimerId = 0x7C01;
// Windows 10's default time the caret blinks for, and its setting's code for
// headers that lack it.
constexpr UINT DefaultCaretRestMs = 5000;
#ifndef SPI_GETCARETTIMEOUT
constexpr UINT SPI_GETCARETTIMEOUT = 0x2022;
#endif

// A caret that blinks on and on is a timer, a drawing and a flush twice a
// second for as long as the clock runs. Windows 10 and later stop it after a
// while of their own accord; elsewhere (older Windows, Wine) the field does.
UINT caretRestMs()
{
    DWORD systemMs = 0;
    return SystemParametersInfoW(SPI_GETCARETTIMEOUT, 0, &systemMs, 0) ? 0 : DefaultCaretRestMs;
}
// The open list shows this many entries before it scrolls.
constexpr int VisibleEntries = 13;

Text windowText(HWND hwnd)
{
    const int length = GetWindowTextLengthW(hwnd);
    if (length <= 0)
        return Text();
    std::wstring buffer(std::size_t(length) + 1, L'\0');
    const int copied = GetWindowTextW(hwnd, buffer.data(), length + 1);
    return fromWide(buffer.data(), std::size_t(std::max(0, copied)));
}
} // namespace

Win32ComboBox::Win32ComboBox(Win32Window &window) : m_window(window)
{
    m_hwnd.reset(CreateWindowExW(0, WC_COMBOBOXW, L"",
                                 WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | WS_CLIPSIBLINGS |
                                     CBS_DROPDOWN | CBS_AUTOHSCROLL,
                                 0, 0, 0, 0, window.hwnd(), nullptr, GetModuleHandleW(nullptr),
                                 nullptr));
    raiseIfNotCreated(m_hwnd.get());
    window.stackOnTop(m_hwnd.get());
    SendMessageW(m_hwnd.get(), WM_SETFONT, reinterpret_cast<WPARAM>(window.font()), FALSE);
    SendMessageW(m_hwnd.get(), CB_SETMINVISIBLE, VisibleEntries, 0);
    SetWindowSubclass(m_hwnd.get(), &Win32ComboBox::comboProcedure, SubclassId,
                      reinterpret_cast<DWORD_PTR>(this));
    COMBOBOXINFO info{};
    info.cbSize = sizeof(info);
    if (GetComboBoxInfo(m_hwnd.get(), &info) && info.hwndItem) {
        m_edit = info.hwndItem;
        SetWindowSubclass(m_edit, &Win32ComboBox::editProcedure, SubclassId,
                          reinterpret_cast<DWORD_PTR>(this));
    }
    m_caretRestMs = caretRestMs();
}

Win32ComboBox::~Win32ComboBox()
{
    m_window.forget(m_hwnd.get());
    m_hwnd.reset();
}

Text Win32ComboBox::text() const
{
    return m_hwnd ? windowText(m_hwnd.get()) : Text();
}

void Win32ComboBox::setText(const Text &text)
{
    if (m_hwnd)
        SetWindowTextW(m_hwnd.get(), wide(text));
}

void Win32ComboBox::addItem(const Text &item)
{
    if (!m_hwnd)
        return;
    SendMessageW(m_hwnd.get(), CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(wide(item)));
    place();
}

void Win32ComboBox::setGeometry(const PixelRect &rect)
{
    m_rect = rect;
    place();
}

// The field's height follows from its font, as the system draws it; the
// window's height also holds the open list.
void Win32ComboBox::place()
{
    if (!m_hwnd)
        return;
    const int count = int(SendMessageW(m_hwnd.get(), CB_GETCOUNT, 0, 0));
    const int itemHeight = int(SendMessageW(m_hwnd.get(), CB_GETITEMHEIGHT, 0, 0));
    const int fieldHeight = int(SendMessageW(m_hwnd.get(), CB_GETITEMHEIGHT, WPARAM(-1), 0));
    const int listHeight = std::max(1, std::min(count, VisibleEntries)) * std::max(1, itemHeight);
    SetWindowPos(m_hwnd.get(), nullptr, m_rect.left, m_rect.top, m_rect.width,
                 std::max(m_rect.height, fieldHeight + 8) + listHeight + 2,
                 SWP_NOZORDER | SWP_NOACTIVATE);
    m_window.claim(m_hwnd.get());
}

void Win32ComboBox::setFocus()
{
    if (!m_hwnd)
        return;
    // The box hands the focus on to its field and selects the text there.
    m_window.rememberFocus(m_hwnd.get());
    SetFocus(m_hwnd.get());
}

void Win32ComboBox::setCaretRest(UINT milliseconds)
{
    m_caretRestMs = milliseconds;
    if (m_edit && GetFocus() == m_edit)
        caretWoken();
}

// A key or a click in the field, or the focus coming to it: the caret shows
// and blinks again, for the time the rest allows.
void Win32ComboBox::caretWoken()
{
    if (std::exchange(m_caretHidden, false))
        ShowCaret(m_edit);
    if (m_caretRestMs > 0)
        SetTimer(m_edit, CaretRestTimerId, m_caretRestMs, nullptr);
    else
        KillTimer(m_edit, CaretRestTimerId);
}

// Hiding the caret stops its timer; it stays hidden until the user is back.
void Win32ComboBox::caretRested()
{
    KillTimer(m_edit, CaretRestTimerId);
    if (!m_caretHidden && GetFocus() == m_edit && HideCaret(m_edit))
        m_caretHidden = true;
}

void Win32ComboBox::notified(WORD code)
{
    // An entry picked from the open list. The same notification follows an
    // arrow-key step through the closed box, which is no pick, and Enter in
    // the open list, which KeyPress reports (the field holds the entry by then).
    if (code == CBN_SELENDOK && SendMessageW(m_hwnd.get(), CB_GETDROPPEDSTATE, 0, 0) &&
        GetKeyState(VK_RETURN) >= 0) {
        const int index = int(SendMessageW(m_hwnd.get(), CB_GETCURSEL, 0, 0));
        if (index >= 0)
            PostMessageW(m_hwnd.get(), WM_CLOCK_PICKED, WPARAM(index), 0);
    }
}

// After the list has closed, the field holds the picked entry.
void Win32ComboBox::picked(int index)
{
    const int length = int(SendMessageW(m_hwnd.get(), CB_GETLBTEXTLEN, WPARAM(index), 0));
    if (length < 0)
        return;
    std::wstring entry(std::size_t(length) + 1, L'\0');
    SendMessageW(m_hwnd.get(), CB_GETLBTEXT, WPARAM(index), reinterpret_cast<LPARAM>(entry.data()));
    entry.resize(std::size_t(length));
    if (windowText(m_hwnd.get()) != fromWide(entry.data(), entry.size()))
        SetWindowTextW(m_hwnd.get(), entry.c_str());
    if (onClick)
        onClick();
}

LRESULT CALLBACK Win32ComboBox::comboProcedure(HWND hwnd, UINT message, WPARAM wParam,
                                               LPARAM lParam, UINT_PTR, DWORD_PTR data)
{
    auto *self = reinterpret_cast<Win32ComboBox *>(data);
    switch (message) {
    case WM_CLOCK_COMMAND:
        self->notified(HIWORD(wParam));
        return 0;
    case WM_CLOCK_PICKED:
        self->picked(int(wParam));
        return 0;
    case WM_NCDESTROY:
        RemoveWindowSubclass(hwnd, &Win32ComboBox::comboProcedure, SubclassId);
        self->m_hwnd.release();
        break;
    default:
        break;
    }
    return DefSubclassProc(hwnd, message, wParam, lParam);
}

LRESULT CALLBACK Win32ComboBox::editProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                                              UINT_PTR, DWORD_PTR data)
{
    auto *self = reinterpret_cast<Win32ComboBox *>(data);
    switch (message) {
    case WM_CHAR:
        if (self->onKeyPress) {
            // The handler sees the key first and may change or swallow it.
            auto keyAscii = std::int16_t(wParam);
            self->onKeyPress(keyAscii);
            if (keyAscii == 0)
                return 0;
            wParam = WPARAM(std::uint16_t(keyAscii));
        }
        break;
    case WM_SETFOCUS: {
        self->m_window.rememberFocus(hwnd);
        // The field makes a new caret, shown.
        const LRESULT result = DefSubclassProc(hwnd, message, wParam, lParam);
        self->m_caretHidden = false;
        self->caretWoken();
        return result;
    }
    case WM_KILLFOCUS:
        // The field destroys its caret.
        self->m_caretHidden = false;
        KillTimer(hwnd, CaretRestTimerId);
        break;
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
    case WM_IME_STARTCOMPOSITION:
        if (GetFocus() == hwnd)
            self->caretWoken();
        break;
    case WM_TIMER:
        if (wParam == CaretRestTimerId) {
            self->caretRested();
            return 0;
        }
        break;
    case WM_NCDESTROY:
        KillTimer(hwnd, CaretRestTimerId);
        RemoveWindowSubclass(hwnd, &Win32ComboBox::editProcedure, SubclassId);
        self->m_edit = nullptr;
        break;
    default:
        break;
    }
    return DefSubclassProc(hwnd, message, wParam, lParam);
}

} // namespace platform::win32
