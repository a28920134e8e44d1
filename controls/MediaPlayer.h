#pragma once

#include "Exceptions.h"
#include "Graphics.h"
#include "Mci.h"

#include <QPointer>
#include <QWidget>
#include <array>
#include <cstdint>
#include <functional>

namespace orvex {

// The nine button kinds, in the bar's order.
enum TMPBtnType { btPlay, btPause, btStop, btNext, btPrev, btStep, btBack, btRecord, btEject };
inline constexpr int kButtonKinds = 9;

// A set of button kinds: bit n stands for kind n.
using TButtonSet = std::uint16_t;
inline constexpr TButtonSet Bit(TMPBtnType kind) { return static_cast<TButtonSet>(1u << kind); }
inline constexpr TButtonSet kAllButtons = 511;

enum TMPDeviceTypes {
    dtAutoSelect, dtAVIVideo, dtCDAudio, dtDAT, dtDigitalVideo, dtMMMovie, dtOther, dtOverlay, dtScanner,
    dtSequencer, dtVCR, dtVideodisc, dtWaveAudio,
};
enum TMPModes { mdNotReady, mdStopped, mdPlaying, mdRecording, mdSeeking, mdPaused, mdOpen };
enum TMPNotifyValues { nfSuccessful, nfSuperseded, nfAborted, nfFailure };
// Bits of Capabilities.
enum TMPDevCaps : std::uint8_t { cpCanStep = 1, cpCanEject = 2, cpCanPlay = 4, cpCanRecord = 8, cpUsesWindow = 16 };

// A failure to open a media device, or a command with no device open.
class EMCIDeviceError : public Exception {
public:
    using Exception::Exception;
};

// The media player bar: a row of up to nine buttons for one media device.
// It opens, plays, pauses, stops and closes the device on FileName, reports
// its length and position, and enables its buttons by itself (AutoEnable) as
// the device is opened, played and stopped.
class TMediaPlayer : public QWidget {
    Q_OBJECT
public:
    explicit TMediaPlayer(QWidget* parent = nullptr);
    ~TMediaPlayer() override;

    // ---- device
    QString FileName;
    TMPDeviceTypes DeviceType = dtAutoSelect;
    bool Shareable = false;
    bool AutoOpen = false;
    bool AutoRewind = true;

    // Opens the device on FileName, closing an open one first. Raises
    // EMCIDeviceError with the device's text when it fails (left closed).
    void Open();
    // Nothing when no device is open; stays open when the device refuses.
    void Close();
    void Play();
    // Pauses a playing device, resumes a paused one, else nothing.
    void Pause();
    // The pause command alone.
    void PauseOnly();
    // Falls back to Play when the device refuses.
    void Resume();
    void Stop();
    void Next();
    void Previous();
    void Step();
    void Back();
    void StartRecording();
    void Eject();
    void Rewind();
    // Moves the device to a position; a play in progress ends there.
    void Seek(std::int32_t to);

    std::int32_t Length();
    std::int32_t Position();
    std::int32_t Tracks();
    TMPModes Mode();
    std::uint32_t TimeFormat();
    void SetTimeFormat(std::uint32_t format);
    std::int32_t TrackPosition(std::uint32_t track);
    // The sound's volume, 0 (silent) to 1000 (as recorded); kept across
    // opens and given to each device opened. A device without a volume
    // plays as it is.
    int Volume() const { return m_volume; }
    void SetVolume(int volume);

    QWidget* Display() const { return m_display; }
    void SetDisplay(QWidget* display);
    TRect DisplayRect();
    int DisplayWidth() const { return m_displayWidth; }
    int DisplayHeight() const { return m_displayHeight; }

    // One-shot overrides for the next command.
    void SetWait(bool value) { m_wait = value; m_waitSet = true; }
    void SetNotify(bool value) { m_notify = value; m_notifySet = true; }
    void SetStartPos(std::int32_t value);
    void SetEndPos(std::int32_t value) { m_endPos = value; m_endPosSet = true; }

    MCIERROR Error() const { return m_error; }
    QString ErrorMessage() const;
    MCIDEVICEID DeviceID() const { return m_deviceId; }
    bool Opened() const { return m_opened; }
    std::uint8_t Capabilities() const { return m_capabilities; }
    bool CanPlay() const { return m_canPlay; }
    bool HasVideo() const { return m_hasVideo; }
    std::int32_t StepSize() const { return m_stepSize; }
    TMPNotifyValues NotifyValue() const { return m_notifyValue; }

    // Runs after the device reports the end of a command sent with notify.
    std::function<void(TMediaPlayer& sender)> OnNotify;
    // The end of loading from a stored form: opens the device when AutoOpen.
    void Loaded();

