// SPDX-License-Identifier: MIT
#pragma once

#include "win32.h"

#include <array>
#include <cstddef>
#include <optional>

namespace platform::win32
{

using UniqueBitmap = std::unique_ptr<std::remove_pointer_t<HBITMAP>, GdiObjectDeleter>;

// A top-down 32-bit bitmap, as a window's surface is, for drawing into a
// memory context compatible with `dc`; `bits` gets its pixels.
UniqueBitmap createSurfaceBitmap(HDC dc, int width, int height, void **bits);

// The digits and the colon of a label's font, each drawn once by GDI on the
// label's paper, and the pixels it left kept: a caption that changes every
// second copies where its changed digit's ink was and goes, paper and all,
// instead of filling its cell and blending the glyph anew (under Wine each
// pixel written is most of what a tick costs). Each is kept in its slot, its
// advance and a margin either side, over the rows where any of them has
// ink; where its ink would reach past the margin, or the font lacks it, the
// character has no tile.
class DigitTiles
{
  public:
    // What the pixels depend on.
    struct Look {
        HFONT font = nullptr;
        COLORREF ink = 0;
        COLORREF paper = 0;
        int height = 0;
        bool operator==(const Look &o) const
        {
            return font == o.font && ink == o.ink && paper == o.paper && height == o.height;
        }
    };
    // One character: its ink's box and its slot's columns, from the pen
    // and the top of the line, and where the slot lies in the kept bitmap.
    struct Tile {
        RECT ink{};
        int slotLeft = 0;
        int slotRight = 0;
        int x = 0;
    };

    DigitTiles() = default;
    ~DigitTiles() { reset(); }
    DigitTiles(const DigitTiles &) = delete;
    DigitTiles &operator=(const DigitTiles &) = delete;

    // Draws the characters in `look`, each with `margin` pixels on either
    // side of its advance for its ink, if their kept boxes fit in `budget`
    // bytes. Asked once per look: a look that cannot be drawn is not tried
    // again.
    void prepare(const Look &look, int margin, std::size_t budget);
    bool holds(const Look &look) const { return m_look && *m_look == look; }
    // The tile of `c` in the look prepared, if it has one.
    const Tile *find(wchar_t c) const;
    // The rows kept: where any of the characters has ink.
    int top() const { return m_top; }
    int bottom() const { return m_bottom; }
    // `tile`'s slot, the pen at `pen`, over the rows kept.
    RECT slot(const Tile &tile, int pen) const
    {
        return {pen + tile.slotLeft, m_top, pen + tile.slotRight, m_bottom};
    }
    // Copies what of `tile`'s slot, the pen at `pen`, lies in `clip` into
    // `dc` at the same place.
    bool copy(HDC dc, const Tile &tile, int pen, const RECT &clip) const;
    void reset();

  private:
    std::optional<Look> m_look;
    UniqueDc m_dc;
    UniqueBitmap m_bitmap;
    HGDIOBJ m_firstBitmap = nullptr;
    int m_top = 0;
    int m_bottom = 0;
    // By the character's place in the caption's digits; a box left empty
    // (and not a space's) has no tile.
    std::array<std::optional<Tile>, 11> m_tiles;
};

} // namespace platform::win32
