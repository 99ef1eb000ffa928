#include "timer.h"

#include <QDateTime>
#include <QTimer>

namespace platform
{

Timer::Timer(int intervalMs, QObject *parent)
    : QObject(parent), m_timer(new QTimer(this)), m_interval(intervalMs)
{
    m_timer->setSingleShot(true);
    m_timer->setTimerType(Qt::PreciseTimer);
    connect(m_timer, &QTimer::timeout, this, &Timer::fire);
}

void Timer::setEnabled(bool enabled)
{
    if (enabled == m_enabled)
        return;
    m_enabled = enabled;
    if (enabled)
        arm();
    else
        m_timer->stop();
}

// Wakes at the next multiple of the interval on the wall clock. Re-arming
// from the clock at every tick keeps the ticks on the boundaries, and a tick
// delivered late (busy thread) simply aims at the boundary after it.
void Timer::arm()
{
    if (m_interval <= 0)
        return;
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    m_due = (now / m_interval + 1) * m_interval;
    m_timer->start(int(m_due - now));
}

void Timer::fire()
{
    if (!m_enabled)
        return;
    // The timer runs on the monotonic clock; should it wake before the wall
    // clock reached the boundary, wait the rest rather than tick early.
    const qint64 early = m_due - QDateTime::currentMSecsSinceEpoch();
    if (early > 0) {
        m_timer->start(int(early));
        return;
    }
    arm();
    emit tick();
}

} // namespace platform
