// SPDX-License-Identifier: GPL-3.0-or-later
#include "clip/ClipExport.h"

#include "export/TripExport.h"
#include "geo/TrueTrip.h"
#include "playback/AsfCardSource.h"
#include "playback/GstHandles.h"
#include "trip/TripLog.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <gst/gst.h>
#include <memory>
#include <mutex>
#include <openssl/evp.h>
#include <thread>

namespace ClipExport {

namespace {

// How long after the last stream shown the streams are taken to be all there.
constexpr gint64 kStreamsSettledUs = 150 * 1000;
// How long the copy may go without any progress before it is given up.
constexpr gint64 kStallUs = 20 * G_USEC_PER_SEC;

// What the copy's streaming threads tell the thread that waits for it.
struct Flow {
    std::atomic<guint32> seqnum{GST_SEQNUM_INVALID}; // the span's seek, once sent
    std::atomic<gint64> reached{-1};                 // the latest time written, ns
    std::atomic<gint64> lastChange{0};               // monotonic µs of the latest progress
    std::atomic<bool> allPads{false};                // the parser said it has shown every stream
    std::atomic<gint64> lastPad{0};                  // monotonic µs of the latest stream shown
    std::atomic<int> streams{-1};                    // how many the parser found, once it says
    const struct Overlay* overlay = nullptr;         // re-encoding with the data in the picture
    std::mutex mutex;
    std::vector<GstPad*> pads; // the parser's outputs (its own references)
};

// One stream of the parser's: until the span's own segment has gone by on it, nothing it
// outputs reaches the muxer (the first data, read to find the streams, lies before the span,
// and so may whatever was under way when the seek went out).
struct Stream {
    Flow* flow;
    bool inSpan = false; // its streaming thread only
};

GstPadProbeReturn OnParsed(GstPad*, GstPadProbeInfo* info, gpointer data) {
    Stream& stream = *static_cast<Stream*>(data);
    Flow& flow = *stream.flow;
    if (GST_PAD_PROBE_INFO_TYPE(info) & GST_PAD_PROBE_TYPE_BUFFER) {
        if (!stream.inSpan)
            return GST_PAD_PROBE_DROP;
        GstBuffer* buffer = GST_PAD_PROBE_INFO_BUFFER(info);
        if (GST_BUFFER_PTS_IS_VALID(buffer)) {
            gint64 was = flow.reached.load();
            const gint64 now = gint64(GST_BUFFER_PTS(buffer));
            while (now > was && !flow.reached.compare_exchange_weak(was, now)) {
            }
        }
        flow.lastChange = g_get_monotonic_time();
        return GST_PAD_PROBE_OK;
    }
    GstEvent* event = GST_PAD_PROBE_INFO_EVENT(info);
    switch (GST_EVENT_TYPE(event)) {
    case GST_EVENT_SEGMENT:
        if (gst_event_get_seqnum(event) != flow.seqnum.load())
            return GST_PAD_PROBE_DROP;
        stream.inSpan = true;
        return GST_PAD_PROBE_OK;
    case GST_EVENT_FLUSH_START:
    case GST_EVENT_FLUSH_STOP: // the muxer has nothing to flush
        return GST_PAD_PROBE_DROP;
    case GST_EVENT_GAP:
    case GST_EVENT_EOS:
        return stream.inSpan ? GST_PAD_PROBE_OK : GST_PAD_PROBE_DROP;
    default:
        return GST_PAD_PROBE_OK;
    }
}

// The data burned into the re-encoded picture: from each time on (seconds into the recording),
// its text, until the next.
struct Overlay {
    std::vector<double> times;
    std::vector<QByteArray> texts;
};

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

// Elements made in a row and linked, the first's sink pad returned; null when one is missing.
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

// A decoded stream re-encoded for the MP4: the picture with the data on it as H.264, the sound
// as AAC; null when this system lacks an element for it.
GstPad* EncodeChain(GstElement* pipeline, bool video, const Overlay& overlay, GstPad* target) {
    const auto make = [](const char* factory) {
        return gst_element_factory_make(factory, nullptr);
    };
    if (!video) {
        GstElement* encoder = make("avenc_aac");
        GstElement* queue = make("queue");
        if (queue)
            g_object_set(queue, "max-size-buffers", 0u, "max-size-bytes", 0u, "max-size-time",
                         guint64(5 * GST_SECOND), nullptr);
        return Chain(pipeline, {make("audioconvert"), make("audioresample"), encoder, queue},
                     target);
    }
    GstElement* text = make("textoverlay");
    GstElement* encoder = make("x264enc");
    GstElement* queue = make("queue");
    if (text)
        g_object_set(text, "valignment", 2 /* top: the recorder stamps the bottom */, "halignment",
                     0 /* left */, "line-alignment", 0 /* left */, "shaded-background", TRUE,
                     "font-desc", "Sans Bold 12", "wait-text", FALSE, nullptr);
    if (encoder)
        gst_util_set_object_arg(G_OBJECT(encoder), "speed-preset", "veryfast");
    if (queue)
        g_object_set(queue, "max-size-buffers", 0u, "max-size-bytes", 0u, "max-size-time",
                     guint64(5 * GST_SECOND), nullptr);
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

// A stream of the parser's, once linked: its data kept out of the clip until the span, and the
// stream counted.
void Watch(GstPad* pad, Flow& flow) {
    gst_pad_add_probe(
        pad,
        GstPadProbeType(GST_PAD_PROBE_TYPE_BUFFER | GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM |
                        GST_PAD_PROBE_TYPE_EVENT_FLUSH),
        OnParsed, new Stream{&flow}, [](gpointer p) { delete static_cast<Stream*>(p); });
    const std::lock_guard lock(flow.mutex);
    flow.pads.push_back(GST_PAD(gst_object_ref(pad)));
    flow.lastPad = g_get_monotonic_time();
}

// Each stream the parser shows goes through a queue (room for the file's interleave) to the
// muxer; one the muxer cannot hold is left out.
void OnParserPad(GstElement* parser, GstPad* pad, gpointer data) {
    Flow& flow = *static_cast<Flow*>(data);
    GstElement* pipeline = GST_ELEMENT(gst_element_get_parent(parser));
    GstElementPtr owner(pipeline);
    GstElementPtr mux(gst_bin_get_by_name(GST_BIN(pipeline), "mux"));
    GstCapsPtr caps(gst_pad_query_caps(pad, nullptr));
    const GstStructure* s =
        caps && !gst_caps_is_empty(caps.get()) ? gst_caps_get_structure(caps.get(), 0) : nullptr;
    const char* name = s ? gst_structure_get_name(s) : "";
    const bool video = g_str_has_prefix(name, "video/") || g_str_has_prefix(name, "image/");
    const bool audio = g_str_has_prefix(name, "audio/");
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
    GstElement* queue = gst_element_factory_make(target ? "queue" : "fakesink", nullptr);
    if (target)
        g_object_set(queue, "max-size-buffers", 0u, "max-size-bytes", 0u, "max-size-time",
                     guint64(5 * GST_SECOND), nullptr);
    else
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

void OnNoMorePads(GstElement*, gpointer data) {
    static_cast<Flow*>(data)->allPads = true;
}

struct Copy {
    bool ok = false;
    bool cancelled = false;
    QString error;
    double duration = 0; // of the recording, seconds (0: unknown)
};

// Copies [from, to] of `source` into `target` (Matroska), or fails. With `overlay`, the span is
// decoded instead and re-encoded into an MP4 with the overlay's texts on the picture.
Copy Remux(const QString& source, gint64 from, bool exactStart, gint64 to, const QString& target,
           const std::function<bool(double)>& progress, const Overlay* overlay = nullptr) {
    Copy copy;
    static std::once_flag once;
    std::call_once(once, [] {
        gst_init(nullptr, nullptr);
        AsfCardSource::Register();
    });
    const QString absolute = QFileInfo(source).absoluteFilePath();
    const bool asf = AsfCardSource::LooksLikeAsf(absolute);
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
    g_signal_connect(parser, "pad-added", G_CALLBACK(OnParserPad), &flow);
    g_signal_connect(parser, "no-more-pads", G_CALLBACK(OnNoMorePads), &flow);

    GstBusPtr bus(gst_element_get_bus(pipeline.get()));
    gst_element_set_state(pipeline.get(), GST_STATE_PLAYING);
    const auto finish = [&] {
        gst_element_set_state(pipeline.get(), GST_STATE_NULL);
        const std::lock_guard lock(flow.mutex);
        for (GstPad* pad : flow.pads)
            gst_object_unref(pad);
        flow.pads.clear();
    };
    bool sought = false;
    for (;;) {
        GstMessagePtr message{gst_bus_timed_pop_filtered(
            bus.get(), 50 * GST_MSECOND,
            GstMessageType(GST_MESSAGE_ERROR | GST_MESSAGE_EOS | GST_MESSAGE_STREAM_COLLECTION))};
        if (message && GST_MESSAGE_TYPE(message.get()) == GST_MESSAGE_STREAM_COLLECTION) {
            GstStreamCollection* collection = nullptr;
            gst_message_parse_stream_collection(message.get(), &collection);
            if (collection) {
                flow.streams = int(gst_stream_collection_get_size(collection));
                gst_object_unref(collection);
            }
        }
        if (message && GST_MESSAGE_TYPE(message.get()) == GST_MESSAGE_ERROR) {
            GError* error = nullptr;
            gst_message_parse_error(message.get(), &error, nullptr);
            copy.error = QString::fromUtf8(error ? error->message : "error");
            g_clear_error(&error);
            finish();
            return copy;
        }
        if (message && GST_MESSAGE_TYPE(message.get()) == GST_MESSAGE_EOS && sought)
            break;
        // The parser says how many streams it found; some (declared, never filled) it may not show.
        bool shown = flow.allPads;
        {
            const std::lock_guard lock(flow.mutex);
            shown = shown || (!flow.pads.empty() &&
                              ((flow.streams > 0 && int(flow.pads.size()) >= flow.streams) ||
                               g_get_monotonic_time() - flow.lastPad > kStreamsSettledUs));
        }
        if (!sought && shown) {
            gint64 length = 0;
            if (gst_element_query_duration(pipeline.get(), GST_FORMAT_TIME, &length) && length > 0)
                copy.duration = double(length) / GST_SECOND;
            // The span's seek goes to the demuxer through one of the parser's outputs.
            // Where the key frame is known, the span starts right there; else the demuxer
            // finds the key frame before.
            GstEvent* seek = gst_event_new_seek(
                1.0, GST_FORMAT_TIME,
                GstSeekFlags(GST_SEEK_FLAG_FLUSH |
                             (exactStart ? GST_SEEK_FLAG_ACCURATE
                                         : GST_SEEK_FLAG_KEY_UNIT | GST_SEEK_FLAG_SNAP_BEFORE)),
                GST_SEEK_TYPE_SET, from, to >= 0 ? GST_SEEK_TYPE_SET : GST_SEEK_TYPE_NONE,
                to >= 0 ? to : -1);
            const guint32 seqnum = gst_event_get_seqnum(seek);
            GstPad* pad = nullptr;
            {
                const std::lock_guard lock(flow.mutex);
                if (!flow.pads.empty())
                    pad = GST_PAD(gst_object_ref(flow.pads.front()));
            }
            flow.seqnum = seqnum;
            const bool sent = pad && gst_pad_send_event(pad, seek);
            if (pad)
                gst_object_unref(pad);
            else
                gst_event_unref(seek);
            if (!sent) {
                copy.error = QStringLiteral("the recording cannot be cut there");
                finish();
                return copy;
            }
            sought = true;
            flow.lastChange = g_get_monotonic_time();
        }
        const gint64 end = to >= 0 ? to : gint64(copy.duration * GST_SECOND);
        const gint64 reached = flow.reached;
        const double share = sought && end > from && reached > from
                                 ? double(reached - from) / double(end - from)
                                 : 0.0;
        if (progress && !progress(std::clamp(share, 0.0, 1.0))) {
            copy.cancelled = true;
            finish();
            return copy;
        }
        if (g_get_monotonic_time() - flow.lastChange > kStallUs) {
            copy.error = QStringLiteral("the recording stopped giving data");
            finish();
            return copy;
        }
    }
    finish();
    copy.ok = true;
    return copy;
}

// A file written to a private name beside its place, put there when everything is ready.
struct Pending {
    QString path, temporary;
};

bool WriteTemporary(const QString& path, const QByteArray& bytes, Pending& pending,
                    QString& error) {
    pending.path = path;
    pending.temporary = path + QStringLiteral(".part");
    QFile file(pending.temporary);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered) ||
        file.write(bytes) != bytes.size() || !file.flush()) {
        error = file.errorString();
        file.close();
        QFile::remove(pending.temporary);
        return false;
    }
    return true;
}

QByteArray Sha256Of(const QString& path, QString& error) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        error = QStringLiteral("%1: %2").arg(path, file.errorString());
        return {};
    }
    std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context(EVP_MD_CTX_new(),
                                                                    EVP_MD_CTX_free);
    if (!context || !EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr)) {
        error = QStringLiteral("no SHA-256");
        return {};
    }
    QByteArray chunk(1 << 20, Qt::Uninitialized);
    for (;;) {
        const qint64 got = file.read(chunk.data(), chunk.size());
        if (got < 0) {
            error = QStringLiteral("%1: %2").arg(path, file.errorString());
            return {};
        }
        if (got == 0)
            break;
        EVP_DigestUpdate(context.get(), chunk.constData(), size_t(got));
    }
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_DigestFinal_ex(context.get(), digest, &length);
    return QByteArray(reinterpret_cast<const char*>(digest), int(length)).toHex();
}

