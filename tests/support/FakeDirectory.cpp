#include "FakeDirectory.h"

#include <QBuffer>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUrl>
#include <algorithm>

namespace orvex::testing {

namespace {
const char* const kCountries[] = {"BR", "PT", "DE", "US", "FR"};
const char* const kTags[] = {"pop", "rock", "jazz", "news", "talk", "samba", "mpb"};
const char* const kWords[] = {"Alfa", "Brisa", "Cidade", "Sol", "Mar", "Serra", "Vale", "Norte"};
} // namespace

FakeDirectory::FakeDirectory(int stations, QObject* parent) : QObject(parent), m_server(new QTcpServer(this))
{
    m_stations.reserve(static_cast<size_t>(stations));
    for (int n = 0; n < stations; ++n) {
        const QString address = QStringLiteral("http://127.0.0.1:1/station/%1").arg(n);
        m_stations.push_back(QJsonObject{
            {QStringLiteral("stationuuid"), Uuid(n)},
            {QStringLiteral("name"), QStringLiteral("Esta\u00e7\u00e3o %1 %2").arg(QLatin1String(kWords[n % 8])).arg(n)},
            {QStringLiteral("url"), address},
            {QStringLiteral("url_resolved"), address},
            {QStringLiteral("homepage"), QStringLiteral("http://example.com/%1").arg(n)},
            {QStringLiteral("favicon"), QString()},
            {QStringLiteral("tags"), QStringLiteral("%1,%2").arg(QLatin1String(kTags[n % 7]), QLatin1String(kTags[(n / 7) % 7]))},
            {QStringLiteral("countrycode"), QLatin1String(kCountries[n % 5])},
            {QStringLiteral("language"), QStringLiteral("portuguese")},
            {QStringLiteral("codec"), QStringLiteral("MP3")},
            {QStringLiteral("bitrate"), 128},
            {QStringLiteral("hls"), 0},
            {QStringLiteral("votes"), (n * 7919) % 10007},
            {QStringLiteral("clickcount"), (n * 104729) % 5003},
            {QStringLiteral("lastcheckok"), 1},
        });
    }
    connect(m_server, &QTcpServer::newConnection, this, &FakeDirectory::Accept);
}

FakeDirectory::~FakeDirectory() = default;

QString FakeDirectory::Uuid(int n)
{
    return QStringLiteral("96a2b9c6-0000-4000-8000-%1").arg(n, 12, 10, QLatin1Char('0'));
}

bool FakeDirectory::Start()
{
    if (!m_server->listen(QHostAddress::LocalHost, 0))
        return false;
    for (size_t n = 0; n < m_stations.size(); ++n)
        m_stations[n].insert(QStringLiteral("favicon"), Url() + QStringLiteral("/favicon/%1.png").arg(n));
    return true;
}

quint16 FakeDirectory::Port() const
{
    return m_server->serverPort();
}

QString FakeDirectory::Url() const
{
    return QStringLiteral("http://127.0.0.1:%1").arg(Port());
}

void FakeDirectory::PointAt(const QString& address, int every)
{
    for (size_t n = 0; n < m_stations.size(); n += static_cast<size_t>(every))
        m_stations[n].insert(QStringLiteral("url_resolved"), address);
}

void FakeDirectory::Accept()
{
    while (QTcpSocket* socket = m_server->nextPendingConnection()) {
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { Read(socket); });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
            m_buffers.remove(socket);
            std::erase_if(m_held, [socket](const HeldSearch& held) { return held.socket == socket; });
            socket->deleteLater();
        });
    }
}

void FakeDirectory::Read(QTcpSocket* socket)
{
    QByteArray& buffer = m_buffers[socket];
    buffer += socket->readAll();
    const qsizetype end = buffer.indexOf("\r\n\r\n");
    if (end < 0)
        return;
    const QList<QByteArray> lines = buffer.left(end).split('\n');
    qsizetype length = 0;
    for (const QByteArray& line : lines) {
        const QByteArray lower = line.trimmed().toLower();
        if (lower.startsWith("content-length:"))
            length = lower.mid(15).trimmed().toLongLong();
        if (lower.startsWith("user-agent:"))
            LastUserAgent = line.mid(11).trimmed();
    }
    if (buffer.size() < end + 4 + length)
        return;
    const QList<QByteArray> request = lines.value(0).trimmed().split(' ');
    const QByteArray body = buffer.mid(end + 4, length);
    buffer.clear();
    Serve(socket, request.value(0), QUrl(QString::fromLatin1(request.value(1))), body);
}

