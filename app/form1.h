// SPDX-License-Identifier: MIT
#pragma once

#include "combobox.h"
#include "label.h"
#include "serverclock.h"
#include "timer.h"
#include "window.h"

#include <cstdint>
#include <optional>

// The clock's one window. Its state lives in its controls: the mode is the
// Enabled flags of Timer1..Timer3, the network clock is the captions of Label5
// and Label7, the resync counter the caption of Label3.
class Form1 : public platform::Window
{
  public:
    Form1();

    // Declared in stacking order, bottom first: Label1 lies lowest, Combo1 on top.
    platform::Label Label1{*this};          // hour-minute display
    platform::Label Label2{*this};          // date display
    platform::Label Label3{*this};          // resync counter
    platform::Label Label4{*this};          // network sync prompt
    platform::Label Label5{*this};          // network time holder
    platform::Label Label6{*this};          // local-time switch
    platform::Label Label7{*this};          // seconds display
    platform::Label Label8{*this};          // default server caption
    platform::ComboBox Combo1{*this};       // server list
    platform::Timer Timer1{timers(), 1000}; // local clock tick
    platform::Timer Timer2{timers(), 1000}; // resync counter tick
    platform::Timer Timer3{timers(), 1000}; // network clock tick
    platform::Timer Timer4{timers(), 500};  // midnight date refresh

    // app/
    void Form_Load();
    void Form_Unload(std::int16_t &Cancel) override;

    // clock/
    void Timer1_Timer();
    void Timer2_Timer();
    void Timer3_Timer();
    void Timer4_Timer();

    // sync/
    void Combo1_Click();
    void Combo1_KeyPress(std::int16_t &KeyAscii);
    void Label4_click();
    void Label4_MouseMove();
    void Label6_Click();

    // app/: shows a long date in the date display, kept inside the window.
    void showDate(const platform::Text &date);
    // The long date of `date`'s day, which the date display then follows.
    void showDateOf(platform::Date date);
    // clock/: whether the displays show midnight, when the date refresh writes.
    bool showsMidnight() const;

  private:
    // sync/: the network time query shared by Combo1_Click, Label4_click and
    // the resync; a quiet one shows no failure message.
    void queryNetworkTime(const platform::Text &url, bool quiet = false);
    // clock/: the server a resync asks.
    platform::Text resyncServer() const;
    // The server's second at monotonic time `mono`, as estimated.
    platform::Date serverSecondAt(std::int64_t mono) const;
    // The time of the clock that drives the display at monotonic time
    // `mono`: the server's as estimated in network mode, else the PC's now.
    platform::Date displayClockAt(std::int64_t mono) const;
    // A date's day as yyyymmdd.
    static int dayOf(platform::Date date);
    // clock/: a tick's time `now` of the display's clock: the date display
    // shows its day, whatever moved it (midnight asleep, a step of the clock,
    // a time zone or daylight-saving change).
    void followDay(platform::Date now);

    // Set while the query's failure message is open: an unattended clock
    // whose server went away would otherwise stack a new box at every resync.
    bool m_failureMessageOpen = false;
    // sync/: set while a query waits for its answer, which the ticks go on
    // through.
    bool m_querying = false;
    // sync/: what the answers of the server in use tell about its clock, on
    // whose whole seconds the network clock ticks.
    ServerClock m_serverClock;
    // clock/: the monotonic time of the resync counter's last tick or of the
    // last query's end, while it counts; and whether the PC has woken since.
    // Either tells that the network clock's server must be asked at once.
    std::optional<std::int64_t> m_lastCount;
    bool m_resumed = false;
    // Where the start-up layout put the date display.
    double m_dateHome = 0;
    // The day the date display shows (yyyymmdd), once one is shown.
    std::optional<int> m_dateDay;
};
