// SPDX-License-Identifier: GPL-3.0-or-later
#include "playback/CameraLayout.h"

#include <algorithm>

namespace CameraLayout {

namespace {

QSize ShapeOf(const QList<QSize>& shapes, int i) {
    const QSize shape = i < shapes.size() ? shapes[i] : QSize();
    return shape.isValid() && !shape.isEmpty() ? shape : QSize(16, 9);
}

} // namespace

QList<QRect> Areas(const QRect& area, const QList<QSize>& shapes, const Arrangement& arrangement) {
    const int count = int(shapes.size());
    QList<QRect> areas(count);
    if (count == 0)
        return areas;
    const int main = std::clamp(arrangement.main, 0, count - 1);
    if (arrangement.view == View::SideBySide) {
        // The main camera's column first, the others in their own order.
        int column = 0;
        const auto place = [&](int camera) {
            const int left = area.left() + area.width() * column / count;
            const int right = area.left() + area.width() * (column + 1) / count;
            areas[camera] = QRect(left, area.top(), right - left, area.height());
            ++column;
        };
        place(main);
        for (int i = 0; i < count; ++i) {
            if (i != main)
                place(i);
        }
        return areas;
    }
    areas[main] = area;
    // The small pictures stack from the chosen corner along the area's height.
    const int margin = std::max(2, area.width() / 80);
    int along = 0;
    for (int i = 0; i < count; ++i) {
        if (i == main)
            continue;
        const QSize shape = ShapeOf(shapes, i);
        const int width = std::max(1, area.width() / 3);
        const int height = std::max(1, int(qint64(width) * shape.height() / shape.width()));
        const bool right = arrangement.corner == TopRight || arrangement.corner == BottomRight;
        const bool bottom = arrangement.corner == BottomRight || arrangement.corner == BottomLeft;
        const int x = right ? area.right() + 1 - margin - width : area.left() + margin;
        const int y =
            bottom ? area.bottom() + 1 - margin - height - along : area.top() + margin + along;
        areas[i] = QRect(x, y, width, height);
        along += height + margin;
    }
    return areas;
}

int SmallPictureAt(const QPoint& point, const QRect& area, const QList<QSize>& shapes,
                   const Arrangement& arrangement) {
    if (arrangement.view != View::PictureInPicture)
        return -1;
    const QList<QRect> areas = Areas(area, shapes, arrangement);
    for (int i = 0; i < areas.size(); ++i) {
        if (i != arrangement.main && areas[i].contains(point))
            return i;
    }
    return -1;
}

} // namespace CameraLayout
