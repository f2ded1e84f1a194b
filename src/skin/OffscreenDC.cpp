// SPDX-License-Identifier: GPL-3.0-or-later
#include "skin/OffscreenDC.h"

#include <QPaintEngine>
#include <QPixmap>
#include <QtMath>

namespace {

bool IsPrinting(const QPainter& painter) {
    if (painter.device() && painter.device()->devType() == QInternal::Printer)
        return true;
    return painter.paintEngine() && painter.paintEngine()->type() == QPaintEngine::Pdf;
}

// The whole drawing surface of a painter, in its logical coordinates.
QRect SurfaceRect(const QPainter& painter) {
    const QPaintDevice* device = painter.device();
    const QRectF measured(0, 0, device->width(), device->height());
    // A widget measures itself in logical pixels (and may lie anywhere in the window it
    // is painted into); images and pixmaps measure themselves in device pixels.
    if (device->devType() == QInternal::Widget)
        return painter.worldTransform().inverted().mapRect(measured).toAlignedRect();
    return painter.deviceTransform().inverted().mapRect(measured).toAlignedRect();
}

QRect ClipBox(const QPainter& painter) {
    const QRect surface = SurfaceRect(painter);
    if (!painter.hasClipping())
        return surface;
    return painter.clipBoundingRect().toAlignedRect() & surface;
}

} // namespace

COffscreenDC::COffscreenDC(QPainter* pTargetDC, const QRect* pArea, bool bCopyScreen)
    : m_pTargetDC(pTargetDC), m_bBuffered(!IsPrinting(*pTargetDC)), m_pDC(pTargetDC) {
    m_rcArea = pArea ? *pArea : ClipBox(*pTargetDC);
    if (!m_bBuffered) {
        // A printer gets the drawing directly; there is nothing on it to copy from.
        if (!bCopyScreen)
            m_pTargetDC->fillRect(m_rcArea, m_pTargetDC->background().color());
        return;
    }

    // The buffer holds the area at the target's device pixels (its transform, its pixel
    // ratio, and where a widget lies in its window), so the copy back is one
    // pixel-for-pixel transfer, sharp on high-DPI screens.
    const QTransform toDevice = m_pTargetDC->deviceTransform();
    m_rcDevice = toDevice.mapRect(QRectF(m_rcArea)).toAlignedRect();
    m_bmpBuffer = QImage(qMax(1, m_rcDevice.width()), qMax(1, m_rcDevice.height()),
                         QImage::Format_ARGB32_Premultiplied);
    m_bmpBuffer.fill(m_pTargetDC->background().color());
    if (bCopyScreen)
        CopyFromTarget();

    m_dcMemory.begin(&m_bmpBuffer);
    // Drawing at the target's logical coordinates lands in the buffer.
    m_dcMemory.setTransform(toDevice * QTransform::fromTranslate(-m_rcDevice.x(), -m_rcDevice.y()));
    m_pDC = &m_dcMemory;
}

COffscreenDC::~COffscreenDC() {
    if (!m_bBuffered)
        return; // the printer's painter stays as its owner left it
    m_dcMemory.end();
    if (m_rcDevice.isEmpty())
        return;
    // Undo everything between the target's coordinates and its device pixels but the
    // world transform's place, so the buffer lands pixel for pixel.
    const QTransform beyondWorld =
        m_pTargetDC->worldTransform().inverted() * m_pTargetDC->deviceTransform();
    m_pTargetDC->save();
    m_pTargetDC->setWorldTransform(beyondWorld.inverted());
    m_pTargetDC->setOpacity(1.0);
    m_pTargetDC->setCompositionMode(QPainter::CompositionMode_Source);
    m_pTargetDC->drawImage(m_rcDevice.topLeft(), m_bmpBuffer);
    m_pTargetDC->restore();
}

void COffscreenDC::CopyFromTarget() {
    // What the target shows lives in its paint engine's device: the image or pixmap being
    // painted, or the window's backing store while a widget paints.
    const QPaintEngine* engine = m_pTargetDC->paintEngine();
    const QPaintDevice* device = engine ? engine->paintDevice() : nullptr;
    if (!device)
        return;
    QImage shown;
    QRect part;
    if (device->devType() == QInternal::Image) {
        const auto* image = static_cast<const QImage*>(device);
        part = m_rcDevice & image->rect();
        if (!part.isEmpty())
            shown = image->copy(part);
    } else if (device->devType() == QInternal::Pixmap) {
        const auto* pixmap = static_cast<const QPixmap*>(device);
        part = m_rcDevice & pixmap->rect();
        if (!part.isEmpty())
            shown = pixmap->copy(part).toImage();
    }
    if (shown.isNull())
        return; // nothing readable: the buffer keeps the background colour
    shown.setDevicePixelRatio(1.0);
    QPainter copy(&m_bmpBuffer);
    copy.setCompositionMode(QPainter::CompositionMode_Source);
    copy.drawImage(part.topLeft() - m_rcDevice.topLeft(), shown);
}
