#include "playback/VideoSurface.h"

#include "playback/FrameSlot.h"

#include <QPainter>

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
    if (m_slot && m_slot->PaintNewest(painter, rect()))
        ++m_painted;
    else
        painter.fillRect(rect(), Qt::black);
}
