#pragma once

#include <QPointer>
#include <QWidget>

class CFrameSlot;

// The engine's video window: a child of the host control, filling it, transparent to the
// mouse so that clicks reach the host, painting the newest frame stretched to its area.
class CVideoSurface : public QWidget {
    Q_OBJECT
public:
    explicit CVideoSurface(CFrameSlot* slot);

    // Frames painted since construction (for tests and benchmarks).
    quint64 PaintedFrames() const { return m_painted; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QPointer<CFrameSlot> m_slot;
    quint64 m_painted = 0;
};
