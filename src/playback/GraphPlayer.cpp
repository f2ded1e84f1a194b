// SPDX-License-Identifier: GPL-3.0-or-later
#include "playback/GraphPlayer.h"

#include "playback/AsfCardSource.h"
#include "playback/FrameBitmap.h"
#include "playback/FrameScaler.h"
#include "playback/FrameSlot.h"
#include "playback/FrameTimes.h"
#include "playback/HandOver.h"
#include "playback/OpenWait.h"
#include "playback/VideoSurface.h"

#include <QCoreApplication>
#include <QEvent>
#include <QFileInfo>
#include <QUrl>
#include <QWidget>
#include <algorithm>
#include <cmath>
#include <gst/app/gstappsink.h>
#include <gst/audio/streamvolume.h>
#include <limits>
#include <map>
#include <mutex>
#include <optional>
#include <unistd.h>

namespace {

// How long opening a file may wait for the first frame to be decoded. Files on a slow
// memory card take a while; a broken one reports an error well before this.
constexpr int kPrerollTimeoutMs = 10000;
// How long opening waits for the first frame before it serves the window meanwhile.
constexpr gint64 kQuietPrerollUs = 16 * 1000;
// While waiting for the first frame, how often to look whether anything still works on it,
// and how many looks in a row finding nothing at work mean it never will.
constexpr gint64 kStallCheckUs = 250 * 1000;
constexpr int kStallChecks = 2;
// How long one frame forward may wait for a seek still in flight to settle.
constexpr GstClockTime kStepSettleTimeout = 100 * GST_MSECOND;
// Without the start of the frame before the one on screen, how far before the latter's start
// to seek: less than any frame lasts, more than the millisecond the file's times are kept in.
constexpr qint64 kFrameBackLead = 2 * GST_MSECOND;
// A seek to or past the end shows the last frame: it goes this far before the end, less than
// any frame lasts.
constexpr gint64 kEndLead = GST_MSECOND;
// Waiting for a state change the timer asks about on every tick.
constexpr GstClockTime kStateQueryTimeout = 10 * GST_MSECOND;

// playbin's "flags": we never want subtitles or audio visualisations.
constexpr guint kPlayFlagText = 1u << 2;
constexpr guint kPlayFlagVis = 1u << 3;

void EnsureGstreamer() {
    static std::once_flag once;
    std::call_once(once, [] {
        gst_init(nullptr, nullptr);
        AsfCardSource::Register();
    });
}

GstElement* MakeOwned(const char* factory, const char* name = nullptr) {
    GstElement* element = gst_element_factory_make(factory, name);
    if (element)
        gst_object_ref_sink(element);
    return element;
}

// The table of live graphs of this process, so outside tools (and our leak checks) can
// see which graphs exist. Cookies start at 1; 0 means "not registered".
struct RunningGraphTable {
    std::map<uint32_t, QString> entries;
    uint32_t nextCookie = 1;
};
RunningGraphTable& Rot() {
    static RunningGraphTable table;
    return table;
}

// Whether any streaming thread of the graph is still running. A demuxer that gives up on a
// damaged file while decodebin is still plugging it in has its error swallowed (decodebin
// drops errors from elements it is setting up); its thread stops and nothing else is left
// to finish the preroll or report a failure.
bool AnyStreamingTaskRunning(GstElement* graph) {
    // A graph that changes while we look (decodebin adding elements) is at work too.
    bool running = false;
    GstIterator* elements = gst_bin_iterate_recurse(GST_BIN(graph));
    GValue element = G_VALUE_INIT;
    GstIteratorResult next = GST_ITERATOR_OK;
    while (!running && (next = gst_iterator_next(elements, &element)) == GST_ITERATOR_OK) {
        GstIterator* pads = gst_element_iterate_pads(GST_ELEMENT(g_value_get_object(&element)));
        GValue pad = G_VALUE_INIT;
        GstIteratorResult nextPad = GST_ITERATOR_OK;
        while (!running && (nextPad = gst_iterator_next(pads, &pad)) == GST_ITERATOR_OK) {
            running = gst_pad_get_task_state(GST_PAD(g_value_get_object(&pad))) == GST_TASK_STARTED;
            g_value_reset(&pad);
        }
        running = running || (nextPad != GST_ITERATOR_OK && nextPad != GST_ITERATOR_DONE);
        g_value_unset(&pad);
        gst_iterator_free(pads);
        g_value_reset(&element);
    }
    running = running || (next != GST_ITERATOR_OK && next != GST_ITERATOR_DONE);
    g_value_unset(&element);
    gst_iterator_free(elements);
    return running;
}

GstFlowReturn OnNewPreroll(GstAppSink* sink, gpointer slot) {
    PLAYER_TAKEN_OVER(slot);
    if (GstSample* sample = gst_app_sink_pull_preroll(sink)) {
        PLAYER_TAKEN_OVER(gst_sample_get_buffer(sample));
        static_cast<CFrameSlot*>(slot)->Store(sample);
    }
    return GST_FLOW_OK;
}

GstFlowReturn OnNewSample(GstAppSink* sink, gpointer slot) {
    PLAYER_TAKEN_OVER(slot);
    if (GstSample* sample = gst_app_sink_pull_sample(sink)) {
        PLAYER_TAKEN_OVER(gst_sample_get_buffer(sample));
        static_cast<CFrameSlot*>(slot)->Store(sample);
    }
    return GST_FLOW_OK;
}

} // namespace

