// SPDX-License-Identifier: GPL-3.0-or-later
#include "formats/Mp4Boxes.h"

#include <algorithm>
#include <cstring>

namespace Mp4 {

Reader::Reader(const QString& path) : m_file(path) {
    m_open = m_file.open(QIODevice::ReadOnly);
    m_size = m_open ? uint64_t(m_file.size()) : 0;
}

QByteArray Reader::Read(uint64_t offset, uint64_t length) {
    if (!m_open || offset >= m_size)
        return {};
    length = std::min<uint64_t>(length, m_size - offset);
    if (!m_file.seek(qint64(offset)))
        return {};
    return m_file.read(qint64(length));
}

std::vector<Box> Reader::Children(uint64_t from, uint64_t to, size_t limit) {
    std::vector<Box> boxes;
    to = std::min(to, m_size);
    while (from + 8 <= to && boxes.size() < limit) {
        const QByteArray head = Read(from, 16);
        if (head.size() < 8)
            break;
        Box box;
        box.offset = from;
        box.type = Be32(head, 4);
        uint64_t size = Be32(head, 0);
        if (size == 1) {
            if (head.size() < 16)
                break;
            size = Be64(head, 8);
            box.headerSize = 16;
        } else if (size == 0) {
            size = to - from; // to the end of its parent
        }
        if (size < box.headerSize)
            break; // no box is smaller than its header: what follows cannot be read
        if (size > to - from) {
            size = to - from;
            box.cut = true;
        }
        box.size = size;
        boxes.push_back(box);
        from += size;
    }
    return boxes;
}

std::optional<Box> Reader::First(const std::vector<Box>& boxes, uint32_t type) {
    for (const Box& b : boxes)
        if (b.type == type)
            return b;
    return std::nullopt;
}

std::optional<Box> Reader::Find(std::initializer_list<uint32_t> path) {
    std::optional<Box> at;
    for (const uint32_t type : path) {
        at = First(at ? Children(*at) : TopLevel(), type);
        if (!at)
            return std::nullopt;
    }
    return at;
}

QString MissingIndex(const QString& path) {
    Reader file(path);
    const std::vector<Box> top = file.TopLevel(1 << 16);
    const std::optional<Box> moov = Reader::First(top, Type("moov"));
    if (!file.IsOpen() || !Reader::First(top, Type("mdat")))
        return {};
    if (moov && moov->cut)
        return QStringLiteral("the recording was cut off while its index (moov) was written, as "
                              "when a recorder loses power as it closes the file: it cannot be "
                              "played");
    if (moov)
        return {};
    return QStringLiteral("the recording was cut off before its index (moov) was written, as "
                          "when a recorder loses power while it records: it cannot be played");
}

// The bounds are checked as `at > size - n`: `at + n` would overflow near INT_MAX.
uint32_t Be32(const QByteArray& b, int at) {
    if (at < 0 || at > b.size() - 4)
        return 0;
    const auto* p = reinterpret_cast<const uint8_t*>(b.constData() + at);
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

uint64_t Be64(const QByteArray& b, int at) {
    return uint64_t(Be32(b, at)) << 32 | Be32(b, at + 4);
}

uint16_t Be16(const QByteArray& b, int at) {
    if (at < 0 || at > b.size() - 2)
        return 0;
    return uint16_t(uint8_t(b[at]) << 8 | uint8_t(b[at + 1]));
}

uint32_t Le32(const QByteArray& b, int at) {
    if (at < 0 || at > b.size() - 4)
        return 0;
    const auto* p = reinterpret_cast<const uint8_t*>(b.constData() + at);
    return uint32_t(p[3]) << 24 | uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0];
}

float LeFloat(const QByteArray& b, int at) {
    const uint32_t bits = Le32(b, at);
    float value = 0;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

std::vector<Sample> TrackSamples(Reader& file, uint32_t format, size_t limit) {
    const auto moov = file.Find({Type("moov")});
    if (!moov)
        return {};
    for (const Box& trak : file.Children(*moov)) {
        if (trak.type != Type("trak"))
            continue;
        const auto mdia = Reader::First(file.Children(trak), Type("mdia"));
        if (!mdia)
            continue;
        const std::vector<Box> inMdia = file.Children(*mdia);
        const auto mdhd = Reader::First(inMdia, Type("mdhd"));
        const auto minf = Reader::First(inMdia, Type("minf"));
        const auto stbl =
            minf ? Reader::First(file.Children(*minf), Type("stbl")) : std::optional<Box>();
        if (!mdhd || !stbl)
            continue;
        const std::vector<Box> tables = file.Children(*stbl);
        const auto stsd = Reader::First(tables, Type("stsd"));
        const QByteArray description = stsd ? file.Payload(*stsd, 64) : QByteArray();
        // version/flags, entry count, then the first entry: size, format.
        if (Be32(description, 12) != format)
            continue;
        const QByteArray header = file.Payload(*mdhd, 64);
        const bool v1 = header.size() > 0 && uint8_t(header[0]) == 1;
        const uint32_t scale = Be32(header, v1 ? 20 : 12);
        if (scale == 0)
            return {};
        const auto table = [&](const char(&name)[5], uint64_t cap) {
            const auto box = Reader::First(tables, Type(name));
            return box ? file.Payload(*box, cap) : QByteArray();
        };
        constexpr uint64_t kTableBytes = 64 << 20;
        const QByteArray stsz = table("stsz", kTableBytes);
        const QByteArray stsc = table("stsc", kTableBytes);
        const QByteArray stts = table("stts", kTableBytes);
        QByteArray stco = table("stco", kTableBytes);
        const bool wide = stco.isEmpty();
        if (wide)
            stco = table("co64", kTableBytes);
        // Counts no further than their tables hold: entries past a table's end (a count
        // damaged, a table cut short) are not there to read.
        const auto entries = [](const QByteArray& t, int header, int entry) {
            return std::min<uint64_t>(Be32(t, header - 4),
                                      uint64_t(std::max<qsizetype>(t.size() - header, 0)) / entry);
        };
        // Sizes: one for all, or one each.
        const uint32_t fixed = Be32(stsz, 4);
        const uint64_t count =
            std::min<uint64_t>(fixed ? Be32(stsz, 8) : entries(stsz, 12, 4), limit);
        std::vector<Sample> samples;
        samples.reserve(std::min<size_t>(count, 1 << 16));
        // Chunks and the samples each holds (stsc runs).
        const uint64_t chunks = entries(stco, 8, wide ? 8 : 4);
        const uint64_t runs = entries(stsc, 8, 12);
        // One track's samples never overlap, so those within the file add up to no more than
        // it (an empty one counted as a byte): past that, the tables are damaged and would have
        // the same bytes read again and again.
        uint64_t total = 0;
        uint64_t sample = 0, run = 0;
        uint32_t perChunk = 0;
        for (uint64_t chunk = 0; chunk < chunks && sample < count && total <= file.Size();
             ++chunk) {
            // The runs in order of their first chunk: each holds until the next begins.
            for (; run < runs && Be32(stsc, 8 + int(run) * 12) <= chunk + 1; ++run)
                perChunk = Be32(stsc, 8 + int(run) * 12 + 4);
            uint64_t offset =
                wide ? Be64(stco, 8 + int(chunk) * 8) : Be32(stco, 8 + int(chunk) * 4);
            for (uint32_t i = 0; i < perChunk && sample < count; ++i, ++sample) {
                const uint32_t size = fixed ? fixed : Be32(stsz, 12 + int(sample) * 4);
                if (offset >= file.Size())
                    break;
                total += std::clamp<uint64_t>(size, 1, file.Size() - offset);
                if (total > file.Size())
                    break;
                samples.push_back({offset, size, 0, 0});
                offset += size;
            }
        }
        // Times: runs of (count, delta) in the media's time scale.
        uint64_t ticks = 0;
        size_t next = 0;
        const uint64_t timeRuns = entries(stts, 8, 8);
        for (uint64_t r = 0; r < timeRuns && next < samples.size(); ++r) {
            const uint32_t n = Be32(stts, 8 + int(r) * 8), delta = Be32(stts, 12 + int(r) * 8);
            for (uint32_t i = 0; i < n && next < samples.size(); ++i, ++next) {
                samples[next].time = double(ticks) / scale;
                samples[next].duration = double(delta) / scale;
                ticks += delta;
            }
        }
        return samples;
    }
    return {};
}

} // namespace Mp4
