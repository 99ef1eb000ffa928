// SPDX-License-Identifier: MIT
// What only the Win32 back end shows, beyond the contract's conformance
// suite, under Wine: labels size themselves to the text GDI measures, a press
// released outside a label clicks nothing, and the mouse moves and the
// pointer reach the label; a caption of digits draws its font's other digits
// out of sight; the field's caret stops blinking a while after the last key;
// the thread's execution state follows the window, and local time the
// system's zone from one reading to the next.
#define DOCTEST_CONFIG_IMPLEMENT
#include "testing.h"

#include "application.h"
#include "combobox.h"
#include "label.h"
#include "win32combobox.h"
#include "win32fonts.h"
#include "win32label.h"
#include "win32textline.h"
#include "win32window.h"
#include "window.h"

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <clocale>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cwctype>
#include <functional>
#include <map>
#include <string>
#include <vector>

using namespace platform;

namespace
{

HWND hwndOf(Label &label)
{
    return static_cast<win32::Win32Label &>(label.peer()).hwnd();
}

HWND hwndOf(Window &window)
{
    return static_cast<win32::Win32Window &>(window.peer()).hwnd();
}

std::wstring widen(const std::string &ascii)
{
    return std::wstring(ascii.begin(), ascii.end());
}

// One line of `text` in a font made here, apart from the back end's: the
// face, at the size in points asked for in whole pixels, as GDI realises it.
SIZE measure(const std::wstring &face, int charset, double points, const std::wstring &text)
{
    HDC screen = GetDC(nullptr);
    const int em = int(std::floor(points * GetDeviceCaps(screen, LOGPIXELSY) / 72.0 + 0.5));
    HFONT font = CreateFontW(-em, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, BYTE(charset),
                             OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                             DEFAULT_PITCH | FF_DONTCARE, face.c_str());
    REQUIRE(font != nullptr);
    HGDIOBJ previous = SelectObject(screen, font);
    SIZE result{};
    GetTextExtentPoint32W(screen, text.c_str(), int(text.size()), &result);
    SelectObject(screen, previous);
    ReleaseDC(nullptr, screen);
    DeleteObject(font);
    return result;
}

// Handles the messages waiting, as the event loop would. The quit the
// windows of earlier cases posted as they closed is not one of them.
void handleMessages()
{
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
        if (message.message != WM_QUIT)
            DispatchMessageW(&message);
}

// A self-sizing label 300 twips from the top.
void dress(Label &label, double points, ColourWord ink, double left, const Text &caption)
{
    label.setAutoSize(true);
    label.setFontSize(points);
    label.setForeColor(ink);
    label.setLeft(left);
    label.setTop(300);
    label.setCaption(caption);
}

// How many pixels of each colour `area` of the window's client shows.
std::map<COLORREF, int> pixels(HWND window, const RECT &area)
{
    std::map<COLORREF, int> seen;
    HDC dc = GetDC(window);
    for (int y = area.top; y < area.bottom; ++y)
        for (int x = area.left; x < area.right; ++x)
            ++seen[GetPixel(dc, x, y)];
    ReleaseDC(window, dc);
    return seen;
}

} // namespace

