#include "MyStations.h"

#include "DirectoryClient.h"
#include "PlaylistParser.h"
#include "ProgramFiles.h"
#include "StationList.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPointer>
#include <QSaveFile>
#include <utility>

namespace orvex {

namespace {

QJsonObject ToJson(const KeptStation& station)
{
    QJsonObject object{{QStringLiteral("name"), station.name}, {QStringLiteral("url"), station.address}};
    if (!station.uuid.isEmpty()) {
        object.insert(QStringLiteral("stationuuid"), station.uuid);
        object.insert(QStringLiteral("directoryname"), station.directoryName);
    }
    if (!station.favicon.isEmpty())
        object.insert(QStringLiteral("favicon"), station.favicon);
    if (station.gone)
        object.insert(QStringLiteral("gone"), true);
    return object;
}

bool FromJson(const QJsonValue& value, KeptStation* station)
{
    const QJsonObject object = value.toObject();
    for (const char* key : {"name", "url", "stationuuid", "directoryname", "favicon"}) {
        const QJsonValue field = object.value(QLatin1String(key));
        if (!field.isUndefined() && !field.isString())
            return false;
    }
    station->name = object.value(QLatin1String("name")).toString().trimmed();
    station->address = PlayableAddress(object.value(QLatin1String("url")).toString());
    station->uuid = object.value(QLatin1String("stationuuid")).toString();
    station->directoryName = object.value(QLatin1String("directoryname")).toString();
    station->favicon = object.value(QLatin1String("favicon")).toString();
    station->gone = object.value(QLatin1String("gone")).toBool();
    return value.isObject() && !station->name.isEmpty() && !station->address.isEmpty();
}

// Names and addresses in a list file stay on their own line.
QString OneLine(QString text)
{
    text.replace(QLatin1Char('\r'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
    return text;
}

// Writes the file whole or leaves the old one. Unbuffered, so that a write
// the disk refuses fails here: a failed flush inside commit() was seen to
// put the cut temporary file in place of the old one.
bool WriteWhole(QSaveFile& file, const QByteArray& content)
{
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return false;
    if (file.write(content) != content.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

} // namespace

MyStations::MyStations(const QString& file, QObject* parent)
    : QObject(parent),
      m_file(file.isEmpty() ? ProgramFiles::UserDataFolder() + QStringLiteral("stations.json") : file)
{
}

void MyStations::Load()
{
    m_stations.clear();
    QFile file(m_file);
    if (!file.exists())
        return;
    if (!file.open(QIODevice::ReadOnly)) {
        m_problem = QStringLiteral("Minhas esta\u00e7\u00f5es n\u00e3o puderam ser lidas de \"%1\": %2")
                        .arg(m_file, file.errorString());
        return;
    }
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll(), &error);
    file.close();
    const QJsonValue list = document.object().value(QLatin1String("stations"));
    if (error.error != QJsonParseError::NoError || !list.isArray()) {
        SetAside(error.error != QJsonParseError::NoError ? error.errorString()
                                                         : QStringLiteral("n\u00e3o \u00e9 uma lista de esta\u00e7\u00f5es"),
                 /*keepFile=*/false);
        return;
    }
    int skipped = 0;
    for (const QJsonValue& entry : list.toArray()) {
        KeptStation station;
        if (FromJson(entry, &station))
            m_stations << station;
        else
            ++skipped;
    }
    // Entries that cannot be played are not dropped unseen: the whole file
    // goes aside as it was, and the good ones are written back.
    if (skipped > 0) {
        SetAside(QStringLiteral("%1 esta\u00e7\u00e3o(\u00f5es) ileg\u00edvel(is)").arg(skipped), /*keepFile=*/true);
        Save();
    }
}

void MyStations::SetAside(const QString& why, bool keepFile)
{
    QString aside = m_file + QStringLiteral(".bad");
    for (int n = 2; QFileInfo::exists(aside); ++n)
        aside = m_file + QStringLiteral(".bad.%1").arg(n);
    const bool moved = keepFile ? QFile::copy(m_file, aside) : QFile::rename(m_file, aside);
    m_problem = moved ? QStringLiteral("O arquivo de Minhas esta\u00e7\u00f5es n\u00e3o p\u00f4de ser lido (%1); "
                                       "ele foi guardado como \"%2\".")
                            .arg(why, aside)
                      : QStringLiteral("O arquivo de Minhas esta\u00e7\u00f5es \"%1\" n\u00e3o p\u00f4de ser lido (%2).")
                            .arg(m_file, why);
}

QString MyStations::TakeProblem()
{
    return std::exchange(m_problem, QString());
}

int MyStations::IndexOf(const QString& uuid) const
{
    if (uuid.isEmpty())
        return -1;
    for (int i = 0; i < m_stations.size(); ++i)
        if (m_stations[i].uuid == uuid)
            return i;
    return -1;
}

void MyStations::Save()
{
    QJsonArray list;
    for (const KeptStation& station : m_stations)
        list.append(ToJson(station));
    const QByteArray json =
        QJsonDocument(QJsonObject{{QStringLiteral("stations"), list}}).toJson(QJsonDocument::Indented);
    QDir().mkpath(QFileInfo(m_file).absolutePath());
    QSaveFile file(m_file);
    if (!WriteWhole(file, json))
        emit Failed(QStringLiteral("Minhas esta\u00e7\u00f5es n\u00e3o puderam ser gravadas em \"%1\": %2")
                        .arg(m_file, file.errorString()));
}

bool MyStations::Add(const KeptStation& given)
{
    KeptStation station = given;
    station.address = PlayableAddress(given.address);
    station.name = OneLine(given.name).trimmed();
    if (station.address.isEmpty())
        return false;
    if (station.name.isEmpty())
        station.name = station.address;
    const int index = IndexOf(station.uuid);
    if (index >= 0)
        m_stations[index] = station;
    else
        m_stations << station;
    Save();
    emit Changed();
    return true;
}

bool MyStations::AddFromDirectory(const DirectoryStation& station)
{
    return Add({station.uuid, station.name, station.PlayAddress(), station.name, station.favicon, false});
}

void MyStations::Remove(int index)
{
    if (index < 0 || index >= m_stations.size())
        return;
    m_stations.removeAt(index);
    Save();
    emit Changed();
}

void MyStations::Rename(int index, const QString& name)
{
    const QString clean = OneLine(name).trimmed();
    if (index < 0 || index >= m_stations.size() || clean.isEmpty())
        return;
    m_stations[index].name = clean;
    Save();
    emit Changed();
}

void MyStations::Move(int index, int step)
{
    const int to = index + step;
    if (index < 0 || index >= m_stations.size() || to < 0 || to >= m_stations.size())
        return;
    m_stations.swapItemsAt(index, to);
    Save();
    emit Changed();
}

int MyStations::Import(const QString& playlist, QString* error)
{
    if (!QFileInfo(playlist).isFile() || !QFileInfo(playlist).isReadable()) {
        *error = QStringLiteral("\"%1\" n\u00e3o p\u00f4de ser lido.").arg(playlist);
        return -1;
    }
    int added = 0;
    for (const playlist::NamedEntry& entry : playlist::NamedEntries(playlist)) {
        const QString address = PlayableAddress(entry.address);
        if (address.isEmpty())
            continue;
        m_stations << KeptStation{{}, entry.title.isEmpty() ? address : OneLine(entry.title), address, {}, {}, false};
        ++added;
    }
    if (added > 0) {
        Save();
        emit Changed();
    }
    return added;
}

bool MyStations::Export(const QString& playlist, QString* error) const
{
    QByteArray text = "#EXTM3U\n";
    for (const KeptStation& station : m_stations)
        text += "#EXTINF:-1," + OneLine(station.name).toUtf8() + '\n' + OneLine(station.address).toUtf8() + '\n';
    QSaveFile file(playlist);
    if (WriteWhole(file, text))
        return true;
    *error = QStringLiteral("\"%1\" n\u00e3o p\u00f4de ser gravado: %2").arg(playlist, file.errorString());
    return false;
}

void MyStations::Refresh(DirectoryClient& directory)
{
    QStringList uuids;
    for (const KeptStation& station : m_stations)
        if (!station.uuid.isEmpty())
            uuids << station.uuid;
    if (uuids.isEmpty())
        return;
    QPointer<MyStations> self(this);
    directory.ByUuid(uuids, [self](const StationParse& result) {
        // An unreachable directory changes nothing.
        if (!self || !result.error.isEmpty())
            return;
        QHash<QString, DirectoryStation> known;
        for (const DirectoryStation& station : result.stations)
            known.insert(station.uuid, station);
        bool changed = false;
        for (KeptStation& kept : self->m_stations) {
            if (kept.uuid.isEmpty())
                continue;
            const auto found = known.constFind(kept.uuid);
            const bool gone = found == known.cend();
            KeptStation now = kept;
            now.gone = gone;
            if (!gone) {
                now.address = found->PlayAddress();
                if (kept.name == kept.directoryName)
                    now.name = found->name;
                now.directoryName = found->name;
            }
            if (now.address != kept.address || now.name != kept.name || now.gone != kept.gone ||
                now.directoryName != kept.directoryName) {
                kept = now;
                changed = true;
            }
        }
        if (changed) {
            self->Save();
            emit self->Changed();
        }
    });
}

} // namespace orvex