CGraphPlayer::CGraphPlayer() : m_frameSlot(std::make_unique<CFrameSlot>()) {}

CGraphPlayer::~CGraphPlayer() {
    // A wait of this engine serves the UI thread; whatever ran there must not have released
    // it (OpenWait::WhenIdle), as the wait's worker still uses it.
    PLAYER_WAIT_CHECK(m_waits == 0, "an engine was released during its own wait");
    ReleaseOwnGraph();
}

bool CGraphPlayer::CreateGraph() {
    if (m_pipeline)
        return false;
    EnsureGstreamer();
    m_pipeline.reset(MakeOwned("playbin"));
    if (!m_pipeline)
        return false;

    GstElementPtr videoSink(MakeOwned("appsink", "video"));
    if (videoSink) {
        // Decoded frames come as they are; only the shown size is converted (FrameScaler).
        GstCapsPtr caps(gst_caps_from_string(FrameScaler::SinkCaps()));
        g_object_set(videoSink.get(), "caps", caps.get(), "sync", TRUE, "max-buffers", 2u, "drop",
                     TRUE, "enable-last-sample", FALSE, "qos", TRUE, nullptr);
        g_object_set(m_pipeline.get(), "video-sink", videoSink.get(), nullptr);
    }
    // Without any audio output the video must still play at its own pace.
    GstElementPtr audioSink(MakeOwned("autoaudiosink"));
    if (!audioSink) {
        audioSink.reset(MakeOwned("fakesink"));
        if (audioSink)
            g_object_set(audioSink.get(), "sync", TRUE, nullptr);
    }
    if (audioSink)
        g_object_set(m_pipeline.get(), "audio-sink", audioSink.get(), nullptr);

    guint flags = 0;
    g_object_get(m_pipeline.get(), "flags", &flags, nullptr);
    g_object_set(m_pipeline.get(), "flags", flags & ~(kPlayFlagText | kPlayFlagVis), nullptr);

    RegisterInRot();
    return AcquireControlInterfaces();
}

bool CGraphPlayer::AcquireControlInterfaces() {
    if (!m_pipeline)
        return false;
    GstElement* graph = m_pipeline.get();
    bool all = true;

    m_mediaControl = RefElement(graph);

    m_mediaEvent.reset(gst_element_get_bus(graph));
    all = all && m_mediaEvent;

    GstElement* sink = nullptr;
    if (g_object_class_find_property(G_OBJECT_GET_CLASS(graph), "video-sink"))
        g_object_get(graph, "video-sink", &sink, nullptr);
    GstElementPtr videoSink(sink);
    if (videoSink && GST_IS_APP_SINK(videoSink.get())) {
        GstAppSinkCallbacks callbacks{};
        callbacks.new_preroll = OnNewPreroll;
        callbacks.new_sample = OnNewSample;
        PLAYER_HANDED_OVER(m_frameSlot.get());
        gst_app_sink_set_callbacks(GST_APP_SINK(videoSink.get()), &callbacks, m_frameSlot.get(),
                                   nullptr);
        m_basicVideo = RefElement(videoSink.get());
    } else {
        all = false;
    }

    if (GST_IS_STREAM_VOLUME(graph))
        m_basicAudio = RefElement(graph);
    else
        all = false;

    if (m_basicVideo) {
        auto* surface = new CVideoSurface(m_frameSlot.get());
        surface->hide();
        m_videoWindow = surface;
    } else {
        all = false;
    }

    m_mediaSeeking = RefElement(graph);
    m_mediaPosition = RefElement(graph);
    m_frameTimes = CFrameTimes::Watch(graph);

    if (m_basicVideo)
        m_frameStep = RefElement(m_basicVideo.get());
    else
        all = false;

    return all;
}

