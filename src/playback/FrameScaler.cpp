// SPDX-License-Identifier: GPL-3.0-or-later
#include "playback/FrameScaler.h"

#include "playback/GstHandles.h"

#include <gst/video/video.h>
#include <libyuv/convert_argb.h>
#include <libyuv/scale.h>
#include <libyuv/scale_argb.h>
#include <vector>

namespace {

// The colour matrix the frame was encoded with; SD and unknown take BT.601.
const libyuv::YuvConstants* MatrixOf(const GstVideoInfo& info) {
    const bool full = info.colorimetry.range == GST_VIDEO_COLOR_RANGE_0_255;
    switch (info.colorimetry.matrix) {
    case GST_VIDEO_COLOR_MATRIX_BT709:
        return full ? &libyuv::kYuvF709Constants : &libyuv::kYuvH709Constants;
    case GST_VIDEO_COLOR_MATRIX_BT2020:
        return full ? &libyuv::kYuvV2020Constants : &libyuv::kYuv2020Constants;
    default:
        return full ? &libyuv::kYuvJPEGConstants : &libyuv::kYuvI601Constants;
    }
}

// Room for scaled planes or a converted frame, kept by each converting thread from frame to
// frame.
uint8_t* Scratch(size_t bytes) {
    static thread_local std::vector<uint8_t> scratch;
    if (scratch.size() < bytes)
        scratch.resize(bytes);
    return scratch.data();
}

// A planar YUV frame: where its planes are, how large it is and how its chroma is laid out.
struct Planes {
    const uint8_t* data[3] = {};
    int stride[3] = {};
    int width = 0, height = 0;
    GstVideoFormat format = GST_VIDEO_FORMAT_UNKNOWN;
};

Planes PlanesOf(const GstVideoFrame& f) {
    Planes p;
    p.format = GST_VIDEO_FRAME_FORMAT(&f);
    p.width = GST_VIDEO_FRAME_WIDTH(&f);
    p.height = GST_VIDEO_FRAME_HEIGHT(&f);
    // Components by name, so YV12's swapped planes need nothing of their own.
    for (int c = 0; c < int(GST_VIDEO_FRAME_N_COMPONENTS(&f)) && c < 3; ++c) {
        p.data[c] = static_cast<const uint8_t*>(GST_VIDEO_FRAME_COMP_DATA(&f, c));
        p.stride[c] = GST_VIDEO_FRAME_COMP_STRIDE(&f, c);
    }
    return p;
}

// Chroma size of a `w` x `h` picture in `format`.
QSize ChromaSize(GstVideoFormat format, int w, int h) {
    switch (format) {
    case GST_VIDEO_FORMAT_Y444:
        return {w, h};
    case GST_VIDEO_FORMAT_Y42B:
        return {(w + 1) / 2, h};
    default: // 4:2:0
        return {(w + 1) / 2, (h + 1) / 2};
    }
}

bool ToArgb(const Planes& p, uint8_t* out, int outStride, const libyuv::YuvConstants* matrix) {
    const int w = p.width, h = p.height;
    switch (p.format) {
    case GST_VIDEO_FORMAT_I420:
    case GST_VIDEO_FORMAT_YV12:
        return libyuv::I420ToARGBMatrix(p.data[0], p.stride[0], p.data[1], p.stride[1], p.data[2],
                                        p.stride[2], out, outStride, matrix, w, h) == 0;
    case GST_VIDEO_FORMAT_Y42B:
        return libyuv::I422ToARGBMatrix(p.data[0], p.stride[0], p.data[1], p.stride[1], p.data[2],
                                        p.stride[2], out, outStride, matrix, w, h) == 0;
    case GST_VIDEO_FORMAT_Y444:
        return libyuv::I444ToARGBMatrix(p.data[0], p.stride[0], p.data[1], p.stride[1], p.data[2],
                                        p.stride[2], out, outStride, matrix, w, h) == 0;
    case GST_VIDEO_FORMAT_NV12:
        return libyuv::NV12ToARGBMatrix(p.data[0], p.stride[0], p.data[1], p.stride[1], out,
                                        outStride, matrix, w, h) == 0;
    default:
        return false;
    }
}

// `p` scaled to `w` x `h` (bilinear) into planes held in `room`.
bool ScalePlanes(const Planes& p, int w, int h, uint8_t* room, Planes& scaled) {
    const QSize c = ChromaSize(p.format, w, h);
    const int uvWidth = p.format == GST_VIDEO_FORMAT_NV12 ? 2 * c.width() : c.width();
    scaled.format = p.format;
    scaled.width = w;
    scaled.height = h;
    uint8_t* y = room;
    uint8_t* u = y + size_t(w) * h;
    uint8_t* v = u + size_t(uvWidth) * c.height();
    scaled.data[0] = y;
    scaled.data[1] = u;
    scaled.data[2] = v;
    scaled.stride[0] = w;
    scaled.stride[1] = scaled.stride[2] = uvWidth;
    const auto filter = libyuv::kFilterBilinear;
    switch (p.format) {
    case GST_VIDEO_FORMAT_I420:
    case GST_VIDEO_FORMAT_YV12:
        return libyuv::I420Scale(p.data[0], p.stride[0], p.data[1], p.stride[1], p.data[2],
                                 p.stride[2], p.width, p.height, y, w, u, uvWidth, v, uvWidth, w, h,
                                 filter) == 0;
    case GST_VIDEO_FORMAT_Y42B:
        return libyuv::I422Scale(p.data[0], p.stride[0], p.data[1], p.stride[1], p.data[2],
                                 p.stride[2], p.width, p.height, y, w, u, uvWidth, v, uvWidth, w, h,
                                 filter) == 0;
    case GST_VIDEO_FORMAT_Y444:
        return libyuv::I444Scale(p.data[0], p.stride[0], p.data[1], p.stride[1], p.data[2],
                                 p.stride[2], p.width, p.height, y, w, u, uvWidth, v, uvWidth, w, h,
                                 filter) == 0;
    case GST_VIDEO_FORMAT_NV12:
        return libyuv::NV12Scale(p.data[0], p.stride[0], p.data[1], p.stride[1], p.width, p.height,
                                 y, w, u, uvWidth, w, h, filter) == 0;
    default:
        return false;
    }
}

// A YUV frame into `out`. Shown at half its size or less, it is scaled while still in YUV,
// with a bilinear filter that keeps the recorder's thin burned-in text legible, and only the
// pixels shown are converted. Nearer to its own size it is converted whole and then sampled:
// the planar sampler has no vector code, and this way costs less than half as much.
bool YuvToImage(const GstVideoFrame& frame, QImage& out) {
    const Planes p = PlanesOf(frame);
    const libyuv::YuvConstants* matrix = MatrixOf(frame.info);
    const int w = out.width(), h = out.height();
    if (p.width == w && p.height == h)
        return ToArgb(p, out.bits(), int(out.bytesPerLine()), matrix);
    if (p.width >= 2 * w) {
        Planes scaled;
        return ScalePlanes(p, w, h, Scratch(3 * size_t(w) * h), scaled) &&
               ToArgb(scaled, out.bits(), int(out.bytesPerLine()), matrix);
    }
    uint8_t* whole = Scratch(4 * size_t(p.width) * p.height);
    return ToArgb(p, whole, 4 * p.width, matrix) &&
           libyuv::ARGBScale(whole, 4 * p.width, p.width, p.height, out.bits(),
                             int(out.bytesPerLine()), w, h, libyuv::kFilterNone) == 0;
}

} // namespace

