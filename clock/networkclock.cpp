// SPDX-License-Identifier: MIT
#include "form1.h"

#include "colour.h"
#include "datetime.h"
#include "pcclock.h"
#include "text.h"

using namespace platform;

namespace
{

Text twoDigits(double value)
{
    return value < 10 ? Text(u"0") + CStr(value) : CStr(value);
}

} // namespace

// Shows the second the server's clock is in by the estimate the queries keep,
// so that a late or missed tick, a stall or a sleep leaves nothing behind; a
// tick a little early (its wake-up's slack) shows the second it was meant
// for. Without an estimate, hour and minute come from the holder and the
// seconds count on from the seconds display.
void Form1::Timer3_Timer()
{
    int hour = 0;
    int minute = 0;
    double seconds = 0;
    if (m_serverClock.known()) {
        const Date now = serverSecondAt(monotonicNow() + TickSchedule::EarlySlackMs);
        hour = Hour(now);
        minute = Minute(now);
        seconds = Second(now);
        followDay(now);
    } else {
        const Date holder = CDate(Label5.Caption());
        hour = Hour(holder);
        minute = Minute(holder);
        seconds = Val(Right(Label7.Caption(), 2));

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
    }

    const Text secondsText = twoDigits(seconds);
    const Text minuteText = twoDigits(minute);
    const Text hourText = twoDigits(hour);
    Label5.setCaption(hourText + u":" + minuteText);
    Label7.setCaption(u":" + secondsText);
    Label1.setCaption(Label5.Caption());
    Label1.setForeColor(QBColor(6));
}
