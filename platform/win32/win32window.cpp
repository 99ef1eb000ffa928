// SPDX-License-Identifier: MIT
#include "win32window.h"

#include "runtimeerror.h"
#include "twips.h"
#include "win32combobox.h"
#include "win32eventloop.h"
#include "win32fonts.h"
#include "win32label.h"
#include "win32wakesource.h"

#include <algorithm>
#include <cwchar>

namespace platform
{

namespace win32
{

const wchar_t *registerClass(const wchar_t *name, WNDPROC procedure, HCURSOR cursor,
                             HBRUSH background, UINT style)
{
    WNDCLASSEXW info{};
    info.cbSize = sizeof(info);
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    if (GetClassInfoExW(instance, name, &info))
        return name;
    info = WNDCLASSEXW{};
    info.cbSize = sizeof(info);
    info.style = style;
    info.lpfnWndProc = procedure;
    info.hInstance = instance;
    info.hCursor = cursor;
    info.hbrBackground = background;
    info.lpszClassName = name;
    if (!RegisterClassExW(&info))
        raiseSystemError("RegisterClassExW", GetLastError());
    return name;
}

void raiseIfNotCreated(HWND window)
{
    if (!window)
        raiseSystemError("CreateWindowExW", GetLastError());
}

namespace
{
constexpr DWORD WindowStyle = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN;
constexpr DWORD WindowExStyle = 0;
constexpr int ProgramIconId = 1;

int rectWidth(const RECT &rect)
{
    return rect.right - rect.left;
}

int rectHeight(const RECT &rect)
{
    return rect.bottom - rect.top;
}

// The thread's execution state, as presentation programs set it: the display
// and the system stay on while some window asks; ES_CONTINUOUS alone hands
// the idle rules back. The user may still lock the PC or put it to sleep. A
// refusal is not the user's concern and leaves the rules as they were.
int g_displayRequests = 0;

void requestDisplay(bool on)
{
    if (on ? g_displayRequests++ > 0 : --g_displayRequests > 0)
        return;
    (void)SetThreadExecutionState(on ? ES_CONTINUOUS | ES_DISPLAY_REQUIRED | ES_SYSTEM_REQUIRED
                                     : ES_CONTINUOUS);
}
} // namespace

Win32Window::Win32Window()
{
    const wchar_t *className =
        registerClass(L"FullScreenClockWindow", &ownedWindowProcedure<Win32Window>,
                      LoadCursorW(nullptr, IDC_ARROW), reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1));
    // The layout is computed once, in twips, for the system's DPI.
    m_twipsPerPixel = twipsPerPixelAt(systemDpi());
    m_fontDescription = windowFontDescription();
    m_font.reset(CreateFontIndirectW(&m_fontDescription));
    CreateWindowExW(WindowExStyle, className, L"", WindowStyle, CW_USEDEFAULT, CW_USEDEFAULT,
                    CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, GetModuleHandleW(nullptr),
                    this);
    raiseIfNotCreated(m_hwnd.get());
}

Win32Window::~Win32Window()
{
    onStateChange = nullptr;
    m_hwnd.reset();
    keepDisplayOn(false);
}

std::unique_ptr<LabelPeer> Win32Window::createLabel()
{
    return std::make_unique<Win32Label>(*this);
}

std::unique_ptr<ComboBoxPeer> Win32Window::createComboBox()
{
    return std::make_unique<Win32ComboBox>(*this);
}

double Win32Window::twipsPerPixel() const
{
    return m_twipsPerPixel;
}

Text Win32Window::fontName() const
{
    return fromWide(m_fontDescription.lfFaceName,
                    wcsnlen(m_fontDescription.lfFaceName, LF_FACESIZE));
}

void Win32Window::setTitle(const Text &title)
{
    if (m_hwnd)
        SetWindowTextW(m_hwnd.get(), wide(title));
}

void Win32Window::setProgramIcon()
{
    if (!m_hwnd)
        return;
    // Shared icons belong to the system and need no clean-up.
    struct IconSize {
        WPARAM kind;
        int width;
        int height;
    };
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    for (const IconSize &size : {IconSize{ICON_BIG, SM_CXICON, SM_CYICON},
                                 IconSize{ICON_SMALL, SM_CXSMICON, SM_CYSMICON}}) {
        const HANDLE icon = LoadImageW(instance, MAKEINTRESOURCEW(ProgramIconId), IMAGE_ICON,
                                       GetSystemMetrics(size.width), GetSystemMetrics(size.height),
                                       LR_DEFAULTCOLOR | LR_SHARED);
        if (icon)
            SendMessageW(m_hwnd.get(), WM_SETICON, size.kind, reinterpret_cast<LPARAM>(icon));
    }
}

void Win32Window::moveTo(int x, int y)
{
    if (m_hwnd)
        SetWindowPos(m_hwnd.get(), nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void Win32Window::setClientSize(int width, int height)
{
    RECT frame{0, 0, width, height};
    AdjustWindowRectEx(&frame, WindowStyle, FALSE, WindowExStyle);
    setOuterSize(rectWidth(frame), rectHeight(frame));
}

// The frame is known before the window is shown, so the outer size is final.
void Win32Window::setOuterSize(int width, int height)
{
    if (m_hwnd)
        SetWindowPos(m_hwnd.get(), nullptr, 0, 0, width, height,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

int Win32Window::outerWidth() const
{
    RECT rect{};
    return m_hwnd && GetWindowRect(m_hwnd.get(), &rect) ? rectWidth(rect) : 0;
}

int Win32Window::outerHeight() const
{
    RECT rect{};
    return m_hwnd && GetWindowRect(m_hwnd.get(), &rect) ? rectHeight(rect) : 0;
}

int Win32Window::clientWidth() const
{
    RECT rect{};
    return m_hwnd && GetClientRect(m_hwnd.get(), &rect) ? rectWidth(rect) : 0;
}

// Straight onto the screen: the next repaint of the area erases it.
double Win32Window::print(const Text &line, int x, int y, ColourWord colour)
{
    const WindowDc dc(m_hwnd.get());
    if (!dc.get())
        return 0;
    const auto font =
        selectObject(dc.get(), m_font ? m_font.get() : GetStockObject(DEFAULT_GUI_FONT));
    SetTextColor(dc.get(), toColorRef(colour));
    SetBkMode(dc.get(), TRANSPARENT);
    if (IsWindowVisible(m_hwnd.get()))
        TextOutW(dc.get(), x, y, wide(line), int(line.size()));
    TEXTMETRICW metrics{};
    GetTextMetricsW(dc.get(), &metrics);
    return metrics.tmHeight;
}

void Win32Window::show()
{
    if (!m_hwnd)
        return;
    ShowWindow(m_hwnd.get(), SW_SHOWNORMAL);
    SetForegroundWindow(m_hwnd.get());
    UpdateWindow(m_hwnd.get());
    if (m_focus)
        SetFocus(m_focus);
}

void Win32Window::close()
{
    if (m_hwnd && mayClose())
        DestroyWindow(m_hwnd.get());
}

bool Win32Window::mayClose() const
{
    return !onCloseRequest || onCloseRequest();
}

void Win32Window::keepDisplayOn(bool on)
{
    if (on != m_keepsDisplayOn) {
        m_keepsDisplayOn = on;
        requestDisplay(on);
    }
}

void Win32Window::updateState()
{
    const HWND hwnd = m_hwnd.get();
    if (!hwnd || !IsWindowVisible(hwnd))
        setState(WindowState::Hidden);
    else
        setState(IsIconic(hwnd) ? WindowState::Minimised : WindowState::Shown);
}

void Win32Window::setState(WindowState state)
{
    if (state == m_state)
        return;
    m_state = state;
    if (onStateChange)
        onStateChange(state);
}

void Win32Window::stackOnTop(HWND child)
{
    SetWindowPos(child, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    m_children.push_back(child);
}

void Win32Window::forget(HWND child)
{
    m_children.erase(std::remove(m_children.begin(), m_children.end(), child), m_children.end());
}

// The children's places are the program's own windows' and read without a
// call to the window system.
bool Win32Window::placeOf(HWND child, RECT &place) const
{
    return GetWindowRect(child, &place) &&
           ScreenToClient(m_hwnd.get(), reinterpret_cast<POINT *>(&place.left)) &&
           ScreenToClient(m_hwnd.get(), reinterpret_cast<POINT *>(&place.right));
}

bool Win32Window::bare(const RECT &area, HWND except) const
{
    for (HWND child : m_children) {
        RECT place{};
        RECT both{};
        if (child == except || !IsWindowVisible(child))
            continue;
        if (!placeOf(child, place) || IntersectRect(&both, &place, &area))
            return false;
    }
    return true;
}

void Win32Window::reachesPast(Win32Label *label, bool reaches)
{
    const auto at = std::find(m_reachingPast.begin(), m_reachingPast.end(), label);
    if (reaches && at == m_reachingPast.end())
        m_reachingPast.push_back(label);
    else if (!reaches && at != m_reachingPast.end())
        m_reachingPast.erase(at);
}

// After `child` moved or was shown; a hidden child may be shown later.
void Win32Window::claim(HWND child)
{
    RECT place{};
    if (m_reachingPast.empty() || !placeOf(child, place))
        return;
    // A copy: a label that gives its part back leaves the list.
    for (Win32Label *label : std::vector<Win32Label *>(m_reachingPast))
        if (label->hwnd() != child)
            label->yield(place);
}

LRESULT Win32Window::handle(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CREATE:
        windowOpened();
        return 0;
    case WM_DESTROY:
        setState(WindowState::Hidden);
        windowClosed();
        return 0;
    case WM_WINDOWPOSCHANGED:
        // Showing, hiding, minimising and restoring all end here.
        updateState();
        break;
    case WM_CLOSE:
        close();
        return 0;
    case WM_QUERYENDSESSION:
        // The session may end only if the user agrees, as for any close.
        m_sessionEnding = mayClose();
        return m_sessionEnding ? TRUE : FALSE;
    case WM_ENDSESSION:
        if (wParam && m_sessionEnding && m_hwnd.get())
            DestroyWindow(m_hwnd.get());
        m_sessionEnding = false;
        return 0;
    case WM_ACTIVATE:
        if (LOWORD(wParam) == WA_INACTIVE) {
            const HWND focus = GetFocus();
            if (focus && IsChild(m_hwnd.get(), focus))
                m_focus = focus;
        }
        break;
    case WM_SETFOCUS:
        if (m_focus && IsWindow(m_focus) && IsChild(m_hwnd.get(), m_focus)) {
            SetFocus(m_focus);
            return 0;
        }
        break;
    case WM_POWERBROADCAST:
        // Windows tells every top-level window; the automatic resume comes
        // after every sleep, whether or not a user is there.
        if (wParam == PBT_APMRESUMEAUTOMATIC && onResume)
            onResume();
        return TRUE;
    case WM_COMMAND:
        // Notifications go back to the control that sent them.
        if (lParam)
            return SendMessageW(reinterpret_cast<HWND>(lParam), WM_CLOCK_COMMAND, wParam, lParam);
        break;
    default:
        break;
    }
    return DefWindowProcW(m_hwnd.get(), message, wParam, lParam);
}

} // namespace win32

std::unique_ptr<WindowPeer> backend::createWindow()
{
    return std::make_unique<win32::Win32Window>();
}

std::unique_ptr<WakeSource> backend::createWakeSource()
{
    return std::make_unique<win32::Win32WakeSource>();
}

} // namespace platform
