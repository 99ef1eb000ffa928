// SPDX-License-Identifier: MIT
#include "qtfonts.h"

#include <QApplication>
#include <QFont>

namespace platform::qt
{

void installFonts()
{
    static bool installed = false;
    if (installed)
        return;
    installed = true;
#ifndef Q_OS_WIN
    // Windows has these families; elsewhere the AR PL UKai regular script
    // stands in for them and WenQuanYi Micro Hei for the dialog font.
    for (const char16_t *family : {u"楷体", u"华文楷体"})
        QFont::insertSubstitution(QString::fromUtf16(family), QStringLiteral("AR PL UKai CN"));
    QFont::insertSubstitution(QStringLiteral("Arial"), QStringLiteral("Liberation Sans"));
    QApplication::setFont(QFont(QStringLiteral("WenQuanYi Micro Hei"), 9));
#endif
}

} // namespace platform::qt
