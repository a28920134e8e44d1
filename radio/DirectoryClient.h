#pragma once

#include "StationList.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QUrlQuery>
#include <functional>
#include <list>

class QNetworkAccessManager;
class QNetworkReply;

namespace orvex {

// One search of the station directory, as a plain value: what the user
// asked for, turned into the query of GET /json/stations/search. A page
// always has its limit, and broken stations are always left out.
struct DirectorySearch {
    QString name;
    QString countryCode;
    QString language;
    QString tag;
    QString order = QStringLiteral("votes"); // votes, clickcount, name, bitrate
    bool reverse = true;
    int offset = 0;
    int limit = 100;

    QUrlQuery Query() const;
    bool operator==(const DirectorySearch&) const = default;
};

// How the directory's servers are found; injectable so that the tests need
// no name server. srv answers the targets of an SRV record; hostNames the
// names behind a host's A/AAAA addresses (by reverse lookup, since the
// servers speak HTTPS by name). Both answer an empty list when they find
// nothing, and may answer later on the window thread.
struct DirectoryLookup {
    using Answer = std::function<void(const QStringList&)>;
    std::function<void(const QString& record, Answer)> srv;
    std::function<void(const QString& host, Answer)> hostNames;
    // The system's name service (QDnsLookup and QHostInfo).
    static DirectoryLookup System();
};

// The public station directory's API over Qt's network access (plain HTTPS
// and JSON). Its servers are found as the directory asks (the SRV record
// of its API, else the addresses of its all-servers name), shuffled, and
// tried in turn: a failure or a 5xx answer moves on to the next. The
// environment's ORVEX_DIRECTORY_URL names one server instead (a mirror of
// one's own, or the tests' fake). Each request identifies the program, and
// fails with one line of text when no answer came within the time given,
// when the answer passes 8 MB, or when it is not JSON of the right shape.
class DirectoryClient : public QObject {
    Q_OBJECT
public:
    using Reply = std::function<void(const QByteArray& body, const QString& error)>;
    using Stations = std::function<void(const StationParse& result)>;
    using Choices = std::function<void(const QList<DirectoryChoice>& choices, const QString& error)>;
    using Address = std::function<void(const QString& address, const QString& error)>;

    explicit DirectoryClient(QObject* parent = nullptr);
    ~DirectoryClient() override;

    void SetLookup(DirectoryLookup lookup) { m_lookup = std::move(lookup); }
    // The time a request may take over all the servers it tries.
    void SetTimeout(int milliseconds) { m_timeoutMs = milliseconds; }
    // The servers found (their base addresses), in the order they are tried.
    const QStringList& Servers() const { return m_servers; }
    // Requests not answered yet.
    int Pending() const { return static_cast<int>(m_pending.size()); }

    // GET path?query, or a form POST when form is not empty. reply runs on
    // the window thread with the body or, on failure, the error line.
    void Request(const QString& path, const QUrlQuery& query, Reply reply, const QByteArray& form = QByteArray());

    void Search(const DirectorySearch& search, Stations done);
    // The countries' and tags' choices, the most stations first.
    void Countries(Choices done);
    void Tags(Choices done);
    // Counts the play of a station at the directory and answers the address
    // it names for it (url_resolved, else url); only playable addresses.
    void Click(const QString& uuid, Address done);
    // The directory's current entries of the stations with these keys.
    void ByUuid(const QStringList& uuids, Stations done);

    // The line the user reads when the directory failed.
    static QString ErrorLine(const QString& why);

private:
    struct Call;
    // A reply that reads the body as a list of stations for done.
    static Reply StationsReply(Stations done);
    void FindServers();
    void Attempt(Call* pending);
    void Finish(Call* pending, const QByteArray& body, const QString& error);
    void Choose(const QString& path, bool countries, Choices done);

    QNetworkAccessManager* m_network;
    DirectoryLookup m_lookup;
    QStringList m_servers;
    bool m_lookingUp = false;
    bool m_lookUpAgain = false; // every server failed the last time
    int m_timeoutMs = 10000;
    int m_next = 0; // the server a new request starts with
    std::list<Call*> m_pending;
};

namespace directory {
inline constexpr qint64 kLargestAnswer = 8 * 1024 * 1024;
inline constexpr const char* kSrvRecord = "_api._tcp.radio-browser.info";
inline constexpr const char* kAllServers = "all.api.radio-browser.info";
// The base addresses of the servers that names found: https by name,
// shuffled. Names that are no host names (a reverse lookup that gave back
// the address) are left out, as HTTPS cannot check them; a base address
// given whole is kept as it is.
QStringList ServerBases(const QStringList& names);
} // namespace directory

} // namespace orvex
