#include "StreamFeed.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QUrlQuery>
#include <utility>

namespace orvex {

struct StreamFeed::Stream {
    QTcpSocket* socket = nullptr;
    StreamReader* reader = nullptr;
    QString session;
    bool opened = false;
    StreamInfo info;
    QString title;
    QByteArray early; // read before the page's request took the stream
};

namespace {

const char* const kRefused = "Refused.";
const char* const kNotAsked = "The page did not ask for the stream.";

QByteArray Json(const QJsonObject& object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

// The "info" event of a stream: what its server says of it.
QByteArray InfoJson(const QString& session, const StreamInfo& info)
{
    return Json({{QStringLiteral("session"), session},
                 {QStringLiteral("name"), info.name},
                 {QStringLiteral("genre"), info.genre},
                 {QStringLiteral("url"), info.url},
                 {QStringLiteral("bitrate"), info.bitrate},
                 {QStringLiteral("type"), info.contentType},
                 {QStringLiteral("address"), info.address.toString()}});
}

// The "title" event of a stream.
QByteArray TitleJson(const QString& session, const QString& title)
{
    return Json({{QStringLiteral("session"), session}, {QStringLiteral("title"), title}});
}

// A header value from the station, made safe to send on: printable ASCII only.
QByteArray HeaderValue(const QString& text)
{
    QByteArray value;
    for (const QChar c : text)
        if (c.unicode() >= 0x20 && c.unicode() < 0x7f)
            value += static_cast<char>(c.unicode());
    return value;
}

// Names the page picks (sessions, commands): letters, digits, '-' and '_'.
bool PlainName(const QString& name)
{
    if (name.isEmpty() || name.size() > 64)
        return false;
    for (const QChar c : name)
        if (!(c.isLetterOrNumber() && c.unicode() < 0x80) && c != QLatin1Char('-') && c != QLatin1Char('_'))
            return false;
    return true;
}

void Answer(QTcpSocket* socket, const QByteArray& status, const QByteArray& text, bool ours)
{
    socket->write("HTTP/1.1 " + status + "\r\nContent-Type: text/plain; charset=utf-8\r\nContent-Length: " +
                  QByteArray::number(text.size()) + "\r\nCache-Control: no-store\r\n" +
                  (ours ? "Access-Control-Allow-Origin: *\r\n" : "") + "Connection: close\r\n\r\n" + text);
    socket->disconnectFromHost();
}

QByteArray HeaderOf(const QList<QByteArray>& lines, const QByteArray& name)
{
    for (const QByteArray& line : lines) {
        const int colon = line.indexOf(':');
        if (colon > 0 && line.left(colon).trimmed().toLower() == name)
            return line.mid(colon + 1).trimmed();
    }
    return {};
}

bool HasHeader(const QList<QByteArray>& lines, const QByteArray& name)
{
    for (const QByteArray& line : lines) {
        const int colon = line.indexOf(':');
        if (colon > 0 && line.left(colon).trimmed().toLower() == name)
            return true;
    }
    return false;
}

// The station's connection for line 28's address (mms servers often answered
// http too; the page has always tried that); empty when it names no http or
// https stream.
QUrl UpstreamOf(const QString& address)
{
    QUrl upstream(address);
    if (upstream.scheme().compare(QLatin1String("mms"), Qt::CaseInsensitive) == 0)
        upstream.setScheme(QStringLiteral("http"));
    const QString scheme = upstream.scheme().toLower();
    if (!upstream.isValid() || upstream.host().isEmpty() || (scheme != QLatin1String("http") && scheme != QLatin1String("https")))
        return {};
    return upstream;
}

} // namespace

StreamFeed::StreamFeed(QObject* parent) : QObject(parent)
{
    // 128 random bits, as hexadecimal.
    QByteArray raw(16, Qt::Uninitialized);
    QRandomGenerator::system()->generate(reinterpret_cast<quint32*>(raw.data()),
                                         reinterpret_cast<quint32*>(raw.data() + raw.size()));
    m_token = raw.toHex();
}

StreamFeed::~StreamFeed()
{
    for (auto& stream : m_streams) {
        stream->reader->Close();
        delete stream->reader;
    }
}

bool StreamFeed::Start()
{
    if (m_server)
        return true;
    auto* server = new QTcpServer(this);
    if (!server->listen(QHostAddress::LocalHost, 0)) {
        delete server;
        return false;
    }
    m_server = server;
    connect(m_server, &QTcpServer::newConnection, this, &StreamFeed::Accept);
    return true;
}

quint16 StreamFeed::Port() const
{
    return m_server ? m_server->serverPort() : 0;
}

QString StreamFeed::Base() const
{
    if (!m_server)
        return {};
    return QStringLiteral("http://127.0.0.1:%1/%2/").arg(Port()).arg(QString::fromLatin1(m_token));
}

QString StreamFeed::PageScript(const QUrl& page) const
{
    const auto quoted = [](const QString& text) {
        QJsonObject holder{{QStringLiteral("v"), text}};
        QByteArray json = Json(holder); // {"v":"..."}
        return QString::fromUtf8(json.mid(5, json.size() - 6));
    };
    return QStringLiteral("(function () { if (location.href === %1) Object.defineProperty(window, \"orvexFeed\", "
                          "{ value: %2, writable: false }); })();")
        .arg(quoted(page.toString(QUrl::FullyEncoded)), quoted(Base()));
}

void StreamFeed::SetStationAddress(const QString& address)
{
    m_station = address;
    m_aheadFailure.clear();
    if (m_ahead)
        CloseStream(m_ahead, QStringLiteral("Another station was set."));
    const QUrl upstream = UpstreamOf(address);
    if (!m_server || upstream.isEmpty())
        return;
    m_ahead = StartStream(upstream);
    QTimer::singleShot(feed::kOpenAheadMs, m_ahead->reader, [this, stream = m_ahead] {
        if (stream == m_ahead)
            CloseStream(stream, QString::fromLatin1(kNotAsked));
    });
}

StreamInfo StreamFeed::ActiveInfo() const
{
    return m_active ? m_active->info : StreamInfo{};
}

QString StreamFeed::ActiveTitle() const
{
    return m_active ? m_active->title : QString();
}

void StreamFeed::Accept()
{
    while (QTcpSocket* socket = m_server->nextPendingConnection()) {
        m_requests.insert(socket, QByteArray());
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { ReadRequest(socket); });
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QObject::destroyed, this, [this, socket] { m_requests.remove(socket); });
        // Headers that never end are not waited for.
        QTimer::singleShot(feed::kRequestTimeoutMs, socket, [this, socket] {
            if (m_requests.contains(socket))
                socket->abort();
        });
    }
}

