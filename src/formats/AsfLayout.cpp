// SPDX-License-Identifier: GPL-3.0-or-later
#include "formats/AsfLayout.h"

#include "formats/AsfBytes.h"
#include "formats/LeadingPictures.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <set>

namespace asf {
namespace {

// Object identifiers as they are stored in the file (the GUIDs' little-endian byte order).
constexpr uint8_t kHeaderObject[16] = {0x30, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11,
                                       0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};
constexpr uint8_t kDataObject[16] = {0x36, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11,
                                     0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};
constexpr uint8_t kFilePropertiesObject[16] = {0xA1, 0xDC, 0xAB, 0x8C, 0x47, 0xA9, 0xCF, 0x11,
                                               0x8E, 0xE4, 0x00, 0xC0, 0x0C, 0x20, 0x53, 0x65};
constexpr uint8_t kStreamPropertiesObject[16] = {0x91, 0x07, 0xDC, 0xB7, 0xB7, 0xA9, 0xCF, 0x11,
                                                 0x8E, 0xE6, 0x00, 0xC0, 0x0C, 0x20, 0x53, 0x65};
constexpr uint8_t kVideoMedia[16] = {0xC0, 0xEF, 0x19, 0xBC, 0x4D, 0x5B, 0xCF, 0x11,
                                     0xA8, 0xFD, 0x00, 0x80, 0x5F, 0x5C, 0x44, 0x2B};
constexpr uint8_t kAudioMedia[16] = {0x40, 0x9E, 0x69, 0xF8, 0x4D, 0x5B, 0xCF, 0x11,
                                     0xA8, 0xFD, 0x00, 0x80, 0x5F, 0x5C, 0x44, 0x2B};

constexpr uint64_t kObjectHeader = 24; // identifier + size
constexpr uint64_t kDataObjectHeader = 50;
constexpr uint64_t kFilePropertiesSize = 104;
// A header beyond this is not a recorder's; reading it whole would only cost memory.
constexpr uint64_t kMaxHeader = 16u << 20;
// File-properties flags.
constexpr uint32_t kBroadcast = 0x01;
constexpr uint32_t kSeekable = 0x02;
// A header duration this far from the data's end is wrong, not rounding.
constexpr uint64_t kDurationSlackMs = 1000;
// How far back from a seek target a key frame is looked for.
constexpr uint64_t kMaxBackwardPackets = 16384;
constexpr uint64_t kBlockPackets = 64;
// Packets after the last one sent by a time that are still looked at for frames presented by
// it: a packet's send time may round up past its first frame's time.
constexpr uint64_t kLookAhead = 4;
// How many packets at each end are read for the first and the last times.
constexpr uint64_t kEdgePackets = 64;
// How many frames stored after a key frame may be shown before it (B-frames).
constexpr uint64_t kLeadingFrames = 4;
// How many packets after a key frame's first are read for the frame stored after it.
constexpr uint64_t kFollowPackets = 256;
// How many packets one look for data in a dead tail reads.
constexpr uint64_t kProbePackets = 4;
// How far a payload in the middle of a file may be sent closer to its presentation than any
// in its first and last packets.
constexpr uint64_t kSendLeadSlackMs = 500;

void Put32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = uint8_t(v >> (8 * i));
}
void Put64(uint8_t* p, uint64_t v) {
    for (int i = 0; i < 8; ++i)
        p[i] = uint8_t(v >> (8 * i));
}

// Reads exactly `length` bytes, or nothing.
bool ReadExactly(const ReadAt& read, uint64_t offset, uint8_t* buffer, size_t length) {
    size_t done = 0;
    while (done < length) {
        const int64_t got = read(offset + done, buffer + done, length - done);
        if (got <= 0)
            return false;
        done += size_t(got);
    }
    return true;
}

bool SameId(const uint8_t* p, const uint8_t (&id)[16]) {
    return std::memcmp(p, id, 16) == 0;
}

// A streaming chunk header: type, length, sequence number, flags, length again.
constexpr uint32_t kChunkHeader = 12;
bool IsChunk(const uint8_t* p, uint8_t type) {
    return p[0] == '$' && p[1] == type && U16(p + 2) == U16(p + 10);
}

// The shortest time between a payload's sending and its presentation among `packets`, into
// `lead` (negative when one is sent late).
void ShortestLead(const std::vector<std::pair<uint64_t, Packet>>& packets, int64_t& lead) {
    for (const auto& [index, packet] : packets)
        for (const Payload& p : packet.payloads)
            lead = std::min<int64_t>(lead, int64_t(p.presentationMs) - int64_t(packet.sendMs));
}

// Whether packets [first, first + count) hold one that parses and was sent no earlier than
// `sentFrom`; its index into `last` (the latest such).
bool HoldsData(const ReadAt& read, const Layout& layout, uint64_t first, uint64_t count,
               uint32_t sentFrom, uint64_t& last) {
    std::vector<std::pair<uint64_t, Packet>> packets;
    ReadPackets(read, layout, first, count, packets);
    for (auto it = packets.rbegin(); it != packets.rend(); ++it) {
        if (it->second.sendMs >= sentFrom) {
            last = it->first;
            return true;
        }
    }
    return false;
}

// The last packet holding data. A card pulled while the recorder wrote often leaves the end of
// the file as zeros, or as whatever the card held before: searched back from the end in steps
// that double, then narrowed down, so a long dead tail costs a few dozen reads, not all of it.
// Packets sent before the first ones cannot be the recording's own end.
std::optional<uint64_t> LastDataPacket(const ReadAt& read, const Layout& layout,
                                       uint32_t firstSendMs) {
    const uint64_t count = layout.packetCount;
    uint64_t last = 0;
    const uint64_t edge = std::min(count, kEdgePackets);
    if (HoldsData(read, layout, count - edge, edge, firstSendMs, last))
        return last;
    // [good, bad): `good` starts a probe that found data, `bad` one that found none.
    uint64_t bad = count - edge, good = 0;
    bool found = false;
    for (uint64_t step = kEdgePackets; bad > 0; step *= 2) {
        const uint64_t at = bad > step ? bad - step : 0;
        if (HoldsData(read, layout, at, std::min<uint64_t>(kProbePackets, bad - at), firstSendMs,
                      last)) {
            good = at;
            found = true;
            break;
        }
        bad = at;
    }
    if (!found)
        return std::nullopt;
    while (bad - good > kProbePackets) {
        const uint64_t mid = good + (bad - good) / 2;
        uint64_t seen = 0;
        if (HoldsData(read, layout, mid, kProbePackets, firstSendMs, seen)) {
            good = mid;
            last = std::max(last, seen);
        } else {
            bad = mid;
        }
    }
    HoldsData(read, layout, good, bad - good, firstSendMs, last);
    return last;
}

// The presentation time at which the data ends, preroll included: over every stream, the last
// frame's time plus the spacing before it (a frame's own length is not written down); 0 when no
// packet holds data. `lastPacket` receives the last packet with data, `lastVideoMs` the start of
// the last whole video frame among the last packets (0 when none is there).
uint64_t DataEndMs(const ReadAt& read, const Layout& layout, uint32_t firstSendMs,
                   const std::map<int, uint32_t>& bytesPerSecond, int64_t& lead,
                   std::optional<uint64_t>& lastPacket, uint64_t& lastVideoMs) {
    lastPacket = LastDataPacket(read, layout, firstSendMs);
    if (!lastPacket)
        return 0;
    const uint64_t count = std::min(*lastPacket + 1, kEdgePackets);
    std::vector<std::pair<uint64_t, Packet>> packets;
    ReadPackets(read, layout, *lastPacket + 1 - count, count, packets);
    ShortestLead(packets, lead);
    // Only objects whose last bytes made it count: a frame cut off cannot be shown. Sound at a
    // fixed byte rate ends where its last block's bytes run out; elsewhere, per stream, the
    // frame times seen (the last two are what counts).
    std::map<int, std::set<uint32_t>> times;
    uint64_t end = 0;
    for (const auto& [index, packet] : packets) {
        for (const Payload& p : packet.payloads) {
            if (!p.objectEnd)
                continue;
            const auto rate = bytesPerSecond.find(p.stream);
            if (rate == bytesPerSecond.end())
                times[p.stream].insert(p.presentationMs);
            else
                end =
                    std::max(end, p.presentationMs + uint64_t(p.objectSize) * 1000 / rate->second);
        }
    }
    if (const auto video = times.find(layout.videoStream); video != times.end())
        lastVideoMs = *video->second.rbegin();
    for (const auto& [stream, seen] : times) {
        const uint32_t last = *seen.rbegin();
        const uint32_t before = seen.size() > 1 ? *std::next(seen.rbegin()) : last;
        end = std::max<uint64_t>(end, uint64_t(last) + (last - before));
    }
    return end;
}

// The smallest presentation time of the first packets, preroll removed; the earliest send time
// among them into `firstSendMs`, and the streams that carry data there into `streams`.
uint32_t FirstMs(const ReadAt& read, const Layout& layout, int64_t& lead, uint32_t& firstSendMs,
                 std::set<int>& streams) {
    std::vector<std::pair<uint64_t, Packet>> packets;
    ReadPackets(read, layout, 0, std::min(layout.packetCount, kEdgePackets), packets);
    ShortestLead(packets, lead);
    uint64_t first = UINT64_MAX;
    firstSendMs = packets.empty() ? 0 : UINT32_MAX;
    for (const auto& [index, packet] : packets) {
        firstSendMs = std::min(firstSendMs, packet.sendMs);
        for (const Payload& p : packet.payloads) {
            first = std::min<uint64_t>(first, p.presentationMs);
            streams.insert(p.stream);
        }
    }
    if (first == UINT64_MAX || first < layout.prerollMs)
        return 0;
    return uint32_t(first - layout.prerollMs);
}

} // namespace

