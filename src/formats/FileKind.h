// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <cstddef>
#include <cstdint>

// What a file is, told by its first bytes (never by its name, which a copy may have changed).
namespace FileKind {

enum class Kind { Unknown, Asf, Mp4, Avi, Matroska };

// From at least the first 16 bytes of a file (fewer give Unknown).
Kind OfBytes(const uint8_t* bytes, size_t size);
// From the file itself; Unknown when it cannot be read.
Kind Of(const QString& path);

// A container a recorder writes its recordings in (ASF, MP4/MOV, AVI).
inline bool IsRecording(Kind kind) {
    return kind == Kind::Asf || kind == Kind::Mp4 || kind == Kind::Avi;
}

} // namespace FileKind
