// SPDX-License-Identifier: MIT
#include "win32label.h"

#include "win32digittiles.h"
#include "win32fonts.h"
#include "win32textline.h"
#include "win32window.h"

#include <windowsx.h>

#include <algorithm>
#include <array>
#include <memory>
#include <optional>
#include <type_traits>
#include <utility>

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

// Sends `message` with the window's own context clipped to `area`, for
// drawing now what a paint message would; false where there is no context.
bool sendClipped(HWND window, const RECT &area, UINT message, LPARAM lParam)
{
    const WindowDc dc(window);
    if (!dc.get() ||
        IntersectClipRect(dc.get(), area.left, area.top, area.right, area.bottom) == ERROR)
        return false;
    SendMessageW(window, message, reinterpret_cast<WPARAM>(dc.get()), lParam);
    // Not RestoreDC, which would select the context's font again.
    SelectClipRgn(dc.get(), nullptr);
    return true;
}

// How far past its advance a character's ink may reach: the font's overhang
// and a little more, for the regular-script faces' strokes and the
// synthesised bold.
int inkMargin(const TEXTMETRICW &metrics)
{
    return std::max(0, int(metrics.tmOverhang)) + int(metrics.tmHeight) / 16 + 2;
}

// The bytes a label may keep of its font's digits: the seconds' at 3840
// pixels across need about half of it.
constexpr std::size_t TileBudget = 4 * 1024 * 1024;

// A caption changed this many times in a row, each within so many
// milliseconds of the last, changes every second: not the hour and minute
// at a switch of clocks.
constexpr int TickingAfter = 3;
constexpr ULONGLONG TickingWithin = 2000;

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
    // The label paints all of itself, background included. Its own device
    // context stays valid between paints, so drawing a changed caption at
    // once asks the window system for nothing (a paint message costs
    // several calls to Wine's server). A resize repaints only what it
    // uncovers; setGeometry asks for the rest where the caption moves.
    const wchar_t *className = registerClass(
        L"FullScreenClockLabel", &ownedWindowProcedure<Win32Label>, nullptr, nullptr, CS_OWNDC);
    CreateWindowExW(0, className, L"", WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS, 0, 0, 0, 0,
                    window.hwnd(), nullptr, GetModuleHandleW(nullptr), this);
    raiseIfNotCreated(m_hwnd.get());
    window.stackOnTop(m_hwnd.get());
    m_ownDc = GetDC(m_hwnd.get()); // a class context: nothing to release
    // Measuring in a memory context asks neither the window manager nor the
    // display for anything; without one the window's context serves.
    m_measuring.reset(CreateCompatibleDC(nullptr));
}

template <class Measure> auto Win32Label::measuring(Measure measure) const
{
    if (m_measuring) {
        const auto font = selectObject(m_measuring.get(), currentFont());
        return measure(m_measuring.get());
    }
    const WindowDc dc(m_hwnd.get());
    const auto font = selectObject(dc.get(), currentFont());
    return measure(dc.get());
}

Win32Label::~Win32Label()
{
    m_window.reachesPast(this, false);
    m_window.forget(m_hwnd.get());
    m_hwnd.reset();
}

// The caption on screen stays where it is, but for the cells that differ.
void Win32Label::setText(const Text &text)
{
    if (text == m_text)
        return;
    const ULONGLONG changedAt = GetTickCount64();
    const bool soon = m_lastChange != 0 && changedAt - m_lastChange < TickingWithin;
    m_quickChanges = soon ? std::min(m_quickChanges + 1, TickingAfter) : 0;
    m_lastChange = changedAt;
    const Text shown = std::exchange(m_text, text);
    if (!m_hwnd || !seen()) {
        m_cellsKnown = false;
        return;
    }
    if (!m_cellsKnown)
        m_cells = measuring([&](HDC dc) { return cells(dc, shown); });
    std::vector<TextCell> now = measuring([&](HDC dc) { return cells(dc, text); });
    // Where the font's kept digits say exactly where the ink lies, only
    // that is painted.
    const bool kept =
        m_tiles.holds(look()) && inkFromTiles(m_cells, shown) && inkFromTiles(now, text);
    const ColumnSpan span = changedColumns(m_cells, now);
    m_cells = std::move(now);
    m_cellsKnown = true;
    if (!span.empty())
        drawNow({span.left, kept ? m_tiles.top() : 0, span.right,
                 kept ? m_tiles.bottom() : m_geometry.height});
    drawDigitsAhead();
}

