#pragma once

#include "StreamReader.h"

#include <QByteArray>
#include <QHash>
#include <QHostAddress>
#include <QObject>
#include <QString>
#include <QUrl>
#include <list>
#include <memory>

class QTcpServer;
class QTcpSocket;

namespace orvex {

// The program's feed for its player page: a small HTTP service on 127.0.0.1
// (a free port) through which the page reads the station's stream, learns
// its titles and talks with the program. Every address lies under a random
// token made for this run ("/TOKEN/..."); the token is handed to the player
// page alone, by a script the program's browser runs in that page
// (PageScript), and is written to no file. A request is refused unless it
// names the token, is addressed to the feed's own host and port (no other
// name), and comes from no web origin or from a local page (Origin absent,
// "file://" or "null"). The feed opens only the station the program has put into its
// page (SetStationAddress): it is no proxy to other addresses.
//
// The station is opened as soon as it is set, while the page still loads:
// the page's first request takes that connection and what it has read so
// far, so sound starts without waiting for the station's answer. A
// connection the page does not take in time is let go; a station that could
// not be opened answers that first request with its reason.
//
// The protocol, under http://127.0.0.1:PORT/TOKEN/:
//   GET  stream?session=S&address=A  A is line 28's address (mms:// is
//        read over http). One upstream connection per request, closed when
//        the page lets the request go. Answers 200 with the stream's own
//        Content-Type and its audio (metadata removed) until the station
//        stops; or 502 with the reason as plain text when the stream cannot
//        be opened; 403 for any other address. S is a name the page picks so
//        that it knows its own stream's events.
//   GET  events                      a text/event-stream; each event's data
//        is a JSON object:
//          info   {session, name, genre, url, bitrate, type, address}
//          title  {session, title}      each new title of the stream
//          status {text}                a status text from the program
//          setting {name, value}        a value of the program's for the
//                                       page's controls
//          stop   {reason}              stop playing, show the reason (the
//                                       program stopped it, or the station's
//                                       broadcast is over)
//          play   {}                    play the station again
//        A new listener first gets the active stream's info and title and
//        the last status text and the last value of each setting.
//   POST state          body: the page's state ("connecting", "playing",
//        "reconnecting", "failed", "stopped")
//   POST command/NAME   body: an argument; a named command to the program
// Text from the station (names, titles) travels as JSON strings: the page
// shows it as text.
class StreamFeed : public QObject {
    Q_OBJECT
public:
    explicit StreamFeed(QObject* parent = nullptr);
    ~StreamFeed() override;

    // Listens on 127.0.0.1 at a free port; false when that fails.
    bool Start();
    quint16 Port() const;
    // "http://127.0.0.1:PORT/TOKEN/", empty before Start.
    QString Base() const;
    // The script that gives the page at page (and no other) the feed's base
    // as window.orvexFeed, before the page's own scripts run.
    QString PageScript(const QUrl& page) const;

    // The one address the feed opens: line 28's value as the page reads it.
    // Opens it at once for the page's first request (see above).
    void SetStationAddress(const QString& address);

    // The active stream: the one the page opened last and still reads.
    bool StreamActive() const { return m_active != nullptr; }
    StreamInfo ActiveInfo() const;
    QString ActiveTitle() const;
    // Upstream connections open now, the one opened ahead for the page included.
    int StreamCount() const { return static_cast<int>(m_streams.size()); }
    // Whether a page listens to the feed's events now.
    bool PageListening() const { return !m_listeners.empty(); }
    // The state the page reported last; empty when no page listens.
    const QString& PageState() const { return m_pageState; }

    // Closes every upstream connection and tells the page to stop and show
    // the reason, with a way to play again.
    void StopPage(const QString& reason);
    // Tells the page to play its station again.
    void PlayPage();
    // A status text shown on the page (empty clears it).
    void SendStatus(const QString& text);
    // A named value of the program's for the page's controls (empty: none);
    // a page that comes later gets the last value of each.
    void SendSetting(const QString& name, const QString& value);

signals:
    // The active stream, on the window thread.
    void StreamOpened(const orvex::StreamInfo& info);
    void StreamData(const QByteArray& audio);
    void StreamTitleChanged(const QString& title);
    // The active stream has closed: the station stopped, or the page let it
    // go; reason says which.
    void StreamClosed(const QString& reason);
    void PageStateChanged(const QString& state);
    void CommandReceived(const QString& name, const QString& argument);

private:
    struct Stream;
    void Accept();
    void ReadRequest(QTcpSocket* socket);
    void Dispatch(QTcpSocket* socket, const QByteArray& method, const QByteArray& target, const QByteArray& body);
    void OpenStream(QTcpSocket* socket, const QUrl& target);
    Stream* StartStream(const QUrl& upstream);
    void Attach(Stream* stream, QTcpSocket* socket, const QString& session);
    void Announce(Stream* stream);
    void CloseStream(Stream* stream, const QString& reason);
    void Listen(QTcpSocket* socket);
    void Broadcast(const QByteArray& event, const QByteArray& json);
    void SetPageState(const QString& state);
    Stream* Find(QTcpSocket* socket);

    QTcpServer* m_server = nullptr;
    QHash<QTcpSocket*, QByteArray> m_requests; // requests still arriving
    QByteArray m_token;
    QString m_station;
    std::list<std::unique_ptr<Stream>> m_streams;
    Stream* m_active = nullptr;
    Stream* m_ahead = nullptr;    // opened for the page's next request
    QString m_aheadFailure;       // why the station could not be opened ahead
    std::list<QTcpSocket*> m_listeners;
    QString m_pageState;
    QString m_status;
    QHash<QString, QString> m_settings;
};

// Reasons and limits the feed works with, for its tests.
namespace feed {
inline constexpr int kLongestRequest = 16 * 1024;      // request line, headers and body
inline constexpr int kRequestTimeoutMs = 10000;        // headers that never end
inline constexpr qint64 kLongestBacklog = 4 * 1024 * 1024; // audio the page has not taken
inline constexpr int kMostListeners = 8;
inline constexpr int kOpenAheadMs = 15000;               // a connection opened ahead waits this long for the page
inline constexpr qint64 kLongestAhead = 1024 * 1024;     // and holds at most this much audio
} // namespace feed

} // namespace orvex
