// SPDX-License-Identifier: MIT
#include "qtcolour.h"

#include <QApplication>
#include <QPalette>

namespace platform::qt
{

QColor toQColor(ColourWord colour)
{
    const QPalette palette = QApplication::palette();
    switch (colour) {
    case SystemButtonText:
        return palette.color(QPalette::ButtonText);
    case SystemButtonFace:
        return palette.color(QPalette::Button);
    case SystemWindowText:
        return palette.color(QPalette::Text);
    case SystemWindowBackground:
        return palette.color(QPalette::Base);
    default:
        return QColor(redOf(colour), greenOf(colour), blueOf(colour));
    }
}

} // namespace platform::qt