// The system keeps the glyphs a font has drawn: drawn once where no one sees
// them, the digits a caption of digits comes to show are copied later, not
// rendered anew (a big digit at a minute's turn, its memory taken afresh).
// Only a saving: where it cannot, each digit is rendered when first shown.
void Win32Label::drawDigitsAhead()
{
    if (m_digitsAhead || !m_measuring || m_text.empty() ||
        m_text.find_first_not_of(CaptionDigits) != Text::npos)
        return;
    m_digitsAhead = true;
    HDC dc = m_measuring.get();
    const auto font = selectObject(dc, currentFont());
    TEXTMETRICW metrics{};
    if (!GetTextMetricsW(dc, &metrics))
        return;
    // As the window's surface is: the same glyphs.
    void *bits = nullptr;
    const UniqueBitmap canvas =
        createSurfaceBitmap(dc, metrics.tmMaxCharWidth, metrics.tmHeight, &bits);
    if (!canvas)
        return;
    const auto drawn = selectObject(dc, canvas.get());
    SetBkMode(dc, TRANSPARENT);
    const Text digits = CaptionDigits;
    for (std::size_t i = 0; i < digits.size(); ++i)
        ExtTextOutW(dc, 0, 0, 0, nullptr, wide(digits) + i, 1, nullptr);
}

// Drawn now, as the system's static control draws a new text, through the
// message that asks a window to draw into a given context: what is still to
// be painted (an uncovered part, say) comes by WM_PAINT.
void Win32Label::drawNow(const RECT &area)
{
    if (!sendClipped(m_hwnd.get(), area, WM_PRINTCLIENT, PRF_CLIENT))
        invalidate(&area);
}

// A left-aligned label that only widens or narrows, as a self-sizing one does
// for another caption, keeps what it shows and draws just the strip between
// its two widths. Its window keeps its widest width while no other control
// lies beside it: moving a child window costs several calls to Wine's server
// and a repaint of the form. A centred caption moves within a label of
// another width, so all of it is painted again.
void Win32Label::setGeometry(const PixelRect &rect)
{
    if (rect == m_geometry)
        return;
    const bool resized = rect.width != m_geometry.width || rect.height != m_geometry.height;
    const bool inPlace = m_alignment != Alignment::Center && rect.left == m_geometry.left &&
                         rect.top == m_geometry.top && rect.height == m_geometry.height && m_hwnd &&
                         seen();
    const int before = m_geometry.width;
    m_geometry = rect;
    m_cellsKnown = false;
    if (!m_hwnd)
        return;
    if (!inPlace) {
        SetWindowPos(m_hwnd.get(), nullptr, rect.left, rect.top, rect.width, rect.height,
                     SWP_NOZORDER | SWP_NOACTIVATE);
        setWindowWidth(rect.width);
        if (resized && m_alignment == Alignment::Center)
            invalidate(nullptr);
    } else {
        const int widest = std::max(m_windowWidth, rect.width);
        const int width = m_window.bare(past(widest), m_hwnd.get()) ? widest : rect.width;
        // Given up over another control: the system repaints what shows there.
        const bool givesUp = width < m_windowWidth;
        const bool grows = width > m_windowWidth;
        if (width != m_windowWidth)
            SetWindowPos(m_hwnd.get(), nullptr, 0, 0, width, rect.height,
                         SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | (givesUp ? 0 : SWP_NOREDRAW));
        setWindowWidth(width);
        drawNow({std::min(before, rect.width), 0, std::max(before, rect.width), rect.height});
        if (!grows)
            return; // lies nowhere it did not lie before
    }
    m_window.claim(m_hwnd.get());
}

void Win32Label::setWindowWidth(int width)
{
    m_windowWidth = width;
    m_window.reachesPast(this, width > m_geometry.width);
}

RECT Win32Label::past(int windowWidth) const
{
    return {m_geometry.left + m_geometry.width, m_geometry.top, m_geometry.left + windowWidth,
            m_geometry.top + m_geometry.height};
}

