// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>
#include <cstdint>
#include <optional>
#include <vector>

// The boxes of an ISO base media file (MP4, MOV): where each lies, read from the file itself
// with every size checked against the file and its parent, so that a file cut short, a count
// past its end or an absurd size gives fewer boxes, never a read outside the file or an
// unbounded one. Nothing here writes.
namespace Mp4 {

constexpr uint32_t Type(const char (&four)[5]) {
    return uint32_t(uint8_t(four[0])) << 24 | uint32_t(uint8_t(four[1])) << 16 |
           uint32_t(uint8_t(four[2])) << 8 | uint32_t(uint8_t(four[3]));
}

struct Box {
    uint32_t type = 0;
    uint64_t offset = 0;     // of its header in the file
    uint64_t headerSize = 8; // 8, or 16 with a 64-bit size
    uint64_t size = 0;       // header included
    bool cut = false;        // it claims more than its parent (or the file) holds: cut there
    uint64_t Payload() const { return offset + headerSize; }
    uint64_t PayloadSize() const { return size - headerSize; }
    uint64_t End() const { return offset + size; }
};

class Reader {
public:
    explicit Reader(const QString& path);
    bool IsOpen() const { return m_open; }
    uint64_t Size() const { return m_size; }
    // Up to `length` bytes at `offset` (fewer at the file's end or on a read error).
    QByteArray Read(uint64_t offset, uint64_t length);

    // The boxes one after another in [from, to), at most `limit` of them.
    std::vector<Box> Children(uint64_t from, uint64_t to, size_t limit = 4096);
    std::vector<Box> TopLevel(size_t limit = 4096) { return Children(0, m_size, limit); }
    std::vector<Box> Children(const Box& parent, size_t limit = 4096) {
        return Children(parent.Payload(), parent.End(), limit);
    }
    // The first box of `type` among `boxes`.
    static std::optional<Box> First(const std::vector<Box>& boxes, uint32_t type);
    // The box at a path of types from the top ("moov", "gps "), if there.
    std::optional<Box> Find(std::initializer_list<uint32_t> path);
    // A box's payload, at most `limit` bytes of it.
    QByteArray Payload(const Box& box, uint64_t limit = 1 << 20) {
        return Read(box.Payload(), std::min<uint64_t>(box.PayloadSize(), limit));
    }

private:
    QFile m_file;
    uint64_t m_size = 0;
    bool m_open = false;
};

// Why an MP4 or MOV file cannot be played though its media data are there: its index (moov),
// which a recorder writes when it closes the file, is missing (the power failed while it
// recorded). Empty when that is not the case.
QString MissingIndex(const QString& path);

// Big- and little-endian fields of a byte array; 0 past its end.
uint32_t Be32(const QByteArray& b, int at);
uint64_t Be64(const QByteArray& b, int at);
uint16_t Be16(const QByteArray& b, int at);
uint32_t Le32(const QByteArray& b, int at);
float LeFloat(const QByteArray& b, int at);

// A track's samples: where each lies in the file and when it is presented (seconds).
struct Sample {
    uint64_t offset = 0;
    uint32_t size = 0;
    double time = 0, duration = 0;
};
// The samples of the track whose sample description (stsd) names `format` ("gpmd"), read from
// its sample tables (stsz, stco/co64, stsc, stts and the media header's time scale); at most
// `limit`. Empty when there is no such track.
std::vector<Sample> TrackSamples(Reader& file, uint32_t format, size_t limit = 1 << 20);

} // namespace Mp4
