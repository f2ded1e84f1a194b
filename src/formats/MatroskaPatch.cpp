// SPDX-License-Identifier: GPL-3.0-or-later
#include "formats/MatroskaPatch.h"

#include <QFile>
#include <QSet>
#include <cstdint>
#include <optional>

namespace MatroskaPatch {

namespace {

constexpr uint32_t kSegment = 0x18538067, kTracks = 0x1654AE6B, kTrackEntry = 0xAE,
                   kTrackNumber = 0xD7, kTrackType = 0x83, kCodecId = 0x86, kCodecPrivate = 0x63A2,
                   kCluster = 0x1F43B675, kSimpleBlock = 0xA3;
constexpr uint64_t kUnknown = ~uint64_t(0);

struct Element {
    uint32_t id = 0;
    uint64_t size = 0; // kUnknown for a size the writer never filled in
    qint64 data = 0;   // where its data begins
};

// Reads a variable-length integer at `at`: its value (the length marker kept for an ID,
// removed for a size) and its length.
std::optional<std::pair<uint64_t, int>> ReadVint(QFile& file, qint64 at, bool keepMarker) {
    uchar bytes[8];
    if (!file.seek(at) || file.read(reinterpret_cast<char*>(bytes), 1) != 1 || bytes[0] == 0)
        return std::nullopt;
    int length = 1;
    while (!(bytes[0] & (0x80 >> (length - 1))))
        ++length;
    if (length > 1 && file.read(reinterpret_cast<char*>(bytes + 1), length - 1) != length - 1)
        return std::nullopt;
    uint64_t value = keepMarker ? bytes[0] : bytes[0] & (0xFF >> length);
    bool allOnes = value == uint64_t(0xFF >> length);
    for (int i = 1; i < length; ++i) {
        value = (value << 8) | bytes[i];
        allOnes = allOnes && bytes[i] == 0xFF;
    }
    if (!keepMarker && allOnes)
        value = kUnknown;
    return std::make_pair(value, length);
}

std::optional<Element> ReadElement(QFile& file, qint64 at) {
    const auto id = ReadVint(file, at, true);
    if (!id || id->second > 4)
        return std::nullopt;
    const auto size = ReadVint(file, at + id->second, false);
    if (!size)
        return std::nullopt;
    return Element{uint32_t(id->first), size->first, at + id->second + size->second};
}

uint64_t ReadUnsigned(QFile& file, const Element& e) {
    QByteArray bytes;
    if (e.size <= 8 && file.seek(e.data))
        bytes = file.read(qint64(e.size));
    uint64_t value = 0;
    for (const char c : bytes)
        value = (value << 8) | uchar(c);
    return value;
}

uint32_t Le(const QByteArray& b, int at, int bytes) {
    uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; --i)
        v = (v << 8) | uchar(b[at + i]);
    return v;
}

void PutLe(QByteArray& b, int at, int bytes, uint32_t v) {
    for (int i = 0; i < bytes; ++i, v >>= 8)
        b[at + i] = char(v & 0xFF);
}

struct Walk {
    QFile& file;
    QSet<uint64_t> audioTracks;
    QString error;

    // An ADPCM wave format with no bit depth gets its 4 bits and the byte rate they give.
    void MendWaveFormat(const Element& codecPrivate) {
        if (codecPrivate.size < 20 || codecPrivate.size > 4096 || !file.seek(codecPrivate.data))
            return;
        QByteArray wave = file.read(qint64(codecPrivate.size));
        const uint32_t tag = Le(wave, 0, 2);
        if ((tag != 0x0011 && tag != 0x0002) || Le(wave, 14, 2) != 0)
            return;
        PutLe(wave, 14, 2, 4);
        const uint32_t rate = Le(wave, 4, 4), align = Le(wave, 12, 2);
        const uint32_t perBlock = Le(wave, 16, 2) >= 2 ? Le(wave, 18, 2) : 0;
        if (Le(wave, 8, 4) == 0 && perBlock > 0)
            PutLe(wave, 8, 4, uint32_t(uint64_t(rate) * align / perBlock));
        if (!file.seek(codecPrivate.data) || file.write(wave.left(20)) != 20)
            error = file.errorString();
    }

    void TrackEntry(const Element& entry) {
        uint64_t number = 0, type = 0;
        QByteArray codec;
        std::optional<Element> codecPrivate;
        for (qint64 at = entry.data; at < entry.data + qint64(entry.size);) {
            const auto e = ReadElement(file, at);
            if (!e || e->size == kUnknown)
                return;
            if (e->id == kTrackNumber)
                number = ReadUnsigned(file, *e);
            else if (e->id == kTrackType)
                type = ReadUnsigned(file, *e);
            else if (e->id == kCodecId && e->size < 64 && file.seek(e->data))
                codec = file.read(qint64(e->size));
            else if (e->id == kCodecPrivate)
                codecPrivate = *e;
            at = e->data + qint64(e->size);
        }
        if (type != 2)
            return;
        audioTracks.insert(number);
        if (codec.startsWith("A_MS/ACM") && codecPrivate)
            MendWaveFormat(*codecPrivate);
    }

    // Every sound block is a key frame.
    void SimpleBlock(const Element& block) {
        const auto track = ReadVint(file, block.data, false);
        if (!track || !audioTracks.contains(track->first))
            return;
        const qint64 flagsAt = block.data + track->second + 2;
        char flags = 0;
        if (!file.seek(flagsAt) || file.read(&flags, 1) != 1 || (uchar(flags) & 0x80))
            return;
        flags = char(uchar(flags) | 0x80);
        if (!file.seek(flagsAt) || file.write(&flags, 1) != 1)
            error = file.errorString();
    }

    // The elements from `at` to `end` (kUnknown: the file's end), into the masters that hold
    // tracks and blocks.
    void Children(qint64 at, qint64 end) {
        while (at < end && error.isEmpty()) {
            const auto e = ReadElement(file, at);
            if (!e)
                return;
            const qint64 stop = e->size == kUnknown ? end : e->data + qint64(e->size);
            switch (e->id) {
            case kSegment:
            case kTracks:
            case kCluster:
                Children(e->data, stop);
                break;
            case kTrackEntry:
                TrackEntry(*e);
                break;
            case kSimpleBlock:
                SimpleBlock(*e);
                break;
            default:
                break;
            }
            if (e->size == kUnknown && e->id != kSegment && e->id != kCluster)
                return;
            at = stop;
        }
    }
};

} // namespace

bool MendAudio(const QString& path, QString* error) {
    QFile file(path);
    if (!file.open(QIODevice::ReadWrite)) {
        if (error)
            *error = file.errorString();
        return false;
    }
    Walk walk{file, {}, {}};
    walk.Children(0, file.size());
    if (walk.error.isEmpty() && !file.flush())
        walk.error = file.errorString();
    if (!walk.error.isEmpty() && error)
        *error = walk.error;
    return walk.error.isEmpty();
}

} // namespace MatroskaPatch