void StreamFeed::ReadRequest(QTcpSocket* socket)
{
    auto pending = m_requests.find(socket);
    if (pending == m_requests.end()) {
        socket->readAll(); // a stream's or listener's socket: nothing more is read
        return;
    }
    QByteArray& request = pending.value();
    request += socket->read(feed::kLongestRequest + 1 - request.size());
    const int headEnd = request.indexOf("\r\n\r\n");
    if (headEnd < 0) {
        if (request.size() > feed::kLongestRequest) {
            m_requests.erase(pending);
            Answer(socket, "431 Request Header Fields Too Large", kRefused, false);
        }
        return;
    }
    const QList<QByteArray> lines = request.left(headEnd).split('\n');
    const QList<QByteArray> head = lines.first().trimmed().split(' ');
    const QList<QByteArray> headers = lines.mid(1);
    bool lengthOk = true;
    const QByteArray lengthText = HeaderOf(headers, "content-length");
    const qint64 length = lengthText.isEmpty() ? 0 : lengthText.toLongLong(&lengthOk);
    if (!lengthOk || length < 0 || headEnd + 4 + length > feed::kLongestRequest) {
        m_requests.erase(pending);
        Answer(socket, "400 Bad Request", kRefused, false);
        return;
    }
    if (request.size() < headEnd + 4 + length)
        return; // the body is still on its way
    const QByteArray body = request.mid(headEnd + 4, length);
    m_requests.erase(pending);

    // Only this run's page: the token, the feed's own host name and port
    // (a page elsewhere that reaches us under another name is refused), and
    // no web origin but a local page's.
    const QByteArray host = HeaderOf(headers, "host");
    const QByteArray origin = HeaderOf(headers, "origin");
    const QByteArray prefix = '/' + m_token + '/';
    if (head.size() != 3 || !head[2].startsWith("HTTP/1.") ||
        host != "127.0.0.1:" + QByteArray::number(Port()) ||
        (HasHeader(headers, "origin") && origin != "null" && origin != "file://") ||
        !head[1].startsWith(prefix)) {
        Answer(socket, "403 Forbidden", kRefused, false);
        return;
    }
    Dispatch(socket, head[0], head[1].mid(prefix.size() - 1), body);
}

