// SPDX-License-Identifier: GPL-3.0-or-later
// The other cameras of a moment: each a branch of the recording's own pipeline (a decoder of
// its file and a video sink), so that one clock paces every picture and one seek moves them all.
#include "playback/FrameScaler.h"
#include "playback/FrameSlot.h"
#include "playback/GraphPlayer.h"
#include "playback/HandOver.h"
#include "playback/OpenWait.h"
#include "playback/SeekPlan.h"
#include "playback/VideoSurface.h"

#include <QEvent>
#include <QFileInfo>
#include <QPainter>
#include <QPointer>
#include <QUrl>
#include <QWidget>
#include <atomic>
#include <gst/app/gstappsink.h>
#include <vector>

namespace {

constexpr int kAlignTimeoutMs = 10000;

// A camera whose file starts elsewhere on the recording's time line: seeks reach its demuxer
// moved by the offset, and a seek to before its start plays it from its start, later.
struct Shift {
    gint64 offset = 0;                // ns; positive when the file starts later
    std::atomic<gint64> clampedBy{0}; // ns the last seek lay before the file's start
};

GstPadProbeReturn OnCameraEvent(GstPad*, GstPadProbeInfo* info, gpointer data) {
    PLAYER_TAKEN_OVER(data);
    auto* shift = static_cast<Shift*>(data);
    GstEvent* event = GST_PAD_PROBE_INFO_EVENT(info);
    if (GST_EVENT_TYPE(event) == GST_EVENT_SEEK) {
        gdouble rate = 1;
        GstFormat format = GST_FORMAT_UNDEFINED;
        GstSeekFlags flags{};
        GstSeekType startType{}, stopType{};
        gint64 start = 0, stop = 0;
        gst_event_parse_seek(event, &rate, &format, &flags, &startType, &start, &stopType, &stop);
        if (format != GST_FORMAT_TIME || startType != GST_SEEK_TYPE_SET)
            return GST_PAD_PROBE_OK;
        const gint64 moved = start - shift->offset;
        shift->clampedBy = moved < 0 ? -moved : 0;
        if (stopType == GST_SEEK_TYPE_SET && stop >= 0)
            stop = std::max<gint64>(0, stop - shift->offset);
        GstEvent* replacement = gst_event_new_seek(rate, format, flags, startType,
                                                   std::max<gint64>(0, moved), stopType, stop);
        gst_event_set_seqnum(replacement, gst_event_get_seqnum(event));
        gst_event_unref(event);
        GST_PAD_PROBE_INFO_DATA(info) = replacement;
        return GST_PAD_PROBE_OK;
    }
    if (GST_EVENT_TYPE(event) == GST_EVENT_SEGMENT) {
        // A seek to before the file's start: its first frame is due that much later.
        const gint64 later = shift->clampedBy.load();
        const GstSegment* segment = nullptr;
        gst_event_parse_segment(event, &segment);
        if (later <= 0 || !segment || segment->format != GST_FORMAT_TIME)
            return GST_PAD_PROBE_OK;
        GstSegment moved = *segment;
        moved.base += guint64(later);
        GstEvent* replacement = gst_event_new_segment(&moved);
        gst_event_set_seqnum(replacement, gst_event_get_seqnum(event));
        gst_event_unref(event);
        GST_PAD_PROBE_INFO_DATA(info) = replacement;
    }
    return GST_PAD_PROBE_OK;
}

// The decoder's video output goes to the branch's converter; its other streams are not
// decoded (the sound is the recording's own camera's).
void OnDecodedPad(GstElement*, GstPad* pad, gpointer convert) {
    GstCapsPtr caps(gst_pad_get_current_caps(pad));
    if (!caps)
        caps.reset(gst_pad_query_caps(pad, nullptr));
    const GstStructure* s =
        caps && gst_caps_get_size(caps.get()) ? gst_caps_get_structure(caps.get(), 0) : nullptr;
    if (!s || !g_str_has_prefix(gst_structure_get_name(s), "video/"))
        return;
    GstPadPtr sinkPad(gst_element_get_static_pad(static_cast<GstElement*>(convert), "sink"));
    if (sinkPad && !gst_pad_is_linked(sinkPad.get()))
        gst_pad_link(pad, sinkPad.get());
}

// Follows the host's size and lays the cameras out in it.
class HostWatch : public QObject {
public:
    HostWatch(QWidget* host, std::function<void()> layOut)
        : QObject(host), m_layOut(std::move(layOut)) {
        host->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Resize)
            m_layOut();
        return false;
    }

private:
    std::function<void()> m_layOut;
};

} // namespace

