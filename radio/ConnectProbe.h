#pragma once

#include <QObject>
#include <QString>
#include <QUrl>
#include <functional>

namespace orvex {

// Says why an address gave no HTTP answer at all. The HTTP source reports
// only that its stream failed, so a failed address is tried once more at the
// transport level: the name is resolved, the port connected and, for https,
// the TLS handshake made; the first step that fails gives the reason.
class ConnectProbe : public QObject {
public:
    static constexpr int kTimeoutMs = 5000;

    // done runs once, on this thread, unless the probe is deleted first.
    ConnectProbe(const QUrl& address, std::function<void(const QString&)> done, QObject* parent = nullptr);

private:
    void Finish(const QString& reason);

    std::function<void(const QString&)> m_done;
    bool m_finished = false;
};

} // namespace orvex