void CGraphPlayer::ReleaseGraph() {
    ReleaseOwnGraph();
}

void CGraphPlayer::ReleaseOwnGraph() {
    // The streaming threads must be gone before anything they write to is released.
    if (m_pipeline)
        gst_element_set_state(m_pipeline.get(), GST_STATE_NULL);
    if (m_basicVideo && GST_IS_APP_SINK(m_basicVideo.get())) {
        GstAppSinkCallbacks none{};
        gst_app_sink_set_callbacks(GST_APP_SINK(m_basicVideo.get()), &none, nullptr, nullptr);
    }

    CFrameTimes::Unwatch(m_pipeline.get(), m_frameTimes);
    m_frameTimes.reset();
    m_mediaPosition.reset();
    m_frameStep.reset();
    m_mediaSeeking.reset();
    m_mediaControl.reset();
    m_mediaEvent.reset();
    m_basicVideo.reset();
    m_basicAudio.reset();
    if (m_videoWindow) {
        m_videoWindow->hide();
        m_videoWindow->setParent(nullptr);
        delete m_videoWindow.data();
    }
    m_videoWindow.clear();
    RevokeFromRot();
    m_pipeline.reset();

    m_frameSlot = std::make_unique<CFrameSlot>();
    m_endOfStream = false;
    m_failed = false;
    m_seekSeqnum = GST_SEQNUM_INVALID;
    m_seekPending = false;
}

bool CGraphPlayer::AttachGraph(GstElement* graph) {
    ReleaseGraph();
    if (!graph)
        return true;
    EnsureGstreamer();
    m_pipeline = RefElement(graph);
    RegisterInRot();
    return AcquireControlInterfaces();
}

void CGraphPlayer::RegisterInRot() {
    RunningGraphTable& table = Rot();
    const uint32_t cookie = table.nextCookie++;
    if (table.nextCookie == 0)
        table.nextCookie = 1;
    table.entries[cookie] =
        QString::asprintf("FilterGraph %p pid %08x", static_cast<void*>(m_pipeline.get()),
                          static_cast<unsigned>(getpid()));
    m_dwRotRegister = cookie;
}

void CGraphPlayer::RevokeFromRot() {
    Rot().entries.erase(m_dwRotRegister);
    m_dwRotRegister = 0;
}

int CGraphPlayer::LiveGraphCount() {
    return int(Rot().entries.size());
}

QString CGraphPlayer::RotEntryName(uint32_t cookie) {
    const auto it = Rot().entries.find(cookie);
    return it == Rot().entries.end() ? QString() : it->second;
}

bool CGraphPlayer::OpenMediaFile(const QString& path) {
    if (!m_pipeline)
        return false;
    gst_element_set_state(m_pipeline.get(), GST_STATE_NULL);
    m_endOfStream = false;
    m_failed = false;
    m_seekSeqnum = GST_SEQNUM_INVALID;
    m_seekPending = false;
    if (m_frameTimes)
        m_frameTimes->Clear();

    // A bare name resolves against the current folder, as a file dialog would leave it.
    const QFileInfo info(path);
    // ASF recordings go through our own source, which lets the demuxer seek in files that a
    // power loss left without an index or a length; anything else is read as it is.
    const QString absolute = info.absoluteFilePath();
    const QByteArray uri = AsfCardSource::LooksLikeAsf(absolute)
                               ? AsfCardSource::UriFor(absolute)
                               : QUrl::fromLocalFile(absolute).toEncoded();
    g_object_set(m_pipeline.get(), "uri", uri.constData(), nullptr);

    // Decoding the first frame is how we learn whether the file can be played at all. The
    // window keeps painting meanwhile (see OpenWait).
    bool opened = false;
    {
        const OwnWait waiting(*this);
        opened =
            info.isFile() &&
            OpenWait::SetState(m_pipeline.get(), GST_STATE_PAUSED) != GST_STATE_CHANGE_FAILURE &&
            WaitForPreroll(kPrerollTimeoutMs);
    }
    if (!opened) {
        gst_element_set_state(m_pipeline.get(), GST_STATE_NULL);
        if (m_mediaEvent) { // drop what the failed attempt left on the bus
            gst_bus_set_flushing(m_mediaEvent.get(), TRUE);
            gst_bus_set_flushing(m_mediaEvent.get(), FALSE);
        }
        m_failed = true;
        return false;
    }
    return true;
}

