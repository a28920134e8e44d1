#pragma once

#include <atomic>
#include <condition_variable>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <utility>

namespace orvex {

enum class TThreadPriority { tpIdle, tpLowest, tpLower, tpNormal, tpHigher, tpHighest, tpTimeCritical };

// The toolkit's thread object. A thread is created suspended or running;
// Execute runs on the new thread and watches Terminated(); steps that touch
// the window are handed to the main thread with Synchronize, which blocks
// until the main thread has run them.
class TThread {
public:
    // A thread created running starts once the object is whole, never from
    // this constructor: Execute belongs to the derived object, which does not
    // exist yet. New<T> starts it right after T's constructor; an object made
    // otherwise starts at AfterConstruction (or Resume).
    explicit TThread(bool createSuspended);
    template <class T, class... Args>
    static T* New(Args&&... args)
    {
        T* thread = new T(std::forward<Args>(args)...);
        try {
            thread->AfterConstruction();
        } catch (...) {
            delete thread;
            throw;
        }
        return thread;
    }
    void AfterConstruction();
    // Asks the thread to stop and waits for it, unless it frees itself. A
    // subclass whose Execute uses its own members stops the thread in its own
    // destructor (Terminate, then WaitFor), before those members go.
    virtual ~TThread();
    TThread(const TThread&) = delete;
    TThread& operator=(const TThread&) = delete;

    void Resume();
    void Start() { Resume(); }
    // Sets the terminate flag and wakes a thread waiting in WaitForTerminate.
    void Terminate();
    bool Terminated() const { return m_terminated.load(); }
    bool Suspended() const { return m_suspended.load(); }
    bool Finished() const { return m_finished.load(); }
    // Waits for the end of Execute; on the main thread the queued steps keep
    // running meanwhile, so a thread inside Synchronize cannot deadlock it.
    int WaitFor();

    TThreadPriority Priority() const { return m_priority; }
    // Best effort: priorities below normal lower the thread's nice value.
    void SetPriority(TThreadPriority priority);

    // The thread object deletes itself when Execute has ended and the end
    // notification ran.
    bool FreeOnTerminate = false;
    // Runs on the main thread after Execute has ended.
    std::function<void(TThread& sender)> OnTerminate;
    int ReturnValue = 0;
    // An exception that left Execute.
    std::exception_ptr FatalException;

    // Hands a step to the main thread and waits until it ran there; an
    // exception the step raised comes back here. On the main thread it
    // simply runs the step.
    static void Synchronize(const std::function<void()>& step);

protected:
    virtual void Execute() = 0;
    // Called (on the calling thread) when Terminate sets the flag.
    virtual void TerminatedSet() {}
    // Sleeps up to milliseconds; returns true at once when asked to stop.
    bool WaitForTerminate(int milliseconds);

private:
    void Run();
    void ApplyPriority();

    std::thread m_thread;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::atomic<bool> m_terminated{false};
    std::atomic<bool> m_suspended{true};
    std::atomic<bool> m_finished{false};
    std::atomic<bool> m_started{false};
    // Set from any thread (a stop asks for normal priority) while the thread starts.
    std::atomic<TThreadPriority> m_priority{TThreadPriority::tpNormal};
    std::atomic<int> m_nativeId{0};
    bool m_startWhenWhole = false;
};

// Lets the main thread run the steps other threads queued with Synchronize,
// waiting up to timeoutMs for one to arrive. Returns true when any ran.
// Called from any other thread it does nothing and returns false.
bool CheckSynchronize(int timeoutMs = 0);

// For tests: the next count thread starts fail as they do when the system
// has no threads left (Resume raises std::system_error).
void FailThreadStartsForTesting(int count);

// Whether the calling thread is the main (window) thread.
bool IsMainThread();

} // namespace orvex
