#include "playback/FrameTimes.h"

#include <gst/gst.h>

namespace {

// Enough for minutes of video, and a bound on memory for hours of it.
constexpr size_t kMaxTimes = 8192;

GstPadProbeReturn OnDecoderInput(GstPad* pad, GstPadProbeInfo* info, gpointer data) {
    GstBuffer* buffer = GST_PAD_PROBE_INFO_BUFFER(info);
    if (!buffer || !GST_BUFFER_PTS_IS_VALID(buffer))
        return GST_PAD_PROBE_OK;
    CFrameTimes& times = **static_cast<std::shared_ptr<CFrameTimes>*>(data);
    times.Add(qint64(GST_BUFFER_PTS(buffer)));
    GstEvent* event = gst_pad_get_sticky_event(pad, GST_EVENT_SEGMENT, 0);
    const GstSegment* segment = nullptr;
    if (event)
        gst_event_parse_segment(event, &segment);
    qint64 duration = 0;
    if (segment && segment->format == GST_FORMAT_TIME && segment->rate > 0 &&
        times.CoverDuration(qint64(GST_BUFFER_PTS(buffer)), qint64(segment->start), duration)) {
        buffer = gst_buffer_make_writable(buffer);
        GST_BUFFER_DURATION(buffer) = GstClockTime(duration);
        GST_PAD_PROBE_INFO_DATA(info) = buffer;
    }
    if (event)
        gst_event_unref(event);
    return GST_PAD_PROBE_OK;
}

void OnElementAdded(GstBin*, GstBin*, GstElement* element, gpointer data) {
    GstElementFactory* factory = gst_element_get_factory(element);
    const gchar* klass =
        factory ? gst_element_factory_get_metadata(factory, GST_ELEMENT_METADATA_KLASS) : nullptr;
    // MJPEG's decoder calls itself an image decoder.
    if (!klass || !g_strrstr(klass, "Decoder") ||
        !(g_strrstr(klass, "Video") || g_strrstr(klass, "Image")))
        return;
    GstPad* pad = gst_element_get_static_pad(element, "sink");
    if (!pad)
        return;
    auto* times =
        new std::shared_ptr<CFrameTimes>(*static_cast<std::shared_ptr<CFrameTimes>*>(data));
    gst_pad_add_probe(pad, GST_PAD_PROBE_TYPE_BUFFER, OnDecoderInput, times,
                      [](gpointer p) { delete static_cast<std::shared_ptr<CFrameTimes>*>(p); });
    gst_object_unref(pad);
}

} // namespace

std::shared_ptr<CFrameTimes> CFrameTimes::Watch(GstElement* graph) {
    auto times = std::make_shared<CFrameTimes>();
    if (!graph || !g_signal_lookup("deep-element-added", G_OBJECT_TYPE(graph)))
        return times;
    times->m_handler = g_signal_connect_data(
        graph, "deep-element-added", G_CALLBACK(OnElementAdded),
        new std::shared_ptr<CFrameTimes>(times),
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
    ++m_fed;
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
    m_coverStart = -1; // never a start that belongs to another target
    m_coverTarget = target;
    m_coverStart = coverStart;
}

bool CFrameTimes::CoverDuration(qint64 pts, qint64 segmentStart, qint64& duration) const {
    const qint64 start = m_coverStart;
    if (start < 0 || segmentStart != m_coverTarget || pts > start || start > segmentStart)
        return false;
    // A covering frame that starts right at the target needs nothing; the frames before it
    // still must end there.
    if (pts == start && start == segmentStart)
        return false;
    // An earlier frame ends exactly where the segment starts: decoded, its picture cut away
    // whole. The covering frame reaches just past the start, so it is shown from there.
    duration = pts < start ? segmentStart - pts : segmentStart - start + 1;
    return true;
}

void CFrameTimes::Clear() {
    std::lock_guard lock(m_mutex);
    m_times.clear();
    m_order.clear();
}

qint64 CFrameTimes::AtOrBefore(qint64 pts) const {
    std::lock_guard lock(m_mutex);
    auto it = m_times.upper_bound(pts);
    return it == m_times.begin() ? -1 : *std::prev(it);
}

qint64 CFrameTimes::Before(qint64 pts) const {
    std::lock_guard lock(m_mutex);
    auto it = m_times.lower_bound(pts);
    return it == m_times.begin() ? -1 : *std::prev(it);
}
