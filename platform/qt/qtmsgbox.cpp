// SPDX-License-Identifier: MIT
#include "msgbox.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

namespace platform
{

int backend::showMessageBox(const Text &prompt, int buttons, const Text &title)
{
    QMessageBox box(QApplication::activeWindow());
    box.setWindowTitle(QString::fromStdU16String(title));
    box.setText(QString::fromStdU16String(prompt));
    box.setWindowModality(Qt::ApplicationModal);
    if (buttons & vbQuestion)
        box.setIcon(QMessageBox::Question);

    QPushButton *ok = box.addButton(QStringLiteral("确定"), QMessageBox::AcceptRole);
    QPushButton *cancel = nullptr;
    if ((buttons & 0xF) == vbOKCancel) {
        cancel = box.addButton(QStringLiteral("取消"), QMessageBox::RejectRole);
        box.setEscapeButton(cancel);
    } else {
        box.setEscapeButton(ok);
    }
    box.setDefaultButton((buttons & vbDefaultButton2) && cancel ? cancel : ok);

    box.exec();
    if (!cancel)
        return vbOK;
    // Closing the box without choosing counts as Cancel.
    return box.clickedButton() == ok ? vbOK : vbCancel;
}

} // namespace platform
