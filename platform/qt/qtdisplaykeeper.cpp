// SPDX-License-Identifier: MIT
#include "qtdisplaykeeper.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>

#include <optional>

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

} // namespace

struct DisplayKeeper::Request {
    bool wanted = true;
    std::optional<uint> cookie;
};

// The request goes out without blocking the clock: the answer's cookie is
// kept, or handed back at once if the keeper has ended meanwhile.
DisplayKeeper::DisplayKeeper() : m_request(std::make_shared<Request>())
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return;
    QDBusMessage call = screenSaverCall(QStringLiteral("Inhibit"));
    call << QCoreApplication::applicationName() << QStringLiteral("正在显示时钟");
    auto *watcher = new QDBusPendingCallWatcher(bus.asyncCall(call), QCoreApplication::instance());
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher,
                     [request = m_request](QDBusPendingCallWatcher *answer) {
                         answer->deleteLater();
                         const QDBusPendingReply<uint> reply = *answer;
                         if (reply.isError())
                             return;
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
}

} // namespace platform::qt
