// SPDX-License-Identifier: MIT
#pragma once

// The desktop's screen saver as the Qt back end meets it on the session bus
// (org.freedesktop.ScreenSaver): it hands out cookies, records which are
// held and any cookie given back that it never handed out, and tells each
// call to `onCall`. For the conformance suite and the end-to-end test, on a
// session bus the test starts.

#include <QDBusConnection>
#include <QObject>
#include <QString>

#include <functional>
#include <set>
#include <vector>

class ScreenSaverStandIn : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.ScreenSaver")

  public:
    // Takes the service's name on `bus`; false if the bus refuses it.
    bool registerOn(QDBusConnection bus)
    {
        return bus.registerObject(QStringLiteral("/org/freedesktop/ScreenSaver"), this,
                                  QDBusConnection::ExportAllSlots) &&
               bus.registerService(QStringLiteral("org.freedesktop.ScreenSaver"));
    }

    std::set<uint> held;
    std::vector<uint> strangers;
    std::function<void(const char *method, uint cookie)> onCall;

  public Q_SLOTS:
    uint Inhibit(const QString &application, const QString &reason)
    {
        (void)application;
        (void)reason;
        const uint cookie = m_next++;
        held.insert(cookie);
        if (onCall)
            onCall("Inhibit", cookie);
        return cookie;
    }
    void UnInhibit(uint cookie)
    {
        if (!held.erase(cookie))
            strangers.push_back(cookie);
        if (onCall)
            onCall("UnInhibit", cookie);
    }

  private:
    uint m_next = 7;
};
