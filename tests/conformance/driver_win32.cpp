// SPDX-License-Identifier: MIT
// The conformance suite's driver for the Win32 back end, under Wine: input is
// posted to the controls' queue as the system posts a user's, so a busy wait
// that dispatches only timers and painting holds it.
#define DOCTEST_CONFIG_IMPLEMENT
#include "testing.h"

#include "driver.h"
#include "win32combobox.h"
#include "win32label.h"
#include "win32window.h"

#include <windows.h>

#include <commctrl.h>

#include <clocale>
#include <map>
#include <memory>
#include <utility>

using namespace platform;

namespace
{

HWND hwndOf(LabelPeer &label)
{
    return dynamic_cast<win32::Win32Label &>(label).hwnd();
}

HWND hwndOf(ComboBoxPeer &combo)
{
    return dynamic_cast<win32::Win32ComboBox &>(combo).hwnd();
}

HWND hwndOf(WindowPeer &window)
{
    return dynamic_cast<win32::Win32Window &>(window).hwnd();
}

// Each watched window's paints so far and the area they painted.
struct Painting {
    int count = 0;
    RECT area{};
};
std::map<HWND, Painting> paintings;

LRESULT CALLBACK countPaints(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                             DWORD_PTR)
{
    // A label draws a new caption at once, into a context it hands itself.
    RECT update{};
    if ((message == WM_PAINT && GetUpdateRect(hwnd, &update, FALSE)) ||
        (message == WM_PRINTCLIENT &&
         GetClipBox(reinterpret_cast<HDC>(wParam), &update) != NULLREGION)) {
        Painting &painting = paintings[hwnd];
        ++painting.count;
        UnionRect(&painting.area, &painting.area, &update);
    } else if (message == WM_PAINT) {
        ++paintings[hwnd].count;
    }
    return DefSubclassProc(hwnd, message, wParam, lParam);
}

Painting &watch(HWND hwnd)
{
    if (!paintings.count(hwnd)) {
        paintings[hwnd] = {};
        REQUIRE(SetWindowSubclass(hwnd, &countPaints, 1, 0));
    }
    return paintings[hwnd];
}

BOOL CALLBACK findBox(HWND hwnd, LPARAM found)
{
    wchar_t name[16] = {};
    GetClassNameW(hwnd, name, 16);
    if (std::wstring(name) == L"#32770" && IsWindowVisible(hwnd)) {
        *reinterpret_cast<HWND *>(found) = hwnd;
        return FALSE;
    }
    return TRUE;
}

} // namespace

