// What the program remembers between runs: the music folder, the last
// station played (name and address, typed ones too) and the mode the window
// was in. The start plays the remembered station, in the remembered mode,
// where it would play the home station; the first start, a remembered home
// station (or one that is no address to play), ORVEX_START_HOME=1 and the
// --home switch start on the home station in Server mode as the program
// always did. A remembered folder that is still there is listed in any case,
// but not with --home.
#include "Unit1.h"
#include "ProgramSettings.h"

#include "Stations.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QUrl>

namespace orvex {

namespace {

const QString kFolderKey = QStringLiteral("Start/MusicFolder");
const QString kStationNameKey = QStringLiteral("Start/StationName");
const QString kStationAddressKey = QStringLiteral("Start/StationAddress");
const QString kModeKey = QStringLiteral("Start/Mode");

bool StartsAtHome()
{
    return QCoreApplication::arguments().contains(QStringLiteral("--home")) ||
           qEnvironmentVariable("ORVEX_START_HOME") == QLatin1String("1");
}

// A remembered address is played only when it is one the station box could
// have set: http, https or mms with a host.
bool PlayableAddress(const QString& address)
{
    const QUrl url(address, QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    return url.isValid() && !url.host().isEmpty() &&
           (scheme == QLatin1String("http") || scheme == QLatin1String("https") || scheme == QLatin1String("mms"));
}

} // namespace

void TfrmOrvex::RememberPlaces()
{
    // The folder and the mode are kept as they change; the station as it is set.
    connect(this, &TfrmOrvex::MusicFolderChanged, this, [this] {
        if (!m_starting)
            ProgramSettings().setValue(kFolderKey, m_musicFolder);
    });
    connect(rdButtonLOCALAudio, &QRadioButton::toggled, this, [this](bool local) {
        if (!m_starting)
            ProgramSettings().setValue(kModeKey, local ? QStringLiteral("local") : QStringLiteral("server"));
    });
}

void TfrmOrvex::RememberStation(const QString& address)
{
    if (m_starting)
        return;
    QSettings settings = ProgramSettings();
    settings.setValue(kStationNameKey, m_stationShown);
    settings.setValue(kStationAddressKey, address);
}

void TfrmOrvex::StartOnRememberedPlace()
{
    const QSettings settings = ProgramSettings();
    const QString folder = settings.value(kFolderKey).toString();
    const QString name = settings.value(kStationNameKey).toString();
    const QString address = settings.value(kStationAddressKey).toString();
    const bool local = settings.value(kModeKey).toString() == QLatin1String("local");
    const bool home = StartsAtHome();
    m_starting = true;
    struct Started {
        bool& starting;
        ~Started() { starting = false; }
    } started{m_starting};

    // A folder that is gone leaves the first folder listed.
    if (!home && !folder.isEmpty() && QFileInfo(folder).isDir()) {
        QString path = QDir::fromNativeSeparators(folder);
        if (!path.endsWith(QLatin1Char('/')))
            path += QLatin1Char('/');
        ShowMusicFolder(path);
    }
    const bool homeStation = address == QString::fromLatin1(StreamParameterValue(true, QString::fromLatin1(kHomeStationAddress)));
    // The home station (or none to be trusted) starts as always, in Server mode.
    if (home || address.isEmpty() || homeStation || !PlayableAddress(address)) {
        bitBtnSETRemote->click();
        return;
    }
    PlayStation(name, address);
    if (local)
        rdButtonLOCALAudio->setChecked(true);
}

} // namespace orvex
