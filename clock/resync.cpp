// SPDX-License-Identifier: MIT
#include "form1.h"

#include "httprequest.h"
#include "pcclock.h"
#include "text.h"

#include <utility>

using namespace platform;

namespace
{

// Two ticks further apart than this missed one at least: the thread stalled
// or the PC slept (the monotonic clock counts the sleep).
constexpr std::int64_t MissedTicksMs = 2000;

} // namespace

// Every 180 ticks the server list is asked again. The threshold is tested on
// the working value, so the early reset of the caption does not hide it. After
// a stall or a sleep the network clock's estimate may have drifted by as much,
// so the server is asked at the next tick, quietly: the network may not be
// back yet. So it is while a new estimate settles, one request at a time.
void Form1::Timer2_Timer()
{
    const std::int64_t now = monotonicNow();
    const bool missed = m_lastCount && now - *m_lastCount > MissedTicksMs;
    const bool settle = m_serverClock.settling() && !m_querying;
    const bool early = std::exchange(m_resumed, false) || missed || settle;
    m_lastCount = now;

    const double counter = Val(Label3.Caption()) + 1;
    Label3.setCaption(CStr(counter));
    if (counter == 180)
        Label3.setCaption(u"0");
    const Text holder = Label5.Caption();
    if ((counter == 180 || early) && !holder.empty()) {
        queryNetworkTime(resyncServer(), counter != 180);
        Label3.setCaption(u"0");
    }
}

// The server list's text, as when it is picked; but a text that contacts
// nothing (the prompt, still there after "同步网络时间", or half-typed text)
// would leave the clock unchecked for good, so the server the network clock
// follows is asked instead.
Text Form1::resyncServer() const
{
    const Text listed = Combo1.Text();
    if (XmlHttpRequest::isRequestable(listed) || !m_serverClock.known())
        return listed;
    return m_serverClock.server();
}
