#include "playback/VideoSurface.h"

#include "playback/FrameSlot.h"

#include <QPainter>
#include <QRegion>

CVideoSurface::CVideoSurface(CFrameSlot* slot) : m_slot(slot) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
    setFocusPolicy(Qt::NoFocus);
    if (slot)
        connect(slot, &CFrameSlot::FrameReady, this, qOverload<>(&QWidget::update));
}

void CVideoSurface::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    // Plain sampling: smooth scaling of every frame cost as much CPU as decoding it.
    const QRect picture = m_slot ? m_slot->PaintNewest(painter, rect()) : QRect();
    if (!picture.isEmpty())
        ++m_painted;
    // The bands, and the whole area before the first frame, in the host's own colour: painted
    // here, the surface stays opaque and the host is not repainted under every frame.
    const QWidget* host = parentWidget();
    const QColor area = host ? host->palette().color(host->backgroundRole()) : QColor(Qt::black);
    const QRegion bands = QRegion(rect()).subtracted(picture);
    for (const QRect& band : bands)
        painter.fillRect(band, area);
}
