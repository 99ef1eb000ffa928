// SPDX-License-Identifier: MIT
#include "qtwindow.h"

#include "qtcolour.h"
#include "qtcombobox.h"
#include "qtdisplaykeeper.h"
#include "qtfonts.h"
#include "qtlabel.h"
#include "qtwakesource.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDBusConnection>
#include <QFontMetricsF>
#include <QIcon>
#include <QPainter>
#include <QScreen>
#include <QSessionManager>

#include <algorithm>

namespace platform
{

std::unique_ptr<WindowPeer> backend::createWindow()
{
    return std::make_unique<qt::QtWindow>();
}

std::unique_ptr<WakeSource> backend::createWakeSource()
{
    return std::make_unique<qt::QtWakeSource>();
}

namespace qt
{

QtWindow::QtWindow() : m_widget(std::make_unique<WindowWidget>(*this)) {}

// The keeper goes first, the window's state reports with the widget.
QtWindow::~QtWindow()
{
    m_displayKeeper.reset();
    onStateChange = nullptr;
}

QWidget *QtWindow::widget() const
{
    return m_widget.get();
}

std::unique_ptr<LabelPeer> QtWindow::createLabel()
{
    return std::make_unique<QtLabel>(m_widget.get());
}

std::unique_ptr<ComboBoxPeer> QtWindow::createComboBox()
{
    return std::make_unique<QtComboBox>(m_widget.get());
}

double QtWindow::twipsPerPixel() const
{
    const QScreen *screen = QGuiApplication::primaryScreen();
    return twipsPerPixelAt(screen ? screen->logicalDotsPerInchX() : 96.0);
}

Text QtWindow::fontName() const
{
    return m_widget->font().family().toStdU16String();
}

void QtWindow::setTitle(const Text &title)
{
    m_widget->setWindowTitle(QString::fromStdU16String(title));
}

void QtWindow::setProgramIcon()
{
    m_widget->setWindowIcon(QIcon(QStringLiteral(":/icons/clock.ico")));
}

void QtWindow::moveTo(int x, int y)
{
    m_widget->moveOuter(QPoint(x, y));
}

void QtWindow::setClientSize(int width, int height)
{
    m_widget->setClientSize(QSize(width, height));
}

void QtWindow::setOuterSize(int width, int height)
{
    m_widget->setOuterSize(QSize(width, height));
}

int QtWindow::outerWidth() const
{
    return m_widget->frameGeometry().width();
}

int QtWindow::outerHeight() const
{
    return m_widget->frameGeometry().height();
}

int QtWindow::clientWidth() const
{
    return m_widget->width();
}

double QtWindow::print(const Text &line, int x, int y, ColourWord colour)
{
    m_widget->printLine(QString::fromStdU16String(line), QPoint(x, y), toQColor(colour));
    return QFontMetricsF(m_widget->font()).height();
}

// A Wayland client cannot place its own window, and a compositor tiles or
// places a plain one as it likes: there the window asks for the full-screen
// state, the protocol's own way to cover an output.
void QtWindow::show()
{
    if (QGuiApplication::platformName().startsWith(QLatin1String("wayland")))
        m_widget->showFullScreen();
    else
        m_widget->show();
}

void QtWindow::close()
{
    m_widget->close();
}

void QtWindow::keepDisplayOn(bool on)
{
    if (!on)
        m_displayKeeper.reset();
    else if (!m_displayKeeper)
        m_displayKeeper = std::make_unique<DisplayKeeper>();
}

void QtWindow::setState(WindowState state)
{
    if (state == m_state)
        return;
    m_state = state;
    if (onStateChange)
        onStateChange(state);
}

WindowWidget::WindowWidget(QtWindow &peer) : m_peer(peer)
{
    installFonts();
    setFont(QApplication::font());
    QPalette pal = palette();
    pal.setColor(QPalette::Window, pal.color(QPalette::Button));
    setPalette(pal);
    setAutoFillBackground(true);
#if QT_CONFIG(sessionmanager)
    connect(qApp, &QGuiApplication::commitDataRequest, this, &WindowWidget::commitData);
#endif
    // logind tells every program on the system bus before the PC sleeps and
    // after it wakes; without a system bus nothing comes.
    QDBusConnection::systemBus().connect(
        QStringLiteral("org.freedesktop.login1"), QStringLiteral("/org/freedesktop/login1"),
        QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("PrepareForSleep"), this,
        SLOT(prepareForSleep(bool)));
}

void WindowWidget::prepareForSleep(bool starting)
{
    if (!starting && m_peer.onResume)
        m_peer.onResume();
}

void WindowWidget::moveOuter(const QPoint &topLeft)
{
    m_outerTopLeft = topLeft;
    move(topLeft);
}

void WindowWidget::setClientSize(const QSize &size)
{
    m_outerSize.reset();
    resize(size);
}

void WindowWidget::setOuterSize(const QSize &size)
{
    m_outerSize = size;
    applyOuterSize();
}

// Zero until the window manager has framed the shown window.
QMargins WindowWidget::frame() const
{
    const QRect outer = frameGeometry();
    const QRect inner = geometry();
    return QMargins(inner.left() - outer.left(), inner.top() - outer.top(),
                    outer.right() - inner.right(), outer.bottom() - inner.bottom());
}

void WindowWidget::applyOuterSize()
{
    if (!m_outerSize)
        return;
    m_appliedFrame = frame();
    resize(std::max(0, m_outerSize->width() - m_appliedFrame.left() - m_appliedFrame.right()),
           std::max(0, m_outerSize->height() - m_appliedFrame.top() - m_appliedFrame.bottom()));
    // Qt places a window by its frame: the outer corner stays where it was put.
    if (m_outerTopLeft)
        move(*m_outerTopLeft);
}

// The window manager frames the window only after it is mapped, and Qt learns
// the frame with the first move or resize that follows; until then the outer
// size was applied to the client area alone.
void WindowWidget::reapplyOnceFramed()
{
    if (m_outerSize && isVisible() && !isFullScreen() && frame() != m_appliedFrame)
        applyOuterSize();
}

void WindowWidget::moveEvent(QMoveEvent *event)
{
    QWidget::moveEvent(event);
    reapplyOnceFramed();
}

void WindowWidget::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    reapplyOnceFramed();
}

// Nothing keeps the line: it is drawn with the next paint and lost with the
// one after.
void WindowWidget::printLine(const QString &line, const QPoint &at, const QColor &colour)
{
    if (!isVisible())
        return;
    m_pendingLine = line;
    m_pendingAt = at;
    m_pendingColour = colour;
    update();
}

void WindowWidget::paintEvent(QPaintEvent *event)
{
    QWidget::paintEvent(event);
    if (m_pendingLine.isEmpty())
        return;
    QPainter painter(this);
    painter.setPen(m_pendingColour);
    const QFontMetricsF metrics(font());
    painter.drawText(QPointF(m_pendingAt) + QPointF(0, metrics.ascent()), m_pendingLine);
    m_pendingLine.clear();
}

// Every close, the user's, the window manager's or the session's, asks the
// program.
void WindowWidget::closeEvent(QCloseEvent *event)
{
    const bool agreed = !m_peer.onCloseRequest || m_peer.onCloseRequest();
    if (agreed)
        event->accept();
    else
        event->ignore();
}

// A window manager that minimises a window tells Qt so, and hides it; one
// that unmaps it for another desktop only hides it.
void WindowWidget::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    m_peer.setState(isMinimized() ? WindowState::Minimised : WindowState::Shown);
}

void WindowWidget::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    m_peer.setState(isMinimized() ? WindowState::Minimised : WindowState::Hidden);
}

void WindowWidget::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange && isVisible())
        m_peer.setState(isMinimized() ? WindowState::Minimised : WindowState::Shown);
}

// The session is ending: the same close, and a refused one cancels the
// shutdown.
void WindowWidget::commitData(QSessionManager &manager)
{
#if QT_CONFIG(sessionmanager)
    if (!isVisible() || !manager.allowsInteraction())
        return;
    const bool closed = close();
    manager.release();
    if (!closed)
        manager.cancel();
#else
    (void)manager;
#endif
}

} // namespace qt

} // namespace platform
