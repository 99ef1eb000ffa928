// SPDX-License-Identifier: MIT
#include "backend.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

#include <algorithm>

namespace platform
{

namespace
{
// The box belongs to the program's window even when that window has no
// keyboard focus (a close from a task list, or from the compositor): a box of
// no window may be stacked below a full-screen window, out of sight.
QWidget *owner()
{
    if (QWidget *active = QApplication::activeWindow())
        return active;
    const QWidgetList windows = QApplication::topLevelWidgets();
    const auto shown = std::find_if(windows.cbegin(), windows.cend(), [](const QWidget *w) {
        return w->isVisible() && w->windowType() == Qt::Window;
    });
    return shown == windows.cend() ? nullptr : *shown;
}
} // namespace

MessageBoxAnswer backend::showMessageBox(const MessageBoxRequest &request)
{
    QMessageBox box(owner());
    box.setWindowTitle(QString::fromStdU16String(request.title));
    box.setText(QString::fromStdU16String(request.prompt));
    box.setWindowModality(Qt::ApplicationModal);
    if (request.question)
        box.setIcon(QMessageBox::Question);

    QPushButton *ok = box.addButton(QStringLiteral("确定"), QMessageBox::AcceptRole);
    QPushButton *cancel = nullptr;
    if (request.withCancel) {
        cancel = box.addButton(QStringLiteral("取消"), QMessageBox::RejectRole);
        box.setEscapeButton(cancel);
    } else {
        box.setEscapeButton(ok);
    }
    box.setDefaultButton(request.cancelIsDefault && cancel ? cancel : ok);

    box.exec();
    // Closing the box without choosing counts as Cancel, where there is one.
    return cancel && box.clickedButton() != ok ? MessageBoxAnswer::Cancel : MessageBoxAnswer::Ok;
}

} // namespace platform
