// SPDX-License-Identifier: MIT
#include "form1.h"

using namespace platform;

void Form1::Combo1_KeyPress(std::int16_t &KeyAscii)
{
    if (KeyAscii == 13)
        Combo1_Click();
}

void Form1::Label4_MouseMove()
{
    Label4.setMousePointer(14);
}

// Back to the PC's clock, shown at once rather than at the next tick; the next
// query's server starts afresh.
void Form1::Label6_Click()
{
    Timer1_Timer();
    Label5.setVisible(false);
    Timer1.setEnabled(true);
    Timer2.setEnabled(false);
    Timer3.setEnabled(false);
    Timer2.clearPhase();
    Timer3.clearPhase();
    m_serverClock.clear();
    m_lastCount.reset();
}
