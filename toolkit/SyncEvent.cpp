#include "SyncEvent.h"

#include <chrono>

namespace orvex {

void TEvent::Set()
{
    {
        std::lock_guard lock(m_mutex);
        m_signaled = true;
    }
    if (m_manualReset)
        m_changed.notify_all();
    else
        m_changed.notify_one();
}

void TEvent::Reset()
{
    std::lock_guard lock(m_mutex);
    m_signaled = false;
}

TWaitResult TEvent::WaitFor(int timeoutMs)
{
    std::unique_lock lock(m_mutex);
    const auto signaled = [this] { return m_signaled; };
    if (timeoutMs < 0)
        m_changed.wait(lock, signaled);
    else if (!m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), signaled))
        return TWaitResult::wrTimeout;
    if (!m_manualReset)
        m_signaled = false;
    return TWaitResult::wrSignaled;
}

} // namespace orvex
