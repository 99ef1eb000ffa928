// SPDX-License-Identifier: MIT
#include "form1.h"

#include "application.h"
#include "constants.h"
#include "datetime.h"
#include "httprequest.h"
#include "msgbox.h"
#include "pcclock.h"
#include "runtimeerror.h"
#include "text.h"

#include <algorithm>
#include <chrono>
#include <memory>
#include <utility>

using namespace platform;

// Within the date type's range, so that a server at 9999-12-31 raises nothing.
Date Form1::serverSecondAt(std::int64_t mono) const
{
    static const std::int64_t first = toMilliseconds(fromCivil({100, 1, 1, 0, 0, 0, 0}));
    static const std::int64_t last = toMilliseconds(fromCivil({9999, 12, 31, 23, 59, 59, 0}));
    return fromMilliseconds(std::clamp(m_serverClock.secondAt(mono), first, last));
}

Date Form1::displayClockAt(std::int64_t mono) const
{
    return Timer3.Enabled() && m_serverClock.known() ? serverSecondAt(mono) : Now();
}

void Form1::Combo1_Click()
{
    queryNetworkTime(Combo1.Text());
}

void Form1::Label4_click()
{
    queryNetworkTime(clockapp::DefaultTimeServer);
}

// Seeds the network clock from the server's Date header (GMT) as UTC+8. Every
// failure stays in here: the window keeps its mode and shows the PC's date.
// A request to the server already in use leaves at the moment its answer
// tells most about the server's clock (within a second); the network clock
// then shows the server's second as estimated now and ticks on its whole
// seconds. While it runs, a failure leaves it and its date as they were.
void Form1::queryNetworkTime(const Text &url, bool quiet)
{
    Label5.setVisible(true);

    const bool outer = !std::exchange(m_querying, true);
    std::unique_ptr<XmlHttpRequest> request;
    Text networkTime;
    Date networkDate;
    int failure = 0;
    try {
        Label3.setCaption(u"0");
        request = std::make_unique<XmlHttpRequest>();
        request->Open(u"POST", url, false);
        request->setSendAt(m_serverClock.sendMoment(url, monotonicNow()));
        request->send();
        const Text header = request->getResponseHeader(u"Date");

        // Characters 5 to 25: " 07 Dec 2026 14:04:45"; weekday and zone are ignored.
        const Date gmt = CDate(Mid(header, 5, 21));
        networkDate = DateAdd(gmt, 1.0 / 3.0);
        networkTime = Format(networkDate, u"yyyy-MM-dd HH:mm:ss");
        m_serverClock.observe(url, toMilliseconds(networkDate), request->sentAt(),
                              request->headersAt(), request->sentAt() - request->startedAt());

        // A synchronous send leaves it complete; the bound only guards the loop.
        const auto deadline = std::chrono::steady_clock::now() + XmlHttpRequest::totalTimeout();
        while (request->readyState() != XmlHttpRequest::Done) {
            if (std::chrono::steady_clock::now() >= deadline)
                throw RuntimeError(XmlHttpRequest::Timeout, u"Request incomplete");
            Application::DoEvents();
        }
        request.reset();
    } catch (const RuntimeError &error) {
        failure = error.number();
    } catch (const std::exception &) {
        failure = XmlHttpRequest::DownloadFailure;
    }

    if (outer)
        m_querying = false;

    // Only one failure message at a time: while one waits for an answer, the
    // resyncs of an unattended clock fail quietly instead of stacking boxes.
    if (failure == XmlHttpRequest::ResourceNotFound && !quiet && !m_failureMessageOpen) {
        m_failureMessageOpen = true;
        MsgBox(u"时间服务器连接错误！请检查网络或校正本地时间，重启软件！", vbOKOnly, u"提示");
        m_failureMessageOpen = false;
    }
    // One reading: the second shown now and the next tick's boundary agree.
    const std::int64_t now = monotonicNow();
    // The resync counter's gap and a wake-up count from here.
    m_lastCount = now;
    m_resumed = false;
    Date displayDate;
    if (!networkTime.empty()) {
        const bool networkShown = Timer3.Enabled();
        Timer1.setEnabled(false);
        Timer2.setEnabled(true);
        Timer3.setEnabled(true);
        const Date serverNow = serverSecondAt(now);
        // The counter ticks with the display, on the server's seconds: one
        // wake-up and one repaint a second, not two.
        Timer2.setPhase(m_serverClock.offset(), now);
        Timer3.setPhase(m_serverClock.offset(), now);
        Label5.setCaption(Format(serverNow, u"hh:mm:ss"));
        // The seconds come from the server too, not from the last local tick.
        // But a narrower estimate often puts the boundary just shown a little
        // later: that second began early, and the next tick shows it again.
        // Writing the one before would show a second twice, and past a minute
        // against the hour and minute shown.
        const bool shownEarly =
            networkShown && Label7.Caption() == u":" + Format((Second(serverNow) + 1) % 60, u"00");
        if (!shownEarly)
            Label7.setCaption(u":" + Format(Second(serverNow), u"00"));
        displayDate = serverNow;
    } else {
        displayDate = displayClockAt(now);
    }
    showDateOf(displayDate);
}
