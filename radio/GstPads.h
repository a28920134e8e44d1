#pragma once

#include <QString>
#include <gst/gst.h>
#include <optional>

namespace orvex {

// A sink in pipeline that reads a pad's data as it comes and drops it, so
// that a demuxer's other outputs never stop it for want of a reader; its
// sink pad, for the caller to link (and unref).
inline GstPad* NewDropSinkPad(GstElement* pipeline)
{
    GstElement* sink = gst_element_factory_make("fakesink", nullptr);
    g_object_set(sink, "sync", FALSE, "async", FALSE, nullptr);
    gst_bin_add(GST_BIN(pipeline), sink);
    gst_element_sync_state_with_parent(sink);
    return gst_element_get_static_pad(sink, "sink");
}

// A string tag (GST_TAG_TITLE, GST_TAG_ARTIST ...) of the tag event a pad
// probe sees; nothing for another event or a tag list without it.
inline std::optional<QString> TagOfEvent(void* probeInfo, const char* tag)
{
    GstEvent* event = GST_PAD_PROBE_INFO_EVENT(static_cast<GstPadProbeInfo*>(probeInfo));
    if (GST_EVENT_TYPE(event) != GST_EVENT_TAG)
        return std::nullopt;
    GstTagList* tags = nullptr;
    gst_event_parse_tag(event, &tags);
    gchar* value = nullptr;
    if (tags == nullptr || !gst_tag_list_get_string(tags, tag, &value))
        return std::nullopt;
    QString text = QString::fromUtf8(value);
    g_free(value);
    return text;
}

} // namespace orvex
