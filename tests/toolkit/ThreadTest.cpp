#include "Exceptions.h"
#include "MessagePump.h"
#include "SyncEvent.h"
#include "Thread.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <atomic>
#include <memory>
#include <gtest/gtest.h>
#include <thread>

using namespace orvex;

namespace {

// A thread whose body is a function.
class FunctionThread : public TThread {
public:
    explicit FunctionThread(std::function<void(FunctionThread&)> body, bool suspended = true)
        : TThread(true), m_body(std::move(body))
    {
        if (!suspended)
            Resume();
    }
    ~FunctionThread() override
    {
        if (!Finished() && !Suspended()) {
            Terminate();
            WaitFor();
        }
    }
    using TThread::WaitForTerminate;
    std::function<void()> onTerminatedSet;

protected:
    void Execute() override { m_body(*this); }
    void TerminatedSet() override
    {
        if (onTerminatedSet)
            onTerminatedSet();
    }

private:
    std::function<void(FunctionThread&)> m_body;
};

// Runs the main thread's event loop until done() or the time runs out.
bool PumpUntil(const std::function<bool()>& done, int milliseconds = 5000)
{
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < milliseconds)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return done();
}

} // namespace

TEST(Thread, ACreatedSuspendedThreadWaitsForResume)
{
    std::atomic<bool> ran{false};
    FunctionThread thread([&](FunctionThread&) { ran = true; });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(ran);
    EXPECT_TRUE(thread.Suspended());
    thread.Resume();
    thread.WaitFor();
    EXPECT_TRUE(ran);
    EXPECT_TRUE(thread.Finished());
}

TEST(Thread, ASynchronizedStepRunsOnTheMainThreadBeforeSynchronizeReturns)
{
    const std::thread::id mainId = std::this_thread::get_id();
    std::thread::id stepId;
    bool seenAfterReturn = false;
    FunctionThread thread([&](FunctionThread&) {
        int value = 0;
        TThread::Synchronize([&] {
            stepId = std::this_thread::get_id();
            value = 42;
        });
        seenAfterReturn = value == 42;
    });
    thread.Resume();
    // The main thread is idle in its event loop: the queued wake-up runs the step.
    ASSERT_TRUE(PumpUntil([&] { return thread.Finished(); }));
    EXPECT_EQ(stepId, mainId);
    EXPECT_TRUE(seenAfterReturn);
}

TEST(Thread, WaitForOnTheMainThreadServesStepsInsteadOfDeadlocking)
{
    int steps = 0;
    FunctionThread thread([&](FunctionThread&) {
        for (int i = 0; i < 20; ++i)
            TThread::Synchronize([&] { ++steps; });
    });
    thread.Resume();
    // No event loop runs here: WaitFor itself must run the 20 steps.
    thread.WaitFor();
    EXPECT_EQ(steps, 20);
}

TEST(Thread, CheckSynchronizeRunsQueuedStepsOnRequest)
{
    std::atomic<bool> stepRan{false};
    FunctionThread thread([&](FunctionThread&) { TThread::Synchronize([&] { stepRan = true; }); });
    thread.Resume();
    QElapsedTimer timer;
    timer.start();
    while (!stepRan && timer.elapsed() < 5000)
        CheckSynchronize(50);
    EXPECT_TRUE(stepRan);
    thread.WaitFor();
}

TEST(Thread, CheckSynchronizeFromAnotherThreadDoesNothing)
{
    std::atomic<int> result{-1};
    FunctionThread thread([&](FunctionThread&) { result = CheckSynchronize(10) ? 1 : 0; });
    thread.Resume();
    thread.WaitFor();
    EXPECT_EQ(result, 0);
}

TEST(Thread, TerminateWakesAThreadWaitingForIt)
{
    std::atomic<bool> woke{false};
    std::atomic<bool> hookRan{false};
    FunctionThread thread([&](FunctionThread& self) { woke = self.WaitForTerminate(30000); });
    thread.onTerminatedSet = [&] { hookRan = true; };
    thread.Resume();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    QElapsedTimer timer;
    timer.start();
    thread.Terminate();
    thread.WaitFor();
    EXPECT_TRUE(woke);
    EXPECT_TRUE(hookRan);
    EXPECT_LT(timer.elapsed(), 5000);
}

TEST(Thread, AnExceptionInAStepComesBackToTheThread)
{
    QString caught;
    FunctionThread thread([&](FunctionThread&) {
        try {
            TThread::Synchronize([] { throw EInvalidOperation(QStringLiteral("not now")); });
        } catch (const Exception& e) {
            caught = e.Message();
        }
    });
    thread.Resume();
    thread.WaitFor();
    EXPECT_EQ(caught, QStringLiteral("not now"));
}

TEST(Thread, TheEndNotificationRunsOnTheMainThreadAndFailuresAreKept)
{
    const std::thread::id mainId = std::this_thread::get_id();
    std::thread::id notifiedOn;
    FunctionThread thread([](FunctionThread&) { throw EInvalidOperation(QStringLiteral("broken")); });
    thread.OnTerminate = [&](TThread&) { notifiedOn = std::this_thread::get_id(); };
    thread.Resume();
    thread.WaitFor();
    EXPECT_EQ(notifiedOn, mainId);
    ASSERT_TRUE(thread.FatalException);
    EXPECT_THROW(std::rethrow_exception(thread.FatalException), EInvalidOperation);
}

