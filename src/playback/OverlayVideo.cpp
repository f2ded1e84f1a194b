// SPDX-License-Identifier: GPL-3.0-or-later
#include "playback/OverlayVideo.h"

#include "playback/FrameScaler.h"
#include "playback/FrameSlot.h"
#include "playback/HandOver.h"
#include "playback/VideoSurface.h"

#include <QBackingStore>
#include <QEvent>
#include <QGuiApplication>
#include <QHash>
#include <QPainter>
#include <QStringList>
#include <QWidget>
#include <QWindow>
#include <cstdio>
#include <functional>
#include <gst/video/gstvideosink.h>
#include <gst/video/videooverlay.h>

namespace {

std::atomic<bool> g_verbose{false};

GQuark OverlayQuark() {
    static const GQuark quark = g_quark_from_static_string("player-overlay-video");
    return quark;
}

// The X sink's own show_frame, then word to the overlay that the frame is on screen: the one
// moment that tells which frame the user sees (a buffer reaches the sink's pad a frame early
// while playing, and the next one waits there while paused).
GstFlowReturn ShowFrame(GstVideoSink* sink, GstBuffer* buffer) {
    auto* parent = GST_VIDEO_SINK_CLASS(g_type_class_peek_parent(G_OBJECT_GET_CLASS(sink)));
    const GstFlowReturn shown = parent->show_frame(sink, buffer);
    if (shown == GST_FLOW_OK) {
        if (auto* overlay =
                static_cast<COverlayVideo*>(g_object_get_qdata(G_OBJECT(sink), OverlayQuark()))) {
            PLAYER_TAKEN_OVER(overlay);
            overlay->Shown(buffer);
        }
    }
    return shown;
}

void ShowingClassInit(gpointer klass, gpointer) {
    GST_VIDEO_SINK_CLASS(klass)->show_frame = ShowFrame;
}

// A subclass of the X sink `parent` (made once per sink type; GLib keeps types for good).
GType ShowingSinkType(GType parent) {
    static std::mutex mutex;
    static QHash<GType, GType> made;
    const std::lock_guard lock(mutex);
    if (const auto found = made.constFind(parent); found != made.constEnd())
        return *found;
    GTypeQuery query{};
    g_type_query(parent, &query);
    if (!query.type)
        return 0;
    GTypeInfo info{};
    info.class_size = guint16(query.class_size);
    info.class_init = ShowingClassInit;
    info.instance_size = guint16(query.instance_size);
    const QByteArray name = QByteArray("PlayerShowing") + g_type_name(parent);
    const GType type = g_type_register_static(parent, name.constData(), &info, GTypeFlags(0));
    made.insert(parent, type);
    return type;
}

struct SinkChoice {
    QString factory; // empty when no X sink opens the display
    GType type = 0;
    QString why;
};

// Which X sink opens this display, tried once a process: xvimagesink scales in the X server,
// but fails to reach READY where the server has no XVideo port (Xvfb has none).
const SinkChoice& Sinks() {
    static SinkChoice choice;
    static std::once_flag once;
    std::call_once(once, [] {
        QStringList notes;
        for (const char* name : {"xvimagesink", "ximagesink"}) {
            GstElement* made = gst_element_factory_make(name, nullptr);
            if (!made) {
                notes << QStringLiteral("%1 is not installed").arg(QLatin1String(name));
                continue;
            }
            GstElementPtr sink(GST_ELEMENT(gst_object_ref_sink(made)));
            const bool opens =
                gst_element_set_state(sink.get(), GST_STATE_READY) != GST_STATE_CHANGE_FAILURE;
            gst_element_set_state(sink.get(), GST_STATE_NULL);
            if (opens) {
                choice.factory = QLatin1String(name);
                choice.type = G_OBJECT_TYPE(sink.get());
                return;
            }
            notes << (qstrcmp(name, "xvimagesink") == 0
                          ? QStringLiteral("xvimagesink finds no XVideo port")
                          : QStringLiteral("ximagesink cannot open the display"));
        }
        choice.why = QStringLiteral("no X video sink (%1)").arg(notes.join(QStringLiteral(", ")));
    });
    return choice;
}

GstPadProbeReturn OnEntering(GstPad* pad, GstPadProbeInfo* info, gpointer data) {
    PLAYER_TAKEN_OVER(data);
    auto* overlay = static_cast<COverlayVideo*>(data);
    if (GST_PAD_PROBE_INFO_TYPE(info) & GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM) {
        // The sink asks for its window when it gets caps: it has one already.
        if (GST_EVENT_TYPE(GST_PAD_PROBE_INFO_EVENT(info)) == GST_EVENT_CAPS)
            overlay->EnsureWindow();
        return GST_PAD_PROBE_OK;
    }
    GstCapsPtr caps(gst_pad_get_current_caps(pad));
    GstEvent* segmentEvent = gst_pad_get_sticky_event(pad, GST_EVENT_SEGMENT, 0);
    const GstSegment* segment = nullptr;
    if (segmentEvent)
        gst_event_parse_segment(segmentEvent, &segment);
    overlay->Entering(
        gst_sample_new(GST_PAD_PROBE_INFO_BUFFER(info), caps.get(), segment, nullptr));
    if (segmentEvent)
        gst_event_unref(segmentEvent);
    return GST_PAD_PROBE_OK;
}

// Upstream sees what the bin takes, at any size: ximagesink asks for frames at its window's size,
// and playbin's own converter would scale to that before the frame slot sees the frame.
GstPadProbeReturn OnCapsQuery(GstPad*, GstPadProbeInfo* info, gpointer) {
    GstQuery* query = GST_PAD_PROBE_INFO_QUERY(info);
    if (GST_QUERY_TYPE(query) != GST_QUERY_CAPS)
        return GST_PAD_PROBE_OK;
    GstCaps* filter = nullptr;
    gst_query_parse_caps(query, &filter);
    GstCapsPtr taken(gst_caps_from_string(FrameScaler::SinkCaps()));
    if (filter)
        taken.reset(gst_caps_intersect_full(filter, taken.get(), GST_CAPS_INTERSECT_FIRST));
    gst_query_set_caps_result(query, taken.get());
    return GST_PAD_PROBE_HANDLED;
}

// The native window the sink draws into. No input and no focus: the mouse goes through it to
// the host and keys stay with the window that has them.
class OverlayWindow : public QWindow {
public:
    OverlayWindow() {
        setFlags(Qt::FramelessWindowHint | Qt::WindowTransparentForInput |
                 Qt::WindowDoesNotAcceptFocus);
    }
    void SetChanged(std::function<void()> changed) { m_changed = std::move(changed); }
    // Our own paint of `frame` over the whole window, where the sink's last picture was made
    // for another size.
    void PaintStill(const QImage& frame) {
        if (!isExposed())
            return;
        const QRect area(QPoint(), size());
        m_store.resize(area.size());
        m_store.beginPaint(area);
        QPainter painter(m_store.paintDevice());
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(area, frame);
        painter.end();
        m_store.endPaint();
        m_store.flush(area);
    }

protected:
    void exposeEvent(QExposeEvent*) override {
        if (m_changed)
            m_changed();
    }
    void resizeEvent(QResizeEvent*) override {
        if (m_changed)
            m_changed();
    }

private:
    std::function<void()> m_changed;
    QBackingStore m_store{this};
};

} // namespace

