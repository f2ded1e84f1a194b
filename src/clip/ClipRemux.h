// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>
#include <functional>
#include <optional>
#include <vector>

// The GStreamer half of a clip: the span's streams copied into Matroska as they are stored, or
// decoded and re-encoded into an MP4 with the trip's data on the picture.
namespace ClipExport {

// The data burned into the re-encoded picture: from each time on (seconds into the recording),
// its text, until the next.
struct Overlay {
    std::vector<double> times;
    std::vector<QByteArray> texts;
};

struct Copy {
    bool ok = false;
    bool cancelled = false;
    QString error;
    double duration = 0; // of the recording, seconds (0: unknown)
};

// Copies [from, to] (nanoseconds; to < 0: to the end) of `source` into `target`, or fails.
// `exactStart`: `from` is a key frame's own time (else the demuxer finds the key frame before
// it). With `overlay`, the span is decoded instead and re-encoded into an MP4 with the
// overlay's texts on the picture. `progress` gets the share done and answers false to stop.
Copy Remux(const QString& source, qint64 from, bool exactStart, qint64 to, const QString& target,
           const std::function<bool(double)>& progress, const Overlay* overlay = nullptr);

} // namespace ClipExport
