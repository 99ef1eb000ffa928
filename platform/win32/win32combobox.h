// SPDX-License-Identifier: MIT
#pragma once

#include "backend.h"
#include "win32.h"

namespace platform::win32
{

class Win32Window;

// The system's drop-down combo box with its edit field. Click comes once for
// each entry picked from the open list (not for arrow-key steps through the
// closed box); KeyPress from the edit field's character messages.
class Win32ComboBox : public ComboBoxPeer
{
  public:
    explicit Win32ComboBox(Win32Window &window);
    ~Win32ComboBox() override;

    Text text() const override;
    void setText(const Text &text) override;
    void addItem(const Text &item) override;
    void setGeometry(const PixelRect &rect) override;
    void setFocus() override;

    HWND hwnd() const { return m_hwnd.get(); }
    HWND edit() const { return m_edit; }

    // How long the field's caret blinks after the last key or click; zero
    // leaves it to the system. Where the system stops the blinking itself
    // (Windows 10 and later) this is zero from the start.
    void setCaretRest(UINT milliseconds);

  private:
    static LRESULT CALLBACK comboProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                                           UINT_PTR id, DWORD_PTR self);
    static LRESULT CALLBACK editProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                                          UINT_PTR id, DWORD_PTR self);
    void notified(WORD code);
    void picked(int index);
    void place();
    void caretWoken();
    void caretRested();

    Win32Window &m_window;
    UniqueWindow m_hwnd;
    HWND m_edit = nullptr;
    PixelRect m_rect;
    UINT m_caretRestMs = 0;
    bool m_caretHidden = false; // by us, once; the field's own hides pair up
};

} // namespace platform::win32
