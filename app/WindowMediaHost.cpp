#include "WindowMediaHost.h"

#include "Application.h"
#include "Id3Tag.h"
#include "Stations.h"
#include "Unit1.h"

#include <QApplication>
#include <QFileInfo>
#include <QMouseEvent>
#include <QPointer>

namespace orvex {

namespace {

constexpr qint64 kUsPerMs = 1000;

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
    connect(m_window.mp3List, &TListBox::Click, this, &WindowMediaHost::ChangedLater);
    connect(m_window.mp3List, &TListBox::KeySelect, this, &WindowMediaHost::ChangedLater);
    connect(m_window.rdButtonLOCALAudio, &QRadioButton::toggled, this, &WindowMediaHost::ChangedLater);
    connect(m_window.bitBtnSETRemote, &QPushButton::clicked, this, &WindowMediaHost::ChangedLater);
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
    return m_window.rdButtonLOCALAudio->isChecked();
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
    TMediaPlayer* bar = m_window.mp3Player;
    int left = 0;
    while (left < bar->width() && bar->ButtonAt(left) != kind)
        ++left;
    const QPointF at(left + bar->ButtonWidth() / 2, bar->height() / 2);
    const QPointF global = bar->mapToGlobal(at);
    // Posted as the mouse's own press and release, so that the bar decides
    // and acts as for a click, once the bus has its answer.
    QCoreApplication::postEvent(
        bar, new QMouseEvent(QEvent::MouseButtonPress, at, global, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier));
    QCoreApplication::postEvent(
        bar, new QMouseEvent(QEvent::MouseButtonRelease, at, global, Qt::LeftButton, Qt::NoButton, Qt::NoModifier));
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
    const int row = m_window.mp3List->currentRow();
    state.canGoNext = row + 1 < m_window.mp3List->count();
    state.canGoPrevious = row > 0;
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

void WindowMediaHost::OpenTrack(int row)
{
    RunHandler([this, row] {
        const bool playing = LocalStatus() == Status::Playing;
        m_window.mp3List->setCurrentRow(row);
        m_window.mp3ListClick();
        if (playing && BarAllows(btPlay))
            PressBarButton(btPlay);
    });
}

// ---- Server mode: the player page

int WindowMediaHost::StationIndex() const
{
    const QComboBox* box = m_window.cmbBoxRadio;
    return box->findText(box->currentText(), Qt::MatchExactly | Qt::MatchCaseSensitive);
}

MediaHost::State WindowMediaHost::ServerState()
{
    State state;
    state.status = Status::Stopped;
    state.canPlay = true;
    state.canPause = false;
    const int index = StationIndex();
    state.canGoNext = index + 1 < static_cast<int>(kStations.size());
    state.canGoPrevious = index > 0;
    Track& track = state.track;
    const QString station = m_window.cmbBoxRadio->currentText();
    track.key = QStringLiteral("station:") + station;
    track.title = station;
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
    return LocalMode() ? LocalState() : ServerState();
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
    if (LocalMode()) {
        if (BarAllows(btPlay))
            PressBarButton(btPlay);
        return;
    }
    RunHandler([this] { m_window.bitBtnSETRemoteClick(); });
}

void WindowMediaHost::Pause()
{
    if (LocalMode()) {
        if (BarAllows(btPause))
            PressBarButton(btPause);
        return;
    }
    Stop();
}

void WindowMediaHost::Stop()
{
    if (LocalMode()) {
        if (BarAllows(btStop))
            PressBarButton(btStop);
        return;
    }
}

void WindowMediaHost::Next()
{
    if (LocalMode())
        OpenTrack(m_window.mp3List->currentRow() + 1);
    else
        PickStation(StationIndex() + 1);
}

void WindowMediaHost::Previous()
{
    if (LocalMode())
        OpenTrack(m_window.mp3List->currentRow() - 1);
    else
        PickStation(StationIndex() - 1);
}

void WindowMediaHost::SeekTo(qint64)
{
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

} // namespace orvex
