// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "clip/ClipRemux.h"

#include <QByteArray>
#include <atomic>
#include <functional>
#include <gst/gst.h>
#include <initializer_list>
#include <mutex>
#include <vector>

// What a clip's pipeline does with each recording it reads: the parser's (or decoder's) streams
// held back until the span's own segment and cut at its end, the span sought once the streams
// are all shown, and the pipeline run to its end. One recording for a clip of one camera,
// several for a clip of every camera of a moment.
namespace ClipExport {

// How long after the last stream shown the streams are taken to be all there.
constexpr gint64 kStreamsSettledUs = 150 * 1000;

// What the copy's streaming threads tell the thread that waits for it, for one recording.
struct Flow {
    std::atomic<guint32> seqnum{GST_SEQNUM_INVALID}; // the span's seek, once sent
    std::atomic<gint64> reached{-1};                 // the latest time written (recording's), ns
    std::atomic<gint64> lastChange{0};               // monotonic µs of the latest progress
    std::atomic<bool> allPads{false};                // the parser said it has shown every stream
    std::atomic<gint64> lastPad{0};                  // monotonic µs of the latest stream shown
    std::atomic<int> streams{-1};                    // how many the parser found, once it says
    const Overlay* overlay = nullptr;                // re-encoding with the data in the picture
    gint64 from = 0;              // the span's start in the recording, ns; set once
    bool exactStart = false;      // `from` is a key frame's own time
    gint64 stop = -1;             // the span's end in the recording, ns (-1: its end); set once
    gint64 shift = 0;             // added to the span's running times, ns (cameras' alignment)
    QByteArray title;             // the picture's track name in the clip; empty: none given
    bool timesFromOrder = false;  // AVI: frames carry their time as the decoding time only
    GstElement* parser = nullptr; // owned by the pipeline, which outlives the streams
    std::mutex mutex;
    std::vector<GstPad*> pads; // the parser's outputs (its own references)
};

// A stream of the parser's, once linked: its data kept out of the clip until the span, and the
// stream counted.
void Watch(GstPad* pad, Flow& flow);

// "no-more-pads" of a flow's parser.
void OnNoMorePads(GstElement*, gpointer flow);

// A queue with room for a recording's interleave (5 s) and nothing else bounding it.
GstElement* RoomyQueue();

// What a parser's output pad carries: a picture ("video/", "image/"), sound, or else.
enum class PadKind { Picture, Sound, Other };
PadKind KindOf(GstPad* pad);

// Elements made in a row and linked, the first's sink pad returned; null when one is missing.
GstPad* Chain(GstElement* pipeline, std::initializer_list<GstElement*> elements, GstPad* target);

// A decoded stream re-encoded for the MP4: the picture with the data on it as H.264, the sound
// as AAC; null when this system lacks an element for it. The overlay's times are the decoded
// frames' own.
GstPad* EncodeChain(GstElement* pipeline, bool video, const Overlay& overlay, GstPad* target);

// Plays the built pipeline to its end: each flow's span sought once its parser has shown its
// streams, `progress` told the share done (and asked whether to go on) meanwhile. The first
// flow's recording gives the length.
Copy RunCopy(GstElement* pipeline, const std::vector<Flow*>& flows,
             const std::function<bool(double)>& progress);

} // namespace ClipExport
