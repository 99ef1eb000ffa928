// SPDX-License-Identifier: MIT
#include "window.h"

#include "msgbox.h"

namespace platform
{

Window::Window()
    : m_peer(backend::createWindow()),
      m_timers(std::make_unique<TimerScheduler>(backend::createWakeSource(), &backend::wallClockMs,
                                                &backend::monotonicMs))
{
    m_peer->onCloseRequest = [this] { return closeRequested(); };
    m_peer->onResume = [this] {
        if (Resumed)
            Resumed();
    };
    // A clock is there to be watched: while it can be seen the display stays
    // on; minimised, hidden or closed, the system's idle rules hold again.
    m_peer->onStateChange = [this](WindowState state) {
        m_peer->keepDisplayOn(state == WindowState::Shown);
    };
}

Window::~Window()
{
    m_peer->onCloseRequest = nullptr;
    m_peer->onResume = nullptr;
    m_peer->onStateChange = nullptr;
}

void Window::setCaption(const Text &caption)
{
    m_caption = caption;
    m_peer->setTitle(caption);
}

void Window::setProgramIcon()
{
    m_peer->setProgramIcon();
}

double Window::twipsPerPixel() const
{
    return m_peer->twipsPerPixel();
}

double Window::Width() const
{
    return m_outerWidth >= 0 ? m_outerWidth : m_peer->outerWidth() * twipsPerPixel();
}

double Window::Height() const
{
    return m_outerHeight >= 0 ? m_outerHeight : m_peer->outerHeight() * twipsPerPixel();
}

void Window::setWidth(double twips)
{
    m_outerWidth = twips;
    m_peer->setOuterSize(toPixels(twips, twipsPerPixel()), toPixels(Height(), twipsPerPixel()));
}

void Window::setHeight(double twips)
{
    m_outerHeight = twips;
    m_peer->setOuterSize(toPixels(Width(), twipsPerPixel()), toPixels(twips, twipsPerPixel()));
}

double Window::ScaleWidth() const
{
    return m_peer->clientWidth() * twipsPerPixel();
}

void Window::setClientSize(double widthTwips, double heightTwips)
{
    m_outerWidth = m_outerHeight = -1;
    const double tpp = twipsPerPixel();
    m_peer->setClientSize(toPixels(widthTwips, tpp), toPixels(heightTwips, tpp));
}

void Window::Move(double leftTwips, double topTwips)
{
    const double tpp = twipsPerPixel();
    m_peer->moveTo(toPixels(leftTwips, tpp), toPixels(topTwips, tpp));
}

void Window::Print(const Text &line)
{
    const double tpp = twipsPerPixel();
    const double lineHeight =
        m_peer->print(line, toPixels(m_currentX, tpp), toPixels(m_currentY, tpp), m_foreColor);
    m_currentX = 0;
    m_currentY += lineHeight * tpp;
}

void Window::Show()
{
    m_peer->show();
}

void Window::Unload()
{
    if (m_unloading)
        return;
    m_peer->close();
}

// Every close asks Form_Unload; an Unload from inside it joins this close,
// and a close that arrives while the question is open (from a nested event
// loop) is refused: the close under way decides.
bool Window::closeRequested()
{
    if (m_unloading)
        return false;
    std::int16_t cancel = 0;
    m_unloading = true;
    try {
        Form_Unload(cancel);
    } catch (const RuntimeError &error) {
        m_unloading = false;
        reportRuntimeError(error);
        return true;
    }
    m_unloading = false;
    return cancel == 0;
}

} // namespace platform
