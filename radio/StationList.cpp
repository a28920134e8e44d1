#include "StationList.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QUrl>

namespace orvex {

namespace {

// Reads one field of an entry; a field of another type than expected makes
// the entry unusable (ok turns false), a missing one is the default.
class Fields {
public:
    explicit Fields(const QJsonObject& object) : m_object(object) {}
    QString Text(const char* key)
    {
        const QJsonValue value = m_object.value(QLatin1String(key));
        if (value.isString())
            return value.toString();
        if (!value.isNull() && !value.isUndefined())
            m_ok = false;
        return QString();
    }
    int Number(const char* key)
    {
        const QJsonValue value = m_object.value(QLatin1String(key));
        if (value.isDouble())
            return static_cast<int>(qBound(-2e9, value.toDouble(), 2e9));
        if (!value.isNull() && !value.isUndefined())
            m_ok = false;
        return 0;
    }
    // The directory's 0/1 flags; true and false are taken as well.
    bool Flag(const char* key, bool otherwise)
    {
        const QJsonValue value = m_object.value(QLatin1String(key));
        if (value.isBool())
            return value.toBool();
        if (value.isDouble())
            return value.toDouble() != 0;
        if (!value.isNull() && !value.isUndefined())
            m_ok = false;
        return otherwise;
    }
    bool Ok() const { return m_ok; }

private:
    const QJsonObject& m_object;
    bool m_ok = true;
};

QStringList CommaList(const QString& text)
{
    QStringList items;
    for (const QString& item : text.split(QLatin1Char(','), Qt::SkipEmptyParts))
        if (!item.trimmed().isEmpty())
            items << item.trimmed();
    return items;
}

QJsonArray ReadArray(const QByteArray& json, QString* error)
{
    QJsonParseError parse;
    const QJsonDocument document = QJsonDocument::fromJson(json, &parse);
    if (parse.error != QJsonParseError::NoError) {
        *error = json.trimmed().startsWith('<') ? QStringLiteral("a resposta \u00e9 uma p\u00e1gina, n\u00e3o uma lista")
                                                : QStringLiteral("a resposta n\u00e3o \u00e9 JSON (%1)").arg(parse.errorString());
        return {};
    }
    if (!document.isArray()) {
        *error = QStringLiteral("a resposta n\u00e3o \u00e9 uma lista");
        return {};
    }
    return document.array();
}

} // namespace

QString PlayableAddress(const QString& address)
{
    const QUrl url(address.trimmed(), QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || url.host().isEmpty())
        return QString();
    if (scheme != QLatin1String("http") && scheme != QLatin1String("https") && scheme != QLatin1String("mms"))
        return QString();
    return address.trimmed();
}

QString DirectoryStation::PlayAddress() const
{
    const QString resolved = PlayableAddress(urlResolved);
    return resolved.isEmpty() ? PlayableAddress(url) : resolved;
}

StationParse ParseStations(const QByteArray& json)
{
    StationParse result;
    const QJsonArray entries = ReadArray(json, &result.error);
    for (const QJsonValue& entry : entries) {
        if (!entry.isObject()) {
            ++result.skipped;
            continue;
        }
        const QJsonObject object = entry.toObject();
        Fields fields(object);
        DirectoryStation station;
        station.uuid = fields.Text("stationuuid");
        station.name = fields.Text("name").trimmed();
        station.url = fields.Text("url");
        station.urlResolved = fields.Text("url_resolved");
        station.homepage = fields.Text("homepage");
        station.favicon = fields.Text("favicon");
        station.tags = CommaList(fields.Text("tags"));
        station.countryCode = fields.Text("countrycode");
        station.languages = CommaList(fields.Text("language"));
        station.codec = fields.Text("codec");
        station.bitrate = fields.Number("bitrate");
        station.hls = fields.Flag("hls", false);
        station.votes = fields.Number("votes");
        station.clickCount = fields.Number("clickcount");
        station.lastCheckOk = fields.Flag("lastcheckok", true);
        if (!fields.Ok() || station.uuid.isEmpty() || station.name.isEmpty() || station.PlayAddress().isEmpty()) {
            ++result.skipped;
            continue;
        }
        result.stations << station;
    }
    return result;
}

QList<DirectoryChoice> ParseChoices(const QByteArray& json, bool countries, QString* error)
{
    QList<DirectoryChoice> choices;
    for (const QJsonValue& entry : ReadArray(json, error)) {
        const QJsonObject object = entry.toObject();
        Fields fields(object);
        DirectoryChoice choice;
        choice.name = fields.Text("name").trimmed();
        choice.value = countries ? fields.Text("iso_3166_1") : choice.name;
        choice.stationCount = fields.Number("stationcount");
        if (fields.Ok() && !choice.name.isEmpty() && !choice.value.isEmpty())
            choices << choice;
    }
    return choices;
}

} // namespace orvex
