// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <optional>

namespace ClipExport {

// What GStreamer's own demuxer tells of a recording the program does not read itself (MP4,
// MOV, AVI): its length, the time of the video key frame at or before `at` (seconds), and the
// picture's size and rate as its parser says them (0 when it has no picture or does not say).
struct Probe {
    std::optional<double> duration;
    std::optional<double> keyFrame;
    int width = 0, height = 0;
    int rateNum = 0, rateDen = 1;
    QString error;
};
Probe ProbeSpan(const QString& source, double at);

} // namespace ClipExport
