#pragma once

#include <QByteArray>
#include <atomic>
#include <thread>

namespace orvex::testing {

// Keeps opening a named pipe for writing from another thread until it is
// destroyed. A reader stuck in its open of the pipe is let go by that, and
// the watch notes that one ever was: code that must never wait on a pipe
// can be tested without hanging when it does.
class PipeWatch {
public:
    explicit PipeWatch(QByteArray path);
    ~PipeWatch();
    PipeWatch(const PipeWatch&) = delete;
    PipeWatch& operator=(const PipeWatch&) = delete;

    bool ReaderSeen() const { return m_readerSeen; }

private:
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_readerSeen{false};
    std::thread m_thread;
};

} // namespace orvex::testing
