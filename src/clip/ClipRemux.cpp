// SPDX-License-Identifier: GPL-3.0-or-later
#include "clip/ClipRemux.h"

#include "clip/StreamTime.h"
#include "formats/CodedFrames.h"
#include "formats/FileKind.h"
#include "playback/AsfCardSource.h"
#include "playback/GstHandles.h"

#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <atomic>
#include <gst/gst.h>
#include <mutex>
#include <optional>

namespace ClipExport {

namespace {

// How long after the last stream shown the streams are taken to be all there.
constexpr gint64 kStreamsSettledUs = 150 * 1000;
// How long the copy may go without any progress before it is given up.
constexpr gint64 kStallUs = 20 * G_USEC_PER_SEC;

// What the copy's streaming threads tell the thread that waits for it.
struct Flow {
    std::atomic<guint32> seqnum{GST_SEQNUM_INVALID}; // the span's seek, once sent
    std::atomic<gint64> reached{-1};                 // the latest time written (recording's), ns
    std::atomic<gint64> lastChange{0};               // monotonic µs of the latest progress
    std::atomic<bool> allPads{false};                // the parser said it has shown every stream
    std::atomic<gint64> lastPad{0};                  // monotonic µs of the latest stream shown
    std::atomic<int> streams{-1};                    // how many the parser found, once it says
    const Overlay* overlay = nullptr;                // re-encoding with the data in the picture
    gint64 stop = -1;             // the span's end in the recording, ns (-1: its end); set once
    bool timesFromOrder = false;  // AVI: frames carry their time as the decoding time only
    GstElement* parser = nullptr; // owned by the pipeline, which outlives the streams
    std::mutex mutex;
    std::vector<GstPad*> pads; // the parser's outputs (its own references)
};

// One stream of the parser's, on its streaming thread. Until the span's own segment has gone
// by, nothing it outputs reaches the muxer (the first data, read to find the streams, lies
// before the span, and so may whatever was under way when the seek went out). Then the picture
// starts at its first key frame at or after the segment's start (leading frames of an open
// group that belong before it go), and every stream ends at its first frame, in decoding
// order, presented at or after the span's end: what goes into the clip is a run of the stored
// frames that decodes whole, never a frame that needs one left out.
struct Stream {
    Flow* flow;
    bool video = false;
    CodedFrames::Codec codec = CodedFrames::Codec::Other;
    bool inSpan = false;
    GstSegment segment{};
    bool keySeen = false;
    gint64 key = 0; // where the picture starts, recording's time
    bool done = false;
};

GstPadProbeReturn OnParsedBuffer(GstPad* pad, GstPadProbeInfo* info, Stream& stream) {
    Flow& flow = *stream.flow;
    if (!stream.inSpan || stream.done)
        return GST_PAD_PROBE_DROP;
    GstBuffer* buffer = GST_PAD_PROBE_INFO_BUFFER(info);
    if (flow.timesFromOrder && stream.video && stream.codec != CodedFrames::Codec::Other) {
        // AVI keeps one time per frame, in decoding order: a B-frame's own is lost.
        GstMapInfo map;
        bool reordered = false;
        if (gst_buffer_map(buffer, &map, GST_MAP_READ)) {
            reordered = CodedFrames::IsBFrame(stream.codec, map.data, map.size);
            gst_buffer_unmap(buffer, &map);
        }
        if (reordered) {
            GST_ELEMENT_ERROR(flow.parser, STREAM, NOT_IMPLEMENTED,
                              ("clips of AVI files with B-frames cannot be cut without "
                               "re-encoding; export it with the data in the picture"),
                              (nullptr));
            stream.done = true;
            return GST_PAD_PROBE_DROP;
        }
    }
    if (flow.timesFromOrder && !GST_BUFFER_PTS_IS_VALID(buffer) &&
        GST_BUFFER_DTS_IS_VALID(buffer)) {
        // AVI gives its key frames a presentation time and every frame its decoding time, which
        // without B-frames is the same.
        buffer = gst_buffer_make_writable(buffer);
        GST_PAD_PROBE_INFO_DATA(info) = buffer;
        GST_BUFFER_PTS(buffer) = GST_BUFFER_DTS(buffer);
    }
    const std::optional<gint64> at = GST_BUFFER_PTS_IS_VALID(buffer)
                                         ? StreamTime(stream.segment, GST_BUFFER_PTS(buffer))
                                         : std::nullopt;
    if (stream.video && !stream.keySeen) {
        if (!at || GST_BUFFER_FLAG_IS_SET(buffer, GST_BUFFER_FLAG_DELTA_UNIT) ||
            *at < gint64(stream.segment.time))
            return GST_PAD_PROBE_DROP;
        stream.keySeen = true;
        stream.key = *at;
    }
    if (stream.video && at && *at < stream.key)
        return GST_PAD_PROBE_DROP;
    if (at && flow.stop >= 0 && *at >= flow.stop) {
        stream.done = true;
        if (GstPad* peer = gst_pad_get_peer(pad)) {
            gst_pad_send_event(peer, gst_event_new_eos());
            gst_object_unref(peer);
        }
        return GST_PAD_PROBE_DROP;
    }
    if (at) {
        gint64 was = flow.reached.load();
        while (*at > was && !flow.reached.compare_exchange_weak(was, *at)) {
        }
    }
    flow.lastChange = g_get_monotonic_time();
    return GST_PAD_PROBE_OK;
}

GstPadProbeReturn OnParsed(GstPad* pad, GstPadProbeInfo* info, gpointer data) {
    Stream& stream = *static_cast<Stream*>(data);
    Flow& flow = *stream.flow;
    if (GST_PAD_PROBE_INFO_TYPE(info) & GST_PAD_PROBE_TYPE_BUFFER)
        return OnParsedBuffer(pad, info, stream);
    GstEvent* event = GST_PAD_PROBE_INFO_EVENT(info);
    switch (GST_EVENT_TYPE(event)) {
    case GST_EVENT_CAPS: {
        GstCaps* caps = nullptr;
        gst_event_parse_caps(event, &caps);
        const GstStructure* s = caps ? gst_caps_get_structure(caps, 0) : nullptr;
        const char* name = s ? gst_structure_get_name(s) : "";
        stream.video = g_str_has_prefix(name, "video/") || g_str_has_prefix(name, "image/");
        int version = 0;
        stream.codec = CodedFrames::Codec::Other;
        if (g_str_equal(name, "video/mpeg") && gst_structure_get_int(s, "mpegversion", &version) &&
            version == 4)
            stream.codec = CodedFrames::Codec::Mpeg4Part2;
        else if (g_str_equal(name, "video/x-h264"))
            stream.codec = g_strcmp0(gst_structure_get_string(s, "stream-format"), "avc") == 0
                               ? CodedFrames::Codec::H264Avc
                               : CodedFrames::Codec::H264Annexb;
        return GST_PAD_PROBE_OK;
    }
    case GST_EVENT_SEGMENT: {
        if (gst_event_get_seqnum(event) != flow.seqnum.load())
            return GST_PAD_PROBE_DROP;
        gst_event_copy_segment(event, &stream.segment);
        stream.inSpan = true;
        return GST_PAD_PROBE_OK;
    }
    case GST_EVENT_FLUSH_START:
    case GST_EVENT_FLUSH_STOP: // the muxer has nothing to flush
        return GST_PAD_PROBE_DROP;
    case GST_EVENT_GAP:
    case GST_EVENT_EOS: // after the span's end this stream's own was sent already
        return stream.inSpan && !stream.done ? GST_PAD_PROBE_OK : GST_PAD_PROBE_DROP;
    default:
        return GST_PAD_PROBE_OK;
    }
}

struct Shown {
    const Overlay* overlay;
    GstElement* textoverlay; // owned by the pipeline, which outlives the probe
    int index = -1;          // the text on the picture now; its streaming thread only
};

// The encoder gives its frames no real duration (a nanosecond), and the MP4's track would end
// where its last frame starts, which players then leave out: each frame lasts as long as the
// step from the one before it in decoding order.
GstPadProbeReturn OnEncodedFrame(GstPad*, GstPadProbeInfo* info, gpointer data) {
    GstClockTime& previous = *static_cast<GstClockTime*>(data); // its streaming thread only
    GstBuffer* buffer = GST_PAD_PROBE_INFO_BUFFER(info);
    const GstClockTime at = GST_BUFFER_DTS_OR_PTS(buffer);
    if (!GST_CLOCK_TIME_IS_VALID(at))
        return GST_PAD_PROBE_OK;
    if (GST_CLOCK_TIME_IS_VALID(previous) && at > previous &&
        (!GST_BUFFER_DURATION_IS_VALID(buffer) || GST_BUFFER_DURATION(buffer) < GST_MSECOND)) {
        buffer = gst_buffer_make_writable(buffer);
        GST_PAD_PROBE_INFO_DATA(info) = buffer;
        GST_BUFFER_DURATION(buffer) = at - previous;
    }
    previous = at;
    return GST_PAD_PROBE_OK;
}

// Just before the text overlay, the text of the frame's time is set. Left out: a frame the
// decoder gives no time, and the sliver of the frame before the span that the decoder cuts to
// the span's start (times in whole milliseconds make a frame at 30 fps end 0.3 ms into the
// next): both would share a time with a real frame, and the MP4's muxer stops at that.
GstPadProbeReturn OnDecodedFrame(GstPad*, GstPadProbeInfo* info, gpointer data) {
    Shown& shown = *static_cast<Shown*>(data);
    GstBuffer* buffer = GST_PAD_PROBE_INFO_BUFFER(info);
    if (!GST_BUFFER_PTS_IS_VALID(buffer) ||
        (GST_BUFFER_DURATION_IS_VALID(buffer) && GST_BUFFER_DURATION(buffer) < GST_MSECOND))
        return GST_PAD_PROBE_DROP;
    const double at = double(GST_BUFFER_PTS(buffer)) / GST_SECOND;
    const std::vector<double>& times = shown.overlay->times;
    const int index = int(std::upper_bound(times.begin(), times.end(), at) - times.begin()) - 1;
    if (index != shown.index) {
        shown.index = index;
        g_object_set(shown.textoverlay, "text",
                     index >= 0 ? shown.overlay->texts[size_t(index)].constData() : "", nullptr);
    }
    return GST_PAD_PROBE_OK;
}

// Elements made in a row and linked, the first's sink pad returned; null when one is missing.
GstPad* Chain(GstElement* pipeline, std::initializer_list<GstElement*> elements, GstPad* target) {
    bool all = true;
    for (GstElement* e : elements)
        all = all && e;
    if (!all) {
        for (GstElement* e : elements)
            if (e)
                gst_object_unref(gst_object_ref_sink(e));
        return nullptr;
    }
    GstElement* previous = nullptr;
    for (GstElement* e : elements) {
        gst_bin_add(GST_BIN(pipeline), e);
        if (previous)
            gst_element_link(previous, e);
        previous = e;
    }
    GstPadPtr out(gst_element_get_static_pad(previous, "src"));
    gst_pad_link(out.get(), target);
    for (GstElement* e : elements)
        gst_element_sync_state_with_parent(e);
    return gst_element_get_static_pad(*elements.begin(), "sink");
}

// A decoded stream re-encoded for the MP4: the picture with the data on it as H.264, the sound
// as AAC; null when this system lacks an element for it.
GstPad* EncodeChain(GstElement* pipeline, bool video, const Overlay& overlay, GstPad* target) {
    const auto make = [](const char* factory) {
        return gst_element_factory_make(factory, nullptr);
    };
    if (!video) {
        GstElement* encoder = make("avenc_aac");
        GstElement* queue = make("queue");
        if (queue)
            g_object_set(queue, "max-size-buffers", 0u, "max-size-bytes", 0u, "max-size-time",
                         guint64(5 * GST_SECOND), nullptr);
        return Chain(pipeline, {make("audioconvert"), make("audioresample"), encoder, queue},
                     target);
    }
    GstElement* text = make("textoverlay");
    GstElement* encoder = make("x264enc");
    GstElement* queue = make("queue");
    if (text)
        g_object_set(text, "valignment", 2 /* top: the recorder stamps the bottom */, "halignment",
                     0 /* left */, "line-alignment", 0 /* left */, "shaded-background", TRUE,
                     "font-desc", "Sans Bold 12", "wait-text", FALSE, nullptr);
    if (encoder)
        gst_util_set_object_arg(G_OBJECT(encoder), "speed-preset", "veryfast");
    if (queue)
        g_object_set(queue, "max-size-buffers", 0u, "max-size-bytes", 0u, "max-size-time",
                     guint64(5 * GST_SECOND), nullptr);
    GstElement* convert = make("videoconvert");
    GstElement* parse = make("h264parse");
    GstPad* in = Chain(pipeline, {convert, text, encoder, parse, queue}, target);
    if (in) {
        GstPadPtr encoded(gst_element_get_static_pad(parse, "src"));
        gst_pad_add_probe(encoded.get(), GST_PAD_PROBE_TYPE_BUFFER, OnEncodedFrame,
                          new GstClockTime(GST_CLOCK_TIME_NONE),
                          [](gpointer p) { delete static_cast<GstClockTime*>(p); });
        GstPadPtr sink(gst_element_get_static_pad(text, "video_sink"));
        gst_pad_add_probe(sink.get(), GST_PAD_PROBE_TYPE_BUFFER, OnDecodedFrame,
                          new Shown{&overlay, text},
                          [](gpointer p) { delete static_cast<Shown*>(p); });
    }
    return in;
}

// A stream of the parser's, once linked: its data kept out of the clip until the span, and the
// stream counted.
void Watch(GstPad* pad, Flow& flow) {
    // What the stream is, the CAPS event says (its codec's form included).
    auto* stream = new Stream{&flow};
    GstCapsPtr caps(gst_pad_query_caps(pad, nullptr));
    const GstStructure* s =
        caps && !gst_caps_is_empty(caps.get()) ? gst_caps_get_structure(caps.get(), 0) : nullptr;
    const char* name = s ? gst_structure_get_name(s) : "";
    stream->video = g_str_has_prefix(name, "video/") || g_str_has_prefix(name, "image/");
    gst_pad_add_probe(pad,
                      GstPadProbeType(GST_PAD_PROBE_TYPE_BUFFER |
                                      GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM |
                                      GST_PAD_PROBE_TYPE_EVENT_FLUSH),
                      OnParsed, stream, [](gpointer p) { delete static_cast<Stream*>(p); });
    const std::lock_guard lock(flow.mutex);
    flow.pads.push_back(GST_PAD(gst_object_ref(pad)));
    flow.lastPad = g_get_monotonic_time();
}

// Each stream the parser shows goes through a queue (room for the file's interleave) to the
// muxer; one the muxer cannot hold is left out.
void OnParserPad(GstElement* parser, GstPad* pad, gpointer data) {
    Flow& flow = *static_cast<Flow*>(data);
    GstElement* pipeline = GST_ELEMENT(gst_element_get_parent(parser));
    GstElementPtr owner(pipeline);
    GstElementPtr mux(gst_bin_get_by_name(GST_BIN(pipeline), "mux"));
    GstCapsPtr caps(gst_pad_query_caps(pad, nullptr));
    const GstStructure* s =
        caps && !gst_caps_is_empty(caps.get()) ? gst_caps_get_structure(caps.get(), 0) : nullptr;
    const char* name = s ? gst_structure_get_name(s) : "";
    const bool video = g_str_has_prefix(name, "video/") || g_str_has_prefix(name, "image/");
    const bool audio = g_str_has_prefix(name, "audio/");
    GstPad* target =
        mux && (video || audio)
            ? gst_element_request_pad_simple(mux.get(), video ? "video_%u" : "audio_%u")
            : nullptr;
    if (target && flow.overlay) {
        // Re-encoded: decoded stream → encoder → muxer.
        GstPad* in = EncodeChain(pipeline, video, *flow.overlay, target);
        if (!in)
            gst_element_release_request_pad(mux.get(), target);
        gst_object_unref(target);
        target = nullptr;
        if (in) {
            gst_pad_link(pad, in);
            gst_object_unref(in);
        } else if (video) {
            GST_ELEMENT_ERROR(parser, CORE, MISSING_PLUGIN,
                              ("no H.264 encoder or text overlay here"), (nullptr));
        }
        if (in) {
            Watch(pad, flow);
            return;
        }
    }
    GstElement* queue = gst_element_factory_make(target ? "queue" : "fakesink", nullptr);
    if (target)
        g_object_set(queue, "max-size-buffers", 0u, "max-size-bytes", 0u, "max-size-time",
                     guint64(5 * GST_SECOND), nullptr);
    else
        g_object_set(queue, "sync", FALSE, "async", FALSE, nullptr);
    gst_bin_add(GST_BIN(pipeline), queue);
    GstPadPtr in(gst_element_get_static_pad(queue, "sink"));
    gst_pad_link(pad, in.get());
    if (target) {
        GstPadPtr out(gst_element_get_static_pad(queue, "src"));
        if (gst_pad_link(out.get(), target) != GST_PAD_LINK_OK)
            GST_ELEMENT_ERROR(parser, CORE, NEGOTIATION, ("a stream cannot go into the clip"),
                              (nullptr));
        gst_object_unref(target);
    }
    gst_element_sync_state_with_parent(queue);
    Watch(pad, flow);
}

void OnNoMorePads(GstElement*, gpointer data) {
    static_cast<Flow*>(data)->allPads = true;
}

} // namespace

// Copies [from, to] of `source` into `target` (Matroska), or fails. With `overlay`, the span is
// decoded instead and re-encoded into an MP4 with the overlay's texts on the picture.
Copy Remux(const QString& source, qint64 from, bool exactStart, qint64 to, const QString& target,
           const std::function<bool(double)>& progress, const Overlay* overlay) {
    Copy copy;
    static std::once_flag once;
    std::call_once(once, [] {
        gst_init(nullptr, nullptr);
        AsfCardSource::Register();
    });
    const QString absolute = QFileInfo(source).absoluteFilePath();
    const bool asf = FileKind::Of(absolute) == FileKind::Kind::Asf;
    GstElementPtr pipeline(GST_ELEMENT(gst_object_ref_sink(gst_pipeline_new("clip"))));
    GstElement* src = gst_element_factory_make(asf ? "asfcardsrc" : "filesrc", nullptr);
    GstElement* parser = gst_element_factory_make(overlay ? "decodebin" : "parsebin", nullptr);
    GstElement* mux = gst_element_factory_make(overlay ? "mp4mux" : "matroskamux", "mux");
    GstElement* sink = gst_element_factory_make("filesink", nullptr);
    if (!src || !parser || !mux || !sink) {
        for (GstElement* e : {src, parser, mux, sink})
            if (e)
                gst_object_unref(gst_object_ref_sink(e));
        copy.error = QStringLiteral("the GStreamer elements for a clip are missing");
        return copy;
    }
    if (asf)
        gst_uri_handler_set_uri(GST_URI_HANDLER(src), AsfCardSource::UriFor(absolute).constData(),
                                nullptr);
    else
        g_object_set(src, "location", QFile::encodeName(absolute).constData(), nullptr);
    g_object_set(sink, "location", QFile::encodeName(target).constData(), "sync", FALSE, nullptr);
    gst_bin_add_many(GST_BIN(pipeline.get()), src, parser, mux, sink, nullptr);
    if (!gst_element_link(src, parser) || !gst_element_link(mux, sink)) {
        copy.error = QStringLiteral("cannot build the copy");
        return copy;
    }
    Flow flow;
    flow.overlay = overlay;
    flow.lastChange = g_get_monotonic_time();
    flow.stop = to;
    flow.timesFromOrder = FileKind::Of(absolute) == FileKind::Kind::Avi;
    flow.parser = parser;
    g_signal_connect(parser, "pad-added", G_CALLBACK(OnParserPad), &flow);
    g_signal_connect(parser, "no-more-pads", G_CALLBACK(OnNoMorePads), &flow);

    GstBusPtr bus(gst_element_get_bus(pipeline.get()));
    gst_element_set_state(pipeline.get(), GST_STATE_PLAYING);
    const auto finish = [&] {
        gst_element_set_state(pipeline.get(), GST_STATE_NULL);
        const std::lock_guard lock(flow.mutex);
        for (GstPad* pad : flow.pads)
            gst_object_unref(pad);
        flow.pads.clear();
    };
    bool sought = false;
    for (;;) {
        GstMessagePtr message{gst_bus_timed_pop_filtered(
            bus.get(), 50 * GST_MSECOND,
            GstMessageType(GST_MESSAGE_ERROR | GST_MESSAGE_EOS | GST_MESSAGE_STREAM_COLLECTION))};
        if (message && GST_MESSAGE_TYPE(message.get()) == GST_MESSAGE_STREAM_COLLECTION) {
            GstStreamCollection* collection = nullptr;
            gst_message_parse_stream_collection(message.get(), &collection);
            if (collection) {
                flow.streams = int(gst_stream_collection_get_size(collection));
                gst_object_unref(collection);
            }
        }
        if (message && GST_MESSAGE_TYPE(message.get()) == GST_MESSAGE_ERROR) {
            GError* error = nullptr;
            gst_message_parse_error(message.get(), &error, nullptr);
            copy.error = QString::fromUtf8(error ? error->message : "error");
            g_clear_error(&error);
            finish();
            return copy;
        }
        if (message && GST_MESSAGE_TYPE(message.get()) == GST_MESSAGE_EOS && sought)
            break;
        // The parser says how many streams it found; some (declared, never filled) it may not show.
        bool shown = flow.allPads;
        {
            const std::lock_guard lock(flow.mutex);
            shown = shown || (!flow.pads.empty() &&
                              ((flow.streams > 0 && int(flow.pads.size()) >= flow.streams) ||
                               g_get_monotonic_time() - flow.lastPad > kStreamsSettledUs));
        }
        if (!sought && shown) {
            gint64 length = 0;
            if (gst_element_query_duration(pipeline.get(), GST_FORMAT_TIME, &length) && length > 0)
                copy.duration = double(length) / GST_SECOND;
            // The span's seek goes to the demuxer through one of the parser's outputs.
            // Where the key frame is known, the span starts right there; else the demuxer
            // finds the key frame before.
            GstEvent* seek = gst_event_new_seek(
                1.0, GST_FORMAT_TIME,
                GstSeekFlags(GST_SEEK_FLAG_FLUSH |
                             (exactStart ? GST_SEEK_FLAG_ACCURATE
                                         : GST_SEEK_FLAG_KEY_UNIT | GST_SEEK_FLAG_SNAP_BEFORE)),
                GST_SEEK_TYPE_SET, from, to >= 0 ? GST_SEEK_TYPE_SET : GST_SEEK_TYPE_NONE,
                to >= 0 ? to : -1);
            const guint32 seqnum = gst_event_get_seqnum(seek);
            GstPad* pad = nullptr;
            {
                const std::lock_guard lock(flow.mutex);
                if (!flow.pads.empty())
                    pad = GST_PAD(gst_object_ref(flow.pads.front()));
            }
            flow.seqnum = seqnum;
            const bool sent = pad && gst_pad_send_event(pad, seek);
            if (pad)
                gst_object_unref(pad);
            else
                gst_event_unref(seek);
            if (!sent) {
                copy.error = QStringLiteral("the recording cannot be cut there");
                finish();
                return copy;
            }
            sought = true;
            flow.lastChange = g_get_monotonic_time();
        }
        const gint64 end = to >= 0 ? to : gint64(copy.duration * GST_SECOND);
        const gint64 reached = flow.reached;
        const double share = sought && end > from && reached > from
                                 ? double(reached - from) / double(end - from)
                                 : 0.0;
        if (progress && !progress(std::clamp(share, 0.0, 1.0))) {
            copy.cancelled = true;
            finish();
            return copy;
        }
        if (g_get_monotonic_time() - flow.lastChange > kStallUs) {
            copy.error = QStringLiteral("the recording stopped giving data");
            finish();
            return copy;
        }
    }
    finish();
    copy.ok = true;
    return copy;
}

} // namespace ClipExport
