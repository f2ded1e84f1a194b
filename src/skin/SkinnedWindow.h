// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QRect>
#include <QRegion>
#include <QSize>

class QPainter;
class QWidget;

// What the skinned windows share: their background painted from a skin picture, and
// their shapes. Each window calls these from its own paint and resize handlers:
//
//   player window   PaintBackground(painter, this, 202)   setMask(RoundedWindowRegion(size(), 40,
//   40)) about box       PaintBackground(painter, this, 203)   setMask(RoundedWindowRegion(size(),
//   28, 28)) record list     PaintBackground(painter, this, 154)   setMask(PanelRegion(size()))
//   information     PaintBackground(painter, this, 160)   setMask(PanelRegion(size()))
namespace Skin {

// Whether a window's background is cleared to black before its picture is laid on it
// (the about box's is not: what lies beyond its picture is left as it was).
bool ClearsToBlack(int bitmapId);

// Paints a window of `windowSize` from the skin picture `bitmapId`: black first where the
// window clears to black, then the picture at (0, 0) unscaled, so that a window larger
// than its picture shows black beyond it. The whole is composed off screen and reaches
// the painter in one copy; only the painter's clip box (the part being repainted) is
// composed.
void PaintBackground(QPainter& painter, const QSize& windowSize, int bitmapId, bool clearToBlack);
// The same for a widget, at its own size.
void PaintBackground(QPainter& painter, const QWidget* window, int bitmapId);

// The pixels of a rounded rectangle: the rectangle `rect` whose four corners are quarter
// ellipses of ellipseWidth x ellipseHeight. A pixel belongs to it when its centre does.
QRegion RoundRectRegion(const QRect& rect, int ellipseWidth, int ellipseHeight);
// A window's rounded shape: the rounded rectangle over the whole window.
QRegion RoundedWindowRegion(const QSize& windowSize, int ellipseWidth, int ellipseHeight);
// A side panel's shape: a rounded rectangle reaching 200 pixels beyond the panel's left
// and bottom edges with 240 x 240 corners, so that only the top-right corner shows
// rounded, with a radius of 120 pixels. Rebuild it from the new size on every resize.
QRegion PanelRegion(const QSize& panelSize);

} // namespace Skin
