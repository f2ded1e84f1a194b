// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QImage>
#include <QList>
#include <QPixmap>
#include <QSize>

// The skin's bitmaps by their catalogue ids. Each picture is drawn by the program itself
// at the catalogue's size in logical pixels, rendered at the screen's device pixel ratio so
// that it stays sharp on high-DPI screens. An id outside the catalogue gives a null pixmap,
// and the controls then draw a plain look of their own.
namespace Skin {

// The picture at the application's device pixel ratio (the highest of its screens).
QPixmap Bitmap(int id);
// The picture for a device of the given pixel ratio.
QPixmap Bitmap(int id, qreal devicePixelRatio);

// The catalogue: every id, and the logical size of one (invalid for an unknown id).
QList<int> CatalogueIds();
QSize BitmapSize(int id);
// Whether the picture has see-through parts (the others are opaque, like 24-bit bitmaps).
bool HasAlpha(int id);

// A fresh rendering, bypassing the cache (for tools and tests).
QImage Render(int id, qreal devicePixelRatio);

// Rendered pictures are kept per (id, device pixel ratio) so that repainting does not draw
// them again; the number held never exceeds the catalogue times the ratios in use.
int CachedBitmapCount();
void ClearCache();

} // namespace Skin
