// SPDX-License-Identifier: GPL-3.0-or-later
#include "playback/FrameTimes.h"

#include "playback/HandOver.h"

#include <gst/gst.h>

namespace {

// Enough for minutes of video, and a bound on memory for hours of it.
constexpr size_t kMaxTimes = 8192;

// What one decoder's two probes share: the segment of the seek, whose start is moved to the
// stream's start on the way in (so the decoder clips nothing by guessed frame lengths) and put
// back on the way out, and the cut that goes with it. Both probes run on streaming threads.
struct DecoderCut {
    explicit DecoderCut(std::shared_ptr<CFrameTimes> t) : times(std::move(t)) {}
    ~DecoderCut() {
        if (original)
            gst_event_unref(original);
    }
    DecoderCut(const DecoderCut&) = delete;
    DecoderCut& operator=(const DecoderCut&) = delete;

    const std::shared_ptr<CFrameTimes> times;
    std::mutex mutex;
    GstEvent* original = nullptr; // the seek's own segment; all below guarded by `mutex`
    qint64 coverStart = -1;       // where the frame covering the target starts
    qint64 target = -1;           // the seek's target, where the covering frame is shown
    bool cutting = false;         // the decoder's output is in that segment now

    // The input side's own (its streaming thread only): every picture is coded alone, and
    // where the frame covering the seek's target starts while the input is in its segment.
    bool picturesAlone = false;
    qint64 skipBefore = -1;
};
using CutPtr = std::shared_ptr<DecoderCut>;

// The probes run on GStreamer's streaming threads, after the decoder was plugged in on another.
DecoderCut& CutOf(gpointer data) {
    PLAYER_TAKEN_OVER(data);
    DecoderCut& cut = **static_cast<CutPtr*>(data);
    PLAYER_TAKEN_OVER(cut.times.get());
    return cut;
}

// Formats whose every picture is coded alone: a frame before the covering one is never needed
// to decode it.
bool PicturesCodedAlone(const GstCaps* caps) {
    const GstStructure* s =
        caps && gst_caps_get_size(caps) > 0 ? gst_caps_get_structure(caps, 0) : nullptr;
    return s && gst_structure_has_name(s, "image/jpeg");
}

GstPadProbeReturn OnDecoderInput(GstPad*, GstPadProbeInfo* info, gpointer data) {
    DecoderCut& cut = CutOf(data);
    if (GST_PAD_PROBE_INFO_TYPE(info) & GST_PAD_PROBE_TYPE_BUFFER) {
        GstBuffer* buffer = GST_PAD_PROBE_INFO_BUFFER(info);
        if (!GST_BUFFER_PTS_IS_VALID(buffer))
            return GST_PAD_PROBE_OK; // no frame of its own (stream headers)
        const qint64 pts = qint64(GST_BUFFER_PTS(buffer));
        cut.times->Add(pts);
        // After a seek the demuxer may start before the covering frame; pictures coded alone that
        // come before the covering one would be decoded only to be dropped.
        if (cut.skipBefore >= 0 && pts < cut.skipBefore)
            return GST_PAD_PROBE_DROP;
        cut.skipBefore = -1;
        cut.times->CountFed();
        return GST_PAD_PROBE_OK;
    }
    GstEvent* event = GST_PAD_PROBE_INFO_EVENT(info);
    if (GST_EVENT_TYPE(event) == GST_EVENT_CAPS) {
        GstCaps* caps = nullptr;
        gst_event_parse_caps(event, &caps);
        cut.picturesAlone = PicturesCodedAlone(caps);
        return GST_PAD_PROBE_OK;
    }
    if (GST_EVENT_TYPE(event) != GST_EVENT_SEGMENT)
        return GST_PAD_PROBE_OK;
    cut.skipBefore = -1;
    const GstSegment* segment = nullptr;
    gst_event_parse_segment(event, &segment);
    const CFrameTimes::Cover cover = cut.times->CurrentCover();
    if (!segment || segment->format != GST_FORMAT_TIME || segment->rate <= 0 || cover.start < 0 ||
        qint64(segment->start) != cover.target || cover.start > cover.target || cover.target == 0)
        return GST_PAD_PROBE_OK;
    GstSegment moved = *segment;
    moved.start = 0;
    moved.position = 0;
    GstEvent* replacement = gst_event_new_segment(&moved);
    gst_event_set_seqnum(replacement, gst_event_get_seqnum(event));
    {
        std::lock_guard lock(cut.mutex);
        if (cut.original)
            gst_event_unref(cut.original);
        cut.original = event; // the probe's reference moves here
        cut.coverStart = cover.start;
        cut.target = cover.target;
    }
    if (cut.picturesAlone)
        cut.skipBefore = cover.start;
    GST_PAD_PROBE_INFO_DATA(info) = replacement;
    return GST_PAD_PROBE_OK;
}

// The covering frame is shown from the target on, as the decoder would have clipped it had it
// known how long it lasts (the sink drops what ends before its segment); frames before it go.
bool CutToTarget(const DecoderCut& cut, GstBuffer*& buffer) {
    if (!cut.cutting || !GST_BUFFER_PTS_IS_VALID(buffer))
        return true;
    const qint64 pts = qint64(GST_BUFFER_PTS(buffer));
    if (pts < cut.coverStart)
        return false;
    if (pts < cut.target) {
        const bool timed = GST_BUFFER_DURATION_IS_VALID(buffer);
        const qint64 end = timed ? pts + qint64(GST_BUFFER_DURATION(buffer)) : -1;
        buffer = gst_buffer_make_writable(buffer);
        GST_BUFFER_PTS(buffer) = GstClockTime(cut.target);
        GST_BUFFER_DURATION(buffer) = GstClockTime(end > cut.target ? end - cut.target : 1);
        PLAYER_HANDED_OVER(buffer); // to the sink's thread, through a queue
    }
    return true;
}

GstPadProbeReturn OnDecoderOutput(GstPad*, GstPadProbeInfo* info, gpointer data) {
    DecoderCut& cut = CutOf(data);
    std::lock_guard lock(cut.mutex);
    if (GST_PAD_PROBE_INFO_TYPE(info) & GST_PAD_PROBE_TYPE_BUFFER) {
        GstBuffer* buffer = GST_PAD_PROBE_INFO_BUFFER(info);
        if (!CutToTarget(cut, buffer))
            return GST_PAD_PROBE_DROP;
        GST_PAD_PROBE_INFO_DATA(info) = buffer;
        return GST_PAD_PROBE_OK;
    }
    GstEvent* event = GST_PAD_PROBE_INFO_EVENT(info);
    switch (GST_EVENT_TYPE(event)) {
    case GST_EVENT_FLUSH_STOP:
        cut.cutting = false;
        break;
    case GST_EVENT_SEGMENT: {
        const GstSegment* segment = nullptr;
        gst_event_parse_segment(event, &segment);
        cut.cutting = cut.original && segment &&
                      gst_event_get_seqnum(event) == gst_event_get_seqnum(cut.original) &&
                      segment->start == 0;
        if (cut.cutting) {
            gst_event_unref(event);
            GST_PAD_PROBE_INFO_DATA(info) = gst_event_ref(cut.original);
        }
        break;
    }
    default:
        break;
    }
    return GST_PAD_PROBE_OK;
}

void AddProbe(GstElement* element, const char* pad, GstPadProbeType type,
              GstPadProbeCallback callback, const CutPtr& cut) {
    GstPad* found = gst_element_get_static_pad(element, pad);
    if (!found)
        return;
    gst_pad_add_probe(found, type, callback, new CutPtr(cut),
                      [](gpointer p) { delete static_cast<CutPtr*>(p); });
    gst_object_unref(found);
}

using TimesPtr = std::shared_ptr<CFrameTimes>;

// Every stream the demuxer outputs after a seek it was sent to earlier than asked gets the
// segment of the seek as asked: the same stream times, from the target on.
GstPadProbeReturn OnDemuxerOutput(GstPad*, GstPadProbeInfo* info, gpointer data) {
    GstEvent* event = GST_PAD_PROBE_INFO_EVENT(info);
    if (GST_EVENT_TYPE(event) != GST_EVENT_SEGMENT)
        return GST_PAD_PROBE_OK;
    PLAYER_TAKEN_OVER(data);
    const TimesPtr& times = *static_cast<TimesPtr*>(data);
    PLAYER_TAKEN_OVER(times.get());
    const CFrameTimes::Moved moved = times->CurrentDemuxerStart();
    const GstSegment* segment = nullptr;
    gst_event_parse_segment(event, &segment);
    if (!segment || moved.seqnum == GST_SEQNUM_INVALID ||
        gst_event_get_seqnum(event) != moved.seqnum || segment->format != GST_FORMAT_TIME ||
        qint64(segment->start) != moved.from)
        return GST_PAD_PROBE_OK;
    GstSegment asked = *segment;
    asked.start = guint64(moved.target);
    asked.position = guint64(moved.target);
    asked.time = segment->time + guint64(moved.target - moved.from);
    GstEvent* replacement = gst_event_new_segment(&asked);
    gst_event_set_seqnum(replacement, moved.seqnum);
    gst_event_unref(event);
    GST_PAD_PROBE_INFO_DATA(info) = replacement;
    return GST_PAD_PROBE_OK;
}

void OnDemuxerPad(GstElement*, GstPad* pad, gpointer data) {
    PLAYER_TAKEN_OVER(data);
    if (GST_PAD_DIRECTION(pad) != GST_PAD_SRC)
        return;
    auto* times = new TimesPtr(*static_cast<TimesPtr*>(data));
    PLAYER_HANDED_OVER(times);
    gst_pad_add_probe(pad, GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM, OnDemuxerOutput, times,
                      [](gpointer p) { delete static_cast<TimesPtr*>(p); });
}

// Another camera's branch keeps its own times: its frames are not the recording's.
bool InOtherCamera(GstElement* element) {
    for (GstObject* up = GST_OBJECT_PARENT(element); up; up = GST_OBJECT_PARENT(up)) {
        if (g_object_get_data(G_OBJECT(up), "player-camera"))
            return true;
    }
    return false;
}

void OnElementAdded(GstBin*, GstBin*, GstElement* element, gpointer data) {
    PLAYER_TAKEN_OVER(data);
    if (InOtherCamera(element))
        return;
    PLAYER_TAKEN_OVER(static_cast<TimesPtr*>(data)->get());
    GstElementFactory* factory = gst_element_get_factory(element);
    const gchar* klass =
        factory ? gst_element_factory_get_metadata(factory, GST_ELEMENT_METADATA_KLASS) : nullptr;
    if (klass && g_strrstr(klass, "Demuxer")) {
        g_signal_connect_data(
            element, "pad-added", G_CALLBACK(OnDemuxerPad),
            new TimesPtr(*static_cast<TimesPtr*>(data)),
            [](gpointer p, GClosure*) { delete static_cast<TimesPtr*>(p); }, GConnectFlags(0));
        return;
    }
    // MJPEG's decoder calls itself an image decoder.
    if (!klass || !g_strrstr(klass, "Decoder") ||
        !(g_strrstr(klass, "Video") || g_strrstr(klass, "Image")))
        return;
    const auto cut =
        std::make_shared<DecoderCut>(*static_cast<std::shared_ptr<CFrameTimes>*>(data));
    AddProbe(element, "sink",
             GstPadProbeType(GST_PAD_PROBE_TYPE_BUFFER | GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM),
             OnDecoderInput, cut);
    AddProbe(element, "src",
             GstPadProbeType(GST_PAD_PROBE_TYPE_BUFFER | GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM |
                             GST_PAD_PROBE_TYPE_EVENT_FLUSH),
             OnDecoderOutput, cut);
}

} // namespace