bool StartsLikeAsf(const uint8_t* bytes, size_t size) {
    return (size >= 16 && SameId(bytes, kHeaderObject)) ||
           (size >= kChunkHeader + 16 && IsChunk(bytes, 'H') &&
            SameId(bytes + kChunkHeader, kHeaderObject));
}

std::optional<Layout> ReadLayout(const ReadAt& read, uint64_t fileSize) {
    uint8_t top[kChunkHeader + 30];
    if (fileSize < sizeof top || !ReadExactly(read, 0, top, sizeof top) ||
        !StartsLikeAsf(top, sizeof top))
        return std::nullopt;
    Layout layout;
    layout.fileSize = fileSize;
    if (!SameId(top, kHeaderObject)) {
        layout.headerPrefix = kChunkHeader;
        layout.packetPrefix = kChunkHeader;
    }
    const uint64_t headerSize = U64(top + layout.headerPrefix + 16);
    if (headerSize < 30 || headerSize > kMaxHeader ||
        layout.headerPrefix + headerSize + kDataObjectHeader > fileSize)
        return std::nullopt;

    layout.dataStart = headerSize + kDataObjectHeader;
    layout.header.resize(qsizetype(layout.dataStart));
    auto* bytes = reinterpret_cast<uint8_t*>(layout.header.data());
    if (!ReadExactly(read, layout.headerPrefix, bytes, size_t(layout.dataStart)))
        return std::nullopt;
    uint8_t* data = bytes + headerSize;
    if (!SameId(data, kDataObject))
        return std::nullopt;

    uint8_t* properties = nullptr;
    std::vector<int> videoStreams;            // as declared
    std::map<int, uint32_t> videoFourccs;     // their codecs, where declared
    std::map<int, uint32_t> audioBytesPerSec; // sound streams at a known, fixed byte rate
    for (uint64_t at = 30; at + kObjectHeader <= headerSize;) {
        const uint64_t size = U64(bytes + at + 16);
        if (size < kObjectHeader || size > headerSize - at)
            break;
        const uint8_t* object = bytes + at;
        if (SameId(object, kFilePropertiesObject) && size >= kFilePropertiesSize)
            properties = bytes + at;
        else if (SameId(object, kStreamPropertiesObject) && size >= 78 &&
                 SameId(object + 24, kVideoMedia)) {
            videoStreams.push_back(U16(object + 72) & 0x7F);
            // The type-specific data: sizes, then a bitmap header naming the codec.
            if (size >= 78 + 11 + 20 && U32(object + 64) >= 11 + 20)
                videoFourccs[videoStreams.back()] = U32(object + 78 + 11 + 16);
        } else if (SameId(object, kStreamPropertiesObject) && size >= 78 + 16 &&
                   SameId(object + 24, kAudioMedia) && U32(object + 64) >= 16 && U32(object + 86))
            audioBytesPerSec[U16(object + 72) & 0x7F] = U32(object + 86); // the WAVEFORMATEX
        at += size;
    }
    if (!properties)
        return std::nullopt;
    const uint32_t minPacket = U32(properties + 92), maxPacket = U32(properties + 96);
    if (minPacket != maxPacket || minPacket < 16)
        return std::nullopt;
    layout.packetSize = minPacket;
    layout.prerollMs = U64(properties + 80);
    const uint32_t flags = U32(properties + 88);
    const bool broadcast = flags & kBroadcast;
    const uint64_t headerPackets = broadcast ? 0 : U64(properties + 56);
    const uint64_t headerPlay = broadcast ? 0 : U64(properties + 64);

    // Only whole packets count; a packet cut by the power loss is left out.
    const uint64_t firstPacket = layout.PacketOffset(0) - layout.packetPrefix;
    const uint64_t present =
        (fileSize - firstPacket) / (uint64_t(layout.packetSize) + layout.packetPrefix);
    layout.packetCount = headerPackets && headerPackets <= present ? headerPackets : present;
    if (layout.packetCount == 0)
        return layout; // nothing to play; the demuxer says so itself
    // Writers stamp send times on their own base (some without the preroll): a search by
    // send time for what is presented by a moment starts that much earlier, less some slack.
    int64_t lead = INT64_MAX;
    uint32_t firstSendMs = 0;
    std::set<int> streams;
    layout.firstMs = FirstMs(read, layout, lead, firstSendMs, streams);
    // The picture is the first declared video stream that carries data: a writer may declare
    // streams it never fills.
    for (int stream : videoStreams) {
        if (layout.videoStream < 0 || streams.count(stream)) {
            layout.videoStream = stream;
            layout.videoFourcc = videoFourccs.count(stream) ? videoFourccs[stream] : 0;
            if (streams.count(stream))
                break;
        }
    }
    std::optional<uint64_t> lastPacket;
    layout.endMs = DataEndMs(read, layout, firstSendMs, audioBytesPerSec, lead, lastPacket,
                             layout.lastVideoMs);
    // What follows the last packet with data is no recording: it is not served.
    if (lastPacket)
        layout.packetCount = *lastPacket + 1;
    if (lead != INT64_MAX && lead > int64_t(kSendLeadSlackMs))
        layout.sendLeadMs = uint64_t(lead) - kSendLeadSlackMs;

    const uint64_t dataEnd = layout.dataStart + layout.packetCount * layout.packetSize;
    const uint64_t endMs = std::max(layout.endMs, layout.prerollMs + 1);
    const uint64_t headerEndMs = headerPlay / 10000;
    const bool countWrong = headerPackets != layout.packetCount;
    // Where no packet tells where the data ends, the header's length is all there is.
    const bool endKnown = layout.endMs > 0;
    // A header that counts packets the file does not hold (cut short, or ending in a dead tail)
    // was written for more than there is: the data's own end is the length.
    const bool durationWrong =
        endKnown && (headerPlay == 0 || countWrong || headerEndMs > endMs + kDurationSlackMs ||
                     headerEndMs + kDurationSlackMs < endMs);
    layout.repaired =
        broadcast || !(flags & kSeekable) || countWrong || durationWrong || layout.packetPrefix;

    // Whatever follows the data (the index) is served as it is, unless it was cut short.
    layout.servedSize = layout.packetPrefix ? dataEnd : fileSize;
    for (uint64_t at = dataEnd; at < layout.servedSize;) {
        uint8_t object[kObjectHeader];
        if (fileSize - at < kObjectHeader || !ReadExactly(read, at, object, sizeof object) ||
            U64(object + 16) < kObjectHeader || U64(object + 16) > fileSize - at) {
            layout.servedSize = at;
            break;
        }
        at += U64(object + 16);
    }
    if (!layout.repaired)
        return layout;

    layout.servedSize = countWrong ? dataEnd : layout.servedSize;
    Put64(properties + 40, layout.servedSize);
    Put64(properties + 56, layout.packetCount);
    if (endKnown && (durationWrong || broadcast)) {
        Put64(properties + 64, endMs * 10000);
        Put64(properties + 72, endMs * 10000);
    }
    Put32(properties + 88, (flags & ~kBroadcast) | kSeekable);
    Put64(data + 16, kDataObjectHeader + layout.packetCount * layout.packetSize);
    Put64(data + 40, layout.packetCount);
    return layout;
}

