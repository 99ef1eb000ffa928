// SPDX-License-Identifier: MIT
#include "form1.h"

#include "msgbox.h"

using namespace platform;

void Form1::Form_Unload(std::int16_t &Cancel)
{
    const int answer =
        MsgBox(u"确定要退出吗？", vbOKCancel | vbQuestion | vbDefaultButton2, u"提示");
    if (answer == vbOK)
        Unload();
    else
        Cancel = -1;
}
