#include "GIFPainterTiming.h"

#include "GIFDefaults.h"
#include "Graphics.h"
#include "SyncEvent.h"

#include <algorithm>
#include <chrono>
#include <limits>
#include <thread>

namespace orvex {

namespace {

class SystemClock : public TPainterClock {
public:
    std::uint32_t Now() override
    {
        using namespace std::chrono;
        return static_cast<std::uint32_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
    }

    bool WaitForWake(TEvent* wake, int ms) override
    {
        if (!wake)
            return false;
        return wake->WaitFor(ms < 0 ? TEvent::Infinite : ms) == TWaitResult::wrTimeout;
    }

    void Sleep(int ms) override
    {
        if (ms <= 0)
            std::this_thread::yield();
        else
            std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    }
};

} // namespace

std::shared_ptr<TPainterClock> TPainterClock::System()
{
    static const auto clock = std::make_shared<SystemClock>();
    return clock;
}

int FrameDelayUnits(bool hasGraphicControl, int delayTime, bool threaded)
{
    if (!hasGraphicControl || delayTime <= 0)
        return GifDefaults.FallbackDelay;
    int units = delayTime;
    if (units < GifDefaults.ShortestDelay)
        units = GifDefaults.ShortestDelay;
    if (units > GifDefaults.LongestDelay && !threaded)
        units = GifDefaults.LongestDelay;
    return units;
}

TFrameTimer::TFrameTimer(TPainterClock& clock, int speedPercent, bool threaded)
    : m_clock(clock), m_speed(speedPercent), m_threaded(threaded)
{
}

void TFrameTimer::Start()
{
    m_lastTime = m_clock.Now();
    m_lastWait = 0;
}

int TFrameTimer::PlanWait(int delayUnits)
{
    const std::uint32_t now = m_clock.Now();
    int wait;
    if (m_speed > 0) {
        // The clock wraps: the time since the last reading is the unsigned
        // difference, which stays right across the wrap.
        const std::int64_t elapsed = static_cast<std::uint32_t>(now - m_lastTime);
        const std::int64_t overrun = (elapsed - m_lastWait) / 2;
        const std::int64_t planned = static_cast<std::int64_t>(delayUnits) * GifDefaults.DelayUnitMs - overrun;
        const int clamped = static_cast<int>(std::clamp<std::int64_t>(planned, std::numeric_limits<int>::min() / 100,
                                                                       std::numeric_limits<int>::max() / 100));
        wait = MulDiv(clamped, 100, m_speed);
        m_lastWait = wait;
    } else {
        wait = m_threaded ? Endless : GifDefaults.LongestDelay * GifDefaults.DelayUnitMs;
    }
    m_lastTime = now;
    return wait;
}

void TFrameTimer::WaitEndedEarly()
{
    m_lastWait = 0;
    m_lastTime = m_clock.Now();
}

void SleepInSlices(TPainterClock& clock, int waitMs, const std::function<bool()>& stopping,
                   const std::function<void()>& pump)
{
    constexpr int kSlice = 100;
    int remaining = waitMs < 1 ? 1 : waitMs;
    std::uint32_t noted = clock.Now();
    while (remaining > 0 && !stopping()) {
        clock.Sleep(remaining >= kSlice ? kSlice : remaining);
        const std::uint32_t now = clock.Now();
        remaining -= static_cast<int>(static_cast<std::uint32_t>(now - noted));
        noted = now;
        if (!stopping())
            pump();
    }
}

} // namespace orvex