namespace FrameScaler {

const char* SinkCaps() {
    return "video/x-raw,format={ I420, YV12, NV12, Y42B, Y444, BGRx, BGRA }";
}

QSize Shape(const GstVideoInfo& info) {
    const int parN = info.par_n > 0 ? info.par_n : 1, parD = info.par_d > 0 ? info.par_d : 1;
    return QSize(int(qint64(info.width) * parN / parD), info.height);
}

QImage Scaled(GstSample* sample, const GstVideoInfo& info, const QSize& size) {
    GstBuffer* buffer = sample ? gst_sample_get_buffer(sample) : nullptr;
    if (!buffer || size.isEmpty())
        return {};
    GstVideoFrame frame;
    if (!gst_video_frame_map(&frame, const_cast<GstVideoInfo*>(&info), buffer, GST_MAP_READ))
        return {};
    QImage out(size, QImage::Format_RGB32);
    bool done = false;
    switch (GST_VIDEO_INFO_FORMAT(&info)) {
    case GST_VIDEO_FORMAT_BGRx:
    case GST_VIDEO_FORMAT_BGRA:
        // Sampled: a filter shifts flat colours by a step or two.
        done = libyuv::ARGBScale(static_cast<const uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(&frame, 0)),
                                 GST_VIDEO_FRAME_PLANE_STRIDE(&frame, 0), info.width, info.height,
                                 out.bits(), int(out.bytesPerLine()), size.width(), size.height(),
                                 libyuv::kFilterNone) == 0;
        break;
    default:
        done = YuvToImage(frame, out);
        break;
    }
    gst_video_frame_unmap(&frame);
    return done ? out : QImage();
}

QImage Native(GstSample* sample) {
    GstVideoInfo info;
    GstCaps* caps = sample ? gst_sample_get_caps(sample) : nullptr;
    if (!caps || !gst_video_info_from_caps(&info, caps))
        return {};
    GstCapsPtr wanted(gst_caps_new_simple("video/x-raw", "format", G_TYPE_STRING, "BGRx", "width",
                                          G_TYPE_INT, info.width, "height", G_TYPE_INT, info.height,
                                          nullptr));
    GError* error = nullptr;
    GstSamplePtr converted(gst_video_convert_sample(sample, wanted.get(), 5 * GST_SECOND, &error));
    if (error)
        g_error_free(error);
    GstBuffer* buffer = converted ? gst_sample_get_buffer(converted.get()) : nullptr;
    GstVideoInfo out;
    if (!buffer || !gst_video_info_from_caps(&out, gst_sample_get_caps(converted.get())))
        return {};
    GstVideoFrame frame;
    if (!gst_video_frame_map(&frame, &out, buffer, GST_MAP_READ))
        return {};
    const QImage view(static_cast<const uchar*>(GST_VIDEO_FRAME_PLANE_DATA(&frame, 0)), out.width,
                      out.height, GST_VIDEO_FRAME_PLANE_STRIDE(&frame, 0), QImage::Format_RGB32);
    QImage copy = view.copy();
    gst_video_frame_unmap(&frame);
    return copy;
}

} // namespace FrameScaler
