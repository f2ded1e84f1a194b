#pragma once

#include <QPixmap>

// The skin's bitmaps by their catalogue ids. An id without an image yet gives a null
// pixmap, and the controls then draw a plain look of their own.
namespace Skin {
QPixmap Bitmap(int id);
}
