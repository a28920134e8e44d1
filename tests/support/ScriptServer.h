#pragma once

#include <QMap>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QUrl>
#include <functional>

namespace orvex::testing {

// A web server of the tests' own on a free loopback port: each path answers
// with a scripted reply, written as raw bytes so that any status line,
// header or body can be served.
class ScriptServer : public QObject {
public:
    using Reply = std::function<void(QTcpSocket*)>;

    ScriptServer()
    {
        m_server.listen(QHostAddress::LocalHost, 0);
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* socket = m_server.nextPendingConnection()) {
                m_pending[socket] = "";
                connect(socket, &QTcpSocket::readyRead, this, [this, socket] { Read(socket); });
                connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
                connect(socket, &QObject::destroyed, this, [this, socket] { m_pending.remove(socket); });
            }
        });
    }
    ~ScriptServer() override
    {
        // Connections still open go first, while what they report to is here.
        for (QTcpSocket* socket : m_server.findChildren<QTcpSocket*>()) {
            socket->disconnect(this);
            delete socket;
        }
    }
    void On(const QString& path, Reply reply) { m_replies[path] = std::move(reply); }
    QUrl Url(const QString& path, const QString& scheme = QStringLiteral("http")) const
    {
        return QUrl(QStringLiteral("%1://127.0.0.1:%2%3").arg(scheme).arg(m_server.serverPort()).arg(path));
    }
    int Requests() const { return m_requests; }
    int OpenConnections() const { return m_pending.size(); }
    const QByteArray& LastRequest() const { return m_lastRequest; }

    // Sends all of it and closes.
    static Reply Fixed(const QByteArray& bytes)
    {
        return [bytes](QTcpSocket* s) {
            s->write(bytes);
            s->disconnectFromHost();
        };
    }
    // Sends head, then line every 50 ms for as long as the client stays.
    static Reply Trickle(const QByteArray& head, const QByteArray& line)
    {
        return [head, line](QTcpSocket* s) {
            s->write(head);
            auto* timer = new QTimer(s);
            QObject::connect(timer, &QTimer::timeout, s, [s, line] { s->write(line); });
            timer->start(50);
        };
    }

private:
    void Read(QTcpSocket* socket)
    {
        QByteArray& request = m_pending[socket];
        if (request.contains("\r\n\r\n"))
            return; // answered already
        request += socket->readAll();
        // A TLS handshake gets the reply at once, whatever it is.
        if (request.startsWith('\x16'))
            request = "GET /case HTTP/1.0\r\n\r\n";
        if (!request.contains("\r\n\r\n"))
            return;
        ++m_requests;
        m_lastRequest = request;
        const QString path = QString::fromLatin1(request.split(' ').value(1));
        const auto reply = m_replies.find(path);
        if (reply == m_replies.end())
            Fixed("HTTP/1.0 404 Not Found\r\n\r\n")(socket);
        else
            (*reply)(socket);
    }

    QTcpServer m_server;
    QMap<QString, Reply> m_replies;
    QMap<QTcpSocket*, QByteArray> m_pending;
    QByteArray m_lastRequest;
    int m_requests = 0;
};

} // namespace orvex::testing
