// SPDX-License-Identifier: MIT
#pragma once

#include "text.h"

#include <cstdint>

// What the exchanges with one server tell about its clock. A response whose
// Date reads second S was written while the server's clock was in [S, S + 1 s),
// after the request began to leave (t0) and before its headers were complete
// (t1), so the server's clock minus the monotonic clock lies in
// [S - t1, S + 1 s - t0]. Each answer from the same server narrows that
// interval; the estimate is its middle. Times in milliseconds: the server's as
// a date serial's milliseconds (toMilliseconds), t0 and t1 on the monotonic
// clock, which counts the time the PC sleeps.
class ServerClock
{
  public:
    // What the PC's oscillator may drift against the server's, per million:
    // the kept interval widens by this much of the time since the last answer,
    // so that an honest server never looks contradictory.
    static constexpr std::int64_t DriftPpm = 100;

    // An answer of `server` whose Date reads `second` (a whole second). Another
    // server, or an answer outside the interval, starts afresh from it alone.
    // `setup` is how long the request took to leave after its send moment
    // (name lookup, connecting, TLS): the next one is sent that much earlier.
    void observe(const platform::Text &server, std::int64_t second, std::int64_t t0,
                 std::int64_t t1, std::int64_t setup = 0);
    void clear();

    bool known() const { return m_known; }
    bool knows(const platform::Text &server) const { return m_known && server == m_server; }
    // The server the estimate is of; empty when there is none.
    const platform::Text &server() const { return m_server; }
    std::int64_t low() const { return m_low; }
    std::int64_t high() const { return m_high; }
    // The server's clock minus the monotonic clock, as estimated.
    std::int64_t offset() const { return m_low + (m_high - m_low) / 2; }
    // The whole second the server's clock is in at monotonic time `mono`.
    std::int64_t secondAt(std::int64_t mono) const;

    // Whether the estimate is still settling: it began with an answer of its
    // own (a first query, another server, or a server whose clock was set),
    // is wider than the exchanges need, and fewer than SettlingRequests have
    // been planned since. One answer tells the server's second only to within
    // half a second; a few more at once, each halving it, leave the clock
    // showing the server's second to a few tens of milliseconds within
    // seconds, not after four resyncs (twelve minutes).
    bool settling() const;
    static constexpr int SettlingRequests = 5;

    // When a request to `server` should be sent, at `now` or within a second
    // after it, so that the answer tells the most once it has left (after
    // the set-up the last one took): while the interval is wide,
    // its middle falls on a whole second of the server's as the request
    // arrives, and either second that comes back halves the interval. Once it
    // is as narrow as the exchanges allow, halving gains nothing: the request
    // then puts that whole second just outside it, on alternate sides, so
    // that a server whose clock was set since (by less than a second, which
    // a halving answer can never contradict) is found out.
    std::int64_t sendMoment(const platform::Text &server, std::int64_t now);

  private:
    platform::Text m_server;
    bool m_known = false;
    std::int64_t m_low = 0;
    std::int64_t m_high = 0;
    std::int64_t m_last = 0;     // t1 of the last answer
    std::int64_t m_exchange = 0; // how long the last exchange took, t0 to t1
    std::int64_t m_setup = 0;    // and its set-up before t0
    bool m_checkHigh = false;    // the side the next check looks at
    int m_settlingLeft = 0;      // requests the estimate may still settle with
};
