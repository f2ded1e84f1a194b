// SPDX-License-Identifier: GPL-3.0-or-later
// Trips inside MP4 files: Novatek "freeGPS " blocks and the 36-byte "GPS " box.
#include "trip/CameraReaders.h"

#include "formats/FileKind.h"
#include "formats/Mp4Boxes.h"
#include "geo/Wgs84.h"
#include "trip/TripReader.h"

#include <QDateTime>
#include <cmath>
#include <cstring>

namespace {

constexpr double kKnotKmh = 1.852;
// A block is 0x8000 bytes; the fields lie in its first hundred.
constexpr uint64_t kBlockHead = 128;
// Where a file has no index, the blocks are looked for among its top-level boxes and, failing
// that, in its bytes: this far at most.
constexpr uint64_t kScanBytes = uint64_t(2) << 30;
constexpr size_t kMaxBlocks = 200000;
// The blocks come once a second, so bytes this long without one hold no more (a preallocated
// file's unwritten tail): over 20 s of 100 Mbit/s video.
constexpr uint64_t kScanGap = 256 << 20;

// A logged DDMM.mmmm value as degrees and minutes.
Wgs84::Logged FromDegreesMinutes(double value, bool negative) {
    Wgs84::Logged a;
    const double magnitude = std::abs(value);
    a.degrees = std::floor(magnitude / 100);
    a.minutes = magnitude - a.degrees * 100;
    a.southOrWest = negative;
    return a;
}

bool Marks(const QByteArray& b, int at) {
    return at + 4 <= b.size() && (b[at] == 'A' || b[at] == 'V') &&
           (b[at + 1] == 'N' || b[at + 1] == 'S') && (b[at + 2] == 'E' || b[at + 2] == 'W');
}

// One block, from the start of its box: its sample, or none when it cannot be read.
std::optional<TripSample> ReadBlock(const QByteArray& b) {
    if (b.size() < 76 || std::memcmp(b.constData() + 4, "freeGPS ", 8) != 0)
        return std::nullopt;
    // The commonest layout has the status at 40; a variant has the same fields 32 bytes on.
    const int shift = Marks(b, 40) ? 0 : Marks(b, 72) ? 32 : -1;
    if (shift < 0 || b.size() < 72 + shift)
        return std::nullopt;
    using Mp4::Le32;
    TripSample s;
    const QDate day(2000 + int(Le32(b, 28 + shift)), int(Le32(b, 32 + shift)),
                    int(Le32(b, 36 + shift)));
    const QTime time(int(Le32(b, 16 + shift)), int(Le32(b, 20 + shift)), int(Le32(b, 24 + shift)));
    if (day.isValid() && time.isValid()) {
        s.date = LoggedDate(day.year(), day.month(), day.day());
        s.clock = LoggedClock(time.hour(), time.minute(), time.second());
        s.clockIsUtc = true;
    }
    const float latitude = Mp4::LeFloat(b, 44 + shift), longitude = Mp4::LeFloat(b, 48 + shift);
    const float speed = Mp4::LeFloat(b, 52 + shift), heading = Mp4::LeFloat(b, 56 + shift);
    if (!std::isfinite(latitude) || !std::isfinite(longitude) || !std::isfinite(speed))
        return std::nullopt;
    s.speed = std::max(0.0, double(speed) * kKnotKmh);
    if (std::isfinite(heading) && heading >= 0 && heading <= 360)
        s.heading = heading;
    s.accelX = int32_t(Le32(b, 60 + shift)) / 256.0;
    s.accelY = int32_t(Le32(b, 64 + shift)) / 256.0;
    s.accelZ = int32_t(Le32(b, 68 + shift)) / 256.0;
    if (b[40 + shift] != 'A') {
        s.skip = TripSample::Skip::NoFix;
        return s;
    }
    CameraReaders::SetPosition(s, FromDegreesMinutes(latitude, b[41 + shift] == 'S'),
                               FromDegreesMinutes(longitude, b[42 + shift] == 'W'));
    return s;
}

// Where the blocks are: the index in moov, else free boxes at the top, else a bounded scan.
std::vector<uint64_t> BlockOffsets(Mp4::Reader& file) {
    std::vector<uint64_t> offsets;
    if (const auto index = file.Find({Mp4::Type("moov"), Mp4::Type("gps ")})) {
        const QByteArray table = file.Payload(*index, 8 + uint64_t(kMaxBlocks) * 8);
        const uint32_t count = std::min<uint32_t>(Mp4::Be32(table, 4), (table.size() - 8) / 8);
        for (uint32_t i = 0; i < count; ++i)
            offsets.push_back(Mp4::Be32(table, 8 + int(i) * 8));
        if (!offsets.empty())
            return offsets;
    }
    for (const Mp4::Box& box : file.TopLevel(kMaxBlocks))
        if (box.type == Mp4::Type("free") && file.Read(box.Payload(), 4) == "GPS ")
            offsets.push_back(box.offset);
    if (!offsets.empty())
        return offsets;
    constexpr uint64_t kChunk = 4 << 20;
    const uint64_t end = std::min(file.Size(), kScanBytes);
    uint64_t found = 0; // where the last chunk with a block began
    for (uint64_t at = 0; at < end && at - found <= kScanGap && offsets.size() < kMaxBlocks;
         at += kChunk) {
        const QByteArray chunk = file.Read(at, kChunk + 8);
        for (qsizetype i = chunk.indexOf("freeGPS "); i >= 0; i = chunk.indexOf("freeGPS ", i + 1))
            if (i >= 4 && uint64_t(i) < kChunk + 4) {
                offsets.push_back(at + uint64_t(i) - 4);
                found = at;
            }
    }
    return offsets;
}

class NovatekReader final : public TripReader {
public:
    QString Name() const override { return QStringLiteral("GPS blocks in the file"); }
    bool Probe(const QString& recording) const override {
        if (FileKind::Of(recording) != FileKind::Kind::Mp4)
            return false;
        Mp4::Reader file(recording);
        if (file.Find({Mp4::Type("moov"), Mp4::Type("gps ")}))
            return true;
        for (const Mp4::Box& box : file.TopLevel(64))
            if (box.type == Mp4::Type("free") && file.Read(box.Payload(), 4) == "GPS ")
                return true;
        return false;
    }
    bool Read(const QString& recording, double, TripTrack& track, QString* error) const override {
        Mp4::Reader file(recording);
        if (!file.IsOpen()) {
            if (error)
                *error = QStringLiteral("cannot be opened");
            return false;
        }
        track = TripTrack{};
        track.source = recording;
        // One block a second.
        const std::vector<uint64_t> offsets = BlockOffsets(file);
        for (size_t k = 0; k < offsets.size(); ++k) {
            std::optional<TripSample> s = ReadBlock(file.Read(offsets[k], kBlockHead));
            if (!s) {
                ++track.skipped[size_t(TripSample::Skip::Unreadable)];
                continue;
            }
            s->time = double(k);
            ++track.skipped[size_t(s->skip)];
            track.samples.push_back(*s);
        }
        return CameraReaders::Finish(track, error);
    }
};

// 36-byte little-endian records: 1, fix flag, seconds into the recording, speed (m/h), then N/S,
// DDMM x 1000, E/W, DDDMM x 1000; the letters one byte each, or (some models) each padded to four.
class GpsBoxReader final : public TripReader {
public:
    QString Name() const override { return QStringLiteral("GPS box in the file"); }
    bool Probe(const QString& recording) const override {
        if (FileKind::Of(recording) != FileKind::Kind::Mp4)
            return false;
        Mp4::Reader file(recording);
        return Mp4::Reader::First(file.TopLevel(4096), Mp4::Type("GPS ")).has_value();
    }
    bool Read(const QString& recording, double, TripTrack& track, QString* error) const override {
        Mp4::Reader file(recording);
        const auto box = Mp4::Reader::First(file.TopLevel(4096), Mp4::Type("GPS "));
        if (!box) {
            if (error)
                *error = QStringLiteral("no GPS box");
            return false;
        }
        track = TripTrack{};
        track.source = recording;
        // The clock: the recording's creation time (mvhd, seconds since 1904, UTC) on.
        QDateTime created;
        if (const auto mvhd = file.Find({Mp4::Type("moov"), Mp4::Type("mvhd")})) {
            const QByteArray header = file.Payload(*mvhd, 32);
            const bool v1 = !header.isEmpty() && uint8_t(header[0]) == 1;
            const uint64_t seconds = v1 ? Mp4::Be64(header, 4) : Mp4::Be32(header, 4);
            if (seconds > 0)
                created =
                    QDateTime(QDate(1904, 1, 1), QTime(0, 0), Qt::UTC).addSecs(qint64(seconds));
        }
        const QByteArray records = file.Payload(*box, 36 * uint64_t(kMaxBlocks));
        for (int at = 0; at + 36 <= records.size(); at += 36) {
            using Mp4::Le32;
            const auto letter = [&](int i, char a, char b) {
                return records[at + i] == a || records[at + i] == b;
            };
            // Unpadded: N/S at 16, E/W at 21; padded: N/S at 16, E/W at 24.
            const bool padded = letter(24, 'E', 'W') && !letter(21, 'E', 'W');
            const int latAt = padded ? 20 : 17, ewAt = padded ? 24 : 21, lonAt = padded ? 28 : 22;
            if (Le32(records, at) != 1 || !letter(16, 'N', 'S') || !letter(ewAt, 'E', 'W')) {
                ++track.skipped[size_t(TripSample::Skip::Unreadable)];
                continue;
            }
            TripSample s;
            const uint32_t seconds = Le32(records, at + 8);
            s.time = double(seconds);
            s.speed = Le32(records, at + 12) / 1000.0;
            if (created.isValid()) {
                const QDateTime at = created.addSecs(seconds);
                const QDate d = at.date();
                const QTime t = at.time();
                s.date = LoggedDate(d.year(), d.month(), d.day());
                s.clock = LoggedClock(t.hour(), t.minute(), t.second());
                s.clockIsUtc = true;
            }
            if (Le32(records, at + 4) == 0)
                s.skip = TripSample::Skip::NoFix;
            else
                CameraReaders::SetPosition(
                    s,
                    FromDegreesMinutes(Le32(records, at + latAt) / 1000.0, records[at + 16] == 'S'),
                    FromDegreesMinutes(Le32(records, at + lonAt) / 1000.0,
                                       records[at + ewAt] == 'W'));
            ++track.skipped[size_t(s.skip)];
            track.samples.push_back(s);
        }
        return CameraReaders::Finish(track, error);
    }
};

} // namespace

namespace CameraReaders {

const TripReader& Novatek() {
    static const NovatekReader reader;
    return reader;
}

const TripReader& GpsBox() {
    static const GpsBoxReader reader;
    return reader;
}

} // namespace CameraReaders