struct CGraphPlayer::Cameras {
    struct Camera {
        CameraSource source;
        GstElementPtr bin;
        GstElementPtr sink;
        std::unique_ptr<CFrameSlot> slot = std::make_unique<CFrameSlot>();
        QPointer<CVideoSurface> surface;
        std::unique_ptr<Shift> shift = std::make_unique<Shift>();
    };
    std::vector<std::unique_ptr<Camera>> others;
    CameraLayout::Arrangement arrangement;
    QPointer<QWidget> host;
    QPointer<HostWatch> watch;
};

bool CGraphPlayer::AddCamera(const CameraSource& camera) {
    if (!m_pipeline || !m_basicVideo || !QFileInfo(camera.path).isFile())
        return false;
    auto other = std::make_unique<Cameras::Camera>();
    other->source = camera;
    other->shift->offset = gint64(camera.offsetSeconds * GST_SECOND);

    GstElement* bin = gst_bin_new(nullptr);
    g_object_set_data(G_OBJECT(bin), "player-camera", GINT_TO_POINTER(1));
    GstElement* decode = gst_element_factory_make("uridecodebin", nullptr);
    GstElement* convert = gst_element_factory_make("videoconvert", nullptr);
    GstElement* sink = gst_element_factory_make("appsink", nullptr);
    if (!decode || !convert || !sink) {
        for (GstElement* e : {bin, decode, convert, sink}) {
            if (e)
                gst_object_unref(gst_object_ref_sink(e));
        }
        return false;
    }
    const QByteArray uri =
        QUrl::fromLocalFile(QFileInfo(camera.path).absoluteFilePath()).toEncoded();
    GstCapsPtr video(gst_caps_from_string("video/x-raw(ANY)"));
    g_object_set(decode, "uri", uri.constData(), "caps", video.get(), "expose-all-streams", FALSE,
                 nullptr);
    GstCapsPtr caps(gst_caps_from_string(FrameScaler::SinkCaps()));
    g_object_set(sink, "caps", caps.get(), "sync", TRUE, "max-buffers", 2u, "drop", TRUE,
                 "enable-last-sample", FALSE, "qos", TRUE, nullptr);
    gst_bin_add_many(GST_BIN(bin), decode, convert, sink, nullptr);
    gst_element_link(convert, sink);
    g_signal_connect(decode, "pad-added", G_CALLBACK(OnDecodedPad), convert);

    CFrameSlot::Feed(sink, other->slot.get());
    if (other->shift->offset != 0) {
        GstPadPtr pad(gst_element_get_static_pad(sink, "sink"));
        PLAYER_HANDED_OVER(other->shift.get());
        gst_pad_add_probe(pad.get(),
                          GstPadProbeType(GST_PAD_PROBE_TYPE_EVENT_UPSTREAM |
                                          GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM),
                          OnCameraEvent, other->shift.get(), nullptr);
    }
    other->sink = RefElement(sink);
    other->bin = RefElement(bin);
    if (!gst_bin_add(GST_BIN(m_pipeline.get()), bin))
        return false;

    if (!m_cameras)
        m_cameras = std::make_shared<Cameras>();
    auto* surface = new CVideoSurface(other->slot.get());
    surface->hide();
    other->surface = surface;
    m_cameras->others.push_back(std::move(other));
    return true;
}

void CGraphPlayer::ReleaseCameras() {
    if (!m_cameras)
        return;
    for (const auto& camera : m_cameras->others) {
        CFrameSlot::Feed(camera->sink.get(), nullptr);
        if (m_pipeline)
            gst_bin_remove(GST_BIN(m_pipeline.get()), camera->bin.get());
        gst_element_set_state(camera->bin.get(), GST_STATE_NULL);
        delete camera->surface.data();
    }
    delete m_cameras->watch.data();
    m_cameras.reset();
}

