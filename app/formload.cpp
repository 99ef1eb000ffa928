// SPDX-License-Identifier: MIT
#include "form1.h"

#include "colour.h"
#include "constants.h"
#include "datetime.h"
#include "msgbox.h"
#include "pcclock.h"
#include "placement.h"
#include "runtimeerror.h"
#include "screen.h"

using namespace platform;

// Every measure is read at its own step: the order matters, since the self-
// sizing labels change size with each font change. Each computed value is
// checked and handed over unrounded, as the single a property takes.
void Form1::Form_Load()
{
    Timer1.setEnabled(true);
    Timer3.setEnabled(false);
    setCurrentX(single(Screen::Width() - 100));
    setCurrentY(single(Screen::Height() - 100));
    Print(clockapp::CreditLine);
    setWidth(single(Screen::Width()));
    setHeight(single(Screen::Height()));

    Label2.setFontSize(single(Screen::Width() / 400));
    Label2.setFontName(u"楷体");
    Label2.setLeft(single(ScaleWidth() / 2 - Label2.Width() / 2));
    Label2.setTop(single(Screen::Height() / 10 - Label2.Height() / 2));
    m_dateHome = Label2.Left();
    Label2.setForeColor(QBColor(3));

    Label1.setFontSize(single(Screen::Width() / 90));
    Label1.setFontName(u"楷体");
    Label1.setFontBold(true);
    Label1.setLeft(single(ScaleWidth() / 10 - Label1.Width() / 2));
    Label1.setTop(single(Screen::Height() / 2 - Label1.Height() / 2));

    Label7.setFontSize(single(Label1.FontSize() / 2));
    Label7.setFontName(u"楷体");
    Label7.setFontBold(true);
    Label7.setLeft(single(ScaleWidth() - 7 * Label1.Left()));
    Label7.setTop(single(Screen::Height() / 2 - Label7.Height() / 2 + 1000));
    Label7.setForeColor(Rgb(170, 170, 170));

    Label4.setVisible(true);
    Label4.setFontSize(14);
    Label4.setLeft(single(ScaleWidth() / 2 - Label4.Width() / 2 - 1800));
    Label4.setTop(single(Screen::Height() - 2000));

    Label6.setFontSize(16);
    Label6.setLeft(single(ScaleWidth() / 2 - Label4.Width() / 2));
    Label6.setTop(single(Screen::Height() - 2800));

    Combo1.setLeft(single(ScaleWidth() / 2 - Combo1.Width() / 2 + 600));
    Combo1.setTop(single(Screen::Height() - 2000));

    Label8.setVisible(true);
    Label8.setFontSize(12);
    Label8.setLeft(single(ScaleWidth() / 2 - Label8.Width() / 2 + 3500));
    Label8.setTop(single(Screen::Height() - 2000));

    // The bottom rows' fonts are fixed points and their offsets twips, so they
    // grow with the DPI where the digits do not: on a small screen at high DPI
    // they move down just clear of the digits. At 96 DPI they are clear.
    const double overlap = Label1.Top() + Label1.Height() - Label6.Top();
    if (overlap > 0) {
        Label6.setTop(single(Label6.Top() + overlap));
        Label4.setTop(single(Label4.Top() + overlap));
        Combo1.setTop(single(Combo1.Top() + overlap));
        Label8.setTop(single(Label8.Top() + overlap));
    }

    MsgBox(u"现在同步的是本地时间", vbOKOnly, u"提示");
    showDateOf(Now());
}

int Form1::dayOf(Date date)
{
    const CivilDate day = civilDateOf(date);
    return (day.year * 100 + day.month) * 100 + day.day;
}

void Form1::showDateOf(Date date)
{
    m_dateDay = dayOf(date);
    showDate(Format(date, u"dddddd"));
}

void Form1::showDate(const Text &date)
{
    Label2.setCaption(date);
    Label2.setLeft(single(placement::dateDisplayLeft(m_dateHome, Label2.Width(), ScaleWidth())));
}
