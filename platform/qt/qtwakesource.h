// SPDX-License-Identifier: MIT
#pragma once

#include "backend.h"

#include <QTimer>

namespace platform::qt
{

// The timers' wake-up: one single-shot precise QTimer on the user-interface
// thread. Precise, since the ticks aim at the wall clock's boundaries.
class QtWakeSource final : public WakeSource
{
  public:
    QtWakeSource();
    void wakeAfter(int milliseconds) override;
    void cancel() override;

  private:
    QTimer m_timer;
};

} // namespace platform::qt
