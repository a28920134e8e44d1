#include "ConnectProbe.h"

#include <QSslSocket>
#include <QTimer>

namespace orvex {

ConnectProbe::ConnectProbe(const QUrl& address, std::function<void(const QString&)> done, QObject* parent)
    : QObject(parent), m_done(std::move(done))
{
    const bool secure = address.scheme() == u"https";
    const QString where = QStringLiteral("%1:%2").arg(address.host()).arg(address.port(secure ? 443 : 80));
    auto* socket = new QSslSocket(this);
    connect(socket, &QAbstractSocket::errorOccurred, this, [this, socket, secure, where](QAbstractSocket::SocketError e) {
        switch (e) {
        case QAbstractSocket::HostNotFoundError:
            Finish(QStringLiteral("the name %1 does not resolve").arg(where.section(u':', 0, 0)));
            break;
        case QAbstractSocket::ConnectionRefusedError:
            Finish(QStringLiteral("%1 refused the connection").arg(where));
            break;
        default:
            // Connected, then failed: the handshake did.
            if (secure && (socket->state() == QAbstractSocket::ConnectedState ||
                           e == QAbstractSocket::SslHandshakeFailedError))
                Finish(QStringLiteral("TLS failure with %1: %2").arg(where, socket->errorString()));
            else
                Finish(QStringLiteral("%1: %2").arg(where, socket->errorString()));
        }
    });
    connect(socket, &QSslSocket::sslErrors, this, [this, socket, where](const QList<QSslError>& errors) {
        Finish(QStringLiteral("TLS failure with %1: %2")
                   .arg(where, errors.isEmpty() ? socket->errorString() : errors.first().errorString()));
    });
    // Everything worked at this level: the server's answer was not HTTP.
    connect(socket, secure ? &QSslSocket::encrypted : &QAbstractSocket::connected, this,
            [this, where] { Finish(QStringLiteral("%1 gave no valid HTTP answer").arg(where)); });
    QTimer::singleShot(kTimeoutMs, this, [this, where] { Finish(QStringLiteral("no answer from %1").arg(where)); });
    if (secure)
        socket->connectToHostEncrypted(address.host(), static_cast<quint16>(address.port(443)));
    else
        socket->connectToHost(address.host(), static_cast<quint16>(address.port(80)));
}

void ConnectProbe::Finish(const QString& reason)
{
    if (m_finished)
        return;
    m_finished = true;
    // The answer may delete this probe.
    QMetaObject::invokeMethod(this, [this, reason] { m_done(reason); }, Qt::QueuedConnection);
}

} // namespace orvex
