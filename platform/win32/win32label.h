// SPDX-License-Identifier: MIT
#pragma once

#include "backend.h"
#include "textcells.h"
#include "win32.h"
#include "win32digittiles.h"

#include <vector>

namespace platform::win32
{

class Win32Window;

// A label drawn by the program itself: an opaque background, one line of
// text, the click, the mouse movement and the pointer shape. A new caption
// invalidates only the cells that changed, and nothing while the label
// cannot be seen.
class Win32Label : public LabelPeer
{
  public:
    explicit Win32Label(Win32Window &window);
    ~Win32Label() override;

    void setText(const Text &text) override;
    void setGeometry(const PixelRect &rect) override;
    double setFont(const FontSpec &font) override;
    TextExtent measure(const Text &text) const override;
    void setForeColor(ColourWord colour) override;
    void setAlignment(Alignment alignment) override;
    void setVisible(bool visible) override;
    void setPointer(Pointer pointer) override;

    HWND hwnd() const { return m_hwnd.get(); }
    // Gives back the part of the window past the label if it meets `area`,
    // where another control has come to lie.
    void yield(const RECT &area);
    // How many paints were copied from the font's kept digits (for the tests).
    int copiedFromTiles() const { return m_copied; }

  private:
    friend LRESULT CALLBACK ownedWindowProcedure<Win32Label>(HWND, UINT, WPARAM, LPARAM);
    LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam);
    void paint(HDC dc);
    bool paintFromTiles(HDC dc, const RECT &area);
    DigitTiles::Look look() const;
    bool inkFromTiles(std::vector<TextCell> &line, const Text &text) const;
    void drawNow(const RECT &area);
    void drawDigitsAhead();
    HFONT currentFont() const;
    HCURSOR pointerCursor() const;
    // The caption's cells in `dc`, which has the label's font selected.
    std::vector<TextCell> cells(HDC dc, const Text &text) const;
    // Calls `measure` with a context compatible with the screen, the label's
    // font selected: a memory context kept for that, else the window's own.
    template <class Measure> auto measuring(Measure measure) const;
    bool seen() const;
    void invalidate(const RECT *area);
    void setWindowWidth(int width);
    // The part of a window `windowWidth` wide past the label, in the form's
    // client coordinates.
    RECT past(int windowWidth) const;

    Win32Window &m_window;
    UniqueWindow m_hwnd;
    // The window's own context (CS_OWNDC), which keeps the label's font
    // selected between paints.
    HDC m_ownDc = nullptr;
    Text m_text;
    UniqueFont m_font;
    UniqueDc m_measuring;
    ColourWord m_foreColor = SystemButtonText;
    Alignment m_alignment = Alignment::Left;
    Pointer m_pointer = Pointer::Default;
    PixelRect m_geometry{};
    // The window's width: more than the label's while it reaches past it
    // over bare paper, which the label paints and the mouse passes through.
    int m_windowWidth = 0;
    // The cells of the caption on screen, while they are known.
    std::vector<TextCell> m_cells;
    bool m_cellsKnown = false;
    bool m_pressed = false;
    // Whether the digits were drawn ahead in the label's font.
    bool m_digitsAhead = false;
    // How many times in a row the caption changed soon after the last, and
    // when it last did.
    int m_quickChanges = 0;
    ULONGLONG m_lastChange = 0;
    DigitTiles m_tiles;
    int m_copied = 0;
};

} // namespace platform::win32
