// SPDX-License-Identifier: MIT
#include "serverclock.h"

#include "clock.h"

#include <algorithm>

using platform::floorDiv;

namespace
{

constexpr std::int64_t Second = 1000;
// The monotonic clock is read in whole milliseconds.
constexpr std::int64_t ReadingMs = 1;
// Halving leaves half the interval and half an exchange, and the drift
// allowed until the next answer (18 ms a side over three minutes) widens it
// again: an interval no wider than the exchange and this is as narrow as
// halving keeps it.
constexpr std::int64_t NarrowMs = 140;
// Settled: an interval no wider than the exchange and this holds the
// server's second to half an exchange and 30 ms either way.
constexpr std::int64_t SettledMs = 60;
// How far outside the interval a check puts the server's whole second,
// beyond half an exchange and the drift.
constexpr std::int64_t CheckMarginMs = 10;

// What the PC's clock may have drifted over `elapsed` ms, rounded up.
std::int64_t driftOver(std::int64_t elapsed)
{
    return (std::max<std::int64_t>(0, elapsed) * ServerClock::DriftPpm + 999999) / 1000000;
}

} // namespace

void ServerClock::observe(const platform::Text &server, std::int64_t second, std::int64_t t0,
                          std::int64_t t1, std::int64_t setup)
{
    // The set-up lies before t0: it never widens what the answer tells.
    m_setup = std::clamp<std::int64_t>(setup, 0, Second);
    const std::int64_t low = second - t1 - ReadingMs;
    const std::int64_t high = second + Second - t0 + ReadingMs;
    if (knows(server)) {
        const std::int64_t drift = driftOver(t1 - m_last);
        const std::int64_t keptLow = std::max(m_low - drift, low);
        const std::int64_t keptHigh = std::min(m_high + drift, high);
        if (keptLow <= keptHigh) {
            m_low = keptLow;
            m_high = keptHigh;
            m_last = t1;
            m_exchange = t1 - t0;
            return;
        }
    }
    m_server = server;
    m_known = true;
    m_settlingLeft = SettlingRequests;
    m_low = low;
    m_high = high;
    m_last = t1;
    m_exchange = t1 - t0;
}

void ServerClock::clear()
{
    m_known = false;
    m_server.clear();
}

bool ServerClock::settling() const
{
    return m_known && m_settlingLeft > 0 && m_high - m_low > m_exchange + SettledMs;
}

std::int64_t ServerClock::secondAt(std::int64_t mono) const
{
    return floorDiv(mono + offset(), Second) * Second;
}

std::int64_t ServerClock::sendMoment(const platform::Text &server, std::int64_t now)
{
    if (!knows(server))
        return now;
    // The offset at which the server's clock, as the request arrives halfway
    // through the exchange, stands on a whole second. The request leaves the
    // set-up after it is sent.
    std::int64_t edge = offset();
    if (settling()) {
        // Seconds apart, the drift adds nothing: halve on.
        --m_settlingLeft;
    } else if (m_high - m_low <= m_exchange + NarrowMs) {
        // Beyond the drift the interval will have widened by, too.
        const std::int64_t margin =
            m_exchange / 2 + driftOver(now + m_setup + m_exchange - m_last) + CheckMarginMs;
        edge = m_checkHigh ? m_high + margin : m_low - margin;
        m_checkHigh = !m_checkHigh;
    }
    const std::int64_t arrival = now + m_setup + m_exchange / 2;
    const std::int64_t past = arrival + edge - floorDiv(arrival + edge, Second) * Second;
    return past == 0 ? now : now + (Second - past);
}
