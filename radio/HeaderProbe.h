#pragma once

#include <QByteArray>
#include <QMap>
#include <QObject>
#include <QUrl>
#include <functional>

namespace orvex {

// Reads the header lines of a station's answer as the bytes the server sent.
// The HTTP source hands header values out as UTF-8 only, with what is not
// UTF-8 replaced; a station name in Windows-1252 is read again here: one GET
// of its own, closed once the empty line after the headers has come.
class HeaderProbe : public QObject {
public:
    static constexpr int kTimeoutMs = 2000;
    static constexpr int kMaxHeaderBytes = 16 * 1024;

    // done runs once, on this thread, unless the probe is deleted first,
    // with the headers by lower-case name (empty when there was no answer).
    HeaderProbe(const QUrl& address, std::function<void(const QMap<QByteArray, QByteArray>&)> done,
                QObject* parent = nullptr);

private:
    void Finish(const QByteArray& head);

    std::function<void(const QMap<QByteArray, QByteArray>&)> m_done;
    QByteArray m_head;
    bool m_finished = false;
};

// A header value that came from the network: UTF-8 when it is valid UTF-8,
// else Windows-1252 (as stream titles are read).
QString HeaderValueText(const QByteArray& value);

} // namespace orvex
