// SPDX-License-Identifier: GPL-3.0-or-later
// One reading of a trip log for every consumer: on a log with a garbled line, a blank line and
// a last line cut off by a power loss, the chart's values and speed, the map's true position,
// the event and the GPX point all name the same record, and the event sits at its record's
// time (garbage does not move it). The generator's own record and route are the oracle.
#include "TripTestSupport.h"
#include "democard/DemoCard.h"

#include "events/EventFinder.h"
#include "export/TripExport.h"
#include "trip/TripChart.h"
#include "trip/TripLog.h"
#include "trip/TripModel.h"

#include <QImage>
#include <QPainter>
#include <QSignalSpy>
#include <QtTest>

using namespace triptest;

class TestTripTrack : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void everyConsumerNamesTheSameRecord() {
        // 60 records, ten a second over a 6 s recording, a jolt of X 3.50 g at record 30 (3 s).
        democard::Recording rec = democard::joltRecording();
        rec.seconds = 6;
        rec.samplesPerSecond = 10;
        rec.jolts = {{3.0, 'X', 3.50}};
        rec.logCutInLastLine = true;
        const QList<QByteArray> lines = democard::tripLog(rec, rec.seed).split('\n');
        const QList<democard::TripSample> drive = democard::tripSamples(rec, rec.seed);
        QCOMPARE(drive.size(), 60);
        QCOMPARE(drive[30].accelX, 3.50);
        QByteArray log;
        for (int i = 0; i < 60; ++i) {
            if (i == 10)
                log += "XX garbled line here\n"; // a record the card's failing write mangled
            if (i == 20)
                log += "\n";
            log += lines[i] + (i < 59 ? "\n" : "");
        }
        QTemporaryDir dir;
        const QString video = dir.filePath("0001.asf");
        writeFile(video, "not read here");
        const QString logPath = writeFile(dir.filePath("0001.LOG"), log);
        const QByteArray clock = lines[30].split(' ').value(1);

        // The event: at 3.000 s, the record's own clock and position.
        Events::Limits limits;
        limits.x = 2.5;
        const std::vector<Events::Event> events = Events::Find(log, 6.0, limits);
        QCOMPARE(int(events.size()), 1);
        QCOMPARE(events[0].at, 3.0);
        QCOMPARE(events[0].time, clock);
        QVERIFY(events[0].hasPosition);
        QVERIFY(qAbs(events[0].latitude - drive[30].latitude) < 1e-6);
        QVERIFY(qAbs(events[0].longitude - drive[30].longitude) < 1e-6);

        // The chart, as the window draws it once the trip is read: where its labels show the
        // jolt, its speed is the record's and the map's true position is the record's.
        CTripModel trip;
        trip.Open(video, 6.0);
        trip.Tick();
        QVERIFY(trip.Loaded() && !TripLog.reloadPending);
        int shown = 0;
        for (int p = 0; p <= 1000; ++p) {
            const int k = TripChartSample(p, TripLog.sampleCount);
            if (TripLog.accelX[k] != 3.50)
                continue;
            ++shown;
            QImage chart(594, 87, QImage::Format_RGB32);
            QPainter dc(&chart);
            QString speed;
            DrawLoadedTripChart(
                dc, chart.rect(), p, true, [&](const QString& text) { speed = text; }, nullptr);
            QCOMPARE(speed, QString::number(int(drive[30].speed)));
            const TripSample* sample = trip.SampleOfSlot(k);
            QVERIFY(sample && sample->HasFix());
            QCOMPARE(sample->clock, clock);
            QVERIFY(qAbs(sample->latitude - drive[30].latitude) < 1e-6);
            QVERIFY(qAbs(sample->longitude - drive[30].longitude) < 1e-6);
        }
        QVERIFY(shown > 0);

        // The GPX point of that clock is at the same place.
        TripExport::Trip gpx;
        QVERIFY(TripExport::ReadTrip(logPath, gpx));
        int found = 0;
        for (const TripExport::Point& point : gpx.points)
            if (point.time.time().toString("HH:mm:ss.zzz").left(11) == QString(clock).left(11)) {
                ++found;
                QVERIFY(qAbs(point.latitude - drive[30].latitude) < 1e-6);
                QVERIFY(qAbs(point.accelX - 3.50) < 1e-9);
            }
        QCOMPARE(found, 1);
        QVERIFY2(gpx.leftOut.contains("1 unreadable") && gpx.leftOut.contains("1 cut off"),
                 qPrintable(gpx.leftOut));
    }

    // A log of hours (over a megabyte) is read off the UI thread: the chart stays black (a load
    // pending) meanwhile, then holds the table's 4000 slots while the track has every record.
    void largeLogReadInTheBackground() {
        democard::Recording rec = democard::joltRecording();
        rec.seconds = 1500;
        rec.samplesPerSecond = 10;
        const QByteArray log = democard::tripLog(rec, rec.seed);
        QVERIFY(log.size() > CTripModel::kBackgroundBytes);
        QTemporaryDir dir;
        const QString video = writeFile(dir.filePath("long.asf"), "not read here");
        writeFile(dir.filePath("long.LOG"), log);
        TripLog.reloadPending = true;
        CTripModel trip;
        QSignalSpy read(&trip, &CTripModel::TrackChanged);
        trip.Open(video, 1500.0);
        trip.Tick();
        QVERIFY(trip.Loading() && TripLog.reloadPending);
        QVERIFY(read.wait(20000));
        QVERIFY(trip.Loaded() && !TripLog.reloadPending);
        QCOMPARE(TripLog.sampleCount, TRIP_LOG_CAPACITY);
        QCOMPARE(int(trip.Track().samples.size()), 15000);
        QCOMPARE(trip.Track().samples[14999].time, 1499.9);
    }
};

int runTripTrackTests(int argc, char** argv) {
    TestTripTrack test;
    return QTest::qExec(&test, argc, argv);
}

#include "TestTripTrack.moc"
