// SPDX-License-Identifier: GPL-3.0-or-later
// Trips in the GPMF metadata track of action cameras: GPS5 or GPS9 fixes with the ACCL
// accelerometer, each stream's values divided by its SCAL.
#include "trip/CameraReaders.h"

#include "formats/FileKind.h"
#include "formats/Mp4Boxes.h"
#include "trip/TripReader.h"

#include <QDateTime>
#include <cmath>
#include <cstring>

namespace {

constexpr double kGravity = 9.80665;
constexpr uint64_t kMaxSampleBytes = 4 << 20;

// One KLV item: key, type, the size of one value and how many there are.
struct Item {
    uint32_t key = 0;
    char type = 0;
    int size = 0, repeat = 0;
    const uint8_t* data = nullptr;
};

// The items of a KLV buffer, in order; a nested one (type 0) is walked by the caller.
std::vector<Item> Items(const uint8_t* p, size_t length) {
    std::vector<Item> items;
    size_t at = 0;
    while (at + 8 <= length) {
        Item item;
        item.key = uint32_t(p[at]) << 24 | uint32_t(p[at + 1]) << 16 | uint32_t(p[at + 2]) << 8 |
                   p[at + 3];
        item.type = char(p[at + 4]);
        item.size = p[at + 5];
        item.repeat = p[at + 6] << 8 | p[at + 7];
        const size_t bytes = size_t(item.size) * size_t(item.repeat);
        const size_t padded = (bytes + 3) & ~size_t(3);
        if (item.key == 0 || at + 8 + bytes > length)
            break;
        item.data = p + at + 8;
        items.push_back(item);
        at += 8 + padded;
    }
    return items;
}

// Value `i` of a structure element of `type` at `p`, as a double.
double Value(char type, const uint8_t* p) {
    switch (type) {
    case 'b':
        return int8_t(p[0]);
    case 'B':
        return p[0];
    case 's':
        return int16_t(p[0] << 8 | p[1]);
    case 'S':
        return uint16_t(p[0] << 8 | p[1]);
    case 'l':
        return int32_t(uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3]);
    case 'L':
        return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
    case 'f': {
        const uint32_t bits =
            uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
        float f = 0;
        std::memcpy(&f, &bits, 4);
        return f;
    }
    default:
        return 0;
    }
}

int TypeSize(char type) {
    switch (type) {
    case 'b':
    case 'B':
    case 'c':
        return 1;
    case 's':
    case 'S':
        return 2;
    case 'l':
    case 'L':
    case 'f':
        return 4;
    default:
        return 0;
    }
}

// The values of a data item, row by row: `types` gives each element's type (one type for
// all where the item's own type is not '?').
std::vector<std::vector<double>> Rows(const Item& item, const QByteArray& types) {
    std::vector<std::vector<double>> rows;
    if (item.size == 0)
        return rows; // rows of nothing, however many it claims
    for (int r = 0; r < item.repeat; ++r) {
        const uint8_t* row = item.data + size_t(r) * size_t(item.size);
        std::vector<double> values;
        int at = 0;
        if (item.type == '?') {
            for (const char t : types) {
                if (at + TypeSize(t) > item.size)
                    break;
                values.push_back(Value(t, row + at));
                at += TypeSize(t);
            }
        } else if (const int step = TypeSize(item.type)) {
            for (; at + step <= item.size; at += step)
                values.push_back(Value(item.type, row + at));
        }
        rows.push_back(std::move(values));
    }
    return rows;
}

// GPSU's "yymmddhhmmss.sss" (16 characters, UTC); invalid where it is not that.
QDateTime GpsuTime(const char* text) {
    int v[7] = {};
    const int at[7] = {0, 2, 4, 6, 8, 10, 13};
    for (int k = 0; k < 7; ++k) {
        const int digits = k == 6 ? 3 : 2;
        for (int i = 0; i < digits; ++i) {
            const char c = text[at[k] + i];
            if (c < '0' || c > '9')
                return {};
            v[k] = v[k] * 10 + (c - '0');
        }
    }
    if (text[12] != '.')
        return {};
    const QDate day(2000 + v[0], v[1], v[2]);
    const QTime time(v[3], v[4], v[5], v[6]);
    return day.isValid() && time.isValid() ? QDateTime(day, time, Qt::UTC) : QDateTime();
}

// A fix type (0 none, 2 2D, 3 3D) from a value as read: none where it is no such number (a
// row too short gives NaN, which no int holds).
int FixType(double value) {
    return std::isfinite(value) && value >= 0 && value <= 3 ? int(value) : 0;
}

struct Stream {
    std::vector<double> scale;
    QByteArray types;
    std::vector<std::vector<double>> gps, accel;
    int fix = 3;
    bool gps9 = false;
    QDateTime utc;
};