bool CGraphPlayer::WaitForPreroll(int timeoutMs) {
    if (!m_mediaEvent)
        return false;
    std::optional<bool> outcome;
    int idleLooks = 0;
    gint64 nextLook = g_get_monotonic_time() + kStallCheckUs;
    // Whether the wait is over; the first look may wait `wait` for the bus.
    const auto look = [&](GstClockTime wait) {
        while (GstMessagePtr message{gst_bus_timed_pop_filtered(
            m_mediaEvent.get(), wait,
            GstMessageType(GST_MESSAGE_ERROR | GST_MESSAGE_ASYNC_DONE | GST_MESSAGE_EOS))}) {
            wait = 0;
            switch (GST_MESSAGE_TYPE(message.get())) {
            case GST_MESSAGE_ERROR:
                outcome = false;
                return true;
            case GST_MESSAGE_EOS:
                m_endOfStream = true;
                outcome = true;
                return true;
            case GST_MESSAGE_ASYNC_DONE:
                if (GST_MESSAGE_SRC(message.get()) == GST_OBJECT(m_pipeline.get())) {
                    outcome = true;
                    return true;
                }
                break;
            default:
                break;
            }
        }
        if (g_get_monotonic_time() < nextLook)
            return false;
        // A slow card keeps a reading thread busy; a file given up on silently does not.
        idleLooks = AnyStreamingTaskRunning(m_pipeline.get()) ? 0 : idleLooks + 1;
        nextLook = g_get_monotonic_time() + kStallCheckUs;
        if (idleLooks < kStallChecks)
            return false;
        outcome = false;
        return true;
    };
    // A recording on a good card prerolls within a frame or two of the window's painting:
    // waited for on the bus itself, it is seen the moment it does. Only then is the window
    // served, asking every few milliseconds.
    const gint64 quietEnd = g_get_monotonic_time() + kQuietPrerollUs;
    bool over = false;
    for (gint64 now = g_get_monotonic_time(); !over && now < quietEnd; now = g_get_monotonic_time())
        over = look(GstClockTime(quietEnd - now) * GST_USECOND);
    if (!over)
        OpenWait::ServeUntil([&] { return look(0); },
                             std::max(0, timeoutMs - int(kQuietPrerollUs / 1000)));
    return outcome.value_or(false);
}

void CGraphPlayer::DrainBus() {
    if (!m_mediaEvent)
        return;
    while (GstMessagePtr message{gst_bus_pop(m_mediaEvent.get())}) {
        const GstMessageType type = GST_MESSAGE_TYPE(message.get());
        if (type == GST_MESSAGE_EOS && (m_seekSeqnum == GST_SEQNUM_INVALID ||
                                        gst_message_get_seqnum(message.get()) == m_seekSeqnum))
            m_endOfStream = true;
        if ((type == GST_MESSAGE_EOS || type == GST_MESSAGE_ERROR) && m_eventWindow) {
            QCoreApplication::postEvent(m_eventWindow.data(),
                                        new QEvent(QEvent::Type(QEvent::User + WM_GRAPHNOTIFY)));
        }
    }
}

bool CGraphPlayer::AttachVideoWindow(QWidget* host) {
    if (!m_videoWindow)
        return false;
    QWidget* surface = m_videoWindow.data();
    surface->hide();
    if (surface->parentWidget())
        surface->parentWidget()->removeEventFilter(surface);
    surface->setParent(host);
    if (host) {
        surface->setGeometry(0, 0, host->width(), host->height());
        host->installEventFilter(surface); // it follows the host's size
    }
    surface->setVisible(host != nullptr);
    return true;
}

