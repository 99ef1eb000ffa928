// SPDX-License-Identifier: MIT
#include "fakeloop.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace platform::fake
{

namespace
{
EventLoop *&currentLoop()
{
    static EventLoop *loop = nullptr;
    return loop;
}
} // namespace

class EventLoop::Source : public WakeSource
{
  public:
    explicit Source(EventLoop &loop) : m_loop(&loop) { loop.m_sources.push_back(this); }
    ~Source() override
    {
        if (m_loop) {
            auto &sources = m_loop->m_sources;
            sources.erase(std::find(sources.begin(), sources.end(), this));
        }
    }

    void wakeAfter(int milliseconds) override
    {
        if (!m_loop)
            return;
        armed = true;
        m_armedAt = m_loop->m_mono;
        m_wait = milliseconds;
        m_loop->waits.push_back(milliseconds);
    }
    void cancel() override { armed = false; }

    std::int64_t fireAt() const
    {
        if (m_wait <= TickSchedule::EarlySlackMs)
            return m_armedAt + m_wait;
        return m_armedAt + std::max<std::int64_t>(1, m_wait - m_loop->earlyMs);
    }
    void detach() { m_loop = nullptr; }

    bool armed = false;

  private:
    EventLoop *m_loop;
    std::int64_t m_armedAt = 0;
    int m_wait = 0;
};

EventLoop::EventLoop(std::int64_t wallStart) : m_offset(wallStart), m_previous(currentLoop())
{
    currentLoop() = this;
}

EventLoop::~EventLoop()
{
    for (Source *source : m_sources)
        source->detach();
    currentLoop() = m_previous;
}

EventLoop &EventLoop::current()
{
    if (!currentLoop()) {
        std::fputs(
            "fake back end: no EventLoop for the clocks and timers; the test must make one\n",
            stderr);
        std::abort();
    }
    return *currentLoop();
}

EventLoop *EventLoop::existing()
{
    return currentLoop();
}

std::unique_ptr<WakeSource> EventLoop::createWakeSource()
{
    return std::make_unique<Source>(*this);
}

bool EventLoop::armed() const
{
    return nextDue() != nullptr;
}

EventLoop::Source *EventLoop::nextDue() const
{
    Source *due = nullptr;
    for (Source *source : m_sources)
        if (source->armed && (!due || source->fireAt() < due->fireAt()))
            due = source;
    return due;
}

void EventLoop::run(std::int64_t ms)
{
    const std::int64_t end = m_mono + ms;
    while (!m_quit) {
        Source *due = nextDue();
        if (!due || due->fireAt() > end)
            break;
        m_mono = std::max(m_mono, due->fireAt());
        due->armed = false;
        ++wakeUps;
        if (due->onWake)
            due->onWake();
        if (betweenEvents)
            betweenEvents();
    }
    if (!m_quit)
        m_mono = std::max(m_mono, end);
    if (betweenEvents)
        betweenEvents();
}

} // namespace platform::fake