// The user's long date in the date display's font at 1920 pixels (楷体, 72
// points) where the carried face, which has ASCII, Latin-1 and the program's
// Chinese only, may stand in: run in several locales (tests/CMakeLists.txt).
TEST_CASE("every character of the long date is drawn")
{
    if (const char *expected = std::getenv("CLOCK_TEST_LOCALE")) {
        wchar_t name[LOCALE_NAME_MAX_LENGTH] = {};
        GetUserDefaultLocaleName(name, LOCALE_NAME_MAX_LENGTH);
        REQUIRE(std::wstring(name) == std::wstring(expected, expected + std::strlen(expected)));
    }
    const Text date = backend::formatLongDate({2026, 12, 9, 3});
    const std::wstring text(date.begin(), date.end());
    const win32::RealisedFont font =
        win32::createFont({u"楷体", 72, false, 134}, win32::windowFontDescription());
    const int width = 4000, height = 300, margin = 100;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height; // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void *bits = nullptr;
    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    REQUIRE((font.font && bitmap));
    const HGDIOBJ previousBitmap = SelectObject(dc, bitmap);
    const HGDIOBJ previousFont = SelectObject(dc, font.font.get());
    PatBlt(dc, 0, 0, width, height, WHITENESS);
    SetBkMode(dc, TRANSPARENT);
    const win32::TextLine line(dc, date);
    line.draw(margin, 0);
    GdiFlush();
    // The ink of columns [left, right) on white, as its inked rows of 0 and 1.
    const auto ink = [&](int left, int right) {
        const auto *pixels = static_cast<const std::uint32_t *>(bits);
        std::string rows;
        for (int y = 0; y < height; ++y) {
            std::string row;
            for (int x = std::max(0, left); x < std::min(width, right); ++x)
                row += (pixels[y * width + x] & 0xFFFFFF) != 0xFFFFFF ? '1' : '0';
            if (row.find('1') != std::string::npos)
                rows += row + '/';
        }
        return rows;
    };

    const std::vector<int> edges = line.characterEdges();
    REQUIRE(edges.size() == text.size() + 1);
    std::map<std::string, wchar_t> shapes;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (std::iswspace(text[i]) || text[i] == 0x00A0 || text[i] == 0x202F)
            continue;
        INFO("character ", i, " (", int(text[i]), ") of the date");
        const std::string shape = ink(margin + edges[i], margin + edges[i + 1]);
        CHECK_FALSE(shape.empty());
        // A face without the letter draws the same box for every one of them.
        if (!shape.empty())
            CHECK(int(shapes.emplace(shape, text[i]).first->second) == int(text[i]));
    }
    // The width as drawn, which keeps the date inside the window.
    CHECK(ink(0, margin - 2).empty());
    CHECK(ink(margin + line.extent().cx + 2, width).empty());
    // A face that has every letter: GDI's own width, and GDI's drawing.
    std::vector<WORD> glyphs(text.size());
    GetGlyphIndicesW(dc, text.c_str(), int(text.size()), glyphs.data(),
                     GGI_MARK_NONEXISTING_GLYPHS);
    if (std::find(glyphs.begin(), glyphs.end(), WORD(0xFFFF)) == glyphs.end()) {
        SIZE gdi{};
        GetTextExtentPoint32W(dc, text.c_str(), int(text.size()), &gdi);
        CHECK_FALSE(line.fallsBack());
        CHECK((line.extent().cx == gdi.cx && line.extent().cy == gdi.cy));
    }
    SelectObject(dc, previousFont);
    SelectObject(dc, previousBitmap);
    DeleteObject(bitmap);
    DeleteDC(dc);
}

TEST_CASE("a self-sizing label takes the size GDI measures")
{
    Window window;
    Label label(window);
    label.setFontName(u"楷体");
    label.setFontCharset(134);
    label.setFontSize(14);
    label.setAutoSize(true);
    label.setLeft(600);
    label.setTop(300);
    const double tpp = window.twipsPerPixel();

    struct Row {
        const char *name;
        const wchar_t *caption;
    };
    const Row rows[] = {
        {"empty: one space wide", L" "},
        {"the sync prompt", L"同步网络时间:"},
        {"longer", L"同步网络时间:再长一些的文字"},
    };
    double height = 0;
    for (const Row &row : rows) {
        INFO(std::string(row.name));
        const std::wstring caption = row.caption;
        label.setCaption(caption == L" " ? Text() : Text(caption.begin(), caption.end()));
        const SIZE measured = measure(L"楷体", 134, 14, caption);
        CHECK(label.Width() == std::ceil(double(measured.cx)) * tpp);
        CHECK(label.Height() == std::ceil(double(measured.cy)) * tpp);
        // The window sits on those whole pixels.
        RECT rect{};
        GetClientRect(hwndOf(label), &rect);
        CHECK(rect.right == std::lround(label.Width() / tpp));
        CHECK(rect.bottom == std::lround(label.Height() / tpp));
        if (height != 0)
            CHECK(label.Height() == height); // one line, whatever its length
        height = label.Height();
    }
}

