// SPDX-License-Identifier: MIT
// The conformance suite's driver for the Qt back end, on an X display of its
// own (xcb under Xvfb): clicks come from the X server (xdotool), so they
// reach Qt as a user's do, through the window system's queue that a busy
// wait holds; keys come from QTest. The test's own session bus
// (dbus-run-session) carries a stand-in for the desktop's screen saver.
#define DOCTEST_CONFIG_IMPLEMENT
#include "testing.h"

#include "driver.h"
#include "qtcombobox.h"
#include "qtlabel.h"
#include "qtwindow.h"
#include "screensaverstandin.h"
#include "x11saver.h"

#include <QApplication>
#include <QComboBox>
#include <QDBusMessage>
#include <QFontInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPaintEvent>
#include <QPushButton>
#include <QTest>
#include <QWindow>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <map>
#include <string>
#include <utility>

using namespace platform;

namespace
{

qt::LabelWidget *widgetOf(LabelPeer &label)
{
    return dynamic_cast<qt::QtLabel &>(label).widget();
}

QComboBox *widgetOf(ComboBoxPeer &combo)
{
    return dynamic_cast<qt::QtComboBox &>(combo).widget();
}

QWidget *widgetOf(WindowPeer &window)
{
    return dynamic_cast<qt::QtWindow &>(window).widget();
}

// Counts the paint events of every widget and keeps what they painted.
class PaintCounter : public QObject
{
  public:
    std::map<const QObject *, int> counts;
    std::map<const QObject *, QRect> areas;

  protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint) {
            ++counts[watched];
            areas[watched] |= static_cast<QPaintEvent *>(event)->rect();
        }
        return false;
    }
};

PaintCounter *painting = nullptr;

ScreenSaverStandIn *screenSaver = nullptr;

} // namespace

namespace driver
{

const void *native(LabelPeer &label)
{
    return widgetOf(label);
}

const void *native(ComboBoxPeer &combo)
{
    return widgetOf(combo);
}

std::vector<const void *> stacking(WindowPeer &window)
{
    // Qt keeps the children in stacking order, bottom first.
    std::vector<const void *> children;
    for (QObject *child : widgetOf(window)->children())
        if (child->isWidgetType())
            children.push_back(child);
    return children;
}

const void *focus(WindowPeer &window)
{
    QWidget *top = widgetOf(window);
    for (QWidget *w = top->focusWidget(); w; w = w->parentWidget())
        if (w->parentWidget() == top)
            return w;
    return nullptr;
}

double fontPoints(LabelPeer &label)
{
    return QFontInfo(widgetOf(label)->font()).pointSizeF();
}

int paints(LabelPeer &label)
{
    return painting->counts[widgetOf(label)];
}

PixelRect painted(LabelPeer &label)
{
    const QRect area = std::exchange(painting->areas[widgetOf(label)], QRect());
    return {area.x(), area.y(), area.width(), area.height()};
}

void paintPending(WindowPeer &window)
{
    (void)window;
    // Widgets ask for their repaint with a posted update request.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::UpdateRequest);
}

bool isShown(WindowPeer &window)
{
    QWidget *top = widgetOf(window);
    return top->isVisible() && top->windowHandle() && top->windowHandle()->isExposed();
}

void click(LabelPeer &label, bool leftButton)
{
    QWidget *widget = widgetOf(label);
    const QPoint at = widget->mapToGlobal(QPoint(widget->width() / 2, widget->height() / 2));
    const std::string command = "xdotool mousemove " + std::to_string(at.x()) + " " +
                                std::to_string(at.y()) + " click " + (leftButton ? "1" : "3");
    REQUIRE(std::system(command.c_str()) == 0);
}

void type(ComboBoxPeer &combo, char16_t key)
{
    QComboBox *box = widgetOf(combo);
    box->lineEdit()->end(false);
    if (key == u'\r')
        QTest::keyClick(box, Qt::Key_Return);
    else
        QTest::keyClick(box, char(key));
}

void close(WindowPeer &window)
{
    // As the window manager's close arrives: through the window system.
    widgetOf(window)->windowHandle()->close();
}

// As the program itself would: with no window manager on the display, Qt
// takes the state at once, as it does when a window manager reports it.
void minimise(WindowPeer &window)
{
    widgetOf(window)->showMinimized();
}

void restore(WindowPeer &window)
{
    widgetOf(window)->showNormal();
}

// The stand-in's cookies; where the session has no screen saver (the
// driver plays none), the X server's own.
bool displayKeptOn()
{
    if (!screenSaver)
        return x11SaverHeldOff(pump);
    CHECK(screenSaver->strangers.empty());
    return !screenSaver->held.empty();
}

void answerMessageBox(MessageBoxAnswer answer)
{
    auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
    REQUIRE(box);
    const QMessageBox::ButtonRole role =
        answer == MessageBoxAnswer::Ok ? QMessageBox::AcceptRole : QMessageBox::RejectRole;
    for (QAbstractButton *button : box->buttons())
        if (box->buttonRole(button) == role)
            button->click();
}

void pump()
{
    QTest::qWait(5);
}

// logind's signal on the "system" bus, which the suite's own bus plays.
void reportResume(WindowPeer &)
{
    QDBusConnection bus = QDBusConnection::systemBus();
    REQUIRE(bus.registerService(QStringLiteral("org.freedesktop.login1")));
    QDBusMessage signal = QDBusMessage::createSignal(
        QStringLiteral("/org/freedesktop/login1"), QStringLiteral("org.freedesktop.login1.Manager"),
        QStringLiteral("PrepareForSleep"));
    signal << false;
    REQUIRE(bus.send(signal));
}

std::int64_t sleepCountingMs()
{
    timespec now{};
    clock_gettime(CLOCK_BOOTTIME, &now);
    return std::int64_t(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

const bool boundsHeaderBlock = true;

} // namespace driver

int main(int argc, char **argv)
{
    std::setlocale(LC_ALL, "");
    // The suite's session bus plays the system bus too, where logind speaks.
    qputenv("DBUS_SYSTEM_BUS_ADDRESS", qgetenv("DBUS_SESSION_BUS_ADDRESS"));
    backend::start(argc, argv, u"conformance");
    PaintCounter counter;
    painting = &counter;
    qApp->installEventFilter(&counter);
    // On a connection of its own, as another program's; none with
    // CLOCK_TEST_SCREEN_SAVER=x11, where the X server's own is looked at.
    ScreenSaverStandIn standIn;
    if (qgetenv("CLOCK_TEST_SCREEN_SAVER") != "x11") {
        if (!standIn.registerOn(QDBusConnection::connectToBus(QDBusConnection::SessionBus,
                                                              QStringLiteral("stand-in")))) {
            std::fprintf(stderr, "conformance_qt: no session bus for the screen saver\n");
            return 1;
        }
        screenSaver = &standIn;
    }
    doctest::Context context(argc, argv);
    const int status = context.run();
    painting = nullptr;
    screenSaver = nullptr;
    backend::finish();
    return status;
}