bool CGraphPlayer::SetEventWindow(QObject* window) {
    if (!m_mediaEvent)
        return false;
    m_eventWindow = window;
    return true;
}

bool CGraphPlayer::QueryState(GstState wanted) {
    if (!m_pipeline || !m_mediaControl)
        return false;
    DrainBus();
    GstState state = GST_STATE_NULL;
    GstState pending = GST_STATE_VOID_PENDING;
    const GstStateChangeReturn ret =
        gst_element_get_state(m_mediaControl.get(), &state, &pending, kStateQueryTimeout);
    if (ret == GST_STATE_CHANGE_FAILURE)
        return false;
    if (ret == GST_STATE_CHANGE_ASYNC && pending != GST_STATE_VOID_PENDING)
        state = pending;
    // NULL and READY both mean the graph holds no running data flow: stopped.
    if (state == GST_STATE_NULL)
        state = GST_STATE_READY;
    return state == wanted;
}

bool CGraphPlayer::InRunningState() {
    return QueryState(GST_STATE_PLAYING);
}
bool CGraphPlayer::InPausedState() {
    return QueryState(GST_STATE_PAUSED);
}
bool CGraphPlayer::InStoppedState() {
    return QueryState(GST_STATE_READY);
}

bool CGraphPlayer::StartPlayback() {
    if (!m_pipeline || !m_mediaControl)
        return false;
    if (InRunningState())
        return true;
    if (m_failed)
        return false;
    return gst_element_set_state(m_mediaControl.get(), GST_STATE_PLAYING) !=
           GST_STATE_CHANGE_FAILURE;
}

bool CGraphPlayer::PausePlayback() {
    if (!m_pipeline || !m_mediaControl)
        return false;
    if (InPausedState())
        return true;
    if (m_failed)
        return false;
    return gst_element_set_state(m_mediaControl.get(), GST_STATE_PAUSED) !=
           GST_STATE_CHANGE_FAILURE;
}

bool CGraphPlayer::StopPlayback() {
    if (!m_pipeline || !m_mediaControl)
        return false;
    if (InStoppedState())
        return true;
    const bool done =
        gst_element_set_state(m_mediaControl.get(), GST_STATE_READY) != GST_STATE_CHANGE_FAILURE;
    m_endOfStream = false;
    return done;
}

int64_t CGraphPlayer::MediaTimeFromSeconds(double seconds) {
    const double units = 10000000.0 * seconds;
    // Beyond what 64 bits hold (or not a number) the conversion has no defined result.
    if (std::isnan(units))
        return 0;
    if (units >= 9.2e18)
        return INT64_MAX;
    if (units <= -9.2e18)
        return INT64_MIN;
    return static_cast<int64_t>(units);
}

double CGraphPlayer::SecondsFromMediaTime(int64_t units) {
    return double(units) * 1e-7;
}

double CGraphPlayer::LinearVolumeFromLevel(int32_t level) {
    if (level <= -10000)
        return 0.0;
    return gst_stream_volume_convert_volume(GST_STREAM_VOLUME_FORMAT_DB,
                                            GST_STREAM_VOLUME_FORMAT_LINEAR, level / 100.0);
}

