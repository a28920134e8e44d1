#include "Thread.h"

#include "Exceptions.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>
#include <chrono>
#include <deque>
#include <memory>
#include <system_error>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace orvex {

namespace {

// One step handed to the main thread.
struct SyncStep {
    const std::function<void()>* step;
    std::exception_ptr error;
    bool done = false;
};

// The queue of steps waiting for the main thread. Its condition variable is
// signalled both when a step arrives and when a thread ends, so a main thread
// waiting for a thread also serves its steps.
struct SyncQueue {
    std::mutex mutex;
    std::condition_variable arrived;  // main thread waits here
    std::condition_variable finished; // worker threads wait here
    std::deque<SyncStep*> steps;
    std::atomic<bool> wakePosted{false};
};

SyncQueue& Queue()
{
    // Never destroyed: a thread that frees itself may still be leaving Run
    // while the program exits.
    static SyncQueue* queue = new SyncQueue;
    return *queue;
}

std::thread::id& MainThreadId()
{
    // The first thread to ask is the main one unless Qt is running.
    static std::thread::id id = std::this_thread::get_id();
    return id;
}

// Wakes an idle main thread so that it drains the queue from its event loop.
void PostWake()
{
    auto* app = QCoreApplication::instance();
    if (!app || Queue().wakePosted.exchange(true))
        return;
    QMetaObject::invokeMethod(app, [] {
        Queue().wakePosted = false;
        CheckSynchronize(0);
    }, Qt::QueuedConnection);
}

std::atomic<int>& FailingStarts()
{
    static std::atomic<int> count{0};
    return count;
}

} // namespace

void FailThreadStartsForTesting(int count)
{
    FailingStarts() = count;
}

bool IsMainThread()
{
    if (auto* app = QCoreApplication::instance())
        return QThread::currentThread() == app->thread();
    return std::this_thread::get_id() == MainThreadId();
}

bool CheckSynchronize(int timeoutMs)
{
    if (!IsMainThread())
        return false;
    SyncQueue& queue = Queue();
    std::unique_lock lock(queue.mutex);
    if (queue.steps.empty() && timeoutMs > 0)
        queue.arrived.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return !queue.steps.empty(); });
    bool ran = false;
    while (!queue.steps.empty()) {
        SyncStep* item = queue.steps.front();
        queue.steps.pop_front();
        lock.unlock();
        try {
            (*item->step)();
        } catch (...) {
            item->error = std::current_exception();
        }
        lock.lock();
        item->done = true;
        ran = true;
        queue.finished.notify_all();
    }
    return ran;
}

void TThread::Synchronize(const std::function<void()>& step)
{
    if (IsMainThread()) {
        step();
        return;
    }
    SyncQueue& queue = Queue();
    SyncStep item{&step, nullptr};
    {
        std::unique_lock lock(queue.mutex);
        queue.steps.push_back(&item);
        queue.arrived.notify_all();
        PostWake();
        queue.finished.wait(lock, [&] { return item.done; });
    }
    if (item.error)
        std::rethrow_exception(item.error);
}

TThread::TThread(bool createSuspended) : m_startWhenWhole(!createSuspended)
{
    (void)MainThreadId();
}

void TThread::AfterConstruction()
{
    if (m_startWhenWhole)
        Resume();
}

TThread::~TThread()
{
    if (m_thread.joinable()) {
        if (m_thread.get_id() == std::this_thread::get_id()) {
            m_thread.detach(); // freeing itself at the end of its run
        } else {
            Terminate();
            WaitFor();
            m_thread.join();
        }
    }
}

void TThread::Resume()
{
    if (m_started.exchange(true))
        return;
    m_suspended = false;
    // The new thread's end (which may free this object) waits for the
    // assignment below; a thread that cannot be made leaves the object as
    // it was, never started.
    std::unique_lock lock(m_mutex);
    try {
        if (FailingStarts() > 0 && FailingStarts().fetch_sub(1) > 0)
            throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
        std::thread thread([this] { Run(); });
        m_thread = std::move(thread);
    } catch (...) {
        m_suspended = true;
        m_started = false;
        throw;
    }
}

void TThread::Terminate()
{
    {
        std::lock_guard lock(m_mutex);
        m_terminated = true;
    }
    m_wake.notify_all();
    TerminatedSet();
}

bool TThread::WaitForTerminate(int milliseconds)
{
    std::unique_lock lock(m_mutex);
    return m_wake.wait_for(lock, std::chrono::milliseconds(milliseconds), [&] { return m_terminated.load(); });
}

int TThread::WaitFor()
{
    if (!m_started)
        throw EThread(QStringLiteral("Cannot wait for a thread that was never started"));
    if (m_thread.joinable() && m_thread.get_id() == std::this_thread::get_id())
        throw EThread(QStringLiteral("A thread cannot wait for itself"));
    SyncQueue& queue = Queue();
    if (IsMainThread()) {
        while (!m_finished) {
            CheckSynchronize(0);
            std::unique_lock lock(queue.mutex);
            queue.arrived.wait_for(lock, std::chrono::milliseconds(10),
                                   [&] { return m_finished.load() || !queue.steps.empty(); });
        }
    } else {
        std::unique_lock lock(queue.mutex);
        queue.finished.wait(lock, [&] { return m_finished.load(); });
    }
    return ReturnValue;
}

void TThread::SetPriority(TThreadPriority priority)
{
    m_priority = priority;
    if (m_nativeId != 0)
        ApplyPriority();
}

void TThread::ApplyPriority()
{
    static constexpr int kNice[] = {19, 10, 5, 0, 0, 0, 0};
    ::setpriority(PRIO_PROCESS, static_cast<id_t>(m_nativeId.load()), kNice[static_cast<int>(m_priority.load())]);
}

void TThread::Run()
{
    m_nativeId = static_cast<int>(::syscall(SYS_gettid));
    if (m_priority != TThreadPriority::tpNormal)
        ApplyPriority();
    try {
        Execute();
    } catch (...) {
        FatalException = std::current_exception();
    }
    // The end notification runs on the main thread before the thread counts
    // as finished, so a waiter sees its effects.
    if (OnTerminate) {
        try {
            Synchronize([this] { OnTerminate(*this); });
        } catch (...) {
        }
    }
    const bool freeSelf = FreeOnTerminate;
    {
        // Resume has handed the thread over to m_thread before this ends it.
        std::lock_guard startLock(m_mutex);
    }
    {
        std::lock_guard lock(Queue().mutex);
        m_finished = true;
        Queue().arrived.notify_all();
        Queue().finished.notify_all();
    }
    if (freeSelf)
        delete this;
}

} // namespace orvex
