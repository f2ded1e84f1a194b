// SPDX-License-Identifier: GPL-3.0-or-later
// The snapshot writer given arbitrary blocks. The first half of the input is taken as a raw
// bitmap block (a header that lies about its size and depth); the second builds a picture of
// a small size and format that goes through the whole path a snapshot takes: picture ->
// block -> file, and the file must read back as the same picture.
#include "FuzzSupport.h"
#include "playback/FrameBitmap.h"

#include <QFile>
#include <QImage>
#include <QtEndian>
#include <cstring>

namespace {

uint32_t le32(const char* p) {
    return qFromLittleEndian<uint32_t>(p);
}

void rawBlock(const QByteArray& block) {
    static const QString path = fuzzScratchDir() + "/raw.bmp";
    const QByteArray header = FrameBitmap::FileHeaderFor(block);
    if (block.size() < 16) {
        FUZZ_CHECK(header.isEmpty());
        FUZZ_CHECK(!FrameBitmap::WriteBitmapFile(path, block));
        return;
    }
    FUZZ_CHECK(header.size() == FrameBitmap::kFileHeaderSize);
    FUZZ_CHECK(header.startsWith("BM"));
    FUZZ_CHECK(le32(header.constData() + 2) == uint32_t(block.size() + 14));
    FUZZ_CHECK(FrameBitmap::WriteBitmapFile(path, block));
    QFile file(path);
    FUZZ_CHECK(file.open(QIODevice::ReadOnly));
    FUZZ_CHECK(file.readAll() == header + block);
    // Whatever the block claims, a reader of the file must not be led astray fatally.
    QImage probe;
    (void)probe.loadFromData(header + block, "BMP");
}

void pictureBlock(const uint8_t* data, size_t size) {
    if (size < 3)
        return;
    static const QImage::Format formats[] = {
        QImage::Format_RGB32,    QImage::Format_ARGB32,   QImage::Format_RGB888,
        QImage::Format_BGR888,   QImage::Format_RGB16,    QImage::Format_Grayscale8,
        QImage::Format_Indexed8, QImage::Format_RGBX8888, QImage::Format_Mono,
        QImage::Format_RGBA64,
    };
    const int width = 1 + data[0] % 37;
    const int height = 1 + data[1] % 29;
    const QImage::Format format = formats[data[2] % (sizeof formats / sizeof formats[0])];
    QImage image(width, height, format);
    FUZZ_CHECK(!image.isNull());
    if (format == QImage::Format_Indexed8) {
        QList<QRgb> table;
        for (int i = 0; i < 256; ++i)
            table << qRgb(i, 255 - i, (i * 7) & 255);
        image.setColorTable(table);
    } else if (format == QImage::Format_Mono) {
        image.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
    }
    // Pixels from the rest of the input, repeated as needed.
    const uint8_t* bytes = data + 3;
    const size_t count = size - 3;
    for (int y = 0; y < height; ++y) {
        uchar* line = image.scanLine(y);
        const qsizetype lineBytes = image.bytesPerLine();
        for (qsizetype i = 0; i < lineBytes; ++i)
            line[i] = count ? bytes[(size_t(y) * size_t(lineBytes) + size_t(i)) % count] : 0;
    }

    const QByteArray block = FrameBitmap::BlockFromImage(image);
    const int stride = (width * 3 + 3) & ~3;
    FUZZ_CHECK(block.size() == FrameBitmap::kInfoHeaderSize + qsizetype(stride) * height);
    FUZZ_CHECK(le32(block.constData()) == 40);
    FUZZ_CHECK(int(le32(block.constData() + 4)) == width);
    FUZZ_CHECK(int(le32(block.constData() + 8)) == height);

    static const QString path = fuzzScratchDir() + "/frame.bmp";
    FUZZ_CHECK(FrameBitmap::WriteBitmapFile(path, block));
    QImage back;
    FUZZ_CHECK(back.load(path, "BMP"));
    const QImage expected = image.convertToFormat(QImage::Format_RGB888);
    FUZZ_CHECK(back.size() == expected.size());
    const QImage got = back.convertToFormat(QImage::Format_RGB888);
    for (int y = 0; y < height; ++y)
        FUZZ_CHECK(
            std::memcmp(got.constScanLine(y), expected.constScanLine(y), size_t(width) * 3) == 0);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const size_t half = size / 2;
    rawBlock(QByteArray(reinterpret_cast<const char*>(data), qsizetype(half)));
    pictureBlock(data + half, size - half);
    return 0;
}
