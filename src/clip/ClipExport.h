// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

// A span of a recording handed over as evidence: the span's video and sound copied without
// re-encoding into Matroska (from the key frame at or before the start; every frame is one in
// MJPEG), and beside it, named after it, the span's trip as GPX (true positions), one subtitle
// per trip log record (.srt: local date and time, speed, position) and a SHA-256 manifest of
// the clip and the sidecars by their names (.sha256, read by `sha256sum -c` in the clip's folder
// wherever it is copied), and one of the original and its log by their names (.source.sha256,
// checked beside them); on request
// also the span re-encoded (H.264 in MP4, plays on a phone) with the date and time, speed and
// G values of the same records burned into the picture. A recording with partner cameras
// (front, rear, interior) gives one picture track per camera, each named after it and in its
// place on the recording's time line, and the picture with the data shows the second camera in
// the corner of the first; the others' originals are in the .source.sha256 too. The
// originals are only read; every output is written to a temporary file and put in place once
// whole, and nothing of an export that failed or was cancelled is left behind.
namespace ClipExport {

struct Request {
    QString source;       // the recording
    double from = 0;      // seconds into it
    double to = -1;       // seconds; negative: to its end
    QString out;          // the clip's path (.mkv); the sidecars take its name with their suffix
    QString version;      // the program's, for the manifest
    bool overlay = false; // also the span re-encoded as H.264 MP4 with the data in the picture
    bool replace = false; // existing outputs may be replaced (the user said so)
};

struct Result {
    double start = 0;       // where the clip really starts in the recording (a key frame)
    double end = 0;         // where it ends
    QStringList written;    // the files put in place
    QString leftOut;        // records of the log left out of the sidecars, and why
    QStringList notes;      // what the user should know of what was written (and not)
    QString error;          // why nothing was written; empty when it was
    bool cancelled = false; // the progress callback said stop
};

// The span a request really gives: from the key frame at or before its start (where the file
// tells), to its end or the recording's, whichever comes first.
struct Span {
    double start = 0, end = -1; // seconds; end -1 when the recording's length is not known
    double duration = 0;        // of the recording; 0 when not known
    bool keyFrameKnown = false; // `start` is a key frame's own time
    bool endCut = false;        // the end asked lies past the recording's
    QString error;              // why there is no such span (it starts at or past the end)
};
Span PlanSpan(const QString& source, double from, double to);

// "75", "75.5", "1:15", "00:01:15.500": seconds; nothing when the text is not a time.
std::optional<double> ParseTime(const QString& text);
// "00:01:15.500"
QString TimeText(double seconds);

// The default clip name for a span: "0003_00-01-15.500_00-01-45.000.mkv" (to < 0: "…_end").
QString DefaultName(const QString& source, double from, double to);
// The default name of the span a request really gives (see PlanSpan).
QString DefaultName(const QString& source, const Span& span);

// The paths written for a clip at `out`: the clip, then .gpx, .srt, .sha256 and .source.sha256
// beside it, and with the overlay, .mp4.
QStringList OutputsFor(const QString& out, bool overlay = false);

// Runs the export (nothing is written when the output guard refuses an output), calling `progress`
// with the share done (0 … 1) every so often; when it answers false, the export stops and removes
// what it wrote. Blocks; call it off the UI thread or from the command line.
Result Export(const Request& request, const std::function<bool(double)>& progress);

} // namespace ClipExport
