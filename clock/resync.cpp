#include "form1.h"

#include "combobox.h"
#include "label.h"
#include "text.h"

using namespace platform;

// Every 180 ticks the server list is asked again. The threshold is tested on
// the working value, so the early reset of the caption does not hide it.
void Form1::Timer2_Timer()
{
    const double counter = Val(Label3->Caption()) + 1;
    Label3->setCaption(CStr(counter));
    if (counter == 180)
        Label3->setCaption(QStringLiteral("0"));
    const QString holder = Label5->Caption();
    if (counter == 180 && !holder.isEmpty()) {
        Combo1_Click();
        Label3->setCaption(QStringLiteral("0"));
    }
}