TEST_CASE("a click is a press and release inside the label; mouse moves and the pointer")
{
    Window window;
    Label label(window);
    label.setAutoSize(true);
    label.setCaption(u"同步网络时间:");
    window.setClientSize(4500, 1500);
    window.Show();
    HWND hwnd = hwndOf(label);
    const double tpp = window.twipsPerPixel();
    int clicks = 0;
    std::vector<std::vector<double>> moves;
    label.Click = [&] { ++clicks; };
    label.MouseMove = [&](int button, int shift, double x, double y) {
        moves.push_back({double(button), double(shift), x, y});
    };

    SendMessageW(hwnd, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2));
    SendMessageW(hwnd, WM_LBUTTONUP, 0, MAKELPARAM(2, 2));
    CHECK(clicks == 1);
    // Released outside the label: no click.
    SendMessageW(hwnd, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2));
    SendMessageW(hwnd, WM_LBUTTONUP, 0, MAKELPARAM(-5, 2));
    CHECK(clicks == 1);

    SendMessageW(hwnd, WM_MOUSEMOVE, MK_LBUTTON | MK_SHIFT, MAKELPARAM(4, 6));
    REQUIRE(moves.size() == 1);
    CHECK(moves[0] == std::vector<double>{1, 1, 4 * tpp, 6 * tpp});

    // The pointer: the arrow with a question mark once asked for.
    const LPARAM overClient = MAKELPARAM(HTCLIENT, WM_MOUSEMOVE);
    SendMessageW(hwnd, WM_SETCURSOR, WPARAM(hwnd), overClient);
    CHECK(GetCursor() == LoadCursorW(nullptr, IDC_ARROW));
    label.setMousePointer(14);
    SendMessageW(hwnd, WM_SETCURSOR, WPARAM(hwnd), overClient);
    CHECK(GetCursor() == LoadCursorW(nullptr, IDC_HELP));
}

// A self-sizing label that narrows leaves the form's paper where it stood,
// without a paint message. Its window keeps its width where nothing else
// lies, passing the mouse on there; a control beneath, or shown there later,
// shows again. Widening again draws the caption there.
TEST_CASE("a label that narrows gives its strip back to the form")
{
    enum class Under { Nothing, Before, ShownAfter };
    struct Row {
        const char *name;
        Under under; // another label, created first, under the strip
    };
    const Row rows[] = {{"the form alone beneath", Under::Nothing},
                        {"another label beneath", Under::Before},
                        {"another label shown there after", Under::ShownAfter}};
    const COLORREF red = RGB(255, 0, 0), blue = RGB(0, 0, 255);
    for (const Row &row : rows) {
        INFO(std::string(row.name));
        Window window;
        window.setClientSize(6000, 1500);
        Label under(window);
        under.setVisible(row.under == Under::Before);
        dress(under, 24, Rgb(0, 0, 255), 2400, u"8888");
        Label label(window);
        dress(label, 24, Rgb(255, 0, 0), 300, u"8888888888");
        window.Show();
        handleMessages();
        RECT before{};
        GetWindowRect(hwndOf(label), &before);
        label.setCaption(u"8");
        CHECK((GetUpdateRect(hwndOf(window), nullptr, FALSE) != FALSE) ==
              (row.under == Under::Before));
        // The strip given up, in the form's client coordinates.
        const int right = before.left + int(std::lround(label.Width() / window.twipsPerPixel()));
        POINT corners[] = {{right, before.top}, {before.right, before.bottom}};
        MapWindowPoints(HWND_DESKTOP, hwndOf(window), corners, 2);
        const RECT strip{corners[0].x, corners[0].y, corners[1].x, corners[1].y};
        REQUIRE(strip.right > strip.left);
        const auto hit = [&](int x) {
            return SendMessageW(hwndOf(label), WM_NCHITTEST, 0,
                                MAKELPARAM(x, (before.top + before.bottom) / 2));
        };
        CHECK(hit(before.left + 2) == HTCLIENT);
        CHECK(hit(before.right - 2) == HTTRANSPARENT);
        if (row.under == Under::ShownAfter)
            under.setVisible(true);
        handleMessages();
        std::map<COLORREF, int> seen = pixels(hwndOf(window), strip);
        CHECK(seen[red] == 0);
        CHECK((seen[blue] > 0) == (row.under != Under::Nothing));
        if (row.under == Under::Nothing)
            CHECK(seen[GetSysColor(COLOR_BTNFACE)] ==
                  (strip.right - strip.left) * (strip.bottom - strip.top));
        label.setCaption(u"8888888888");
        CHECK(GetUpdateRect(hwndOf(label), nullptr, FALSE) == FALSE);
        handleMessages();
        CHECK(pixels(hwndOf(window), strip)[red] > 0);
    }
}

