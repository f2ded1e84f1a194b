#include "playback/FrameSlot.h"

#include <QMetaObject>
#include <QPainter>
#include <gst/video/video.h>

CFrameSlot::CFrameSlot(QObject* parent) : QObject(parent) {}

CFrameSlot::~CFrameSlot() = default;

void CFrameSlot::Store(GstSample* sample) {
    {
        QMutexLocker lock(&m_mutex);
        m_sample.reset(sample);
    }
    ++m_frames;
    // One queued repaint at a time: a slow UI thread is not flooded with events.
    if (!m_repaintPending.exchange(true)) {
        QMetaObject::invokeMethod(
            this,
            [this] {
                m_repaintPending = false;
                Q_EMIT FrameReady();
            },
            Qt::QueuedConnection);
    }
}

bool CFrameSlot::WithNewestView(const std::function<void(const QImage&, QSize)>& use) const {
    GstSamplePtr sample;
    {
        QMutexLocker lock(&m_mutex);
        if (!m_sample)
            return false;
        sample.reset(gst_sample_ref(m_sample.get()));
    }
    GstVideoInfo info;
    GstCaps* caps = gst_sample_get_caps(sample.get());
    GstBuffer* buffer = gst_sample_get_buffer(sample.get());
    if (!caps || !buffer || !gst_video_info_from_caps(&info, caps))
        return false;
    GstVideoFrame frame;
    if (!gst_video_frame_map(&frame, &info, buffer, GST_MAP_READ))
        return false;
    const QImage::Format format = GST_VIDEO_INFO_FORMAT(&info) == GST_VIDEO_FORMAT_BGRx
                                      ? QImage::Format_RGB32
                                      : QImage::Format_RGBX8888;
    const QImage view(static_cast<const uchar*>(GST_VIDEO_FRAME_PLANE_DATA(&frame, 0)),
                      GST_VIDEO_INFO_WIDTH(&info), GST_VIDEO_INFO_HEIGHT(&info),
                      GST_VIDEO_FRAME_PLANE_STRIDE(&frame, 0), format);
    const int parN = info.par_n > 0 ? info.par_n : 1, parD = info.par_d > 0 ? info.par_d : 1;
    use(view, QSize(int(qint64(info.width) * parN / parD), info.height));
    gst_video_frame_unmap(&frame);
    return true;
}

QImage CFrameSlot::NewestImage() const {
    QImage copy;
    WithNewestView([&copy](const QImage& view, QSize) { copy = view.copy(); });
    return copy;
}

QRect CFrameSlot::PaintNewest(QPainter& painter, const QRect& area) const {
    QRect drawn;
    WithNewestView([&](const QImage& view, QSize shape) {
        drawn = FitPicture(shape, area);
        painter.drawImage(drawn, view);
    });
    return drawn;
}

QRect CFrameSlot::FitPicture(const QSize& picture, const QRect& area) {
    if (picture.isEmpty() || area.isEmpty())
        return area;
    const QSize fitted = picture.scaled(area.size(), Qt::KeepAspectRatio);
    return QRect(area.left() + (area.width() - fitted.width()) / 2,
                 area.top() + (area.height() - fitted.height()) / 2, fitted.width(),
                 fitted.height());
}

QSize CFrameSlot::FrameSize() const {
    QMutexLocker lock(&m_mutex);
    if (!m_sample)
        return {};
    GstVideoInfo info;
    GstCaps* caps = gst_sample_get_caps(m_sample.get());
    if (!caps || !gst_video_info_from_caps(&info, caps))
        return {};
    return QSize(GST_VIDEO_INFO_WIDTH(&info), GST_VIDEO_INFO_HEIGHT(&info));
}

qint64 CFrameSlot::NewestPts() const {
    QMutexLocker lock(&m_mutex);
    GstBuffer* buffer = m_sample ? gst_sample_get_buffer(m_sample.get()) : nullptr;
    return buffer && GST_BUFFER_PTS_IS_VALID(buffer) ? qint64(GST_BUFFER_PTS(buffer)) : -1;
}

qint64 CFrameSlot::StreamTimeOf(qint64 pts) const {
    QMutexLocker lock(&m_mutex);
    const GstSegment* segment = m_sample ? gst_sample_get_segment(m_sample.get()) : nullptr;
    if (!segment || pts < 0)
        return -1;
    const guint64 time = gst_segment_to_stream_time(segment, GST_FORMAT_TIME, guint64(pts));
    return time == GST_CLOCK_TIME_NONE ? -1 : qint64(time);
}
