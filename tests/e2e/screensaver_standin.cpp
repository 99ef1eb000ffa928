// SPDX-License-Identifier: MIT
// The desktop's screen saver on the session bus of the end-to-end test
// (clock_e2e.py --screen-saver): one line on standard output for each call, "Inhibit 7"
// or "UnInhibit 7" with its cookie, after a line "ready" once the name is
// taken.
#include "screensaverstandin.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    ScreenSaverStandIn standIn;
    standIn.onCall = [](const char *method, uint cookie) {
        std::printf("%s %u\n", method, cookie);
        std::fflush(stdout);
    };
    if (!standIn.registerOn(QDBusConnection::sessionBus())) {
        std::fprintf(stderr, "screensaver_standin: the session bus refused the name\n");
        return 1;
    }
    std::puts("ready");
    std::fflush(stdout);
    return QCoreApplication::exec();
}
