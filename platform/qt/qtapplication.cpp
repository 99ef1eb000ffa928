// SPDX-License-Identifier: MIT
// Program start and the event loop on QApplication, with the fonts and the
// long date of the user's locale, and the PC's clocks.
#include "backend.h"
#include "clock.h"

#include "qtfonts.h"
#include "version.h"

#include <QApplication>
#include <QDate>
#include <QLocale>

#include <ctime>
#include <memory>

namespace platform
{

namespace
{
std::unique_ptr<QApplication> &application()
{
    static std::unique_ptr<QApplication> instance;
    return instance;
}

// Fonts with no bold face of their own get a synthesised bold from Qt only
// below 64 pixels; the clock's bold digits are far larger and would show
// regular, where Windows draws them bold. QT_NO_SYNTHESIZED_BOLD still
// turns synthesised bold off altogether.
void setToolkitDefaults()
{
    if (!qEnvironmentVariableIsSet("QT_NO_SYNTHESIZED_BOLD_LIMIT"))
        qputenv("QT_NO_SYNTHESIZED_BOLD_LIMIT", "1");
    // A desktop at 150 % (Xft.dpi 144) would otherwise scale the window by
    // 1.5: its size then snaps to whole scaled pixels, and the window that
    // should cover the screen hangs a pixel over its edge. Scaled by whole
    // factors only, the fonts follow the DPI as on Windows.
    QGuiApplication::setHighDpiScaleFactorRoundingPolicy(
        Qt::HighDpiScaleFactorRoundingPolicy::RoundPreferFloor);
}
} // namespace

void backend::start(int &argc, char **argv, const Text &title)
{
    setToolkitDefaults();
    application() = std::make_unique<QApplication>(argc, argv);
    QApplication::setApplicationName(QString::fromStdU16String(title));
    QApplication::setApplicationVersion(QStringLiteral(CLOCK_VERSION_SHORT));
    // The desktop entry's name: on Wayland the window's application id, by
    // which the desktop finds the entry and its icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("fullscreenclock"));
    qt::installFonts();
}

void backend::finish()
{
    application().reset();
}

int backend::exec()
{
    return QApplication::exec();
}

void backend::exit(int status)
{
    QCoreApplication::exit(status);
}

void backend::processEvents()
{
    QCoreApplication::processEvents();
}

// The user's locale, not Qt's default locale, which a program may change.
Text backend::formatLongDate(const CivilDate &date)
{
    return QLocale::system()
        .toString(QDate(date.year, date.month, date.day), QLocale::LongFormat)
        .toStdU16String();
}

std::int64_t backend::wallClockMs()
{
    return systemClockMs();
}

// CLOCK_BOOTTIME: CLOCK_MONOTONIC, which the C++ library's steady clock and
// Qt's timers read, stands still while the PC sleeps.
std::int64_t backend::monotonicMs()
{
    timespec now{};
    clock_gettime(CLOCK_BOOTTIME, &now);
    return std::int64_t(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

// glibc reads the zone again at each call (TZ, else /etc/localtime).
CivilDateTime backend::localTime(std::int64_t msSinceEpoch)
{
    return localTimeOf(msSinceEpoch);
}

} // namespace platform