QString COverlayVideo::Unavailable(bool otherCameras) {
    const QByteArray asked = qgetenv("DASHCARD_VIDEO_PATH");
    if (asked == "surface")
        return QStringLiteral("DASHCARD_VIDEO_PATH=surface");
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        return QStringLiteral("no window system");
    const QString platform = QGuiApplication::platformName();
    if (platform != QLatin1String("xcb"))
        return QStringLiteral("the window system is %1, not X11").arg(platform);
    if (otherCameras)
        return QStringLiteral("the recording's other cameras share the video area");
    if (!gst_element_factory_find("videoconvertscale"))
        return QStringLiteral("videoconvertscale is not installed");
    // ximagesink cannot scale: each frame would be scaled in software before it, which costs
    // more than our own surface's scaling (measured under Xvfb), so it is taken only when asked.
    if (Sinks().factory == QLatin1String("ximagesink") && asked != "overlay")
        return QStringLiteral("no XVideo port, and ximagesink would scale in software (dearer "
                              "than our surface; DASHCARD_VIDEO_PATH=overlay takes it anyway)");
    return Sinks().why;
}

void COverlayVideo::SetVerbose(bool verbose) {
    g_verbose = verbose;
}

void COverlayVideo::Report(const QString& path, bool overlayTaken) {
    if (g_verbose || (!overlayTaken && qgetenv("DASHCARD_VIDEO_PATH") == "overlay"))
        std::fprintf(stderr, "video: %s\n", qPrintable(path));
}

