// SPDX-License-Identifier: MIT
#include "label.h"

#include "msgbox.h"
#include "runtimeerror.h"
#include "window.h"

#include <cmath>

namespace platform
{

namespace
{
constexpr int HelpPointer = 14;

int buttonMask(const MouseState &state)
{
    return (state.left ? 1 : 0) | (state.right ? 2 : 0) | (state.middle ? 4 : 0);
}

int shiftMask(const MouseState &state)
{
    return (state.shift ? 1 : 0) | (state.control ? 2 : 0) | (state.alt ? 4 : 0);
}
} // namespace

Label::Label(Window &parent) : m_window(parent), m_peer(parent.peer().createLabel())
{
    m_peer->setForeColor(m_foreColor);
    m_peer->onClick = [this] { dispatch(Click); };
    m_peer->onMouseMove = [this](const MouseState &state, double x, double y) {
        const double tpp = m_window.twipsPerPixel();
        dispatch(MouseMove, buttonMask(state), shiftMask(state), x * tpp, y * tpp);
    };
    applyFont();
}

Label::~Label() = default;

// The clocks rewrite their captions and colours every tick; unchanged values
// cost the toolkit nothing.
void Label::setCaption(const Text &caption)
{
    if (caption == m_caption)
        return;
    m_caption = caption;
    m_peer->setText(caption);
    fitToCaption();
    // A timer idle while the captions stay as they are may have work now.
    m_window.timers().replan();
}

void Label::setForeColor(ColourWord colour)
{
    if (colour == m_foreColor)
        return;
    m_foreColor = colour;
    m_peer->setForeColor(colour);
}

void Label::setLeft(double twips)
{
    m_left = twips;
    place();
}

void Label::setTop(double twips)
{
    m_top = twips;
    place();
}

void Label::setSize(double widthTwips, double heightTwips)
{
    if (m_autoSize)
        return;
    m_width = widthTwips;
    m_height = heightTwips;
    place();
}

void Label::setVisible(bool visible)
{
    m_visible = visible;
    m_peer->setVisible(visible);
}

void Label::setAlignment(Alignment alignment)
{
    m_alignment = alignment;
    m_peer->setAlignment(alignment);
}

Text Label::FontName() const
{
    return m_font.name.empty() ? m_window.peer().fontName() : m_font.name;
}

void Label::setFontName(const Text &name)
{
    m_font.name = name;
    applyFont();
}

void Label::setFontSize(double points)
{
    if (!std::isfinite(points) || points <= 0)
        throw RuntimeError(InvalidPropertyValue);
    m_font.points = points;
    applyFont();
}

void Label::setFontBold(bool bold)
{
    m_font.bold = bold;
    applyFont();
}

void Label::setFontCharset(int charset)
{
    m_font.charset = charset;
    applyFont();
}

void Label::setAutoSize(bool autoSize)
{
    m_autoSize = autoSize;
    fitToCaption();
}

void Label::setMousePointer(int pointer)
{
    if (pointer == m_mousePointer)
        return;
    m_mousePointer = pointer;
    m_peer->setPointer(pointer == HelpPointer ? Pointer::Help : Pointer::Default);
}

// Every font change, whichever property made it, resizes a self-sizing label.
void Label::applyFont()
{
    m_realisedPoints = m_peer->setFont(m_font);
    fitToCaption();
}

// One line of the caption in the label's font, in whole pixels; an empty
// caption is one space wide, so an empty label still grows with its font.
void Label::fitToCaption()
{
    if (!m_autoSize)
        return;
    const TextExtent extent = m_peer->measure(m_caption.empty() ? Text(u" ") : m_caption);
    const double tpp = m_window.twipsPerPixel();
    m_width = std::ceil(extent.width) * tpp;
    m_height = std::ceil(extent.height) * tpp;
    place();
}

// A self-sizing label is placed again with every caption; the peer is asked
// only when the pixels change.
void Label::place()
{
    const PixelRect rect = pixelRect(m_left, m_top, m_width, m_height, m_window.twipsPerPixel());
    if (m_placed && *m_placed == rect)
        return;
    m_placed = rect;
    m_peer->setGeometry(rect);
}

} // namespace platform
