// SPDX-License-Identifier: MIT
#pragma once

// What the conformance suite needs beyond backend.h to hold a back end to its
// promises: the toolkit's own view of the peers, the user's input through the
// toolkit's own queue, the event loop run for a while, and servers on
// 127.0.0.1. Each back end has a driver of its own (driver_*.cpp) with its
// main(); the suite (tst_conformance.cpp) is the same for all.

#include "backend.h"
#include "clock.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace driver
{

using namespace platform;

// The toolkit's identity of a child, as stacking() and focus() report it.
const void *native(LabelPeer &label);
const void *native(ComboBoxPeer &combo);
// The window's children as the toolkit stacks them, bottom first.
std::vector<const void *> stacking(WindowPeer &window);
// The child that has (or gets, once the window is active) the keyboard focus;
// a combo box for its edit field. Null for none.
const void *focus(WindowPeer &window);
// The size in points of the font the toolkit draws the label in.
double fontPoints(LabelPeer &label);
// How often the toolkit has painted the label so far.
int paints(LabelPeer &label);
// What the toolkit painted of the label since the last call, as one
// rectangle from the label's top-left corner; width 0 for nothing.
PixelRect painted(LabelPeer &label);
// Paints at once whatever the window has waiting to be painted.
void paintPending(WindowPeer &window);
// Whether the window is on the screen.
bool isShown(WindowPeer &window);

// The user's input, through the toolkit's own queue: it reaches the peers
// when the toolkit next takes input. A click lands inside the label; a key
// is typed at the end of the box's edit field, which has the focus.
void click(LabelPeer &label, bool leftButton);
void type(ComboBoxPeer &combo, char16_t key);
// The user or the window manager closes the window.
void close(WindowPeer &window);
// The system tells the PC woke from sleep, as it does after a real sleep.
void reportResume(WindowPeer &window);
// The user or the window manager minimises the window, or restores it.
void minimise(WindowPeer &window);
void restore(WindowPeer &window);
// From inside an open message box: the user answers it.
void answerMessageBox(MessageBoxAnswer answer);

// Whether the system, or the test's stand-in for it, holds a request of this
// program to keep the display on.
bool displayKeptOn();

// The back end's monotonic clock, in milliseconds: the one its wake-ups wait
// on (the tests' back end makes its simulated time that clock).
inline std::int64_t now()
{
    return backend::monotonicMs();
}
// The system's clock that counts the time the PC sleeps, read directly, in
// milliseconds: what backend::monotonicMs must hand out.
std::int64_t sleepCountingMs();
// Runs the event loop for a few milliseconds.
void pump();
// Runs the event loop until `done` holds or `ms` have passed; returns done().
inline bool runUntil(const std::function<bool()> &done, int ms)
{
    const std::int64_t end = now() + ms;
    while (!done() && now() < end)
        pump();
    return done();
}

// A server on 127.0.0.1 for the next exchange; returns its URL. The last
// one stays until the next call.
enum class Server {
    Refusing,  // nothing listens on the port
    Silent,    // reads the request and never answers
    Malformed, // answers a line that is no status line
    Answering, // answers Reply after `delayMs`
};
std::string serve(Server server, int delayMs = 0);
// Whether the exchange fails a header block longer than its bound.
extern const bool boundsHeaderBlock;
// The header block the Answering server sends.
inline const std::string Reply = "HTTP/1.1 200 OK\r\n"
                                 "Date: Mon, 07 Dec 2026 14:04:45 GMT\r\n"
                                 "X-Folded: one\r\n two\r\n"
                                 "\r\n";

} // namespace driver
