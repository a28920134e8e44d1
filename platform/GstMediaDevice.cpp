#include "GstMediaDevice.h"

#include "AdtsLength.h"
#include "ShareRegistry.h"
#include "Streams.h"

#include <QFileInfo>
#include <algorithm>
#include <cstring>
#include <QUrl>
#include <gst/gst.h>
#include <mutex>

namespace orvex {

namespace {

void InitGStreamer()
{
    static std::once_flag once;
    std::call_once(once, [] { gst_init(nullptr, nullptr); });
}

MCIERROR ErrorOf(const GError* error)
{
    if (!error)
        return MCIERR_DRIVER;
    if (error->domain == GST_RESOURCE_ERROR) {
        switch (error->code) {
        case GST_RESOURCE_ERROR_NOT_FOUND:
        case GST_RESOURCE_ERROR_OPEN_READ:
        case GST_RESOURCE_ERROR_OPEN_READ_WRITE: return MCIERR_FILE_NOT_FOUND;
        case GST_RESOURCE_ERROR_READ: return MCIERR_INVALID_FILE;
        default: return MCIERR_HARDWARE;
        }
    }
    if (error->domain == GST_STREAM_ERROR)
        return error->code == GST_STREAM_ERROR_CODEC_NOT_FOUND ? MCIERR_CANNOT_LOAD_DRIVER : MCIERR_INVALID_FILE;
    if (error->domain == GST_CORE_ERROR && error->code == GST_CORE_ERROR_MISSING_PLUGIN)
        return MCIERR_CANNOT_LOAD_DRIVER;
    return MCIERR_DRIVER;
}

MCIERROR ErrorOfMessage(GstMessage* message)
{
    GError* error = nullptr;
    gst_message_parse_error(message, &error, nullptr);
    const MCIERROR code = ErrorOf(error);
    g_clear_error(&error);
    return code;
}

// Takes every message off the bus. Messages that nobody waits for must not
// pile up for as long as the device is open, and an error still queued
// belongs to an earlier command, not to the one about to run.
void DropMessages(GstBus* bus)
{
    while (GstMessage* message = gst_bus_pop(bus))
        gst_message_unref(message);
}

// Why a state change failed: the most telling error the pipeline posted. The
// element that gave up may report before the one that found the cause (a
// source's "stream stopped" before the type finder's "not a media file"), and
// the messages may still be on their way. The sequence numbers of the
// errors taken are added to answered: the command reports them.
MCIERROR FailureOnBus(GstBus* bus, std::vector<std::uint32_t>& answered)
{
    MCIERROR result = MCIERR_DRIVER;
    GstClockTime wait = 500 * GST_MSECOND;
    while (GstMessage* message = gst_bus_timed_pop_filtered(bus, wait, GST_MESSAGE_ERROR)) {
        const MCIERROR code = ErrorOfMessage(message);
        answered.push_back(gst_message_get_seqnum(message));
        gst_message_unref(message);
        if (result == MCIERR_DRIVER || code == MCIERR_CANNOT_LOAD_DRIVER)
            result = code;
        wait = 50 * GST_MSECOND;
    }
    return result;
}

GstElement* MakeAudioSink()
{
    const QByteArray wanted = qgetenv("ORVEX_AUDIO_SINK");
    GstElement* sink = gst_element_factory_make(wanted.isEmpty() ? "autoaudiosink" : wanted.constData(), nullptr);
    if (sink && wanted == "fakesink")
        g_object_set(sink, "sync", TRUE, nullptr);
    return sink;
}

// The header frame an encoder writes at the start of a file (its length and
// gapless figures) reaches the decoder as a frame of no duration; the mp3
// decoder asks for an empty output buffer for it, which its base class
// refuses with a critical warning. It holds no sound: it is dropped there.
GstPadProbeReturn DropTimelessFrame(GstPad*, GstPadProbeInfo* info, gpointer)
{
    const GstBuffer* buffer = GST_PAD_PROBE_INFO_BUFFER(info);
    if (buffer && GST_BUFFER_DURATION_IS_VALID(buffer) && GST_BUFFER_DURATION(buffer) == 0)
        return GST_PAD_PROBE_DROP;
    return GST_PAD_PROBE_OK;
}

void ElementSetUp(GstElement*, GstElement* element, gpointer)
{
    GstElementFactory* factory = gst_element_get_factory(element);
    if (!factory || std::strcmp(GST_OBJECT_NAME(factory), "mpg123audiodec") != 0)
        return;
    if (GstPad* pad = gst_element_get_static_pad(element, "sink")) {
        gst_pad_add_probe(pad, GST_PAD_PROBE_TYPE_BUFFER, &DropTimelessFrame, nullptr, nullptr);
        gst_object_unref(pad);
    }
}

} // namespace

GstMediaDevice::GstMediaDevice()
{
    InitGStreamer();
}

GstMediaDevice::~GstMediaDevice()
{
    ReleasePipeline();
}

void GstMediaDevice::ReleasePipeline()
{
    if (m_pipeline) {
        GstBus* bus = gst_element_get_bus(m_pipeline);
        gst_bus_set_sync_handler(bus, nullptr, nullptr, nullptr);
        gst_object_unref(bus);
        // Joins the streaming threads: no bus message comes after this.
        gst_element_set_state(m_pipeline, GST_STATE_NULL);
        gst_object_unref(m_pipeline);
        m_pipeline = nullptr;
    }
    ShareRegistry::Instance().Release(m_shareTicket);
    m_shareTicket = 0;
    m_estimatedMs = 0;
    m_answeredErrors.clear();
    m_mode = Mode::NotReady;
}

void GstMediaDevice::Closing()
{
    EndPending(MCI_NOTIFY_ABORTED);
    ReleasePipeline();
}

MCIERROR GstMediaDevice::Open(const QString& element, std::uint32_t /*flags*/)
{
    QString uri;
    if (element.contains(QLatin1String("://"))) {
        uri = element;
    } else {
        const QFileInfo file(element);
        if (!file.exists())
            return MCIERR_FILE_NOT_FOUND;
        if (!file.isFile())
            return MCIERR_INVALID_FILE;
        // Others may read the file while we hold it, but nobody may take it alone.
        if (ShareRegistry::Instance().Acquire(file.absoluteFilePath().toLocal8Bit().constData(), fmOpenRead,
                                              fmShareDenyWrite, &m_shareTicket) != 0)
            return MCIERR_DEVICE_LOCKED;
        uri = QUrl::fromLocalFile(file.absoluteFilePath()).toString(QUrl::FullyEncoded);
        m_estimatedMs = AdtsLengthMs(file.absoluteFilePath());
    }

    m_pipeline = gst_element_factory_make("playbin", nullptr);
    if (!m_pipeline) {
        ReleasePipeline();
        return MCIERR_CANNOT_LOAD_DRIVER;
    }
    g_object_set(m_pipeline, "uri", uri.toUtf8().constData(), nullptr);
    g_signal_connect(m_pipeline, "element-setup", G_CALLBACK(&ElementSetUp), nullptr);
    // Every message is looked at as it is posted: the end of a play and
    // failures while playing reach the main thread; errors also stay on the
    // bus for a command waiting on the pipeline; the rest is dropped.
    GstBus* bus = gst_element_get_bus(m_pipeline);
    gst_bus_set_sync_handler(bus, reinterpret_cast<GstBusSyncHandler>(&GstMediaDevice::OnBusMessage), this, nullptr);
    gst_object_unref(bus);
    if (GstElement* audio = MakeAudioSink())
        g_object_set(m_pipeline, "audio-sink", audio, nullptr);
    // Pictures are not shown in a window of ours; a video stream still counts.
    if (GstElement* video = gst_element_factory_make("fakesink", nullptr))
        g_object_set(m_pipeline, "video-sink", video, nullptr);

    if (const MCIERROR error = SetState(GST_STATE_PAUSED, kOpenTimeoutMs)) {
        ReleasePipeline();
        return error;
    }
    gint videoStreams = 0, audioStreams = 0;
    g_object_get(m_pipeline, "n-video", &videoStreams, "n-audio", &audioStreams, nullptr);
    m_hasVideo = videoStreams > 0;
    m_hasAudio = audioStreams > 0;
    if (!m_hasVideo && !m_hasAudio) {
        ReleasePipeline();
        return MCIERR_INVALID_FILE;
    }

    DropBusMessages();
    m_mode = Mode::Stopped;
    m_atEnd = false;
    m_stopMs = -1;
    return 0;
}

int GstMediaDevice::OnBusMessage(GstBus*, GstMessage* message, void* self)
{
    // Runs on a streaming thread: copy what matters and hand it over.
    // A message dropped here is ours to release.
    const int type = GST_MESSAGE_TYPE(message);
    if (type != GST_MESSAGE_EOS && type != GST_MESSAGE_ERROR) {
        gst_message_unref(message);
        return GST_BUS_DROP;
    }
    const std::uint32_t seqnum = gst_message_get_seqnum(message);
    auto* device = static_cast<GstMediaDevice*>(self);
    QMetaObject::invokeMethod(&device->m_receiver, [device, type, seqnum] { device->BusMessage(type, seqnum); },
                              Qt::QueuedConnection);
    if (type == GST_MESSAGE_ERROR)
        return GST_BUS_PASS;
    gst_message_unref(message);
    return GST_BUS_DROP;
}

void GstMediaDevice::DropBusMessages()
{
    if (!m_pipeline)
        return;
    GstBus* bus = gst_element_get_bus(m_pipeline);
    DropMessages(bus);
    gst_object_unref(bus);
}

bool GstMediaDevice::HasQueuedBusMessages() const
{
    if (!m_pipeline)
        return false;
    GstBus* bus = gst_element_get_bus(m_pipeline);
    const bool pending = gst_bus_have_pending(bus);
    gst_object_unref(bus);
    return pending;
}

void GstMediaDevice::BusMessage(int type, std::uint32_t seqnum)
{
    if (type == GST_MESSAGE_ERROR) {
        // The error has been handed over; its copy on the bus is no one's now.
        DropBusMessages();
        // A command that failed has reported this error as its own result;
        // it does not end a play that the command left going.
        const auto answered = std::find(m_answeredErrors.begin(), m_answeredErrors.end(), seqnum);
        if (answered != m_answeredErrors.end()) {
            m_answeredErrors.erase(answered);
            return;
        }
    }
    if (!m_pipeline || m_mode != Mode::Playing)
        return;
    // The play ended (or failed): the device stops where it is.
    gst_element_set_state(m_pipeline, GST_STATE_PAUSED);
    m_mode = Mode::Stopped;
    m_atEnd = type == GST_MESSAGE_EOS;
    EndPending(type == GST_MESSAGE_EOS ? MCI_NOTIFY_SUCCESSFUL : MCI_NOTIFY_FAILURE);
}

void GstMediaDevice::EndPending(unsigned result)
{
    if (m_pending)
        Notify(m_pending, result);
    m_pending = nullptr;
}

MCIERROR GstMediaDevice::SetState(int state, int timeoutMs)
{
    const GstStateChangeReturn change = gst_element_set_state(m_pipeline, static_cast<GstState>(state));
    if (change == GST_STATE_CHANGE_SUCCESS || change == GST_STATE_CHANGE_NO_PREROLL)
        return 0;
    GstBus* bus = gst_element_get_bus(m_pipeline);
    if (change == GST_STATE_CHANGE_FAILURE || timeoutMs == 0) {
        // Refused at once, or (with no time to wait) on its way.
        const MCIERROR result = change == GST_STATE_CHANGE_FAILURE ? FailureOnBus(bus, m_answeredErrors) : 0;
        gst_object_unref(bus);
        return result;
    }
    // Wait for the pipeline, watching for an error on the way.
    const gint64 deadline = g_get_monotonic_time() + static_cast<gint64>(timeoutMs) * 1000;
    MCIERROR result = MCIERR_DEVICE_NOT_READY;
    for (;;) {
        GstState current = GST_STATE_VOID_PENDING;
        const GstStateChangeReturn now = gst_element_get_state(m_pipeline, &current, nullptr, 20 * GST_MSECOND);
        if (now == GST_STATE_CHANGE_SUCCESS || now == GST_STATE_CHANGE_NO_PREROLL) {
            result = 0;
            break;
        }
        if (now == GST_STATE_CHANGE_FAILURE) {
            result = FailureOnBus(bus, m_answeredErrors);
            break;
        }
        if (g_get_monotonic_time() > deadline)
            break;
    }
    gst_object_unref(bus);
    return result;
}

std::uint32_t GstMediaDevice::LengthMs() const
{
    gint64 duration = 0;
    if (gst_element_query_duration(m_pipeline, GST_FORMAT_TIME, &duration) && duration >= 0)
        return static_cast<std::uint32_t>(duration / GST_MSECOND);
    // A stream without a length header (a plain constant-rate MP3) has its
    // length known to the parser only after a while of playing; until then
    // it is the size over the bit rate, as the parser itself will reckon.
    gint64 bytes = 0;
    GstTagList* tags = nullptr;
    g_signal_emit_by_name(m_pipeline, "get-audio-tags", 0, &tags);
    guint bitRate = 0;
    if (tags) {
        if (!gst_tag_list_get_uint(tags, GST_TAG_BITRATE, &bitRate))
            gst_tag_list_get_uint(tags, GST_TAG_NOMINAL_BITRATE, &bitRate);
        gst_tag_list_unref(tags);
    }
    if (bitRate == 0 || !gst_element_query_duration(m_pipeline, GST_FORMAT_BYTES, &bytes) || bytes <= 0)
        return m_estimatedMs;
    return static_cast<std::uint32_t>(bytes * 8000 / bitRate);
}

std::uint32_t GstMediaDevice::PositionMs() const
{
    // After the end of a play the device stands where the play stopped: at
    // its end position when one was given, else at the end of the media.
    if (m_atEnd)
        return m_stopMs >= 0 ? std::min(static_cast<std::uint32_t>(m_stopMs), LengthMs()) : LengthMs();
    gint64 position = 0;
    if (!gst_element_query_position(m_pipeline, GST_FORMAT_TIME, &position) || position < 0)
        return 0;
    return std::min(static_cast<std::uint32_t>(position / GST_MSECOND), LengthMs());
}

MCIERROR GstMediaDevice::SeekTo(std::int64_t ms, std::int64_t stopMs)
{
    // The stop is always set: without one the media plays to its end, and
    // an end position of an earlier play must not outlive that play.
    const auto flags = static_cast<GstSeekFlags>(GST_SEEK_FLAG_FLUSH | GST_SEEK_FLAG_ACCURATE);
    const gint64 stop = stopMs < 0 ? static_cast<gint64>(GST_CLOCK_TIME_NONE) : stopMs * static_cast<gint64>(GST_MSECOND);
    if (!gst_element_seek(m_pipeline, 1.0, GST_FORMAT_TIME, flags, GST_SEEK_TYPE_SET, ms * GST_MSECOND,
                          GST_SEEK_TYPE_SET, stop))
        return MCIERR_OUTOFRANGE;
    m_atEnd = false;
    m_stopMs = stopMs < 0 ? -1 : stopMs;
    return SetState(GST_STATE_PAUSED, kCommandTimeoutMs);
}

MCIERROR GstMediaDevice::Command(unsigned message, std::uint32_t flags, void* params)
{
    if (!m_pipeline)
        return MCIERR_DEVICE_NOT_READY;
    // Whatever is still on the bus happened before this command.
    DropBusMessages();
    QObject* callback = CallbackOf(params);
    MCIERROR result = 0;
    bool asynchronous = false;
    switch (message) {
    case MCI_PLAY:
        result = Play(flags, static_cast<MCI_PLAY_PARMS*>(params));
        asynchronous = result == 0 && m_mode == Mode::Playing;
        break;
    case MCI_PAUSE:
        if (m_mode == Mode::Playing) {
            result = SetState(GST_STATE_PAUSED, kCommandTimeoutMs);
            if (result == 0)
                m_mode = Mode::Paused;
        }
        break;
    case MCI_RESUME:
        if (m_mode != Mode::Paused)
            return MCIERR_NONAPPLICABLE_FUNCTION;
        // A refused resume leaves the device paused and the play pending.
        if (const MCIERROR error = SetState(GST_STATE_PLAYING, (flags & MCI_WAIT) ? kCommandTimeoutMs : 0)) {
            gst_element_set_state(m_pipeline, GST_STATE_PAUSED);
            return error;
        }
        if (flags & MCI_NOTIFY)
            EndPending(MCI_NOTIFY_SUPERSEDED);
        m_mode = Mode::Playing;
        asynchronous = true;
        break;
    case MCI_STOP:
        EndPending(MCI_NOTIFY_ABORTED);
        result = SetState(GST_STATE_PAUSED, kCommandTimeoutMs);
        m_mode = Mode::Stopped;
        break;
    case MCI_SEEK:
        EndPending(MCI_NOTIFY_ABORTED);
        result = Seek(flags, static_cast<MCI_SEEK_PARMS*>(params));
        break;
    case MCI_STATUS: result = Status(flags, static_cast<MCI_STATUS_PARMS*>(params)); break;
    case MCI_GETDEVCAPS: result = DeviceCaps(flags, static_cast<MCI_GETDEVCAPS_PARMS*>(params)); break;
    case MCI_SET: {
        auto* set = static_cast<MCI_SET_PARMS*>(params);
        if (flags & (MCI_SET_DOOR_OPEN | MCI_SET_DOOR_CLOSED))
            return MCIERR_UNSUPPORTED_FUNCTION;
        if (flags & MCI_SET_TIME_FORMAT) {
            if (!set)
                return MCIERR_NULL_PARAMETER_BLOCK;
            if (set->dwTimeFormat != MCI_FORMAT_MILLISECONDS)
                return MCIERR_BAD_TIME_FORMAT;
        }
        break;
    }
    case MCI_WHERE: result = Where(static_cast<MCI_ANIM_RECT_PARMS*>(params)); break;
    case MCI_WINDOW: {
        // Pictures show in the device's own (hidden) window only.
        auto* window = static_cast<MCI_ANIM_WINDOW_PARMS*>(params);
        if (window && window->hWnd)
            return MCIERR_NO_WINDOW;
        break;
    }
    case MCI_STEP: result = StepFrames(flags, static_cast<MCI_ANIM_STEP_PARMS*>(params)); break;
    case MCI_RECORD: return MCIERR_UNSUPPORTED_FUNCTION;
    default: return MCIERR_UNRECOGNIZED_COMMAND;
    }
    if (result != 0 || !(flags & MCI_NOTIFY))
        return result;
    if (asynchronous) {
        m_pending = callback; // told when the play ends
    } else {
        EndPending(MCI_NOTIFY_SUPERSEDED);
        Notify(callback, MCI_NOTIFY_SUCCESSFUL);
    }
    return 0;
}

MCIERROR GstMediaDevice::Play(std::uint32_t flags, MCI_PLAY_PARMS* params)
{
    const bool from = (flags & MCI_FROM) && params;
    const bool to = (flags & MCI_TO) && params;
    const std::uint32_t length = LengthMs();
    // A play refused before it starts leaves the one in progress alone.
    if ((from && params->dwFrom > length) || (to && params->dwTo > length))
        return MCIERR_OUTOFRANGE;
    EndPending(MCI_NOTIFY_ABORTED);
    if (from || to) {
        const std::int64_t start = from ? params->dwFrom : PositionMs();
        if (const MCIERROR error = SeekTo(start, to ? static_cast<std::int64_t>(params->dwTo) : -1))
            return error;
    } else if (m_stopMs >= 0) {
        // The last play was given an end; this one goes on to the end of the media.
        if (const MCIERROR error = SeekTo(PositionMs()))
            return error;
    }
    if (m_atEnd) {
        // Nothing left to play: the play ends at once.
        m_mode = Mode::Playing;
        QMetaObject::invokeMethod(&m_receiver, [this] { BusMessage(GST_MESSAGE_EOS, 0); }, Qt::QueuedConnection);
        return 0;
    }
    m_mode = Mode::Playing;
    if (const MCIERROR error = SetState(GST_STATE_PLAYING, (flags & MCI_WAIT) ? kCommandTimeoutMs : 0)) {
        gst_element_set_state(m_pipeline, GST_STATE_PAUSED);
        m_mode = Mode::Stopped;
        return error;
    }
    return 0;
}

MCIERROR GstMediaDevice::Seek(std::uint32_t flags, MCI_SEEK_PARMS* params)
{
    std::int64_t target = 0;
    if (flags & MCI_SEEK_TO_START)
        target = 0;
    else if (flags & MCI_SEEK_TO_END)
        target = LengthMs();
    else if ((flags & MCI_TO) && params)
        target = params->dwTo;
    else
        return MCIERR_MISSING_PARAMETER;
    if (target > LengthMs())
        return MCIERR_OUTOFRANGE;
    m_mode = Mode::Seeking;
    const MCIERROR result = SeekTo(target);
    m_mode = Mode::Stopped;
    return result;
}

MCIERROR GstMediaDevice::Status(std::uint32_t flags, MCI_STATUS_PARMS* params)
{
    if (!params)
        return MCIERR_NULL_PARAMETER_BLOCK;
    if (!(flags & MCI_STATUS_ITEM))
        return MCIERR_MISSING_PARAMETER;
    const bool track = flags & MCI_TRACK;
    if (track && params->dwTrack != 1)
        return MCIERR_OUTOFRANGE; // a file is one track
    switch (params->dwItem) {
    case MCI_STATUS_LENGTH: params->dwReturn = LengthMs(); break;
    case MCI_STATUS_POSITION: params->dwReturn = track ? 0 : PositionMs(); break;
    case MCI_STATUS_NUMBER_OF_TRACKS:
    case MCI_STATUS_CURRENT_TRACK: params->dwReturn = 1; break;
    case MCI_STATUS_MODE: {
        static constexpr std::uint32_t kModes[] = {MCI_MODE_NOT_READY, MCI_MODE_STOP, MCI_MODE_PLAY, MCI_MODE_PAUSE,
                                                   MCI_MODE_SEEK};
        params->dwReturn = kModes[static_cast<int>(m_mode)];
        break;
    }
    case MCI_STATUS_TIME_FORMAT: params->dwReturn = MCI_FORMAT_MILLISECONDS; break;
    case MCI_STATUS_MEDIA_PRESENT:
    case MCI_STATUS_READY: params->dwReturn = MCI_TRUE; break;
    default: return MCIERR_UNSUPPORTED_FUNCTION;
    }
    return 0;
}

MCIERROR GstMediaDevice::DeviceCaps(std::uint32_t flags, MCI_GETDEVCAPS_PARMS* params)
{
    if (!params)
        return MCIERR_NULL_PARAMETER_BLOCK;
    if (!(flags & MCI_GETDEVCAPS_ITEM))
        return MCIERR_MISSING_PARAMETER;
    switch (params->dwItem) {
    case MCI_GETDEVCAPS_CAN_PLAY:
    case MCI_GETDEVCAPS_USES_FILES:
    case MCI_GETDEVCAPS_COMPOUND_DEVICE: params->dwReturn = MCI_TRUE; break;
    case MCI_GETDEVCAPS_CAN_RECORD:
    case MCI_GETDEVCAPS_CAN_EJECT:
    case MCI_GETDEVCAPS_CAN_SAVE: params->dwReturn = MCI_FALSE; break;
    case MCI_GETDEVCAPS_HAS_VIDEO: params->dwReturn = m_hasVideo ? MCI_TRUE : MCI_FALSE; break;
    case MCI_GETDEVCAPS_HAS_AUDIO: params->dwReturn = m_hasAudio ? MCI_TRUE : MCI_FALSE; break;
    case MCI_GETDEVCAPS_DEVICE_TYPE: params->dwReturn = MCI_DEVTYPE_DIGITAL_VIDEO; break;
    default: return MCIERR_UNSUPPORTED_FUNCTION;
    }
    return 0;
}

MCIERROR GstMediaDevice::Where(MCI_ANIM_RECT_PARMS* params)
{
    if (!params)
        return MCIERR_NULL_PARAMETER_BLOCK;
    params->rc = {};
    if (!m_hasVideo)
        return 0;
    GstPad* pad = nullptr;
    g_signal_emit_by_name(m_pipeline, "get-video-pad", 0, &pad);
    if (!pad)
        return 0;
    if (GstCaps* caps = gst_pad_get_current_caps(pad)) {
        const GstStructure* s = gst_caps_get_structure(caps, 0);
        gint width = 0, height = 0;
        gst_structure_get_int(s, "width", &width);
        gst_structure_get_int(s, "height", &height);
        params->rc = {0, 0, width, height};
        gst_caps_unref(caps);
    }
    gst_object_unref(pad);
    return 0;
}

MCIERROR GstMediaDevice::StepFrames(std::uint32_t flags, MCI_ANIM_STEP_PARMS* params)
{
    if (!m_hasVideo || (flags & MCI_STEP_REVERSE))
        return MCIERR_UNSUPPORTED_FUNCTION;
    const guint64 frames = (flags & MCI_STEP_FRAMES) && params ? params->dwFrames : 1;
    // A step stops a play; a play that cannot be stopped goes on, still pending.
    if (m_mode == Mode::Playing) {
        if (const MCIERROR error = SetState(GST_STATE_PAUSED, kCommandTimeoutMs)) {
            // The elements that did pause play on with the rest.
            gst_element_set_state(m_pipeline, GST_STATE_PLAYING);
            return error;
        }
    }
    EndPending(MCI_NOTIFY_ABORTED);
    m_mode = Mode::Stopped;
    m_atEnd = false;
    if (!gst_element_send_event(m_pipeline, gst_event_new_step(GST_FORMAT_BUFFERS, frames, 1.0, TRUE, FALSE)))
        return MCIERR_UNSUPPORTED_FUNCTION;
    return 0;
}

void MciRegisterStandardDrivers()
{
    MciRegisterDriver(QStringLiteral("MPEGVideo"),
                      {QStringLiteral("mp3"), QStringLiteral("mp2"), QStringLiteral("mpa"), QStringLiteral("wav"),
                       QStringLiteral("ogg"), QStringLiteral("oga"), QStringLiteral("opus"), QStringLiteral("flac"),
                       QStringLiteral("m4a"), QStringLiteral("aac"), QStringLiteral("wma"), QStringLiteral("mpg"),
                       QStringLiteral("mpeg"), QStringLiteral("mp4"), QStringLiteral("avi"), QStringLiteral("webm"),
                       QStringLiteral("mkv"), QStringLiteral("http"), QStringLiteral("https")},
                      [] { return std::make_unique<GstMediaDevice>(); });
}

} // namespace orvex
