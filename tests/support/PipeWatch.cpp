#include "PipeWatch.h"

#include <chrono>
#include <fcntl.h>
#include <unistd.h>

namespace orvex::testing {

PipeWatch::PipeWatch(QByteArray path)
    : m_thread([this, path = std::move(path)] {
          while (!m_stop) {
              // Without a reader the open fails at once; with one it succeeds.
              const int fd = ::open(path.constData(), O_WRONLY | O_NONBLOCK);
              if (fd >= 0) {
                  m_readerSeen = true;
                  ::close(fd);
              }
              std::this_thread::sleep_for(std::chrono::milliseconds(5));
          }
      })
{
}

PipeWatch::~PipeWatch()
{
    m_stop = true;
    m_thread.join();
}

} // namespace orvex::testing
