#include "twips.h"

#include <QGuiApplication>
#include <QScreen>

#include <algorithm>
#include <cmath>

namespace platform
{

double twipsPerPixel()
{
    const QScreen *screen = QGuiApplication::primaryScreen();
    const double dpi = screen ? screen->logicalDotsPerInchX() : 96.0;
    return 1440.0 / (dpi > 0 ? dpi : 96.0);
}

int toPixels(double twips)
{
    const double pixels = twips / twipsPerPixel();
    if (std::isnan(pixels))
        return 0;
    return int(std::lround(std::clamp(pixels, -1.0e6, 1.0e6)));
}

QRect pixelRect(double left, double top, double width, double height)
{
    return QRect(QPoint(toPixels(left), toPixels(top)), QSize(toPixels(width), toPixels(height)));
}

} // namespace platform