int64_t Layout::ReadServed(const ReadAt& read, uint64_t offset, uint8_t* buffer,
                           size_t length) const {
    if (offset >= servedSize || length == 0)
        return 0;
    length = size_t(std::min<uint64_t>(length, servedSize - offset));
    if (offset < dataStart) { // the header, mended
        const size_t n = size_t(std::min<uint64_t>(length, dataStart - offset));
        if (repaired) {
            std::memcpy(buffer, header.constData() + offset, n);
            return int64_t(n);
        }
        return read(offset, buffer, n);
    }
    const uint64_t dataEnd = dataStart + packetCount * packetSize;
    if (packetPrefix == 0 || offset >= dataEnd) // packets and index lie where they are
        return packetPrefix ? 0 : read(offset, buffer, length);
    const uint64_t index = (offset - dataStart) / packetSize;
    const uint64_t inside = (offset - dataStart) % packetSize;
    const size_t n = size_t(std::min<uint64_t>(length, packetSize - inside));
    return read(PacketOffset(index) + inside, buffer, n);
}

uint64_t Layout::LastPacketSentBy(const ReadAt& read, uint64_t targetMs) const {
    // Send times grow with the packets, and a frame is sent at least sendLeadMs before it is
    // presented: the packets sent after the target less that lead hold nothing presented by
    // the target.
    const uint64_t sentBy = targetMs > sendLeadMs ? targetMs - sendLeadMs : 0;
    uint64_t lo = 0, hi = packetCount; // the answer lies in [lo, hi)
    std::vector<std::pair<uint64_t, Packet>> probe;
    while (hi - lo > 1) {
        const uint64_t mid = lo + (hi - lo) / 2;
        ReadPackets(read, *this, mid, 1, probe);
        if (probe.empty()) // a damaged packet: decide by a neighbour that parses
            ReadPackets(read, *this, mid, std::min<uint64_t>(8, hi - mid), probe);
        if (probe.empty() || probe.front().second.sendMs > sentBy)
            hi = mid;
        else
            lo = mid;
    }
    return lo;
}

