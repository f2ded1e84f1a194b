// SPDX-License-Identifier: GPL-3.0-or-later
#include "skin/SkinnedWindow.h"

#include "skin/OffscreenDC.h"
#include "skin/SkinCatalogue.h"

#include <QPaintEngine>
#include <QPainter>
#include <QWidget>
#include <cmath>

namespace {

// The part of the painter's surface being repainted, in its logical coordinates: a
// widget's paint event clips to the exposed region, other painters to their own clip.
QRect RepaintBox(const QPainter& painter) {
    QRect box;
    if (const QPaintEngine* engine = painter.paintEngine()) {
        const QRegion system = engine->systemClip();
        if (!system.isEmpty())
            box = painter.deviceTransform()
                      .inverted()
                      .mapRect(QRectF(system.boundingRect()))
                      .toAlignedRect();
    }
    if (painter.hasClipping()) {
        const QRect clip = painter.clipBoundingRect().toAlignedRect();
        box = box.isNull() ? clip : box & clip;
    }
    return box;
}

} // namespace

namespace Skin {

bool ClearsToBlack(int bitmapId) {
    return bitmapId != 203;
}

void PaintBackground(QPainter& painter, const QSize& windowSize, int bitmapId, bool clearToBlack) {
    QRect area(QPoint(0, 0), windowSize);
    const QRect repainted = RepaintBox(painter);
    if (!repainted.isNull())
        area &= repainted;
    if (area.isEmpty())
        return;
    // Without clearing, the buffer starts as what the window shows, so whatever lies
    // beyond the picture stays as it was.
    COffscreenDC dc(&painter, &area, !clearToBlack);
    if (clearToBlack)
        dc->fillRect(area, Qt::black);
    const QPixmap skin = Bitmap(bitmapId, painter.device()->devicePixelRatio());
    if (!skin.isNull())
        dc->drawPixmap(0, 0, skin);
}

void PaintBackground(QPainter& painter, const QWidget* window, int bitmapId) {
    PaintBackground(painter, window->size(), bitmapId, ClearsToBlack(bitmapId));
}

QRegion RoundRectRegion(const QRect& rect, int ellipseWidth, int ellipseHeight) {
    if (rect.isEmpty())
        return {};
    const double rx = std::min(ellipseWidth, rect.width()) / 2.0;
    const double ry = std::min(ellipseHeight, rect.height()) / 2.0;
    if (rx <= 0 || ry <= 0)
        return QRegion(rect);
    const double left = rect.left(), right = rect.left() + rect.width();
    const double top = rect.top(), bottom = rect.top() + rect.height();

    // The row of pixels at y whose centres lie inside the rounded rectangle.
    auto row = [&](int y) -> QRect {
        const double yc = y + 0.5;
        double dy = 0;
        if (yc < top + ry)
            dy = top + ry - yc;
        else if (yc > bottom - ry)
            dy = yc - (bottom - ry);
        double inset = 0;
        if (dy > 0) {
            const double t = dy / ry;
            if (t >= 1)
                return {};
            inset = rx - rx * std::sqrt(1 - t * t);
        }
        const int x0 = int(std::ceil(left + inset - 0.5));
        const int x1 = int(std::floor(right - inset - 0.5));
        return x1 < x0 ? QRect() : QRect(x0, y, x1 - x0 + 1, 1);
    };

    const int band = int(std::ceil(ry));
    const int middleTop = rect.top() + band;
    const int middleBottom = rect.bottom() - band; // inclusive
    QRegion region;
    for (int y = rect.top(); y < middleTop && y <= rect.bottom(); ++y)
        region += row(y);
    if (middleBottom >= middleTop)
        region += QRect(rect.left(), middleTop, rect.width(), middleBottom - middleTop + 1);
    for (int y = std::max(middleTop, middleBottom + 1); y <= rect.bottom(); ++y)
        region += row(y);
    return region;
}

QRegion RoundedWindowRegion(const QSize& windowSize, int ellipseWidth, int ellipseHeight) {
    return RoundRectRegion(QRect(QPoint(0, 0), windowSize), ellipseWidth, ellipseHeight);
}

QRegion PanelRegion(const QSize& panelSize) {
    const QRect reach(-200, 0, panelSize.width() + 200, panelSize.height() + 200);
    return RoundRectRegion(reach, 240, 240) & QRegion(QRect(QPoint(0, 0), panelSize));
}

} // namespace Skin