void Win32Label::yield(const RECT &area)
{
    const RECT beside = past(m_windowWidth);
    RECT both{};
    if (!m_hwnd || !IntersectRect(&both, &beside, &area))
        return;
    SetWindowPos(m_hwnd.get(), nullptr, 0, 0, m_geometry.width, m_geometry.height,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    setWindowWidth(m_geometry.width);
}

double Win32Label::setFont(const FontSpec &font)
{
    RealisedFont realised = createFont(font, m_window.fontDescription());
    if (realised.font) {
        // Not deleted while the own context still holds it.
        if (m_ownDc)
            SelectObject(m_ownDc, GetStockObject(SYSTEM_FONT));
        m_font = std::move(realised.font);
    }
    m_tiles.reset(); // a new font may come under the old one's handle
    m_cellsKnown = false;
    m_digitsAhead = false;
    invalidate(nullptr);
    return realised.points;
}

TextExtent Win32Label::measure(const Text &text) const
{
    // As drawn: characters the font lacks take the width of their fallback face.
    return measuring([&](HDC dc) {
        if (!dc)
            return TextExtent{};
        const SIZE size = TextLine(dc, text).extent();
        return TextExtent{double(size.cx), double(size.cy)};
    });
}

void Win32Label::setForeColor(ColourWord colour)
{
    m_foreColor = colour;
    invalidate(nullptr);
}

void Win32Label::setAlignment(Alignment alignment)
{
    m_alignment = alignment;
    m_cellsKnown = false;
    invalidate(nullptr);
}

void Win32Label::invalidate(const RECT *area)
{
    if (m_hwnd)
        InvalidateRect(m_hwnd.get(), area, FALSE);
}

// Whether anything of the caption can show: a hidden label, one outside its
// window or one whose ink is its paper shows none.
bool Win32Label::seen() const
{
    if (!IsWindowVisible(m_hwnd.get()) || toColorRef(m_foreColor) == toColorRef(SystemButtonFace))
        return false;
    RECT client{};
    RECT both{};
    const RECT mine{m_geometry.left, m_geometry.top, m_geometry.left + m_geometry.width,
                    m_geometry.top + m_geometry.height};
    return GetClientRect(m_window.hwnd(), &client) && IntersectRect(&both, &client, &mine);
}

// Each character where paint() draws it, its ink within its margins.
std::vector<TextCell> Win32Label::cells(HDC dc, const Text &text) const
{
    const TextLine line(dc, text);
    const std::vector<int> edges = line.characterEdges();
    TEXTMETRICW metrics{};
    GetTextMetricsW(dc, &metrics);
    const int margin = inkMargin(metrics);
    const int start =
        m_alignment == Alignment::Center ? (m_geometry.width - line.extent().cx) / 2 : 0;
    std::vector<TextCell> out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const int pen = start + edges[i];
        out.push_back({text[i], pen, pen - margin, start + edges[i + 1] + margin});
    }
    return out;
}

void Win32Label::setVisible(bool visible)
{
    if (!m_hwnd)
        return;
    ShowWindow(m_hwnd.get(), visible ? SW_SHOWNA : SW_HIDE);
    if (visible)
        m_window.claim(m_hwnd.get());
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

// The system's own brush of the face colour follows the scheme; only the
// part to repaint, the context's clipping, is filled and drawn.
void Win32Label::paint(HDC dc)
{
    RECT area{};
    if (GetClipBox(dc, &area) == NULLREGION || paintFromTiles(dc, area))
        return;
    // The label, which its window may reach past.
    RECT client{0, 0, m_geometry.width, m_geometry.height};
    FillRect(dc, &area, GetSysColorBrush(COLOR_BTNFACE));
    // The own context keeps the font: selecting a font asks the display
    // driver each time (under Wine, the X server's font defaults, which
    // without a resource database means reading ~/.Xdefaults again).
    std::optional<Selection> selected;
    if (dc != m_ownDc)
        selected.emplace(selectObject(dc, currentFont()));
    else if (GetCurrentObject(dc, OBJ_FONT) != currentFont())
        SelectObject(dc, currentFont());
    SetTextColor(dc, toColorRef(m_foreColor));
    SetBkMode(dc, TRANSPARENT);
    const TextLine line(dc, m_text);
    if (line.fallsBack()) {
        // Placed as DrawText places a line, and cut at the label's end.
        const int width = line.extent().cx;
        line.draw(m_alignment == Alignment::Center ? (client.left + client.right - width) / 2
                                                   : client.left,
                  client.top);
        const RECT beside{client.right, client.top, m_windowWidth, client.bottom};
        if (width > client.right && m_windowWidth > client.right)
            FillRect(dc, &beside, GetSysColorBrush(COLOR_BTNFACE));
        return;
    }
    const UINT format = DT_SINGLELINE | DT_NOPREFIX | DT_TOP |
                        (m_alignment == Alignment::Center ? DT_CENTER : DT_LEFT);
    DrawTextW(dc, wide(m_text), int(m_text.size()), &client, format);
}

DigitTiles::Look Win32Label::look() const
{
    return {currentFont(), toColorRef(m_foreColor), GetSysColor(COLOR_BTNFACE), m_geometry.height};
}

// Narrows each cell of `text` to its ink as the kept digits have it; false
// where a character has no tile.
bool Win32Label::inkFromTiles(std::vector<TextCell> &line, const Text &text) const
{
    if (line.size() != text.size())
        return false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        const DigitTiles::Tile *tile = m_tiles.find(wchar_t(text[i]));
        if (!tile)
            return false;
        line[i].inkLeft = line[i].pen + tile->ink.left;
        line[i].inkRight = line[i].pen + tile->ink.right;
    }
    return true;
}