QString SrtTime(double seconds) {
    const qint64 ms = std::llround(std::max(0.0, seconds) * 1000);
    return QString::asprintf("%02lld:%02lld:%02lld,%03lld", ms / 3600000, ms / 60000 % 60,
                             ms / 1000 % 60, ms % 1000);
}

QString Hemisphere(double value, char positive, char negative) {
    return QString::number(std::abs(value), 'f', 6) + QLatin1Char(' ') +
           QLatin1Char(value < 0 ? negative : positive);
}

} // namespace

std::optional<double> ParseTime(const QString& text) {
    static const QRegularExpression pattern(
        QStringLiteral(R"(^\s*(?:(\d+):)?(?:(\d+):)?(\d+(?:\.\d*)?)\s*$)"));
    const QRegularExpressionMatch m = pattern.match(text);
    if (!m.hasMatch())
        return std::nullopt;
    // "mm:ss" has its minutes in the first group and nothing in the second.
    const QString first = m.captured(1), second = m.captured(2);
    double hours = 0, minutes = 0;
    if (!second.isEmpty()) {
        hours = first.toDouble();
        minutes = second.toDouble();
    } else if (!first.isEmpty()) {
        minutes = first.toDouble();
    }
    const double seconds = m.captured(3).toDouble();
    if ((!first.isEmpty() && seconds >= 60) || (!second.isEmpty() && minutes >= 60))
        return std::nullopt;
    return hours * 3600 + minutes * 60 + seconds;
}

