// SPDX-License-Identifier: MIT
#include "qtlabel.h"

#include "qtcolour.h"

#include <QApplication>
#include <QFontInfo>
#include <QFontMetricsF>
#include <QMouseEvent>
#include <QPainter>
#include <QStyleOption>

namespace platform::qt
{

QtLabel::QtLabel(QWidget *parent) : m_widget(new LabelWidget(*this, parent))
{
    setRoleColour(QPalette::Window, SystemButtonFace);
}

QtLabel::~QtLabel()
{
    delete m_widget.data();
}

QLabel *QtLabel::widget() const
{
    return m_widget.data();
}

void QtLabel::setText(const Text &text)
{
    if (m_widget)
        m_widget->setText(QString::fromStdU16String(text));
}

void QtLabel::setGeometry(const PixelRect &rect)
{
    if (m_widget)
        m_widget->setGeometry(rect.left, rect.top, rect.width, rect.height);
}

// A label without a face of its own takes the window's; the size is what Qt
// realised of the one asked for.
double QtLabel::setFont(const FontSpec &wanted)
{
    if (!m_widget)
        return wanted.points;
    const QWidget *parent = m_widget->parentWidget();
    QFont font = parent ? parent->font() : QApplication::font();
    if (!wanted.name.empty())
        font.setFamily(QString::fromStdU16String(wanted.name));
    font.setPointSizeF(wanted.points);
    font.setBold(wanted.bold);
    m_widget->setFont(font);
    // The font engine draws in whole pixels: 10 pt at 96 DPI is drawn 13 px
    // high, 9.75 pt.
    return QFontInfo(m_widget->font()).pointSizeF();
}

TextExtent QtLabel::measure(const Text &text) const
{
    if (!m_widget)
        return {};
    const QFontMetricsF metrics(m_widget->font());
    return {metrics.horizontalAdvance(QString::fromStdU16String(text)), metrics.height()};
}

void QtLabel::setForeColor(ColourWord colour)
{
    setRoleColour(QPalette::WindowText, colour);
}

void QtLabel::setRoleColour(QPalette::ColorRole role, ColourWord colour)
{
    if (!m_widget)
        return;
    QPalette palette = m_widget->palette();
    palette.setColor(role, toQColor(colour));
    m_widget->setPalette(palette);
}

void QtLabel::setAlignment(Alignment alignment)
{
    if (m_widget)
        m_widget->setAlignment((alignment == Alignment::Center ? Qt::AlignHCenter : Qt::AlignLeft) |
                               Qt::AlignTop);
}

void QtLabel::setVisible(bool visible)
{
    if (m_widget)
        m_widget->setVisible(visible);
}

void QtLabel::setPointer(Pointer pointer)
{
    if (!m_widget)
        return;
    if (pointer == Pointer::Help)
        m_widget->setCursor(Qt::WhatsThisCursor);
    else
        m_widget->unsetCursor();
}

LabelWidget::LabelWidget(QtLabel &peer, QWidget *parent) : QLabel(parent), m_peer(peer)
{
    setTextFormat(Qt::PlainText);
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
    setAutoFillBackground(true);
    setMouseTracking(true);
    setFocusPolicy(Qt::NoFocus);
    // Created after the window is shown, a child would otherwise stay hidden.
    if (parent && parent->isVisible())
        show();
}

void LabelWidget::mousePressEvent(QMouseEvent *event)
{
    event->accept();
}

// A click is a left press and release inside the label.
void LabelWidget::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()) &&
        m_peer.onClick)
        m_peer.onClick();
}

void LabelWidget::mouseMoveEvent(QMouseEvent *event)
{
    if (!m_peer.onMouseMove)
        return;
    const Qt::MouseButtons buttons = event->buttons();
    const Qt::KeyboardModifiers keys = event->modifiers();
    MouseState state;
    state.left = buttons.testFlag(Qt::LeftButton);
    state.right = buttons.testFlag(Qt::RightButton);
    state.middle = buttons.testFlag(Qt::MiddleButton);
    state.shift = keys.testFlag(Qt::ShiftModifier);
    state.control = keys.testFlag(Qt::ControlModifier);
    state.alt = keys.testFlag(Qt::AltModifier);
    m_peer.onMouseMove(state, event->position().x(), event->position().y());
}

} // namespace platform::qt

namespace platform::qt
{

// As QLabel paints a plain, frameless, auto-filled one-line caption.
void LabelWidget::paintEvent(QPaintEvent *event)
{
    if (!isEnabled()) { // disabled text is drawn differently
        QLabel::paintEvent(event);
        return;
    }
    QPainter painter(this);
    QStyleOption option;
    option.initFrom(this); // the palette group QLabel itself uses
    m_glyphs.draw(painter, contentsRect(), alignment(), text(),
                  option.palette.color(foregroundRole()), option.palette.color(backgroundRole()));
}

} // namespace platform::qt
