// The device side of the media player bar: opening and closing one media
// device, the command behind each button, the status queries and the
// device's notifications.
#include "MediaPlayer.h"

#include <algorithm>

namespace orvex {

namespace {

const char* const kDeviceTypeNames[] = {
    "",          "AVIVideo", "CDAudio", "DAT",       "DigitalVideo", "MMMovie",  "Other",
    "Overlay",   "Scanner",  "Sequencer", "VCR",     "Videodisc",    "WaveAudio",
};

// Track format packs track, minutes, seconds and frames into the four bytes.
int TmsfTrack(std::uint32_t position) { return static_cast<int>(position & 0xFF); }
int TmsfMinutes(std::uint32_t position) { return static_cast<int>((position >> 8) & 0xFF); }
int TmsfSeconds(std::uint32_t position) { return static_cast<int>((position >> 16) & 0xFF); }

} // namespace

void TMediaPlayer::CheckOpen() const
{
    if (!m_opened)
        throw EMCIDeviceError(QStringLiteral("No MCI device open"));
}

// Commands that block: wait unless told otherwise, notify only when asked.
std::uint32_t TMediaPlayer::WaitFlags()
{
    std::uint32_t flags = (!m_waitSet || m_wait) ? std::uint32_t{MCI_WAIT} : 0u;
    if (m_notifySet && m_notify)
        flags |= MCI_NOTIFY;
    m_waitSet = m_notifySet = false;
    return flags;
}

// Commands that run on (play, record): notify unless told otherwise, wait
// only when asked; the start and end positions when set.
std::uint32_t TMediaPlayer::NotifyFlags(std::uint32_t& from, std::uint32_t& to)
{
    std::uint32_t flags = (!m_notifySet || m_notify) ? std::uint32_t{MCI_NOTIFY} : 0u;
    if (m_waitSet && m_wait)
        flags |= MCI_WAIT;
    m_waitSet = m_notifySet = false;
    if (m_startPosSet) {
        flags |= MCI_FROM;
        from = static_cast<std::uint32_t>(m_startPos);
        m_startPosSet = false;
    }
    if (m_endPosSet) {
        flags |= MCI_TO;
        to = static_cast<std::uint32_t>(m_endPos);
        m_endPosSet = false;
    }
    return flags;
}

MCIERROR TMediaPlayer::Send(unsigned message, std::uint32_t flags, void* params, bool record)
{
    const MCIERROR result = mciSendCommand(m_deviceId, message, flags, params);
    if (record)
        m_error = result;
    return result;
}

MCIERROR TMediaPlayer::SendGeneric(unsigned message, std::uint32_t flags)
{
    // Commands whose record holds only the callback.
    MCI_GENERIC_PARMS params;
    params.dwCallback = this;
    return Send(message, flags, &params);
}

void TMediaPlayer::SetStartPos(std::int32_t value)
{
    if (value != m_startPos)
        m_startPos = value;
    m_startPosSet = true;
}

void TMediaPlayer::Open()
{
    MCI_OPEN_PARMS open;
    if (m_deviceId != 0)
        Close();
    open.lpstrDeviceType = QString::fromLatin1(kDeviceTypeNames[DeviceType]);
    open.lpstrElementName = FileName;
    std::uint32_t flags = WaitFlags();
    flags |= DeviceType == dtAutoSelect ? MCI_OPEN_ELEMENT : MCI_OPEN_TYPE;
    if (Shareable)
        flags |= MCI_OPEN_SHAREABLE;
    open.dwCallback = this;
    m_error = mciSendCommand(0, MCI_OPEN, flags, &open);
    if (m_error != 0)
        throw EMCIDeviceError(ErrorMessage());
    m_opened = true;
    m_deviceId = open.wDeviceID;
    m_stepSize = Length() / 10;
    QueryCapabilities();
    if (m_volume != 1000)
        SendVolume();
    if (m_hasVideo) {
        SetDisplay(m_display);
        const TRect rect = DisplayRect();
        m_displayWidth = rect.Width();
        m_displayHeight = rect.Height();
    }
    if (DeviceType == dtCDAudio || DeviceType == dtVideodisc)
        SetTimeFormat(MCI_FORMAT_TMSF);

    // A fresh open: what the device can do decides the buttons.
    m_autoEnabled = Bit(btNext) | Bit(btPrev);
    if (m_canStep)
        m_autoEnabled |= Bit(btStep) | Bit(btBack);
    if (m_canPlay)
        m_autoEnabled |= Bit(btPlay);
    if (m_canRecord)
        m_autoEnabled |= Bit(btRecord);
    if (m_canEject)
        m_autoEnabled |= Bit(btEject);
    if (Mode() == mdPlaying)
        AutoButtonSet(btPlay);
    ApplyAutoEnabled();
}

void TMediaPlayer::QueryCapabilities()
{
    auto capability = [this](std::uint32_t item) {
        MCI_GETDEVCAPS_PARMS caps;
        caps.dwItem = item;
        Send(MCI_GETDEVCAPS, MCI_WAIT | MCI_GETDEVCAPS_ITEM, &caps, /*record=*/false);
        return caps.dwReturn;
    };
    m_capabilities = 0;
    m_canPlay = capability(MCI_GETDEVCAPS_CAN_PLAY) != 0;
    m_canRecord = capability(MCI_GETDEVCAPS_CAN_RECORD) != 0;
    m_canEject = capability(MCI_GETDEVCAPS_CAN_EJECT) != 0;
    m_hasVideo = capability(MCI_GETDEVCAPS_HAS_VIDEO) != 0;
    const std::uint32_t type = capability(MCI_GETDEVCAPS_DEVICE_TYPE);
    m_canStep = type == MCI_DEVTYPE_VCR || type == MCI_DEVTYPE_OVERLAY || type == MCI_DEVTYPE_ANIMATION ||
                type == MCI_DEVTYPE_DIGITAL_VIDEO;
    if (m_canPlay)
        m_capabilities |= cpCanPlay;
    if (m_canRecord)
        m_capabilities |= cpCanRecord;
    if (m_canEject)
        m_capabilities |= cpCanEject;
    if (m_hasVideo)
        m_capabilities |= cpUsesWindow;
    if (m_canStep)
        m_capabilities |= cpCanStep;
    MCI_ANIM_RECT_PARMS where;
    Send(MCI_WHERE, MCI_ANIM_WHERE_SOURCE, &where);
    m_displayWidth = where.rc.right - where.rc.left;
    m_displayHeight = where.rc.bottom - where.rc.top;
}

void TMediaPlayer::Close()
{
    if (m_deviceId == 0)
        return;
    if (SendGeneric(MCI_CLOSE, WaitFlags()) != 0)
        return;
    m_opened = false;
    m_deviceId = 0;
    m_autoEnabled = 0;
    ApplyAutoEnabled();
}

void TMediaPlayer::Play()
{
    CheckOpen();
    if (AutoRewind && !m_startPosSet && !m_endPosSet && Position() == Length())
        Rewind();
    MCI_PLAY_PARMS play;
    const std::uint32_t flags = NotifyFlags(play.dwFrom, play.dwTo);
    play.dwCallback = this;
    Send(MCI_PLAY, flags, &play);
}

void TMediaPlayer::Pause()
{
    CheckOpen();
    const TMPModes mode = Mode();
    if (mode == mdPlaying)
        PauseOnly();
    else if (mode == mdPaused)
        Resume();
}

void TMediaPlayer::PauseOnly()
{
    CheckOpen();
    SendGeneric(MCI_PAUSE, WaitFlags());
}

void TMediaPlayer::Resume()
{
    CheckOpen();
    std::uint32_t flags = (m_notifySet && !m_notify) ? 0u : std::uint32_t{MCI_NOTIFY};
    if (m_waitSet && m_wait)
        flags |= MCI_WAIT;
    if (SendGeneric(MCI_RESUME, flags) != 0) {
        // A device that cannot resume plays instead; Play takes the overrides.
        Play();
        return;
    }
    m_notifySet = m_waitSet = false;
}

void TMediaPlayer::Stop()
{
    CheckOpen();
    SendGeneric(MCI_STOP, WaitFlags());
}

void TMediaPlayer::Next()
{
    CheckOpen();
    const std::uint32_t flags = WaitFlags();
    if (TimeFormat() != MCI_FORMAT_TMSF) {
        SeekWith(flags | MCI_SEEK_TO_END, 0);
        return;
    }
    const int track = TmsfTrack(static_cast<std::uint32_t>(Position()));
    const int tracks = Tracks();
    GoToTrackPosition(flags, TrackPosition(static_cast<std::uint32_t>(track == tracks ? tracks : track + 1)));
}

void TMediaPlayer::Previous()
{
    CheckOpen();
    const std::uint32_t flags = WaitFlags();
    if (TimeFormat() != MCI_FORMAT_TMSF) {
        SeekWith(flags | MCI_SEEK_TO_START, 0);
        return;
    }
    const auto position = static_cast<std::uint32_t>(Position());
    const int track = TmsfTrack(position);
    const auto start = static_cast<std::uint32_t>(TrackPosition(static_cast<std::uint32_t>(track)));
    // Within the first second of a track (frames are not compared), go to
    // the track before; later, to the start of this one.
    std::int32_t target = static_cast<std::int32_t>(start);
    if (track != 1 && TmsfMinutes(position) == TmsfMinutes(start) && TmsfSeconds(position) == TmsfSeconds(start))
        target = TrackPosition(static_cast<std::uint32_t>(track - 1));
    GoToTrackPosition(flags, target);
}

void TMediaPlayer::GoToTrackPosition(std::uint32_t flags, std::int32_t target)
{
    // A playing device plays on from the target (the click counts as Play);
    // a stopped one only moves there.
    if (Mode() == mdPlaying) {
        SetStartPos(target);
        Play();
        m_currentButton = btPlay;
        return;
    }
    SeekWith(flags | MCI_TO, target);
}

void TMediaPlayer::SeekWith(std::uint32_t flags, std::int32_t to)
{
    MCI_SEEK_PARMS seek;
    seek.dwTo = static_cast<std::uint32_t>(to);
    seek.dwCallback = this;
    Send(MCI_SEEK, flags, &seek);
}

void TMediaPlayer::Step()
{
    CheckOpen();
    if (!m_hasVideo)
        return;
    if (AutoRewind && Position() == Length())
        Rewind();
    MCI_ANIM_STEP_PARMS step;
    const std::uint32_t flags = WaitFlags() | MCI_STEP_FRAMES;
    step.dwFrames = static_cast<std::uint32_t>(m_stepSize);
    step.dwCallback = this;
    Send(MCI_STEP, flags, &step);
}

void TMediaPlayer::Back()
{
    CheckOpen();
    if (!m_hasVideo)
        return;
    MCI_ANIM_STEP_PARMS step;
    const std::uint32_t flags = WaitFlags() | MCI_STEP_FRAMES | MCI_STEP_REVERSE;
    step.dwFrames = static_cast<std::uint32_t>(m_stepSize);
    step.dwCallback = this;
    Send(MCI_STEP, flags, &step);
}

void TMediaPlayer::StartRecording()
{
    CheckOpen();
    MCI_RECORD_PARMS record;
    const std::uint32_t flags = NotifyFlags(record.dwFrom, record.dwTo);
    record.dwCallback = this;
    Send(MCI_RECORD, flags, &record);
}

void TMediaPlayer::Eject()
{
    CheckOpen();
    if (!m_canEject)
        return;
    MCI_SET_PARMS set;
    const std::uint32_t flags = WaitFlags() | MCI_SET_DOOR_OPEN;
    set.dwCallback = this;
    Send(MCI_SET, flags, &set);
}

void TMediaPlayer::Seek(std::int32_t to)
{
    CheckOpen();
    SeekWith(WaitFlags() | MCI_TO, to);
}

void TMediaPlayer::Rewind()
{
    CheckOpen();
    MCI_SEEK_PARMS seek;
    mciSendCommand(m_deviceId, MCI_SEEK, MCI_WAIT | MCI_SEEK_TO_START, &seek);
}

std::uint32_t TMediaPlayer::StatusItem(std::uint32_t item, bool checkOpen)
{
    if (checkOpen)
        CheckOpen();
    MCI_STATUS_PARMS status;
    status.dwItem = item;
    Send(MCI_STATUS, MCI_WAIT | MCI_STATUS_ITEM, &status);
    return status.dwReturn;
}

std::int32_t TMediaPlayer::Length()
{
    return static_cast<std::int32_t>(StatusItem(MCI_STATUS_LENGTH, true));
}

std::int32_t TMediaPlayer::Position()
{
    return static_cast<std::int32_t>(StatusItem(MCI_STATUS_POSITION, false));
}

std::int32_t TMediaPlayer::Tracks()
{
    return static_cast<std::int32_t>(StatusItem(MCI_STATUS_NUMBER_OF_TRACKS, true));
}

TMPModes TMediaPlayer::Mode()
{
    const std::uint32_t answer = StatusItem(MCI_STATUS_MODE, false);
    // A device that gives no answer (none is open) is not ready, rather than
    // the meaningless byte the arithmetic would give.
    if (m_error != 0 || answer < MCI_MODE_NOT_READY || answer > MCI_MODE_OPEN)
        return mdNotReady;
    return static_cast<TMPModes>(static_cast<std::uint8_t>((answer & 0xFF) - 12));
}

std::uint32_t TMediaPlayer::TimeFormat()
{
    return StatusItem(MCI_STATUS_TIME_FORMAT, true) & 0xFF;
}

void TMediaPlayer::SetVolume(int volume)
{
    m_volume = std::clamp(volume, 0, 1000);
    if (m_deviceId != 0)
        SendVolume();
}

void TMediaPlayer::SendVolume()
{
    // No error is recorded: a device without a volume still plays.
    MCI_DGV_SETAUDIO_PARMS audio;
    audio.dwItem = MCI_DGV_SETAUDIO_VOLUME;
    audio.dwValue = static_cast<std::uint32_t>(m_volume);
    Send(MCI_SETAUDIO, MCI_DGV_SETAUDIO_ITEM | MCI_DGV_SETAUDIO_VALUE, &audio, /*record=*/false);
}

void TMediaPlayer::SetTimeFormat(std::uint32_t format)
{
    // No notification is asked for: nobody would wait for it.
    MCI_SET_PARMS set;
    set.dwTimeFormat = format;
    Send(MCI_SET, MCI_SET_TIME_FORMAT, &set);
}

std::int32_t TMediaPlayer::TrackPosition(std::uint32_t track)
{
    MCI_STATUS_PARMS status;
    status.dwItem = MCI_STATUS_POSITION;
    status.dwTrack = track;
    Send(MCI_STATUS, MCI_WAIT | MCI_TRACK | MCI_STATUS_ITEM, &status, /*record=*/false);
    return static_cast<std::int32_t>(status.dwReturn);
}

void TMediaPlayer::SetDisplay(QWidget* display)
{
    // Only a display the device took is watched: the end of an earlier one
    // must not take the device's picture from a later one.
    disconnect(m_displayWatch);
    m_displayWatch = {};
    if (display && m_opened && m_hasVideo) {
        MCI_ANIM_WINDOW_PARMS window;
        window.hWnd = display;
        if (Send(MCI_WINDOW, MCI_WAIT | MCI_ANIM_WINDOW_HWND, &window) != 0) {
            m_display = nullptr;
            return;
        }
        m_display = display;
        m_displayWatch = connect(display, &QObject::destroyed, this, [this] { DisplayDestroyed(); });
        return;
    }
    m_display = display;
}

void TMediaPlayer::DisplayDestroyed()
{
    if (m_opened && m_hasVideo) {
        // Back to the device's own window.
        MCI_ANIM_WINDOW_PARMS window;
        Send(MCI_WINDOW, MCI_WAIT | MCI_ANIM_WINDOW_HWND, &window);
    }
    m_display = nullptr;
}

TRect TMediaPlayer::DisplayRect()
{
    if (!m_opened || !m_hasVideo)
        return {};
    MCI_ANIM_RECT_PARMS where;
    Send(MCI_WHERE, MCI_ANIM_WHERE_DESTINATION, &where);
    return Rect(where.rc.left, where.rc.top, where.rc.right, where.rc.bottom);
}

QString TMediaPlayer::ErrorMessage() const
{
    QString text;
    if (!mciGetErrorString(m_error, text))
        return QStringLiteral("Unknown error code");
    return text;
}

bool TMediaPlayer::event(QEvent* event)
{
    if (event->type() == MciNotifyEvent::EventType()) {
        DeviceNotified(static_cast<MciNotifyEvent*>(event)->Result);
        return true;
    }
    return QWidget::event(event);
}

void TMediaPlayer::DeviceNotified(unsigned result)
{
    if (m_autoEnable && Mode() == mdStopped) {
        if (m_canPlay)
            m_autoEnabled |= Bit(btPlay);
        if (m_canRecord)
            m_autoEnabled |= Bit(btRecord);
        m_autoEnabled &= static_cast<TButtonSet>(~(Bit(btPause) | Bit(btStop)));
        ApplyAutoEnabled();
    }
    switch (result) {
    case MCI_NOTIFY_SUCCESSFUL: m_notifyValue = nfSuccessful; break;
    case MCI_NOTIFY_SUPERSEDED: m_notifyValue = nfSuperseded; break;
    case MCI_NOTIFY_ABORTED: m_notifyValue = nfAborted; break;
    case MCI_NOTIFY_FAILURE: m_notifyValue = nfFailure; break;
    default: break;
    }
    DoNotify();
}

void TMediaPlayer::DoNotify()
{
    if (OnNotify)
        OnNotify(*this);
}

void TMediaPlayer::Loaded()
{
    Loading = false;
    AdjustSize();
    if (AutoOpen)
        Open();
}

} // namespace orvex
