// SPDX-License-Identifier: MIT
#pragma once

#include "backend.h"
#include "win32.h"

namespace platform::win32
{

class Win32Window;

// A label drawn by the program itself: an opaque background, one line of
// text, the click, the mouse movement and the pointer shape.
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

  private:
    friend LRESULT CALLBACK ownedWindowProcedure<Win32Label>(HWND, UINT, WPARAM, LPARAM);
    LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam);
    void paint();
    HFONT currentFont() const;
    HCURSOR pointerCursor() const;

    Win32Window &m_window;
    UniqueWindow m_hwnd;
    Text m_text;
    UniqueFont m_font;
    ColourWord m_foreColor = SystemButtonText;
    Alignment m_alignment = Alignment::Left;
    Pointer m_pointer = Pointer::Default;
    bool m_pressed = false;
};

} // namespace platform::win32
