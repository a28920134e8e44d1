#include "StreamFetch.h"

#include "GstPads.h"

#include <QMetaObject>
#include <gst/app/gstappsink.h>
#include <gst/gst.h>

namespace orvex {

namespace {

void InitGStreamer()
{
    static std::once_flag once;
    std::call_once(once, [] {
        // icydemux decodes a title that is not valid UTF-8 with the first
        // charset named here; radio servers that do not send UTF-8 send
        // Windows-1252 (of which ISO-8859-1, the library's own fallback, is
        // a part). Set before the first pipeline, and only when unset.
        g_setenv("GST_ICY_TAG_ENCODING", "WINDOWS-1252", FALSE);
        gst_init(nullptr, nullptr);
    });
}

QString HeaderText(const GValue* value)
{
    if (G_VALUE_HOLDS_STRING(value))
        return QString::fromUtf8(g_value_get_string(value));
    // A header sent more than once comes as an array: its first value counts.
    if (GST_VALUE_HOLDS_ARRAY(value) && gst_value_array_get_size(value) > 0)
        return HeaderText(gst_value_array_get_value(value, 0));
    return {};
}

// The stream's type as the caps of its first bytes give it.
QString CapsType(GstCaps* caps)
{
    if (caps == nullptr || gst_caps_get_size(caps) == 0)
        return {};
    const GstStructure* s = gst_caps_get_structure(caps, 0);
    const QString name = QString::fromUtf8(gst_structure_get_name(s));
    int version = 0;
    if (name == u"audio/mpeg" && gst_structure_get_int(s, "mpegversion", &version) && (version == 2 || version == 4))
        return QStringLiteral("audio/aac");
    return name;
}

StreamFetch::Answer ReadAnswer(const GstStructure* s, const QUrl& asked)
{
    StreamFetch::Answer answer;
    guint status = 0;
    if (gst_structure_get_uint(s, "http-status-code", &status))
        answer.status = static_cast<int>(status);
    const gchar* uri = gst_structure_get_string(s, "uri");
    answer.address = uri != nullptr ? QUrl(QString::fromUtf8(uri)) : asked;
    const GstStructure* headers = nullptr;
    if (gst_structure_get(s, "response-headers", GST_TYPE_STRUCTURE, &headers, nullptr) && headers != nullptr) {
        const int count = gst_structure_n_fields(headers);
        for (int i = 0; i < count; ++i) {
            const gchar* name = gst_structure_nth_field_name(headers, i);
            answer.headers.insert(QString::fromUtf8(name).toLower(),
                                  HeaderText(gst_structure_get_value(headers, name)).trimmed());
        }
        gst_structure_free(const_cast<GstStructure*>(headers));
    }
    answer.contentType = answer.headers.value(QStringLiteral("content-type")).section(u';', 0, 0).trimmed().toLower();
    const QString location = answer.headers.value(QStringLiteral("location"));
    if (!location.isEmpty())
        answer.location = answer.address.resolved(QUrl(location));
    return answer;
}

} // namespace

StreamFetch::StreamFetch(const QUrl& address, Handlers handlers, QObject* parent, Kind kind)
    : QObject(parent), m_address(address), m_handlers(std::move(handlers)), m_kind(kind)
{
}

StreamFetch::~StreamFetch()
{
    Stop();
}

bool StreamFetch::Start()
{
    InitGStreamer();
    m_pipeline = gst_pipeline_new(nullptr);
    if (m_kind == Kind::Hls && !BuildHls())
        return false;
    if (m_kind == Kind::Radio) {
        m_source = gst_element_factory_make("souphttpsrc", nullptr);
        m_demux = gst_element_factory_make("icydemux", nullptr);
        m_sink = gst_element_factory_make("appsink", nullptr);
        if (m_source == nullptr || m_demux == nullptr || m_sink == nullptr) {
            for (GstElement* e : {m_source, m_demux, m_sink})
                if (e != nullptr)
                    gst_object_unref(e);
            m_source = m_demux = m_sink = nullptr;
            m_error = QStringLiteral("GStreamer's souphttpsrc, icydemux or appsink is missing");
            return false;
        }
        gst_bin_add_many(GST_BIN(m_pipeline), m_source, m_demux, m_sink, nullptr);
    }

    const QByteArray location = m_address.toEncoded();
    g_object_set(m_source, "location", location.constData(), "iradio-mode", m_kind == Kind::Radio,
                 "automatic-redirect", FALSE, "retries", 0, "timeout", kIoTimeoutSeconds, "keep-alive", FALSE, nullptr);
    g_object_set(m_sink, "sync", FALSE, "max-buffers", 2u, nullptr);
    GstAppSinkCallbacks callbacks{};
    callbacks.new_sample = reinterpret_cast<GstFlowReturn (*)(GstAppSink*, gpointer)>(&StreamFetch::OnNewSample);
    gst_app_sink_set_callbacks(GST_APP_SINK(m_sink), &callbacks, this, nullptr);

    if (m_kind == Kind::Radio) {
        // The source's caps say whether metadata is interleaved: only then
        // does the demuxer go between it and the sink.
        GstPad* sourcePad = gst_element_get_static_pad(m_source, "src");
        gst_pad_add_probe(sourcePad,
                          static_cast<GstPadProbeType>(GST_PAD_PROBE_TYPE_BUFFER | GST_PAD_PROBE_TYPE_BUFFER_LIST |
                                                       GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM),
                          reinterpret_cast<GstPadProbeCallback>(&StreamFetch::OnSourceItem), this, nullptr);
        gst_object_unref(sourcePad);
        g_signal_connect(m_demux, "pad-added", G_CALLBACK(&StreamFetch::OnDemuxPad), this);
    }
    GstPad* sinkPad = gst_element_get_static_pad(m_sink, "sink");
    gst_pad_add_probe(sinkPad, GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM,
                      reinterpret_cast<GstPadProbeCallback>(&StreamFetch::OnSinkEvent), this, nullptr);
    gst_object_unref(sinkPad);

    GstBus* bus = gst_element_get_bus(m_pipeline);
    gst_bus_set_sync_handler(bus, reinterpret_cast<GstBusSyncHandler>(&StreamFetch::OnBusMessage), this, nullptr);
    gst_object_unref(bus);
    // A refusal's reason comes through the bus, as every later failure does.
    // Starting the source sets up its HTTP session and TLS: tens of
    // milliseconds that the owner's thread (the window's) does not wait for.
    m_starter = std::thread([pipeline = m_pipeline] { gst_element_set_state(pipeline, GST_STATE_PLAYING); });
    return true;
}

bool StreamFetch::BuildHls()
{
    m_source = gst_element_factory_make("souphttpsrc", nullptr);
    m_demux = gst_element_factory_make("hlsdemux", nullptr);
    m_parser = gst_element_factory_make("parsebin", nullptr);
    m_sink = gst_element_factory_make("appsink", nullptr);
    if (m_source == nullptr || m_demux == nullptr || m_parser == nullptr || m_sink == nullptr) {
        for (GstElement* e : {m_source, m_demux, m_parser, m_sink})
            if (e != nullptr)
                gst_object_unref(e);
        m_source = m_demux = m_parser = m_sink = nullptr;
        m_error = QStringLiteral("GStreamer's HLS demuxer (hlsdemux, of gstreamer1.0-plugins-bad) is missing");
        return false;
    }
    gst_bin_add_many(GST_BIN(m_pipeline), m_source, m_demux, m_parser, m_sink, nullptr);
    gst_element_link(m_source, m_demux);
    g_signal_connect(m_demux, "pad-added", G_CALLBACK(&StreamFetch::OnHlsPad), this);
    g_signal_connect(m_parser, "pad-added", G_CALLBACK(&StreamFetch::OnParsedPad), this);
    return true;
}

void StreamFetch::Stop()
{
    if (m_pipeline == nullptr)
        return;
    m_stopped = true;
    {
        std::lock_guard lock(m_mutex);
        m_closing = true;
    }
    m_drained.notify_all();
    if (m_starter.joinable())
        m_starter.join();
    // Joins the streaming threads and closes the connection.
    gst_element_set_state(m_pipeline, GST_STATE_NULL);
    GstBus* bus = gst_element_get_bus(m_pipeline);
    gst_bus_set_sync_handler(bus, nullptr, nullptr, nullptr);
    gst_object_unref(bus);
    gst_object_unref(m_pipeline);
    m_pipeline = m_source = m_demux = m_parser = m_sink = nullptr;
}

void StreamFetch::Post(std::function<void()> work)
{
    QMetaObject::invokeMethod(
        this,
        [this, work = std::move(work)] {
            if (!m_stopped)
                work();
        },
        Qt::QueuedConnection);
}

int StreamFetch::OnBusMessage(void*, void* m, void* self)
{
    auto* fetch = static_cast<StreamFetch*>(self);
    auto* message = static_cast<GstMessage*>(m);
    switch (GST_MESSAGE_TYPE(message)) {
    case GST_MESSAGE_ELEMENT: {
        const GstStructure* s = gst_message_get_structure(message);
        // The HLS demuxer's own fetches (playlist refreshes, segments)
        // answer too: only the source's answer is the station's.
        if (s != nullptr && gst_structure_has_name(s, "http-headers") &&
            GST_MESSAGE_SRC(message) == GST_OBJECT(fetch->m_source)) {
            Answer answer = ReadAnswer(s, fetch->m_address);
            fetch->Post([fetch, answer] {
                if (fetch->m_handlers.answered)
                    fetch->m_handlers.answered(answer);
            });
        }
        break;
    }
    case GST_MESSAGE_ERROR: {
        GError* error = nullptr;
        gst_message_parse_error(message, &error, nullptr);
        QString reason = error != nullptr ? QString::fromUtf8(error->message) : QStringLiteral("unknown error");
        g_clear_error(&error);
        fetch->Post([fetch, reason] {
            if (fetch->m_handlers.failed)
                fetch->m_handlers.failed(reason);
        });
        break;
    }
    case GST_MESSAGE_EOS:
        fetch->Post([fetch] {
            if (fetch->m_handlers.ended)
                fetch->m_handlers.ended();
        });
        break;
    default:
        break;
    }
    // A sync handler that drops a message releases it.
    gst_message_unref(message);
    return GST_BUS_DROP;
}

int StreamFetch::OnSourceItem(void* p, void* i, void* self)
{
    auto* fetch = static_cast<StreamFetch*>(self);
    auto* pad = static_cast<GstPad*>(p);
    auto* info = static_cast<GstPadProbeInfo*>(i);
    bool metadata = false;
    if (info->type & GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM) {
        GstEvent* event = GST_PAD_PROBE_INFO_EVENT(info);
        if (GST_EVENT_TYPE(event) != GST_EVENT_CAPS)
            return GST_PAD_PROBE_OK; // sticky: it reaches the peer once linked
        GstCaps* caps = nullptr;
        gst_event_parse_caps(event, &caps);
        const GstStructure* s = caps != nullptr && gst_caps_get_size(caps) > 0 ? gst_caps_get_structure(caps, 0) : nullptr;
        int interval = 0;
        metadata = s != nullptr && gst_structure_has_name(s, "application/x-icy") &&
                   gst_structure_get_int(s, "metadata-interval", &interval) && interval > 0;
    }
    GstPad* peer = gst_element_get_static_pad(metadata ? fetch->m_demux : fetch->m_sink, "sink");
    gst_pad_link(pad, peer);
    gst_object_unref(peer);
    return GST_PAD_PROBE_REMOVE;
}

void StreamFetch::OnDemuxPad(void*, void* pad, void* self)
{
    auto* fetch = static_cast<StreamFetch*>(self);
    GstPad* sinkPad = gst_element_get_static_pad(fetch->m_sink, "sink");
    if (!gst_pad_is_linked(sinkPad))
        gst_pad_link(static_cast<GstPad*>(pad), sinkPad);
    gst_object_unref(sinkPad);
}

void StreamFetch::OnHlsPad(void*, void* pad, void* self)
{
    auto* fetch = static_cast<StreamFetch*>(self);
    GstPad* parserPad = gst_element_get_static_pad(fetch->m_parser, "sink");
    if (!gst_pad_is_linked(parserPad))
        gst_pad_link(static_cast<GstPad*>(pad), parserPad);
    gst_object_unref(parserPad);
}

void StreamFetch::OnParsedPad(void*, void* p, void* self)
{
    auto* fetch = static_cast<StreamFetch*>(self);
    auto* pad = static_cast<GstPad*>(p);
    GstCaps* caps = gst_pad_get_current_caps(pad);
    if (caps == nullptr)
        caps = gst_pad_query_caps(pad, nullptr);
    const QString type = CapsType(caps);
    gst_caps_unref(caps);
    GstPad* sinkPad = gst_element_get_static_pad(fetch->m_sink, "sink");
    const bool audio = type == u"audio/aac" || type == u"audio/mpeg";
    if (audio && !gst_pad_is_linked(sinkPad)) {
        gst_pad_link(pad, sinkPad);
    } else {
        // A variant's video, its metadata or a second audio track: read and
        // dropped, so that the demuxer does not stop for want of a reader.
        GstPad* dropPad = NewDropSinkPad(fetch->m_pipeline);
        gst_pad_link(pad, dropPad);
        gst_object_unref(dropPad);
    }
    gst_object_unref(sinkPad);
}

int StreamFetch::OnSinkEvent(void*, void* i, void* self)
{
    auto* fetch = static_cast<StreamFetch*>(self);
    if (std::optional<QString> title = TagOfEvent(i, GST_TAG_TITLE)) {
        fetch->Post([fetch, text = std::move(*title)] {
            if (fetch->m_handlers.title)
                fetch->m_handlers.title(text);
        });
    }
    return GST_PAD_PROBE_OK;
}

int StreamFetch::OnNewSample(void* s, void* self)
{
    auto* fetch = static_cast<StreamFetch*>(self);
    GstSample* sample = gst_app_sink_pull_sample(GST_APP_SINK(s));
    if (sample == nullptr)
        return GST_FLOW_EOS;
    QString caps;
    if (!fetch->m_capsSent) {
        fetch->m_capsSent = true;
        caps = CapsType(gst_sample_get_caps(sample));
    }
    QByteArray bytes;
    if (GstBuffer* buffer = gst_sample_get_buffer(sample)) {
        GstMapInfo map;
        if (gst_buffer_map(buffer, &map, GST_MAP_READ)) {
            bytes = QByteArray(reinterpret_cast<const char*>(map.data), static_cast<qsizetype>(map.size));
            gst_buffer_unmap(buffer, &map);
        }
    }
    gst_sample_unref(sample);

    const qint64 size = bytes.size();
    {
        std::unique_lock lock(fetch->m_mutex);
        fetch->m_drained.wait(lock, [fetch] { return fetch->m_closing || fetch->m_inFlight < kMaxInFlight; });
        if (fetch->m_closing)
            return GST_FLOW_FLUSHING;
        fetch->m_inFlight += size;
    }
    QMetaObject::invokeMethod(
        fetch,
        [fetch, bytes, caps, size] {
            {
                std::lock_guard lock(fetch->m_mutex);
                fetch->m_inFlight -= size;
            }
            fetch->m_drained.notify_all();
            if (!fetch->m_stopped && fetch->m_handlers.data)
                fetch->m_handlers.data(bytes, caps);
        },
        Qt::QueuedConnection);
    return GST_FLOW_OK;
}

} // namespace orvex
