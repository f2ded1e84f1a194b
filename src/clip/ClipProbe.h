// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <optional>

namespace ClipExport {

// What GStreamer's own demuxer tells of a recording the program does not read itself (MP4,
// MOV, AVI): its length, and the time of the video key frame at or before `at` (seconds).
struct Probe {
    std::optional<double> duration;
    std::optional<double> keyFrame;
    QString error;
};
Probe ProbeSpan(const QString& source, double at);

} // namespace ClipExport
