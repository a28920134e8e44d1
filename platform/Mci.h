#pragma once

#include <QEvent>
#include <QObject>
#include <QPointer>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <type_traits>

class QWidget;

namespace orvex {

// A media command layer in the manner of the desktop's Media Control
// Interface: devices opened by type name or chosen from the file, commands
// with flag words and parameter records, result codes with texts, and
// notifications posted to a callback object on the main thread.

using MCIDEVICEID = std::uint16_t;
using MCIERROR = std::uint32_t;

// ---- commands
enum : unsigned {
    MCI_OPEN = 0x0803, MCI_CLOSE = 0x0804, MCI_PLAY = 0x0806, MCI_SEEK = 0x0807, MCI_STOP = 0x0808,
    MCI_PAUSE = 0x0809, MCI_GETDEVCAPS = 0x080B, MCI_SET = 0x080D, MCI_STEP = 0x080E, MCI_RECORD = 0x080F,
    MCI_STATUS = 0x0814, MCI_WINDOW = 0x0841, MCI_WHERE = 0x0843, MCI_RESUME = 0x0855,
    MCI_SETAUDIO = 0x0873,
};

// ---- flags
enum : std::uint32_t {
    MCI_NOTIFY = 0x1, MCI_WAIT = 0x2, MCI_FROM = 0x4, MCI_TO = 0x8, MCI_TRACK = 0x10,
    MCI_OPEN_SHAREABLE = 0x100, MCI_OPEN_ELEMENT = 0x200, MCI_OPEN_TYPE = 0x2000,
    MCI_SEEK_TO_START = 0x100, MCI_SEEK_TO_END = 0x200,
    MCI_STATUS_ITEM = 0x100, MCI_GETDEVCAPS_ITEM = 0x100,
    MCI_SET_DOOR_OPEN = 0x100, MCI_SET_DOOR_CLOSED = 0x200, MCI_SET_TIME_FORMAT = 0x400,
    MCI_STEP_REVERSE = 0x10000, MCI_STEP_FRAMES = 0x20000,
    MCI_ANIM_WINDOW_HWND = 0x10000, MCI_ANIM_WHERE_SOURCE = 0x20000, MCI_ANIM_WHERE_DESTINATION = 0x40000,
    MCI_DGV_SETAUDIO_ITEM = 0x00800000, MCI_DGV_SETAUDIO_VALUE = 0x01000000,
};

// ---- status items, answers and capabilities
enum : std::uint32_t {
    MCI_STATUS_LENGTH = 1, MCI_STATUS_POSITION = 2, MCI_STATUS_NUMBER_OF_TRACKS = 3, MCI_STATUS_MODE = 4,
    MCI_STATUS_MEDIA_PRESENT = 5, MCI_STATUS_TIME_FORMAT = 6, MCI_STATUS_READY = 7, MCI_STATUS_CURRENT_TRACK = 8,

    MCI_MODE_NOT_READY = 524, MCI_MODE_STOP = 525, MCI_MODE_PLAY = 526, MCI_MODE_RECORD = 527,
    MCI_MODE_SEEK = 528, MCI_MODE_PAUSE = 529, MCI_MODE_OPEN = 530,

    MCI_GETDEVCAPS_CAN_RECORD = 1, MCI_GETDEVCAPS_HAS_AUDIO = 2, MCI_GETDEVCAPS_HAS_VIDEO = 3,
    MCI_GETDEVCAPS_DEVICE_TYPE = 4, MCI_GETDEVCAPS_USES_FILES = 5, MCI_GETDEVCAPS_COMPOUND_DEVICE = 6,
    MCI_GETDEVCAPS_CAN_EJECT = 7, MCI_GETDEVCAPS_CAN_PLAY = 8, MCI_GETDEVCAPS_CAN_SAVE = 9,

    MCI_DEVTYPE_VCR = 513, MCI_DEVTYPE_VIDEODISC = 514, MCI_DEVTYPE_OVERLAY = 515, MCI_DEVTYPE_CD_AUDIO = 516,
    MCI_DEVTYPE_DAT = 517, MCI_DEVTYPE_SCANNER = 518, MCI_DEVTYPE_ANIMATION = 519,
    MCI_DEVTYPE_DIGITAL_VIDEO = 520, MCI_DEVTYPE_OTHER = 521, MCI_DEVTYPE_WAVEFORM_AUDIO = 522,
    MCI_DEVTYPE_SEQUENCER = 523,

