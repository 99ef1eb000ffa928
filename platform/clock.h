#pragma once

#include <QDateTime>

namespace platform
{

// The PC's clock. Tests fix it to a chosen local time.
class SystemClock
{
  public:
    static QDateTime now();

    static void setFixed(const QDateTime &localTime);
    static void reset();
};

} // namespace platform
