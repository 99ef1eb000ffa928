// SPDX-License-Identifier: MIT
#include "form1.h"

#include "colour.h"
#include "datetime.h"
#include "text.h"

using namespace platform;

namespace
{

Text twoDigits(double value)
{
    return value < 10 ? Text(u"0") + CStr(value) : CStr(value);
}

} // namespace

// Hour and minute come from the holder, the seconds count on from the seconds
// display; a query re-seeds both.
void Form1::Timer3_Timer()
{
    const Date holder = CDate(Label5.Caption());
    int hour = Hour(holder);
    int minute = Minute(holder);
    double seconds = Val(Right(Label7.Caption(), 2));

    seconds = seconds + 1;
    if (seconds > 59) {
        seconds = 0;
        minute = minute + 1;
    }
    if (minute > 59) {
        minute = 0;
        hour = hour + 1;
    }
    if (hour > 23)
        hour = 0;

    const Text secondsText = twoDigits(seconds);
    const Text minuteText = twoDigits(minute);
    const Text hourText = twoDigits(hour);
    Label5.setCaption(hourText + u":" + minuteText);
    Label7.setCaption(u":" + secondsText);
    Label1.setCaption(Label5.Caption());
    Label1.setForeColor(QBColor(6));
}
