#include "GIFDefaults.h"
#include "GIFPainterTiming.h"

#include <gtest/gtest.h>
#include <vector>

using namespace orvex;

namespace {

// A clock that only moves when someone waits or sleeps on it, by exactly the
// time asked, plus whatever a test adds to stand for work done meanwhile.
class StepClock : public TPainterClock {
public:
    std::uint32_t now = 1000;
    std::vector<int> sleeps;
    int extraPerSleep = 0;

    std::uint32_t Now() override { return now; }
    bool WaitForWake(TEvent*, int ms) override
    {
        now += static_cast<std::uint32_t>(ms);
        return true;
    }
    void Sleep(int ms) override
    {
        sleeps.push_back(ms);
        now += static_cast<std::uint32_t>(ms + extraPerSleep);
    }
};

} // namespace

TEST(PainterTiming, FrameDelaysFallBackAndStayWithinTheirBounds)
{
    EXPECT_EQ(FrameDelayUnits(/*hasGraphicControl=*/false, 0, true), 10);
    EXPECT_EQ(FrameDelayUnits(true, 0, true), 10);
    EXPECT_EQ(FrameDelayUnits(true, 1, true), 3);
    EXPECT_EQ(FrameDelayUnits(true, 2, false), 3);
    EXPECT_EQ(FrameDelayUnits(true, 3, true), 3);
    EXPECT_EQ(FrameDelayUnits(true, 15, true), 15);
    // A long delay is honoured by a painter with a thread of its own only.
    EXPECT_EQ(FrameDelayUnits(true, 5000, true), 5000);
    EXPECT_EQ(FrameDelayUnits(true, 5000, false), 1000);
    EXPECT_EQ(FrameDelayUnits(true, 65535, false), 1000);
}

TEST(PainterTiming, WaitsCountTwelveMillisecondsADelayUnitAtNormalSpeed)
{
    StepClock clock;
    TFrameTimer timer(clock, 100, /*threaded=*/true);
    timer.Start();
    // Delays 0 and 2 of a two-frame animation, when drawing takes no time.
    const int afterFirst = timer.PlanWait(FrameDelayUnits(true, 0, true));
    EXPECT_EQ(afterFirst, 120);
    clock.now += static_cast<std::uint32_t>(afterFirst);
    const int afterSecond = timer.PlanWait(FrameDelayUnits(true, 2, true));
    EXPECT_EQ(afterSecond, 36);
    clock.now += static_cast<std::uint32_t>(afterSecond);
    EXPECT_EQ(timer.PlanWait(FrameDelayUnits(true, 5000, true)), 60000);

    TFrameTimer unthreaded(clock, 100, false);
    unthreaded.Start();
    EXPECT_EQ(unthreaded.PlanWait(FrameDelayUnits(true, 5000, false)), 12000);
}

TEST(PainterTiming, SpeedScalesEveryWait)
{
    StepClock clock;
    TFrameTimer fast(clock, 200, true);
    fast.Start();
    EXPECT_EQ(fast.PlanWait(10), 60);
    TFrameTimer slow(clock, 50, true);
    slow.Start();
    EXPECT_EQ(slow.PlanWait(10), 240);
    // 36 ms at 300 % is 12 ms; 3 units at 700 % rounds 5.14 down to 5.
    TFrameTimer faster(clock, 300, true);
    faster.Start();
    EXPECT_EQ(faster.PlanWait(3), 12);
    TFrameTimer fastest(clock, 700, true);
    fastest.Start();
    EXPECT_EQ(fastest.PlanWait(3), 5);
}

TEST(PainterTiming, SpeedZeroOrBelowWaitsForEverOnAThreadAndTwelveSecondsWithout)
{
    StepClock clock;
    for (int speed : {0, -1, -100}) {
        TFrameTimer threaded(clock, speed, true);
        threaded.Start();
        EXPECT_EQ(threaded.PlanWait(10), TFrameTimer::Endless) << speed;
        TFrameTimer unthreaded(clock, speed, false);
        unthreaded.Start();
        EXPECT_EQ(unthreaded.PlanWait(10), 12000) << speed;
    }
}

