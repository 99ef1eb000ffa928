#include "form1.h"

#include "msgbox.h"

using namespace platform;

void Form1::Form_Unload(qint16 &Cancel)
{
    const int answer = MsgBox(QStringLiteral("确定要退出吗？"),
                              vbOKCancel | vbQuestion | vbDefaultButton2, QStringLiteral("提示"));
    if (answer == vbOK)
        Unload();
    else
        Cancel = -1;
}