void WalkStream(const Item& strm, Stream& s) {
    for (const Item& item : Items(strm.data, size_t(strm.size) * size_t(strm.repeat))) {
        const uint32_t k = item.key;
        if (k == Mp4::Type("SCAL"))
            for (const auto& row : Rows(item, {}))
                for (const double v : row)
                    s.scale.push_back(v);
        else if (k == Mp4::Type("TYPE"))
            s.types = QByteArray(reinterpret_cast<const char*>(item.data), item.size * item.repeat);
        else if (k == Mp4::Type("GPSF") && item.repeat > 0)
            s.fix = FixType(Value(item.type, item.data));
        else if (k == Mp4::Type("GPSU") && item.size >= 16)
            s.utc = GpsuTime(reinterpret_cast<const char*>(item.data));
        else if (k == Mp4::Type("GPS5"))
            s.gps = Rows(item, {});
        else if (k == Mp4::Type("GPS9")) {
            s.gps = Rows(item, s.types);
            s.gps9 = true;
        } else if (k == Mp4::Type("ACCL"))
            s.accel = Rows(item, {});
    }
    s.utc.setTimeSpec(Qt::UTC);
}

double Scaled(const std::vector<double>& row, const std::vector<double>& scale, size_t i) {
    const double divisor = scale.empty() ? 1 : scale[std::min(i, scale.size() - 1)];
    return i < row.size() && divisor != 0 ? row[i] / divisor : NAN;
}

class GpmfReader final : public TripReader {
public:
    QString Name() const override { return QStringLiteral("GPMF track"); }
    bool Probe(const QString& recording) const override {
        if (FileKind::Of(recording) != FileKind::Kind::Mp4)
            return false;
        Mp4::Reader file(recording);
        return !Mp4::TrackSamples(file, Mp4::Type("gpmd"), 1).empty();
    }
    bool Read(const QString& recording, double, TripTrack& track, QString* error) const override {
        Mp4::Reader file(recording);
        const std::vector<Mp4::Sample> samples = Mp4::TrackSamples(file, Mp4::Type("gpmd"));
        if (samples.empty()) {
            if (error)
                *error = QStringLiteral("no GPMF track");
            return false;
        }
        track = TripTrack{};
        track.source = recording;
        for (const Mp4::Sample& sample : samples) {
            // Cut off by the file's end (the recorder lost power): its items claim more than
            // there is.
            if (sample.offset + sample.size > file.Size()) {
                ++track.skipped[size_t(TripSample::Skip::Unreadable)];
                continue;
            }
            const QByteArray bytes =
                file.Read(sample.offset, std::min<uint64_t>(sample.size, kMaxSampleBytes));
            const auto* p = reinterpret_cast<const uint8_t*>(bytes.constData());
            Stream gps, accel;
            for (const Item& devc : Items(p, size_t(bytes.size()))) {
                if (devc.key != Mp4::Type("DEVC") || devc.type != 0)
                    continue;
                for (const Item& strm : Items(devc.data, size_t(devc.size) * size_t(devc.repeat))) {
                    if (strm.key != Mp4::Type("STRM") || strm.type != 0)
                        continue;
                    Stream s;
                    WalkStream(strm, s);
                    // The first of each: where a sample's size is damaged, what follows is the
                    // next second's.
                    if (!s.gps.empty() && gps.gps.empty())
                        gps = s;
                    if (!s.accel.empty() && accel.accel.empty())
                        accel = s;
                }
            }
            const size_t n = gps.gps.size();
            for (size_t i = 0; i < n; ++i) {
                TripSample s;
                const double part = double(i) / double(n);
                s.time = sample.time + part * sample.duration;
                const double latitude = Scaled(gps.gps[i], gps.scale, 0);
                const double longitude = Scaled(gps.gps[i], gps.scale, 1);
                s.speed = Scaled(gps.gps[i], gps.scale, 3) * 3.6; // m/s
                if (!std::isfinite(s.speed))
                    s.speed = 0;
                if (gps.utc.isValid()) {
                    const QDateTime at = gps.utc.addMSecs(qint64(part * sample.duration * 1000));
                    const QDate d = at.date();
                    const QTime t = at.time();
                    s.date = LoggedDate(d.year(), d.month(), d.day());
                    s.clock = LoggedClock(t.hour(), t.minute(), t.second(), t.msec());
                    s.clockIsUtc = true;
                }
                if (!accel.accel.empty()) {
                    const auto& row = accel.accel[std::min(
                        accel.accel.size() - 1, size_t(part * double(accel.accel.size())))];
                    // An axis that does not read (a short row, a zero scale) is left at 0 g.
                    const auto g = [&](size_t axis) {
                        const double v = Scaled(row, accel.scale, axis) / kGravity;
                        return std::isfinite(v) ? v : 0.0;
                    };
                    s.accelX = g(0);
                    s.accelY = g(1);
                    s.accelZ = g(2);
                }
                const int fix = gps.gps9 ? FixType(Scaled(gps.gps[i], {}, 8)) : gps.fix;
                if (!std::isfinite(latitude) || !std::isfinite(longitude)) {
                    ++track.skipped[size_t(TripSample::Skip::Unreadable)];
                    continue;
                }
                if (fix < 2 || (latitude == 0 && longitude == 0))
                    s.skip = TripSample::Skip::NoFix;
                else if (std::abs(latitude) > 90 || std::abs(longitude) > 180)
                    s.skip = TripSample::Skip::OutOfRange;
                else {
                    s.latitude = latitude;
                    s.longitude = longitude;
                }
                ++track.skipped[size_t(s.skip)];
                track.samples.push_back(s);
            }
        }
        return CameraReaders::Finish(track, error);
    }
};

} // namespace

namespace CameraReaders {

const TripReader& Gpmf() {
    static const GpmfReader reader;
    return reader;
}

} // namespace CameraReaders
