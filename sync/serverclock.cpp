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
// An interval no wider than twice the exchange and this is as narrow as
// bisecting keeps it against the drift allowed between two resyncs.
constexpr std::int64_t NarrowMs = 50;

} // namespace

void ServerClock::observe(const platform::Text &server, std::int64_t second, std::int64_t t0,
                          std::int64_t t1)
{
    const std::int64_t low = second - t1 - ReadingMs;
    const std::int64_t high = second + Second - t0 + ReadingMs;
    if (knows(server)) {
        const std::int64_t drift = (std::max<std::int64_t>(0, t1 - m_last) * DriftPpm + 999999) /
                                   1000000;
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

std::int64_t ServerClock::secondAt(std::int64_t mono) const
{
    return floorDiv(mono + offset(), Second) * Second;
}

std::int64_t ServerClock::sendMoment(const platform::Text &server, std::int64_t now)
{
    if (!knows(server))
        return now;
    // The offset at which the server's clock, as the request arrives halfway
    // through the exchange, stands on a whole second.
    std::int64_t edge = offset();
    if (m_high - m_low <= 2 * m_exchange + NarrowMs) {
        const std::int64_t margin = m_exchange / 2 + NarrowMs / 5;
        edge = m_checkHigh ? m_high + margin : m_low - margin;
        m_checkHigh = !m_checkHigh;
    }
    const std::int64_t arrival = now + m_exchange / 2;
    const std::int64_t past = arrival + edge - floorDiv(arrival + edge, Second) * Second;
    return past == 0 ? now : now + (Second - past);
}
