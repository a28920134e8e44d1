#include "Mci.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <map>
#include <vector>

namespace orvex {

QEvent::Type MciNotifyEvent::EventType()
{
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

void MciDevice::Notify(QObject* callback, unsigned result) const
{
    // Posted, never sent: the message arrives later on the callback's thread,
    // and is dropped with the callback if that goes first.
    if (callback)
        QCoreApplication::postEvent(callback, new MciNotifyEvent(result, m_id));
}

namespace {

struct Driver {
    QString typeName;
    QStringList extensions;
    MciDriverFactory factory;
};

// Only the main thread sends commands, so the tables need no lock.
struct MciLayerState {
    std::vector<Driver> drivers;
    std::map<MCIDEVICEID, std::unique_ptr<MciDevice>> devices;
    MCIDEVICEID nextId = 1;
};

MciLayerState& State()
{
    static MciLayerState state;
    return state;
}

const Driver* FindDriver(const QString& typeName, const QString& element)
{
    for (const Driver& driver : State().drivers) {
        if (!typeName.isEmpty()) {
            if (driver.typeName.compare(typeName, Qt::CaseInsensitive) == 0)
                return &driver;
        } else if (driver.extensions.contains(QFileInfo(element).suffix(), Qt::CaseInsensitive)) {
            return &driver;
        }
    }
    // Addresses on the network go to the first driver that takes "http".
    if (typeName.isEmpty() && element.contains(QLatin1String("://")))
        for (const Driver& driver : State().drivers)
            if (driver.extensions.contains(QStringLiteral("http"), Qt::CaseInsensitive))
                return &driver;
    return nullptr;
}

} // namespace

class MciLayer {
public:
    static MCIERROR Open(std::uint32_t flags, MCI_OPEN_PARMS* params)
    {
        if (!params)
            return MCIERR_NULL_PARAMETER_BLOCK;
        const bool byType = flags & MCI_OPEN_TYPE;
        const bool byElement = flags & MCI_OPEN_ELEMENT;
        if (!byType && !byElement)
            return MCIERR_MISSING_PARAMETER;
        if (!byType && params->lpstrElementName.isEmpty())
            return MCIERR_FILENAME_REQUIRED;
        const Driver* driver = FindDriver(byType ? params->lpstrDeviceType : QString(), params->lpstrElementName);
        if (!driver)
            return byType ? MCIERR_INVALID_DEVICE_NAME : MCIERR_EXTENSION_NOT_FOUND;
        std::unique_ptr<MciDevice> device = driver->factory();
        MciLayerState& state = State();
        while (state.nextId == 0 || state.devices.count(state.nextId))
            ++state.nextId;
        device->m_id = state.nextId++;
        if (const MCIERROR error = device->Open(params->lpstrElementName, flags))
            return error;
        params->wDeviceID = device->m_id;
        if (flags & MCI_NOTIFY)
            device->Notify(params->dwCallback, MCI_NOTIFY_SUCCESSFUL);
        state.devices.emplace(device->m_id, std::move(device));
        return 0;
    }

    static MCIERROR Close(MCIDEVICEID id, std::uint32_t flags, MCI_GENERIC_PARMS* params)
    {
        auto found = State().devices.find(id);
        if (found == State().devices.end())
            return MCIERR_INVALID_DEVICE_ID;
        std::unique_ptr<MciDevice> device = std::move(found->second);
        State().devices.erase(found);
        device->Closing();
        if ((flags & MCI_NOTIFY) && params)
            device->Notify(params->dwCallback, MCI_NOTIFY_SUCCESSFUL);
        return 0;
    }
};

void MciRegisterDriver(const QString& typeName, const QStringList& extensions, MciDriverFactory factory)
{
    MciUnregisterDriver(typeName);
    State().drivers.push_back({typeName, extensions, std::move(factory)});
}

void MciUnregisterDriver(const QString& typeName)
{
    std::erase_if(State().drivers,
                  [&](const Driver& d) { return d.typeName.compare(typeName, Qt::CaseInsensitive) == 0; });
}

MCIERROR mciSendCommand(MCIDEVICEID device, unsigned message, std::uint32_t flags, void* params)
{
    if (message == MCI_OPEN)
        return MciLayer::Open(flags, static_cast<MCI_OPEN_PARMS*>(params));
    if (message == MCI_CLOSE)
        return MciLayer::Close(device, flags, static_cast<MCI_GENERIC_PARMS*>(params));
    auto found = State().devices.find(device);
    if (found == State().devices.end())
        return MCIERR_INVALID_DEVICE_ID;
    return found->second->Command(message, flags, params);
}

bool mciGetErrorString(MCIERROR error, QString& text)
{
    static const std::map<MCIERROR, const char*> texts = {
        {0, "The command completed successfully."},
        {MCIERR_INVALID_DEVICE_ID, "The device is not open: its identifier is unknown."},
        {MCIERR_UNRECOGNIZED_COMMAND, "The device does not know this command."},
        {MCIERR_HARDWARE, "The media device failed. Check that the audio output works."},
        {MCIERR_INVALID_DEVICE_NAME, "No media device of this type is installed."},
        {MCIERR_OUT_OF_MEMORY, "There is not enough memory for this command."},
        {MCIERR_CANNOT_LOAD_DRIVER,
         "No decoder is installed for this kind of media. Install the GStreamer plug-ins that play it."},
        {MCIERR_MISSING_PARAMETER, "The command needs a parameter that was not given."},
        {MCIERR_UNSUPPORTED_FUNCTION, "The media device cannot carry out this command."},
        {MCIERR_FILE_NOT_FOUND, "The file cannot be found. Check that the path and the file name are right."},
        {MCIERR_DEVICE_NOT_READY, "The media device did not answer in time."},
        {MCIERR_INTERNAL, "The media device met an internal error."},
        {MCIERR_DRIVER, "The media device failed while playing."},
        {MCIERR_EXTENSION_NOT_FOUND, "No media device plays files of this kind."},
        {MCIERR_OUTOFRANGE, "The position is outside the media."},
        {MCIERR_FLAGS_NOT_COMPATIBLE, "The command's flags cannot be used together."},
        {MCIERR_DEVICE_LOCKED, "The file is held by another program and cannot be opened."},
        {MCIERR_BAD_TIME_FORMAT, "The media device does not know this time format."},
        {MCIERR_INVALID_FILE, "The file cannot be played: it is damaged or not a media file."},
        {MCIERR_NULL_PARAMETER_BLOCK, "The command was sent without its parameters."},
        {MCIERR_NONAPPLICABLE_FUNCTION, "The command does not apply to this media."},
        {MCIERR_FILENAME_REQUIRED, "A file name is needed to open the media device."},
        {MCIERR_NO_WINDOW, "The media device has no window to show its picture in."},
    };
    const auto found = texts.find(error);
    if (found == texts.end())
        return false;
    text = QString::fromLatin1(found->second);
    return true;
}

} // namespace orvex
