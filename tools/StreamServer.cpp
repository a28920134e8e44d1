#include "StreamServer.h"

#include <QFile>
#include <QTcpServer>
#include <QTcpSocket>
#include <algorithm>

namespace orvex {

namespace {

constexpr int kTickMs = 100;
// A new listener first gets a burst of this much audio, as streaming servers
// send, so that a player starts at once instead of waiting for its buffer.
constexpr int kHeadStartSeconds = 8;
constexpr qsizetype kMaxRequest = 8192;

// Kilobits a second by bitrate index, for MPEG-1 and for MPEG-2/2.5 layer III.
constexpr int kMpeg1Layer3[16] = {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0};
constexpr int kMpeg2Layer3[16] = {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0};

} // namespace

int FirstFrameBitRate(const QByteArray& data)
{
    const auto* bytes = reinterpret_cast<const unsigned char*>(data.constData());
    for (qsizetype i = 0; i + 3 < data.size(); ++i) {
        if (bytes[i] != 0xFF || (bytes[i + 1] & 0xE0) != 0xE0)
            continue;
        const int version = (bytes[i + 1] >> 3) & 3; // 3: MPEG-1, 2: MPEG-2, 0: MPEG-2.5
        const int layer = (bytes[i + 1] >> 1) & 3;   // 1: layer III
        const int index = bytes[i + 2] >> 4;
        if (version == 1 || layer != 1 || index == 0 || index == 15)
            continue;
        return (version == 3 ? kMpeg1Layer3[index] : kMpeg2Layer3[index]) * 1000;
    }
    return 0;
}

StreamServer::StreamServer(QObject* parent) : QObject(parent), m_server(new QTcpServer(this))
{
    connect(m_server, &QTcpServer::newConnection, this, &StreamServer::Accept);
    m_pump.setInterval(kTickMs);
    connect(&m_pump, &QTimer::timeout, this, &StreamServer::Pump);
}

StreamServer::~StreamServer()
{
    Stop();
}

bool StreamServer::SetTracks(const QStringList& files)
{
    m_audio.clear();
    for (const QString& name : files) {
        QFile file(name);
        if (!file.open(QIODevice::ReadOnly))
            continue;
        QByteArray data = file.readAll();
        // A tag trailer is no audio.
        if (data.size() >= 128 && data.right(128).startsWith("TAG"))
            data.chop(128);
        m_audio += data;
    }
    if (const int bitRate = FirstFrameBitRate(m_audio); bitRate > 0)
        m_bytesPerSecond = bitRate / 8;
    return !m_audio.isEmpty();
}

bool StreamServer::Start(const QHostAddress& address, quint16 port)
{
    if (!m_server->listen(address, port))
        return false;
    m_pump.start();
    return true;
}

void StreamServer::Stop()
{
    m_server->close();
    m_pump.stop();
    for (Client& client : m_clients) {
        client.socket->disconnect(this);
        client.socket->abort();
        client.socket->deleteLater();
    }
    m_clients.clear();
}

quint16 StreamServer::Port() const
{
    return m_server->serverPort();
}

void StreamServer::Accept()
{
    while (QTcpSocket* socket = m_server->nextPendingConnection()) {
        m_clients.push_back({socket});
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] {
            for (Client& client : m_clients)
                if (client.socket == socket)
                    ReadRequest(client);
        });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
            std::erase_if(m_clients, [&](const Client& c) { return c.socket == socket; });
            socket->deleteLater();
        });
    }
}

void StreamServer::ReadRequest(Client& client)
{
    if (client.streaming) {
        client.socket->readAll();
        return;
    }
    client.request += client.socket->readAll();
    if (client.request.size() > kMaxRequest) {
        client.socket->write("HTTP/1.0 413 Request Entity Too Large\r\n\r\n");
        client.socket->disconnectFromHost();
        return;
    }
    if (!client.request.contains("\r\n\r\n"))
        return;
    const bool head = client.request.startsWith("HEAD ");
    // Told last, once nothing of the client is touched any more: a listener
    // of the signal may stop the server.
    const QByteArray requestLine = client.request.left(client.request.indexOf("\r\n"));
    // Pages of any origin may read the stream, as streaming servers allow.
    client.socket->write(QByteArray("HTTP/1.0 200 OK\r\n"
                                    "Content-Type: audio/mpeg\r\n"
                                    "Cache-Control: no-cache, no-store\r\n"
                                    "icy-name: Orvex demo stream\r\n") +
                         (ShareWithPages ? "Access-Control-Allow-Origin: *\r\n" : "") + "Connection: close\r\n\r\n");
    if (head || m_audio.isEmpty()) {
        client.socket->disconnectFromHost();
    } else {
        client.streaming = true;
        Send(client, static_cast<qint64>(m_bytesPerSecond) * kHeadStartSeconds);
    }
    emit Requested(requestLine);
}

void StreamServer::Pump()
{
    const qint64 chunk = static_cast<qint64>(m_bytesPerSecond) * kTickMs / 1000;
    for (Client& client : m_clients)
        if (client.streaming && client.socket->bytesToWrite() < chunk * 20)
            Send(client, chunk);
}

void StreamServer::Send(Client& client, qint64 bytes)
{
    // The tracks loop for as long as somebody listens.
    while (bytes > 0) {
        const qint64 n = std::min<qint64>(bytes, m_audio.size() - client.offset);
        client.socket->write(m_audio.constData() + client.offset, n);
        client.offset = (client.offset + n) % m_audio.size();
        bytes -= n;
    }
}

} // namespace orvex
