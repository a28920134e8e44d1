#pragma once

#include <condition_variable>
#include <mutex>

namespace orvex {

enum class TWaitResult { wrSignaled, wrTimeout };

// An event object that threads wait on: set by one thread, it releases a
// waiter. An auto-reset event releases exactly one waiter and clears itself;
// a manual-reset event stays set until Reset.
class TEvent {
public:
    // Waits without a time-out.
    static constexpr int Infinite = -1;

    explicit TEvent(bool manualReset = false, bool initialState = false)
        : m_manualReset(manualReset), m_signaled(initialState) {}
    TEvent(const TEvent&) = delete;
    TEvent& operator=(const TEvent&) = delete;

    void Set();
    void Reset();
    // Waits up to timeoutMs (Infinite: for ever) for the event to be set; a
    // time-out of 0 only tests it.
    TWaitResult WaitFor(int timeoutMs);

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    const bool m_manualReset;
    bool m_signaled;
};

} // namespace orvex