bool CGraphPlayer::GetPositionSeconds(double& seconds) {
    if (!m_mediaSeeking)
        return false;
    DrainBus();
    gint64 ns = 0;
    bool ok = false;
    if (!m_endOfStream) {
        // The position is the picture's: a sound track that ends first must not end the
        // recording early (the pipeline answers with the furthest of its sinks). Files without
        // video have only the pipeline's answer.
        const bool video = m_basicVideo && m_frameSlot->FrameCount() > 0;
        // Once the last picture is out, a sound that runs on is where the recording is.
        GstElementPtr sound;
        if (video && SinkHolds(GST_EVENT_EOS)) {
            sound = AudioSink();
            if (sound && SinkHolds(sound.get(), GST_EVENT_EOS))
                sound.reset();
        }
        ok = gst_element_query_position(sound   ? sound.get()
                                        : video ? m_basicVideo.get()
                                                : m_mediaSeeking.get(),
                                        GST_FORMAT_TIME, &ns);
        if (m_seekPending && ok && (!video || m_frameSlot->FrameCount() > m_framesAtSeek))
            m_seekPending = false;
        // Until the seek has reached the screen, the pipeline may have no position or an old
        // one: the seek's target is where we are.
        if (m_seekPending && !SinkHolds(GST_EVENT_EOS)) {
            ns = m_seekTargetNs;
            ok = true;
        }
    }
    // At the end of the stream the position is the duration, exactly. A seek past the data
    // of a cut recording ends the stream before any new segment, so no position exists; the
    // sink holding that end says where we are.
    if (!ok && (m_endOfStream || SinkHolds(GST_EVENT_EOS)))
        ok = gst_element_query_duration(m_mediaSeeking.get(), GST_FORMAT_TIME, &ns);
    if (!ok || ns < 0)
        return false;
    seconds = SecondsFromMediaTime(ns / 100);
    return true;
}

bool CGraphPlayer::GetDurationSeconds(double& seconds) {
    if (!m_mediaSeeking)
        return false;
    gint64 ns = 0;
    if (!gst_element_query_duration(m_mediaSeeking.get(), GST_FORMAT_TIME, &ns) || ns < 0)
        return false;
    seconds = SecondsFromMediaTime(ns / 100);
    return true;
}

bool CGraphPlayer::SeekToSeconds(double seconds) {
    if (!m_mediaSeeking)
        return false;
    m_lastSeekRequest = seconds;
    const int64_t units = MediaTimeFromSeconds(seconds);
    // GStreamer has no position before the start; a step back past it lands on the start.
    const gint64 ns = units <= 0 ? 0 : (units > INT64_MAX / 100 ? INT64_MAX : units * 100);
    // At or past the end the position is the duration, as it is once playback ran out, and
    // the picture is the last frame: the seek goes to just before the end.
    gint64 duration = 0;
    const bool atEnd =
        gst_element_query_duration(m_mediaSeeking.get(), GST_FORMAT_TIME, &duration) &&
        duration > 0 && ns >= duration;
    const gint64 target = atEnd ? std::max<gint64>(0, duration - kEndLead) : ns;
    // An ASF index has one entry a second and points each entry at the packet where that
    // second's data begins, which holds earlier frames: a plain key-unit seek a second
    // forward can land where it started, so "forward" never moves. We seek to the key
    // frame before the target and decode on to the target itself.
    // Where the file tells when the frame covering the target starts, the decoders are told
    // which frame that is (they may not know how long frames last).
    GstEvent* seek = gst_event_new_seek(1.0, GST_FORMAT_TIME,
                                        GstSeekFlags(GST_SEEK_FLAG_FLUSH | GST_SEEK_FLAG_ACCURATE),
                                        GST_SEEK_TYPE_SET, target, GST_SEEK_TYPE_NONE, -1);
    const guint32 seqnum = gst_event_get_seqnum(seek);
    // Both the lookups and the demuxer's own read the card; on a slow one, seconds. Nothing
    // else acts on this engine meanwhile (OpenWait::Busy).
    const GstElementPtr source = Source();
    bool done = false;
    quint64 framesAtSeek = 0;
    {
        const OwnWait waiting(*this);
        OpenWait::Run([&] {
            if (m_frameTimes) {
                const AsfCardSource::SeekPoints points =
                    target > 0 ? AsfCardSource::SeekPointsFor(source.get(), target)
                               : AsfCardSource::SeekPoints{};
                m_frameTimes->SetCover(target, points.frameStart.value_or(-1));
                // The demuxer holds back what comes before the segment until something inside
                // it arrives, and after the last frame nothing does: it is sent to the covering
                // frame, the streams keeping the segment of the target. Frames shown just before
                // a key frame may be stored after it: then decoding starts from the key frame
                // before.
                const auto from = points.decodeFrom ? points.decodeFrom
                                  : points.frameStart && *points.frameStart < target
                                      ? points.frameStart
                                      : std::nullopt;
                m_frameTimes->SetDemuxerStart(from ? seqnum : GST_SEQNUM_INVALID, from.value_or(-1),
                                              target);
                if (from) {
                    GstEvent* earlier = gst_event_new_seek(
                        1.0, GST_FORMAT_TIME,
                        GstSeekFlags(GST_SEEK_FLAG_FLUSH | GST_SEEK_FLAG_ACCURATE),
                        GST_SEEK_TYPE_SET, *from, GST_SEEK_TYPE_NONE, -1);
                    gst_event_set_seqnum(earlier, seqnum);
                    gst_event_unref(seek);
                    seek = earlier;
                }
            }
            done = gst_element_send_event(m_mediaSeeking.get(), seek);
            framesAtSeek = m_frameSlot->FrameCount();
        });
    }
    if (!done)
        return false;
    // From now on only an end of stream of this seek counts (an older one may still wait on
    // the bus), and until a frame of it is on screen the target is where we are.
    m_seekSeqnum = seqnum;
    m_seekPending = true;
    m_seekTargetNs = target;
    m_framesAtSeek = framesAtSeek;
    // While paused no end-of-stream message comes at the end: the position is the duration.
    m_endOfStream = atEnd;
    return true;
}

