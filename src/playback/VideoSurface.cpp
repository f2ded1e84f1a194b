// SPDX-License-Identifier: GPL-3.0-or-later
#include "playback/VideoSurface.h"

#include "playback/FrameSlot.h"

#include <QPainter>
#include <QRegion>
#include <QResizeEvent>

CVideoSurface::CVideoSurface(CFrameSlot* slot) : m_slot(slot) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
    setFocusPolicy(Qt::NoFocus);
    // Each frame is painted as soon as the UI thread comes to it, not at the next paint of the
    // window: a frame that waited for that could be replaced unseen by the one after it.
    if (slot)
        connect(slot, &CFrameSlot::FrameReady, this, [this] {
            if (isVisible())
                repaint();
            else
                update();
        });
}

QSize CVideoSurface::ShownSize() const {
    return m_slot ? m_slot->ShownSize() : QSize();
}

bool CVideoSurface::eventFilter(QObject* watched, QEvent* event) {
    if (m_followsHost && event->type() == QEvent::Resize && watched == parentWidget())
        setGeometry(parentWidget()->rect());
    return false;
}

void CVideoSurface::resizeEvent(QResizeEvent*) {
    if (m_slot)
        m_slot->SetShownArea(size() * devicePixelRatioF(), devicePixelRatioF());
}

void CVideoSurface::paintEvent(QPaintEvent*) {
    // The ratio may have changed with the screen; unchanged, this costs a lock.
    if (m_slot)
        m_slot->SetShownArea(size() * devicePixelRatioF(), devicePixelRatioF());
    QPainter painter(this);
    qint64 pts = -1;
    const QRect picture = m_slot ? m_slot->PaintNewest(painter, rect(), &pts) : QRect();
    if (!picture.isEmpty() && (pts != m_lastPts || pts < 0))
        ++m_painted;
    if (!picture.isEmpty())
        m_lastPts = pts;
    // The bands, and the whole area before the first frame, in the host's own colour: painted
    // here, the surface stays opaque and the host is not repainted under every frame.
    const QWidget* host = parentWidget();
    const QColor area = host ? host->palette().color(host->backgroundRole()) : QColor(Qt::black);
    const QRegion bands = QRegion(rect()).subtracted(picture);
    for (const QRect& band : bands)
        painter.fillRect(band, area);
}
