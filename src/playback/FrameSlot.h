// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "playback/GstHandles.h"

#include <gst/video/video-info.h>

#include <QImage>
#include <QObject>
#include <QSize>
#include <QThreadPool>
#include <atomic>
#include <mutex>

class QPainter;
class QRect;

// The one place the streaming thread writes to: the newest decoded frame, kept as decoded,
// and its picture at the size it is shown, converted on the streaming thread. The UI thread
// paints that picture as it is, and converts the decoded frame only to capture it.
//
// Threads: Store runs on the video sink's streaming thread, a remake of the picture on
// m_remaker's thread, everything else on the UI thread (an engine wait's worker reads
// FrameCount). Every member below m_mutex is guarded by it; the atomics are the flags and the
// count read without it.
class CFrameSlot : public QObject {
    Q_OBJECT
public:
    explicit CFrameSlot(QObject* parent = nullptr);
    ~CFrameSlot() override;

    // Makes `appsink` hand every frame it prerolls or renders to `slot` (null: to nothing, as
    // before the sink's streaming threads are gone and the slot released).
    static void Feed(GstElement* appsink, CFrameSlot* slot);
    // Streaming thread: keep `sample` (takes the reference), make its picture at the shown
    // size and ask the UI thread to repaint.
    void Store(GstSample* sample);
    // Before the first frame: a video sink that shows the frames itself (an X window's) feeds
    // the slot, which then keeps each frame without making a picture of it, and asks for a
    // repaint only when the frame's shape changes.
    void SetShownElsewhere(bool elsewhere) { m_shownElsewhere = elsewhere; }
    // The newest frame's shape on screen (pixel aspect applied), invalid before the first one.
    QSize FrameShape() const;

    // UI thread: the area the frame is shown in, in device pixels (`ratio` of them to a
    // logical pixel). The newest frame is made again at its new size off the UI thread.
    void SetShownArea(const QSize& devicePixels, qreal ratio);
    // The size the newest picture was made at (device pixels), invalid when none.
    QSize ShownSize() const;

    // UI thread: the newest frame at its native size, sharing nothing with GStreamer (null
    // if none).
    QImage NewestImage() const;
    // UI thread: draws the newest frame inside `area` with its own shape (pixel aspect
    // applied), as large as fits and centred; answers where, or an empty rectangle when there
    // is no frame.
    // `pts` (when given) receives the buffer time of the frame drawn.
    QRect PaintNewest(QPainter& painter, const QRect& area, qint64* pts = nullptr);
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
    // UI thread: where the newest frame ends in the stream (nanoseconds), -1 when unknown.
    qint64 NewestEndStreamTime() const;
    // Frames stored since construction (for tests and benchmarks).
    quint64 FrameCount() const { return m_frames.load(); }
    // Frames replaced by a newer one before any paint showed them (the window was busy for
    // longer than a frame lasts), counted once something has been painted; their reason.
    quint64 ReplacedUnpainted() const { return m_replacedUnpainted.load(); }
    static const char* ReplacedUnpaintedReason() {
        return "a newer frame came before the window painted it";
    }

Q_SIGNALS:
    // Emitted on the UI thread when a new frame is waiting to be painted.
    void FrameReady();

private:
    // Makes the picture of `sample` for the area now set; false when it was replaced meanwhile.
    bool MakeShown(GstSample* sample);
    void AskRepaint();

    // A standard mutex rather than QMutex: the thread checker sees it (Qt's waits on the
    // kernel directly). Guards m_sample … m_ratio.
    mutable std::mutex m_mutex;
    GstSamplePtr m_sample;
    QImage m_shown; // m_sample's picture as shown
    qint64 m_shownPts = -1;
    QSize m_shape;         // m_sample's shape on screen (pixel aspect applied)
    QSize m_area;          // where it is shown, device pixels
    GstCapsPtr m_infoCaps; // the caps m_info was read from
    GstVideoInfo m_info;
    qreal m_ratio = 1; // device pixels per logical one
    std::atomic<bool> m_remakePending{false};
    QThreadPool m_remaker; // waited for first thing in the destructor
    std::atomic<bool> m_repaintPending{false};
    std::atomic<quint64> m_frames{0};
    std::atomic<quint64> m_replacedUnpainted{0};
    quint64 m_storedSerial = 0;  // m_mutex: frames stored, m_sample's number
    quint64 m_shownSerial = 0;   // m_mutex: the number of the frame m_shown was made of
    quint64 m_paintedSerial = 0; // m_mutex: the number of the frame painted last (0: none yet)
    std::atomic<bool> m_shownElsewhere{false};
};
