#include "window.h"

#include "fonts.h"
#include "twips.h"

#include <QApplication>
#include <QCloseEvent>
#include <QPainter>
#include <QSessionManager>
#include <QTimer>

namespace platform
{

Window::Window(QWidget *parent) : QWidget(parent)
{
    installFonts();
    setFont(QApplication::font());
    QPalette pal = palette();
    pal.setColor(QPalette::Window, pal.color(QPalette::Button));
    setPalette(pal);
    setAutoFillBackground(true);
#if QT_CONFIG(sessionmanager)
    connect(qApp, &QGuiApplication::commitDataRequest, this, &Window::commitData);
#endif
}

double Window::Width() const
{
    return m_outerWidth >= 0 ? m_outerWidth : frameGeometry().width() * twipsPerPixel();
}

void Window::setWidth(double twips)
{
    m_outerWidth = twips;
    applyOuterSize();
}

double Window::Height() const
{
    return m_outerHeight >= 0 ? m_outerHeight : frameGeometry().height() * twipsPerPixel();
}

void Window::setHeight(double twips)
{
    m_outerHeight = twips;
    applyOuterSize();
}

double Window::ScaleWidth() const
{
    return width() * twipsPerPixel();
}

double Window::ScaleHeight() const
{
    return height() * twipsPerPixel();
}

void Window::setClientSize(double widthTwips, double heightTwips)
{
    m_outerWidth = m_outerHeight = -1;
    resize(toPixels(widthTwips), toPixels(heightTwips));
}

// The frame is known only once the window manager has framed the window, so
// the outer size is applied again after the window is shown.
void Window::applyOuterSize()
{
    const QSize frame = frameGeometry().size() - size();
    QSize client = size();
    if (m_outerWidth >= 0)
        client.setWidth(std::max(0, toPixels(m_outerWidth) - frame.width()));
    if (m_outerHeight >= 0)
        client.setHeight(std::max(0, toPixels(m_outerHeight) - frame.height()));
    resize(client);
}

void Window::Print(const QString &line)
{
    const QFontMetricsF metrics(font());
    if (isVisible()) {
        m_pendingLine = line;
        m_pendingAt = QPointF(m_currentX, m_currentY) / twipsPerPixel();
        update();
    }
    m_currentX = 0;
    m_currentY += metrics.height() * twipsPerPixel();
}

void Window::Unload()
{
    if (m_unloading)
        return;
    close();
}

void Window::closeEvent(QCloseEvent *event)
{
    if (m_unloading) {
        event->accept();
        return;
    }
    qint16 cancel = 0;
    m_unloading = true;
    Form_Unload(cancel);
    m_unloading = false;
    if (cancel != 0)
        event->ignore();
    else
        event->accept();
}

void Window::paintEvent(QPaintEvent *event)
{
    QWidget::paintEvent(event);
    if (m_pendingLine.isEmpty())
        return;
    QPainter painter(this);
    painter.setPen(toQColor(m_foreColor));
    const QFontMetricsF metrics(font());
    painter.drawText(m_pendingAt + QPointF(0, metrics.ascent()), m_pendingLine);
    m_pendingLine.clear();
}

void Window::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (m_outerWidth >= 0 || m_outerHeight >= 0)
        QTimer::singleShot(0, this, &Window::applyOuterSize);
}

void Window::commitData(QSessionManager &manager)
{
    if (!isVisible() || !manager.allowsInteraction())
        return;
    const bool closed = close();
    manager.release();
    if (!closed)
        manager.cancel();
}

} // namespace platform
