// The track list played through: the end of a track opens and plays the
// next one, the track bar moves the play, and the list's menu holds the
// remembered choices.

#include "Unit1.h"
#include "ProgramSettings.h"

#include "Application.h"

#include <QProxyStyle>
#include <QSettings>
#include <algorithm>
#include <exception>
#include <vector>

namespace orvex {

namespace {

const QString kPlayThroughKey = QStringLiteral("LocalMusic/PlayThrough");
const QString kRepeatListKey = QStringLiteral("LocalMusic/RepeatList");

// A press on the track bar's groove puts the thumb under the pointer (and
// holds it there for a drag) instead of paging towards it.
class PointSetSliderStyle : public QProxyStyle {
public:
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override
    {
        if (hint == SH_Slider_AbsoluteSetButtons)
            return Qt::LeftButton;
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};

} // namespace

void TfrmOrvex::CreateTrackRun()
{
    QSettings settings = ProgramSettings();
    m_playThrough = settings.value(kPlayThroughKey, true).toBool();
    m_repeatList = settings.value(kRepeatListKey, false).toBool();

    actPlayThrough = new QAction(QStringLiteral("Tocar a pasta at\u00e9 o fim"), mp3List);
    actPlayThrough->setCheckable(true);
    actPlayThrough->setChecked(m_playThrough);
    connect(actPlayThrough, &QAction::toggled, this, [this](bool on) { SetPlayThrough(on); });
    actRepeatList = new QAction(QStringLiteral("Repetir a lista"), mp3List);
    actRepeatList->setCheckable(true);
    actRepeatList->setChecked(m_repeatList);
    connect(actRepeatList, &QAction::toggled, this, [this](bool on) { SetRepeatList(on); });
    mp3List->addAction(actPlayThrough);
    mp3List->addAction(actRepeatList);
    CreateListOrder();
    mp3List->setContextMenuPolicy(Qt::ActionsContextMenu);

    // The end of a play is taken once the device's notification is over.
    mp3Player->OnNotify = [this](TMediaPlayer& player) {
        if (player.NotifyValue() != nfSuccessful || (!m_playThrough && !m_repeatTrack && !StopAfterTrack) || m_endQueued)
            return;
        m_endQueued = true;
        QMetaObject::invokeMethod(
            this, [this] { Guarded([this] { TrackEnded(); }); }, Qt::QueuedConnection);
    };
    mp3Player->OnPostClick = [this](TMediaPlayer& player, TMPBtnType button) {
        if ((button == btPlay || button == btPause) && player.Mode() == mdPlaying)
            LocalSoundStarted();
    };

    // One sound at a time: the page starting to play stops the local track.
    connect(this, &TfrmOrvex::RadioStateChanged, this, [this] {
        if (RadioPlaying())
            Guarded([this] { StopLocalTrack(); });
    });

    auto* style = new PointSetSliderStyle;
    style->setParent(trackBar);
    trackBar->setStyle(style);
    // Drags move the play when the thumb is let go; clicks, keys and the
    // wheel at once.
    connect(trackBar, &QSlider::actionTriggered, this,
            [this](int action) { Guarded([this, action] { TrackBarMoved(action); }); });
    connect(trackBar, &QSlider::sliderReleased, this,
            [this] { Guarded([this] { SeekTo(trackBar->sliderPosition()); }); });
    // Keys step by seconds of the track, not by its milliseconds.
    connect(trackBar, &QSlider::rangeChanged, this, [this](int, int maximum) {
        trackBar->setSingleStep(std::clamp(maximum / 20, 1, 5000));
        trackBar->setPageStep(std::max(maximum / 10, 1));
    });
}

TfrmOrvex::~TfrmOrvex()
{
    // The bar closes its device as it goes, after the window's own parts:
    // nothing it reports then may reach them.
    mp3Player->OnNotify = nullptr;
    mp3Player->OnPostClick = nullptr;
    disconnect(this, &TfrmOrvex::RadioStateChanged, this, nullptr);
}

void TfrmOrvex::SetPlayThrough(bool on)
{
    m_playThrough = on;
    actPlayThrough->setChecked(on);
    ProgramSettings().setValue(kPlayThroughKey, on);
}

void TfrmOrvex::SetRepeatList(bool on)
{
    m_repeatList = on;
    actRepeatList->setChecked(on);
    ProgramSettings().setValue(kRepeatListKey, on);
}

bool TfrmOrvex::OpenTrackAt(int index)
{
    if (index < 0 || index >= mp3List->count())
        return false;
    bool opened = false;
    Guarded([&] {
        OpenRow(index);
        opened = true;
    });
    return opened;
}

void TfrmOrvex::OpenRow(int row)
{
    mp3List->setCurrentRow(row);
    mp3List->scrollToItem(mp3List->item(row));
    mp3ListClick();
}

void TfrmOrvex::PlayNextTrack()
{
    StepTrack(1);
}

void TfrmOrvex::PlayPreviousTrack()
{
    StepTrack(-1);
}

void TfrmOrvex::StepTrack(int direction)
{
    const int count = mp3List->count();
    if (count == 0)
        return;
    int row = mp3List->currentRow();
    if (row < 0)
        row = direction > 0 ? -1 : count;
    // Each track is tried once a step; a track that cannot be opened is
    // passed over, its error shown the first time a run through this folder
    // meets it.
    if (m_skipsFolder != m_musicFolder) {
        m_skipsFolder = m_musicFolder;
        m_skipsShown.clear();
    }
    std::vector<std::exception_ptr> skipped;
    for (int tried = 0; tried < count; ++tried) {
        row = m_shuffle ? ShuffledRow(row, direction) : row + direction;
        if (row < 0 || row >= count) {
            if (!m_repeatList)
                break;
            row = (row + count) % count;
        }
        const QString path = m_musicFolder + mp3List->item(row)->text();
        if (path == m_trackPath && mp3Player->Opened() && trackBar->maximum() != 0) {
            // The open track again (a list of one, repeated): the device
            // holds its file, so it is played from the top rather than reopened.
            mp3List->setCurrentRow(row);
            mp3Player->Rewind();
            mp3Player->PressButton(btPlay);
            break;
        }
        try {
            OpenRow(row);
        } catch (...) {
            if (!m_skipsShown.contains(path)) {
                m_skipsShown.insert(path);
                skipped.push_back(std::current_exception());
            }
            continue;
        }
        mp3Player->PressButton(btPlay);
        break;
    }
    // The errors show once the next track plays, so that a box waiting for
    // the user holds nothing up.
    if (!skipped.empty())
        QMetaObject::invokeMethod(
            this,
            [skipped] {
                for (const std::exception_ptr& error : skipped)
                    Application().HandleException(error);
            },
            Qt::QueuedConnection);
}

void TfrmOrvex::TrackEnded()
{
    m_endQueued = false;
    // Only a play that ran to the end of the open track moves on; the user
    // may have opened, moved or played something since.
    if ((!m_playThrough && !m_repeatTrack && !StopAfterTrack) || !mp3Player->Opened() || trackBar->maximum() == 0 ||
        mp3Player->Mode() != mdStopped || mp3Player->Position() < mp3Player->Length())
        return;
    // The sleep timer's end of the track stops here, before any repeat.
    if (StopAfterTrack) {
        StopAfterTrack = false;
        emit LocalTrackEnded();
        return;
    }
    if (m_repeatTrack) {
        mp3Player->Rewind();
        mp3Player->PressButton(btPlay);
        return;
    }
    StepTrack(1);
}

void TfrmOrvex::SeekTo(int ms)
{
    if (trackBar->maximum() == 0 || !mp3Player->Opened())
        return;
    const int to = std::clamp(ms, 0, static_cast<int>(mp3Player->Length()));
    if (mp3Player->Mode() == mdPlaying) {
        mp3Player->SetStartPos(to);
        mp3Player->Play();
    } else {
        mp3Player->Seek(to);
    }
    if (!trackBar->isSliderDown())
        trackBar->setValue(to);
    Gauge->SetProgress(to);
}

void TfrmOrvex::TrackBarMoved(int action)
{
    // A drag (or a press that set the thumb) moves the play when let go.
    if (action == QAbstractSlider::SliderNoAction || action == QAbstractSlider::SliderMove)
        return;
    SeekTo(trackBar->sliderPosition());
}

void TfrmOrvex::LocalSoundStarted()
{
    // One sound at a time: the page stops too while it is still connecting,
    // so that it cannot start over the track later.
    StopRadio(QStringLiteral("Parado para tocar uma faixa local"));
}

void TfrmOrvex::StopLocalTrack()
{
    if (!mp3Player->Opened())
        return;
    const TMPModes mode = mp3Player->Mode();
    if (mode == mdPlaying || mode == mdPaused)
        mp3Player->PressButton(btStop);
}

} // namespace orvex
