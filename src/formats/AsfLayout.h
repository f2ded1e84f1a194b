// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The layout of an ASF recording as it really is on the card, read from the file itself: where
// its fixed-size data packets lie, how many are there, where the data ends in time, and the
// header a demuxer needs to seek in it. A recorder that loses power leaves a file without its
// index, often without packet count or duration (written only when the file is closed), or
// with a header that describes more data than was ever written. Nothing here writes anything.

#include <QByteArray>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace asf {

// Reads up to `length` bytes at `offset` into `buffer`; answers how many were read (fewer at
// the end of the file) or -1 on a read error.
using ReadAt = std::function<int64_t(uint64_t offset, uint8_t* buffer, size_t length)>;

// One payload of a data packet, as far as seeking needs it.
struct Payload {
    int stream = 0;              // stream number, 1 … 127
    bool keyFrame = false;       // the payload belongs to a key frame
    bool objectStart = false;    // the payload begins its media object (frame)
    bool objectEnd = false;      // the payload ends its media object
    uint32_t presentationMs = 0; // the frame's presentation time, preroll included
    uint32_t objectSize = 0;     // bytes of the whole media object (frame) it belongs to
    uint32_t dataAt = 0;         // where the payload's bytes lie in its packet
    uint32_t dataLength = 0;     // and how many (0 for frames packed several to a payload)
};

struct Packet {
    uint32_t sendMs = 0;
    std::vector<Payload> payloads;
};

// Parses one data packet of `size` bytes; false when it is not a well-formed packet.
bool ParsePacket(const uint8_t* data, size_t size, Packet& packet);

struct Layout {
    uint64_t fileSize = 0;  // bytes on the card
    uint64_t dataStart = 0; // offset of the first data packet, as the demuxer sees the file
    // A file written for streaming puts a chunk header before the header object and before
    // each packet; the demuxer is served the file without them.
    uint32_t headerPrefix = 0;
    uint32_t packetPrefix = 0;
    uint32_t packetSize = 0;  // every data packet has this size
    uint64_t packetCount = 0; // whole packets really present (never more than the header says)
    uint64_t prerollMs = 0;   // added to every presentation time in the file
    uint32_t firstMs = 0;     // smallest presentation time of the first packets, preroll removed
    uint64_t endMs = 0;       // where the data ends, preroll included (0 when unknown)
    uint64_t sendLeadMs = 0;  // every payload is sent at least this long before it is presented
    // The start of the last whole video frame, preroll included (0 when unknown): a frame begun
    // after it was cut off by the end of the data and cannot be shown.
    uint64_t lastVideoMs = 0;
    int videoStream = -1;     // stream number of the video, -1 without video
    uint32_t videoFourcc = 0; // its codec, as its bitmap header names it (0 when not said)
    bool repaired = false;    // the header below differs from the file's
    QByteArray header;        // the bytes before the first packet, as the demuxer should see them
    uint64_t servedSize = 0;  // how much of the file the demuxer should see

    // Where packet `index` starts in the file on the card.
    uint64_t PacketOffset(uint64_t index) const {
        return headerPrefix + dataStart + index * (uint64_t(packetSize) + packetPrefix) +
               packetPrefix;
    }
    // Reads the file as the demuxer is to see it (mended header, no chunk headers), as ReadAt.
    int64_t ReadServed(const ReadAt& read, uint64_t offset, uint8_t* buffer, size_t length) const;

    // Byte offset of the packet from which decoding shows the picture at `ns` (nanoseconds of
    // stream time): the start of the last key frame presented at or before it.
    std::optional<uint64_t> OffsetForTime(const ReadAt& read, uint64_t ns) const;
    // For a seek to `ns` (nanoseconds of stream time): where the video frame presented then
    // starts, and, where pictures may be shown before the key frame they are stored after
    // (B-frames of an open group), a target within a few frames of a key frame must be
    // decoded from the key frame before: then the stream time just before that key frame, to
    // send the demuxer to. Nothing for what the file does not tell.
    struct SeekPoints {
        std::optional<uint64_t> frameStart;
        std::optional<uint64_t> decodeFrom;
    };
    SeekPoints SeekPointsAt(const ReadAt& read, uint64_t ns) const;
    // The stream time (ns) at which the first video frame presented after `ns` starts.
    std::optional<uint64_t> FrameStartAfter(const ReadAt& read, uint64_t ns) const;
    // The stream time (ns) at which the last video key frame presented by `ns` starts.
    std::optional<uint64_t> KeyFrameAt(const ReadAt& read, uint64_t ns) const;

private:
    bool Unfinished(const Payload& p) const {
        return lastVideoMs && p.presentationMs > lastVideoMs;
    }
    // The last packet that may hold the start of something presented by `targetMs`
    // (presentation time, preroll included): the one sent by it less sendLeadMs.
    uint64_t LastPacketSentBy(const ReadAt& read, uint64_t targetMs) const;
    // Whether pictures stored after the key frame presented at `keyMs`, which starts in packet
    // `keyPacket`, may be shown before it (true where the file does not tell).
    bool KeyMayLead(const ReadAt& read, uint64_t keyPacket, uint32_t keyMs) const;
};

// Reads packets [first, first + count) of `layout` into `out`, one entry per packet that parses,
// with its index.
void ReadPackets(const ReadAt& read, const Layout& layout, uint64_t first, uint64_t count,
                 std::vector<std::pair<uint64_t, Packet>>& out);

// Whether these first bytes of a file (at least 28) start an ASF file, plain or for streaming.
bool StartsLikeAsf(const uint8_t* bytes, size_t size);

// Reads the layout of the file behind `read`, `fileSize` bytes long; nothing when it is not an
// ASF file whose header can be understood.
std::optional<Layout> ReadLayout(const ReadAt& read, uint64_t fileSize);

} // namespace asf
