// SPDX-License-Identifier: GPL-3.0-or-later
#include "clip/ClipRemux.h"

#include "clip/ClipStreams.h"
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

// Each stream the parser shows goes through a queue (room for the file's interleave) to the
// muxer; one the muxer cannot hold is left out.
void OnParserPad(GstElement* parser, GstPad* pad, gpointer data) {
    Flow& flow = *static_cast<Flow*>(data);
    GstElement* pipeline = GST_ELEMENT(gst_element_get_parent(parser));
    GstElementPtr owner(pipeline);
    GstElementPtr mux(gst_bin_get_by_name(GST_BIN(pipeline), "mux"));
    const PadKind kind = KindOf(pad);
    const bool video = kind == PadKind::Picture;
    const bool audio = kind == PadKind::Sound;
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
    GstElement* queue = target ? RoomyQueue() : gst_element_factory_make("fakesink", nullptr);
    if (!target)
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
    flow.from = from;
    flow.exactStart = exactStart;
    flow.stop = to;
    flow.timesFromOrder = FileKind::Of(absolute) == FileKind::Kind::Avi;
    flow.parser = parser;
    g_signal_connect(parser, "pad-added", G_CALLBACK(OnParserPad), &flow);
    g_signal_connect(parser, "no-more-pads", G_CALLBACK(OnNoMorePads), &flow);
    return RunCopy(pipeline.get(), {&flow}, progress);
}

} // namespace ClipExport
