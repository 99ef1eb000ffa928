// SPDX-License-Identifier: MIT
// What the handlers' tests share: Form1 over the tests' back end, the peer
// behind each control, simulated time, and a main() that starts the program's
// Application (the long date comes with it) under the user's C locale.
#pragma once

#include "testing.h"

#include "application.h"
#include "clock.h"
#include "fakebackend.h"
#include "form1.h"
#include "httprequest.h"
#include "pcclock.h"
#include "screen.h"

#include <clocale>
#include <cstdint>
#include <ctime>
#include <string>

namespace handlers
{

using namespace platform;

// A wall-clock time on a whole second (in 2027).
constexpr std::int64_t Base = 1800000000000;

inline fake::FakeLabel &peerOf(Label &label)
{
    return dynamic_cast<fake::FakeLabel &>(label.peer());
}

inline fake::FakeComboBox &peerOf(ComboBox &combo)
{
    return dynamic_cast<fake::FakeComboBox &>(combo.peer());
}

inline fake::FakeWindow &peerOf(Window &window)
{
    return dynamic_cast<fake::FakeWindow &>(window.peer());
}

inline Label &label(Form1 &form, int index)
{
    Label *labels[] = {&form.Label1, &form.Label2, &form.Label3, &form.Label4,
                       &form.Label5, &form.Label6, &form.Label7, &form.Label8};
    return *labels[index - 1];
}

// Sets the simulated wall clock to where the PC's time zone reads `local`.
inline void setLocalTime(fake::EventLoop &loop, const CivilDateTime &local)
{
    std::tm fields{};
    fields.tm_year = local.year - 1900;
    fields.tm_mon = local.month - 1;
    fields.tm_mday = local.day;
    fields.tm_hour = local.hour;
    fields.tm_min = local.minute;
    fields.tm_sec = local.second;
    fields.tm_isdst = -1;
    const std::int64_t ms = std::int64_t(std::mktime(&fields)) * 1000 + local.millisecond;
    loop.stepWall(ms - loop.wall());
}

// Local mode or network mode, as the timers' flags say.
inline void setMode(Form1 &form, bool network)
{
    form.Timer1.setEnabled(!network);
    form.Timer2.setEnabled(true);
    form.Timer3.setEnabled(network);
}

// Simulated time from Base, and whatever a test changed put back after it.
struct Fixture {
    fake::EventLoop loop{Base};
    ~Fixture() { fake::setScreen({1024, 768, 15}); }
};

} // namespace handlers

#ifdef HANDLER_TEST_MAIN
int main(int argc, char **argv)
{
    std::setlocale(LC_ALL, "");
    platform::Application app(argc, argv, u"全屏时钟");
    doctest::Context context(argc, argv);
    return context.run();
}
#endif
