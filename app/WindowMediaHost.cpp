#include "WindowMediaHost.h"

#include "Application.h"
#include "Id3Tag.h"
#include "OpenArguments.h"
#include "Stations.h"
#include "Unit1.h"

#include <QApplication>
#include <QFileInfo>
#include <algorithm>
#include <limits>
#include <QPointer>

namespace orvex {

namespace {

constexpr qint64 kUsPerMs = 1000;
// What the player page shows when the desktop stops the radio.
constexpr const char* kStoppedFromDesktop = "Stopped from the desktop's media controls";

} // namespace

WindowMediaHost::WindowMediaHost(TfrmOrvex& window) : m_window(window)
{
    // The bar reports its clicks and the device's notifications (the end of
    // a play among them); the bar sets its buttons after the click's report,
    // so the state is read once that is done.
    TMediaPlayer* bar = m_window.mp3Player;
    // The bar may outlive this listener.
    const QPointer<WindowMediaHost> self(this);
    bar->OnPostClick = [self, earlier = std::move(bar->OnPostClick)](TMediaPlayer& sender, TMPBtnType button) {
        if (earlier)
            earlier(sender, button);
        if (self)
            self->ChangedLater();
    };
    bar->OnNotify = [self, earlier = std::move(bar->OnNotify)](TMediaPlayer& sender) {
        if (earlier)
            earlier(sender);
        if (self)
            self->ChangedLater();
    };
    // The track bar's range follows the open track; the list's selection
    // decides the neighbours.
    connect(m_window.trackBar, &QSlider::rangeChanged, this, &WindowMediaHost::ChangedLater);
    connect(m_window.mp3List, &QListWidget::currentRowChanged, this, &WindowMediaHost::ChangedLater);
    connect(m_window.mp3List->model(), &QAbstractItemModel::modelReset, this, &WindowMediaHost::ChangedLater);
    connect(m_window.rdButtonLOCALAudio, &QRadioButton::toggled, this, &WindowMediaHost::ChangedLater);
    connect(&m_window, &TfrmOrvex::RadioStateChanged, this, &WindowMediaHost::ChangedLater);
    connect(&m_window, &TfrmOrvex::StreamInfoChanged, this, &WindowMediaHost::ChangedLater);
    for (QAction* choice : {m_window.actShuffle, m_window.actRepeatList, m_window.actRepeatTrack})
        connect(choice, &QAction::toggled, this, &WindowMediaHost::ChangedLater);
}

void WindowMediaHost::ChangedLater()
{
    QMetaObject::invokeMethod(this, &MediaHost::Changed, Qt::QueuedConnection);
}

template <class F>
void WindowMediaHost::RunHandler(F&& handler)
{
    // The bus gets its answer first; a message box the handler shows then
    // waits for the user without holding the caller.
    QMetaObject::invokeMethod(
        this,
        [this, handler = std::forward<F>(handler)] {
            Guarded(handler);
            emit Changed();
        },
        Qt::QueuedConnection);
}

bool WindowMediaHost::LocalMode() const
{
    // What plays decides (one sound at a time): a local track playing or
    // paused, else the radio playing; when nothing plays, the mode shown.
    const Status local = LocalStatus();
    if (local == Status::Playing)
        return true;
    if (m_window.RadioPlaying())
        return false;
    return local == Status::Paused || m_window.rdButtonLOCALAudio->isChecked();
}

// ---- Local mode: the player bar

bool WindowMediaHost::BarAllows(TMPBtnType kind) const
{
    // A button that shows its disabled glyph ignores presses.
    const TMediaPlayer* bar = m_window.mp3Player;
    return (bar->VisibleButtons() & Bit(kind)) != 0 && bar->GlyphState(kind) != 1;
}

void WindowMediaHost::PressBarButton(TMPBtnType kind)
{
    RunHandler([this, kind] {
        // The bar may have changed since the call was taken.
        if (BarAllows(kind))
            m_window.mp3Player->PressButton(kind);
    });
}

MediaHost::Status WindowMediaHost::LocalStatus() const
{
    TMediaPlayer* bar = m_window.mp3Player;
    if (!bar->Opened())
        return Status::Stopped;
    try {
        switch (bar->Mode()) {
        case mdPlaying: return Status::Playing;
        case mdPaused: return Status::Paused;
        default: return Status::Stopped;
        }
    } catch (const std::exception&) {
        return Status::Stopped;
    }
}

MediaHost::State WindowMediaHost::LocalState()
{
    State state;
    state.status = LocalStatus();
    // Whether the open track can play and pause at all; whether the bar takes
    // the click now is asked when the command comes.
    TMediaPlayer* bar = m_window.mp3Player;
    state.canPlay = state.canPause = bar->Opened() && bar->CanPlay();
    state.canGoNext = NeighbourRow(1) >= 0;
    state.canGoPrevious = NeighbourRow(-1) >= 0;
    // The track bar's maximum is the open track's length, or 0 for none.
    const int lengthMs = m_window.trackBar->maximum();
    if (!bar->Opened() || lengthMs <= 0)
        return state;
    state.canSeek = true;
    Track& track = state.track;
    track.key = m_window.TrackPath();
    // The fields of a file without a tag all say so; the file's name then
    // stands in as the title.
    const auto tagField = [](const QLineEdit* field) {
        const QString text = field->text().trimmed();
        return text == kNoTagText ? QString() : text;
    };
    track.title = tagField(m_window.edtTitle);
    if (track.title.isEmpty())
        track.title = QFileInfo(m_window.TrackPath()).fileName();
    const QString artist = tagField(m_window.edtArtist);
    if (!artist.isEmpty())
        track.artists = QStringList{artist};
    track.album = tagField(m_window.edtAlbum);
    track.lengthUs = lengthMs * kUsPerMs;
    return state;
}

int WindowMediaHost::NeighbourRow(int direction) const
{
    // Past either end of the list only when the list repeats.
    const int count = m_window.mp3List->count();
    const int row = m_window.mp3List->currentRow() + direction;
    if (row >= 0 && row < count)
        return row;
    if (count == 0 || !m_window.RepeatList())
        return -1;
    return row < 0 ? count - 1 : 0;
}

void WindowMediaHost::StepTrack(int direction)
{
    RunHandler([this, direction] {
        // A play goes on with the neighbouring track; a pause or a stop stays.
        if (LocalStatus() == Status::Playing) {
            if (direction > 0)
                m_window.PlayNextTrack();
            else
                m_window.PlayPreviousTrack();
        } else {
            m_window.OpenTrackAt(NeighbourRow(direction));
        }
    });
}

// ---- Server mode: the player page

int WindowMediaHost::StationIndex() const
{
    const QComboBox* box = m_window.cmbBoxRadio;
    return box->findText(m_window.StationShown(), Qt::MatchExactly | Qt::MatchCaseSensitive);
}

MediaHost::State WindowMediaHost::ServerState()
{
    State state;
    state.status = m_window.RadioPlaying() ? Status::Playing : Status::Stopped;
    // A station is always set; pausing stops it.
    state.canPlay = state.canPause = true;
    const int index = StationIndex();
    // My stations follow the eleven.
    state.canGoNext = index + 1 < m_window.cmbBoxRadio->count();
    state.canGoPrevious = index > 0;
    Track& track = state.track;
    track.key = QStringLiteral("station:") + m_window.StationShown();
    const QString station = m_window.StationName();
    const QString title = m_window.StreamTitle();
    track.title = title.isEmpty() ? station : title;
    track.album = station;
    return state;
}

void WindowMediaHost::PickStation(int index)
{
    RunHandler([this, index] {
        m_window.cmbBoxRadio->setCurrentIndex(index);
        m_window.cmbBoxRadioChange();
    });
}

// ---- both modes

MediaHost::State WindowMediaHost::CurrentState()
{
    State state = LocalMode() ? LocalState() : ServerState();
    state.shuffle = m_window.Shuffle();
    state.loop = m_window.RepeatTrack() ? Loop::Track : m_window.RepeatList() ? Loop::Playlist : Loop::None;
    return state;
}

void WindowMediaHost::SetShuffle(bool on)
{
    m_window.SetShuffle(on);
}

void WindowMediaHost::SetLoop(Loop loop)
{
    m_window.SetRepeatTrack(loop == Loop::Track);
    if (loop != Loop::Track)
        m_window.SetRepeatList(loop == Loop::Playlist);
}

qint64 WindowMediaHost::PositionUs()
{
    TMediaPlayer* bar = m_window.mp3Player;
    if (!LocalMode() || !bar->Opened())
        return 0;
    try {
        return bar->Position() * kUsPerMs;
    } catch (const std::exception&) {
        return 0;
    }
}

void WindowMediaHost::Play()
{
    if (LocalMode())
        PressBarButton(btPlay);
    else
        RunHandler([this] { m_window.PlayRadio(); });
}

void WindowMediaHost::Pause()
{
    if (LocalMode())
        PressBarButton(btPause);
    else
        Stop();
}

void WindowMediaHost::Stop()
{
    if (LocalMode())
        PressBarButton(btStop);
    else
        RunHandler([this] { m_window.StopRadio(QString::fromUtf8(kStoppedFromDesktop)); });
}

void WindowMediaHost::Next()
{
    if (LocalMode())
        StepTrack(1);
    else
        PickStation(StationIndex() + 1);
}

void WindowMediaHost::Previous()
{
    if (LocalMode())
        StepTrack(-1);
    else
        PickStation(StationIndex() - 1);
}

void WindowMediaHost::SeekTo(qint64 us)
{
    // At once, so that the move is reported from the new position; what it
    // raises shows once the bus has its answer.
    if (!LocalMode())
        return;
    try {
        m_window.SeekTo(static_cast<int>(std::clamp<qint64>(us / kUsPerMs, 0, std::numeric_limits<int>::max())));
    } catch (...) {
        const std::exception_ptr error = std::current_exception();
        QMetaObject::invokeMethod(
            this, [error] { Application().HandleException(error); }, Qt::QueuedConnection);
    }
}

void WindowMediaHost::Raise()
{
    if (m_window.isMinimized())
        m_window.showNormal();
    m_window.show();
    m_window.raise();
    m_window.activateWindow();
}

void WindowMediaHost::Quit()
{
    m_window.close();
}

void WindowMediaHost::OpenUri(const QString& uri)
{
    RunHandler([this, uri] {
        const QString refused = OpenTarget(m_window, uri);
        if (!refused.isEmpty())
            Application().MessageBox(refused);
    });
}

} // namespace orvex
