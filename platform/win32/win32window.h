// SPDX-License-Identifier: MIT
#pragma once

#include "backend.h"
#include "win32.h"

#include <vector>

namespace platform::win32
{

// Registers a window class of the program once; returns its name. Raises the
// run-time error when the system refuses the class.
const wchar_t *registerClass(const wchar_t *name, WNDPROC procedure, HCURSOR cursor,
                             HBRUSH background, UINT style = CS_HREDRAW | CS_VREDRAW);

// A window of the program that could not be created fails the program as
// every other run-time error does.
void raiseIfNotCreated(HWND window);

class Win32Label;

// The top-level window: a normal frame, the face colour as background, the
// system's dialog font at 9 points.
class Win32Window : public WindowPeer
{
  public:
    Win32Window();
    ~Win32Window() override;

    std::unique_ptr<LabelPeer> createLabel() override;
    std::unique_ptr<ComboBoxPeer> createComboBox() override;

    double twipsPerPixel() const override;
    Text fontName() const override;
    void setTitle(const Text &title) override;
    void setProgramIcon() override;
    void moveTo(int x, int y) override;
    void setClientSize(int width, int height) override;
    void setOuterSize(int width, int height) override;
    int outerWidth() const override;
    int outerHeight() const override;
    int clientWidth() const override;
    double print(const Text &line, int x, int y, ColourWord colour) override;
    void show() override;
    void close() override;
    WindowState state() const override { return m_state; }
    void keepDisplayOn(bool on) override;

    // For the child controls. hwnd() is null once the window is destroyed.
    HWND hwnd() const { return m_hwnd.get(); }
    HFONT font() const { return m_font.get(); }
    const LOGFONTW &fontDescription() const { return m_fontDescription; }
    // Puts a new child above those created before it; the window knows its
    // children from then on, until forget().
    void stackOnTop(HWND child);
    void forget(HWND child);
    // Whether no child but `except` lies in `area` of the client.
    bool bare(const RECT &area, HWND except) const;
    // A label whose window reaches past it, over bare paper, until another
    // control comes to lie there: claim() then has it give that part back.
    void reachesPast(Win32Label *label, bool reaches);
    void claim(HWND child);
    // The child to give the focus back to when the window is activated.
    void rememberFocus(HWND child) { m_focus = child; }

  private:
    friend LRESULT CALLBACK ownedWindowProcedure<Win32Window>(HWND, UINT, WPARAM, LPARAM);
    LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam);
    // Asks onCloseRequest; true if the close may go ahead.
    bool mayClose() const;
    // Reports a change of state, read from the window or given.
    void updateState();
    void setState(WindowState state);
    // A child's window rectangle in the client's coordinates.
    bool placeOf(HWND child, RECT &place) const;

    UniqueWindow m_hwnd;
    double m_twipsPerPixel = 15;
    LOGFONTW m_fontDescription{};
    UniqueFont m_font;
    HWND m_focus = nullptr;
    std::vector<HWND> m_children;
    std::vector<Win32Label *> m_reachingPast;
    bool m_sessionEnding = false;
    WindowState m_state = WindowState::Hidden;
    bool m_keepsDisplayOn = false;
};

} // namespace platform::win32