    // ---- buttons
    TButtonSet VisibleButtons() const { return m_visibleButtons; }
    void SetVisibleButtons(TButtonSet buttons);
    TButtonSet EnabledButtons() const { return m_enabledButtons; }
    void SetEnabledButtons(TButtonSet buttons);
    TButtonSet ColoredButtons() const { return m_coloredButtons; }
    void SetColoredButtons(TButtonSet buttons);
    TButtonSet AutoEnabledButtons() const { return m_autoEnabled; }
    bool AutoEnable() const { return m_autoEnable; }
    void SetAutoEnable(bool value);
    // While set, VisibleButtons keeps the width and the layout waits.
    bool Loading = false;

    int ButtonWidth() const { return m_buttonWidth; }
    int MinButtonWidth() const { return m_minButtonWidth; }
    int MinButtonHeight() const { return m_minButtonHeight; }
    TMPBtnType FocusedButton() const { return m_focusedButton; }
    TMPBtnType CurrentButton() const { return m_currentButton; }
    bool Pressed() const { return m_pressed; }
    bool Down() const { return m_down; }
    // The button a press at x would hit, or -1.
    int ButtonAt(int x) const;
    // The glyph state a button shows now: 0 enabled, 1 disabled, 2 coloured.
    int GlyphState(TMPBtnType kind) const;

    // Runs the current button: OnClick, then (unless refused) its operation and OnPostClick.
    void Click();
    // Runs a button for the program, as a press of it would when it is
    // enabled: the click, then (with AutoEnable) the buttons follow.
    void PressButton(TMPBtnType kind);
    // Composes the bar as it shows now.
    TBitmap Render() const;

    using ClickEvent = std::function<void(TMediaPlayer& sender, TMPBtnType button, bool& doDefault)>;
    using PostClickEvent = std::function<void(TMediaPlayer& sender, TMPBtnType button)>;
    ClickEvent OnClick;
    PostClickEvent OnPostClick;

protected:
    // Replaceable steps: the event dispatchers and the auto-button update.
    virtual void DoClick(TMPBtnType button, bool& doDefault);
    virtual void DoPostClick(TMPBtnType button);
    virtual void DoNotify();
    virtual void AutoButtonSet(TMPBtnType button);

    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    struct Button {
        bool visible = true, enabled = true, colored = true, autoEnabled = false;
    };

    // ---- device helpers
    void CheckOpen() const;
    std::uint32_t WaitFlags();
    std::uint32_t NotifyFlags(std::uint32_t& from, std::uint32_t& to);
    MCIERROR Send(unsigned message, std::uint32_t flags, void* params, bool record = true);
    MCIERROR SendGeneric(unsigned message, std::uint32_t flags);
    std::uint32_t StatusItem(std::uint32_t item, bool checkOpen);
    void QueryCapabilities();
    void GoToTrackPosition(std::uint32_t flags, std::int32_t target);
    void SeekWith(std::uint32_t flags, std::int32_t to);
    void DeviceNotified(unsigned result);
    void DisplayDestroyed();

    // ---- button helpers
    void ApplyAutoEnabled();
    void AdjustSize();
    void Layout();
    int VisibleCount() const;
    bool DecidingFlag(TMPBtnType kind) const;
    TRect ButtonRect(TMPBtnType kind) const;
    void DrawButton(TCanvas& canvas, TMPBtnType kind, int x) const;
    void PressAt(int x);
    void ButtonUpdated();

    void SendVolume();

    MCIDEVICEID m_deviceId = 0;
    int m_volume = 1000;
    bool m_opened = false;
    MCIERROR m_error = 0;
    TMPNotifyValues m_notifyValue = nfSuccessful;
    bool m_canPlay = false, m_canRecord = false, m_canEject = false, m_hasVideo = false, m_canStep = false;
    std::uint8_t m_capabilities = 0;
    std::int32_t m_stepSize = 0;
    bool m_wait = false, m_waitSet = false;
    bool m_notify = false, m_notifySet = false;
    std::int32_t m_startPos = 0;
    bool m_startPosSet = false;
    std::int32_t m_endPos = 0;
    bool m_endPosSet = false;
    QPointer<QWidget> m_display;
    QMetaObject::Connection m_displayWatch;
    int m_displayWidth = 0, m_displayHeight = 0;

    TButtonSet m_visibleButtons = kAllButtons;
    TButtonSet m_enabledButtons = kAllButtons;
    TButtonSet m_coloredButtons = kAllButtons;
    TButtonSet m_autoEnabled = 0;
    std::array<Button, kButtonKinds> m_buttons{};
    bool m_autoEnable = true;
    int m_buttonWidth = 0;
    int m_minButtonWidth = 0;
    int m_minButtonHeight = 0;
    TMPBtnType m_focusedButton = btPlay;
    TMPBtnType m_currentButton = btPlay;
    TRect m_currentRect;
    bool m_pressed = false;
    bool m_down = false;
};

} // namespace orvex
