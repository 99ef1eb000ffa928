// SPDX-License-Identifier: MIT
#include "qtlabel.h"

#include "qtcolour.h"

#include <QApplication>
#include <QFontMetricsF>
#include <QMouseEvent>
#include <QPainter>
#include <QStyleOption>

namespace platform::qt
{

namespace
{
// The button and shift masks of the program's mouse events: left 1, right 2,
// middle 4; Shift 1, Ctrl 2, Alt 4.
int buttonMask(Qt::MouseButtons buttons)
{
    return (buttons & Qt::LeftButton ? 1 : 0) | (buttons & Qt::RightButton ? 2 : 0) |
           (buttons & Qt::MiddleButton ? 4 : 0);
}

int shiftMask(Qt::KeyboardModifiers modifiers)
{
    return (modifiers & Qt::ShiftModifier ? 1 : 0) | (modifiers & Qt::ControlModifier ? 2 : 0) |
           (modifiers & Qt::AltModifier ? 4 : 0);
}
} // namespace

QtLabel::QtLabel(QWidget *parent) : m_widget(new LabelWidget(*this, parent)) {}

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
    return m_widget->font().pointSizeF();
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

void QtLabel::setBackColor(ColourWord colour)
{
    setRoleColour(QPalette::Window, colour);
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

void QtLabel::setMousePointer(int pointer)
{
    if (!m_widget)
        return;
    if (pointer == 14)
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
    if (m_peer.onMouseMove)
        m_peer.onMouseMove(buttonMask(event->buttons()), shiftMask(event->modifiers()),
                           event->position().x(), event->position().y());
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
