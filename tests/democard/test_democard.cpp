// SPDX-License-Identifier: GPL-3.0-or-later
// The demo card's text files: the trip logs must read back, through the same conversions the
// program's reader uses, as the drive they describe, and setup.ini must have the settings
// writer's exact layout. Media encoding is exercised by the card fixture, not here.
#include "democard/DemoCard.h"

#include <QLocale>
#include <QTest>

#include <clocale>
#include <cmath>
#include <cstdio>
#include <string>

using democard::Recording;
using democard::TripSample;

namespace {

struct ReadBack {
    QList<TripSample> rows; // one per pass, the trailing empty pass included
    int passes = 0;
    bool complete = true; // every conversion of every record succeeded
};

// Consumes a log with the program's record pattern: two tokens, 22 characters, X, one
// character, Y, one character, Z, a token, 6 characters, latitude degrees and minutes,
// 2 characters, longitude degrees and minutes, speed, a token; until the end of the file.
// The positions come out as a GPS receiver means them (WGS-84, the hemisphere letters the
// skipped characters end in), not as the program converts them.
ReadBack readLikeTheProgram(const QByteArray& log) {
    ReadBack out;
    QByteArray copy = log;
    FILE* f = fmemopen(copy.data(), size_t(copy.size()), "r");
    if (!f)
        return out;
    char token[256];
    double x = 0, y = 0, z = 0, degrees = 0, lat = 0, lon = 0, speed = 0;
    do {
        int got = 0;
        got += std::fscanf(f, "%255s", token);
        got += std::fscanf(f, "%255s", token);
        std::fscanf(f, "%*22c");
        got += std::fscanf(f, "%lf", &x);
        std::fscanf(f, "%*1c");
        got += std::fscanf(f, "%lf", &y);
        std::fscanf(f, "%*1c");
        got += std::fscanf(f, "%lf", &z);
        got += std::fscanf(f, "%255s", token);
        // The skipped characters end in the hemisphere letter; the true position is signed by it.
        char skipped[7] = {};
        std::fscanf(f, "%6c", skipped);
        got += std::fscanf(f, "%lf", &degrees);
        got += std::fscanf(f, "%lf", &lat);
        lat = (skipped[5] == 'S' ? -1 : 1) * (lat / 60 + degrees);
        out.complete = out.complete && (std::feof(f) || QByteArray(skipped, 5) == " POS:");
        std::fscanf(f, "%2c", skipped);
        got += std::fscanf(f, "%lf", &degrees);
        got += std::fscanf(f, "%lf", &lon);
        lon = (skipped[1] == 'W' ? -1 : 1) * (lon / 60 + degrees);
        got += std::fscanf(f, "%lf", &speed);
        got += std::fscanf(f, "%255s", token);
        ++out.passes;
        if (!std::feof(f) && got != 12)
            out.complete = false;
        out.rows.append({x, y, z, lat, lon, speed});
    } while (!std::feof(f));
    std::fclose(f);
    return out;
}

// Metres between two positions (short distances: a flat earth is close enough).
double metresBetween(const TripSample& a, const TripSample& b) {
    const double north = (b.latitude - a.latitude) * 111320.0;
    const double east = (b.longitude - a.longitude) * 111320.0 *
                        std::cos((a.latitude + b.latitude) / 2 * 3.14159265358979 / 180);
    return std::hypot(north, east);
}

} // namespace

class TestDemoCard : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void tripLogIsDeterministic();
    void tripLogReadsBackAsTheDrive_data();
    void tripLogReadsBackAsTheDrive();
    void driveIsPlausible_data();
    void driveIsPlausible();
    void lineEndsComeInBothKinds();
    void textIgnoresTheUserLocale();
    void setupIniHasTheWriterLayout();
    void firstRecordingIsTheShortMjpegOne();
};

void TestDemoCard::tripLogIsDeterministic() {
    const Recording rec = democard::standardRecordings().at(1);
    const QByteArray log = democard::tripLog(rec, 7);
    QVERIFY(!log.isEmpty());
    QCOMPARE(democard::tripLog(rec, 7), log);
    QVERIFY(democard::tripLog(rec, 8) != log);
    // The card pairs every recording with its own drive.
    QSet<QByteArray> distinct;
    for (const Recording& r : democard::standardRecordings())
        distinct.insert(democard::tripLog(r, r.seed).left(200));
    QCOMPARE(distinct.size(), int(democard::standardRecordings().size()));
}

void TestDemoCard::tripLogReadsBackAsTheDrive_data() {
    QTest::addColumn<Recording>("rec");
    for (const Recording& r : democard::standardRecordings())
        QTest::newRow(qPrintable(r.name)) << r;
    Recording odd = democard::standardRecordings().front();
    odd.name = QStringLiteral("odd.asf");
    odd.seconds = 7;
    odd.samplesPerSecond = 3; // not a divisor of the simulation rate: taken as 2
    odd.crlf = true;
    QTest::newRow("odd rate") << odd;
    QTest::newRow("south and west") << democard::tripRecordings().front();
}

