// SPDX-License-Identifier: MIT
#include "backend.h"

#include <QGuiApplication>
#include <QScreen>

namespace platform
{

ScreenMetrics backend::primaryScreen()
{
    const QScreen *screen = QGuiApplication::primaryScreen();
    if (!screen)
        return {0, 0, twipsPerPixelAt(96)};
    const QSize size = screen->geometry().size();
    return {size.width(), size.height(), twipsPerPixelAt(screen->logicalDotsPerInchX())};
}

} // namespace platform
