// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QRect>
#include <cmath>

// The window layout is given in dialog units; on screen one unit is 1.5 pixels both ways,
// which turns the 680 x 480 unit main window into the 1024 x 724 pixel skin.
namespace DialogUnits {
constexpr double kPixelsPerUnit = 1.5;

constexpr int toPixels(int units) {
    return static_cast<int>(units * kPixelsPerUnit + (units >= 0 ? 0.5 : -0.5));
}

// A control given as x, y, width, height in dialog units.
inline QRect rect(int x, int y, int w, int h) {
    const int left = toPixels(x), top = toPixels(y);
    return QRect(left, top, toPixels(x + w) - left, toPixels(y + h) - top);
}
} // namespace DialogUnits