std::optional<uint64_t> Layout::OffsetForTime(const ReadAt& read, uint64_t ns) const {
    if (packetCount == 0 || packetSize == 0)
        return std::nullopt;
    const uint64_t target = prerollMs + firstMs + ns / 1000000;
    const uint64_t lo = LastPacketSentBy(read, target);
    auto isKeyStart = [&](const Payload& p) {
        return p.keyFrame && p.objectStart && p.presentationMs <= target &&
               (videoStream < 0 || p.stream == videoStream);
    };
    // A frame's packet may be stamped a little after the frame's own time: look just past the
    // last packet sent by the target first.
    std::vector<std::pair<uint64_t, Packet>> block;
    ReadPackets(read, *this, lo + 1, std::min<uint64_t>(kLookAhead, packetCount - lo - 1), block);
    for (auto it = block.rbegin(); it != block.rend(); ++it)
        for (const Payload& p : it->second.payloads)
            if (isKeyStart(p))
                return dataStart + it->first * packetSize;
    // Back from there to the start of the last key frame presented by the target.
    for (uint64_t end = lo + 1, walked = 0; end > 0 && walked < kMaxBackwardPackets;) {
        const uint64_t first = end > kBlockPackets ? end - kBlockPackets : 0;
        ReadPackets(read, *this, first, end - first, block);
        for (auto it = block.rbegin(); it != block.rend(); ++it) {
            const auto& payloads = it->second.payloads;
            for (auto p = payloads.rbegin(); p != payloads.rend(); ++p)
                if (isKeyStart(*p))
                    return dataStart + it->first * packetSize;
        }
        walked += end - first;
        end = first;
    }
    return dataStart + lo * packetSize;
}