// The label's own context keeps its font between paints; a new font is the
// one drawn next.
TEST_CASE("a label draws in the font it was last given")
{
    Window window;
    window.setClientSize(6000, 3000);
    Label label(window);
    dress(label, 12, Rgb(255, 0, 0), 300, u"8");
    window.Show();
    // The rows of the label's client that hold red ink.
    const auto inkRows = [&] {
        handleMessages();
        RECT client{};
        GetClientRect(hwndOf(label), &client);
        int rows = 0;
        for (int y = client.top; y < client.bottom; ++y)
            rows +=
                pixels(hwndOf(label), {client.left, y, client.right, y + 1})[RGB(255, 0, 0)] > 0;
        return rows;
    };
    const int small = inkRows();
    label.setFontSize(36);
    const int large = inkRows();
    CHECK(small > 0);
    CHECK(large > 2 * small);
}

// A caption of digits has its font's other digits drawn ahead, out of sight:
// what the label shows and measures stays as a paint of its own gives.
TEST_CASE("a caption of digits draws the other digits out of sight")
{
    Window window;
    window.setClientSize(9000, 3000);
    window.Show();
    Label label(window);
    label.setFontName(u"楷体");
    label.setFontCharset(134);
    dress(label, 48, Rgb(255, 0, 0), 300, u"88");
    label.setFontSize(36); // its digits drawn ahead at the next caption, the size settled
    handleMessages();
    label.setCaption(u"12");
    handleMessages();
    RECT client{};
    GetClientRect(hwndOf(label), &client);
    const auto shown = pixels(hwndOf(label), client);
    RedrawWindow(hwndOf(label), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    CHECK(pixels(hwndOf(label), client) == shown);
    label.setCaption(u"12:34");
    CHECK(label.Width() ==
          std::ceil(double(measure(L"楷体", 134, 36, L"12:34").cx)) * window.twipsPerPixel());
}

// What the label's client shows, pixel for pixel.
std::vector<COLORREF> image(Label &label)
{
    RECT client{};
    GetClientRect(hwndOf(label), &client);
    std::vector<COLORREF> seen;
    HDC dc = GetDC(hwndOf(label));
    for (int y = client.top; y < client.bottom; ++y)
        for (int x = client.left; x < client.right; ++x)
            seen.push_back(GetPixel(dc, x, y));
    ReleaseDC(hwndOf(label), dc);
    return seen;
}

// A caption that changes every second is copied from its font's digits,
// drawn once and kept: after each change the label shows what a label of its
// own given that caption once draws.
TEST_CASE("a caption that changes every second is copied from its font's digits")
{
    struct Row {
        const char *name;
        const char16_t *face; // null: the window's font
        double points;
        bool bold;
        Alignment alignment;
        std::vector<Text> captions;
        bool copied;
    };
    const Row rows[] = {
        {"the seconds, bold regular script, past a ten",
         u"楷体",
         36,
         true,
         Alignment::Left,
         {u":57", u":58", u":59", u":00", u":01"},
         true},
        {"the counter widening, in the window's font",
         nullptr,
         9,
         false,
         Alignment::Left,
         {u"8", u"9", u"10", u"11", u"12"},
         true},
        {"the hour and minute, centred",
         u"楷体",
         24,
         false,
         Alignment::Center,
         {u"09:58", u"09:59", u"10:00", u"10:01"},
         true},
        {"a caption not of digits",
         u"楷体",
         24,
         false,
         Alignment::Left,
         {u"1a", u"1b", u"1c"},
         false},
    };
    for (const Row &row : rows) {
        SUBCASE(row.name)
        {
            Window window;
            window.setClientSize(9000, 3000);
            window.Show();
            const auto dressed = [&](Label &label, double top) {
                if (row.face) {
                    label.setFontName(row.face);
                    label.setFontCharset(134);
                }
                label.setFontBold(row.bold);
                label.setAlignment(row.alignment);
                dress(label, row.points, Rgb(170, 170, 170), 300, u"");
                label.setTop(top);
                if (row.alignment == Alignment::Center) {
                    label.setAutoSize(false);
                    label.setSize(4500, 1200);
                }
            };
            Label ticking(window);
            dressed(ticking, 300);
            for (const Text &caption : row.captions) {
                ticking.setCaption(caption);
                Label once(window);
                dressed(once, 1600);
                once.setCaption(caption);
                handleMessages();
                INFO(std::string(caption.begin(), caption.end()));
                CHECK(image(ticking) == image(once));
            }
            const int copied = static_cast<win32::Win32Label &>(ticking.peer()).copiedFromTiles();
            CHECK((copied > 0) == row.copied);
        }
    }
}

// The caret is drawn by inverting the field's pixels: the pixel in its middle
// tells whether it shows. Watched while the thread's messages are handled.
TEST_CASE("the field's caret blinks for a while after a key, then rests")
{
    Window window;
    window.setClientSize(4500, 1500);
    ComboBox combo(window);
    combo.setLeft(300);
    combo.setTop(300);
    combo.setSize(3000, 300);
    window.Show();
    auto &peer = static_cast<win32::Win32ComboBox &>(combo.peer());
    const HWND edit = peer.edit();
    REQUIRE(edit != nullptr);
    combo.SetFocus();
    REQUIRE(GetFocus() == edit);
    // Whether the caret's pixel was seen drawn and seen clear within `ms`.
    const auto watch = [&](int ms) {
        POINT at{};
        GetCaretPos(&at);
        RECT field{};
        GetClientRect(edit, &field);
        const int y = at.y + (field.bottom - field.top) / 4;
        HDC dc = GetDC(edit);
        const COLORREF paper = GetPixel(dc, field.right - 2, y);
        bool drawn = false, clear = false;
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (std::chrono::steady_clock::now() < end) {
            handleMessages();
            (GetPixel(dc, at.x, y) == paper ? clear : drawn) = true;
            Sleep(5);
        }
        ReleaseDC(edit, dc);
        return std::make_pair(drawn, clear);
    };
    const UINT blink = GetCaretBlinkTime();
    struct Row {
        const char *name;
        UINT restMs;
        std::function<void()> before;
        bool drawn, clear;
    };
    const Row rows[] = {
        {"blinking", 60000, [] {}, true, true},
        {"at rest", 100, [] {}, false, true},
        {"a key wakes it", 100, [&] { SendMessageW(edit, WM_KEYDOWN, VK_END, 0); }, true, true},
        {"at rest again", 100, [] {}, false, true},
        {"a click wakes it", 100, [&] { SendMessageW(edit, WM_LBUTTONDOWN, MK_LBUTTON, 0); }, true,
         true},
    };
    for (const Row &row : rows) {
        INFO(std::string(row.name));
        peer.setCaretRest(row.restMs);
        row.before();
        // At rest: watched from after the rest, for three blinks.
        if (!row.drawn)
            watch(int(row.restMs) + 100);
        const auto [drawn, clear] = watch(int(blink) * 3);
        CHECK(drawn == row.drawn);
        CHECK(clear == row.clear);
        SendMessageW(edit, WM_LBUTTONUP, 0, 0);
    }
}

// Under Wine the call returns the flags of the last call made with
// ES_CONTINUOUS, which a call without it leaves as they were.
TEST_CASE("the thread's execution state keeps the display on while the window is shown")
{
    constexpr EXECUTION_STATE On = ES_CONTINUOUS | ES_DISPLAY_REQUIRED | ES_SYSTEM_REQUIRED;
    constexpr EXECUTION_STATE Off = ES_CONTINUOUS;
    Window window;
    window.setClientSize(4500, 1500);
    const HWND hwnd = hwndOf(window);
    struct Row {
        const char *name;
        std::function<void()> step;
        EXECUTION_STATE flags;
    };
    const Row rows[] = {
        {"shown", [&] { window.Show(); }, On},
        {"minimised", [&] { SendMessageW(hwnd, WM_SYSCOMMAND, SC_MINIMIZE, 0); }, Off},
        {"restored", [&] { SendMessageW(hwnd, WM_SYSCOMMAND, SC_RESTORE, 0); }, On},
        {"hidden", [&] { ShowWindow(hwnd, SW_HIDE); }, Off},
        {"shown again", [&] { window.Show(); }, On},
        {"closed", [&] { window.Unload(); }, Off},
    };
    for (const Row &row : rows) {
        INFO(std::string(row.name));
        row.step();
        CHECK(SetThreadExecutionState(0) == row.flags);
    }
}

// Wine takes the zone from the host: with TZ unset, from /etc/localtime,
// which glibc reads again once the file has changed. The test runs in a
// mount namespace of its own where /etc/localtime is the test's own file
// (tests/CMakeLists.txt), CLOCK_TEST_ZONE_FILE, and writes a zone into that
// file before each reading. Changing TZ in the process reaches neither Wine
// nor the system's zone.
TEST_CASE("local time follows the system's zone from one reading to the next")
{
    const char *zoneFile = std::getenv("CLOCK_TEST_ZONE_FILE");
    REQUIRE(zoneFile != nullptr);
    // Never the system's own zone file: only the copy the namespace shows.
    REQUIRE(std::string(zoneFile).rfind("/etc/", 0) != 0);
    REQUIRE(std::string(zoneFile).find("zoneinfo") == std::string::npos);
    std::wstring target = L"Z:" + widen(zoneFile);
    std::replace(target.begin(), target.end(), L'/', L'\\');

    struct Row {
        const char *name;
        const wchar_t *zone;
        std::int64_t ms;
        CivilDateTime local;
    };
    constexpr std::int64_t Dec7 = 1796652285123; // 2026-12-07 14:04:45.123 UTC
    constexpr std::int64_t Jul1 = 1782907200000; // 2026-07-01 12:00:00 UTC
    const Row rows[] = {
        {"Tokyo", L"Asia\\Tokyo", Dec7, {2026, 12, 7, 23, 4, 45, 123}},
        {"New York in winter", L"America\\New_York", Dec7, {2026, 12, 7, 9, 4, 45, 123}},
        {"New York in summer", L"America\\New_York", Jul1, {2026, 7, 1, 8, 0, 0, 0}},
        {"Tokyo again", L"Asia\\Tokyo", Jul1, {2026, 7, 1, 21, 0, 0, 0}},
    };
    // glibc sees a change by the file's time, in whole seconds.
    std::uint64_t stamp = 130000000000000000; // 2012
    for (const Row &row : rows) {
        INFO(std::string(row.name));
        const std::wstring source = std::wstring(L"Z:\\usr\\share\\zoneinfo\\") + row.zone;
        HANDLE in = CreateFileW(source.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, 0, nullptr);
        REQUIRE(in != INVALID_HANDLE_VALUE);
        std::vector<char> data(1 << 16);
        DWORD size = 0;
        const BOOL read = ReadFile(in, data.data(), DWORD(data.size()), &size, nullptr);
        CloseHandle(in);
        REQUIRE(read);
        // Written in place: the namespace shows this very file.
        HANDLE out =
            CreateFileW(target.c_str(), GENERIC_WRITE, 0, nullptr, TRUNCATE_EXISTING, 0, nullptr);
        REQUIRE(out != INVALID_HANDLE_VALUE);
        DWORD written = 0;
        stamp += 10000000ull * 100;
        const FILETIME time{DWORD(stamp), DWORD(stamp >> 32)};
        const bool ok = WriteFile(out, data.data(), size, &written, nullptr) && written == size &&
                        SetFileTime(out, nullptr, nullptr, &time);
        CloseHandle(out);
        REQUIRE(ok);

        const CivilDateTime local = backend::localTime(row.ms);
        CHECK(std::vector<int>{local.year, local.month, local.day, local.hour, local.minute,
                               local.second, local.millisecond} ==
              std::vector<int>{row.local.year, row.local.month, row.local.day, row.local.hour,
                               row.local.minute, row.local.second, row.local.millisecond});
    }
}

int main(int argc, char **argv)
{
    std::setlocale(LC_ALL, "");
    Application app(argc, argv, u"全屏时钟");
    doctest::Context context(argc, argv);
    return context.run();
}
