// SPDX-License-Identifier: MIT
#include "win32label.h"

#include "win32fonts.h"
#include "win32textline.h"
#include "win32window.h"

#include <windowsx.h>

namespace platform::win32
{

namespace
{
MouseState mouseStateOf(WPARAM keys)
{
    MouseState state;
    state.left = (keys & MK_LBUTTON) != 0;
    state.right = (keys & MK_RBUTTON) != 0;
    state.middle = (keys & MK_MBUTTON) != 0;
    state.shift = (keys & MK_SHIFT) != 0;
    state.control = (keys & MK_CONTROL) != 0;
    state.alt = GetKeyState(VK_MENU) < 0;
    return state;
}

struct PaintScope {
    explicit PaintScope(HWND window) : hwnd(window), dc(BeginPaint(window, &paint)) {}
    ~PaintScope() { EndPaint(hwnd, &paint); }
    PaintScope(const PaintScope &) = delete;
    PaintScope &operator=(const PaintScope &) = delete;
    HWND hwnd;
    PAINTSTRUCT paint{};
    HDC dc;
};
} // namespace

Win32Label::Win32Label(Win32Window &window) : m_window(window)
{
    // The label paints all of itself, background included.
    const wchar_t *className =
        registerClass(L"FullScreenClockLabel", &ownedWindowProcedure<Win32Label>, nullptr, nullptr);
    CreateWindowExW(0, className, L"", WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS, 0, 0, 0, 0,
                    window.hwnd(), nullptr, GetModuleHandleW(nullptr), this);
    raiseIfNotCreated(m_hwnd.get());
    window.stackOnTop(m_hwnd.get());
}

Win32Label::~Win32Label()
{
    m_hwnd.reset();
}

void Win32Label::setText(const Text &text)
{
    m_text = text;
    if (m_hwnd)
        InvalidateRect(m_hwnd.get(), nullptr, FALSE);
}

void Win32Label::setGeometry(const PixelRect &rect)
{
    if (m_hwnd)
        SetWindowPos(m_hwnd.get(), nullptr, rect.left, rect.top, rect.width, rect.height,
                     SWP_NOZORDER | SWP_NOACTIVATE);
}

double Win32Label::setFont(const FontSpec &font)
{
    RealisedFont realised = createFont(font, m_window.fontDescription());
    if (realised.font)
        m_font = std::move(realised.font);
    if (m_hwnd)
        InvalidateRect(m_hwnd.get(), nullptr, FALSE);
    return realised.points;
}

TextExtent Win32Label::measure(const Text &text) const
{
    const WindowDc dc(m_hwnd.get());
    if (!dc.get())
        return {};
    const auto font = selectObject(dc.get(), currentFont());
    // As drawn: characters the font lacks take the width of their fallback face.
    const SIZE size = TextLine(dc.get(), text).extent();
    return {double(size.cx), double(size.cy)};
}

void Win32Label::setForeColor(ColourWord colour)
{
    m_foreColor = colour;
    if (m_hwnd)
        InvalidateRect(m_hwnd.get(), nullptr, FALSE);
}

void Win32Label::setAlignment(Alignment alignment)
{
    m_alignment = alignment;
    if (m_hwnd)
        InvalidateRect(m_hwnd.get(), nullptr, FALSE);
}

void Win32Label::setVisible(bool visible)
{
    if (m_hwnd)
        ShowWindow(m_hwnd.get(), visible ? SW_SHOWNA : SW_HIDE);
}

void Win32Label::setPointer(Pointer pointer)
{
    m_pointer = pointer;
    // Windows asks for the pointer only on the next mouse move: a pointer set
    // while the mouse rests over the label (as on its first move) shows now.
    POINT at{};
    if (m_hwnd && GetCursorPos(&at) && WindowFromPoint(at) == m_hwnd.get())
        SetCursor(pointerCursor());
}

HCURSOR Win32Label::pointerCursor() const
{
    return LoadCursorW(nullptr, m_pointer == Pointer::Help ? IDC_HELP : IDC_ARROW);
}

HFONT Win32Label::currentFont() const
{
    return m_font ? m_font.get() : m_window.font();
}

void Win32Label::paint()
{
    const PaintScope scope(m_hwnd.get());
    RECT client{};
    GetClientRect(m_hwnd.get(), &client);
    // System colours are looked up at each paint, so they follow the scheme.
    const UniqueBrush background(CreateSolidBrush(toColorRef(SystemButtonFace)));
    FillRect(scope.dc, &client, background.get());
    const auto font = selectObject(scope.dc, currentFont());
    SetTextColor(scope.dc, toColorRef(m_foreColor));
    SetBkMode(scope.dc, TRANSPARENT);
    const TextLine line(scope.dc, m_text);
    if (line.fallsBack()) {
        // Placed as DrawText places a line.
        const int width = line.extent().cx;
        line.draw(m_alignment == Alignment::Center ? (client.left + client.right - width) / 2
                                                   : client.left,
                  client.top);
        return;
    }
    const UINT format = DT_SINGLELINE | DT_NOPREFIX | DT_TOP |
                        (m_alignment == Alignment::Center ? DT_CENTER : DT_LEFT);
    DrawTextW(scope.dc, wide(m_text), int(m_text.size()), &client, format);
}

LRESULT Win32Label::handle(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_PAINT:
        paint();
        return 0;
    case WM_ERASEBKGND:
        return 1; // painted in full by WM_PAINT
    case WM_GETFONT:
        return reinterpret_cast<LRESULT>(currentFont());
    case WM_SETCURSOR:
        if (LOWORD(lParam) == HTCLIENT) {
            SetCursor(pointerCursor());
            return TRUE;
        }
        break;
    case WM_MOUSEMOVE:
        if (onMouseMove) {
            const int x = GET_X_LPARAM(lParam);
            const int y = GET_Y_LPARAM(lParam);
            onMouseMove(mouseStateOf(wParam), x, y);
        }
        return 0;
    case WM_LBUTTONDOWN:
        m_pressed = true;
        SetCapture(m_hwnd.get());
        return 0;
    case WM_LBUTTONUP: {
        const bool wasPressed = m_pressed;
        m_pressed = false;
        if (GetCapture() == m_hwnd.get())
            ReleaseCapture();
        RECT client{};
        GetClientRect(m_hwnd.get(), &client);
        const POINT at{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
        // A click is a press and a release inside the label.
        if (wasPressed && PtInRect(&client, at) && onClick)
            onClick();
        return 0;
    }
    case WM_CAPTURECHANGED:
        m_pressed = false;
        return 0;
    default:
        break;
    }
    return DefWindowProcW(m_hwnd.get(), message, wParam, lParam);
}

} // namespace platform::win32