COverlayVideo::COverlayVideo(CFrameSlot* slot, CVideoSurface* surface)
    : m_slot(slot), m_surface(surface) {}

std::shared_ptr<COverlayVideo> COverlayVideo::Make(CFrameSlot* slot, CVideoSurface* surface,
                                                   QString* why) {
    const SinkChoice& choice = Sinks();
    const GType type = choice.type ? ShowingSinkType(choice.type) : 0;
    if (!slot || !surface || !type) {
        *why = choice.why.isEmpty() ? QStringLiteral("the X sink cannot be made") : choice.why;
        return {};
    }
    std::shared_ptr<COverlayVideo> overlay(new COverlayVideo(slot, surface));
    overlay->m_factory = choice.factory;
    overlay->m_scalesItself = choice.factory == QLatin1String("xvimagesink");
    overlay->m_sink.reset(GST_ELEMENT(gst_object_ref_sink(g_object_new(type, nullptr))));
    GstElement* sink = overlay->m_sink.get();
    // Our window takes no input; the sink neither listens to it nor redraws on its own (Refresh
    // does, knowing when a still frame was made for another size). Qt lays out in square pixels.
    g_object_set(sink, "handle-events", FALSE, "handle-expose", FALSE, "enable-last-sample", FALSE,
                 "force-aspect-ratio", TRUE, "pixel-aspect-ratio", "1/1", nullptr);

    // The frame slot keeps frames in a layout it reads (as the appsink path's); ximagesink asks
    // for frames at its window's size and the scaler makes them, converting as it scales.
    GstElement* bin = gst_bin_new("overlay-video");
    overlay->m_bin.reset(GST_ELEMENT(gst_object_ref_sink(bin)));
    GstElement* filter = gst_element_factory_make("capsfilter", nullptr);
    GstElement* scaler = gst_element_factory_make("videoconvertscale", nullptr);
    if (!filter || !scaler) {
        for (GstElement* e : {filter, scaler})
            if (e)
                gst_object_unref(gst_object_ref_sink(e));
        *why = QStringLiteral("videoconvertscale is not installed");
        return {};
    }
    GstCapsPtr caps(gst_caps_from_string(FrameScaler::SinkCaps()));
    g_object_set(filter, "caps", caps.get(), nullptr);
    // The window already has the picture's shape: no borders inside it.
    g_object_set(scaler, "add-borders", FALSE, nullptr);
    gst_bin_add_many(GST_BIN(bin), filter, scaler, sink, nullptr);
    if (!gst_element_link_many(filter, scaler, sink, nullptr)) {
        *why = QStringLiteral("the X sink does not link");
        return {};
    }
    GstPadPtr input(gst_element_get_static_pad(filter, "sink"));
    GstPad* ghost = gst_ghost_pad_new("sink", input.get());
    gst_pad_add_probe(ghost, GST_PAD_PROBE_TYPE_QUERY_BOTH, OnCapsQuery, nullptr, nullptr);
    gst_element_add_pad(bin, ghost);
    GstPadPtr entering(gst_element_get_static_pad(filter, "src"));
    PLAYER_HANDED_OVER(overlay.get());
    gst_pad_add_probe(
        entering.get(),
        GstPadProbeType(GST_PAD_PROBE_TYPE_BUFFER | GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM),
        OnEntering, overlay.get(), nullptr);
    g_object_set_qdata(G_OBJECT(sink), OverlayQuark(), overlay.get());

    // The native window exists before the sink needs it (the first frame's caps).
    auto* window = new OverlayWindow;
    overlay->m_windowId = quintptr(window->winId());
    overlay->m_window = window;
    window->SetChanged([raw = overlay.get()] { raw->Refresh(); });
    QWidget* container = QWidget::createWindowContainer(window, surface);
    container->setAttribute(Qt::WA_TransparentForMouseEvents);
    container->setFocusPolicy(Qt::NoFocus);
    container->hide();
    overlay->m_container = container;
    gst_video_overlay_handle_events(GST_VIDEO_OVERLAY(sink), FALSE);
    gst_video_overlay_set_window_handle(GST_VIDEO_OVERLAY(sink), overlay->m_windowId);

    slot->SetShownElsewhere(true);
    surface->installEventFilter(overlay.get());
    QObject::connect(slot, &CFrameSlot::FrameReady, overlay.get(),
                     [raw = overlay.get()] { raw->Place(); });
    surface->SetPaintedElsewhere([weak = std::weak_ptr<COverlayVideo>(overlay)] {
        const auto alive = weak.lock();
        return alive ? alive->ShownFrames() : quint64(0);
    });
    return overlay;
}

