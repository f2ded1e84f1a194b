// SPDX-License-Identifier: GPL-3.0-or-later
#include "clip/ClipStreams.h"

#include "clip/StreamTime.h"
#include "formats/CodedFrames.h"
#include "playback/GstHandles.h"

#include <algorithm>
#include <optional>

namespace ClipExport {

namespace {

// How long the copy may go without any progress before it is given up.
constexpr gint64 kStallUs = 20 * G_USEC_PER_SEC;

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
    bool named = false; // the picture's track name has gone to the muxer
};

// The picture's track name, given as the stream's own title just before its first frame: the
// muxer names the track from it, and its header is written once every track has a frame.
void Name(GstPad* pad, Stream& stream) {
    stream.named = true;
    GstTagList* tags = gst_tag_list_new(GST_TAG_TITLE, stream.flow->title.constData(), nullptr);
    gst_tag_list_set_scope(tags, GST_TAG_SCOPE_STREAM);
    if (GstPad* peer = gst_pad_get_peer(pad)) {
        gst_pad_send_event(peer, gst_event_new_tag(tags));
        gst_object_unref(peer);
    } else {
        gst_tag_list_unref(tags);
    }
}

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
    if (stream.video && !stream.named && !flow.title.isEmpty())
        Name(pad, stream);
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
        if (flow.shift != 0) {
            // Running times moved, stream times (what the probes read) kept.
            GstSegment shifted = stream.segment;
            gst_segment_offset_running_time(&shifted, GST_FORMAT_TIME, flow.shift);
            GstEvent* moved = gst_event_new_segment(&shifted);
            gst_event_set_seqnum(moved, gst_event_get_seqnum(event));
            gst_event_unref(event);
            GST_PAD_PROBE_INFO_DATA(info) = moved;
        }
        return GST_PAD_PROBE_OK;
    }
    case GST_EVENT_TAG: {
        // A title of the recording's own would rename the camera's track.
        GstTagList* tags = nullptr;
        gst_event_parse_tag(event, &tags);
        if (flow.title.isEmpty() || !stream.video || !tags ||
            gst_tag_list_get_tag_size(tags, GST_TAG_TITLE) == 0)
            return GST_PAD_PROBE_OK;
        GstTagList* kept = gst_tag_list_copy(tags);
        gst_tag_list_remove_tag(kept, GST_TAG_TITLE);
        GstEvent* without = gst_event_new_tag(kept);
        gst_event_set_seqnum(without, gst_event_get_seqnum(event));
        gst_event_unref(event);
        GST_PAD_PROBE_INFO_DATA(info) = without;
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

} // namespace

PadKind KindOf(GstPad* pad) {
    GstCapsPtr caps(gst_pad_query_caps(pad, nullptr));
    const GstStructure* s =
        caps && !gst_caps_is_empty(caps.get()) ? gst_caps_get_structure(caps.get(), 0) : nullptr;
    const char* name = s ? gst_structure_get_name(s) : "";
    if (g_str_has_prefix(name, "video/") || g_str_has_prefix(name, "image/"))
        return PadKind::Picture;
    return g_str_has_prefix(name, "audio/") ? PadKind::Sound : PadKind::Other;
}

GstElement* RoomyQueue() {
    GstElement* queue = gst_element_factory_make("queue", nullptr);
    if (queue)
        g_object_set(queue, "max-size-buffers", 0u, "max-size-bytes", 0u, "max-size-time",
                     guint64(5 * GST_SECOND), nullptr);
    return queue;
}

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

