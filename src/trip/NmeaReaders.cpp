// SPDX-License-Identifier: GPL-3.0-or-later
// Trips as NMEA text: a "free" box of "gps " lines (with "3gf " G records and the "sttm" start)
// inside the MP4, the same as NAME.gps / NAME.3gf beside it, or a plain NAME.nmea beside it.
#include "trip/CameraReaders.h"

#include "card/CardFiles.h"
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
    return CardFiles::Beside(recording, extension);
}

// No more than the file holds: a read asked for more reserves twice what it was asked for.
QByteArray ReadAll(QFile& file) {
    return file.read(std::min(file.size(), kMaxText));
}

QByteArray ReadAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? ReadAll(file) : QByteArray();
}

// 10-byte big-endian records: time in ms into the recording (32 bits hold no calendar time),
// then x, y, z in tenths of g. Read where they lie, not copied: a damaged side file can be tens
// of megabytes.
class GRecords {
public:
    explicit GRecords(const QByteArray& records) : m_records(records) {}
    qsizetype Count() const { return m_records.size() / 10; }
    double Time(qsizetype k) const { return Mp4::Be32(m_records, int(k * 10)) / 1000.0; }
    double Axis(qsizetype k, int i) const {
        return int16_t(Mp4::Be16(m_records, int(k * 10 + 4 + 2 * i))) / 10.0;
    }

private:
    const QByteArray& m_records;
};

// No record takes more of a line; what is longer is lines run together or garbage.
constexpr qsizetype kMaxLine = 1024;

// NMEA lines into samples: each RMC at its time, which "[ms]" before it gives (from `startMs`),
// else the time from the first fix's clock. G from the record nearest in time.
void AddFixes(const QByteArray& text, std::optional<double> startMs, const QByteArray& records,
              TripTrack& track) {
    const GRecords g(records);
    std::optional<QDateTime> first;
    qsizetype nearest = 0;
    for (qsizetype begin = 0; begin < text.size();) {
        qsizetype end = text.indexOf('\n', begin);
        if (end < 0)
            end = text.size();
        // Each line where it lies, at most kMaxLine of it (too long to pass its checksum): a
        // split copy of a damaged file would take many times its size.
        QByteArray line =
            QByteArray::fromRawData(text.constData() + begin, std::min(end - begin, kMaxLine))
                .trimmed();
        begin = end + 1;
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
        if (g.Count() > 0) {
            // The record nearest in time (both run forward).
            while (nearest + 1 < g.Count() &&
                   std::abs(g.Time(nearest + 1) - s.time) <= std::abs(g.Time(nearest) - s.time))
                ++nearest;
            s.accelX = g.Axis(nearest, 0);
            s.accelY = g.Axis(nearest, 1);
            s.accelZ = g.Axis(nearest, 2);
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
        AddFixes(text, startMs, records, track);
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
        AddFixes(ReadAll(file), std::nullopt, {}, track);
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
