#include "form1.h"

#include "datetime.h"
#include "label.h"
#include "text.h"

using namespace platform;

// The clock is read once, so hour, minute and second belong to the same
// instant even when the tick lands on a minute boundary.
void Form1::Timer1_Timer()
{
    const Date now = Now();
    Label1->setCaption(Format(Hour(now), QStringLiteral("00")) + QStringLiteral(":") +
                       Format(Minute(now), QStringLiteral("00")));
    Label1->setForeColor(16576);
    Label7->setCaption(QStringLiteral(":") + Format(Second(now), QStringLiteral("00")));
}

// Looks at what the display shows, not at a clock, so it follows whichever
// clock drives the display; the date written is always the PC's.
void Form1::Timer4_Timer()
{
    const QString hourMinute = Left(Label1->Caption(), 5);
    const QString seconds = Label7->Caption();
    if (hourMinute == QStringLiteral("00:00") && seconds == QStringLiteral(":00"))
        Label2->setCaption(Format(Now(), QStringLiteral("dddddd")));
}
