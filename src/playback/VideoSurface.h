// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QPointer>
#include <QWidget>
#include <functional>

class CFrameSlot;

// The engine's video window: a child of the host control, filling it, transparent to the
// mouse so that clicks reach the host, painting the newest frame in its area with the frame's
// own shape, centred, as the engine made it for this area's size; the rest of the area, and all of
// it before the first frame, in the host's background colour (its palette's).
class CVideoSurface : public QWidget {
    Q_OBJECT
public:
    explicit CVideoSurface(CFrameSlot* slot);

    // Frames painted since construction, each counted once (for tests and benchmarks).
    quint64 PaintedFrames() const { return m_paintedElsewhere ? m_paintedElsewhere() : m_painted; }
    // Where a video sink shows the frames itself in a window of its own over this surface: the
    // count of the frames it showed.
    void SetPaintedElsewhere(std::function<quint64()> count) {
        m_paintedElsewhere = std::move(count);
    }
    // Whether it fills its host by itself (true); false where something else places it.
    void SetFollowsHost(bool follows) { m_followsHost = follows; }
    // The size, in device pixels, the newest frame was made at for this surface.
    QSize ShownSize() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    QPointer<CFrameSlot> m_slot;
    quint64 m_painted = 0;
    qint64 m_lastPts = -2;
    bool m_followsHost = true;
    std::function<quint64()> m_paintedElsewhere;
};