void FakeDirectory::Serve(QTcpSocket* socket, const QByteArray& method, const QUrl& url, const QByteArray& body)
{
    const QString path = url.path();
    Requests << url.toString();
    emit Requested(path);
    for (auto canned = m_canned.cbegin(); canned != m_canned.cend(); ++canned)
        if (path.startsWith(canned.key())) {
            if (!canned->silent)
                Reply(socket, canned->status, canned->body, canned->contentType);
            return;
        }
    const QUrlQuery query(url);
    if (path == QLatin1String("/json/stations/search")) {
        if (HoldSearches)
            m_held.push_back({socket, query});
        else
            Reply(socket, 200, Search(query));
    } else if (path == QLatin1String("/json/countries") || path == QLatin1String("/json/tags")) {
        QJsonArray list;
        const bool countries = path.endsWith(QLatin1String("countries"));
        for (const char* name : countries ? std::vector<const char*>(std::begin(kCountries), std::end(kCountries))
                                          : std::vector<const char*>(std::begin(kTags), std::end(kTags)))
            list.append(QJsonObject{{QStringLiteral("name"), QLatin1String(name)},
                                    {QStringLiteral("iso_3166_1"), QLatin1String(name)},
                                    {QStringLiteral("stationcount"), Count() / 5}});
        Reply(socket, 200, QJsonDocument(list).toJson(QJsonDocument::Compact));
    } else if (path.startsWith(QLatin1String("/json/url/"))) {
        const QString uuid = path.mid(10);
        const auto station = std::find_if(m_stations.cbegin(), m_stations.cend(), [&](const QJsonObject& s) {
            return s.value(QLatin1String("stationuuid")).toString() == uuid;
        });
        if (station == m_stations.cend()) {
            Reply(socket, 404, "{}");
            return;
        }
        ++m_clicks[uuid];
        QJsonObject answer{{QStringLiteral("ok"), true}, {QStringLiteral("stationuuid"), uuid},
                           {QStringLiteral("name"), station->value(QLatin1String("name"))},
                           {QStringLiteral("url"), station->value(QLatin1String("url_resolved"))}};
        Reply(socket, 200, QJsonDocument(answer).toJson(QJsonDocument::Compact));
    } else if (path == QLatin1String("/json/stations/byuuid") && method == "POST") {
        const QStringList uuids =
            QUrlQuery(QString::fromUtf8(body)).queryItemValue(QStringLiteral("uuids"), QUrl::FullyDecoded).split(QLatin1Char(','));
        QJsonArray list;
        for (const QJsonObject& station : m_stations)
            if (uuids.contains(station.value(QLatin1String("stationuuid")).toString()))
                list.append(station);
        Reply(socket, 200, QJsonDocument(list).toJson(QJsonDocument::Compact));
    } else if (path.startsWith(QLatin1String("/favicon/"))) {
        QImage picture(32, 32, QImage::Format_RGB32);
        picture.fill(QColor::fromHsv(path.mid(9).toInt() * 37 % 360, 200, 220));
        QByteArray png;
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        picture.save(&buffer, "PNG");
        Reply(socket, 200, png, "image/png");
    } else {
        Reply(socket, 404, "<html><body>Not found</body></html>", "text/html");
    }
}

QByteArray FakeDirectory::Search(const QUrlQuery& query) const
{
    const auto value = [&](const char* key) { return query.queryItemValue(QLatin1String(key), QUrl::FullyDecoded); };
    const QString name = value("name"), country = value("countrycode"), tag = value("tag");
    const QString order = value("order");
    std::vector<const QJsonObject*> found;
    for (const QJsonObject& station : m_stations) {
        if (!name.isEmpty() && !station.value(QLatin1String("name")).toString().contains(name, Qt::CaseInsensitive))
            continue;
        if (!country.isEmpty() && station.value(QLatin1String("countrycode")).toString() != country)
            continue;
        if (!tag.isEmpty() && !station.value(QLatin1String("tags")).toString().split(QLatin1Char(',')).contains(tag))
            continue;
        found.push_back(&station);
    }
    const QString key = order.isEmpty() ? QStringLiteral("name") : order;
    const bool reverse = value("reverse") == QLatin1String("true");
    std::stable_sort(found.begin(), found.end(), [&](const QJsonObject* a, const QJsonObject* b) {
        const QJsonValue x = a->value(key), y = b->value(key);
        const bool less = x.isString() ? x.toString() < y.toString() : x.toDouble() < y.toDouble();
        const bool more = x.isString() ? y.toString() < x.toString() : y.toDouble() < x.toDouble();
        return reverse ? more : less;
    });
    const qsizetype offset = value("offset").toInt();
    const qsizetype limit = query.hasQueryItem(QStringLiteral("limit")) ? value("limit").toInt() : 100000;
    QJsonArray page;
    for (qsizetype i = offset; i < qsizetype(found.size()) && i < offset + limit; ++i)
        page.append(*found[size_t(i)]);
    return QJsonDocument(page).toJson(QJsonDocument::Compact);
}

void FakeDirectory::Release(int index)
{
    if (index < 0 || index >= Held())
        return;
    const HeldSearch held = m_held[size_t(index)];
    m_held[size_t(index)].socket = nullptr;
    if (held.socket)
        Reply(held.socket, 200, Search(held.query));
}

void FakeDirectory::Reply(QTcpSocket* socket, int status, const QByteArray& body, const QByteArray& type)
{
    QByteArray head = "HTTP/1.1 " + QByteArray::number(status) + (status < 400 ? " OK" : " Error") + "\r\n";
    head += "Content-Type: " + type + "\r\nContent-Length: " + QByteArray::number(body.size()) +
            "\r\nConnection: close\r\n\r\n";
    socket->write(head + body);
    socket->disconnectFromHost();
}

} // namespace orvex::testing
