// SPDX-License-Identifier: MIT
#include "backend.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

namespace platform
{

MessageBoxAnswer backend::showMessageBox(const MessageBoxRequest &request)
{
    QMessageBox box(QApplication::activeWindow());
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
