// SPDX-License-Identifier: GPL-3.0-or-later
#include "playback/FrameSlot.h"

#include "playback/FrameScaler.h"
#include "playback/HandOver.h"

#include <QMetaObject>
#include <QPainter>
#include <gst/app/gstappsink.h>
#include <gst/video/video.h>

CFrameSlot::CFrameSlot(QObject* parent) : QObject(parent) {
    m_remaker.setMaxThreadCount(1);
}

CFrameSlot::~CFrameSlot() {
    m_remaker.waitForDone();
}

void CFrameSlot::Store(GstSample* sample) {
    if (m_shownElsewhere) {
        // Only a new shape moves the picture in its area.
        GstCaps* caps = gst_sample_get_caps(sample);
        bool reshaped = false;
        {
            const std::lock_guard lock(m_mutex);
            m_sample.reset(sample);
            if (caps && caps != m_infoCaps.get() && gst_video_info_from_caps(&m_info, caps)) {
                m_infoCaps.reset(gst_caps_ref(caps));
                const QSize shape = FrameScaler::Shape(m_info);
                reshaped = shape != m_shape;
                m_shape = shape;
            }
        }
        ++m_frames;
        if (reshaped)
            AskRepaint();
        return;
    }
    {
        const std::lock_guard lock(m_mutex);
        m_sample.reset(sample);
        if (m_paintedSerial > 0 && m_shownSerial > m_paintedSerial)
            ++m_replacedUnpainted;
        ++m_storedSerial;
    }
    ++m_frames;
    MakeShown(sample);
    AskRepaint();
}

QSize CFrameSlot::FrameShape() const {
    const std::lock_guard lock(m_mutex);
    return m_sample ? m_shape : QSize();
}

bool CFrameSlot::MakeShown(GstSample* sample) {
    GstCaps* caps = gst_sample_get_caps(sample);
    if (!caps)
        return false;
    GstVideoInfo info;
    QSize area;
    {
        // The caps of a stream stay the same object from frame to frame: read them once.
        const std::lock_guard lock(m_mutex);
        if (caps != m_infoCaps.get()) {
            if (!gst_video_info_from_caps(&m_info, caps))
                return false;
            m_infoCaps.reset(gst_caps_ref(caps));
        }
        info = m_info;
        area = m_area;
    }
    const QSize shape = FrameScaler::Shape(info);
    const QSize size = FitPicture(shape, QRect(QPoint(), area)).size();
    QImage shown = area.isEmpty() ? QImage() : FrameScaler::Scaled(sample, info, size);
    const std::lock_guard lock(m_mutex);
    if (m_sample.get() != sample)
        return false; // a newer frame made its own
    m_shown = std::move(shown);
    m_shownSerial = m_storedSerial;
    GstBuffer* buffer = gst_sample_get_buffer(sample);
    m_shownPts = buffer && GST_BUFFER_PTS_IS_VALID(buffer) ? qint64(GST_BUFFER_PTS(buffer)) : -1;
    m_shown.setDevicePixelRatio(m_ratio);
    m_shape = shape;
    return true;
}

