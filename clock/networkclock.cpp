#include "form1.h"

#include "colour.h"
#include "datetime.h"
#include "label.h"
#include "text.h"

using namespace platform;

namespace
{

QString twoDigits(double value)
{
    return value < 10 ? QStringLiteral("0") + CStr(value) : CStr(value);
}

} // namespace

// Hour and minute come from the holder, the seconds count on from the seconds
// display: a query re-seeds only the holder.
void Form1::Timer3_Timer()
{
    const Date holder = CDate(Label5->Caption());
    int hour = Hour(holder);
    int minute = Minute(holder);
    double seconds = Val(Right(Label7->Caption(), 2));

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

    const QString secondsText = twoDigits(seconds);
    const QString minuteText = twoDigits(minute);
    const QString hourText = twoDigits(hour);
    Label5->setCaption(hourText + QStringLiteral(":") + minuteText);
    Label7->setCaption(QStringLiteral(":") + secondsText);
    Label1->setCaption(Label5->Caption());
    Label1->setForeColor(QBColor(6));
}
