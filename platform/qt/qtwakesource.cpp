// SPDX-License-Identifier: MIT
#include "qtwakesource.h"

#include <algorithm>

namespace platform::qt
{

QtWakeSource::QtWakeSource()
{
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&m_timer, &QTimer::timeout, &m_timer, [this] {
        if (onWake)
            onWake();
    });
}

void QtWakeSource::wakeAfter(int milliseconds)
{
    m_timer.start(std::max(0, milliseconds));
}

void QtWakeSource::cancel()
{
    m_timer.stop();
}

} // namespace platform::qt