COverlayVideo::~COverlayVideo() {
    Release();
    if (auto* window = static_cast<OverlayWindow*>(m_window.data()))
        window->SetChanged({});
    delete m_container.data();
}

void COverlayVideo::Release() {
    if (m_sink)
        g_object_set_qdata(G_OBJECT(m_sink.get()), OverlayQuark(), nullptr);
    const std::lock_guard lock(m_mutex);
    m_entering.reset();
}

QString COverlayVideo::Description() const {
    return QStringLiteral("X11 overlay (%1) into window 0x%2")
        .arg(m_factory)
        .arg(QString::number(m_windowId.load(), 16));
}

void COverlayVideo::EnsureWindow() {
    if (const quintptr id = m_windowId.load())
        gst_video_overlay_set_window_handle(GST_VIDEO_OVERLAY(m_sink.get()), id);
}

void COverlayVideo::Entering(GstSample* sample) {
    const std::lock_guard lock(m_mutex);
    m_entering.reset(sample);
}

void COverlayVideo::Shown(GstBuffer* buffer) {
    // Nothing lies between the bin's input and the sink but the scaler, on one thread: the
    // frame shown is the one that entered last (it keeps its time).
    GstSamplePtr sample;
    {
        const std::lock_guard lock(m_mutex);
        if (m_entering)
            sample.reset(gst_sample_ref(m_entering.get()));
    }
    if (!sample)
        return;
    const qint64 pts = GST_BUFFER_PTS_IS_VALID(buffer) ? qint64(GST_BUFFER_PTS(buffer)) : -1;
    if (m_lastShownPts.exchange(pts) != pts || pts < 0)
        ++m_shown;
    m_slot->Store(sample.release());
}

bool COverlayVideo::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_surface && (event->type() == QEvent::Resize || event->type() == QEvent::Show))
        Place();
    return false;
}

void COverlayVideo::Place() {
    if (!m_surface || !m_container)
        return;
    const QSize shape = m_slot->FrameShape();
    if (shape.isEmpty()) {
        m_container->hide();
        return;
    }
    m_container->setGeometry(CFrameSlot::FitPicture(shape, m_surface->rect()));
    m_container->show();
    m_surface->update();
}

void COverlayVideo::Refresh() {
    if (!m_window)
        return;
    // Also tells the sink its window's new size, so that the next frame is made for it.
    gst_video_overlay_expose(GST_VIDEO_OVERLAY(m_sink.get()));
    if (m_scalesItself)
        return;
    // ximagesink shows each frame at the size it was made for: paused after the window changed
    // size (or before it was placed), the frame on screen is painted here at the window's.
    GstPadPtr pad(gst_element_get_static_pad(m_sink.get(), "sink"));
    GstCapsPtr caps(pad ? gst_pad_get_current_caps(pad.get()) : nullptr);
    const GstStructure* s =
        caps && gst_caps_get_size(caps.get()) ? gst_caps_get_structure(caps.get(), 0) : nullptr;
    int width = 0, height = 0;
    if (!s || !gst_structure_get_int(s, "width", &width) ||
        !gst_structure_get_int(s, "height", &height))
        return;
    const QSize window = m_window->size() * m_window->devicePixelRatio();
    if (QSize(width, height) != window)
        ShowStill();
}

void COverlayVideo::ShowStill() {
    const QImage frame = m_slot->NewestImage();
    if (m_window && !frame.isNull())
        static_cast<OverlayWindow*>(m_window.data())->PaintStill(frame);
}