namespace driver
{

const void *native(LabelPeer &label)
{
    return hwndOf(label);
}

const void *native(ComboBoxPeer &combo)
{
    return hwndOf(combo);
}

std::vector<const void *> stacking(WindowPeer &window)
{
    // GW_HWNDNEXT walks down from the top.
    std::vector<const void *> children;
    for (HWND child = GetWindow(hwndOf(window), GW_CHILD); child;
         child = GetWindow(child, GW_HWNDNEXT))
        children.insert(children.begin(), child);
    return children;
}

const void *focus(WindowPeer &window)
{
    const HWND top = hwndOf(window);
    for (HWND w = GetFocus(); w; w = GetParent(w))
        if (GetParent(w) == top)
            return w;
    return nullptr;
}

double fontPoints(LabelPeer &label)
{
    const HWND hwnd = hwndOf(label);
    const auto font = reinterpret_cast<HFONT>(SendMessageW(hwnd, WM_GETFONT, 0, 0));
    REQUIRE(font != nullptr);
    HDC dc = GetDC(hwnd);
    const HGDIOBJ previous = SelectObject(dc, font);
    TEXTMETRICW metrics{};
    GetTextMetricsW(dc, &metrics);
    const int dpi = GetDeviceCaps(dc, LOGPIXELSY);
    SelectObject(dc, previous);
    ReleaseDC(hwnd, dc);
    return (metrics.tmHeight - metrics.tmInternalLeading) * 72.0 / dpi;
}

int paints(LabelPeer &label)
{
    return watch(hwndOf(label)).count;
}

PixelRect painted(LabelPeer &label)
{
    const RECT area = std::exchange(watch(hwndOf(label)).area, RECT{});
    return {area.left, area.top, area.right - area.left, area.bottom - area.top};
}

void paintPending(WindowPeer &window)
{
    REQUIRE(RedrawWindow(hwndOf(window), nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN));
}

bool isShown(WindowPeer &window)
{
    const HWND hwnd = hwndOf(window);
    return hwnd && IsWindowVisible(hwnd);
}

void click(LabelPeer &label, bool leftButton)
{
    const HWND hwnd = hwndOf(label);
    const LPARAM at = MAKELPARAM(4, 4);
    REQUIRE(PostMessageW(hwnd, leftButton ? WM_LBUTTONDOWN : WM_RBUTTONDOWN,
                         leftButton ? MK_LBUTTON : MK_RBUTTON, at));
    REQUIRE(PostMessageW(hwnd, leftButton ? WM_LBUTTONUP : WM_RBUTTONUP, 0, at));
}

void type(ComboBoxPeer &combo, char16_t key)
{
    const HWND edit = dynamic_cast<win32::Win32ComboBox &>(combo).edit();
    REQUIRE(edit != nullptr);
    const int end = GetWindowTextLengthW(edit);
    SendMessageW(edit, EM_SETSEL, WPARAM(end), LPARAM(end));
    REQUIRE(PostMessageW(edit, WM_CHAR, WPARAM(key), 1));
}

void close(WindowPeer &window)
{
    // As a window manager's close arrives under Wine.
    REQUIRE(PostMessageW(hwndOf(window), WM_SYSCOMMAND, SC_CLOSE, 0));
}

// As the title bar's buttons do.
void minimise(WindowPeer &window)
{
    REQUIRE(PostMessageW(hwndOf(window), WM_SYSCOMMAND, SC_MINIMIZE, 0));
}

void restore(WindowPeer &window)
{
    REQUIRE(PostMessageW(hwndOf(window), WM_SYSCOMMAND, SC_RESTORE, 0));
}

// The call returns the thread's state before it; without ES_CONTINUOUS it
// leaves a state set with ES_CONTINUOUS as it was (under Wine, the state the
// last such call set).
bool displayKeptOn()
{
    const EXECUTION_STATE state = SetThreadExecutionState(0);
    constexpr EXECUTION_STATE On = ES_CONTINUOUS | ES_DISPLAY_REQUIRED;
    return (state & On) == On;
}

void answerMessageBox(MessageBoxAnswer answer)
{
    HWND box = nullptr;
    EnumThreadWindows(GetCurrentThreadId(), &findBox, reinterpret_cast<LPARAM>(&box));
    REQUIRE(box != nullptr);
    REQUIRE(PostMessageW(box, WM_COMMAND, answer == MessageBoxAnswer::Ok ? IDOK : IDCANCEL, 0));
}

void pump()
{
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    MsgWaitForMultipleObjectsEx(0, nullptr, 5, QS_ALLINPUT, 0);
}

void reportResume(WindowPeer &window)
{
    PostMessageW(hwndOf(window), WM_POWERBROADCAST, PBT_APMRESUMEAUTOMATIC, 0);
}

std::int64_t sleepCountingMs()
{
    LARGE_INTEGER count{}, frequency{};
    QueryPerformanceCounter(&count);
    QueryPerformanceFrequency(&frequency);
    return std::int64_t(count.QuadPart * 1000.0L / frequency.QuadPart);
}

// WinHTTP under Wine 8 ignores WINHTTP_OPTION_MAX_RESPONSE_HEADER_SIZE and
// the exchange does not measure the block again; the request object's own
// bound still holds.
const bool boundsHeaderBlock = false;

} // namespace driver

int main(int argc, char **argv)
{
    std::setlocale(LC_ALL, "");
    backend::start(argc, argv, u"conformance");
    // Closing the last window ends the program's loop for good: one stays
    // open while the cases open and close theirs.
    const std::unique_ptr<WindowPeer> keeper = backend::createWindow();
    keeper->moveTo(600, 400);
    keeper->setClientSize(100, 100);
    keeper->show();
    doctest::Context context(argc, argv);
    const int status = context.run();
    backend::finish();
    return status;
}
