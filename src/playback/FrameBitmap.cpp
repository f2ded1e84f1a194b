// SPDX-License-Identifier: GPL-3.0-or-later
#include "playback/FrameBitmap.h"

#include <QFile>
#include <QString>
#include <QtEndian>
#include <cstring>

namespace FrameBitmap {

namespace {
void put16(char* at, uint16_t v) {
    qToLittleEndian(v, at);
}
void put32(char* at, uint32_t v) {
    qToLittleEndian(v, at);
}
} // namespace

QByteArray BlockFromImage(const QImage& source) {
    if (source.isNull())
        return {};
    const QImage image = source.convertToFormat(QImage::Format_RGB888);
    const int width = image.width();
    const int height = image.height();
    const int stride = (width * 3 + 3) & ~3;
    const qsizetype pixelBytes = qsizetype(stride) * height;

    QByteArray block(kInfoHeaderSize + pixelBytes, '\0');
    char* h = block.data();
    put32(h + 0, kInfoHeaderSize);
    put32(h + 4, uint32_t(width));
    put32(h + 8, uint32_t(height)); // positive: rows run bottom-up
    put16(h + 12, 1);               // planes
    put16(h + 14, 24);              // bits per pixel
    put32(h + 16, 0);               // uncompressed
    put32(h + 20, uint32_t(pixelBytes));
    put32(h + 24, 2835); // 72 dpi
    put32(h + 28, 2835);

    char* pixels = h + kInfoHeaderSize;
    for (int y = 0; y < height; ++y) {
        const uchar* src = image.constScanLine(height - 1 - y);
        char* dst = pixels + qsizetype(y) * stride;
        for (int x = 0; x < width; ++x) {
            dst[3 * x + 0] = char(src[3 * x + 2]); // B
            dst[3 * x + 1] = char(src[3 * x + 1]); // G
            dst[3 * x + 2] = char(src[3 * x + 0]); // R
        }
    }
    return block;
}

QByteArray FileHeaderFor(const QByteArray& block) {
    if (block.size() < 16)
        return {};
    uint32_t headerSize = 0;
    uint16_t bitCount = 0;
    std::memcpy(&headerSize, block.constData(), sizeof headerSize);
    std::memcpy(&bitCount, block.constData() + 14, sizeof bitCount);
    headerSize = qFromLittleEndian(headerSize);
    bitCount = qFromLittleEndian(bitCount);
    uint32_t offset = kFileHeaderSize + headerSize;
    if (bitCount <= 8)
        offset += 4u * (1u << bitCount);

    QByteArray header(kFileHeaderSize, '\0');
    char* f = header.data();
    f[0] = 'B';
    f[1] = 'M';
    put32(f + 2, uint32_t(block.size()) + kFileHeaderSize);
    put16(f + 6, 0);
    put16(f + 8, 0);
    put32(f + 10, offset);
    return header;
}

bool WriteBitmapFile(const QString& path, const QByteArray& block) {
    const QByteArray header = FileHeaderFor(block);
    if (header.isEmpty())
        return false;
    QFile file(path);
    if (!file.open(QIODevice::ReadWrite | QIODevice::Truncate))
        return false;
    const bool written = file.write(header) == header.size() && file.write(block) == block.size();
    file.close();
    return written && file.error() == QFileDevice::NoError;
}

} // namespace FrameBitmap
