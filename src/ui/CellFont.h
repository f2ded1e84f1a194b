// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QFont>

// Fonts asked for the way the window's controls were laid out: by the height of the whole
// character cell (ascent + descent, in pixels) and by the average character width.
namespace CellFont {

// `font` at the largest pixel size whose cell is at most `cellHeight` pixels, stretched or
// narrowed so that its average character width comes out at `averageWidth` pixels.
QFont Sized(QFont font, int cellHeight, int averageWidth);

// The average character width of `font` in pixels: the lowercase letters and the space
// weighted by how often they occur in English text, the long-standing definition fonts
// were measured by (newer fonts record an average over all their glyphs instead, which
// for a metric-compatible replacement differs from the face it replaces).
double AverageCharWidth(const QFont& font);

} // namespace CellFont
