// SPDX-License-Identifier: GPL-3.0-or-later
#include "skin/SkinButton.h"

#include "skin/SkinCatalogue.h"

#include <QPaintEngine>
#include <QPainter>
#include <QRegion>
#include <QTimerEvent>

namespace {
// The pointer counts as resting on the button this long after it first moved there.
constexpr int kHoverTimeMs = 1;
} // namespace

bool CSkinButton::Bitmap::Load(uint nId, qreal ratio) {
    id = nId & 0xFFFF;
    pixmap = Skin::Bitmap(int(id), ratio);
    return !pixmap.isNull();
}

const QPixmap& CSkinButton::Bitmap::At(qreal ratio) {
    if (!pixmap.isNull() && !qFuzzyCompare(pixmap.devicePixelRatio(), ratio))
        pixmap = Skin::Bitmap(int(id), ratio);
    return pixmap;
}

CSkinButton::CSkinButton(QWidget* parent) : QAbstractButton(parent) {
    setFocusPolicy(Qt::StrongFocus);
    // Moves over the button arrive without a button held, to start hover tracking.
    setMouseTracking(true);
}

CSkinButton::~CSkinButton() = default;

void CSkinButton::SetBackgroundPiece(uint nBitmapId, int left, int top, int right, int bottom) {
    m_bUseBackground = true;
    m_rcBackground = QRect(QPoint(left, top), QPoint(right - 1, bottom - 1));
    m_bmpBackground.Load(nBitmapId, devicePixelRatioF());
}

void CSkinButton::SetEllipticRegion(uint nBitmapId, bool bRound) {
    m_bRound = bRound;
    const QSize size = Skin::BitmapSize(int(nBitmapId & 0xFFFF));
    if (!size.isValid())
        return;
    // The window takes the picture's size: the place the layout gives it can be a pixel or
    // two smaller, which would flatten the disc's edge.
    resize(size);
    // Input outside the ellipse goes to the parent, as if the button were not there.
    setMask(QRegion(0, 0, size.width(), size.height(), QRegion::Ellipse));
    update();
}

void CSkinButton::SetMaskBitmap(uint nBitmapId, bool bUse) {
    m_bUseMask = bUse;
    m_bmpMask.Load(nBitmapId, devicePixelRatioF());
}

bool CSkinButton::LoadStateBitmaps(uint nHoverId, uint nNormalId, uint nPressedId, uint nSpareId) {
    m_bmpNormal.Delete();
    m_bmpPressed.Delete();
    m_bmpSpare.Delete();
    m_bmpHover.Delete();
    const qreal ratio = devicePixelRatioF();
    m_bmpNormal.Load(nNormalId, ratio);
    m_bmpPressed.Load(nPressedId, ratio);
    m_bmpSpare.Load(nSpareId, ratio);
    const bool loaded = m_bmpHover.Load(nHoverId, ratio);
    update();
    return loaded;
}

void CSkinButton::mouseMoveEvent(QMouseEvent* event) {
    if (!m_bTracking) {
        // Watch for the pointer resting here and for it leaving.
        m_hoverTimer.start(kHoverTimeMs, this);
        m_bTracking = true;
    }
    QAbstractButton::mouseMoveEvent(event);
}

void CSkinButton::timerEvent(QTimerEvent* event) {
    if (event->timerId() != m_hoverTimer.timerId())
        return QAbstractButton::timerEvent(event);
    m_hoverTimer.stop();
    if (m_bTracking && underMouse())
        OnMouseHover();
}

void CSkinButton::leaveEvent(QEvent* event) {
    OnMouseLeave();
    QAbstractButton::leaveEvent(event);
}

void CSkinButton::changeEvent(QEvent* event) {
    // A disabled button gets no pointer moves and shows its rest image.
    if (event->type() == QEvent::EnabledChange && !isEnabled())
        OnMouseLeave();
    QAbstractButton::changeEvent(event);
}

void CSkinButton::OnMouseHover() {
    m_bHover = true;
    update();
}

void CSkinButton::OnMouseLeave() {
    m_hoverTimer.stop();
    m_bHover = false;
    m_bTracking = false;
    update();
}

void CSkinButton::paintEvent(QPaintEvent*) {
    QPainter dc(this);
    DrawItem(dc, rect(), isDown());
}

void CSkinButton::DrawItem(QPainter& dc, const QRect& item, bool selected) {
    // Focus, default and disabled states are not drawn, nor is the caption: the pictures
    // are the whole look.
    const int w = item.width(), h = item.height();
    dc.save();
    Compose(dc, m_bHover ? m_bmpHover : m_bmpNormal, w, h);
    if (selected)
        Compose(dc, m_bmpPressed, w, h);
    dc.restore();
}

void CSkinButton::Compose(QPainter& dc, Bitmap& image, int w, int h) {
    const qreal ratio = devicePixelRatioF();
    const QPixmap& picture = image.At(ratio);
    if (!m_bUseMask) {
        if (!picture.isNull())
            dc.drawPixmap(0, 0, picture);
        return;
    }

    if (m_bUseBackground) {
        const QPixmap& skin = m_bmpBackground.At(ratio);
        if (!skin.isNull())
            dc.drawPixmap(QRectF(0, 0, w, h), skin,
                          QRectF(m_rcBackground.left() * ratio, m_rcBackground.top() * ratio,
                                 w * ratio, h * ratio));
    }
    const QPixmap& mask = m_bmpMask.At(ratio);
    if (mask.isNull() || picture.isNull())
        return;
    if (dc.paintEngine() && dc.paintEngine()->hasFeature(QPaintEngine::RasterOpModes)) {
        // Inside the shape the mask whitens the destination and the image then shows on the
        // white; outside, the image is white and the destination stays as it was.
        dc.setCompositionMode(QPainter::RasterOp_NotSourceOrDestination);
        dc.drawPixmap(0, 0, mask);
        dc.setCompositionMode(QPainter::RasterOp_SourceAndDestination);
        dc.drawPixmap(0, 0, picture);
        dc.setCompositionMode(QPainter::CompositionMode_SourceOver);
        return;
    }
    // Painters without raster operations get the same picture through alpha: the image is
    // opaque where the mask is black and clear where it is white.
    QImage keyed = picture.toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
    QImage alpha = mask.toImage().convertToFormat(QImage::Format_Grayscale8);
    alpha.invertPixels();
    keyed.setAlphaChannel(alpha);
    dc.drawImage(0, 0, keyed);
}