void CFrameSlot::AskRepaint() {
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

void CFrameSlot::SetShownArea(const QSize& devicePixels, qreal ratio) {
    {
        const std::lock_guard lock(m_mutex);
        if (devicePixels == m_area && ratio == m_ratio)
            return;
        m_area = devicePixels;
        m_ratio = ratio;
    }
    if (m_shownElsewhere)
        return;
    // The newest frame again at the new size, off the UI thread; frames arriving meanwhile
    // are made at the new size anyway.
    if (m_remakePending.exchange(true))
        return;
    m_remaker.start([this] {
        m_remakePending = false;
        GstSamplePtr sample;
        {
            const std::lock_guard lock(m_mutex);
            if (m_sample)
                sample.reset(gst_sample_ref(m_sample.get()));
        }
        if (sample && MakeShown(sample.get()))
            AskRepaint();
    });
}

QSize CFrameSlot::ShownSize() const {
    const std::lock_guard lock(m_mutex);
    return m_shown.isNull() ? QSize() : m_shown.size();
}

QImage CFrameSlot::NewestImage() const {
    GstSamplePtr sample;
    {
        const std::lock_guard lock(m_mutex);
        if (!m_sample)
            return {};
        sample.reset(gst_sample_ref(m_sample.get()));
    }
    return FrameScaler::Native(sample.get());
}

QRect CFrameSlot::PaintNewest(QPainter& painter, const QRect& area, qint64* pts) {
    QImage shown;
    QSize shape;
    {
        const std::lock_guard lock(m_mutex);
        shown = m_shown;
        shape = m_shape;
        if (pts)
            *pts = m_shownPts;
        if (!shown.isNull())
            m_paintedSerial = m_shownSerial;
    }
    if (shown.isNull())
        return {};
    const QRect fitted = FitPicture(shape, area);
    const QSize size = shown.deviceIndependentSize().toSize();
    if (qAbs(size.width() - fitted.width()) <= 1 && qAbs(size.height() - fitted.height()) <= 1) {
        // Made for this area: a plain copy.
        const QRect drawn(fitted.topLeft(), size);
        painter.drawImage(drawn.topLeft(), shown);
        return drawn;
    }
    // Made for another size, until it is made again for this one.
    painter.drawImage(fitted, shown);
    return fitted;
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
    const std::lock_guard lock(m_mutex);
    if (!m_sample)
        return {};
    GstVideoInfo info;
    GstCaps* caps = gst_sample_get_caps(m_sample.get());
    if (!caps || !gst_video_info_from_caps(&info, caps))
        return {};
    return QSize(GST_VIDEO_INFO_WIDTH(&info), GST_VIDEO_INFO_HEIGHT(&info));
}

qint64 CFrameSlot::NewestPts() const {
    const std::lock_guard lock(m_mutex);
    GstBuffer* buffer = m_sample ? gst_sample_get_buffer(m_sample.get()) : nullptr;
    return buffer && GST_BUFFER_PTS_IS_VALID(buffer) ? qint64(GST_BUFFER_PTS(buffer)) : -1;
}

qint64 CFrameSlot::NewestEndStreamTime() const {
    qint64 end = -1;
    {
        const std::lock_guard lock(m_mutex);
        GstBuffer* buffer = m_sample ? gst_sample_get_buffer(m_sample.get()) : nullptr;
        if (buffer && GST_BUFFER_PTS_IS_VALID(buffer) && GST_BUFFER_DURATION_IS_VALID(buffer))
            end = qint64(GST_BUFFER_PTS(buffer) + GST_BUFFER_DURATION(buffer));
    }
    return StreamTimeOf(end);
}

qint64 CFrameSlot::StreamTimeOf(qint64 pts) const {
    const std::lock_guard lock(m_mutex);
    const GstSegment* segment = m_sample ? gst_sample_get_segment(m_sample.get()) : nullptr;
    if (!segment || pts < 0)
        return -1;
    const guint64 time = gst_segment_to_stream_time(segment, GST_FORMAT_TIME, guint64(pts));
    return time == GST_CLOCK_TIME_NONE ? -1 : qint64(time);
}

namespace {

GstFlowReturn OnNewPreroll(GstAppSink* sink, gpointer slot) {
    PLAYER_TAKEN_OVER(slot);
    if (GstSample* sample = gst_app_sink_pull_preroll(sink)) {
        PLAYER_TAKEN_OVER(gst_sample_get_buffer(sample));
        static_cast<CFrameSlot*>(slot)->Store(sample);
    }
    return GST_FLOW_OK;
}

GstFlowReturn OnNewSample(GstAppSink* sink, gpointer slot) {
    PLAYER_TAKEN_OVER(slot);
    if (GstSample* sample = gst_app_sink_pull_sample(sink)) {
        PLAYER_TAKEN_OVER(gst_sample_get_buffer(sample));
        static_cast<CFrameSlot*>(slot)->Store(sample);
    }
    return GST_FLOW_OK;
}

} // namespace

void CFrameSlot::Feed(GstElement* appsink, CFrameSlot* slot) {
    if (!appsink || !GST_IS_APP_SINK(appsink))
        return;
    GstAppSinkCallbacks callbacks{};
    if (slot) {
        callbacks.new_preroll = OnNewPreroll;
        callbacks.new_sample = OnNewSample;
        PLAYER_HANDED_OVER(slot);
    }
    gst_app_sink_set_callbacks(GST_APP_SINK(appsink), &callbacks, slot, nullptr);
}