void TestDemoCard::tripLogReadsBackAsTheDrive() {
    QFETCH(Recording, rec);
    const QList<TripSample> drive = democard::tripSamples(rec, rec.seed);
    const ReadBack read = readLikeTheProgram(democard::tripLog(rec, rec.seed));

    QVERIFY(!drive.isEmpty());
    QVERIFY(drive.size() % rec.seconds == 0);
    QVERIFY(drive.size() / rec.seconds <= 10);
    QVERIFY(read.complete);
    // The log ends with a line break, so the reader makes one more, empty pass.
    QCOMPARE(read.passes, int(drive.size()) + 1);
    for (int i = 0; i < drive.size(); ++i) {
        const TripSample& want = drive[i];
        const TripSample& got = read.rows[i];
        const QByteArray at = "record " + QByteArray::number(i);
        QVERIFY2(std::abs(got.accelX - want.accelX) < 1e-9, at);
        QVERIFY2(std::abs(got.accelY - want.accelY) < 1e-9, at);
        QVERIFY2(std::abs(got.accelZ - want.accelZ) < 1e-9, at);
        QVERIFY2(std::abs(got.speed - want.speed) < 1e-9, at);
        QVERIFY2(std::abs(got.latitude - want.latitude) < 1e-6, at);
        QVERIFY2(std::abs(got.longitude - want.longitude) < 1e-6, at);
    }
}

void TestDemoCard::driveIsPlausible_data() {
    tripLogReadsBackAsTheDrive_data();
}

void TestDemoCard::driveIsPlausible() {
    QFETCH(Recording, rec);
    const QList<TripSample> drive = democard::tripSamples(rec, rec.seed);
    const double dt = double(rec.seconds) / double(drive.size());

    int brakingRuns = 0;
    double lowestX = 0, moved = 0, bySpeed = 0;
    for (int i = 0; i < drive.size(); ++i) {
        const TripSample& s = drive[i];
        QVERIFY(s.speed >= 0 && s.speed <= 95);
        // The recording's jolts are put there on purpose (a record on either side too).
        bool jolt = false;
        for (const Recording::Jolt& j : rec.jolts)
            jolt = jolt || std::abs(double(i) * dt - j.at) <= 1.5 * dt;
        if (!jolt) {
            QVERIFY(std::abs(s.accelZ - 1) < 0.2);
            QVERIFY(std::abs(s.accelY) < 0.6);
        }
        const bool braking = s.accelX < democard::HARD_BRAKE_G;
        if (braking && (i == 0 || drive[i - 1].accelX >= democard::HARD_BRAKE_G))
            ++brakingRuns;
        lowestX = std::min(lowestX, s.accelX);
        // Around the city the card's drives start in, or the one asked for.
        const double townLatitude = rec.startLatitude ? rec.startLatitude : 22.54;
        const double townLongitude = rec.startLongitude ? rec.startLongitude : 113.93;
        QVERIFY(std::abs(s.latitude - townLatitude) < 0.2 &&
                std::abs(s.longitude - townLongitude) < 0.2);
        // The car moves as far as its speed says: between two records roughly (the speed
        // changes between them, and turns cut corners at one record a second) and over the
        // whole recording closely.
        if (i > 0) {
            const double step = metresBetween(drive[i - 1], s);
            const double expected = (drive[i - 1].speed + s.speed) / 2 / 3.6 * dt;
            QVERIFY2(std::abs(step - expected) < 1.5 + 0.15 * expected,
                     qPrintable(QStringLiteral("record %1: moved %2 m, speed says %3 m")
                                    .arg(i)
                                    .arg(step)
                                    .arg(expected)));
            moved += step;
            bySpeed += expected;
        }
    }
    QVERIFY2(std::abs(moved / bySpeed - 1) < 0.01,
             qPrintable(QStringLiteral("moved %1 m, speed says %2 m").arg(moved).arg(bySpeed)));
    QCOMPARE(brakingRuns, 1);
    QVERIFY(lowestX < -1.1);
}

void TestDemoCard::lineEndsComeInBothKinds() {
    int crlfFiles = 0, lfFiles = 0;
    for (const Recording& rec : democard::standardRecordings()) {
        const QByteArray log = democard::tripLog(rec, rec.seed);
        const qsizetype lines = log.count('\n');
        const qsizetype crlf = log.count("\r\n");
        QVERIFY(log.endsWith('\n'));
        QCOMPARE(log.count('\r'), crlf); // no stray CR
        QCOMPARE(lines, qsizetype(democard::tripSamples(rec, rec.seed).size()));
        if (rec.crlf) {
            QCOMPARE(crlf, lines);
            ++crlfFiles;
        } else {
            QCOMPARE(crlf, qsizetype(0));
            ++lfFiles;
        }
    }
    QVERIFY(crlfFiles > 0 && lfFiles > 0);
}

