// SPDX-License-Identifier: MIT
#include "qtdisplaykeeper.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QGuiApplication>

#include <optional>

// Last: Xlib's macros would rename Qt's words.
#include <X11/Xlib.h>
#include <X11/extensions/scrnsaver.h>

namespace platform::qt
{

namespace
{

const QString Service = QStringLiteral("org.freedesktop.ScreenSaver");
const QString Path = QStringLiteral("/org/freedesktop/ScreenSaver");

QDBusMessage screenSaverCall(const QString &method)
{
    return QDBusMessage::createMethodCall(Service, Path, Service, method);
}

// Nothing waits for the answer: the desktop forgets the cookie of a program
// that has left the bus anyway.
void unInhibit(uint cookie)
{
    QDBusMessage call = screenSaverCall(QStringLiteral("UnInhibit"));
    call << cookie;
    QDBusConnection::sessionBus().call(call, QDBus::NoBlock);
}

// The X server's own screen saver and power saving timers, for this client:
// counted, and lifted by the server should the program end without it.
// Locking the session (a forced screen saver) stays possible. False where
// the session is no X11 one or the server lacks the extension's 1.1.
bool suspendX11Saver(bool suspend)
{
    const auto *x11 =
        qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    Display *display = x11 ? x11->display() : nullptr;
    int event = 0, error = 0, major = 0, minor = 0;
    if (!display || !XScreenSaverQueryExtension(display, &event, &error) ||
        !XScreenSaverQueryVersion(display, &major, &minor) || major * 100 + minor < 101)
        return false;
    XScreenSaverSuspend(display, suspend ? True : False);
    XFlush(display);
    return true;
}

} // namespace

struct DisplayKeeper::Request {
    bool wanted = true;
    std::optional<uint> cookie;
    bool x11Suspended = false;
};

// The request goes out without blocking the clock: the answer's cookie is
// kept, or handed back at once if the keeper has ended meanwhile. A session
// bus without the service answers with an error, and the X server is asked.
DisplayKeeper::DisplayKeeper() : m_request(std::make_shared<Request>())
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        m_request->x11Suspended = suspendX11Saver(true);
        return;
    }
    QDBusMessage call = screenSaverCall(QStringLiteral("Inhibit"));
    call << QGuiApplication::applicationName() << QStringLiteral("正在显示时钟");
    auto *watcher = new QDBusPendingCallWatcher(bus.asyncCall(call), QGuiApplication::instance());
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher,
                     [request = m_request](QDBusPendingCallWatcher *answer) {
                         answer->deleteLater();
                         const QDBusPendingReply<uint> reply = *answer;
                         if (reply.isError()) {
                             if (request->wanted)
                                 request->x11Suspended = suspendX11Saver(true);
                             return;
                         }
                         request->cookie = reply.value();
                         if (!request->wanted)
                             unInhibit(*request->cookie);
                     });
}

DisplayKeeper::~DisplayKeeper()
{
    m_request->wanted = false;
    if (m_request->cookie)
        unInhibit(*m_request->cookie);
    if (m_request->x11Suspended)
        suspendX11Saver(false);
}

} // namespace platform::qt