void StreamFeed::Dispatch(QTcpSocket* socket, const QByteArray& method, const QByteArray& target, const QByteArray& body)
{
    const QUrl url(QString::fromLatin1(target), QUrl::StrictMode);
    const QString path = url.path(QUrl::FullyDecoded);
    if (method == "GET" && path == QLatin1String("/stream"))
        return OpenStream(socket, url);
    if (method == "GET" && path == QLatin1String("/events"))
        return Listen(socket);
    if (method == "POST" && path == QLatin1String("/state")) {
        static const QStringList kStates = {QStringLiteral("connecting"), QStringLiteral("playing"),
                                            QStringLiteral("reconnecting"), QStringLiteral("failed"),
                                            QStringLiteral("stopped")};
        const QString state = QString::fromUtf8(body).trimmed();
        if (!kStates.contains(state))
            return Answer(socket, "400 Bad Request", "Unknown state.", true);
        SetPageState(state);
        return Answer(socket, "200 OK", "", true);
    }
    if (method == "POST" && path.startsWith(QLatin1String("/command/"))) {
        const QString name = path.mid(9);
        if (!PlainName(name))
            return Answer(socket, "400 Bad Request", "Unknown command.", true);
        emit CommandReceived(name, QString::fromUtf8(body));
        return Answer(socket, "200 OK", "", true);
    }
    Answer(socket, "404 Not Found", kRefused, false);
}

void StreamFeed::OpenStream(QTcpSocket* socket, const QUrl& target)
{
    const QUrlQuery query(target);
    const QString address = query.queryItemValue(QStringLiteral("address"), QUrl::FullyDecoded);
    const QString session = query.queryItemValue(QStringLiteral("session"), QUrl::FullyDecoded);
    if (m_station.isEmpty() || address != m_station)
        return Answer(socket, "403 Forbidden", "Only the station the program set plays through its feed.", true);
    if (!PlainName(session))
        return Answer(socket, "400 Bad Request", "The page named no session.", true);
    const QUrl upstream = UpstreamOf(address);
    if (upstream.isEmpty())
        return Answer(socket, "502 Bad Gateway", "The address names no http or https stream.", true);
    if (!m_aheadFailure.isEmpty()) {
        const QString reason = std::exchange(m_aheadFailure, QString());
        return Answer(socket, "502 Bad Gateway", reason.toUtf8(), true);
    }
    Stream* stream = std::exchange(m_ahead, nullptr);
    Attach(stream ? stream : StartStream(upstream), socket, session);
}

// A connection to the station, read before any page request holds it: what
// comes meanwhile waits in the stream until Attach.
StreamFeed::Stream* StreamFeed::StartStream(const QUrl& upstream)
{
    auto owned = std::make_unique<Stream>();
    Stream* stream = owned.get();
    stream->reader = new StreamReader;
    m_streams.push_back(std::move(owned));

    StreamReader* reader = stream->reader;
    connect(reader, &StreamReader::Opened, this, [this, stream](const StreamInfo& info) {
        stream->opened = true;
        stream->info = info;
        if (stream->socket)
            Announce(stream);
    });
    connect(reader, &StreamReader::Data, this, [this, stream](const QByteArray& audio) {
        if (!stream->socket) {
            stream->early += audio;
            if (stream->early.size() > feed::kLongestAhead)
                CloseStream(stream, QString::fromLatin1(kNotAsked));
            return;
        }
        // A page that stops taking the stream does not make the program
        // hold it: past a few megabytes the connection is let go.
        if (stream->socket->bytesToWrite() > feed::kLongestBacklog)
            return CloseStream(stream, QStringLiteral("The page did not take the stream."));
        stream->socket->write(audio);
        if (m_active == stream)
            emit StreamData(audio);
    });
    connect(reader, &StreamReader::TitleChanged, this, [this, stream](const QString& title) {
        stream->title = title;
        if (!stream->socket)
            return;
        Broadcast("title", TitleJson(stream->session, title));
        if (m_active == stream)
            emit StreamTitleChanged(title);
    });
    connect(reader, &StreamReader::Failed, this, [this, stream](const QString& reason) {
        // Never opened: the page hears why, and falls back to playing the
        // address by itself.
        if (!stream->socket)
            m_aheadFailure = reason;
        else if (!stream->opened)
            Answer(stream->socket, "502 Bad Gateway", reason.toUtf8(), true);
        CloseStream(stream, reason);
    });
    connect(reader, &StreamReader::Ended, this, [this, stream](const QString& reason, bool retry) {
        // A broadcast that is over stops the page, with no tries again.
        if (!retry && m_active == stream)
            Broadcast("stop", Json({{QStringLiteral("reason"),
                                     QStringLiteral("The station's broadcast ended (%1).").arg(reason)}}));
        CloseStream(stream, reason);
    });
    reader->Open(upstream);
    return stream;
}

// The page's request takes the stream, and what it has read so far.
void StreamFeed::Attach(Stream* stream, QTcpSocket* socket, const QString& session)
{
    stream->socket = socket;
    stream->session = session;
    connect(socket, &QTcpSocket::disconnected, this,
            [this, stream] { CloseStream(stream, QStringLiteral("The page let the stream go.")); });
    if (stream->opened)
        Announce(stream);
}

