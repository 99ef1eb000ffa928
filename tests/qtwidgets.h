// SPDX-License-Identifier: MIT
#pragma once

// The Qt widget behind each control, for tests that click, type and look at
// what the toolkit shows. The program itself never needs them.

#include "combobox.h"
#include "label.h"
#include "qtcombobox.h"
#include "qtlabel.h"
#include "qtwindow.h"
#include "window.h"

namespace platform::qt
{

inline QLabel *widgetOf(Label &label)
{
    return static_cast<QtLabel &>(label.peer()).widget();
}

inline QComboBox *widgetOf(ComboBox &combo)
{
    return static_cast<QtComboBox &>(combo.peer()).widget();
}

inline QWidget *widgetOf(Window &window)
{
    return static_cast<QtWindow &>(window.peer()).widget();
}

} // namespace platform::qt
