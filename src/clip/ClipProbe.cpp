// SPDX-License-Identifier: GPL-3.0-or-later
#include "clip/ClipProbe.h"

#include "clip/StreamTime.h"
#include "playback/GstHandles.h"

#include <QFile>
#include <algorithm>
#include <atomic>
#include <gst/gst.h>
#include <mutex>

namespace ClipExport {

// How long after the last stream shown the streams are taken to be all there.
constexpr gint64 kStreamsSettledUs = 150 * 1000;

namespace {

// What the probe's pads see, on streaming threads.
struct Probed {
    std::atomic<bool> allPads{false};
    std::atomic<int> pads{0};
    std::atomic<gint64> lastPad{0};                  // monotonic µs
    std::atomic<guint32> seqnum{GST_SEQNUM_INVALID}; // the key-unit seek's
    gint64 target = 0;                               // the time asked about, recording's ns
    // The video's streaming thread only, until `passed` is set.
    GstSegment segment{}; // the seek's
    bool inSeek = false;
    gint64 key = -1; // the latest key frame presented by the target, recording's time
    std::atomic<bool> passed{false};     // a frame decoded after the target went by: `key` is final
    std::atomic<GstPad*> video{nullptr}; // the first picture stream (a reference), once shown
};

GstPadProbeReturn OnProbedVideo(GstPad*, GstPadProbeInfo* info, gpointer data) {
    Probed& probed = *static_cast<Probed*>(data);
    if (GST_PAD_PROBE_INFO_TYPE(info) & GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM) {
        GstEvent* event = GST_PAD_PROBE_INFO_EVENT(info);
        const GstSegment* segment = nullptr;
        if (GST_EVENT_TYPE(event) == GST_EVENT_SEGMENT &&
            gst_event_get_seqnum(event) == probed.seqnum.load()) {
            gst_event_parse_segment(event, &segment);
            gst_segment_copy_into(segment, &probed.segment);
            probed.inSeek = true;
        } else if (GST_EVENT_TYPE(event) == GST_EVENT_EOS && probed.inSeek) {
            probed.passed = true;
        }
        return GST_PAD_PROBE_OK;
    }
    // The demuxer sends the picture from a key frame before the earliest key of any stream
    // (a sound frame's boundary may lie just before the picture's key frame): the frames are
    // read on until one decoded after the target, and the last key frame presented by it wins.
    // Buffer times are the demuxer's own (an edit list shifts them); the segment makes them
    // times in the recording.
    GstBuffer* buffer = GST_PAD_PROBE_INFO_BUFFER(info);
    if (!probed.inSeek || probed.passed)
        return GST_PAD_PROBE_OK;
    const auto pts = GST_BUFFER_PTS_IS_VALID(buffer)
                         ? StreamTime(probed.segment, GST_BUFFER_PTS(buffer))
                         : std::nullopt;
    const auto dts =
        GST_BUFFER_DTS_IS_VALID(buffer) ? StreamTime(probed.segment, GST_BUFFER_DTS(buffer)) : pts;
    if (pts && *pts <= probed.target && !GST_BUFFER_FLAG_IS_SET(buffer, GST_BUFFER_FLAG_DELTA_UNIT))
        probed.key = *pts;
    if (dts && *dts > probed.target)
        probed.passed = true;
    return GST_PAD_PROBE_OK;
}

void OnProbedPad(GstElement* parser, GstPad* pad, gpointer data) {
    Probed& probed = *static_cast<Probed*>(data);
    GstElementPtr pipeline(GST_ELEMENT(gst_element_get_parent(parser)));
    // Each stream prerolls on a thread of its own: the demuxer's one thread would otherwise
    // wait in the first sink while the others starve.
    GstElement* queue = gst_element_factory_make("queue", nullptr);
    GstElement* sink = gst_element_factory_make("fakesink", nullptr);
    g_object_set(sink, "sync", FALSE, nullptr);
    gst_bin_add_many(GST_BIN(pipeline.get()), queue, sink, nullptr);
    gst_element_link(queue, sink);
    GstPadPtr in(gst_element_get_static_pad(queue, "sink"));
    gst_pad_link(pad, in.get());
    GstCapsPtr caps(gst_pad_query_caps(pad, nullptr));
    const GstStructure* s =
        caps && !gst_caps_is_empty(caps.get()) ? gst_caps_get_structure(caps.get(), 0) : nullptr;
    const char* name = s ? gst_structure_get_name(s) : "";
    GstPad* none = nullptr;
    if ((g_str_has_prefix(name, "video/") || g_str_has_prefix(name, "image/")) &&
        probed.video.compare_exchange_strong(none, pad))
        gst_object_ref(pad);
    if (g_str_has_prefix(name, "video/") || g_str_has_prefix(name, "image/"))
        gst_pad_add_probe(
            pad, GstPadProbeType(GST_PAD_PROBE_TYPE_BUFFER | GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM),
            OnProbedVideo, &probed, nullptr);
    gst_element_sync_state_with_parent(sink);
    gst_element_sync_state_with_parent(queue);
    // Counted once its sink is prerolling: the pipeline is not settled before that.
    probed.lastPad = g_get_monotonic_time();
    ++probed.pads;
}

void OnProbedPadsDone(GstElement*, gpointer data) {
    static_cast<Probed*>(data)->allPads = true;
}

// Waits up to `ms` for the pipeline to settle in PAUSED; false on an error.
bool Settled(GstElement* pipeline, int ms) {
    return gst_element_get_state(pipeline, nullptr, nullptr, GstClockTime(ms) * GST_MSECOND) ==
           GST_STATE_CHANGE_SUCCESS;
}

} // namespace

Probe ProbeSpan(const QString& source, double at) {
    Probe probe;
    static std::once_flag once;
    std::call_once(once, [] { gst_init(nullptr, nullptr); });
    GstElementPtr pipeline(GST_ELEMENT(gst_object_ref_sink(gst_pipeline_new("probe"))));
    GstElement* src = gst_element_factory_make("filesrc", nullptr);
    GstElement* parser = gst_element_factory_make("parsebin", nullptr);
    if (!src || !parser) {
        for (GstElement* e : {src, parser})
            if (e)
                gst_object_unref(gst_object_ref_sink(e));
        probe.error = QStringLiteral("the GStreamer elements to read the file are missing");
        return probe;
    }
    g_object_set(src, "location", QFile::encodeName(source).constData(), nullptr);
    gst_bin_add_many(GST_BIN(pipeline.get()), src, parser, nullptr);
    gst_element_link(src, parser);
    Probed probed;
    g_signal_connect(parser, "pad-added", G_CALLBACK(OnProbedPad), &probed);
    g_signal_connect(parser, "no-more-pads", G_CALLBACK(OnProbedPadsDone), &probed);
    gst_element_set_state(pipeline.get(), GST_STATE_PAUSED);
    // The pipeline is paused at once; it has prerolled once every stream found has a sink. The
    // parser says how many streams it found; some (declared, never filled) it may not show.
    GstBusPtr bus(gst_element_get_bus(pipeline.get()));
    int streams = -1;
    bool failed = false;
    for (int waited = 0; !failed && waited < 10000; waited += 10) {
        GstMessagePtr message{gst_bus_timed_pop_filtered(
            bus.get(), 10 * GST_MSECOND,
            GstMessageType(GST_MESSAGE_ERROR | GST_MESSAGE_STREAM_COLLECTION))};
        if (message && GST_MESSAGE_TYPE(message.get()) == GST_MESSAGE_STREAM_COLLECTION) {
            GstStreamCollection* collection = nullptr;
            gst_message_parse_stream_collection(message.get(), &collection);
            if (collection) {
                streams = int(gst_stream_collection_get_size(collection));
                gst_object_unref(collection);
            }
        }
        failed = message && GST_MESSAGE_TYPE(message.get()) == GST_MESSAGE_ERROR;
        const int pads = probed.pads;
        if (probed.allPads || (pads > 0 && streams > 0 && pads >= streams) ||
            (pads > 0 && g_get_monotonic_time() - probed.lastPad > kStreamsSettledUs))
            break;
    }
    if (!failed && probed.pads > 0 && Settled(pipeline.get(), 10000)) {
        gint64 length = 0;
        if (gst_element_query_duration(pipeline.get(), GST_FORMAT_TIME, &length) && length > 0)
            probe.duration = double(length) / GST_SECOND;
        // Prerolled: the picture's caps are fixed.
        if (GstPad* video = probed.video.load()) {
            GstCapsPtr caps(gst_pad_get_current_caps(video));
            if (const GstStructure* s = caps && !gst_caps_is_empty(caps.get())
                                            ? gst_caps_get_structure(caps.get(), 0)
                                            : nullptr) {
                gst_structure_get_int(s, "width", &probe.width);
                gst_structure_get_int(s, "height", &probe.height);
                if (!gst_structure_get_fraction(s, "framerate", &probe.rateNum, &probe.rateDen)) {
                    probe.rateNum = 0;
                    probe.rateDen = 1;
                }
            }
        }
        const gint64 target = gint64(std::max(0.0, at) * GST_SECOND);
        probed.target = target;
        GstEvent* seek = gst_event_new_seek(
            1.0, GST_FORMAT_TIME,
            GstSeekFlags(GST_SEEK_FLAG_FLUSH | GST_SEEK_FLAG_KEY_UNIT | GST_SEEK_FLAG_SNAP_BEFORE),
            GST_SEEK_TYPE_SET, target, GST_SEEK_TYPE_NONE, -1);
        probed.seqnum = gst_event_get_seqnum(seek);
        if (gst_element_send_event(pipeline.get(), seek)) {
            gst_element_set_state(pipeline.get(), GST_STATE_PLAYING);
            for (int waited = 0; !probed.passed && waited < 10000; waited += 10) {
                GstMessagePtr message{gst_bus_timed_pop_filtered(
                    bus.get(), 10 * GST_MSECOND,
                    GstMessageType(GST_MESSAGE_ERROR | GST_MESSAGE_EOS))};
                if (message)
                    break;
            }
            // Stopped before `key` is read: the streaming threads are gone.
            gst_element_set_state(pipeline.get(), GST_STATE_NULL);
            if (probed.key >= 0)
                probe.keyFrame = double(probed.key) / GST_SECOND;
        }
    } else {
        probe.error = QStringLiteral("the file cannot be read");
    }
    gst_element_set_state(pipeline.get(), GST_STATE_NULL);
    if (GstPad* video = probed.video.exchange(nullptr))
        gst_object_unref(video);
    return probe;
}

} // namespace ClipExport