GstPad* EncodeChain(GstElement* pipeline, bool video, const Overlay& overlay, GstPad* target) {
    const auto make = [](const char* factory) {
        return gst_element_factory_make(factory, nullptr);
    };
    if (!video) {
        GstElement* encoder = make("avenc_aac");
        return Chain(pipeline, {make("audioconvert"), make("audioresample"), encoder, RoomyQueue()},
                     target);
    }
    GstElement* text = make("textoverlay");
    GstElement* encoder = make("x264enc");
    GstElement* queue = RoomyQueue();
    if (text)
        g_object_set(text, "valignment", 2 /* top: the recorder stamps the bottom */, "halignment",
                     0 /* left */, "line-alignment", 0 /* left */, "shaded-background", TRUE,
                     "font-desc", "Sans Bold 12", "wait-text", FALSE, nullptr);
    if (encoder)
        gst_util_set_object_arg(G_OBJECT(encoder), "speed-preset", "veryfast");
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

void Watch(GstPad* pad, Flow& flow) {
    // What the stream is, the CAPS event says (its codec's form included).
    auto* stream = new Stream{&flow};
    stream->video = KindOf(pad) == PadKind::Picture;
    gst_pad_add_probe(pad,
                      GstPadProbeType(GST_PAD_PROBE_TYPE_BUFFER |
                                      GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM |
                                      GST_PAD_PROBE_TYPE_EVENT_FLUSH),
                      OnParsed, stream, [](gpointer p) { delete static_cast<Stream*>(p); });
    const std::lock_guard lock(flow.mutex);
    flow.pads.push_back(GST_PAD(gst_object_ref(pad)));
    flow.lastPad = g_get_monotonic_time();
}

void OnNoMorePads(GstElement*, gpointer data) {
    static_cast<Flow*>(data)->allPads = true;
}

Copy RunCopy(GstElement* pipeline, const std::vector<Flow*>& flows,
             const std::function<bool(double)>& progress) {
    Copy copy;
    GstBusPtr bus(gst_element_get_bus(pipeline));
    gst_element_set_state(pipeline, GST_STATE_PLAYING);
    const auto finish = [&] {
        gst_element_set_state(pipeline, GST_STATE_NULL);
        for (Flow* flow : flows) {
            const std::lock_guard lock(flow->mutex);
            for (GstPad* pad : flow->pads)
                gst_object_unref(pad);
            flow->pads.clear();
        }
    };
    std::vector<bool> sought(flows.size(), false);
    for (;;) {
        GstMessagePtr message{gst_bus_timed_pop_filtered(
            bus.get(), 50 * GST_MSECOND,
            GstMessageType(GST_MESSAGE_ERROR | GST_MESSAGE_EOS | GST_MESSAGE_STREAM_COLLECTION))};
        if (message && GST_MESSAGE_TYPE(message.get()) == GST_MESSAGE_STREAM_COLLECTION) {
            GstStreamCollection* collection = nullptr;
            gst_message_parse_stream_collection(message.get(), &collection);
            GstObject* from = GST_MESSAGE_SRC(message.get());
            for (Flow* flow : flows)
                if (collection && (from == GST_OBJECT(flow->parser) ||
                                   gst_object_has_as_ancestor(from, GST_OBJECT(flow->parser))))
                    flow->streams = int(gst_stream_collection_get_size(collection));
            if (collection)
                gst_object_unref(collection);
        }
        if (message && GST_MESSAGE_TYPE(message.get()) == GST_MESSAGE_ERROR) {
            GError* error = nullptr;
            gst_message_parse_error(message.get(), &error, nullptr);
            copy.error = QString::fromUtf8(error ? error->message : "error");
            g_clear_error(&error);
            finish();
            return copy;
        }
        const bool allSought = std::all_of(sought.begin(), sought.end(), [](bool b) { return b; });
        if (message && GST_MESSAGE_TYPE(message.get()) == GST_MESSAGE_EOS && allSought)
            break;
        for (size_t i = 0; i < flows.size(); ++i) {
            Flow& flow = *flows[i];
            if (sought[i])
                continue;
            // The parser says how many streams it found; some (declared, never filled) it may
            // not show.
            GstPad* pad = nullptr;
            {
                const std::lock_guard lock(flow.mutex);
                const bool shown =
                    flow.allPads || (!flow.pads.empty() &&
                                     ((flow.streams > 0 && int(flow.pads.size()) >= flow.streams) ||
                                      g_get_monotonic_time() - flow.lastPad > kStreamsSettledUs));
                if (!shown)
                    continue;
                if (!flow.pads.empty())
                    pad = GST_PAD(gst_object_ref(flow.pads.front()));
            }
            GstPadPtr held(pad);
            gint64 length = 0;
            if (i == 0 &&
                (flows.size() == 1
                     ? gst_element_query_duration(pipeline, GST_FORMAT_TIME, &length)
                     : pad && gst_pad_query_duration(pad, GST_FORMAT_TIME, &length)) &&
                length > 0)
                copy.duration = double(length) / GST_SECOND;
            // The span's seek goes to the demuxer through one of the parser's outputs. Where the
            // key frame is known, the span starts right there; else the demuxer finds the key
            // frame before.
            GstEvent* seek =
                gst_event_new_seek(1.0, GST_FORMAT_TIME,
                                   GstSeekFlags(GST_SEEK_FLAG_FLUSH |
                                                (flow.exactStart ? GST_SEEK_FLAG_ACCURATE
                                                                 : GST_SEEK_FLAG_KEY_UNIT |
                                                                       GST_SEEK_FLAG_SNAP_BEFORE)),
                                   GST_SEEK_TYPE_SET, flow.from,
                                   flow.stop >= 0 ? GST_SEEK_TYPE_SET : GST_SEEK_TYPE_NONE,
                                   flow.stop >= 0 ? flow.stop : -1);
            flow.seqnum = gst_event_get_seqnum(seek);
            if (!pad || !gst_pad_send_event(pad, seek)) {
                if (!pad)
                    gst_event_unref(seek);
                copy.error = QStringLiteral("the recording cannot be cut there");
                finish();
                return copy;
            }
            sought[i] = true;
            flow.lastChange = g_get_monotonic_time();
        }
        double share = 0;
        gint64 latest = 0;
        for (size_t i = 0; i < flows.size(); ++i) {
            const Flow& flow = *flows[i];
            const gint64 end = flow.stop >= 0 ? flow.stop : gint64(copy.duration * GST_SECOND);
            const gint64 reached = flow.reached;
            if (sought[i] && end > flow.from && reached > flow.from)
                share +=
                    std::clamp(double(reached - flow.from) / double(end - flow.from), 0.0, 1.0);
            latest = std::max(latest, flow.lastChange.load());
        }
        if (progress && !progress(share / double(flows.size()))) {
            copy.cancelled = true;
            finish();
            return copy;
        }
        if (g_get_monotonic_time() - latest > kStallUs) {
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
