// SPDX-License-Identifier: MIT
#include "form1.h"

#include "application.h"
#include "constants.h"
#include "datetime.h"
#include "httprequest.h"
#include "msgbox.h"
#include "runtimeerror.h"
#include "text.h"

#include <chrono>
#include <memory>

using namespace platform;

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
void Form1::queryNetworkTime(const Text &url)
{
    Label5.setVisible(true);

    std::unique_ptr<XmlHttpRequest> request;
    Text networkTime;
    Date networkDate;
    int failure = 0;
    try {
        Label3.setCaption(u"0");
        request = std::make_unique<XmlHttpRequest>();
        request->Open(u"POST", url, false);
        request->send();
        const Text header = request->getResponseHeader(u"Date");

        // Characters 5 to 25: " 07 Dec 2026 14:04:45"; weekday and zone are ignored.
        const Date gmt = CDate(Mid(header, 5, 21));
        networkDate = DateAdd(gmt, 1.0 / 3.0);
        networkTime = Format(networkDate, u"yyyy-MM-dd HH:mm:ss");

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

    // Only one failure message at a time: while one waits for an answer, the
    // resyncs of an unattended clock fail quietly instead of stacking boxes.
    if (failure == XmlHttpRequest::ResourceNotFound && !m_failureMessageOpen) {
        m_failureMessageOpen = true;
        MsgBox(u"时间服务器连接错误！请检查网络或校正本地时间，重启软件！", vbOKOnly, u"提示");
        m_failureMessageOpen = false;
    }
    Date displayDate;
    if (!networkTime.empty()) {
        Timer1.setEnabled(false);
        Timer2.setEnabled(true);
        Timer3.setEnabled(true);
        Label5.setCaption(Format(CDate(Right(networkTime, 8)), u"hh:mm:ss"));
        // The seconds come from the server too, not from the last local tick.
        Label7.setCaption(u":" + Format(Second(networkDate), u"00"));
        displayDate = networkDate;
    } else {
        displayDate = Now();
    }
    showDate(Format(displayDate, u"dddddd"));
}
