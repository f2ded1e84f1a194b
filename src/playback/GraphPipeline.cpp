// SPDX-License-Identifier: GPL-3.0-or-later
// Building the graph: playbin with our video sink, the file behind it, the roles it plays.
#include "playback/GraphPlayer.h"

#include "formats/FileKind.h"
#include "playback/AsfCardSource.h"
#include "playback/FrameScaler.h"
#include "playback/FrameSlot.h"
#include "playback/FrameTimes.h"
#include "playback/HandOver.h"
#include "playback/OpenWait.h"
#include "playback/OverlayVideo.h"
#include "playback/VideoSurface.h"

#include <QFileInfo>
#include <QUrl>
#include <QWidget>
#include <gst/app/gstappsink.h>
#include <gst/audio/streamvolume.h>
#include <mutex>
namespace {

// How long opening a file may wait for the first frame to be decoded. Files on a slow
// memory card take a while; a broken one reports an error well before this.
constexpr int kPrerollTimeoutMs = 10000;
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

} // namespace

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
        CFrameSlot::Feed(videoSink.get(), m_frameSlot.get());
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
        CFrameSlot::Feed(m_basicVideo.get(), nullptr);
    }
    if (m_overlay)
        m_overlay->Release();

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
    m_overlay.reset();
    m_videoPath.clear();
    ReleaseCameras();
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
    ChooseVideoPath();

    // A bare name resolves against the current folder, as a file dialog would leave it.
    const QFileInfo info(path);
    // ASF recordings go through our own source, which lets the demuxer seek in files that a
    // power loss left without an index or a length; anything else is read as it is.
    const QString absolute = info.absoluteFilePath();
    const QByteArray uri = FileKind::Of(absolute) == FileKind::Kind::Asf
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
    return AlignCameras();
}

void CGraphPlayer::ChooseVideoPath() {
    if (!m_videoPath.isEmpty() || !m_pipeline || !m_basicVideo ||
        !GST_IS_APP_SINK(m_basicVideo.get()) || !VideoSurface())
        return;
    // Only the sink of a graph we built is ours to replace.
    GstElement* current = nullptr;
    if (g_object_class_find_property(G_OBJECT_GET_CLASS(m_pipeline.get()), "video-sink"))
        g_object_get(m_pipeline.get(), "video-sink", &current, nullptr);
    const GstElementPtr held(current);
    if (held.get() != m_basicVideo.get())
        return;
    QString why = COverlayVideo::Unavailable(m_cameras != nullptr);
    std::shared_ptr<COverlayVideo> overlay;
    if (why.isEmpty())
        overlay = COverlayVideo::Make(m_frameSlot.get(), VideoSurface(), &why);
    if (!overlay) {
        m_videoPath = QStringLiteral("own surface (appsink): ") + why;
        COverlayVideo::Report(m_videoPath, false);
        return;
    }
    CFrameSlot::Feed(m_basicVideo.get(), nullptr);
    g_object_set(m_pipeline.get(), "video-sink", overlay->Bin(), nullptr);
    m_basicVideo = RefElement(overlay->Bin());
    m_frameStep = RefElement(overlay->XSink());
    m_overlay = std::move(overlay);
    m_videoPath = m_overlay->Description();
    COverlayVideo::Report(m_videoPath, true);
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
    AttachCameras(host);
    return true;
}

bool CGraphPlayer::SetEventWindow(QObject* window) {
    if (!m_mediaEvent)
        return false;
    m_eventWindow = window;
    return true;
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