    MCI_FORMAT_MILLISECONDS = 0, MCI_FORMAT_HMS = 1, MCI_FORMAT_MSF = 2, MCI_FORMAT_FRAMES = 3,
    MCI_FORMAT_BYTES = 8, MCI_FORMAT_SAMPLES = 9, MCI_FORMAT_TMSF = 10,

    MCI_TRUE = 1, MCI_FALSE = 0,

    // MCI_SETAUDIO's items; the volume goes from 0 (silent) to 1000 (as recorded).
    MCI_DGV_SETAUDIO_VOLUME = 0x4002,
};

// ---- notifications
enum : unsigned {
    MCI_NOTIFY_SUCCESSFUL = 1, MCI_NOTIFY_SUPERSEDED = 2, MCI_NOTIFY_ABORTED = 4, MCI_NOTIFY_FAILURE = 8,
};

// ---- result codes
enum : MCIERROR {
    MCIERR_BASE = 256,
    MCIERR_INVALID_DEVICE_ID = MCIERR_BASE + 1,
    MCIERR_UNRECOGNIZED_COMMAND = MCIERR_BASE + 5,
    MCIERR_HARDWARE = MCIERR_BASE + 6,
    MCIERR_INVALID_DEVICE_NAME = MCIERR_BASE + 7,
    MCIERR_OUT_OF_MEMORY = MCIERR_BASE + 8,
    MCIERR_CANNOT_LOAD_DRIVER = MCIERR_BASE + 10,
    MCIERR_MISSING_PARAMETER = MCIERR_BASE + 17,
    MCIERR_UNSUPPORTED_FUNCTION = MCIERR_BASE + 18,
    MCIERR_FILE_NOT_FOUND = MCIERR_BASE + 19,
    MCIERR_DEVICE_NOT_READY = MCIERR_BASE + 20,
    MCIERR_INTERNAL = MCIERR_BASE + 21,
    MCIERR_DRIVER = MCIERR_BASE + 22,
    MCIERR_EXTENSION_NOT_FOUND = MCIERR_BASE + 25,
    MCIERR_OUTOFRANGE = MCIERR_BASE + 26,
    MCIERR_FLAGS_NOT_COMPATIBLE = MCIERR_BASE + 28,
    MCIERR_DEVICE_LOCKED = MCIERR_BASE + 32,
    MCIERR_BAD_TIME_FORMAT = MCIERR_BASE + 37,
    MCIERR_INVALID_FILE = MCIERR_BASE + 40,
    MCIERR_NULL_PARAMETER_BLOCK = MCIERR_BASE + 41,
    MCIERR_NONAPPLICABLE_FUNCTION = MCIERR_BASE + 46,
    MCIERR_FILENAME_REQUIRED = MCIERR_BASE + 48,
    MCIERR_NO_WINDOW = MCIERR_BASE + 90,
};

// ---- parameter records. The callback is the object notifications go to.
struct MCI_GENERIC_PARMS {
    QObject* dwCallback = nullptr;
};
struct MCI_OPEN_PARMS {
    QObject* dwCallback = nullptr;
    MCIDEVICEID wDeviceID = 0;
    QString lpstrDeviceType;
    QString lpstrElementName;
    QString lpstrAlias;
};
struct MCI_PLAY_PARMS {
    QObject* dwCallback = nullptr;
    std::uint32_t dwFrom = 0;
    std::uint32_t dwTo = 0;
};
using MCI_RECORD_PARMS = MCI_PLAY_PARMS;
struct MCI_SEEK_PARMS {
    QObject* dwCallback = nullptr;
    std::uint32_t dwTo = 0;
};
struct MCI_STATUS_PARMS {
    QObject* dwCallback = nullptr;
    std::uint32_t dwReturn = 0;
    std::uint32_t dwItem = 0;
    std::uint32_t dwTrack = 0;
};
struct MCI_GETDEVCAPS_PARMS {
    QObject* dwCallback = nullptr;
    std::uint32_t dwReturn = 0;
    std::uint32_t dwItem = 0;
};
struct MCI_SET_PARMS {
    QObject* dwCallback = nullptr;
    std::uint32_t dwTimeFormat = 0;
    std::uint32_t dwAudio = 0;
};
struct MCI_DGV_SETAUDIO_PARMS {
    QObject* dwCallback = nullptr;
    std::uint32_t dwItem = 0;
    std::uint32_t dwValue = 0;
};
struct MCI_ANIM_STEP_PARMS {
    QObject* dwCallback = nullptr;
    std::uint32_t dwFrames = 0;
};
struct MCI_ANIM_WINDOW_PARMS {
    QObject* dwCallback = nullptr;
    QWidget* hWnd = nullptr;
    unsigned nCmdShow = 0;
    QString lpstrText;
};
struct MCI_RECT {
    int left = 0, top = 0, right = 0, bottom = 0;
};
struct MCI_ANIM_RECT_PARMS {
    QObject* dwCallback = nullptr;
    MCI_RECT rc;
};

static_assert(std::is_standard_layout_v<MCI_GENERIC_PARMS> && std::is_standard_layout_v<MCI_OPEN_PARMS> &&
                  std::is_standard_layout_v<MCI_PLAY_PARMS> && std::is_standard_layout_v<MCI_SEEK_PARMS> &&
                  std::is_standard_layout_v<MCI_STATUS_PARMS> && std::is_standard_layout_v<MCI_GETDEVCAPS_PARMS> &&
                  std::is_standard_layout_v<MCI_SET_PARMS> && std::is_standard_layout_v<MCI_ANIM_STEP_PARMS> &&
                  std::is_standard_layout_v<MCI_DGV_SETAUDIO_PARMS> &&
                  std::is_standard_layout_v<MCI_ANIM_WINDOW_PARMS> && std::is_standard_layout_v<MCI_ANIM_RECT_PARMS>,
              "parameter records share the address of their callback");

// Every parameter record starts with its callback; a device reads it without
// knowing the record's type (a record and its first member share an address).
inline QObject* CallbackOf(const void* params)
{
    return params ? *static_cast<QObject* const*>(params) : nullptr;
}

// The device-notification message, posted to the callback object:
// the result (MCI_NOTIFY_...) and the device that sends it.
class MciNotifyEvent : public QEvent {
public:
    static QEvent::Type EventType();
    MciNotifyEvent(unsigned result, MCIDEVICEID device) : QEvent(EventType()), Result(result), Device(device) {}
    const unsigned Result;
    const MCIDEVICEID Device;
};

// One open device. Its driver answers the commands after MCI_OPEN; the layer
// handles opening and closing and keeps the device identifiers.
class MciDevice {
public:
    virtual ~MciDevice() = default;
    // Opens the element (a file path or address, possibly empty).
    virtual MCIERROR Open(const QString& element, std::uint32_t flags) = 0;
    // Every command but MCI_OPEN and MCI_CLOSE.
    virtual MCIERROR Command(unsigned message, std::uint32_t flags, void* params) = 0;
    // Called before the device is destroyed by MCI_CLOSE: pending
    // notifications end as aborted.
    virtual void Closing() {}

    MCIDEVICEID Id() const { return m_id; }
    // Posts the device-notification message to a callback object.
    void Notify(QObject* callback, unsigned result) const;

private:
    friend class MciLayer;
    MCIDEVICEID m_id = 0;
};

using MciDriverFactory = std::function<std::unique_ptr<MciDevice>()>;

// Drivers are registered explicitly, by device type name ("MPEGVideo") and
// by the file extensions they handle ("mp3"); names compare without case.
void MciRegisterDriver(const QString& typeName, const QStringList& extensions, MciDriverFactory factory);
void MciUnregisterDriver(const QString& typeName);
// Registers the GStreamer driver for the media files it plays.
void MciRegisterStandardDrivers();

// Sends a command to a device (MCI_OPEN to device 0) and returns 0 or an error code.
MCIERROR mciSendCommand(MCIDEVICEID device, unsigned message, std::uint32_t flags, void* params);
// The text of an error code; false when the code has none.
bool mciGetErrorString(MCIERROR error, QString& text);

} // namespace orvex
