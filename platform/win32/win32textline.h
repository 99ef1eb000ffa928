// SPDX-License-Identifier: MIT
#pragma once

#include "win32.h"

#include <usp10.h>

#include <memory>
#include <type_traits>
#include <vector>

namespace platform::win32
{

struct StringAnalysisDeleter {
    void operator()(SCRIPT_STRING_ANALYSIS analysis) const { ScriptStringFree(&analysis); }
};
using UniqueStringAnalysis =
    std::unique_ptr<std::remove_pointer_t<SCRIPT_STRING_ANALYSIS>, StringAnalysisDeleter>;

// One line of text in the font selected into a device context. A face holds
// only some scripts (the carried regular-script face: ASCII, Latin-1 and the
// program's Chinese), while the long date is the user's locale's: runs of
// characters the font has no glyph for are drawn in the face the system
// falls back to for them (Uniscribe's font fallback and font linking), never
// left blank. The other characters keep the font, so a line the font covers
// is measured and drawn exactly as GDI does alone.
class TextLine
{
  public:
    // Laid out for `dc`, the context it is drawn into; `text` must outlive it.
    TextLine(HDC dc, const Text &text);

    // Width as drawn, fallback included; the font's line height.
    SIZE extent() const { return m_extent; }
    // Whether some characters are drawn in another face.
    bool fallsBack() const;
    // Draws the line with its top-left corner at (x, y), in the context's
    // colour and background mode.
    void draw(int x, int y) const;
    // Where each character starts, and the line ends, from its left edge.
    std::vector<int> characterEdges() const;

  private:
    struct Run {
        int begin;
        int end;
        int width;
        UniqueStringAnalysis fallback; // null: drawn in the font itself
    };

    HDC m_dc;
    const Text &m_text;
    std::vector<Run> m_runs;
    SIZE m_extent{};
    int m_ascent = 0;
};

} // namespace platform::win32
