// SPDX-License-Identifier: GPL-3.0-or-later
#include "clip/ClipCameras.h"

#include "clip/ClipProbe.h"
#include "clip/ClipStreams.h"
#include "playback/GstHandles.h"

#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <atomic>
#include <cmath>
#include <gst/gst.h>
#include <memory>

namespace ClipExport {

namespace {

constexpr double kSecond = 1e9;

gint64 Ns(double seconds) {
    return gint64(std::llround(seconds * kSecond));
}

// One camera in the pipeline.
struct Feed {
    Flow flow;
    std::atomic<GstPad*> picture{nullptr}; // its picture's way in (a reference), until taken
    bool sound = false;                    // its sound goes into the clip (the main camera's)
};

// A camera's first picture stream goes to the pad kept for it (in the cameras' order, so the
// tracks are too), the main camera's sound to the muxer, the rest nowhere.
void OnCameraPad(GstElement* parser, GstPad* pad, gpointer data) {
    Feed& feed = *static_cast<Feed*>(data);
    GstElementPtr pipeline(GST_ELEMENT(gst_element_get_parent(parser)));
    GstElementPtr mux(gst_bin_get_by_name(GST_BIN(pipeline.get()), "mux"));
    const PadKind kind = KindOf(pad);
    const bool video = kind == PadKind::Picture;
    const bool audio = kind == PadKind::Sound;
    const Overlay* overlay = feed.flow.overlay;
    GstPadPtr target(video ? feed.picture.exchange(nullptr)
                     : audio && feed.sound && mux
                         ? gst_element_request_pad_simple(mux.get(), "audio_%u")
                         : nullptr);
    GstPadPtr in;
    if (target && overlay && audio) {
        in.reset(EncodeChain(pipeline.get(), false, *overlay, target.get()));
        if (!in)
            gst_element_release_request_pad(mux.get(), target.get());
    } else if (target && overlay) {
        in.reset(GST_PAD(gst_object_ref(target.get()))); // decoded, to the compositor
    } else if (target) {
        GstElement* queue = RoomyQueue();
        gst_bin_add(GST_BIN(pipeline.get()), queue);
        GstPadPtr out(gst_element_get_static_pad(queue, "src"));
        if (gst_pad_link(out.get(), target.get()) != GST_PAD_LINK_OK)
            GST_ELEMENT_ERROR(parser, CORE, NEGOTIATION, ("a stream cannot go into the clip"),
                              (nullptr));
        gst_element_sync_state_with_parent(queue);
        in.reset(gst_element_get_static_pad(queue, "sink"));
    }
    if (!in) {
        GstElement* sink = gst_element_factory_make("fakesink", nullptr);
        g_object_set(sink, "sync", FALSE, "async", FALSE, nullptr);
        gst_bin_add(GST_BIN(pipeline.get()), sink);
        gst_element_sync_state_with_parent(sink);
        in.reset(gst_element_get_static_pad(sink, "sink"));
    }
    if (gst_pad_link(pad, in.get()) != GST_PAD_LINK_OK && target)
        GST_ELEMENT_ERROR(parser, CORE, NEGOTIATION, ("a stream cannot go into the clip"),
                          (nullptr));
    Watch(pad, feed.flow);
}

// The composed picture: the main camera's at its size and rate, the second camera's scaled to
// a third of its width in the top-right corner; what comes out goes to `encoder`.
GstElement* Compose(GstElement* pipeline, const CameraPlan& plan, GstPad* encoder) {
    GstElement* compositor = gst_element_factory_make("compositor", nullptr);
    GstElement* fixed = gst_element_factory_make("capsfilter", nullptr);
    if (!compositor || !fixed || !encoder) {
        for (GstElement* e : {compositor, fixed})
            if (e)
                gst_object_unref(gst_object_ref_sink(e));
        return nullptr;
    }
    gst_util_set_object_arg(G_OBJECT(compositor), "background", "black");
    const CameraSpan& main = plan.cameras.front();
    GstCaps* caps = gst_caps_new_empty_simple("video/x-raw");
    if (main.width > 0 && main.height > 0)
        gst_caps_set_simple(caps, "width", G_TYPE_INT, main.width, "height", G_TYPE_INT,
                            main.height, nullptr);
    if (main.rateNum > 0)
        gst_caps_set_simple(caps, "framerate", GST_TYPE_FRACTION, main.rateNum, main.rateDen,
                            nullptr);
    g_object_set(fixed, "caps", caps, nullptr);
    gst_caps_unref(caps);
    gst_bin_add_many(GST_BIN(pipeline), compositor, fixed, nullptr);
    gst_element_link(compositor, fixed);
    GstPadPtr out(gst_element_get_static_pad(fixed, "src"));
    gst_pad_link(out.get(), encoder);
    return compositor;
}

// Where camera `index` (the main camera or the second) goes on the composed picture.
GstPad* Place(GstElement* compositor, const CameraPlan& plan, size_t index) {
    GstPad* pad = gst_element_request_pad_simple(compositor, "sink_%u");
    g_object_set(pad, "zorder", guint(index), nullptr);
    const CameraSpan &main = plan.cameras.front(), &inset = plan.cameras[index];
    if (index == 1 && main.width > 0 && main.height > 0) {
        const int width = (main.width / 3) & ~1;
        const int height =
            (inset.width > 0 ? width * inset.height / inset.width : main.height / 3) & ~1;
        const int margin = std::max(2, (main.width / 64) & ~1);
        g_object_set(pad, "xpos", main.width - width - margin, "ypos", margin, "width", width,
                     "height", height, nullptr);
    }
    return pad;
}

} // namespace

CameraPlan PlanCameras(const QList<CameraPairs::Camera>& cameras, double start, double end) {
    CameraPlan plan;
    for (qsizetype k = 0; k < cameras.size(); ++k) {
        const CameraPairs::Camera& camera = cameras[k];
        CameraSpan span;
        span.path = QFileInfo(camera.path).absoluteFilePath();
        span.label = camera.label.toUtf8();
        span.offset = k == 0 ? 0 : camera.offsetSeconds;
        // The main camera's span is the one planned; another's is the same minutes on its own
        // time line, from its own key frame.
        const double at = std::max(0.0, start - span.offset);
        const Probe probe = ProbeSpan(span.path, at);
        span.width = probe.width;
        span.height = probe.height;
        span.rateNum = probe.rateNum;
        span.rateDen = probe.rateDen;
        span.start = k == 0 ? start : probe.keyFrame.value_or(at);
        // (An end before this camera's file began is no end of it, not "to its end".)
        const bool before = end >= 0 && end - span.offset <= span.start;
        span.end = end >= 0 ? std::max(0.0, end - span.offset) : -1;
        const QString name = QFileInfo(camera.path).fileName();
        if (k > 0 && probe.width <= 0) {
            plan.notes.append(QStringLiteral("the %1 camera (%2) has no picture to be read: "
                                             "it is not in the clip")
                                  .arg(camera.label.toLower(), name));
            continue;
        }
        if (k > 0 && ((probe.duration && at >= *probe.duration) || before)) {
            plan.notes.append(QStringLiteral("the %1 camera (%2) recorded nothing of the span: it "
                                             "is not in the clip")
                                  .arg(camera.label.toLower(), name));
            continue;
        }
        plan.cameras.push_back(span);
    }
    for (const CameraSpan& span : plan.cameras)
        plan.lead = std::max(plan.lead, start - (span.start + span.offset));
    return plan;
}

Copy RemuxCameras(const CameraPlan& plan, const QString& target,
                  const std::function<bool(double)>& progress, const Overlay* overlay) {
    Copy copy;
    gst_init(nullptr, nullptr);
    GstElementPtr pipeline(GST_ELEMENT(gst_object_ref_sink(gst_pipeline_new("cameras"))));
    GstElement* mux = gst_element_factory_make(overlay ? "mp4mux" : "matroskamux", "mux");
    GstElement* sink = gst_element_factory_make("filesink", nullptr);
    if (!mux || !sink || plan.cameras.empty()) {
        for (GstElement* e : {mux, sink})
            if (e)
                gst_object_unref(gst_object_ref_sink(e));
        copy.error = QStringLiteral("the GStreamer elements for a clip are missing");
        return copy;
    }
    g_object_set(sink, "location", QFile::encodeName(target).constData(), "sync", FALSE, nullptr);
    gst_bin_add_many(GST_BIN(pipeline.get()), mux, sink, nullptr);
    gst_element_link(mux, sink);

    // Composed, the picture's times run from the main camera's first frame: the texts' too.
    const double origin = plan.cameras.front().start;
    Overlay texts;
    GstElement* compositor = nullptr;
    if (overlay) {
        for (size_t i = 0; i < overlay->times.size(); ++i) {
            texts.times.push_back(overlay->times[i] - origin);
            texts.texts.push_back(overlay->texts[i]);
        }
        GstPadPtr video(gst_element_request_pad_simple(mux, "video_%u"));
        GstPadPtr encoder(EncodeChain(pipeline.get(), true, texts, video.get()));
        compositor = Compose(pipeline.get(), plan, encoder.get());
        if (!compositor) {
            copy.error = QStringLiteral("no H.264 encoder, text overlay or compositor here");
            return copy;
        }
    }

    std::vector<std::unique_ptr<Feed>> feeds;
    std::vector<Flow*> flows;
    // Composed, a third camera would have no place.
    const size_t count = overlay ? std::min<size_t>(2, plan.cameras.size()) : plan.cameras.size();
    for (size_t k = 0; k < count; ++k) {
        const CameraSpan& camera = plan.cameras[k];
        GstElement* src = gst_element_factory_make("filesrc", nullptr);
        GstElement* parser = gst_element_factory_make(overlay ? "decodebin" : "parsebin", nullptr);
        if (!src || !parser) {
            for (GstElement* e : {src, parser})
                if (e)
                    gst_object_unref(gst_object_ref_sink(e));
            copy.error = QStringLiteral("the GStreamer elements for a clip are missing");
            return copy;
        }
        g_object_set(src, "location", QFile::encodeName(camera.path).constData(), nullptr);
        gst_bin_add_many(GST_BIN(pipeline.get()), src, parser, nullptr);
        gst_element_link(src, parser);
        auto feed = std::make_unique<Feed>();
        Flow& flow = feed->flow;
        flow.overlay = overlay ? &texts : nullptr;
        flow.lastChange = g_get_monotonic_time();
        // Every camera starts right at its planned time (its key frame, or where its picture is
        // still to begin), so that its place on the main camera's time line is known.
        flow.from = Ns(camera.start);
        flow.exactStart = true;
        flow.stop = camera.end >= 0 ? Ns(camera.end) - 1 : -1;
        // Copied, every track keeps its place after the lead; composed, what lies before the
        // main camera's first frame is cut by the compositor.
        flow.shift = Ns(camera.start + camera.offset - origin + (overlay ? 0 : plan.lead));
        if (!overlay)
            flow.title = camera.label;
        flow.parser = parser;
        feed->sound = k == 0;
        feed->picture =
            overlay ? Place(compositor, plan, k) : gst_element_request_pad_simple(mux, "video_%u");
        g_signal_connect(parser, "pad-added", G_CALLBACK(OnCameraPad), feed.get());
        g_signal_connect(parser, "no-more-pads", G_CALLBACK(OnNoMorePads), &flow);
        flows.push_back(&flow);
        feeds.push_back(std::move(feed));
    }
    copy = RunCopy(pipeline.get(), flows, progress);
    for (const auto& feed : feeds)
        if (GstPad* unused = feed->picture.exchange(nullptr))
            gst_object_unref(unused);
    return copy;
}

} // namespace ClipExport
