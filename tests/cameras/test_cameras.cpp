// SPDX-License-Identifier: GPL-3.0-or-later
// Other recorders' trips, read by our readers from the files our own writers made from the
// layouts' descriptions, held against independent readers of the same files: ExifTool for the
// trips inside MP4 files, gpsbabel for NMEA beside them. And one drive written in every layout
// reads back as one track.
#include "RunProgram.h"
#include "TestSupport.h"
#include "card/CameraClock.h"
#include "democard/CameraCard.h"
#include "trip/TripReader.h"

#include <QDir>
#include <QTemporaryDir>
#include <cmath>
#include <cstring>

namespace {

// ExifTool gives the times of the GPS box from the file's creation, in the zone it runs in.
Ran runUtc(const QString& program, const QStringList& args) {
    QProcessEnvironment utc;
    utc.insert("TZ", "UTC");
    return run(program, args, {}, utc);
}

double metres(double lat1, double lon1, double lat2, double lon2) {
    constexpr double kEarth = 6371000, kRad = M_PI / 180;
    const double x = (lon2 - lon1) * kRad * std::cos((lat1 + lat2) / 2 * kRad);
    const double y = (lat2 - lat1) * kRad;
    return std::hypot(x, y) * kEarth;
}

// What ExifTool decodes, document by document ("-ee -n -G3 -a -s"): each document's values of
// a tag in the order it prints them.
using Doc = QMap<QByteArray, QList<QByteArray>>;
QList<Doc> exifDocs(const QString& file) {
    const Ran r =
        runUtc("exiftool", {"-ee", "-n", "-G3", "-a", "-s", "-api", "QuickTimeUTC", file});
    QMap<int, Doc> docs;
    for (const QByteArray& line : r.out.split('\n')) {
        if (!line.startsWith("[Doc"))
            continue;
        const int number = line.mid(4, line.indexOf(']') - 4).toInt();
        const qsizetype colon = line.indexOf(" : ");
        const QByteArray tag =
            line.mid(line.indexOf(']') + 1, colon - line.indexOf(']') - 1).trimmed();
        docs[number][tag].append(line.mid(colon + 3).trimmed());
    }
    return docs.values();
}

// "2026:05:20 12:30:01Z" or "… 12:30:01.000" as our sample's date and clock say it.
bool sameTime(const QByteArray& exif, const TripSample& s) {
    const QByteArray date = exif.left(10).replace(':', '/');
    return date == s.date && exif.mid(11, 8) == s.clock.left(8);
}

const TripSample* sampleAt(const TripTrack& track, double time) {
    for (const TripSample& s : track.samples)
        if (std::abs(s.time - time) < 1e-6)
            return &s;
    return nullptr;
}

TripTrack readTrack(const QString& file) {
    TripTrack track;
    QString error;
    if (!TripReaders::Read(file, 0, track, &error))
        qWarning("%s: %s", qPrintable(file), qPrintable(error));
    return track;
}

} // namespace

