#include "ScriptedDevice.h"

namespace orvex::testing {

std::vector<DeviceScript::Sent> DeviceScript::Actions() const
{
    std::vector<Sent> actions;
    for (const Sent& s : sent)
        if (s.message != MCI_STATUS && s.message != MCI_GETDEVCAPS && s.message != MCI_WHERE)
            actions.push_back(s);
    return actions;
}

MCIERROR ScriptedDevice::Open(const QString& element, std::uint32_t flags)
{
    ++m_script->opens;
    m_script->openedElement = element;
    m_script->openFlags = flags;
    return m_script->openResult;
}

MCIERROR ScriptedDevice::Command(unsigned message, std::uint32_t flags, void* params)
{
    DeviceScript& s = *m_script;
    DeviceScript::Sent sent{message, flags};
    MCIERROR result = s.results.count(message) ? s.results.at(message) : 0;
    switch (message) {
    case MCI_PLAY:
    case MCI_RECORD: {
        auto* p = static_cast<MCI_PLAY_PARMS*>(params);
        sent.from = p->dwFrom;
        sent.to = p->dwTo;
        if (result == 0)
            s.mode = message == MCI_PLAY ? MCI_MODE_PLAY : MCI_MODE_RECORD;
        break;
    }
    case MCI_SEEK: {
        auto* p = static_cast<MCI_SEEK_PARMS*>(params);
        sent.to = p ? p->dwTo : 0;
        if (result == 0 && (flags & MCI_SEEK_TO_START))
            s.position = 0;
        break;
    }
    case MCI_STATUS: {
        auto* p = static_cast<MCI_STATUS_PARMS*>(params);
        sent.item = p->dwItem;
        sent.track = p->dwTrack;
        if (flags & MCI_TRACK) {
            p->dwReturn = s.trackPositions.count(p->dwTrack) ? s.trackPositions.at(p->dwTrack) : 0;
            break;
        }
        switch (p->dwItem) {
        case MCI_STATUS_LENGTH: p->dwReturn = s.length; break;
        case MCI_STATUS_POSITION: p->dwReturn = s.position; break;
        case MCI_STATUS_NUMBER_OF_TRACKS: p->dwReturn = s.tracks; break;
        case MCI_STATUS_MODE: p->dwReturn = s.mode; break;
        case MCI_STATUS_TIME_FORMAT: p->dwReturn = s.timeFormat; break;
        default: break;
        }
        break;
    }
    case MCI_GETDEVCAPS: {
        auto* p = static_cast<MCI_GETDEVCAPS_PARMS*>(params);
        sent.item = p->dwItem;
        switch (p->dwItem) {
        case MCI_GETDEVCAPS_CAN_PLAY: p->dwReturn = s.canPlay; break;
        case MCI_GETDEVCAPS_CAN_RECORD: p->dwReturn = s.canRecord; break;
        case MCI_GETDEVCAPS_CAN_EJECT: p->dwReturn = s.canEject; break;
        case MCI_GETDEVCAPS_HAS_VIDEO: p->dwReturn = s.hasVideo; break;
        case MCI_GETDEVCAPS_DEVICE_TYPE: p->dwReturn = s.deviceType; break;
        default: break;
        }
        break;
    }
    case MCI_SET: {
        auto* p = static_cast<MCI_SET_PARMS*>(params);
        sent.timeFormat = p->dwTimeFormat;
        if (result == 0 && (flags & MCI_SET_TIME_FORMAT))
            s.timeFormat = p->dwTimeFormat;
        break;
    }
    case MCI_STEP: sent.frames = static_cast<MCI_ANIM_STEP_PARMS*>(params)->dwFrames; break;
    case MCI_WINDOW: sent.window = static_cast<MCI_ANIM_WINDOW_PARMS*>(params)->hWnd; break;
    case MCI_WHERE: static_cast<MCI_ANIM_RECT_PARMS*>(params)->rc = s.where; break;
    case MCI_PAUSE:
        if (result == 0)
            s.mode = MCI_MODE_PAUSE;
        break;
    case MCI_RESUME:
        if (result == 0)
            s.mode = MCI_MODE_PLAY;
        break;
    case MCI_STOP:
        if (result == 0)
            s.mode = MCI_MODE_STOP;
        break;
    default: break;
    }
    s.sent.push_back(sent);
    if (result == 0 && (flags & MCI_NOTIFY) && params && message != MCI_PLAY && message != MCI_RECORD &&
        message != MCI_RESUME)
        Notify(CallbackOf(params), MCI_NOTIFY_SUCCESSFUL);
    return result;
}

ScopedScriptedDriver::ScopedScriptedDriver(const QString& typeName) : m_typeName(typeName)
{
    auto shared = script;
    MciRegisterDriver(typeName, {QStringLiteral("scripted")},
                      [shared] { return std::make_unique<ScriptedDevice>(shared); });
}

ScopedScriptedDriver::~ScopedScriptedDriver()
{
    MciUnregisterDriver(m_typeName);
}

} // namespace orvex::testing
