#pragma once

#include "window.h"

namespace platform
{
class ComboBox;
class Label;
class Timer;
} // namespace platform

// The clock's one window. Its state lives in its controls: the mode is the
// Enabled flags of Timer1..Timer3, the network clock is the captions of Label5
// and Label7, the resync counter the caption of Label3.
class Form1 : public platform::Window
{
    Q_OBJECT

  public:
    explicit Form1(QWidget *parent = nullptr);

    platform::Label *Label1;    // hour-minute display
    platform::Label *Label2;    // date display
    platform::Label *Label3;    // resync counter
    platform::Label *Label4;    // network sync prompt
    platform::Label *Label5;    // network time holder
    platform::Label *Label6;    // local-time switch
    platform::Label *Label7;    // seconds display
    platform::Label *Label8;    // default server caption
    platform::ComboBox *Combo1; // server list
    platform::Timer *Timer1;    // local clock tick
    platform::Timer *Timer2;    // resync counter tick
    platform::Timer *Timer3;    // network clock tick
    platform::Timer *Timer4;    // midnight date refresh

    // app/
    void Form_Load();
    void Form_Unload(qint16 &Cancel) override;

    // clock/
    void Timer1_Timer();
    void Timer2_Timer();
    void Timer3_Timer();
    void Timer4_Timer();

    // sync/
    void Combo1_Click();
    void Combo1_KeyPress(qint16 &KeyAscii);
    void Label4_click();
    void Label4_MouseMove();
    void Label6_Click();

  private:
    // sync/: the network time query shared by Combo1_Click and Label4_click.
    void queryNetworkTime(const QString &url);
};
