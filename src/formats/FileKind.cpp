// SPDX-License-Identifier: GPL-3.0-or-later
#include "formats/FileKind.h"

#include "formats/AsfLayout.h"

#include <QFile>
#include <cstring>

namespace FileKind {

Kind OfBytes(const uint8_t* bytes, size_t size) {
    if (size < 16)
        return Kind::Unknown;
    if (asf::StartsLikeAsf(bytes, size))
        return Kind::Asf;
    if (std::memcmp(bytes, "RIFF", 4) == 0 && std::memcmp(bytes + 8, "AVI ", 4) == 0)
        return Kind::Avi;
    static const uint8_t kEbml[4] = {0x1A, 0x45, 0xDF, 0xA3};
    if (std::memcmp(bytes, kEbml, 4) == 0)
        return Kind::Matroska;
    // ISO base media and QuickTime: a box of a type these files begin with. Recorders that
    // lose power leave files whose first box is mdat or free, without ftyp.
    static const char* const kFirstBoxes[] = {"ftyp", "moov", "mdat", "free", "wide", "skip"};
    for (const char* type : kFirstBoxes)
        if (std::memcmp(bytes + 4, type, 4) == 0)
            return Kind::Mp4;
    return Kind::Unknown;
}

Kind Of(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return Kind::Unknown;
    const QByteArray start = file.read(64);
    return OfBytes(reinterpret_cast<const uint8_t*>(start.constData()), size_t(start.size()));
}

} // namespace FileKind
