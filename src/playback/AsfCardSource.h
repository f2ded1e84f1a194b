// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

typedef struct _GstElement GstElement;

// A GStreamer source for ASF recordings on the card. It reads the file unchanged and shows the
// demuxer what a recording cut by a power loss lacks: a header that tells the packets and the
// length really present, and, for a file without an index, the byte offset of any time (the
// demuxer asks its source for that before it guesses). The card is only ever read.
namespace AsfCardSource {

// Registers the element with GStreamer (once; gst_init must have run).
void Register();

// The URI under which playbin opens `absolutePath` through this source.
QByteArray UriFor(const QString& absolutePath);

// For a pipeline source of ours and a seek to `ns`: the stream time (ns) at which the video
// frame presented then starts, and where the demuxer must be sent for the frames shown just
// before a key frame (see asf::Layout::SeekPointsAt).
struct SeekPoints {
    std::optional<qint64> frameStart;
    std::optional<qint64> decodeFrom;
};
SeekPoints SeekPointsFor(GstElement* source, qint64 ns);
inline std::optional<qint64> FrameStartAt(GstElement* source, qint64 ns) {
    return SeekPointsFor(source, ns).frameStart;
}

// For a pipeline source of ours: the stream time (ns) at which the first video frame presented
// after `ns` starts; nothing when the file does not tell.
std::optional<qint64> FrameStartAfter(GstElement* source, qint64 ns);

// For an ASF recording on the card: the stream time (ns) of the last video key frame presented
// by `ns`, read from the file itself; nothing when the file does not tell.
std::optional<qint64> KeyFrameAt(const QString& path, qint64 ns);

// For an ASF recording on the card: how long it plays, in seconds, as the player shows it (a
// file cut short ends where its data does); nothing when the file does not tell.
std::optional<double> LengthOf(const QString& path);

} // namespace AsfCardSource
