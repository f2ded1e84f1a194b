// SPDX-License-Identifier: GPL-3.0-or-later
#include "playback/LastPicture.h"

#include "playback/GstHandles.h"

#include <gst/app/gstappsink.h>

namespace {

constexpr guint kPlayFlagVideo = 1u << 0; // playbin's flags: the picture alone
constexpr GstClockTime kWait = 5 * GST_SECOND;

} // namespace

namespace LastPicture {

GstSample* Before(const QByteArray& uri, const char* caps, gint64 ns, std::vector<gint64>* starts) {
    // Both held by a reference of our own: playbin takes a floating sink as its own, and ours
    // would then be one unref too many.
    GstElementPtr pipeline(gst_element_factory_make("playbin", nullptr));
    GstElementPtr sink(gst_element_factory_make("appsink", nullptr));
    if (!pipeline || !sink)
        return nullptr;
    gst_object_ref_sink(pipeline.get());
    gst_object_ref_sink(sink.get());
    GstCapsPtr sinkCaps(gst_caps_from_string(caps));
    // As fast as it decodes, every frame kept until taken.
    g_object_set(sink.get(), "caps", sinkCaps.get(), "sync", FALSE, "enable-last-sample", FALSE,
                 nullptr);
    g_object_set(pipeline.get(), "uri", uri.constData(), "video-sink", sink.get(), "flags",
                 kPlayFlagVideo, nullptr);
    GstElement* graph = pipeline.get();
    const auto stop = [graph] { gst_element_set_state(graph, GST_STATE_NULL); };
    if (gst_element_set_state(graph, GST_STATE_PAUSED) == GST_STATE_CHANGE_FAILURE ||
        gst_element_get_state(graph, nullptr, nullptr, kWait) != GST_STATE_CHANGE_SUCCESS) {
        stop();
        return nullptr;
    }
    // From the key frame before the target on, to the end of the stream: past the picture's end
    // the last frame is the one wanted, and the stream ends soon after it.
    if (!gst_element_seek_simple(
            graph, GST_FORMAT_TIME,
            GstSeekFlags(GST_SEEK_FLAG_FLUSH | GST_SEEK_FLAG_KEY_UNIT | GST_SEEK_FLAG_SNAP_BEFORE),
            ns) ||
        gst_element_get_state(graph, nullptr, nullptr, kWait) != GST_STATE_CHANGE_SUCCESS ||
        gst_element_set_state(graph, GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE) {
        stop();
        return nullptr;
    }
    GstSamplePtr last;
    gint64 lastPts = -1;
    for (;;) {
        GstSample* sample = gst_app_sink_try_pull_sample(GST_APP_SINK(sink.get()), kWait);
        if (!sample)
            break; // the end of the stream, or nothing in time
        GstSamplePtr held(sample);
        GstBuffer* buffer = gst_sample_get_buffer(sample);
        const gint64 pts =
            buffer && GST_BUFFER_PTS_IS_VALID(buffer) ? gint64(GST_BUFFER_PTS(buffer)) : -1;
        const GstSegment* segment = gst_sample_get_segment(sample);
        const gint64 time =
            segment && pts >= 0
                ? gint64(gst_segment_to_stream_time(segment, GST_FORMAT_TIME, guint64(pts)))
                : -1;
        if (time < 0)
            continue;
        if (starts)
            starts->push_back(pts);
        if (time > ns)
            break;
        if (pts > lastPts) {
            last = std::move(held);
            lastPts = pts;
        }
    }
    stop();
    return last.release();
}

} // namespace LastPicture
