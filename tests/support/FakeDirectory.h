#pragma once

#include <QByteArray>
#include <QHash>
#include <QJsonObject>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QUrlQuery>
#include <vector>

class QTcpServer;
class QTcpSocket;

namespace orvex::testing {

// The tests' own station directory: a small HTTP server on 127.0.0.1 that
// answers the directory's endpoints (station search, countries, tags, a
// station's click, stations by key) from a generated fixture, and serves
// each station's favicon as a small PNG. Stations can be pointed at a
// stream of the tests' own; clicks are counted; any path can be given a
// canned answer (a status, a body, or silence) to play a broken directory.
class FakeDirectory : public QObject {
    Q_OBJECT
public:
    explicit FakeDirectory(int stations = 300, QObject* parent = nullptr);
    ~FakeDirectory() override;

    bool Start();
    quint16 Port() const;
    // "http://127.0.0.1:PORT", for ORVEX_DIRECTORY_URL.
    QString Url() const;

    // The fixture's station n: uuid, name "Estação n" ..., countries and tags
    // in turn, favicon served here.
    static QString Uuid(int n);
    QJsonObject& Station(int n) { return m_stations[static_cast<size_t>(n)]; }
    int Count() const { return static_cast<int>(m_stations.size()); }
    // Every station whose number is a multiple of every plays address.
    void PointAt(const QString& address, int every);

    struct Canned {
        int status = 200;
        QByteArray body;
        QByteArray contentType = "application/json";
        bool silent = false; // accepts the request and never answers
    };
    // Requests whose path starts with prefix get this answer.
    void Answer(const QString& prefix, const Canned& canned) { m_canned.insert(prefix, canned); }
    // Search requests are held unanswered until Release answers them in the
    // order given (indices into the held ones).
    bool HoldSearches = false;
    int Held() const { return static_cast<int>(m_held.size()); }
    void Release(int index);

    int Clicks(const QString& uuid) const { return m_clicks.value(uuid); }
    // Every request's path and query, and the last User-Agent.
    QStringList Requests;
    QByteArray LastUserAgent;

signals:
    void Requested(const QString& path);

private:
    void Accept();
    void Read(QTcpSocket* socket);
    void Serve(QTcpSocket* socket, const QByteArray& method, const QUrl& url, const QByteArray& body);
    void Reply(QTcpSocket* socket, int status, const QByteArray& body, const QByteArray& type = "application/json");
    QByteArray Search(const QUrlQuery& query) const;

    QTcpServer* m_server;
    std::vector<QJsonObject> m_stations;
    QHash<QString, Canned> m_canned;
    QHash<QString, int> m_clicks;
    QHash<QTcpSocket*, QByteArray> m_buffers;
    struct HeldSearch {
        QTcpSocket* socket;
        QUrlQuery query;
    };
    std::vector<HeldSearch> m_held;
};

} // namespace orvex::testing
