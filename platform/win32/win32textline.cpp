// SPDX-License-Identifier: MIT
#include "win32textline.h"

#include <algorithm>

namespace platform::win32
{

namespace
{
constexpr WORD MissingGlyph = 0xFFFF; // GGI_MARK_NONEXISTING_GLYPHS

// Uniscribe lays out and draws the run in the faces it falls back to for its
// scripts; East Asian font linking (SSA_LINK) covers what fallback alone does
// not pick a face for. Null if it cannot: the run then keeps the font.
UniqueStringAnalysis analyseFallback(HDC dc, const wchar_t *run, int length)
{
    SCRIPT_STRING_ANALYSIS analysis = nullptr;
    const HRESULT result = ScriptStringAnalyse(dc, run, length, length * 3 / 2 + 16, -1,
                                               SSA_GLYPHS | SSA_FALLBACK | SSA_LINK, 0, nullptr,
                                               nullptr, nullptr, nullptr, nullptr, &analysis);
    UniqueStringAnalysis owned(SUCCEEDED(result) ? analysis : nullptr);
    if (owned && !ScriptString_pSize(owned.get()))
        owned.reset();
    return owned;
}
} // namespace

TextLine::TextLine(HDC dc, const Text &text) : m_dc(dc), m_text(text)
{
    TEXTMETRICW metrics{};
    if (GetTextMetricsW(dc, &metrics)) {
        m_ascent = metrics.tmAscent;
        m_extent.cy = metrics.tmHeight;
    }
    const int length = int(text.size());
    std::vector<WORD> glyphs(text.size());
    // Where the font cannot tell, it draws everything, as GDI alone would.
    const bool known = length > 0 && GetGlyphIndicesW(dc, wide(text), length, glyphs.data(),
                                                      GGI_MARK_NONEXISTING_GLYPHS) != GDI_ERROR;
    const auto missing = [&](int at) { return known && glyphs[std::size_t(at)] == MissingGlyph; };
    bool covered = false;
    for (int begin = 0; begin < length;) {
        int end = begin + 1;
        while (end < length && missing(end) == missing(begin))
            ++end;
        Run run{begin, end, 0, nullptr};
        if (missing(begin))
            run.fallback = analyseFallback(dc, wide(text) + begin, end - begin);
        if (run.fallback) {
            run.width = ScriptString_pSize(run.fallback.get())->cx;
        } else {
            SIZE size{};
            if (GetTextExtentPoint32W(dc, wide(text) + begin, end - begin, &size)) {
                run.width = size.cx;
                // The height GDI reports for the font's own text, as before.
                m_extent.cy = covered ? std::max(m_extent.cy, size.cy) : size.cy;
                covered = true;
            }
        }
        m_extent.cx += run.width;
        m_runs.push_back(std::move(run));
        begin = end;
    }
}

bool TextLine::fallsBack() const
{
    for (const Run &run : m_runs) {
        if (run.fallback)
            return true;
    }
    return false;
}

void TextLine::draw(int x, int y) const
{
    // Runs of different faces share the font's baseline.
    const UINT previous = SetTextAlign(m_dc, TA_LEFT | TA_BASELINE | TA_NOUPDATECP);
    const int baseline = y + m_ascent;
    for (const Run &run : m_runs) {
        if (run.fallback)
            ScriptStringOut(run.fallback.get(), x, baseline, 0, nullptr, 0, 0, FALSE);
        else
            ExtTextOutW(m_dc, x, baseline, 0, nullptr, wide(m_text) + run.begin,
                        UINT(run.end - run.begin), nullptr);
        x += run.width;
    }
    if (previous != GDI_ERROR)
        SetTextAlign(m_dc, previous);
}

std::vector<int> TextLine::characterEdges() const
{
    std::vector<int> edges(m_text.size() + 1, 0);
    int left = 0;
    for (const Run &run : m_runs) {
        const int length = run.end - run.begin;
        std::vector<int> ends(std::size_t(length), 0);
        if (run.fallback) {
            for (int i = 0; i < length; ++i)
                ScriptStringCPtoX(run.fallback.get(), i, TRUE, &ends[std::size_t(i)]);
        } else {
            SIZE size{};
            GetTextExtentExPointW(m_dc, wide(m_text) + run.begin, length, 0, nullptr, ends.data(),
                                  &size);
        }
        for (int i = 0; i < length; ++i)
            edges[std::size_t(run.begin + i + 1)] = left + ends[std::size_t(i)];
        left += run.width;
    }
    return edges;
}

} // namespace platform::win32