std::shared_ptr<CFrameTimes> CFrameTimes::Watch(GstElement* graph) {
    auto times = std::make_shared<CFrameTimes>();
    PLAYER_HANDED_OVER(times.get());
    if (!graph || !g_signal_lookup("deep-element-added", G_OBJECT_TYPE(graph)))
        return times;
    auto* data = new TimesPtr(times);
    PLAYER_HANDED_OVER(data);
    times->m_handler = g_signal_connect_data(
        graph, "deep-element-added", G_CALLBACK(OnElementAdded), data,
        [](gpointer p, GClosure*) { delete static_cast<std::shared_ptr<CFrameTimes>*>(p); },
        GConnectFlags(0));
    return times;
}

void CFrameTimes::Unwatch(GstElement* graph, const std::shared_ptr<CFrameTimes>& times) {
    if (graph && times && times->m_handler)
        g_signal_handler_disconnect(graph, times->m_handler);
    if (times)
        times->m_handler = 0;
}

void CFrameTimes::Add(qint64 pts) {
    std::lock_guard lock(m_mutex);
    if (!m_times.insert(pts).second)
        return;
    m_order.push_back(pts);
    if (m_order.size() > kMaxTimes) {
        m_times.erase(m_order.front());
        m_order.pop_front();
    }
}

