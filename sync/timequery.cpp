#include "form1.h"

#include "combobox.h"
#include "constants.h"
#include "datetime.h"
#include "httprequest.h"
#include "label.h"
#include "msgbox.h"
#include "runtimeerror.h"
#include "text.h"
#include "timer.h"

#include <QCoreApplication>
#include <QDeadlineTimer>

#include <memory>

using namespace platform;

void Form1::Combo1_Click()
{
    queryNetworkTime(Combo1->Text());
}

void Form1::Label4_click()
{
    queryNetworkTime(clockapp::DefaultTimeServer);
}

// Seeds the network clock from the server's Date header (GMT) as UTC+8. Every
// failure stays in here: the window keeps its mode and shows the PC's date.
void Form1::queryNetworkTime(const QString &url)
{
    Label5->setVisible(true);

    std::unique_ptr<XmlHttpRequest> request;
    QString networkTime;
    Date networkDate;
    int failure = 0;
    try {
        Label3->setCaption(QStringLiteral("0"));
        request = std::make_unique<XmlHttpRequest>();
        request->Open(QStringLiteral("POST"), url, false);
        request->send();
        const QString header = request->getResponseHeader(QStringLiteral("Date"));

        // Characters 5 to 25: " 07 Dec 2026 14:04:45"; weekday and zone are ignored.
        const Date gmt = CDate(Mid(header, 5, 21));
        networkDate = DateAdd(gmt, 1.0 / 3.0);
        networkTime = Format(networkDate, QStringLiteral("yyyy-MM-dd HH:mm:ss"));

        // A synchronous send leaves it complete; the bound only guards the loop.
        const QDeadlineTimer deadline(XmlHttpRequest::DefaultTotalTimeout.count());
        while (request->readyState() != XmlHttpRequest::Done) {
            if (deadline.hasExpired())
                throw RuntimeError(XmlHttpRequest::Timeout, QStringLiteral("Request incomplete"));
            QCoreApplication::processEvents();
        }
        request.reset();
    } catch (const RuntimeError &error) {
        failure = error.number();
    } catch (const std::exception &) {
        failure = XmlHttpRequest::DownloadFailure;
    }

    if (failure == XmlHttpRequest::ResourceNotFound) {
        MsgBox(QStringLiteral("时间服务器连接错误！请检查网络或校正本地时间，重启软件！"), vbOKOnly,
               QStringLiteral("提示"));
    }
    Date displayDate;
    if (!networkTime.isEmpty()) {
        Timer1->setEnabled(false);
        Timer2->setEnabled(true);
        Timer3->setEnabled(true);
        Label5->setCaption(Format(CDate(Right(networkTime, 8)), QStringLiteral("hh:mm:ss")));
        displayDate = networkDate;
    } else {
        displayDate = Now();
    }
    Label2->setCaption(Format(displayDate, QStringLiteral("dddddd")));
}
