// SPDX-License-Identifier: GPL-3.0-or-later
// Trips as NMEA text: a "free" box of "gps " lines (with "3gf " G records and the "sttm" start)
// inside the MP4, the same as NAME.gps / NAME.3gf beside it, or a plain NAME.nmea beside it.
#include "trip/CameraReaders.h"

#include "formats/FileKind.h"
#include "formats/Mp4Boxes.h"
#include "trip/Nmea.h"
#include "trip/TripReader.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>

namespace {

constexpr qint64 kMaxText = 64 << 20;

// A file beside `recording` with its name and `extension` in any letter case.
QString Beside(const QString& recording, const QString& extension) {
    const QFileInfo info(recording);
    const QStringList found = info.absoluteDir().entryList(
        {info.completeBaseName() + QLatin1Char('.') + extension}, QDir::Files, QDir::Name);
    return found.isEmpty() ? QString() : info.absoluteDir().filePath(found.first());
}

QByteArray ReadAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.read(kMaxText) : QByteArray();
}

struct G {
    double time; // seconds into the recording
    double x, y, z;
};

// 10-byte big-endian records: time in ms into the recording (32 bits hold no calendar time),
// then x, y, z in tenths of g.
std::vector<G> ReadG(const QByteArray& records) {
    std::vector<G> g;
    for (int at = 0; at + 10 <= records.size(); at += 10) {
        const double ms = Mp4::Be32(records, at);
        const auto axis = [&](int i) { return int16_t(Mp4::Be16(records, at + 4 + 2 * i)) / 10.0; };
        g.push_back({ms / 1000.0, axis(0), axis(1), axis(2)});
    }
    return g;
}

// NMEA lines into samples: each RMC at its time, which "[ms]" before it gives (from `startMs`),
// else the time from the first fix's clock. G from the record nearest in time.
void AddFixes(const QByteArray& text, std::optional<double> startMs, const std::vector<G>& g,
              TripTrack& track) {
    std::optional<QDateTime> first;
    size_t nearest = 0;
    for (QByteArray line : text.split('\n')) {
        line = line.trimmed();
        if (line.isEmpty())
            continue;
        std::optional<double> ms;
        if (line.startsWith('[')) {
            const qsizetype close = line.indexOf(']');
            bool ok = false;
            const double value = line.mid(1, close - 1).toDouble(&ok);
            if (close > 0 && ok)
                ms = value;
            line = line.mid(close + 1);
        }
        if (!Nmea::IsSentence(line))
            continue;
        const std::optional<Nmea::Fix> fix = Nmea::ReadRmc(line);
        if (!fix) {
            // Only sentences that fail their checksum are left out as unreadable; other kinds
            // (GGA, GSA …) carry nothing the track keeps.
            if (!Nmea::ChecksumOk(line))
                ++track.skipped[size_t(TripSample::Skip::Unreadable)];
            continue;
        }
        TripSample s = fix->sample;
        if (!first)
            first = fix->utc;
        if (ms && !startMs)
            startMs = *ms;
        s.time = ms && startMs ? (*ms - *startMs) / 1000.0 : first->msecsTo(fix->utc) / 1000.0;
        if (!g.empty()) {
            // The record nearest in time (both run forward).
            while (nearest + 1 < g.size() &&
                   std::abs(g[nearest + 1].time - s.time) <= std::abs(g[nearest].time - s.time))
                ++nearest;
            const G* near = &g[nearest];
            s.accelX = near->x;
            s.accelY = near->y;
            s.accelZ = near->z;
        }
        ++track.skipped[size_t(s.skip)];
        track.samples.push_back(s);
    }
}

class FreeBoxNmeaReader final : public TripReader {
public:
    QString Name() const override { return QStringLiteral("NMEA in the file"); }
    QStringList Files(const QString& recording) const override {
        if (Box(recording))
            return {};
        QStringList files{Beside(recording, QStringLiteral("gps"))};
        if (const QString g = Beside(recording, QStringLiteral("3gf")); !g.isEmpty())
            files.append(g);
        return files;
    }
    bool Probe(const QString& recording) const override {
        if (!Beside(recording, QStringLiteral("gps")).isEmpty())
            return true;
        return FileKind::Of(recording) == FileKind::Kind::Mp4 && Box(recording).has_value();
    }
    bool Read(const QString& recording, double, TripTrack& track, QString* error) const override {
        track = TripTrack{};
        track.source = recording;
        QByteArray text, records;
        std::optional<double> startMs;
        if (const auto box = Box(recording)) {
            Mp4::Reader file(recording);
            for (const Mp4::Box& child : file.Children(*box)) {
                if (child.type == Mp4::Type("gps "))
                    text = file.Payload(child, kMaxText);
                else if (child.type == Mp4::Type("3gf "))
                    records = file.Payload(child, kMaxText);
                else if (child.type == Mp4::Type("sttm"))
                    startMs = double(Mp4::Be64(file.Payload(child, 8), 0));
            }
        } else {
            track.source = Beside(recording, QStringLiteral("gps"));
            text = ReadAll(track.source);
            records = ReadAll(Beside(recording, QStringLiteral("3gf")));
        }
        if (text.isEmpty()) {
            if (error)
                *error = QStringLiteral("no NMEA lines");
            return false;
        }
        AddFixes(text, startMs, ReadG(records), track);
        return CameraReaders::Finish(track, error);
    }

private:
    // The top-level "free" box that holds a "gps " box.
    static std::optional<Mp4::Box> Box(const QString& recording) {
        Mp4::Reader file(recording);
        for (const Mp4::Box& box : file.TopLevel(4096))
            if (box.type == Mp4::Type("free") && box.PayloadSize() >= 8 &&
                Mp4::Reader::First(file.Children(box, 16), Mp4::Type("gps ")))
                return box;
        return std::nullopt;
    }
};

class NmeaFileReader final : public TripReader {
public:
    QString Name() const override { return QStringLiteral("NMEA file"); }
    QStringList Files(const QString& recording) const override {
        return {Beside(recording, QStringLiteral("nmea"))};
    }
    bool Probe(const QString& recording) const override {
        return !Beside(recording, QStringLiteral("nmea")).isEmpty();
    }
    bool Read(const QString& recording, double, TripTrack& track, QString* error) const override {
        track = TripTrack{};
        track.source = Beside(recording, QStringLiteral("nmea"));
        QFile file(track.source);
        if (!file.open(QIODevice::ReadOnly)) {
            if (error)
                *error = file.errorString();
            return false;
        }
        AddFixes(file.read(kMaxText), std::nullopt, {}, track);
        return CameraReaders::Finish(track, error);
    }
};

} // namespace

namespace CameraReaders {

const TripReader& FreeBoxNmea() {
    static const FreeBoxNmeaReader reader;
    return reader;
}

const TripReader& NmeaFile() {
    static const NmeaFileReader reader;
    return reader;
}

} // namespace CameraReaders
