// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "card/CameraPairs.h"
#include "clip/ClipRemux.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <functional>
#include <vector>

// A clip of every camera of a moment (front, rear, interior: one file each for the same
// minutes): one picture track per camera, each the camera's own frames copied as stored, named
// after it and placed on the main camera's time line, with the main camera's sound; or, with
// the data in the picture, the main camera re-encoded with the second camera's picture in its
// top-right corner.
namespace ClipExport {

// One camera's part of the clip.
struct CameraSpan {
    QString path;
    QByteArray label;  // the track's name: "Front", "Rear", "Interior"
    double offset = 0; // where its file starts on the main camera's time line, seconds
    // Its span in its own recording, seconds: from its key frame at or before the main span's
    // start (where it has none, the time asked: it starts later), to the main span's end (-1:
    // to its own end).
    double start = 0, end = -1;
    int width = 0, height = 0, rateNum = 0, rateDen = 1; // its picture
};

struct CameraPlan {
    std::vector<CameraSpan> cameras; // the main camera first; those with nothing of the span out
    // How long before the main camera's first frame the clip starts, seconds: another camera's
    // key frame may lie before it, and no track can start before the clip.
    double lead = 0;
    QStringList notes; // the cameras left out, and why
};

// The span [start, end) of the main camera's recording (start: the key frame it begins at;
// end -1: its end) on each of `cameras` (CameraPairs::CamerasOf: the main camera first).
CameraPlan PlanCameras(const QList<CameraPairs::Camera>& cameras, double start, double end);

// Copies each camera's span of `plan` into `target` (Matroska), or fails. With `overlay`, the
// picture is composed and re-encoded into an MP4 instead, the overlay's texts (times in the
// main camera's recording) on it. `progress` gets the share done and answers false to stop.
Copy RemuxCameras(const CameraPlan& plan, const QString& target,
                  const std::function<bool(double)>& progress, const Overlay* overlay = nullptr);

} // namespace ClipExport
