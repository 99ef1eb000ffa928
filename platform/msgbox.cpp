#include "msgbox.h"

#include "runtimeerror.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

namespace platform
{

namespace
{
MsgBoxHook g_hook;

int showDialog(const QString &prompt, int buttons, const QString &title)
{
    QMessageBox box(QApplication::activeWindow());
    box.setWindowTitle(title);
    box.setText(prompt);
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
} // namespace

int MsgBox(const QString &prompt, int buttons, const QString &title)
{
    if (g_hook)
        return g_hook(prompt, buttons, title);
    return showDialog(prompt, buttons, title);
}

void setMsgBoxHook(MsgBoxHook hook)
{
    g_hook = std::move(hook);
}

void reportRuntimeError(const RuntimeError &error)
{
    MsgBox(QStringLiteral("运行时错误 '%1':\n\n%2").arg(error.number()).arg(error.description()),
           vbOKOnly, QCoreApplication::applicationName());
    QCoreApplication::exit(1);
}

} // namespace platform
