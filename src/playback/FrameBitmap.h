// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QImage>
#include <cstdint>

class QString;

// The picture on screen as a device-independent bitmap block (40-byte info header, any
// colour table, bottom-up pixel rows padded to 4 bytes) and the BMP file made from it.
namespace FrameBitmap {

constexpr int kFileHeaderSize = 14;
constexpr int kInfoHeaderSize = 40;

// A 24-bit bottom-up block of `image` (any format; converted as needed).
QByteArray BlockFromImage(const QImage& image);

// The 14-byte file header for `block`: "BM", size S + 14, two reserved zeros, and the
// pixel offset 14 + H (+ 4 x 2^B when B <= 8), H and B read from the block itself.
// Returns an empty array when the block is too short to hold an info header.
QByteArray FileHeaderFor(const QByteArray& block);

// Writes header + block to `path`, replacing any file there. False if it cannot be written.
bool WriteBitmapFile(const QString& path, const QByteArray& block);

} // namespace FrameBitmap
