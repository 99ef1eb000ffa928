#include "clock.h"

namespace platform
{

namespace
{

// The fixed time of a test; a null QDateTime when the real clock runs.
QDateTime &fixedTime()
{
    static QDateTime fixed;
    return fixed;
}

} // namespace

QDateTime SystemClock::now()
{
    const QDateTime &fixed = fixedTime();
    if (!fixed.isNull())
        return fixed;
    return QDateTime::currentDateTime();
}

void SystemClock::setFixed(const QDateTime &localTime)
{
    fixedTime() = localTime;
}

void SystemClock::reset()
{
    fixedTime() = QDateTime();
}

} // namespace platform
