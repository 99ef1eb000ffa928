#pragma once

#include <QObject>
#include <QString>

class QTimer;

namespace platform
{

// A timer that ticks on the wall clock's boundaries: a 1000 ms timer just
// after each whole second, a 500 ms timer just after each half second. A
// free-running interval drifts against the clock, so a displayed second would
// now and then show twice and skip the next. Ticks missed while the thread was
// busy arrive late as one tick.
class Timer : public QObject
{
    Q_OBJECT

  public:
    Timer(int intervalMs, QObject *parent);

    bool Enabled() const { return m_enabled; }
    void setEnabled(bool enabled);
    int Interval() const { return m_interval; }

    QString Tag() const { return m_tag; }
    void setTag(const QString &tag) { m_tag = tag; }

  signals:
    void tick();

  private:
    void arm();
    void fire();

    QTimer *m_timer;
    int m_interval;
    qint64 m_due = 0;
    bool m_enabled = false;
    QString m_tag;
};

} // namespace platform
