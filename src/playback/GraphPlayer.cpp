// SPDX-License-Identifier: GPL-3.0-or-later
#include "playback/GraphPlayer.h"

#include "playback/AsfCardSource.h"
#include "playback/FrameBitmap.h"
#include "playback/FrameScaler.h"
#include "playback/FrameSlot.h"
#include "playback/FrameTimes.h"
#include "playback/LastPicture.h"
#include "playback/OpenWait.h"
#include "playback/OverlayVideo.h"
#include "playback/SeekPlan.h"
#include "playback/VideoSurface.h"

#include <QStringList>
#include <QWidget>
#include <algorithm>
#include <cmath>
#include <gst/audio/streamvolume.h>
#include <limits>
#include <optional>

namespace {

// How long one frame forward may wait for a seek still in flight to settle.
constexpr GstClockTime kStepSettleTimeout = 100 * GST_MSECOND;
// How long a frame back may wait for a seek in flight to show its frame, where the file does not
// tell which frame that is.
constexpr GstClockTime kSeekSettleTimeout = 2 * GST_SECOND;
// Waiting for a state change the timer asks about on every tick.
constexpr GstClockTime kStateQueryTimeout = 10 * GST_MSECOND;

} // namespace

CGraphPlayer::CGraphPlayer() : m_frameSlot(std::make_unique<CFrameSlot>()) {}

CGraphPlayer::~CGraphPlayer() {
    // A wait of this engine serves the UI thread; whatever ran there must not have released
    // it (OpenWait::WhenIdle), as the wait's worker still uses it.
    PLAYER_WAIT_CHECK(m_waits == 0, "an engine was released during its own wait");
    ReleaseOwnGraph();
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
    ShowLastPicture();
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
        ok = QueryDuration(ns);
    if (!ok || ns < 0)
        return false;
    seconds = SecondsFromMediaTime(ns / 100);
    return true;
}

void CGraphPlayer::ShowLastPicture() {
    // Only once per seek, and only where the seek ended without a frame: past the picture's end,
    // into the sound that runs on, the video sink prerolls on a gap or on the end of its stream.
    if (!m_seekPending || m_lastPictureSeek == m_seekSeqnum || !m_basicVideo || !m_pipeline ||
        m_frameSlot->FrameCount() == 0 || m_frameSlot->FrameCount() > m_framesAtSeek ||
        OpenWait::Busy() || !SinkHolds(GST_EVENT_SEGMENT))
        return;
    GstState state = GST_STATE_NULL, pending = GST_STATE_VOID_PENDING;
    const bool settled = gst_element_get_state(m_mediaControl.get(), &state, &pending, 0) ==
                             GST_STATE_CHANGE_SUCCESS &&
                         state >= GST_STATE_PAUSED;
    if (!settled && !SinkHolds(GST_EVENT_EOS))
        return;
    m_lastPictureSeek = m_seekSeqnum;
    gchar* current = nullptr;
    g_object_get(m_pipeline.get(), "current-uri", &current, nullptr);
    const QByteArray uri(current);
    g_free(current);
    GstSamplePtr sample;
    std::vector<gint64> starts;
    const gint64 target = m_seekTargetNs;
    {
        const OwnWait waiting(*this);
        OpenWait::Run([&] {
            sample.reset(LastPicture::Before(uri, FrameScaler::SinkCaps(), target, &starts));
        });
    }
    if (!sample || m_frameSlot->FrameCount() > m_framesAtSeek)
        return;
    if (m_frameTimes)
        for (const gint64 start : starts)
            m_frameTimes->Add(start);
    m_frameSlot->Store(sample.release());
    if (m_overlay) // the X sink never got this frame
        m_overlay->ShowStill();
}

bool CGraphPlayer::GetDurationSeconds(double& seconds) {
    if (!m_mediaSeeking)
        return false;
    gint64 ns = 0;
    if (!QueryDuration(ns) || ns < 0)
        return false;
    seconds = SecondsFromMediaTime(ns / 100);
    return true;
}

