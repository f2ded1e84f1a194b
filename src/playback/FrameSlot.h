#pragma once

#include "playback/GstHandles.h"

#include <QImage>
#include <QMutex>
#include <QObject>
#include <QSize>
#include <atomic>
#include <functional>

class QPainter;
class QRect;

// The one place the streaming thread writes to: the newest decoded frame. The UI thread
// reads it to paint, to report the native size and to capture the current image.
class CFrameSlot : public QObject {
    Q_OBJECT
public:
    explicit CFrameSlot(QObject* parent = nullptr);
    ~CFrameSlot() override;

    // Streaming thread: keep `sample` (takes the reference) and ask the UI thread to repaint.
    void Store(GstSample* sample);

    // UI thread: the newest frame as an image sharing nothing with GStreamer (null if none).
    QImage NewestImage() const;
    // UI thread: draws the newest frame inside `area` with its own shape (pixel aspect
    // applied), as large as fits and centred; answers where, or an empty rectangle when there
    // is no frame.
    QRect PaintNewest(QPainter& painter, const QRect& area) const;
    // Where a picture of `picture`'s shape goes inside `area`: as large as fits, centred.
    static QRect FitPicture(const QSize& picture, const QRect& area);
    // UI thread: the size of the newest frame, or an invalid size before the first one.
    QSize FrameSize() const;
    // UI thread: the newest frame's time in the stream (nanoseconds), -1 when unknown.
    qint64 NewestStreamTime() const { return StreamTimeOf(NewestPts()); }
    // UI thread: the newest frame's buffer time, and a buffer time of its segment as stream
    // time (nanoseconds; -1 when unknown).
    qint64 NewestPts() const;
    qint64 StreamTimeOf(qint64 pts) const;
    // Frames stored since construction (for tests and benchmarks).
    quint64 FrameCount() const { return m_frames.load(); }

Q_SIGNALS:
    // Emitted on the UI thread when a new frame is waiting to be painted.
    void FrameReady();

private:
    // Maps the newest frame and hands a view of it (valid only during the call) to `use`.
    // `use` also gets the frame's shape on screen (pixel aspect applied).
    bool WithNewestView(const std::function<void(const QImage&, QSize)>& use) const;

    mutable QMutex m_mutex;
    GstSamplePtr m_sample;
    std::atomic<bool> m_repaintPending{false};
    std::atomic<quint64> m_frames{0};
};
