// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QRect>
#include <QSize>

// Where each camera of a recorder's moment is shown inside the video area: the main one filling
// it with the others as small pictures in a corner, or all of them side by side.
namespace CameraLayout {

enum class View { PictureInPicture, SideBySide };
enum Corner { TopLeft = 0, TopRight = 1, BottomRight = 2, BottomLeft = 3 };

struct Arrangement {
    View view = View::PictureInPicture;
    int corner = TopRight;
    int main = 0; // the camera shown large
};

// The area of each camera (in the order of `shapes`, each camera's picture shape; an invalid
// shape counts as 16:9) inside `area`. A small picture keeps its camera's shape, a third of the
// area's width; in side by side, each camera gets an equal column. The main camera's area is the
// whole area in picture in picture, so its own bands stay as they are today.
QList<QRect> Areas(const QRect& area, const QList<QSize>& shapes, const Arrangement& arrangement);

// The camera whose small picture lies under `point`, or -1 (picture in picture only).
int SmallPictureAt(const QPoint& point, const QRect& area, const QList<QSize>& shapes,
                   const Arrangement& arrangement);

} // namespace CameraLayout
