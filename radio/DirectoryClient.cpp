#include "DirectoryClient.h"

#include <QDnsLookup>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QHostInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QRandomGenerator>
#include <QTimer>
#include <QUrl>
#include <algorithm>
#include <memory>

namespace orvex {

QUrlQuery DirectorySearch::Query() const
{
    QUrlQuery query;
    const auto add = [&query](const char* key, const QString& value) {
        if (!value.isEmpty())
            query.addQueryItem(QLatin1String(key), QString::fromUtf8(QUrl::toPercentEncoding(value)));
    };
    add("name", name);
    add("countrycode", countryCode);
    add("language", language);
    add("tag", tag);
    add("order", order);
    query.addQueryItem(QStringLiteral("reverse"), reverse ? QStringLiteral("true") : QStringLiteral("false"));
    query.addQueryItem(QStringLiteral("offset"), QString::number(offset));
    query.addQueryItem(QStringLiteral("limit"), QString::number(limit));
    query.addQueryItem(QStringLiteral("hidebroken"), QStringLiteral("true"));
    return query;
}

// ---- finding the servers

QStringList directory::ServerBases(const QStringList& names)
{
    QStringList bases;
    for (QString name : names) {
        // A base address given whole (a mirror's, the tests') is kept.
        if (name.contains(QLatin1String("://"))) {
            if (!bases.contains(name))
                bases << name;
            continue;
        }
        while (name.endsWith(QLatin1Char('.')))
            name.chop(1);
        if (name.isEmpty() || !QHostAddress(name).isNull())
            continue;
        const QString base = QStringLiteral("https://") + name.toLower();
        if (!bases.contains(base))
            bases << base;
    }
    std::shuffle(bases.begin(), bases.end(), *QRandomGenerator::global());
    return bases;
}

DirectoryLookup DirectoryLookup::System()
{
    DirectoryLookup lookup;
    lookup.srv = [](const QString& record, Answer answer) {
        auto* dns = new QDnsLookup(QDnsLookup::SRV, record);
        QObject::connect(dns, &QDnsLookup::finished, dns, [dns, answer] {
            QStringList targets;
            if (dns->error() == QDnsLookup::NoError)
                for (const QDnsServiceRecord& entry : dns->serviceRecords())
                    targets << entry.target();
            dns->deleteLater();
            answer(targets);
        });
        dns->lookup();
    };
    lookup.hostNames = [](const QString& host, Answer answer) {
        QHostInfo::lookupHost(host, [answer](const QHostInfo& info) {
            const QList<QHostAddress> addresses = info.addresses();
            if (addresses.isEmpty()) {
                answer({});
                return;
            }
            // Each address is named again by its reverse lookup.
            auto names = std::make_shared<QStringList>();
            auto left = std::make_shared<int>(static_cast<int>(addresses.size()));
            for (const QHostAddress& address : addresses)
                QHostInfo::lookupHost(address.toString(), [names, left, answer](const QHostInfo& reverse) {
                    if (reverse.error() == QHostInfo::NoError)
                        *names << reverse.hostName();
                    if (--*left == 0)
                        answer(*names);
                });
        });
    };
    return lookup;
}

// ---- requests

struct DirectoryClient::Call {
    QString path;
    QUrlQuery query;
    QByteArray form;
    Reply reply;
    QElapsedTimer started;
    int tried = 0;
    QString lastError;
    QPointer<QNetworkReply> network;
};

DirectoryClient::DirectoryClient(QObject* parent)
    : QObject(parent), m_network(new QNetworkAccessManager(this)), m_lookup(DirectoryLookup::System())
{
    m_network->setRedirectPolicy(QNetworkRequest::NoLessSafeRedirectPolicy);
}

DirectoryClient::~DirectoryClient()
{
    // Answers that come after the client has gone reach no one.
    for (Call* pending : m_pending) {
        if (pending->network) {
            disconnect(pending->network, nullptr, this, nullptr);
            pending->network->abort();
        }
        delete pending;
    }
}

QString DirectoryClient::ErrorLine(const QString& why)
{
    return QStringLiteral("O diret\u00f3rio de esta\u00e7\u00f5es n\u00e3o respondeu: ") + why;
}

void DirectoryClient::Request(const QString& path, const QUrlQuery& query, Reply reply, const QByteArray& form)
{
    auto* pending = new Call{path, query, form, std::move(reply), {}, 0, {}, {}};
    pending->started.start();
    m_pending.push_back(pending);
    if (!m_servers.isEmpty() && !m_lookUpAgain)
        Attempt(pending);
    else
        FindServers();
}

void DirectoryClient::FindServers()
{
    const QString own = qEnvironmentVariable("ORVEX_DIRECTORY_URL").trimmed();
    if (!own.isEmpty()) {
        m_servers = {own.endsWith(QLatin1Char('/')) ? own.chopped(1) : own};
        for (Call* pending : std::list<Call*>(m_pending))
            if (!pending->network)
                Attempt(pending);
        return;
    }
    if (m_lookingUp)
        return;
    m_lookingUp = true;
    m_lookUpAgain = false;
    QPointer<DirectoryClient> self(this);
    const auto found = [self](const QStringList& names) {
        if (!self)
            return;
        self->m_lookingUp = false;
        self->m_servers = directory::ServerBases(names);
        self->m_next = 0;
        for (Call* pending : std::list<Call*>(self->m_pending)) {
            if (pending->network)
                continue;
            if (self->m_servers.isEmpty())
                self->Finish(pending, {}, QStringLiteral("nenhum servidor foi encontrado (DNS)"));
            else
                self->Attempt(pending);
        }
    };
    const DirectoryLookup lookup = m_lookup;
    lookup.srv(QString::fromLatin1(directory::kSrvRecord), [lookup, found](const QStringList& targets) {
        if (!targets.isEmpty() && !directory::ServerBases(targets).isEmpty())
            found(targets);
        else
            lookup.hostNames(QString::fromLatin1(directory::kAllServers), found);
    });
}

void DirectoryClient::Attempt(Call* pending)
{
    const qint64 left = m_timeoutMs - pending->started.elapsed();
    if (pending->tried >= m_servers.size() || left <= 0) {
        const QString why = left <= 0 && pending->lastError.isEmpty()
                                ? QStringLiteral("sem resposta em %1 s").arg(m_timeoutMs / 1000)
                                : pending->lastError;
        // Every server failed: the next request looks them up again.
        if (pending->tried >= m_servers.size())
            m_lookUpAgain = true;
        Finish(pending, {}, why);
        return;
    }
    const QString base = m_servers[(m_next + pending->tried) % m_servers.size()];
    ++pending->tried;
    QUrl url(base + pending->path);
    url.setQuery(pending->query);
    QNetworkRequest request(url);
    request.setHeader(QNetworkRequest::UserAgentHeader, QStringLiteral("Orvex/" ORVEX_VERSION));
    request.setRawHeader("Accept", "application/json");
    QNetworkReply* reply;
    if (pending->form.isEmpty()) {
        reply = m_network->get(request);
    } else {
        request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/x-www-form-urlencoded"));
        reply = m_network->post(request, pending->form);
    }
    pending->network = reply;
    auto oversize = std::make_shared<bool>(false);
    auto late = std::make_shared<bool>(false);
    const auto tooLarge = [reply, oversize](qint64 size) {
        if (size > directory::kLargestAnswer && !*oversize) {
            *oversize = true;
            reply->abort();
        }
    };
    connect(reply, &QNetworkReply::metaDataChanged, reply, [reply, tooLarge] {
        tooLarge(reply->header(QNetworkRequest::ContentLengthHeader).toLongLong());
    });
    connect(reply, &QNetworkReply::downloadProgress, reply, [tooLarge](qint64 received, qint64) { tooLarge(received); });
    auto* timer = new QTimer(reply);
    timer->setSingleShot(true);
    connect(timer, &QTimer::timeout, reply, [reply, late] {
        *late = true;
        reply->abort();
    });
    timer->start(static_cast<int>(left));
    connect(reply, &QNetworkReply::finished, this, [this, pending, reply, oversize, late, base] {
        reply->deleteLater();
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        const QString host = QUrl(base).host();
        if (*oversize) {
            Finish(pending, {}, QStringLiteral("a resposta passa de 8 MB"));
            return;
        }
        if (*late) {
            pending->lastError = QStringLiteral("%1 n\u00e3o respondeu em %2 s").arg(host).arg(m_timeoutMs / 1000);
            Attempt(pending);
            return;
        }
        if (status >= 500 || (status == 0 && reply->error() != QNetworkReply::NoError)) {
            pending->lastError = status >= 500 ? QStringLiteral("%1 respondeu %2").arg(host).arg(status)
                                               : QStringLiteral("%1: %2").arg(host, reply->errorString());
            Attempt(pending);
            return;
        }
        m_next = (m_next + pending->tried - 1) % std::max<qsizetype>(1, m_servers.size());
        if (status != 200) {
            Finish(pending, {}, QStringLiteral("%1 respondeu %2").arg(host).arg(status));
            return;
        }
        Finish(pending, reply->readAll(), QString());
    });
}

void DirectoryClient::Finish(Call* pending, const QByteArray& body, const QString& error)
{
    m_pending.remove(pending);
    const std::unique_ptr<Call> done(pending);
    pending->reply(body, error.isEmpty() ? QString() : ErrorLine(error));
}

// ---- the endpoints

DirectoryClient::Reply DirectoryClient::StationsReply(Stations done)
{
    return [done](const QByteArray& body, const QString& error) {
        StationParse result;
        if (error.isEmpty())
            result = ParseStations(body);
        if (!error.isEmpty() || !result.error.isEmpty())
            result.error = error.isEmpty() ? ErrorLine(result.error) : error;
        done(result);
    };
}

void DirectoryClient::Search(const DirectorySearch& search, Stations done)
{
    Request(QStringLiteral("/json/stations/search"), search.Query(), StationsReply(done));
}

void DirectoryClient::Choose(const QString& path, bool countries, Choices done)
{
    QUrlQuery query;
    query.addQueryItem(QStringLiteral("order"), QStringLiteral("stationcount"));
    query.addQueryItem(QStringLiteral("reverse"), QStringLiteral("true"));
    query.addQueryItem(QStringLiteral("hidebroken"), QStringLiteral("true"));
    if (!countries)
        query.addQueryItem(QStringLiteral("limit"), QStringLiteral("200"));
    Request(path, query, [done, countries](const QByteArray& body, const QString& error) {
        if (!error.isEmpty()) {
            done({}, error);
            return;
        }
        QString wrong;
        const QList<DirectoryChoice> choices = ParseChoices(body, countries, &wrong);
        done(choices, wrong.isEmpty() ? QString() : ErrorLine(wrong));
    });
}

void DirectoryClient::Countries(Choices done)
{
    Choose(QStringLiteral("/json/countries"), true, std::move(done));
}

void DirectoryClient::Tags(Choices done)
{
    Choose(QStringLiteral("/json/tags"), false, std::move(done));
}

void DirectoryClient::Click(const QString& uuid, Address done)
{
    const QString path = QStringLiteral("/json/url/") + QString::fromUtf8(QUrl::toPercentEncoding(uuid));
    Request(path, {}, [done](const QByteArray& body, const QString& error) {
        if (!error.isEmpty()) {
            done(QString(), error);
            return;
        }
        const QJsonObject answer = QJsonDocument::fromJson(body).object();
        QString address = PlayableAddress(answer.value(QLatin1String("url_resolved")).toString());
        if (address.isEmpty())
            address = PlayableAddress(answer.value(QLatin1String("url")).toString());
        done(address, address.isEmpty() ? ErrorLine(QStringLiteral("a esta\u00e7\u00e3o n\u00e3o tem endere\u00e7o que toque")) : QString());
    });
}

void DirectoryClient::ByUuid(const QStringList& uuids, Stations done)
{
    const QByteArray form = "uuids=" + QUrl::toPercentEncoding(uuids.join(QLatin1Char(',')), ",");
    Request(QStringLiteral("/json/stations/byuuid"), {}, StationsReply(done), form);
}

} // namespace orvex
