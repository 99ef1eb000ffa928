// SPDX-License-Identifier: MIT
#include "win32digittiles.h"

#include "textcells.h"

#include <algorithm>
#include <cstdint>
#include <string_view>

namespace platform::win32
{

namespace
{
constexpr std::u16string_view Characters(CaptionDigits);
constexpr WORD MissingGlyph = 0xFFFF; // GGI_MARK_NONEXISTING_GLYPHS

// The paper as a 32-bit pixel holds it (blue in the low byte).
std::uint32_t pixelOf(COLORREF colour)
{
    return std::uint32_t(GetRValue(colour)) << 16 | std::uint32_t(GetGValue(colour)) << 8 |
           GetBValue(colour);
}
} // namespace

UniqueBitmap createSurfaceBitmap(HDC dc, int width, int height, void **bits)
{
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height; // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    return UniqueBitmap(CreateDIBSection(dc, &info, DIB_RGB_COLORS, bits, nullptr, 0));
}

void DigitTiles::reset()
{
    if (m_dc && m_firstBitmap)
        SelectObject(m_dc.get(), m_firstBitmap);
    m_firstBitmap = nullptr;
    m_bitmap.reset();
    m_dc.reset();
    m_tiles = {};
    m_look.reset();
}

void DigitTiles::prepare(const Look &look, int margin, std::size_t budget)
{
    reset();
    m_look = look;
    UniqueDc dc(CreateCompatibleDC(nullptr));
    if (!dc || !look.font || look.height <= 0)
        return;
    const auto font = selectObject(dc.get(), look.font);
    const auto *characters = reinterpret_cast<const wchar_t *>(Characters.data());
    const int count = int(Characters.size());
    std::array<WORD, 11> glyphs{};
    if (GetGlyphIndicesW(dc.get(), characters, count, glyphs.data(), GGI_MARK_NONEXISTING_GLYPHS) ==
        GDI_ERROR)
        return;
    // Each character drawn alone in a slot of its advance and the margins.
    // Slot i spans edge[i] to edge[i + 1].
    std::array<int, 12> edge{};
    for (int i = 0; i < count; ++i) {
        SIZE size{};
        if (!GetTextExtentPoint32W(dc.get(), characters + i, 1, &size))
            return;
        edge[std::size_t(i + 1)] = edge[std::size_t(i)] + size.cx + 2 * margin;
    }
    const int width = edge[std::size_t(count)];
    if (std::size_t(width) * std::size_t(look.height) * 4 > 4 * budget)
        return; // the drawing, not only what is kept, would be too large
    void *bits = nullptr;
    UniqueBitmap drawn = createSurfaceBitmap(dc.get(), width, look.height, &bits);
    if (!drawn)
        return;
    {
        const auto canvas = selectObject(dc.get(), drawn.get());
        const RECT all{0, 0, width, look.height};
        FillRect(dc.get(), &all, GetSysColorBrush(COLOR_BTNFACE));
        SetTextColor(dc.get(), look.ink);
        SetBkMode(dc.get(), TRANSPARENT);
        for (int i = 0; i < count; ++i) {
            const RECT box{edge[std::size_t(i)], 0, edge[std::size_t(i + 1)], look.height};
            ExtTextOutW(dc.get(), box.left + margin, 0, ETO_CLIPPED, &box, characters + i, 1,
                        nullptr);
        }
        GdiFlush();
    }
    // Where each one's ink lies; ink at a slot's edge may have gone further.
    const auto *pixels = static_cast<const std::uint32_t *>(bits);
    const std::uint32_t paper = pixelOf(look.paper);
    std::array<std::optional<RECT>, 11> inks{};
    int kept = 0;
    int top = look.height;
    int bottom = 0;
    for (int i = 0; i < count; ++i) {
        if (glyphs[std::size_t(i)] == MissingGlyph)
            continue;
        const int left = edge[std::size_t(i)];
        const int right = edge[std::size_t(i + 1)];
        RECT ink{right, look.height, left, 0};
        for (int y = 0; y < look.height; ++y) {
            const std::uint32_t *row = pixels + std::size_t(y) * std::size_t(width);
            for (int x = left; x < right; ++x) {
                if ((row[x] & 0xFFFFFF) != paper) {
                    ink = {std::min<LONG>(ink.left, x), std::min<LONG>(ink.top, y),
                           std::max<LONG>(ink.right, x + 1), std::max<LONG>(ink.bottom, y + 1)};
                }
            }
        }
        if (ink.left == left || ink.right == right)
            continue;
        if (IsRectEmpty(&ink))
            ink = {left + margin, 0, left + margin, 0};
        inks[std::size_t(i)] = ink;
        kept += right - left;
        if (ink.bottom > ink.top) {
            top = std::min<int>(top, ink.top);
            bottom = std::max<int>(bottom, ink.bottom);
        }
    }
    if (kept == 0 || bottom <= top || std::size_t(kept) * std::size_t(bottom - top) * 4 > budget)
        return;
    // Only the slots are kept, side by side, over the rows inked.
    UniqueDc keptDc(CreateCompatibleDC(nullptr));
    void *keptBits = nullptr;
    UniqueBitmap keptBitmap = createSurfaceBitmap(dc.get(), kept, bottom - top, &keptBits);
    if (!keptDc || !keptBitmap)
        return;
    const HGDIOBJ first = SelectObject(keptDc.get(), keptBitmap.get());
    if (!first)
        return;
    const auto canvas = selectObject(dc.get(), drawn.get());
    int x = 0;
    for (int i = 0; i < count; ++i) {
        if (!inks[std::size_t(i)])
            continue;
        const int left = edge[std::size_t(i)];
        const int right = edge[std::size_t(i + 1)];
        if (!BitBlt(keptDc.get(), x, 0, right - left, bottom - top, dc.get(), left, top, SRCCOPY)) {
            SelectObject(keptDc.get(), first);
            return;
        }
        const int pen = left + margin;
        const RECT &ink = *inks[std::size_t(i)];
        m_tiles[std::size_t(i)] =
            Tile{{ink.left - pen, ink.top, ink.right - pen, ink.bottom}, -margin, right - pen, x};
        x += right - left;
    }
    m_dc = std::move(keptDc);
    m_bitmap = std::move(keptBitmap);
    m_firstBitmap = first;
    m_top = top;
    m_bottom = bottom;
}

const DigitTiles::Tile *DigitTiles::find(wchar_t c) const
{
    const std::size_t at = Characters.find(char16_t(c));
    if (at == std::u16string_view::npos || !m_tiles[at])
        return nullptr;
    return &*m_tiles[at];
}

bool DigitTiles::copy(HDC dc, const Tile &tile, int pen, const RECT &clip) const
{
    const RECT placed = slot(tile, pen);
    RECT part{};
    if (!m_dc || !IntersectRect(&part, &placed, &clip))
        return true;
    return BitBlt(dc, part.left, part.top, part.right - part.left, part.bottom - part.top,
                  m_dc.get(), tile.x + (part.left - placed.left), part.top - m_top,
                  SRCCOPY) != FALSE;
}

} // namespace platform::win32