bool CGraphPlayer::SeekToSeconds(double seconds) {
    if (!m_mediaSeeking)
        return false;
    m_lastSeekRequest = seconds;
    gint64 duration = 0;
    const SeekPlan::Target plan = SeekPlan::ForSeek(
        MediaTimeFromSeconds(seconds),
        QueryDuration(duration) ? std::optional<int64_t>(duration) : std::nullopt);
    const gint64 target = plan.ns;
    const bool atEnd = plan.atEnd;
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
    // Paused, no frame from before can arrive once the seek is sent, and the seek's own may be
    // stored before the send returns: the count is taken before. Playing, a frame of the old
    // position may still come while the seek goes out: the count is taken after.
    GstState state = GST_STATE_NULL, pending = GST_STATE_VOID_PENDING;
    if (m_mediaControl)
        gst_element_get_state(m_mediaControl.get(), &state, &pending, 0);
    const bool paused = state == GST_STATE_PAUSED &&
                        (pending == GST_STATE_VOID_PENDING || pending == GST_STATE_PAUSED);
    const quint64 framesBefore = m_frameSlot->FrameCount();
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
                const auto from =
                    SeekPlan::DemuxerStart(target, points.frameStart, points.decodeFrom);
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
            framesAtSeek = paused ? framesBefore : m_frameSlot->FrameCount();
            // After the count: the seek's frame may be stored while the others are sent theirs.
            SeekCameras(target, seqnum);
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
    if (m_cameras)
        return StepAllCameras();
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
        // the picture still shown from before. Where the file does not tell which that is, the
        // seek is let finish: a fixed step back from its target may stay inside a long frame.
        std::optional<qint64> cover;
        const qint64 target = m_seekTargetNs;
        const OwnWait waiting(*this);
        OpenWait::Run([&] {
            cover = AsfCardSource::FrameStartAt(source.get(), target);
            if (!cover && m_mediaControl)
                gst_element_get_state(m_mediaControl.get(), nullptr, nullptr, kSeekSettleTimeout);
        });
        if (cover)
            start = *cover;
        else if (m_frameSlot->FrameCount() <= m_framesAtSeek)
            return position - 0.05;
    }
    if (start < 0) {
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
    std::optional<qint64> previous;
    const OwnWait waiting(*this);
    OpenWait::Run(
        [&] { previous = AsfCardSource::FrameStartAt(source.get(), start - GST_MSECOND); });
    return double(SeekPlan::FrameBack(start, previous)) / GST_SECOND;
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
    return FrameBitmap::BlockFromImage(m_cameras ? ComposedImage() : m_frameSlot->NewestImage());
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

qint64 CGraphPlayer::ShownFrameEnd() {
    // The frame on screen may carry a seek's target as its time, and a decoder may give frames
    // no duration (pictures coded alone, in files that store no frame rate): it ends where the
    // next frame starts (the file tells, else among those decoded), or where its duration
    // says, whichever is first.
    const qint64 shown = m_frameSlot->NewestPts();
    const qint64 shownTime = m_frameSlot->StreamTimeOf(shown);
    if (shown < 0 || shownTime < 0)
        return -1;
    if (m_frameTimes) {
        const qint64 start = m_frameTimes->AtOrBefore(shown);
        const qint64 startTime = (start >= 0 ? start : shown) + (shownTime - shown);
        const GstElementPtr source = Source();
        std::optional<qint64> next;
        {
            const OwnWait waiting(*this);
            OpenWait::Run([&] { next = AsfCardSource::FrameStartAfter(source.get(), startTime); });
        }
        if (next && *next > shownTime)
            return *next;
    }
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

namespace {

// Frames a sink dropped for coming too late for the clock.
quint64 DroppedBy(GstElement* sink) {
    if (!sink || !g_object_class_find_property(G_OBJECT_GET_CLASS(sink), "stats"))
        return 0;
    GstStructure* stats = nullptr;
    g_object_get(sink, "stats", &stats, nullptr);
    guint64 dropped = 0;
    if (stats && !gst_structure_get_uint64(stats, "dropped", &dropped))
        dropped = 0;
    if (stats)
        gst_structure_free(stats);
    return dropped;
}

} // namespace

quint64 CGraphPlayer::FramesNotShown() const {
    return m_frameSlot->ReplacedUnpainted() + DroppedBy(m_frameStep.get());
}

QString CGraphPlayer::FramesNotShownReason() const {
    const quint64 replaced = m_frameSlot->ReplacedUnpainted();
    const quint64 late = DroppedBy(m_frameStep.get());
    QStringList why;
    if (replaced)
        why << QStringLiteral("%1: %2").arg(replaced).arg(
            QLatin1String(CFrameSlot::ReplacedUnpaintedReason()));
    if (late)
        why << QStringLiteral("%1: late for the clock, dropped by the video sink").arg(late);
    return why.join(QStringLiteral("; "));
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
