// The window's radio as the rest of the program sees it: the page's feed,
// the station's name and title, and playing and stopping the page.
#include "Unit1.h"
#include "ProgramSettings.h"

#include "Application.h"
#include "ProgramFiles.h"

#include <QSettings>
#include <QSignalBlocker>
#include <algorithm>

namespace orvex {

void TfrmOrvex::CreateFeed()
{
    Feed = new StreamFeed(this);
    // Without its feed the page plays stations by itself, as it can.
    if (!Feed->Start())
        return;
    connect(Feed, &StreamFeed::StreamOpened, this,
            [this](const StreamInfo& info) { SetStreamText(info.name, m_streamTitle); });
    connect(Feed, &StreamFeed::StreamTitleChanged, this,
            [this](const QString& title) { SetStreamText(m_streamName, title); });
    // The page's volume is remembered by the program: the page's own storage
    // does not outlive the browser's session.
    connect(Feed, &StreamFeed::CommandReceived, this, [](const QString& name, const QString& argument) {
        bool number = false;
        const int volume = argument.toInt(&number);
        if (name == QLatin1String("volume") && number && volume >= 0 && volume <= 100)
            ProgramSettings().setValue(QStringLiteral("Radio/Volume"), volume);
    });
    connect(Feed, &StreamFeed::PageStateChanged, this, [this](const QString& state) {
        // A page that stopped, failed or went keeps no title.
        if (state.isEmpty() || state == QLatin1String("failed") || state == QLatin1String("stopped"))
            SetStreamText(QString(), QString());
        const bool playing = state == QLatin1String("playing");
        if (playing != m_radioPlaying) {
            m_radioPlaying = playing;
            emit RadioStateChanged();
        }
    });
}

void TfrmOrvex::StationSet(const QString& address)
{
    // An address typed beside the box is no station of the box's: the box
    // shows the address, and its name is what plays.
    if (editAddress->text() != m_boxAddress) {
        const QSignalBlocker blocker(cmbBoxRadio);
        m_stationShown = editAddress->text();
        cmbBoxRadio->setCurrentIndex(-1);
        cmbBoxRadio->setEditText(m_stationShown);
    }
    m_stationAddress = address;
    RememberStation(address);
    if (Feed->Port() == 0)
        return;
    Feed->SetStationAddress(address);
    QString script =
        Feed->PageScript(QUrl::fromLocalFile(ProgramFiles::PlayerPageFolder() + QString::fromLatin1(kPlayerPage)));
    const QVariant volume = ProgramSettings().value(QStringLiteral("Radio/Volume"));
    if (volume.isValid())
        script += QStringLiteral(" window.orvexVolume = %1;").arg(std::clamp(volume.toInt(), 0, 100));
    WebBrowser1->SetPageScript(script);
    SetStreamText(QString(), QString());
    // The station box's name may be another one now.
    emit StreamInfoChanged();
}

void TfrmOrvex::SetStreamText(const QString& name, const QString& title)
{
    if (name == m_streamName && title == m_streamTitle)
        return;
    m_streamName = name;
    m_streamTitle = title;
    emit StreamInfoChanged();
}

QString TfrmOrvex::StationName() const
{
    return m_streamName.isEmpty() ? m_stationShown : m_streamName;
}

bool TfrmOrvex::RadioPlaying() const
{
    return m_radioPlaying;
}

void TfrmOrvex::PlayRadio()
{
    // A page that listens plays again at once; otherwise it is loaded anew.
    if (Feed->PageListening())
        Feed->PlayPage();
    else
        bitBtnGoSTATIONClick();
}

void TfrmOrvex::StopRadio(const QString& reasonShownOnPage)
{
    Feed->StopPage(reasonShownOnPage);
}

} // namespace orvex
