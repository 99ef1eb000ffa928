#include "screen.h"

#include "twips.h"

#include <QGuiApplication>
#include <QScreen>

namespace platform
{

namespace
{
QSizeF g_override;
bool g_overridden = false;

QSizeF screenTwips()
{
    if (g_overridden)
        return g_override;
    const QScreen *screen = QGuiApplication::primaryScreen();
    if (!screen)
        return QSizeF(0, 0);
    return QSizeF(screen->geometry().size()) * twipsPerPixel();
}
} // namespace

double Screen::Width()
{
    return screenTwips().width();
}

double Screen::Height()
{
    return screenTwips().height();
}

void Screen::setSizeOverride(const QSizeF &twips)
{
    g_override = twips;
    g_overridden = true;
}

void Screen::clearSizeOverride()
{
    g_overridden = false;
}

} // namespace platform