int CGraphPlayer::CameraCount() const {
    return 1 + (m_cameras ? int(m_cameras->others.size()) : 0);
}

QString CGraphPlayer::CameraLabel(int camera) const {
    if (camera > 0 && camera < CameraCount())
        return m_cameras->others[size_t(camera - 1)]->source.label;
    return camera == 0 ? m_ownCameraLabel : QString();
}

double CGraphPlayer::CameraOffset(int camera) const {
    if (camera > 0 && camera < CameraCount())
        return m_cameras->others[size_t(camera - 1)]->source.offsetSeconds;
    return 0;
}

CFrameSlot* CGraphPlayer::CameraSlot(int camera) const {
    if (camera == 0)
        return m_frameSlot.get();
    if (camera > 0 && camera < CameraCount())
        return m_cameras->others[size_t(camera - 1)]->slot.get();
    return nullptr;
}

CVideoSurface* CGraphPlayer::CameraSurface(int camera) const {
    if (camera == 0)
        return VideoSurface();
    if (camera > 0 && camera < CameraCount())
        return m_cameras->others[size_t(camera - 1)]->surface.data();
    return nullptr;
}

void CGraphPlayer::AttachCameras(QWidget* host) {
    if (!m_cameras)
        return;
    if (auto* main = VideoSurface())
        main->SetFollowsHost(false);
    delete m_cameras->watch.data();
    m_cameras->host = host;
    for (const auto& camera : m_cameras->others) {
        if (!camera->surface)
            continue;
        camera->surface->SetFollowsHost(false);
        camera->surface->setParent(host);
        camera->surface->setVisible(host != nullptr);
    }
    if (host)
        m_cameras->watch = new HostWatch(host, [this] { LayOutCameras(); });
    LayOutCameras();
}

void CGraphPlayer::SetArrangement(const CameraLayout::Arrangement& arrangement) {
    if (!m_cameras)
        return;
    m_cameras->arrangement = arrangement;
    m_cameras->arrangement.main = std::clamp(arrangement.main, 0, CameraCount() - 1);
    LayOutCameras();
}

CameraLayout::Arrangement CGraphPlayer::Arrangement() const {
    return m_cameras ? m_cameras->arrangement : CameraLayout::Arrangement{};
}

QList<QRect> CGraphPlayer::CameraAreas() const {
    QList<QSize> shapes;
    for (int i = 0; i < CameraCount(); ++i)
        shapes.append(CameraSlot(i)->FrameSize());
    const QWidget* host = m_cameras ? m_cameras->host.data() : nullptr;
    const QRect area = host ? host->rect() : QRect();
    if (!m_cameras)
        return {area};
    return CameraLayout::Areas(area, shapes, m_cameras->arrangement);
}

void CGraphPlayer::LayOutCameras() {
    if (!m_cameras || !m_cameras->host)
        return;
    const QList<QRect> areas = CameraAreas();
    for (int i = 0; i < CameraCount(); ++i) {
        if (CVideoSurface* surface = CameraSurface(i))
            surface->setGeometry(areas[i]);
    }
    // The small pictures lie over the large one.
    for (int i = 0; i < CameraCount(); ++i) {
        if (i != m_cameras->arrangement.main && CameraSurface(i))
            CameraSurface(i)->raise();
    }
}

bool CGraphPlayer::AlignCameras() {
    if (!m_cameras)
        return true;
    bool moved = false;
    for (const auto& camera : m_cameras->others)
        moved = moved || camera->shift->offset != 0;
    if (!moved)
        return true;
    // Opened, every branch starts at its file's start: a seek to the start moves each camera
    // that began elsewhere to its place on the recording's time line.
    GstEvent* seek = gst_event_new_seek(1.0, GST_FORMAT_TIME,
                                        GstSeekFlags(GST_SEEK_FLAG_FLUSH | GST_SEEK_FLAG_ACCURATE),
                                        GST_SEEK_TYPE_SET, 0, GST_SEEK_TYPE_NONE, -1);
    const guint32 seqnum = gst_event_get_seqnum(seek);
    bool done = false;
    {
        const OwnWait waiting(*this);
        OpenWait::Run([&] {
            done = gst_element_send_event(m_mediaSeeking.get(), seek);
            SeekCameras(0, seqnum);
            done = done &&
                   gst_element_get_state(m_pipeline.get(), nullptr, nullptr,
                                         kAlignTimeoutMs * GST_MSECOND) == GST_STATE_CHANGE_SUCCESS;
        });
    }
    return done;
}

