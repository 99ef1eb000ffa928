#pragma once

#include <QString>
#include <QStringList>

namespace clockapp {

// The time server queried by a click on the network sync prompt.
inline const QString DefaultTimeServer = QStringLiteral("http://www.baidu.com");

// Built-in server list, in the order shown.
QStringList serverList();

inline const QString CreditLine = QStringLiteral("全屏时钟 1.00 · 作者与联系方式：clock-dev@example.org");

} // namespace clockapp