class TestCameras : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // ExifTool's fixes (time, position, speed) and G values are ours, each matched by its time.
    void insideTheFileAsExifToolReadsIt_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<int>("layout");
        for (const democard::CameraRecording& c : democard::cameraRecordings())
            if (c.layout != democard::TripLayout::None &&
                c.layout != democard::TripLayout::NmeaBeside)
                QTest::newRow(qPrintable(c.path)) << cardFile("cameras/" + c.path) << int(c.layout);
    }

    void insideTheFileAsExifToolReadsIt() {
        QFETCH(QString, file);
        QFETCH(int, layout);
        const TripTrack track = readTrack(file);
        QVERIFY(track.samples.size() >= 10);
        const QList<Doc> docs = exifDocs(file);
        QVERIFY2(!docs.isEmpty(), qPrintable(file));
        int fixes = 0, gs = 0;
        for (const Doc& doc : docs) {
            const QList<QByteArray>& lats = doc.value("GPSLatitude");
            if (layout == int(democard::TripLayout::Gpmf)) {
                // A document a second, its fixes in order: ours at tenths of that second.
                const double second = doc.value("SampleTime").value(0).toDouble();
                const QList<QByteArray> accel = doc.value("Accelerometer").value(0).split(' ');
                for (qsizetype i = 0; i < lats.size(); ++i) {
                    const TripSample* s = sampleAt(track, second + double(i) / lats.size());
                    QVERIFY(s && s->HasFix());
                    QVERIFY(metres(s->latitude, s->longitude, lats[i].toDouble(),
                                   doc.value("GPSLongitude")[i].toDouble()) < 1);
                    QVERIFY(std::abs(s->speed - doc.value("GPSSpeed")[i].toDouble() * 3.6) < 0.01);
                    ++fixes;
                }
                continue;
            }
            if (!lats.isEmpty()) {
                // By the time ExifTool gives the fix: the clock, or the time into the recording.
                const TripSample* s = nullptr;
                if (doc.contains("SampleTime"))
                    s = sampleAt(track, doc.value("SampleTime")[0].toDouble());
                else
                    for (const TripSample& t : track.samples)
                        if (sameTime(doc.value("GPSDateTime").value(0), t))
                            s = &t;
                QVERIFY2(s && s->HasFix(), doc.value("GPSDateTime").value(0).constData());
                const double m = metres(s->latitude, s->longitude, lats[0].toDouble(),
                                        doc.value("GPSLongitude")[0].toDouble());
                QVERIFY2(m < 1, qPrintable(QString::number(m)));
                QVERIFY(std::abs(s->speed - doc.value("GPSSpeed")[0].toDouble()) < 0.01);
                ++fixes;
                if (doc.contains("Accelerometer")) {
                    const QList<QByteArray> g = doc.value("Accelerometer")[0].split(',');
                    QCOMPARE(g.size(), 3);
                    QVERIFY(std::abs(s->accelX - g[0].toDouble()) < 0.01 &&
                            std::abs(s->accelY - g[1].toDouble()) < 0.01 &&
                            std::abs(s->accelZ - g[2].toDouble()) < 0.01);
                    ++gs;
                }
            } else if (doc.contains("TimeCode")) {
                // A G record on its own (with the NMEA in the free box): the fix at that time
                // carries it.
                if (const TripSample* s = sampleAt(track, doc.value("TimeCode")[0].toDouble())) {
                    const QList<QByteArray> g = doc.value("Accelerometer")[0].split(' ');
                    QVERIFY(std::abs(s->accelX - g[0].toDouble()) < 0.01 &&
                            std::abs(s->accelY - g[1].toDouble()) < 0.01 &&
                            std::abs(s->accelZ - g[2].toDouble()) < 0.01);
                    ++gs;
                }
            }
        }
        QCOMPARE(fixes, int(track.samples.size()));
        if (layout != int(democard::TripLayout::GpsBox) &&
            layout != int(democard::TripLayout::Gpmf))
            QVERIFY(gs > 0);
    }

    // gpsbabel's reading of the NMEA file beside a recording: the same fixes.
    void nmeaBesideAsGpsbabelReadsIt() {
        QString file;
        for (const democard::CameraRecording& c : democard::cameraRecordings())
            if (c.layout == democard::TripLayout::NmeaBeside)
                file = cardFile("cameras/" + c.path);
        const TripTrack track = readTrack(file);
        QVERIFY(track.samples.size() >= 10);
        const Ran r = run("gpsbabel", {"-t", "-i", "nmea", "-f", democard::nmeaName(file), "-o",
                                       "unicsv,utc=0", "-F", "-"});
        QCOMPARE(r.code, 0);
        const QList<QByteArray> lines = r.out.trimmed().split('\n');
        const QList<QByteArray> header = lines.value(0).trimmed().split(',');
        const qsizetype lat = header.indexOf("Latitude"), lon = header.indexOf("Longitude"),
                        time = header.indexOf("Time");
        QVERIFY(lat >= 0 && lon >= 0 && time >= 0);
        QCOMPARE(lines.size() - 1, qsizetype(track.samples.size()));
        for (qsizetype i = 1; i < lines.size(); ++i) {
            const QList<QByteArray> f = lines[i].trimmed().split(',');
            const TripSample& s = track.samples[size_t(i - 1)];
            QCOMPARE(f.value(time).left(8), s.clock.left(8));
            QVERIFY(metres(s.latitude, s.longitude, f[lat].toDouble(), f[lon].toDouble()) < 1);
        }
    }

    // One drive written in every layout reads back as one track: at every whole second, the
    // same place (within a metre) and speed.
    void oneDriveEveryLayout() {
        const QList<democard::CameraRecording> all = democard::cameraRecordings();
        democard::Recording rec = all.front().rec;
        QFile base(cardFile("cameras/.base/" + rec.name));
        QVERIFY(base.open(QIODevice::ReadOnly));
        const QByteArray video = base.readAll();
        QTemporaryDir dir;
        QList<TripTrack> tracks;
        for (const auto layout : {democard::TripLayout::Novatek, democard::TripLayout::FreeBoxNmea,
                                  democard::TripLayout::Gpmf, democard::TripLayout::GpsBox,
                                  democard::TripLayout::NmeaBeside}) {
            const QString path = dir.filePath(QStringLiteral("layout%1.MP4").arg(int(layout)));
            QFile out(path);
            QVERIFY(out.open(QIODevice::WriteOnly));
            out.write(democard::withTrip(video, rec, layout));
            out.close();
            if (layout == democard::TripLayout::NmeaBeside) {
                QFile nmea(democard::nmeaName(path));
                QVERIFY(nmea.open(QIODevice::WriteOnly));
                nmea.write(democard::nmeaText(rec));
            }
            tracks.append(readTrack(path));
            QVERIFY2(tracks.last().samples.size() >= size_t(rec.seconds), qPrintable(path));
        }
        for (int second = 0; second < rec.seconds; ++second) {
            const TripSample* first = sampleAt(tracks[0], second);
            QVERIFY(first && first->HasFix());
            for (qsizetype k = 0; k < tracks.size(); ++k) {
                const TripTrack& other = tracks[k];
                // The GPS box keeps thousandths of a minute: 1.85 m steps.
                const double tolerance = k == 3 ? 2.0 : 1.0;
                const TripSample* s = sampleAt(other, second);
                QVERIFY2(s && s->HasFix(), qPrintable(QString::number(second)));
                const double m =
                    metres(first->latitude, first->longitude, s->latitude, s->longitude);
                QVERIFY2(
                    m < tolerance,
                    qPrintable(
                        QStringLiteral("%1 m at %2 s in %3").arg(m).arg(second).arg(other.source)));
                QVERIFY(std::abs(first->speed - s->speed) < 0.1);
            }
        }
    }

    // A recording read once and then changed in place (same size, same inode) or replaced is
    // read again: its first fix is where ExifTool now finds it, never the one kept from before.
    void changedFilesAreReadAgain() {
        QTemporaryDir dir;
        const QString path = dir.filePath("2026_0520_143000_0001F.MP4");
        QVERIFY(QFile::copy(cardFile("cameras/Movie/2026_0520_143000_0001F.MP4"), path));
        QVERIFY(QFile(path).setPermissions(QFile::ReadOwner | QFile::WriteOwner));
        const auto firstFix = [&] {
            for (const Doc& doc : exifDocs(path))
                if (!doc.value("GPSLatitude").isEmpty())
                    return doc.value("GPSLatitude")[0].toDouble();
            return 0.0;
        };
        TripTrack before = readTrack(path);
        QVERIFY(!before.samples.empty() && before.samples[0].HasFix());
        QVERIFY(std::abs(before.samples[0].latitude - firstFix()) < 1e-5);
        // The first block's latitude (DDMM.mmmm as a float) a minute further north.
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadWrite));
        const QByteArray all = file.readAll();
        const qsizetype block = all.indexOf("freeGPS ") - 4;
        QVERIFY(block > 0);
        const int at = int(block) + 44 + (all[block + 40] == 'A' ? 0 : 32);
        float ddmm = 0;
        std::memcpy(&ddmm, all.constData() + at, 4);
        ddmm += 1.0f;
        QVERIFY(file.seek(at) && file.write(reinterpret_cast<const char*>(&ddmm), 4) == 4);
        file.close();
        const TripTrack after = readTrack(path);
        QVERIFY(!after.samples.empty() && after.samples[0].HasFix());
        QVERIFY(std::abs(after.samples[0].latitude - before.samples[0].latitude) > 0.01);
        QVERIFY(std::abs(after.samples[0].latitude - firstFix()) < 1e-5);

        QVERIFY(QFile::remove(path));
        QVERIFY(QFile::copy(cardFile("cameras/RO/2026_0520_143100_0002F.MP4"), path));
        const TripTrack replaced = readTrack(path);
        QVERIFY(!replaced.samples.empty());
        QVERIFY(std::abs(replaced.samples[0].latitude - firstFix()) < 1e-5);
    }

    // An NMEA file copied beside a recording after it was first looked at is found (in another
    // letter case too), with the fixes gpsbabel reads from it.
    void sideFileAddedLater() {
        QTemporaryDir dir;
        const QString video = dir.filePath("2026_0520_143500.MP4");
        QVERIFY(QFile::copy(cardFile("cameras/2026_0520_143500.MP4"), video));
        TripTrack track;
        QVERIFY(!TripReaders::Read(video, 0, track));
        const QString nmea = dir.filePath("2026_0520_143500.nmea");
        QVERIFY(QFile::copy(democard::nmeaName(cardFile("cameras/2026_0520_143500.MP4")), nmea));
        const Ran r = run("gpsbabel", {"-t", "-i", "nmea", "-f", nmea, "-o", "unicsv", "-F", "-"});
        QCOMPARE(r.code, 0);
        QVERIFY(TripReaders::Read(video, 0, track));
        QCOMPARE(qsizetype(track.samples.size()), r.out.trimmed().count('\n'));
    }

    // A clip of a GPMF recording: its subtitles start at the GPS time ExifTool gives the span's
    // first second, said as UTC, and its manifest checks with sha256sum.
    void clipOfAnMp4() {
        const QString source = cardFile("cameras/GX010044.MP4");
        QByteArray second2;
        for (const Doc& doc : exifDocs(source))
            if (doc.value("SampleTime").value(0).toDouble() == 2.0)
                second2 = doc.value("GPSDateTime").value(0);
        QVERIFY(!second2.isEmpty());
        QTemporaryDir dir;
        const Ran r =
            run(PLAYER_BINARY, {"--export-clip", source, "--from", "2", "--to", "6"}, dir.path());
        QVERIFY2(r.code == 0, r.err.constData());
        const QString stem = dir.filePath("GX010044_00-00-02.000_00-00-06.000");
        QFile srt(stem + ".srt");
        QVERIFY(srt.open(QIODevice::ReadOnly));
        const QList<QByteArray> lines = srt.readAll().split('\n');
        QCOMPARE(lines.value(2).trimmed(),
                 second2.left(10).replace(':', '/') + ' ' + second2.mid(11, 8) + " UTC");
        QCOMPARE(run("sha256sum", {"--strict", "-c", stem + ".sha256"}, dir.path()).code, 0);
    }

    // The command line over a card folder without setup.ini: the jolt ExifTool sees as the
    // strongest over the limit given is the event, at the GPS time ExifTool gives it, said as
    // UTC; the camera's time beside it comes from the file's name with the offset set for the
    // card; the recorder's locked file is a "mark" row. Limits that make no sense are refused.
    void eventsOnTheCommandLine() {
        QTemporaryDir config;
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path())); // for us and the program
        CameraClock::SetOffset(cardFile("cameras"), -90);
        const QString locked = cardFile("cameras/RO/2026_0520_143100_0002F.MP4");
        constexpr double kLimit = 1.5;
        double strongest = 0;
        QByteArray when;
        for (const Doc& doc : exifDocs(locked))
            for (const QByteArray& g : doc.value("Accelerometer").value(0).split(','))
                if (std::abs(g.toDouble()) > std::abs(strongest)) {
                    strongest = g.toDouble();
                    when = doc.value("GPSDateTime").value(0);
                }
        QVERIFY2(std::abs(strongest) > kLimit, "the demo drive has a jolt in the locked file");

        const Ran r = run(PLAYER_BINARY, {"--events", cardFile("cameras"), "--limit", "1.5"});
        QCOMPARE(r.code, 0);
        QVERIFY2(r.err.contains("given on the command line"), r.err.constData());
        QList<QList<QByteArray>> rows;
        for (const QByteArray& line : r.out.trimmed().split('\n').mid(1))
            if (line.startsWith(QFile::encodeName(locked)))
                rows.append(line.split(','));
        QVERIFY(!rows.isEmpty());
        QCOMPARE(rows[0][3], QByteArray("mark"));
        const QList<QByteArray>* peak = nullptr;
        for (const QList<QByteArray>& row : rows)
            if (row[3] != "mark" &&
                (!peak || std::abs(row[4].toDouble()) > std::abs(peak->at(4).toDouble())))
                peak = &row;
        QVERIFY(peak && peak->size() == 11);
        QVERIFY(std::abs(peak->at(4).toDouble() - strongest) < 0.01); // written to hundredths
        QCOMPARE(peak->at(2).left(19),
                 when.left(19).replace(0, 10, when.left(10).replace(':', '/')));
        QCOMPARE(peak->at(9), QByteArray("UTC"));
        // Named 14:31:00 by the camera; the card's offset takes 90 s off.
        const QDateTime named(QDate(2026, 5, 20), QTime(14, 31, 0), Qt::UTC);
        QCOMPARE(peak->at(10), named.addSecs(qint64(peak->at(1).toDouble()) - 90)
                                   .toString("yyyy-MM-dd HH:mm:ss")
                                   .toLatin1());
        QVERIFY2(!r.out.contains("0001F.MP4,,,mark"), "only the locked file is marked");

        for (const QStringList& wrong : {QStringList{"--limit", "0"},
                                         {"--limits", "1,2"},
                                         {"--limits", "0,0,0"},
                                         {"--limit", "1", "--limits", "1,1,1"},
                                         {"--limit", "nan"}})
            QCOMPARE(run(PLAYER_BINARY, QStringList{"--events", cardFile("cameras")} + wrong).code,
                     2);
        QCOMPARE(run(PLAYER_BINARY, {"--limit", "2"}).code, 2);
    }
};

QTEST_GUILESS_MAIN(TestCameras)
#include "test_cameras.moc"
