// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QImage>
#include <QSize>

typedef struct _GstSample GstSample;
typedef struct _GstVideoInfo GstVideoInfo;

// Turns a decoded frame into the picture on screen: scaled to the size it is shown at while
// still in YUV, then converted to RGB, so only the pixels shown are ever converted.
namespace FrameScaler {

// What the video sink accepts: the layouts decoders give that are scaled here directly
// (anything else is converted to one of them before the sink).
const char* SinkCaps();

// The frame's shape on screen: its pixel size with the pixel aspect applied.
QSize Shape(const GstVideoInfo& info);

// The frame of `sample`, laid out as `info` says, at `size` pixels (RGB32), or a null image
// when it cannot be read.
QImage Scaled(GstSample* sample, const GstVideoInfo& info, const QSize& size);

// The frame of `sample` at its own pixel size (RGB32), exactly as GStreamer converts it.
QImage Native(GstSample* sample);

} // namespace FrameScaler
