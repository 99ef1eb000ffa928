#include "label.h"

#include "runtimeerror.h"
#include "twips.h"

#include <QApplication>
#include <QFontMetricsF>
#include <QMouseEvent>

#include <cmath>

namespace platform
{

namespace
{
// System colours carry the high bit and follow the user's colour scheme.
QColor resolve(ColourWord colour, const QPalette &palette)
{
    switch (colour) {
    case SystemButtonText:
        return palette.color(QPalette::ButtonText);
    case SystemButtonFace:
        return palette.color(QPalette::Button);
    case SystemWindowText:
        return palette.color(QPalette::Text);
    case SystemWindowBackground:
        return palette.color(QPalette::Base);
    default:
        return toQColor(colour);
    }
}
} // namespace

Label::Label(QWidget *parent) : QLabel(parent)
{
    setTextFormat(Qt::PlainText);
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
    setAutoFillBackground(true);
    setMouseTracking(true);
    setBackColor(SystemButtonFace);
    setRoleColour(QPalette::WindowText, m_foreColor);
    m_fontName = font().family();
}

// The clocks rewrite their captions and colours every tick; unchanged values
// cost no repaint.
void Label::setCaption(const QString &caption)
{
    if (caption == m_caption)
        return;
    m_caption = caption;
    setText(caption);
    fitToCaption();
}

void Label::setForeColor(ColourWord colour)
{
    if (colour == m_foreColor)
        return;
    m_foreColor = colour;
    setRoleColour(QPalette::WindowText, colour);
}

void Label::setBackColor(ColourWord colour)
{
    setRoleColour(QPalette::Window, colour);
}

void Label::setRoleColour(QPalette::ColorRole role, ColourWord colour)
{
    QPalette pal = palette();
    pal.setColor(role, resolve(colour, QApplication::palette()));
    setPalette(pal);
}

void Label::setLeft(double twips)
{
    m_left = twips;
    placeWidget();
}

void Label::setTop(double twips)
{
    m_top = twips;
    placeWidget();
}

void Label::setSize(double widthTwips, double heightTwips)
{
    if (m_autoSize)
        return;
    m_width = widthTwips;
    m_height = heightTwips;
    placeWidget();
}

void Label::setFontName(const QString &name)
{
    m_fontName = name;
    QFont f = font();
    f.setFamily(name);
    setFont(f);
}

double Label::FontSize() const
{
    return font().pointSizeF();
}

void Label::setFontSize(double points)
{
    if (!std::isfinite(points) || points <= 0)
        throw RuntimeError(InvalidPropertyValue, errorDescription(InvalidPropertyValue));
    QFont f = font();
    f.setPointSizeF(points);
    setFont(f);
}

void Label::setFontBold(bool bold)
{
    QFont f = font();
    f.setBold(bold);
    setFont(f);
}

void Label::setAutoSize(bool autoSize)
{
    m_autoSize = autoSize;
    fitToCaption();
}

void Label::setMousePointer(int pointer)
{
    m_mousePointer = pointer;
    if (pointer == 14)
        setCursor(Qt::WhatsThisCursor);
    else
        unsetCursor();
}

// Every font change, whichever property made it, resizes a self-sizing label.
void Label::changeEvent(QEvent *event)
{
    QLabel::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        fitToCaption();
}

void Label::mousePressEvent(QMouseEvent *event)
{
    event->accept();
}

void Label::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        emit Click();
}

void Label::mouseMoveEvent(QMouseEvent *event)
{
    const double tpp = twipsPerPixel();
    emit MouseMove(event->buttons(), event->modifiers(), event->position().x() * tpp,
                   event->position().y() * tpp);
}

// One line of the caption in the label's font; an empty caption is one space
// wide, so an empty label still grows with its font.
void Label::fitToCaption()
{
    if (!m_autoSize)
        return;
    const QFontMetricsF metrics(font());
    const QString sample = m_caption.isEmpty() ? QStringLiteral(" ") : m_caption;
    const double tpp = twipsPerPixel();
    m_width = std::ceil(metrics.horizontalAdvance(sample)) * tpp;
    m_height = std::ceil(metrics.height()) * tpp;
    placeWidget();
}

void Label::placeWidget()
{
    setGeometry(pixelRect(m_left, m_top, m_width, m_height));
}

} // namespace platform