bool CGraphPlayer::QueryDuration(gint64& ns) const {
    if (!m_mediaSeeking)
        return false;
    if (m_cameras && GST_IS_BIN(m_mediaSeeking.get())) {
        // The pipeline answers with the longest of all its sinks; playbin's own sink holds the
        // recording's streams alone.
        GstElementPtr own(gst_bin_get_by_name(GST_BIN(m_mediaSeeking.get()), "playsink"));
        if (own)
            return gst_element_query_duration(own.get(), GST_FORMAT_TIME, &ns);
    }
    return gst_element_query_duration(m_mediaSeeking.get(), GST_FORMAT_TIME, &ns);
}

void CGraphPlayer::SeekCameras(gint64 target, guint32 seqnum) {
    if (!m_cameras)
        return;
    // playbin hands a seek to its own sinks only: each other camera is sent the same one.
    for (const auto& camera : m_cameras->others) {
        // Past the end of a camera that ended earlier: its last frame.
        gint64 own = -1, at = target;
        if (gst_element_query_duration(camera->sink.get(), GST_FORMAT_TIME, &own) && own > 0 &&
            target - camera->shift->offset >= own)
            at = camera->shift->offset + std::max<gint64>(0, own - SeekPlan::kEndLead);
        GstEvent* seek = gst_event_new_seek(
            1.0, GST_FORMAT_TIME, GstSeekFlags(GST_SEEK_FLAG_FLUSH | GST_SEEK_FLAG_ACCURATE),
            GST_SEEK_TYPE_SET, at, GST_SEEK_TYPE_NONE, -1);
        gst_event_set_seqnum(seek, seqnum);
        gst_element_send_event(camera->sink.get(), seek);
    }
}

bool CGraphPlayer::StepAllCameras() {
    // A step is a seek to where the frame on screen ends: every camera then shows its own
    // frame for that time (a step event would move one sink only).
    const qint64 end = ShownFrameEnd();
    if (end < 0)
        return false;
    // Seeks are asked in 100 ns units: a microsecond on, the next frame is sure to cover it.
    return SeekToSeconds(double(end + GST_USECOND) / GST_SECOND);
}

QImage CGraphPlayer::CameraImage(int camera) const {
    const CFrameSlot* slot = CameraSlot(camera);
    return slot ? slot->NewestImage() : QImage();
}

QImage CGraphPlayer::ComposedImage() const {
    const QImage main = m_frameSlot->NewestImage();
    if (!m_cameras || main.isNull())
        return main;
    const CameraLayout::Arrangement arrangement = m_cameras->arrangement;
    const QImage large = CameraImage(arrangement.main);
    if (large.isNull())
        return main;
    QList<QSize> shapes;
    for (int i = 0; i < CameraCount(); ++i)
        shapes.append(CameraSlot(i)->FrameSize());
    const bool side = arrangement.view == CameraLayout::View::SideBySide;
    const QSize size = side ? QSize(large.width() * CameraCount(), large.height()) : large.size();
    QImage composed(size, QImage::Format_RGB32);
    composed.fill(Qt::black);
    QPainter painter(&composed);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    const QList<QRect> areas = CameraLayout::Areas(composed.rect(), shapes, arrangement);
    // The large picture first, the small ones over it.
    for (int pass = 0; pass < 2; ++pass) {
        for (int i = 0; i < CameraCount(); ++i) {
            if ((i == arrangement.main) != (pass == 0))
                continue;
            const QImage image = CameraImage(i);
            if (!image.isNull())
                painter.drawImage(CFrameSlot::FitPicture(image.size(), areas[i]), image);
        }
    }
    return composed;
}