Layout::SeekPoints Layout::SeekPointsAt(const ReadAt& read, uint64_t ns) const {
    SeekPoints points;
    if (packetCount == 0 || packetSize == 0 || videoStream < 0)
        return points;
    const uint64_t base = prerollMs + firstMs;
    const uint64_t target = base + ns / 1000000;
    const uint64_t lo = LastPacketSentBy(read, target);
    // The latest frame start presented by the target; frames sent out of order sit close by,
    // so the first block back that holds one decides (with the few packets after it, which
    // may be stamped a little late). Then, unless every picture is coded alone, back on to
    // the last key frame by the target, as long as it may lie within a few frames of it.
    std::vector<std::pair<uint64_t, Packet>> block;
    std::optional<uint32_t> best, key;
    uint64_t keyPacket = 0;
    std::set<uint32_t> frames; // starts seen, for their spacing
    bool allKeys = true;       // pictures coded alone (MJPEG) are never reordered
    const auto spacing = [&] {
        uint32_t least = UINT32_MAX;
        for (auto t = frames.begin(); t != frames.end() && std::next(t) != frames.end(); ++t)
            least = std::min(least, *std::next(t) - *t);
        return least;
    };
    const auto keyMayMatter = [&] {
        if (!best || allKeys || key)
            return false;
        const uint32_t step = spacing();
        return step == UINT32_MAX || *frames.begin() + uint64_t(kLeadingFrames) * step > target;
    };
    const uint64_t ahead = std::min<uint64_t>(kLookAhead, packetCount - lo - 1);
    for (uint64_t end = lo + 1 + ahead, walked = 0;
         (!best || keyMayMatter()) && end > 0 && walked < kMaxBackwardPackets;) {
        const uint64_t first = end > kBlockPackets ? end - kBlockPackets : 0;
        ReadPackets(read, *this, first, end - first, block);
        for (const auto& [index, packet] : block) {
            for (const Payload& p : packet.payloads) {
                if (p.stream != videoStream || !p.objectStart || p.presentationMs < base ||
                    Unfinished(p))
                    continue;
                frames.insert(p.presentationMs);
                allKeys = allKeys && p.keyFrame;
                if (p.presentationMs > target)
                    continue;
                if (!best || p.presentationMs > *best)
                    best = p.presentationMs;
                if (p.keyFrame && (!key || p.presentationMs > *key)) {
                    key = p.presentationMs;
                    keyPacket = index;
                }
            }
        }
        walked += end - first;
        end = first;
    }
    if (!best)
        return points;
    points.frameStart = (*best - base) * 1000000;
    const uint32_t step = spacing();
    if (key && !allKeys && *key > base && step != UINT32_MAX &&
        target < *key + uint64_t(kLeadingFrames) * step && KeyMayLead(read, keyPacket, *key))
        points.decodeFrom = (*key - base - 1) * 1000000;
    return points;
}

