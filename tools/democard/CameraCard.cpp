// SPDX-License-Identifier: GPL-3.0-or-later
#include "CameraCard.h"

#include <QDateTime>
#include <QtEndian>
#include <cmath>
#include <cstring>

namespace democard {

namespace {

constexpr double kKnotKmh = 1.852;
constexpr double kGravity = 9.80665;

void PutBe32(QByteArray& b, uint32_t v) {
    const uint32_t be = qToBigEndian(v);
    b.append(reinterpret_cast<const char*>(&be), 4);
}
void PutBe16(QByteArray& b, uint16_t v) {
    const uint16_t be = qToBigEndian(v);
    b.append(reinterpret_cast<const char*>(&be), 2);
}
void PutBe64(QByteArray& b, uint64_t v) {
    PutBe32(b, uint32_t(v >> 32));
    PutBe32(b, uint32_t(v));
}
void PutLe32(QByteArray& b, uint32_t v) {
    const uint32_t le = qToLittleEndian(v);
    b.append(reinterpret_cast<const char*>(&le), 4);
}
void PutLeFloat(QByteArray& b, float f) {
    uint32_t bits = 0;
    std::memcpy(&bits, &f, 4);
    PutLe32(b, bits);
}
uint32_t Be32At(const QByteArray& b, qsizetype at) {
    return qFromBigEndian<uint32_t>(b.constData() + at);
}

QByteArray Box(const char* type, const QByteArray& payload) {
    QByteArray b;
    PutBe32(b, uint32_t(8 + payload.size()));
    b.append(type, 4);
    return b + payload;
}

struct TopBox {
    qsizetype at = -1, size = 0;
};
TopBox FindTop(const QByteArray& file, const char* type) {
    for (qsizetype at = 0; at + 8 <= file.size();) {
        const qsizetype size = Be32At(file, at);
        if (size < 8)
            break;
        if (std::memcmp(file.constData() + at + 4, type, 4) == 0)
            return {at, size};
        at += size;
    }
    return {};
}

// The drive once a second (the samples at whole seconds), and every sample.
struct Fix {
    double t;
    TripSample s;
};
QList<Fix> Fixes(const Recording& rec, int perSecond) {
    const QList<TripSample> all = tripSamples(rec, rec.seed);
    const int rate = std::max(1, rec.samplesPerSecond);
    QList<Fix> fixes;
    const int step = std::max(1, rate / perSecond);
    for (int k = 0; k < all.size(); k += step)
        fixes.append({double(k) / rate, all[k]});
    return fixes;
}

// DDMM.mmmm of a coordinate's magnitude.
double DegreesMinutes(double value) {
    const double magnitude = std::abs(value);
    const double degrees = std::floor(magnitude);
    return degrees * 100 + (magnitude - degrees) * 60;
}

QByteArray NmeaSentence(const QByteArray& body) {
    uint8_t sum = 0;
    for (const char c : body)
        sum ^= uint8_t(c);
    return "$" + body + "*" + QByteArray::number(sum, 16).toUpper().rightJustified(2, '0');
}

QByteArray Rmc(const QDateTime& utc, const TripSample& s) {
    const auto angle = [](double v, int width) {
        return QByteArray::number(DegreesMinutes(v), 'f', 4).rightJustified(width + 5, '0');
    };
    const QByteArray body =
        "GPRMC," + utc.toString(QStringLiteral("HHmmss.zz")).left(9).toLatin1() + ",A," +
        angle(s.latitude, 4) + "," + (s.latitude < 0 ? "S" : "N") + "," + angle(s.longitude, 5) +
        "," + (s.longitude < 0 ? "W" : "E") + "," + QByteArray::number(s.speed / kKnotKmh, 'f', 3) +
        ",0.0," + utc.toString(QStringLiteral("ddMMyy")).toLatin1() + ",,,A";
    return NmeaSentence(body);
}

// The moov box with `child` placed right after its mvhd (where readers look for an index), and
// what follows it in the file shifted by as much.
QByteArray WithMoovChild(const QByteArray& file, const QByteArray& child) {
    const TopBox moov = FindTop(file, "moov");
    if (moov.at < 0 || moov.at + moov.size != file.size())
        return {}; // ffmpeg writes moov last unless told otherwise
    QByteArray inner = file.mid(moov.at + 8, moov.size - 8);
    const qsizetype mvhd = Be32At(inner, 0);
    inner.insert(mvhd, child);
    return file.left(moov.at) + Box("moov", inner);
}

QByteArray Novatek(const QByteArray& video, const Recording& rec) {
    const QList<Fix> fixes = Fixes(rec, 1);
    constexpr int kBlock = 0x8000;
    QByteArray index;
    PutBe32(index, 0);
    PutBe32(index, uint32_t(fixes.size()));
    // The index's size is known before the offsets are: a placeholder first.
    const QByteArray probe =
        WithMoovChild(video, Box("gps ", index + QByteArray(8 * fixes.size(), 0)));
    if (probe.isEmpty())
        return {};
    for (int k = 0; k < fixes.size(); ++k) {
        PutBe32(index, uint32_t(probe.size() + k * kBlock));
        PutBe32(index, kBlock);
    }
    QByteArray out = WithMoovChild(video, Box("gps ", index));
    for (const Fix& f : fixes) {
        const QDateTime utc = rec.start.toUTC().addMSecs(qint64(f.t * 1000));
        QByteArray b;
        PutBe32(b, kBlock);
        b += "freeGPS ";
        PutLe32(b, 0);
        for (const int v : {utc.time().hour(), utc.time().minute(), utc.time().second(),
                            utc.date().year() - 2000, utc.date().month(), utc.date().day()})
            PutLe32(b, uint32_t(v));
        b += 'A';
        b += f.s.latitude < 0 ? 'S' : 'N';
        b += f.s.longitude < 0 ? 'W' : 'E';
        b += '\0';
        PutLeFloat(b, float(DegreesMinutes(f.s.latitude)));
        PutLeFloat(b, float(DegreesMinutes(f.s.longitude)));
        PutLeFloat(b, float(f.s.speed / kKnotKmh));
        PutLeFloat(b, 90.0f);
        for (const double g : {f.s.accelX, f.s.accelY, f.s.accelZ})
            PutLe32(b, uint32_t(int32_t(std::lround(g * 256))));
        b.resize(kBlock, '\0');
        out += b;
    }
    return out;
}

QByteArray FreeBoxNmea(const QByteArray& video, const Recording& rec) {
    const qint64 startMs = rec.start.toUTC().toMSecsSinceEpoch();
    QByteArray sttm, text, g;
    PutBe64(sttm, uint64_t(startMs));
    for (const Fix& f : Fixes(rec, 1))
        text += "[" + QByteArray::number(startMs + qint64(f.t * 1000)) + "]" +
                Rmc(rec.start.toUTC().addMSecs(qint64(f.t * 1000)), f.s) + "\r\n";
    for (const Fix& f : Fixes(rec, rec.samplesPerSecond)) {
        PutBe32(g, uint32_t(std::lround(f.t * 1000)));
        for (const double v : {f.s.accelX, f.s.accelY, f.s.accelZ})
            PutBe16(g, uint16_t(int16_t(std::lround(v * 10))));
    }
    return video + Box("free", Box("sttm", sttm) + Box("gps ", text + QByteArray(1, '\0')) +
                                   Box("3gf ", g));
}

// GPMF: key, type, size of one value, how many; the data padded to 32 bits.
QByteArray Klv(const char* key, char type, int size, int repeat, const QByteArray& data) {
    QByteArray b(key, 4);
    b += type;
    b += char(size);
    PutBe16(b, uint16_t(repeat));
    b += data;
    while (b.size() % 4)
        b += '\0';
    return b;
}
QByteArray Nest(const char* key, const QByteArray& content) {
    return Klv(key, '\0', 4, int(content.size() / 4), content);
}

QByteArray Gpmf(const QByteArray& video, const Recording& rec) {
    // One sample a second: the fixes at 10 a second, the accelerometer as logged.
    const QList<Fix> fixes = Fixes(rec, 10);
    const QList<Fix> accel = Fixes(rec, rec.samplesPerSecond);
    QList<QByteArray> samples;
    for (int second = 0; second < rec.seconds; ++second) {
        QByteArray gps5, accl;
        int n = 0, m = 0;
        for (const Fix& f : fixes)
            if (f.t >= second && f.t < second + 1) {
                for (const double v : {f.s.latitude * 1e7, f.s.longitude * 1e7, 50.0 * 1000,
                                       f.s.speed / 3.6 * 1000, f.s.speed / 3.6 * 100})
                    PutBe32(gps5, uint32_t(int32_t(std::lround(v))));
                ++n;
            }
        for (const Fix& f : accel)
            if (f.t >= second && f.t < second + 1) {
                for (const double v : {f.s.accelX, f.s.accelY, f.s.accelZ})
                    PutBe16(accl, uint16_t(int16_t(std::lround(v * kGravity * 1000))));
                ++m;
            }
        const QDateTime utc = rec.start.toUTC().addSecs(second);
        QByteArray scale;
        for (const uint32_t s : {10000000u, 10000000u, 1000u, 1000u, 100u})
            PutBe32(scale, s);
        QByteArray fix, precision, accelScale;
        PutBe32(fix, 3);
        PutBe16(precision, 100);
        PutBe16(accelScale, 1000);
        const QByteArray gpsStream =
            Klv("GPSF", 'L', 4, 1, fix) +
            Klv("GPSU", 'U', 16, 1, utc.toString(QStringLiteral("yyMMddHHmmss.zzz")).toLatin1()) +
            Klv("GPSP", 'S', 2, 1, precision) + Klv("SCAL", 'l', 4, 5, scale) +
            Klv("GPS5", 'l', 20, n, gps5);
        const QByteArray accelStream = Klv("SIUN", 'c', 4, 1, "m/s2") +
                                       Klv("SCAL", 's', 2, 1, accelScale) +
                                       Klv("ACCL", 's', 6, m, accl);
        QByteArray id;
        PutBe32(id, 1);
        samples.append(Nest("DEVC", Klv("DVID", 'L', 4, 1, id) + Klv("DVNM", 'c', 6, 1, "Camera") +
                                        Nest("STRM", gpsStream) + Nest("STRM", accelStream)));
    }
    // The samples go into an mdat of their own after moov; the track's tables point there.
    QByteArray stts, stsc, stsz, stco;
    PutBe32(stts, 0);
    PutBe32(stts, 1);
    PutBe32(stts, uint32_t(samples.size()));
    PutBe32(stts, 1000);
    PutBe32(stsc, 0);
    PutBe32(stsc, 1);
    for (const uint32_t v : {1u, 1u, 1u})
        PutBe32(stsc, v);
    PutBe32(stsz, 0);
    PutBe32(stsz, 0);
    PutBe32(stsz, uint32_t(samples.size()));
    for (const QByteArray& s : samples)
        PutBe32(stsz, uint32_t(s.size()));
    QByteArray entry(6, '\0');
    PutBe16(entry, 1); // data reference
    entry += QByteArray(4, '\0');
    QByteArray stsd;
    PutBe32(stsd, 0);
    PutBe32(stsd, 1);
    stsd += Box("gpmd", entry);
    const auto trak = [&](const QByteArray& offsets) {
        QByteArray tkhd(84, '\0');
        tkhd[3] = 3;  // enabled, in the movie
        tkhd[15] = 2; // track 2
        QByteArray mdhd;
        PutBe32(mdhd, 0);
        PutBe32(mdhd, 0);
        PutBe32(mdhd, 0);
        PutBe32(mdhd, 1000);
        PutBe32(mdhd, uint32_t(samples.size() * 1000));
        PutBe32(mdhd, 0x55c40000); // language und
        QByteArray hdlr(8, '\0');
        hdlr += "meta";
        hdlr += QByteArray(12, '\0');
        hdlr += QByteArray("GoPro MET") + '\0';
        QByteArray dref;
        PutBe32(dref, 0);
        PutBe32(dref, 1);
        QByteArray url;
        PutBe32(url, 1); // self-contained
        dref += Box("url ", url);
        return Box(
            "trak",
            Box("tkhd", tkhd) +
                Box("mdia",
                    Box("mdhd", mdhd) + Box("hdlr", hdlr) +
                        Box("minf", Box("nmhd", QByteArray(4, '\0')) +
                                        Box("dinf", Box("dref", dref)) +
                                        Box("stbl", Box("stsd", stsd) + Box("stts", stts) +
                                                        Box("stsc", stsc) + Box("stsz", stsz) +
                                                        Box("stco", offsets)))));
    };
    QByteArray placeholder;
    PutBe32(placeholder, 0);
    PutBe32(placeholder, uint32_t(samples.size()));
    placeholder += QByteArray(4 * samples.size(), '\0');
    const TopBox moov = FindTop(video, "moov");
    if (moov.at < 0 || moov.at + moov.size != video.size())
        return {};
    const qsizetype moovSize = moov.size + trak(placeholder).size();
    qint64 at = moov.at + moovSize + 8; // past the new mdat's header
    QByteArray offsets;
    PutBe32(offsets, 0);
    PutBe32(offsets, uint32_t(samples.size()));
    QByteArray data;
    for (const QByteArray& s : samples) {
        PutBe32(offsets, uint32_t(at));
        at += s.size();
        data += s;
    }
    const QByteArray newMoov = Box("moov", video.mid(moov.at + 8, moov.size - 8) + trak(offsets));
    return video.left(moov.at) + newMoov + Box("mdat", data);
}

// The movie box as such a camera writes it: without the encoder's tag ffmpeg adds (udta).
QByteArray WithoutUdta(const QByteArray& file) {
    const TopBox moov = FindTop(file, "moov");
    if (moov.at < 0 || moov.at + moov.size != file.size())
        return {};
    QByteArray inner;
    for (qsizetype at = moov.at + 8; at + 8 <= file.size();) {
        const qsizetype size = Be32At(file, at);
        if (size < 8)
            break;
        if (std::memcmp(file.constData() + at + 4, "udta", 4) != 0)
            inner += file.mid(at, size);
        at += size;
    }
    return file.left(moov.at) + Box("moov", inner);
}

QByteArray GpsBoxLayout(const QByteArray& video, const Recording& rec) {
    // The recording's start as its creation time (mvhd, seconds since 1904): the records count
    // seconds from it.
    QByteArray out = WithoutUdta(video);
    const TopBox moov = FindTop(out, "moov");
    if (moov.at < 0)
        return {};
    const qsizetype mvhd = moov.at + 8;
    const uint32_t created =
        uint32_t(QDateTime(QDate(1904, 1, 1), QTime(0, 0), Qt::UTC).secsTo(rec.start.toUTC()));
    const uint32_t be = qToBigEndian(created);
    std::memcpy(out.data() + mvhd + 12, &be, 4);
    std::memcpy(out.data() + mvhd + 16, &be, 4);
    QByteArray records;
    for (const Fix& f : Fixes(rec, 1)) {
        PutLe32(records, 1);
        PutLe32(records, 1);
        PutLe32(records, uint32_t(std::lround(f.t)));
        PutLe32(records, uint32_t(std::lround(f.s.speed * 1000)));
        records += f.s.latitude < 0 ? 'S' : 'N';
        PutLe32(records, uint32_t(std::lround(DegreesMinutes(f.s.latitude) * 1000)));
        records += f.s.longitude < 0 ? 'W' : 'E';
        PutLe32(records, uint32_t(std::lround(DegreesMinutes(f.s.longitude) * 1000)));
        records += QByteArray(10, '\0');
    }
    return out + Box("GPS ", records + QByteArray(4, '\0'));
}

Recording Camera(const QString& name, int seconds, const char* codec, int seed, QDateTime start) {
    Recording r;
    r.name = name;
    r.seconds = seconds;
    r.width = 640;
    r.height = 360;
    r.fps = 30;
    r.videoCodec = QString::fromLatin1(codec);
    r.audioCodec = QStringLiteral("aac");
    r.samplesPerSecond = 10;
    r.start = start;
    r.clockAhead = 2 * 3600; // the camera keeps local time, as its file names say
    r.seed = seed;
    return r;
}

} // namespace

QString nmeaName(const QString& path) {
    return path.left(path.lastIndexOf(QLatin1Char('.'))) + QStringLiteral(".NMEA");
}

QByteArray nmeaText(const Recording& rec) {
    QByteArray text;
    for (const Fix& f : Fixes(rec, 1))
        text += Rmc(rec.start.toUTC().addMSecs(qint64(f.t * 1000)), f.s) + "\r\n";
    return text;
}

QByteArray withTrip(const QByteArray& video, const Recording& rec, TripLayout layout) {
    switch (layout) {
    case TripLayout::Novatek:
        return Novatek(video, rec);
    case TripLayout::FreeBoxNmea:
        return FreeBoxNmea(video, rec);
    case TripLayout::Gpmf:
        return Gpmf(video, rec);
    case TripLayout::GpsBox:
        return GpsBoxLayout(video, rec);
    case TripLayout::None:
    case TripLayout::NmeaBeside:
        return video;
    }
    return video;
}

QList<CameraRecording> cameraRecordings() {
    // One drive, minute after minute, on the camera's clock (local time two hours east).
    const QDateTime start(QDate(2026, 5, 20), QTime(12, 30, 0), Qt::UTC);
    const auto at = [&](int minute) { return start.addSecs(60 * minute); };
    QList<CameraRecording> all;
    const auto add = [&](const QString& path, Recording r, TripLayout layout) {
        r.name = path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
        all.append({path, r, layout});
    };
    // Front and rear of one recorder: Novatek blocks in the front files only; the rear starts
    // a second later. The second pair was locked by a jolt.
    Recording front = Camera(QString(), 20, "libx264", 41, at(0));
    front.jolts = {{12, 'Z', 3.4}};
    Recording rear = front;
    rear.start = front.start.addSecs(1);
    add(QStringLiteral("Movie/2026_0520_143000_0001F.MP4"), front, TripLayout::Novatek);
    add(QStringLiteral("Movie/2026_0520_143001_0001R.MP4"), rear, TripLayout::None);
    Recording locked = Camera(QString(), 20, "libx264", 42, at(1));
    locked.jolts = {{8, 'X', -2.9}};
    add(QStringLiteral("RO/2026_0520_143100_0002F.MP4"), locked, TripLayout::Novatek);
    add(QStringLiteral("20260520_143200_NF.mp4"), Camera(QString(), 15, "libx264", 43, at(2)),
        TripLayout::FreeBoxNmea);
    Recording action = Camera(QString(), 15, "libx265", 44, at(3));
    add(QStringLiteral("GX010044.MP4"), action, TripLayout::Gpmf);
    add(QStringLiteral("NO20260520-143400-000045.MP4"), Camera(QString(), 15, "libx264", 45, at(4)),
        TripLayout::GpsBox);
    add(QStringLiteral("2026_0520_143500.MP4"), Camera(QString(), 15, "libx264", 46, at(5)),
        TripLayout::NmeaBeside);
    return all;
}

} // namespace democard