void TestDemoCard::textIgnoresTheUserLocale() {
    const Recording rec = democard::standardRecordings().front();
    const QByteArray log = democard::tripLog(rec, rec.seed);
    const QByteArray ini = democard::setupIni();

    // A decimal-comma user: Qt's default locale and, where installed, the C library's.
    const std::string before = std::setlocale(LC_NUMERIC, nullptr);
    const bool comma = std::setlocale(LC_NUMERIC, "de_DE.UTF-8") != nullptr ||
                       std::setlocale(LC_NUMERIC, "de_DE") != nullptr;
    if (!comma)
        std::setlocale(LC_NUMERIC, "C.UTF-8");
    const QLocale qtBefore;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    const QByteArray logThere = democard::tripLog(rec, rec.seed);
    const QByteArray iniThere = democard::setupIni();
    QLocale::setDefault(qtBefore);
    std::setlocale(LC_NUMERIC, before.c_str());

    QCOMPARE(logThere, log);
    QCOMPARE(iniThere, ini);
    QVERIFY(!log.contains(',') || log.contains(",E")); // commas only as field separators
    for (const QByteArray& line : log.split('\n')) {
        if (!line.isEmpty())
            QCOMPARE(line.count(','), qsizetype(3)); // X,Y,Z and the ",E" before longitude
    }
    if (!comma)
        qInfo("no decimal-comma C locale installed; checked Qt's German locale and C.UTF-8");
}

void TestDemoCard::setupIniHasTheWriterLayout() {
    // The settings writer's lines, produced here with the C library's own padding rules.
    const std::string before = std::setlocale(LC_NUMERIC, nullptr);
    std::setlocale(LC_NUMERIC, "C");
    char expected[2048];
    std::snprintf(
        expected, sizeof expected,
        "[BEFORE_VIDEO_EVENT=%3d]     ; Recording time before event per video, Second unit. "
        "Valid value is 2 ~ 60.\r\n"
        "[VIDEO_EVENT_LENGTH=%3d]     ; Recording time after event trigger per video, Second "
        "unit. Valid value is 10 ~ 300.\r\n"
        "[SHOW_STRING=%d]              ; 0: Don't show overlay string on video, 1: Show overlay "
        "string on video, 2: Show overlay string with version, 3: Only show time stamp on "
        "video.\r\n"
        "[G_LIMITX=%.2lf]              ; Capture video if X absolute G sensor value greater than "
        "G_LIMITX, valid value is 0 ~ 8.\r\n"
        "[G_LIMITY=%.2lf]              ; Capture video if Y absolute G sensor value greater than "
        "G_LIMITY, valid value is 0 ~ 8.\r\n"
        "[G_LIMITZ=%.2lf]              ; Capture video if Z absolute G sensor value greater than "
        "G_LIMITZ, valid value is 0 ~ 8.\r\n"
        "[OVERWRITE=  1]              ; 1: overwrite enable, 0: overwrite disable\r\n"
        "[CIS_MIRROR= 0]              ; 1: Image sensor row column mirrir, 0: Otherwise\r\n"
        "[TIME_ZONE=%3d]              ; Time zone, hour unit. Valid value is -12.0 ~ 12.\r\n",
        10, 30, 1, 2.5, 2.5, 3.0, 8);
    std::setlocale(LC_NUMERIC, before.c_str());

    const QByteArray ini = democard::setupIni();
    QCOMPARE(ini, QByteArray(expected));
    QCOMPARE(ini.count("\r\n"), qsizetype(9)); // no clock line: the card sets no time
    QCOMPARE(democard::setupIni(), ini);
}

void TestDemoCard::firstRecordingIsTheShortMjpegOne() {
    // Other tests open the first recording most; they count on it being small and common.
    const QList<Recording> all = democard::standardRecordings();
    QCOMPARE(all.size(), qsizetype(9));
    QCOMPARE(all.at(7).name, democard::fullHdRecording().name); // the newest recorders' kind
    QCOMPARE(all.back().name, democard::joltRecording().name);
    QVERIFY(all.at(6).unfinished && all.at(6).cutPermille > 0);  // the power-cut one
    const Recording& first = all.front();
    QCOMPARE(first.name, QStringLiteral("0001.asf"));
    QCOMPARE(democard::tripLogName(first), QStringLiteral("0001.LOG"));
    QVERIFY(first.seconds <= 12);
    QCOMPARE(first.width, 640);
    QCOMPARE(first.height, 480);
    QCOMPARE(first.videoCodec, QStringLiteral("mjpeg"));
    QVERIFY(!first.audioCodec.isEmpty());
    for (const Recording& rec : all) // the power-cut one is a long drive cut short
        QVERIFY(rec.seconds >= 10 && rec.seconds <= (rec.cutPermille ? 180 : 60));
}

QTEST_GUILESS_MAIN(TestDemoCard)
#include "test_democard.moc"
