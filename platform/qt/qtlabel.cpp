// SPDX-License-Identifier: MIT
#include "qtlabel.h"

#include "qtcolour.h"

#include <QApplication>
#include <QFontInfo>
#include <QFontMetricsF>
#include <QMouseEvent>
#include <QPainter>

#include <utility>

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

LabelWidget *QtLabel::widget() const
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
    const QSizeF size = m_widget->measure(QString::fromStdU16String(text));
    return {size.width(), size.height()};
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

LabelWidget::LabelWidget(QtLabel &peer, QWidget *parent) : QWidget(parent), m_peer(peer)
{
    setBackgroundRole(QPalette::Window);
    setForegroundRole(QPalette::WindowText);
    setAutoFillBackground(true);
    setMouseTracking(true);
    setFocusPolicy(Qt::NoFocus);
    // Created after the window is shown, a child would otherwise stay hidden.
    if (parent && parent->isVisible())
        show();
}

// The caption on screen stays where it is, but for the cells that differ.
void LabelWidget::setText(const QString &text)
{
    if (text == m_text)
        return;
    const QString shown = std::exchange(m_text, text);
    if (!seen()) {
        m_cellsKnown = false;
        return;
    }
    const QRect area = contentsRect();
    const QPalette &colours = palette();
    const QColor ink = colours.color(foregroundRole()), paper = colours.color(backgroundRole());
    if (!m_cellsKnown) {
        auto before = m_glyphs.cells(font(), area, m_alignment, shown, ink, paper);
        m_cellsKnown = before.has_value();
        if (before)
            m_cells = std::move(*before);
    }
    auto after = m_glyphs.cells(font(), area, m_alignment, text, ink, paper);
    QRect dirty = rect();
    if (m_cellsKnown && after) {
        const ColumnSpan span = changedColumns(m_cells, *after);
        dirty = span.empty() ? QRect() : QRect(span.left, 0, span.right - span.left, height());
    }
    m_cellsKnown = after.has_value();
    if (after)
        m_cells = std::move(*after);
    dirty &= rect();
    if (!dirty.isEmpty())
        update(dirty);
}

void LabelWidget::setAlignment(Qt::Alignment alignment)
{
    if (alignment == m_alignment)
        return;
    m_alignment = alignment;
    m_cellsKnown = false;
    update();
}

QSizeF LabelWidget::measure(const QString &text) const
{
    const auto found = m_extents.constFind(text);
    if (found != m_extents.constEnd())
        return *found;
    if (m_extents.size() >= 256)
        m_extents.clear();
    const QFontMetricsF metrics(font());
    return *m_extents.insert(text, QSizeF(metrics.horizontalAdvance(text), metrics.height()));
}

// Whether anything of the caption can show: a hidden label, one outside the
// window or under opaque siblings, or one whose ink is its paper shows none.
bool LabelWidget::seen() const
{
    if (!isVisible())
        return false;
    const QPalette &colours = palette();
    if (colours.color(foregroundRole()) == colours.color(backgroundRole()))
        return false;
    return !visibleRegion().isEmpty();
}

void LabelWidget::forgetLayout()
{
    m_cellsKnown = false;
    m_extents.clear();
}

void LabelWidget::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::FontChange)
        forgetLayout();
    QWidget::changeEvent(event);
}

// Qt repaints a resized label whole; a centred caption moves with the width.
void LabelWidget::resizeEvent(QResizeEvent *event)
{
    m_cellsKnown = false;
    QWidget::resizeEvent(event);
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

// As QLabel paints a plain, frameless, auto-filled one-line caption: Qt has
// filled the background of the area to paint, the glyphs that reach into it
// are drawn.
void LabelWidget::paintEvent(QPaintEvent *event)
{
    QPainter painter(this);
    const QPalette &colours = palette();
    // Where opaque siblings lie over a part of the label, the rest is what
    // can be seen of it.
    const QRegion seen = visibleRegion();
    const QRect visible = seen.rectCount() == 1 ? seen.boundingRect() : rect();
    m_glyphs.draw(painter, contentsRect(), m_alignment, m_text, colours.color(foregroundRole()),
                  colours.color(backgroundRole()), event->rect(), visible);
}

} // namespace platform::qt