QString TimeText(double seconds) {
    const qint64 ms = std::llround(std::max(0.0, seconds) * 1000);
    return QString::asprintf("%02lld:%02lld:%02lld.%03lld", ms / 3600000, ms / 60000 % 60,
                             ms / 1000 % 60, ms % 1000);
}

QString DefaultName(const QString& source, double from, double to) {
    const auto part = [](double t) {
        return t < 0 ? QStringLiteral("end") : TimeText(t).replace(QLatin1Char(':'), '-');
    };
    return QFileInfo(source).completeBaseName() + QLatin1Char('_') + part(from) + QLatin1Char('_') +
           part(to) + QStringLiteral(".mkv");
}

QStringList OutputsFor(const QString& out, bool overlay) {
    const QFileInfo info(out);
    const QString stem = info.absoluteDir().filePath(info.completeBaseName());
    QStringList outputs = {info.absoluteFilePath(), stem + QStringLiteral(".gpx"),
                           stem + QStringLiteral(".srt"), stem + QStringLiteral(".sha256")};
    if (overlay)
        outputs.append(stem + QStringLiteral(".mp4"));
    return outputs;
}

Result Export(const Request& request, const std::function<bool(double)>& progress) {
    Result result;
    const QFileInfo source(request.source);
    if (!source.isFile()) {
        result.error = QStringLiteral("Open fail");
        return result;
    }
    const QStringList outputs = OutputsFor(request.out, request.overlay);
    std::vector<Pending> pending;
    const auto fail = [&](const QString& why) {
        for (const Pending& p : pending)
            QFile::remove(p.temporary);
        result.error = why;
        result.written.clear();
        return result;
    };

    // Where the clip really starts: the key frame at or before the start (the file tells).
    const gint64 asked = gint64(std::max(0.0, request.from) * GST_SECOND);
    const auto key = AsfCardSource::KeyFrameAt(source.absoluteFilePath(), asked);
    const gint64 from = key ? *key : asked;
    // A frame starting right at the end mark is not in the span.
    const gint64 to = request.to >= 0 ? gint64(request.to * GST_SECOND) - 1 : -1;

    // The originals are hashed meanwhile, on the other core: they are read once either way.
    const QString logPath = TripLogPath(source.absoluteFilePath());
    QString foundLog;
    for (const QString& candidate : TripLogCandidates(logPath))
        if (foundLog.isEmpty() && QFileInfo(candidate).isFile())
            foundLog = candidate;
    std::vector<std::pair<QString, QByteArray>> originals = {{source.absoluteFilePath(), {}}};
    if (!foundLog.isEmpty())
        originals.push_back({QFileInfo(foundLog).absoluteFilePath(), {}});
    QString hashError;
    std::thread hasher([&] {
        for (auto& [path, hash] : originals)
            if (hashError.isEmpty())
                hash = Sha256Of(path, hashError);
    });
    // Joined on every way out; the hashes are used once it has been.
    struct Joined {
        std::thread& thread;
        void Join() {
            if (thread.joinable())
                thread.join();
        }
        ~Joined() { Join(); }
    } joined{hasher};

    Pending clip{outputs[0], outputs[0] + QStringLiteral(".part")};
    pending.push_back(clip);
    // The copy is most of the work, unless the picture is re-encoded; the hashes the rest.
    const double copyShare = request.overlay ? 0.15 : 0.75;
    const double doneShare = request.overlay ? 0.9 : 0.75;
    const Copy copy = Remux(source.absoluteFilePath(), from, key.has_value(), to, clip.temporary,
                            [&](double share) { return !progress || progress(copyShare * share); });
    if (copy.cancelled) {
        fail({});
        result.cancelled = true;
        return result;
    }
    if (!copy.ok || QFileInfo(clip.temporary).size() == 0)
        return fail(copy.error.isEmpty() ? QStringLiteral("nothing was copied") : copy.error);
    result.start = double(from) / GST_SECOND;
    result.end = to >= 0 ? std::min(request.to, copy.duration > 0 ? copy.duration : request.to)
                         : copy.duration;

    // The trip of the span, from the records the log places in it: the log's records are
    // spread evenly over the recording, as the chart shows them.
    TrueTrip::Trip trip;
    QString error;
    Overlay overlay;
    const bool haveLog = TrueTrip::Read(logPath, trip) && !trip.samples.empty();
    if (haveLog && copy.duration > 0) {
        const double step = copy.duration / double(trip.samples.size());
        TrueTrip::Trip span;
        std::vector<double> times;
        for (size_t k = 0; k < trip.samples.size(); ++k) {
            const double t = double(k) * step;
            if (t + step <= result.start || t >= result.end)
                continue;
            const TrueTrip::Sample& s = trip.samples[k];
            ++span.skipped[size_t(s.skip)];
            span.samples.push_back(s);
            times.push_back(t);
        }
        result.leftOut = TrueTrip::SkippedText(span);
        TripExport::Trip gpx = TripExport::TripOfSamples(QFileInfo(outputs[0]).completeBaseName(),
                                                         source.absolutePath(), span);
        QString srt;
        int number = 0;
        for (size_t i = 0; i < span.samples.size(); ++i) {
            const TrueTrip::Sample& s = span.samples[i];
            const double begin = times[i] - result.start;
            const double finish =
                (i + 1 < times.size() ? times[i + 1] : times[i] + step) - result.start;
            const QString when = QString::fromLatin1(s.date + ' ' + s.time.left(8));
            const QString speed = QStringLiteral("%1 km/h").arg(s.speed, 0, 'f', 1);
            QString text = when + QLatin1Char('\n') + speed;
            if (s.skip == TrueTrip::Skip::None)
                text +=
                    QStringLiteral("  %1  %2")
                        .arg(Hemisphere(s.latitude, 'N', 'S'), Hemisphere(s.longitude, 'E', 'W'));
            srt += QStringLiteral("%1\n%2 --> %3\n%4\n\n")
                       .arg(++number)
                       .arg(SrtTime(begin), SrtTime(finish), text);
            overlay.times.push_back(times[i]);
            overlay.texts.push_back((when + QLatin1Char('\n') + speed +
                                     QString::asprintf("\nX %+.2f g  Y %+.2f g  Z %+.2f g",
                                                       s.accelX, s.accelY, s.accelZ))
                                        .toUtf8());
        }
        Pending gpxFile, srtFile;
        if (!WriteTemporary(outputs[1], TripExport::FormatTrip(gpx, TripExport::Format::Gpx),
                            gpxFile, error))
            return fail(error);
        pending.push_back(gpxFile);
        if (!WriteTemporary(outputs[2], srt.toUtf8(), srtFile, error))
            return fail(error);
        pending.push_back(srtFile);
    }

    // The same span re-encoded with the data in the picture, from the same records.
    if (request.overlay) {
        Pending mp4{outputs[4], outputs[4] + QStringLiteral(".part")};
        pending.push_back(mp4);
        const Copy encoded = Remux(
            source.absoluteFilePath(), from, key.has_value(), to, mp4.temporary,
            [&](double share) {
                return !progress || progress(copyShare + (doneShare - copyShare) * share);
            },
            &overlay);
        if (encoded.cancelled) {
            fail({});
            result.cancelled = true;
            return result;
        }
        if (!encoded.ok || QFileInfo(mp4.temporary).size() == 0)
            return fail(encoded.error.isEmpty() ? QStringLiteral("nothing was encoded")
                                                : encoded.error);
    }

    // The manifest: the originals by their full paths, the outputs by their names.
    QByteArray manifest;
    manifest += "# original: " + QFile::encodeName(source.absoluteFilePath()) + '\n';
    manifest += "# size: " + QByteArray::number(source.size()) + " bytes, modified " +
                source.lastModified().toUTC().toString(Qt::ISODate).toUtf8() + '\n';
    manifest += "# span: " + TimeText(result.start).toUtf8() + " to " +
                TimeText(result.end).toUtf8() + " of the original";
    if (std::abs(result.start - std::max(0.0, request.from)) > 0.0005)
        manifest += " (asked from " + TimeText(request.from).toUtf8() +
                    "; the clip starts at the key frame before)";
    manifest += "\n# written by dashcard-player " + request.version.toUtf8() + '\n';
    joined.Join();
    if (!hashError.isEmpty())
        return fail(hashError);
    for (const auto& [path, hash] : originals)
        manifest += hash + "  " + QFile::encodeName(path) + '\n';
    for (size_t i = 0; i < pending.size(); ++i) {
        const QByteArray hash = Sha256Of(pending[i].temporary, error);
        if (hash.isEmpty())
            return fail(error);
        manifest += hash + "  " + QFile::encodeName(QFileInfo(pending[i].path).fileName()) + '\n';
        if (progress &&
            !progress(doneShare + (1 - doneShare) * double(i + 1) / double(pending.size()))) {
            fail({});
            result.cancelled = true;
            return result;
        }
    }
    Pending manifestFile;
    if (!WriteTemporary(outputs[3], manifest, manifestFile, error))
        return fail(error);
    pending.push_back(manifestFile);

    // Everything is whole: put in place.
    for (const Pending& p : pending) {
        QFile::remove(p.path);
        if (!QFile::rename(p.temporary, p.path)) {
            for (const QString& done : result.written)
                QFile::remove(done);
            return fail(QStringLiteral("%1: cannot be put in place").arg(p.path));
        }
        result.written.append(p.path);
    }
    return result;
}

} // namespace ClipExport
