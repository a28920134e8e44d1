#include "HeaderProbe.h"

#include "Ansi.h"

#include <QSslSocket>
#include <QStringDecoder>
#include <QTimer>

namespace orvex {

HeaderProbe::HeaderProbe(const QUrl& address, std::function<void(const QMap<QByteArray, QByteArray>&)> done,
                         QObject* parent)
    : QObject(parent), m_done(std::move(done))
{
    const bool secure = address.scheme() == u"https";
    auto* socket = new QSslSocket(this);
    const QByteArray path = address.toEncoded(QUrl::RemoveScheme | QUrl::RemoveAuthority | QUrl::RemoveFragment);
    const QByteArray request = "GET " + (path.isEmpty() ? QByteArray("/") : path) + " HTTP/1.0\r\nHost: " +
                               address.host(QUrl::FullyEncoded).toLatin1() + "\r\nIcy-MetaData: 1\r\n\r\n";
    connect(socket, secure ? &QSslSocket::encrypted : &QAbstractSocket::connected, this,
            [socket, request] { socket->write(request); });
    connect(socket, &QIODevice::readyRead, this, [this, socket] {
        m_head += socket->read(kMaxHeaderBytes - m_head.size());
        const qsizetype end = m_head.indexOf("\r\n\r\n");
        if (end >= 0 || m_head.size() >= kMaxHeaderBytes) {
            socket->abort();
            Finish(m_head.left(end));
        }
    });
    connect(socket, &QAbstractSocket::errorOccurred, this, [this] { Finish({}); });
    QTimer::singleShot(kTimeoutMs, this, [this, socket] {
        socket->abort();
        Finish({});
    });
    if (secure)
        socket->connectToHostEncrypted(address.host(), static_cast<quint16>(address.port(443)));
    else
        socket->connectToHost(address.host(), static_cast<quint16>(address.port(80)));
}

void HeaderProbe::Finish(const QByteArray& head)
{
    if (m_finished)
        return;
    m_finished = true;
    QMap<QByteArray, QByteArray> headers;
    const QList<QByteArray> lines = head.split('\n');
    for (qsizetype i = 1; i < lines.size(); ++i) { // after the status line
        const qsizetype colon = lines[i].indexOf(':');
        if (colon <= 0)
            continue;
        const QByteArray name = lines[i].left(colon).trimmed().toLower();
        if (!headers.contains(name)) // a header sent more than once: its first value counts
            headers.insert(name, lines[i].mid(colon + 1).trimmed());
    }
    // The answer may delete this probe.
    QMetaObject::invokeMethod(this, [this, headers] { m_done(headers); }, Qt::QueuedConnection);
}

QString HeaderValueText(const QByteArray& value)
{
    QStringDecoder utf8(QStringDecoder::Utf8);
    const QString text = utf8(value);
    return utf8.hasError() ? AnsiToString(value) : text;
}

} // namespace orvex
