#pragma once

// Shared by the painter and drawing tests: pictures built in memory, a
// clock that never sleeps, and a window thread that serves painters' steps.

#include "GIFImage.h"
#include "GIFPainter.h"
#include "GIFPainterTiming.h"
#include "GifLoad.h"
#include "GifWriter.h"
#include "Graphics.h"
#include "Streams.h"
#include "SyncEvent.h"
#include "Thread.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace animtest {

using giftest::Bytes;
using giftest::GifWriter;
using giftest::LoadPicture;
using giftest::Rgb;

// Colour indices of the test pictures and what they show.
inline constexpr int kRed = 0, kGreen = 1, kBlue = 2, kYellow = 3;
inline const std::vector<Rgb>& Colors()
{
    static const std::vector<Rgb> colors{{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 0}};
    return colors;
}
inline orvex::TColor Shown(int index)
{
    const Rgb c = Colors()[static_cast<std::size_t>(index)];
    return orvex::RGB(c.R, c.G, c.B);
}

// A frame of one colour.
inline giftest::FrameSpec Solid(int left, int top, int width, int height, int index)
{
    giftest::FrameSpec frame = giftest::MakeFrame(width, height, [index](int, int) { return index; });
    frame.Left = left;
    frame.Top = top;
    return frame;
}

// Time moves only when the painter waits or sleeps, by exactly what it
// asked, so waits can be compared exactly and no test sleeps. A wait
// without end is a real wait on the wake event.
class FakeClock : public orvex::TPainterClock {
public:
    std::uint32_t Now() override { return m_now; }
    bool WaitForWake(orvex::TEvent* wake, int ms) override
    {
        {
            std::lock_guard lock(m_mutex);
            m_waits.push_back(ms);
        }
        if (ms < 0) {
            if (wake)
                wake->WaitFor(orvex::TEvent::Infinite);
            return false;
        }
        m_now += static_cast<std::uint32_t>(ms);
        return true;
    }
    void Sleep(int ms) override
    {
        {
            std::lock_guard lock(m_mutex);
            m_sleeps.push_back(ms);
        }
        m_now += static_cast<std::uint32_t>(ms);
    }
    std::vector<int> Waits()
    {
        std::lock_guard lock(m_mutex);
        return m_waits;
    }
    std::vector<int> Sleeps()
    {
        std::lock_guard lock(m_mutex);
        return m_sleeps;
    }

private:
    std::atomic<std::uint32_t> m_now{1000};
    std::mutex m_mutex;
    std::vector<int> m_waits;
    std::vector<int> m_sleeps;
};

// Serves the painters' steps on this (the window) thread until done() holds
// or a generous time runs out; the result is done().
inline bool ServeUntil(const std::function<bool()>& done, int milliseconds = 20000)
{
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < milliseconds) {
        orvex::CheckSynchronize(10);
        QCoreApplication::processEvents();
    }
    return done();
}

// The number of living painters once those of earlier tests, which free
// themselves on their own threads just after they finish, have gone.
inline int SettledPainterCount()
{
    ServeUntil([] { return orvex::TGIFPainter::LivingPainters() == 0; }, 5000);
    return orvex::TGIFPainter::LivingPainters();
}

// The picture has no painter left.
inline bool AllFinished(const orvex::TGIFImage& picture)
{
    std::lock_guard lock(picture.PaintersLock());
    return picture.ActivePainters.empty();
}

} // namespace animtest