bool CGraphPlayer::SetVolumeLevel(int32_t level) {
    if (!m_basicAudio)
        return false;
    if (level > 0 || level < -10000)
        return false;
    gst_stream_volume_set_volume(GST_STREAM_VOLUME(m_basicAudio.get()),
                                 GST_STREAM_VOLUME_FORMAT_LINEAR, LinearVolumeFromLevel(level));
    return true;
}

bool CGraphPlayer::StepOneFrame() {
    if (!m_frameStep)
        return false;
    // Past the last frame there is nothing to step to. A step reaching a sink that was
    // flushed and then got the end of the stream without a new segment (a seek to or past
    // the end, or past the data of a cut file) starts on no segment: GStreamer complains
    // and the position can no longer be read. So a seek still in flight may finish first,
    // and the step goes out only while the sink has a segment and has not ended.
    DrainBus();
    if (m_endOfStream)
        return true;
    if (m_mediaControl)
        gst_element_get_state(m_mediaControl.get(), nullptr, nullptr, kStepSettleTimeout);
    if (!SinkHolds(GST_EVENT_SEGMENT) || SinkHolds(GST_EVENT_EOS))
        return true;
    return gst_element_send_event(m_frameStep.get(),
                                  gst_event_new_step(GST_FORMAT_BUFFERS, 1, 1.0, TRUE, FALSE));
}

double CGraphPlayer::FrameBackTarget(double position) {
    const GstElementPtr source = Source();
    qint64 start = -1; // where the frame on screen starts, as stream time
    if (m_seekPending && m_frameSlot->FrameCount() <= m_framesAtSeek) {
        // The seek's frame is not on screen yet: it is the one covering the seek's target, not
        // the picture still shown from before.
        std::optional<qint64> cover;
        const qint64 target = m_seekTargetNs;
        const OwnWait waiting(*this);
        OpenWait::Run([&] { cover = AsfCardSource::FrameStartAt(source.get(), target); });
        if (!cover)
            return position - 0.05;
        start = *cover;
    } else {
        const qint64 shown = m_frameSlot->NewestPts();
        const qint64 shownTime = m_frameSlot->StreamTimeOf(shown);
        if (shown < 0 || shownTime < 0 || !m_frameTimes)
            return position - 0.05;
        // The frame on screen may carry a seek's target as its time; its own start is the
        // latest frame start at or before that among those decoded.
        start = m_frameTimes->AtOrBefore(shown);
        if (start < 0)
            start = shown;
        start += shownTime - shown; // as stream time
    }
    // Halfway into the frame before it, where the file tells where that one starts, so the
    // seek's rounding cannot reach another; else just before the start of the one on screen.
    qint64 target = start - kFrameBackLead;
    std::optional<qint64> previous;
    const OwnWait waiting(*this);
    OpenWait::Run(
        [&] { previous = AsfCardSource::FrameStartAt(source.get(), start - GST_MSECOND); });
    if (previous)
        target = *previous + (start - *previous) / 2;
    return std::max<double>(0.0, double(target) / GST_SECOND);
}