bool Layout::KeyMayLead(const ReadAt& read, uint64_t keyPacket, uint32_t keyMs) const {
    // The first bytes of the frames stored after the key frame tell, for the codecs that say; a
    // frame's first payload holds its headers.
    std::vector<std::vector<uint8_t>> frames;
    bool afterKey = false;
    std::vector<uint8_t> raw(packetSize);
    for (uint64_t i = keyPacket;
         i < packetCount && i < keyPacket + kFollowPackets && frames.size() < kLeadingFrames; ++i) {
        Packet packet;
        if (read(PacketOffset(i), raw.data(), raw.size()) != int64_t(raw.size()) ||
            !ParsePacket(raw.data(), raw.size(), packet))
            return true;
        for (const Payload& p : packet.payloads) {
            if (p.stream != videoStream || !p.objectStart || frames.size() >= kLeadingFrames)
                continue;
            if (afterKey)
                frames.emplace_back(raw.begin() + p.dataAt, raw.begin() + p.dataAt + p.dataLength);
            afterKey = afterKey || (p.keyFrame && p.presentationMs == keyMs);
        }
    }
    std::vector<LeadingPictures::Coded> coded;
    for (const std::vector<uint8_t>& frame : frames)
        coded.push_back({frame.data(), frame.size()});
    return LeadingPictures::After(videoFourcc, coded) != LeadingPictures::Answer::None;
}