TEST(PainterTiming, HalfOfAnOverrunIsTakenOffTheNextWait)
{
    StepClock clock;
    TFrameTimer timer(clock, 100, true);
    timer.Start();
    EXPECT_EQ(timer.PlanWait(10), 120);
    // The cycle took 40 ms longer than its wait: 20 come off the next one.
    clock.now += 160;
    EXPECT_EQ(timer.PlanWait(10), 100);
    // Three over gives one off (the half is truncated).
    clock.now += 103;
    EXPECT_EQ(timer.PlanWait(10), 119);
    // A cycle that came in early lengthens the next wait by half the gap.
    clock.now += 119 - 30;
    EXPECT_EQ(timer.PlanWait(10), 135);
    // At speed 200 the corrected delay is halved too.
    TFrameTimer fast(clock, 200, true);
    fast.Start();
    EXPECT_EQ(fast.PlanWait(10), 60);
    clock.now += 60 + 20;
    EXPECT_EQ(fast.PlanWait(10), 55);
}

TEST(PainterTiming, AnOverrunLongerThanTheDelayGivesNoPositiveWait)
{
    StepClock clock;
    TFrameTimer timer(clock, 100, true);
    timer.Start();
    clock.now += 1000; // decoding took a second
    EXPECT_LT(timer.PlanWait(3), 0);
}

TEST(PainterTiming, AWaitThatEndsEarlyCountsAsNoWait)
{
    StepClock clock;
    TFrameTimer timer(clock, 100, true);
    timer.Start();
    EXPECT_EQ(timer.PlanWait(10), 120);
    clock.now += 5;
    timer.WaitEndedEarly();
    EXPECT_EQ(timer.LastWait(), 0);
    // Measured from the early end, without the planned wait: no correction.
    EXPECT_EQ(timer.PlanWait(10), 120);
}

TEST(PainterTiming, TheClockMayWrapBetweenFrames)
{
    StepClock clock;
    clock.now = 0xFFFFFFF0u;
    TFrameTimer timer(clock, 100, true);
    timer.Start();
    EXPECT_EQ(timer.PlanWait(10), 120);
    clock.now += 160; // wraps past zero
    EXPECT_EQ(timer.PlanWait(10), 100);
}

TEST(PainterTiming, SlicedSleepsPumpBetweenSlicesOfAtMostATenthOfASecond)
{
    StepClock clock;
    int pumps = 0;
    SleepInSlices(clock, 250, [] { return false; }, [&] { ++pumps; });
    EXPECT_EQ(clock.sleeps, (std::vector<int>{100, 100, 50}));
    EXPECT_EQ(pumps, 3);

    // Nothing below a millisecond.
    clock.sleeps.clear();
    SleepInSlices(clock, -5, [] { return false; }, [] {});
    EXPECT_EQ(clock.sleeps, (std::vector<int>{1}));

    // A busy machine oversleeps: the time that really passed is counted.
    clock.sleeps.clear();
    clock.extraPerSleep = 60;
    SleepInSlices(clock, 250, [] { return false; }, [] {});
    EXPECT_EQ(clock.sleeps, (std::vector<int>{100, 90}));
}

TEST(PainterTiming, AStopSeenWhilePumpingEndsASlicedSleepWithinOneSlice)
{
    StepClock clock;
    bool stop = false;
    int pumps = 0;
    SleepInSlices(clock, 12000, [&] { return stop; }, [&] {
        ++pumps;
        stop = true; // a message of the pump asked the painter to stop
    });
    EXPECT_EQ(clock.sleeps, (std::vector<int>{100}));
    EXPECT_EQ(pumps, 1);
}
