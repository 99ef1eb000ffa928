// SPDX-License-Identifier: MIT
#pragma once

#include "backend.h"
#include "colour.h"
#include "timer.h"

#include <cstdint>
#include <functional>
#include <memory>

namespace platform
{

// The top-level window. Outer sizes, the inner width and the drawing position
// are in twips. It owns the wake-up source of its timers.
class Window
{
  public:
    Window();
    virtual ~Window();
    Window(const Window &) = delete;
    Window &operator=(const Window &) = delete;

    Text Caption() const { return m_caption; }
    void setCaption(const Text &caption);
    // The program's icon, from its resources.
    void setProgramIcon();

    ColourWord ForeColor() const { return m_foreColor; }
    void setForeColor(ColourWord colour) { m_foreColor = colour; }

    // Outer size, frame included: what was last set, else what the window has.
    double Width() const;
    void setWidth(double twips);
    double Height() const;
    void setHeight(double twips);
    // Inner (client) width.
    double ScaleWidth() const;
    void setClientSize(double widthTwips, double heightTwips);
    // Outer top-left corner on the screen.
    void Move(double leftTwips, double topTwips);

    double CurrentX() const { return m_currentX; }
    void setCurrentX(double twips) { m_currentX = twips; }
    double CurrentY() const { return m_currentY; }
    void setCurrentY(double twips) { m_currentY = twips; }
    // Draws one line at the drawing position and moves it to the next line.
    // Nothing keeps the drawing: the next repaint of that area erases it.
    void Print(const Text &line);

    void Show();
    // Closes the window, asking Form_Unload first. Called from inside
    // Form_Unload it joins the close under way; any other close asked for
    // meanwhile (the user's, the session's) is refused.
    void Unload();

    // The PC woke from sleep, as far as the system tells.
    std::function<void()> Resumed;

    double twipsPerPixel() const;
    WindowPeer &peer() { return *m_peer; }
    TimerScheduler &timers() { return *m_timers; }

  protected:
    // Set Cancel to -1 to call the close off.
    virtual void Form_Unload(std::int16_t &Cancel) { (void)Cancel; }

  private:
    bool closeRequested();

    std::unique_ptr<WindowPeer> m_peer;
    std::unique_ptr<TimerScheduler> m_timers;
    Text m_caption;
    ColourWord m_foreColor = 0x00FFFFFF;
    double m_currentX = 0;
    double m_currentY = 0;
    double m_outerWidth = -1;
    double m_outerHeight = -1;
    bool m_unloading = false;
};

} // namespace platform
