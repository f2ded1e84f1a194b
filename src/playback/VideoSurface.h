#pragma once

#include <QPointer>
#include <QWidget>

class CFrameSlot;

// The engine's video window: a child of the host control, filling it, transparent to the
// mouse so that clicks reach the host, painting the newest frame in its area with the frame's
// own shape, centred; the rest of the area, and all of it before the first frame, shows the
// host's own background.
class CVideoSurface : public QWidget {
    Q_OBJECT
public:
    explicit CVideoSurface(CFrameSlot* slot);

    // Frames painted since construction (for tests and benchmarks).
    quint64 PaintedFrames() const { return m_painted; }
    // Where a picture of `picture`'s shape is drawn inside `area`: as large as fits, centred.
    static QRect PictureRect(const QSize& picture, const QRect& area);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QPointer<CFrameSlot> m_slot;
    quint64 m_painted = 0;
};
