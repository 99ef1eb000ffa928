#pragma once

#include <QString>
#include <QStringList>

namespace clockapp
{

// The time server queried by a click on the network sync prompt.
inline const QString DefaultTimeServer = QStringLiteral("http://www.baidu.com");

// The built-in server list, in the order shown.
QStringList serverList();

// Window title and the line printed on the window at start-up.
inline const QString CreditLine =
    QStringLiteral("全屏时钟 1.00 · 制作：全屏时钟开发组 · 联系：fullscreenclock@example.org");

} // namespace clockapp