TEST(Thread, AThreadThatFreesItselfIsGoneAfterItsEnd)
{
    static std::atomic<bool> destroyed;
    destroyed = false;
    struct SelfFreeing : FunctionThread {
        using FunctionThread::FunctionThread;
        ~SelfFreeing() override { destroyed = true; }
    };
    auto* thread = new SelfFreeing([](FunctionThread&) {});
    thread->FreeOnTerminate = true;
    bool notified = false;
    thread->OnTerminate = [&](TThread&) { notified = true; };
    thread->Resume();
    EXPECT_TRUE(PumpUntil([&] { return destroyed.load(); }));
    EXPECT_TRUE(notified);
}

TEST(Thread, DestroyingARunningThreadStopsIt)
{
    std::atomic<bool> stopped{false};
    {
        FunctionThread thread([&](FunctionThread& self) {
            while (!self.WaitForTerminate(10)) {
            }
            stopped = true;
        });
        thread.Resume();
    }
    EXPECT_TRUE(stopped);
}

TEST(Event, AnAutoResetEventReleasesOneWaitAndClearsItself)
{
    TEvent event;
    EXPECT_EQ(event.WaitFor(0), TWaitResult::wrTimeout);
    event.Set();
    EXPECT_EQ(event.WaitFor(0), TWaitResult::wrSignaled);
    EXPECT_EQ(event.WaitFor(0), TWaitResult::wrTimeout);

    TEvent manual(/*manualReset=*/true, /*initialState=*/true);
    EXPECT_EQ(manual.WaitFor(0), TWaitResult::wrSignaled);
    EXPECT_EQ(manual.WaitFor(0), TWaitResult::wrSignaled);
    manual.Reset();
    EXPECT_EQ(manual.WaitFor(0), TWaitResult::wrTimeout);
}

TEST(Event, SettingTheEventEndsAnEndlessWaitOnAnotherThread)
{
    TEvent event;
    std::atomic<int> result{-1};
    std::thread waiter([&] { result = static_cast<int>(event.WaitFor(TEvent::Infinite)); });
    // Set before or during the wait: either way the waiter is released.
    event.Set();
    waiter.join();
    EXPECT_EQ(result, static_cast<int>(TWaitResult::wrSignaled));
}

TEST(MessagePump, MessagesAreDispatchedAndAQuitIsReportedAndPassedOn)
{
    bool dispatched = false;
    QTimer::singleShot(0, [&] { dispatched = true; });
    PostQuitMessage(7);
    // The zero timer may need a second round of the pump to fire.
    TQuitRequest quit;
    QElapsedTimer timer;
    timer.start();
    while ((!dispatched || !quit.seen) && timer.elapsed() < 5000) {
        const TQuitRequest seen = ProcessMessages();
        if (seen.seen)
            quit = seen;
    }
    EXPECT_TRUE(dispatched);
    ASSERT_TRUE(quit.seen);
    EXPECT_EQ(quit.exitCode, 7);
    // The request was posted again: the application's loop still ends with its code.
    QTimer::singleShot(5000, [] { QCoreApplication::exit(-99); });
    EXPECT_EQ(QCoreApplication::exec(), 7);
}

TEST(MessagePump, WithoutAQuitNothingIsReported)
{
    EXPECT_FALSE(ProcessMessages().seen);
}

TEST(Thread, AFailedStartLeavesTheThreadUnstartedAndResumableLater)
{
    std::atomic<bool> ran{false};
    FunctionThread thread([&](FunctionThread&) { ran = true; });
    FailThreadStartsForTesting(1);
    EXPECT_THROW(thread.Resume(), std::system_error);
    FailThreadStartsForTesting(0);
    EXPECT_TRUE(thread.Suspended());
    EXPECT_THROW(thread.WaitFor(), EThread);
    thread.Resume();
    thread.WaitFor();
    EXPECT_TRUE(ran);
}

TEST(Thread, AThreadCreatedRunningStartsOnlyOnceItsObjectIsWhole)
{
    // Its body reads what the derived constructor sets up, and that
    // constructor gives a body that ran too early time to show itself.
    class Probe : public TThread {
    public:
        explicit Probe(TEvent& entered) : TThread(/*createSuspended=*/false), m_entered(entered)
        {
            ranDuringConstruction = m_entered.WaitFor(100) == TWaitResult::wrSignaled;
            m_whole = true;
        }
        bool ranDuringConstruction = false;
        std::atomic<bool> sawWhole{false};

    protected:
        void Execute() override
        {
            sawWhole = m_whole.load();
            m_entered.Set();
        }

    private:
        TEvent& m_entered;
        std::atomic<bool> m_whole{false};
    };
    TEvent entered;
    std::unique_ptr<Probe> probe(TThread::New<Probe>(entered));
    EXPECT_FALSE(probe->ranDuringConstruction);
    EXPECT_FALSE(probe->Suspended());
    probe->WaitFor();
    EXPECT_TRUE(probe->sawWhole);
}