std::optional<uint64_t> Layout::FrameStartAfter(const ReadAt& read, uint64_t ns) const {
    if (packetCount == 0 || packetSize == 0 || videoStream < 0)
        return std::nullopt;
    const uint64_t base = prerollMs + firstMs;
    const uint64_t after = base + ns / 1000000;
    // A frame is sent some time before it is presented, and frames may be stored out of
    // order: the packets sent from a second before it to a second after hold the next one.
    const uint64_t from = LastPacketSentBy(read, after > 1000 ? after - 1000 : 0);
    const uint64_t to = std::min(packetCount, LastPacketSentBy(read, after + 1000) + kBlockPackets);
    std::vector<std::pair<uint64_t, Packet>> block;
    std::optional<uint32_t> next;
    for (uint64_t first = from; first < to && first - from < kMaxBackwardPackets;) {
        const uint64_t count = std::min(kBlockPackets, to - first);
        ReadPackets(read, *this, first, count, block);
        for (const auto& [index, packet] : block)
            for (const Payload& p : packet.payloads)
                if (p.stream == videoStream && p.objectStart && !Unfinished(p) &&
                    p.presentationMs > after && (!next || p.presentationMs < *next))
                    next = p.presentationMs;
        first += count;
    }
    if (!next)
        return std::nullopt;
    return (*next - base) * 1000000;
}

std::optional<uint64_t> Layout::KeyFrameAt(const ReadAt& read, uint64_t ns) const {
    if (packetCount == 0 || packetSize == 0 || videoStream < 0)
        return std::nullopt;
    const uint64_t base = prerollMs + firstMs;
    const uint64_t target = base + ns / 1000000;
    const uint64_t lo = LastPacketSentBy(read, target);
    std::vector<std::pair<uint64_t, Packet>> block;
    std::optional<uint32_t> key;
    const uint64_t ahead = std::min<uint64_t>(kLookAhead, packetCount - lo - 1);
    for (uint64_t end = lo + 1 + ahead, walked = 0;
         !key && end > 0 && walked < kMaxBackwardPackets;) {
        const uint64_t first = end > kBlockPackets ? end - kBlockPackets : 0;
        ReadPackets(read, *this, first, end - first, block);
        for (const auto& [index, packet] : block)
            for (const Payload& p : packet.payloads)
                if (p.stream == videoStream && p.objectStart && p.keyFrame && !Unfinished(p) &&
                    p.presentationMs <= target && p.presentationMs >= base &&
                    (!key || p.presentationMs > *key))
                    key = p.presentationMs;
        walked += end - first;
        end = first;
    }
    if (!key)
        return std::nullopt;
    return (*key - base) * 1000000;
}

} // namespace asf
