#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QStringList>
#include <QTimer>

class QTcpServer;
class QTcpSocket;

namespace orvex {

// A small internet-radio server: every HTTP request gets an endless MP3
// stream of the given tracks, one after another, sent at the tracks' own bit
// rate after a short head start, as a streaming server does. It serves the
// demo station of the first start and the tests of the radio.
class StreamServer : public QObject {
    Q_OBJECT
public:
    explicit StreamServer(QObject* parent = nullptr);
    ~StreamServer() override;

    // Reads the tracks, leaving out their tags. Returns false when none can be read.
    bool SetTracks(const QStringList& files);
    // Port 0 picks a free one. Returns false when the address is taken.
    bool Start(const QHostAddress& address, quint16 port);
    // Drops every listener and stops listening.
    void Stop();
    quint16 Port() const;
    int Listeners() const { return static_cast<int>(m_clients.size()); }
    // Bytes of audio a second, read from the first frame of the first track.
    int BytesPerSecond() const { return m_bytesPerSecond; }
    // Whether pages of other origins may read the stream (a header of the
    // answer); when not, a browser plays it only through a media element.
    bool ShareWithPages = true;

signals:
    // A listener's request has come in: its first line ("GET /path HTTP/1.1").
    void Requested(const QByteArray& requestLine);

private:
    struct Client {
        QTcpSocket* socket;
        QByteArray request;
        bool streaming = false;
        qint64 offset = 0;
    };
    void Accept();
    void ReadRequest(Client& client);
    void Pump();
    void Send(Client& client, qint64 bytes);

    QTcpServer* m_server;
    QTimer m_pump;
    QByteArray m_audio;
    int m_bytesPerSecond = 16000;
    std::vector<Client> m_clients;
};

// The bit rate, in bits a second, of the first MPEG audio frame in data; 0 when none is found.
int FirstFrameBitRate(const QByteArray& data);

} // namespace orvex
