#pragma once

#include <gst/gst.h>

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

} // namespace orvex
