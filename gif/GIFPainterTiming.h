#pragma once

#include <cstdint>
#include <functional>
#include <memory>

namespace orvex {

class TEvent;

// The painter's view of time: a millisecond clock that wraps like the
// system's, the wait on its wake event, and the plain sleep. The system
// clock is the real one; tests and the inspector put in a clock of their own
// so that no test sleeps and a render is the same every time.
class TPainterClock {
public:
    virtual ~TPainterClock() = default;
    virtual std::uint32_t Now() = 0;
    // Waits up to ms milliseconds (a negative ms: for ever) for the event to
    // be set. Returns true when the time ran out; false when the event was
    // set, or at once when there is no event to wait on.
    virtual bool WaitForWake(TEvent* wake, int ms) = 0;
    // Sleeps ms milliseconds; 0 gives up the rest of the time slice.
    virtual void Sleep(int ms) = 0;

    static std::shared_ptr<TPainterClock> System();
};

// The delay units that follow a frame: its graphic control's delay when it
// has one above 0, kept within the shortest delay and, for a painter
// without a thread of its own, the longest; else the fallback delay.
int FrameDelayUnits(bool hasGraphicControl, int delayTime, bool threaded);

// Times the waits between frames. Half of the time by which a cycle overran
// its planned wait is taken off the next one, so that decoding and drawing
// do not slow the animation down.
class TFrameTimer {
public:
    // The wait that a threaded painter at speed 0 makes: until it is woken.
    static constexpr int Endless = -1;

    TFrameTimer(TPainterClock& clock, int speedPercent, bool threaded);

    // Starts timing at the clock's present reading.
    void Start();
    // The wait in milliseconds before the frame that follows delayUnits of
    // the previous one; Endless for a threaded painter at speed 0 or less.
    int PlanWait(int delayUnits);
    // A wait that ended before its time (woken, or nothing to wait on)
    // counts as no wait, from now on.
    void WaitEndedEarly();

    int LastWait() const { return m_lastWait; }
    int Speed() const { return m_speed; }
    bool Threaded() const { return m_threaded; }

private:
    TPainterClock& m_clock;
    const int m_speed;
    const bool m_threaded;
    std::uint32_t m_lastTime = 0;
    int m_lastWait = 0;
};

// Sleeps a wait in slices of at most 100 ms, for a painter that runs on the
// window thread: between slices, and after the last, it calls pump while
// stopping() is false, so that the window stays responsive and a stop asked
// for by one of its messages ends the wait within a slice. A wait below 1 ms
// is taken as 1 ms.
void SleepInSlices(TPainterClock& clock, int waitMs, const std::function<bool()>& stopping,
                   const std::function<void()>& pump);

} // namespace orvex