void CFrameTimes::SetCover(qint64 target, qint64 coverStart) {
    std::lock_guard lock(m_mutex);
    m_cover = Cover{target, coverStart};
}

CFrameTimes::Cover CFrameTimes::CurrentCover() const {
    std::lock_guard lock(m_mutex);
    return m_cover;
}

void CFrameTimes::SetDemuxerStart(quint32 seqnum, qint64 from, qint64 target) {
    std::lock_guard lock(m_mutex);
    m_moved = Moved{seqnum, from, target};
}

CFrameTimes::Moved CFrameTimes::CurrentDemuxerStart() const {
    std::lock_guard lock(m_mutex);
    return m_moved;
}

void CFrameTimes::Clear() {
    std::lock_guard lock(m_mutex);
    m_times.clear();
    m_order.clear();
    m_cover = Cover{};
    m_moved = Moved{};
}

qint64 CFrameTimes::AtOrBefore(qint64 pts) const {
    std::lock_guard lock(m_mutex);
    auto it = m_times.upper_bound(pts);
    return it == m_times.begin() ? -1 : *std::prev(it);
}

qint64 CFrameTimes::After(qint64 pts) const {
    std::lock_guard lock(m_mutex);
    auto it = m_times.upper_bound(pts);
    return it == m_times.end() ? -1 : *it;
}

qint64 CFrameTimes::Before(qint64 pts) const {
    std::lock_guard lock(m_mutex);
    auto it = m_times.lower_bound(pts);
    return it == m_times.begin() ? -1 : *std::prev(it);
}
