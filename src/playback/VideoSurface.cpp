#include "playback/VideoSurface.h"

#include "playback/FrameSlot.h"

#include <QPainter>

CVideoSurface::CVideoSurface(CFrameSlot* slot) : m_slot(slot) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFocusPolicy(Qt::NoFocus);
    if (slot)
        connect(slot, &CFrameSlot::FrameReady, this, qOverload<>(&QWidget::update));
}

QRect CVideoSurface::PictureRect(const QSize& picture, const QRect& area) {
    if (picture.isEmpty() || area.isEmpty())
        return area;
    const QSize fitted = picture.scaled(area.size(), Qt::KeepAspectRatio);
    return QRect(area.left() + (area.width() - fitted.width()) / 2,
                 area.top() + (area.height() - fitted.height()) / 2, fitted.width(),
                 fitted.height());
}

void CVideoSurface::paintEvent(QPaintEvent*) {
    const QRect target = PictureRect(m_slot ? m_slot->DisplaySize() : QSize(), rect());
    // Where the picture covers the whole area, nothing beneath needs painting first; elsewhere
    // the host's background shows in the bands.
    const bool covers = m_slot && m_slot->FrameCount() > 0 && target == rect();
    if (testAttribute(Qt::WA_OpaquePaintEvent) != covers)
        setAttribute(Qt::WA_OpaquePaintEvent, covers);
    QPainter painter(this);
    // Plain sampling: smooth scaling of every frame cost as much CPU as decoding it.
    if (m_slot && m_slot->PaintNewest(painter, target))
        ++m_painted;
}
