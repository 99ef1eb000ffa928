// SPDX-License-Identifier: MIT
#include "form1.h"

#include "constants.h"
#include "datetime.h"
#include "pcclock.h"
#include "text.h"

using namespace platform;

// The clock is read once, so hour, minute and second belong to the same
// instant even when the tick lands on a minute boundary.
void Form1::Timer1_Timer()
{
    const Date now = Now();
    Label1.setCaption(Format(Hour(now), u"00") + u":" + Format(Minute(now), u"00"));
    Label1.setForeColor(clockapp::LocalModeColour);
    Label7.setCaption(u":" + Format(Second(now), u"00"));
    followDay(now);
}

// Looks at what the display shows, not at a clock, so it follows whichever
// clock drives the display, and writes that clock's date.
void Form1::Timer4_Timer()
{
    if (showsMidnight())
        showDateOf(displayClockAt(monotonicNow()));
}

void Form1::followDay(Date now)
{
    if (m_dateDay && *m_dateDay != dayOf(now))
        showDateOf(now);
}

bool Form1::showsMidnight() const
{
    return Left(Label1.Caption(), 5) == u"00:00" && Label7.Caption() == u":00";
}
