// SPDX-License-Identifier: MIT
#include "form1.h"

#include "text.h"

using namespace platform;

// Every 180 ticks the server list is asked again. The threshold is tested on
// the working value, so the early reset of the caption does not hide it.
void Form1::Timer2_Timer()
{
    const double counter = Val(Label3.Caption()) + 1;
    Label3.setCaption(CStr(counter));
    if (counter == 180)
        Label3.setCaption(u"0");
    const Text holder = Label5.Caption();
    if (counter == 180 && !holder.empty()) {
        Combo1_Click();
        Label3.setCaption(u"0");
    }
}
