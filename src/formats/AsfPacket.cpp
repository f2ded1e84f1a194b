// SPDX-License-Identifier: GPL-3.0-or-later
// The data packets of an ASF file: their payloads, as far as seeking needs them.
#include "formats/AsfBytes.h"
#include "formats/AsfLayout.h"

#include <cstring>

namespace asf {
namespace {

// A cursor over a packet that refuses to run past its end.
class Cursor {
public:
    Cursor(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}
    bool Byte(uint32_t& v) { return Field(1, v); }
    // A field whose width a two-bit length type gives: none, byte, word or double word.
    bool Field(int lengthType, uint32_t& v) {
        static constexpr size_t widths[4] = {0, 1, 2, 4};
        const size_t w = widths[lengthType & 3];
        v = 0;
        if (m_size - m_pos < w)
            return false;
        const uint8_t* p = m_data + m_pos;
        v = w == 1 ? p[0] : w == 2 ? U16(p) : w == 4 ? U32(p) : 0;
        m_pos += w;
        return true;
    }
    bool Skip(size_t n) {
        if (m_size - m_pos < n)
            return false;
        m_pos += n;
        return true;
    }
    const uint8_t* Here() const { return m_data + m_pos; }
    size_t Left() const { return m_size - m_pos; }
    // Narrows the cursor to the packet's payload area (padding cut off at the end).
    bool Limit(size_t size) {
        if (size < m_pos || size > m_size)
            return false;
        m_size = size;
        return true;
    }

private:
    const uint8_t* m_data;
    size_t m_size;
    size_t m_pos = 0;
};

} // namespace

void ReadPackets(const ReadAt& read, const Layout& layout, uint64_t first, uint64_t count,
                 std::vector<std::pair<uint64_t, Packet>>& out) {
    out.clear();
    if (count == 0)
        return;
    const size_t stride = size_t(layout.packetSize) + layout.packetPrefix;
    std::vector<uint8_t> block((size_t(count) - 1) * stride + layout.packetSize);
    const uint64_t offset = layout.PacketOffset(first);
    int64_t got = 0;
    size_t have = 0;
    while (have < block.size() &&
           (got = read(offset + have, block.data() + have, block.size() - have)) > 0)
        have += size_t(got);
    for (uint64_t i = 0; i < count && i * stride + layout.packetSize <= have; ++i) {
        Packet packet;
        if (ParsePacket(block.data() + i * stride, layout.packetSize, packet))
            out.emplace_back(first + i, std::move(packet));
    }
}

bool ParsePacket(const uint8_t* data, size_t size, Packet& packet) {
    packet = Packet{};
    Cursor c(data, size);
    uint32_t flags = 0;
    if (!c.Byte(flags))
        return false;
    if (flags & 0x80) { // error correction data comes first
        if (flags & 0x60)
            return false;
        if (!c.Skip(flags & 0x0F) || !c.Byte(flags))
            return false;
    }
    uint32_t properties = 0, length = 0, sequence = 0, padding = 0, sendMs = 0, durationMs = 0;
    if (!c.Byte(properties) || !c.Field(flags >> 5, length) || !c.Field(flags >> 1, sequence) ||
        !c.Field(flags >> 3, padding) || !c.Field(3, sendMs) || !c.Field(2, durationMs))
        return false;
    // A packet shorter than the fixed size is padded to it.
    if (length && length < size)
        padding += uint32_t(size - length);
    if (padding > c.Left() || !c.Limit(size - padding))
        return false;
    packet.sendMs = sendMs;

    const int repType = properties & 3, offsetType = (properties >> 2) & 3,
              objectType = (properties >> 4) & 3;
    uint32_t count = 1, lengthType = 0;
    const bool multiple = flags & 1;
    if (multiple) {
        uint32_t payloadFlags = 0;
        if (!c.Byte(payloadFlags))
            return false;
        count = payloadFlags & 0x3F;
        lengthType = payloadFlags >> 6;
    }
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t stream = 0, object = 0, offset = 0, replicated = 0;
        if (!c.Byte(stream) || !c.Field(objectType, object) || !c.Field(offsetType, offset) ||
            !c.Field(repType, replicated))
            return false;
        Payload payload;
        payload.stream = int(stream & 0x7F);
        payload.keyFrame = stream & 0x80;
        if (replicated == 1) {
            // Compressed payload: whole small frames, the offset field holds the time.
            uint32_t delta = 0, dataLength = 0;
            if (!c.Byte(delta))
                return false;
            if (multiple ? !c.Field(lengthType, dataLength)
                         : (dataLength = uint32_t(c.Left()), false))
                return false;
            if (dataLength > c.Left())
                return false;
            Cursor sub(c.Here(), dataLength);
            for (uint32_t k = 0; sub.Left() > 0; ++k) {
                uint32_t subLength = 0;
                if (!sub.Byte(subLength) || !sub.Skip(subLength))
                    return false;
                payload.objectStart = payload.objectEnd = true;
                payload.presentationMs = offset + k * delta;
                payload.objectSize = subLength;
                packet.payloads.push_back(payload);
            }
            c.Skip(dataLength);
            continue;
        }
        if (replicated < 8 || replicated > c.Left())
            return false;
        payload.presentationMs = U32(c.Here() + 4);
        payload.objectSize = U32(c.Here());
        payload.objectStart = offset == 0;
        c.Skip(replicated);
        uint32_t dataLength = 0;
        if (multiple ? !c.Field(lengthType, dataLength) : (dataLength = uint32_t(c.Left()), false))
            return false;
        payload.dataAt = uint32_t(c.Here() - data);
        payload.dataLength = dataLength;
        if (!c.Skip(dataLength))
            return false;
        payload.objectEnd = uint64_t(offset) + dataLength >= payload.objectSize;
        packet.payloads.push_back(payload);
    }
    return true;
}

} // namespace asf
