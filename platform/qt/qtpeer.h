// SPDX-License-Identifier: MIT
#pragma once

// The Qt widget behind each control, for tests that click, type and look at
// what the toolkit shows. The program itself never needs them.

class QComboBox;
class QLabel;
class QWidget;

namespace platform
{
class ComboBox;
class Label;
class Window;

namespace qt
{
QLabel *widgetOf(Label &label);
QComboBox *widgetOf(ComboBox &combo);
QWidget *widgetOf(Window &window);
} // namespace qt

} // namespace platform
