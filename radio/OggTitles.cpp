#include "OggTitles.h"

#include "GstPads.h"

#include <QMetaObject>
#include <gst/app/gstappsrc.h>
#include <gst/gst.h>

namespace orvex {

OggTitles::OggTitles(std::function<void(const QString&)> title, QObject* parent)
    : QObject(parent), m_title(std::move(title))
{
}

OggTitles::~OggTitles()
{
    Stop();
}

void OggTitles::Stop()
{
    m_stopped = true;
    if (m_pipeline == nullptr)
        return;
    gst_element_set_state(m_pipeline, GST_STATE_NULL);
    gst_object_unref(m_pipeline);
    m_pipeline = m_source = nullptr;
}

bool OggTitles::IsOgg(const QByteArray& head)
{
    return head.startsWith("OggS");
}

bool OggTitles::Start()
{
    m_pipeline = gst_pipeline_new(nullptr);
    m_source = gst_element_factory_make("appsrc", nullptr);
    GstElement* demux = gst_element_factory_make("oggdemux", nullptr);
    if (m_source == nullptr || demux == nullptr) {
        for (GstElement* e : {m_source, demux})
            if (e != nullptr)
                gst_object_unref(e);
        gst_object_unref(m_pipeline);
        m_pipeline = m_source = nullptr;
        return false;
    }
    GstCaps* caps = gst_caps_new_empty_simple("application/ogg");
    g_object_set(m_source, "caps", caps, "format", GST_FORMAT_BYTES, "is-live", TRUE, "max-bytes",
                 static_cast<guint64>(kMaxQueued), "block", FALSE, nullptr);
    gst_caps_unref(caps);
    gst_bin_add_many(GST_BIN(m_pipeline), m_source, demux, nullptr);
    gst_element_link(m_source, demux);
    g_signal_connect(demux, "pad-added", G_CALLBACK(&OggTitles::OnPad), this);
    gst_element_set_state(m_pipeline, GST_STATE_PLAYING);
    return true;
}

void OggTitles::Push(const QByteArray& bytes)
{
    if (m_source == nullptr || bytes.isEmpty())
        return;
    guint64 queued = 0;
    g_object_get(m_source, "current-level-bytes", &queued, nullptr);
    if (queued + bytes.size() > kMaxQueued)
        return;
    GstBuffer* buffer = gst_buffer_new_memdup(bytes.constData(), static_cast<gsize>(bytes.size()));
    gst_app_src_push_buffer(GST_APP_SRC(m_source), buffer);
}

void OggTitles::OnPad(void*, void* pad, void* self)
{
    auto* titles = static_cast<OggTitles*>(self);
    // Each chained stream gets pads of its own: each goes to a sink that
    // only reads its tags.
    GstPad* sinkPad = NewDropSinkPad(titles->m_pipeline);
    gst_pad_add_probe(sinkPad, GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM,
                      reinterpret_cast<GstPadProbeCallback>(&OggTitles::OnTags), self, nullptr);
    gst_pad_link(static_cast<GstPad*>(pad), sinkPad);
    gst_object_unref(sinkPad);
}

int OggTitles::OnTags(void*, void* i, void* self)
{
    auto* titles = static_cast<OggTitles*>(self);
    const std::optional<QString> title = TagOfEvent(i, GST_TAG_TITLE);
    if (!title)
        return GST_PAD_PROBE_OK;
    const std::optional<QString> artist = TagOfEvent(i, GST_TAG_ARTIST);
    const QString text = artist && !artist->isEmpty() ? *artist + QStringLiteral(" - ") + *title : *title;
    QMetaObject::invokeMethod(
        titles,
        [titles, text] {
            if (!titles->m_stopped && titles->m_title)
                titles->m_title(text);
        },
        Qt::QueuedConnection);
    return GST_PAD_PROBE_OK;
}

} // namespace orvex