GstElementPtr CGraphPlayer::Source() const {
    GstElement* source = nullptr;
    if (m_mediaSeeking &&
        g_object_class_find_property(G_OBJECT_GET_CLASS(m_mediaSeeking.get()), "source"))
        g_object_get(m_mediaSeeking.get(), "source", &source, nullptr);
    return GstElementPtr(source);
}

GstElementPtr CGraphPlayer::AudioSink() const {
    GstElement* sink = nullptr;
    if (m_mediaSeeking &&
        g_object_class_find_property(G_OBJECT_GET_CLASS(m_mediaSeeking.get()), "audio-sink"))
        g_object_get(m_mediaSeeking.get(), "audio-sink", &sink, nullptr);
    return GstElementPtr(sink);
}

bool CGraphPlayer::SinkHolds(GstEventType type) const {
    return m_frameStep && SinkHolds(m_frameStep.get(), type);
}

bool CGraphPlayer::SinkHolds(GstElement* sink, GstEventType type) {
    GstPadPtr pad(gst_element_get_static_pad(sink, "sink"));
    GstEvent* event = pad ? gst_pad_get_sticky_event(pad.get(), type, 0) : nullptr;
    if (!event)
        return false;
    gst_event_unref(event);
    return true;
}

bool CGraphPlayer::GetNativeVideoSize(int32_t& width, int32_t& height) {
    if (!m_basicVideo)
        return false;
    QSize size = m_frameSlot->FrameSize();
    if (!size.isValid()) {
        GstPadPtr pad(gst_element_get_static_pad(m_basicVideo.get(), "sink"));
        GstCapsPtr caps(pad ? gst_pad_get_current_caps(pad.get()) : nullptr);
        GstStructure* s =
            caps && gst_caps_get_size(caps.get()) ? gst_caps_get_structure(caps.get(), 0) : nullptr;
        int w = 0, h = 0;
        if (s && gst_structure_get_int(s, "width", &w) && gst_structure_get_int(s, "height", &h))
            size = QSize(w, h);
        else
            size = QSize(0, 0);
    }
    width = size.width();
    height = size.height();
    return true;
}

QByteArray CGraphPlayer::GetCurrentImage() const {
    if (!m_basicVideo)
        return {};
    return FrameBitmap::BlockFromImage(m_frameSlot->NewestImage());
}

bool CGraphPlayer::SaveFrameBitmap(const QString& path) {
    if (!m_basicVideo)
        return false;
    const QByteArray block = GetCurrentImage();
    if (block.isEmpty())
        return false;
    return FrameBitmap::WriteBitmapFile(path, block);
}

CVideoSurface* CGraphPlayer::VideoSurface() const {
    return static_cast<CVideoSurface*>(m_videoWindow.data());
}

qint64 CGraphPlayer::ShownFrameTime() const {
    return m_frameSlot->NewestStreamTime();
}

qint64 CGraphPlayer::ShownFrameEnd() const {
    // The frame on screen may carry a seek's target as its time, and a decoder may give frames
    // no duration (pictures coded alone, in files that store no frame rate): it ends where the
    // next frame starts, among those decoded, or where its duration says, whichever is first.
    const qint64 shown = m_frameSlot->NewestPts();
    const qint64 shownTime = m_frameSlot->StreamTimeOf(shown);
    if (shown < 0 || shownTime < 0)
        return -1;
    qint64 end = m_frameSlot->NewestEndStreamTime();
    if (end <= shownTime + GST_MSECOND)
        end = -1;
    if (m_frameTimes) {
        const qint64 start = m_frameTimes->AtOrBefore(shown);
        const qint64 next = m_frameTimes->After(start >= 0 ? start : shown);
        if (next > shown && (end < 0 || next + (shownTime - shown) < end))
            end = next + (shownTime - shown);
    }
    return end;
}

quint64 CGraphPlayer::FramesDelivered() const {
    return m_frameSlot->FrameCount();
}

quint64 CGraphPlayer::FramesDecoded() const {
    return m_frameTimes ? m_frameTimes->FramesFed() : 0;
}

double CGraphPlayer::CurrentLinearVolume() const {
    if (!m_basicAudio)
        return 0;
    return gst_stream_volume_get_volume(GST_STREAM_VOLUME(m_basicAudio.get()),
                                        GST_STREAM_VOLUME_FORMAT_LINEAR);
}