// The stream's answer to the page, and the stream becomes the active one:
// its info, and the title and audio it read before the page asked.
void StreamFeed::Announce(Stream* stream)
{
    const QByteArray type = HeaderValue(stream->info.contentType);
    stream->socket->write("HTTP/1.1 200 OK\r\nContent-Type: " +
                          (type.isEmpty() ? QByteArray("application/octet-stream") : type) +
                          "\r\nCache-Control: no-store\r\nAccess-Control-Allow-Origin: *\r\nConnection: close\r\n\r\n");
    m_active = stream;
    emit StreamOpened(stream->info);
    Broadcast("info", InfoJson(stream->session, stream->info));
    if (!stream->title.isEmpty()) {
        Broadcast("title", TitleJson(stream->session, stream->title));
        emit StreamTitleChanged(stream->title);
    }
    const QByteArray early = std::exchange(stream->early, QByteArray());
    if (!early.isEmpty()) {
        stream->socket->write(early);
        emit StreamData(early);
    }
}

void StreamFeed::CloseStream(Stream* stream, const QString& reason)
{
    const auto found = std::find_if(m_streams.begin(), m_streams.end(),
                                    [stream](const std::unique_ptr<Stream>& s) { return s.get() == stream; });
    if (found == m_streams.end())
        return;
    std::unique_ptr<Stream> owned = std::move(*found);
    m_streams.erase(found);
    if (m_ahead == stream)
        m_ahead = nullptr;
    stream->reader->Close();
    stream->reader->disconnect(this);
    // The reader may be inside one of its own signals.
    stream->reader->deleteLater();
    if (stream->socket) {
        stream->socket->disconnect(this);
        if (stream->socket->state() == QAbstractSocket::ConnectedState)
            stream->socket->disconnectFromHost();
    }
    if (m_active == stream) {
        m_active = nullptr;
        emit StreamClosed(reason);
    }
}

void StreamFeed::Listen(QTcpSocket* socket)
{
    if (static_cast<int>(m_listeners.size()) >= feed::kMostListeners)
        return Answer(socket, "503 Service Unavailable", "Too many listeners.", true);
    m_listeners.push_back(socket);
    connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
        m_listeners.remove(socket);
        if (m_listeners.empty())
            SetPageState(QString());
    });
    socket->write("HTTP/1.1 200 OK\r\nContent-Type: text/event-stream\r\nCache-Control: no-store\r\n"
                  "Access-Control-Allow-Origin: *\r\nConnection: close\r\n\r\nretry: 1000\n\n");
    const auto send = [socket](const QByteArray& event, const QByteArray& json) {
        socket->write("event: " + event + "\ndata: " + json + "\n\n");
    };
    if (m_active) {
        send("info", InfoJson(m_active->session, m_active->info));
        if (!m_active->title.isEmpty())
            send("title", TitleJson(m_active->session, m_active->title));
    }
    if (!m_status.isEmpty())
        send("status", Json({{QStringLiteral("text"), m_status}}));
    for (auto setting = m_settings.cbegin(); setting != m_settings.cend(); ++setting)
        send("setting", Json({{QStringLiteral("name"), setting.key()}, {QStringLiteral("value"), setting.value()}}));
}

void StreamFeed::Broadcast(const QByteArray& event, const QByteArray& json)
{
    for (QTcpSocket* socket : m_listeners)
        if (socket->bytesToWrite() < feed::kLongestBacklog)
            socket->write("event: " + event + "\ndata: " + json + "\n\n");
}

void StreamFeed::SetPageState(const QString& state)
{
    if (state == m_pageState)
        return;
    m_pageState = state;
    emit PageStateChanged(state);
}

void StreamFeed::StopPage(const QString& reason)
{
    m_aheadFailure.clear();
    while (!m_streams.empty())
        CloseStream(m_streams.front().get(), reason);
    Broadcast("stop", Json({{QStringLiteral("reason"), reason}}));
}

void StreamFeed::PlayPage()
{
    Broadcast("play", "{}");
}

void StreamFeed::SendStatus(const QString& text)
{
    m_status = text;
    Broadcast("status", Json({{QStringLiteral("text"), text}}));
}

void StreamFeed::SendSetting(const QString& name, const QString& value)
{
    if (m_settings.value(name) == value && m_settings.contains(name))
        return;
    m_settings.insert(name, value);
    Broadcast("setting", Json({{QStringLiteral("name"), name}, {QStringLiteral("value"), value}}));
}

} // namespace orvex