// A caption that changes every second is copied from its font's kept digits
// where no two characters' ink meets in the part to paint: the rest of it is
// paper. Anything else is drawn by paint() itself.
bool Win32Label::paintFromTiles(HDC dc, const RECT &area)
{
    if (m_quickChanges < TickingAfter || !m_cellsKnown || m_text.empty() ||
        m_cells.size() != m_text.size() || m_text.find_first_not_of(CaptionDigits) != Text::npos)
        return false;
    const DigitTiles::Look look = this->look();
    if (!m_tiles.holds(look)) {
        const int margin = measuring([](HDC measured) {
            TEXTMETRICW metrics{};
            return measured && GetTextMetricsW(measured, &metrics) ? inkMargin(metrics) : -1;
        });
        if (margin < 0)
            return false;
        m_tiles.prepare(look, margin, TileBudget);
    }
    // As DrawText draws it: cut at the label's edge.
    const RECT drawn{area.left, area.top, std::min<LONG>(area.right, m_geometry.width),
                     area.bottom};
    struct Inked {
        const DigitTiles::Tile *tile;
        int pen;
        RECT ink;
        RECT part;
    };
    std::array<Inked, 8> inked{};
    std::size_t count = 0;
    for (std::size_t i = 0; i < m_text.size(); ++i) {
        const DigitTiles::Tile *tile = m_tiles.find(wchar_t(m_text[i]));
        if (!tile)
            return false;
        const int pen = m_cells[i].pen;
        const RECT ink{pen + tile->ink.left, tile->ink.top, pen + tile->ink.right,
                       tile->ink.bottom};
        RECT part{};
        if (!IntersectRect(&part, &ink, &drawn))
            continue;
        for (std::size_t j = 0; j < count; ++j) {
            RECT both{};
            if (IntersectRect(&both, &inked[j].ink, &ink))
                return false; // blended where they meet
        }
        if (count == inked.size())
            return false;
        inked[count++] = {tile, pen, ink, part};
    }
    const HBRUSH paper = GetSysColorBrush(COLOR_BTNFACE);
    const RECT slot = count == 1 ? m_tiles.slot(*inked[0].tile, inked[0].pen) : RECT{};
    RECT inSlot{};
    if (count == 1 && IntersectRect(&inSlot, &slot, &drawn) && EqualRect(&inSlot, &drawn)) {
        // One copy, paper and all, as a tick's changed digit has it; past
        // the label's edge is paper.
        if (!m_tiles.copy(dc, *inked[0].tile, inked[0].pen, drawn))
            return false;
        const RECT beyond{drawn.right, area.top, area.right, area.bottom};
        if (!IsRectEmpty(&beyond))
            FillRect(dc, &beyond, paper);
        ++m_copied;
        return true;
    }
    if (count == 1) {
        // The paper around the one box only.
        const RECT &box = inked[0].part;
        const RECT bands[] = {{area.left, area.top, area.right, box.top},
                              {area.left, box.bottom, area.right, area.bottom},
                              {area.left, box.top, box.left, box.bottom},
                              {box.right, box.top, area.right, box.bottom}};
        for (const RECT &band : bands) {
            if (!IsRectEmpty(&band))
                FillRect(dc, &band, paper);
        }
    } else {
        FillRect(dc, &area, paper);
    }
    for (std::size_t j = 0; j < count; ++j) {
        // The ink alone: the slot's paper may lie over a neighbour's ink.
        if (!m_tiles.copy(dc, *inked[j].tile, inked[j].pen, inked[j].part))
            return false; // paint() draws it all again
    }
    m_copied += count > 0;
    return true;
}

LRESULT Win32Label::handle(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_PAINT: {
        const PaintScope scope(m_hwnd.get());
        paint(scope.dc);
        return 0;
    }
    case WM_PRINTCLIENT:
        paint(reinterpret_cast<HDC>(wParam));
        return 0;
    case WM_ERASEBKGND:
        return 1; // painted in full by WM_PAINT
    case WM_NCHITTEST: {
        // Past the label the mouse is the form's, or the control's beneath.
        POINT at{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
        if (ScreenToClient(m_hwnd.get(), &at) && at.x >= m_geometry.width)
            return HTTRANSPARENT;
        break;
    }
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
        const RECT client{0, 0, m_geometry.width, m_geometry.height};
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
