// SPDX-License-Identifier: GPL-3.0-or-later
// Trip data timings: loading a full trip log, and one whole chart refresh of the playback
// timer (curves, cursor, labels, speed text and the map call) on the real chart box.
#include "BenchCommon.h"

#include "trip/ClassicNumericScope.h"
#include "trip/TripChart.h"
#include "trip/TextLogReader.h"
#include "trip/TripLog.h"
#include "ui/DialogUnits.h"

#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>
#include <cmath>

namespace {

QByteArray fullLog() {
    QByteArray bytes;
    for (int i = 0; i < TRIP_LOG_CAPACITY; ++i) {
        const double t = i * 0.15;
        bytes += FormatClassic(
            "2010/05/20 14:%02d:%02d .....................%.2f,%.2f,%.2f A .....%d %.4f, %d "
            "%.4f %.1f B\r\n",
            (i / 400) % 60, (i / 6) % 60, 0.3 * std::sin(t), 0.2 * std::cos(t * 0.7),
            0.98 + 0.05 * std::sin(t * 3), 45, 30.0 + i * 0.0004, 100, 15.0 + i * 0.0003,
            40 + 20 * std::sin(t * 0.05));
    }
    return bytes;
}

int runTrip(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv); // text drawing needs the font system

    QTemporaryDir dir;
    const QString path = dir.filePath("0001.LOG");
    {
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly))
            return 1;
        f.write(fullLog());
    }

    std::vector<double> loads;
    for (int run = 0; run < bench::Runs(60); ++run) {
        QElapsedTimer t;
        t.start();
        LoadTripLogFrom(path);
        loads.push_back(t.nsecsElapsed() / 1e6);
    }
    if (TripLog.sampleCount != TRIP_LOG_CAPACITY) {
        std::fprintf(stderr, "bench trip: the log gave %d slots\n", TripLog.sampleCount);
        return 1;
    }
    bench::report("trip.load_log_4000_records", bench::median(loads), std::nullopt, "ms");

    // What the window does when a recording opens: the table and the track from one reading;
    // the table's own load is the baseline.
    std::vector<double> reads;
    for (int run = 0; run < bench::Runs(60); ++run) {
        QElapsedTimer t;
        t.start();
        TripTrack track;
        TextLog::Read(path, 400, track, nullptr, &TripLog, &TripLogDegrees());
        reads.push_back(t.nsecsElapsed() / 1e6);
    }
    bench::report("trip.read_table_and_track_4000_records", bench::median(reads),
                  bench::median(loads), "ms");

    // The chart box, control 1034 of the main window, 396 x 58 dialog units.
    const QRect box = DialogUnits::rect(38, 315, 396, 58);
    const QRect rcChart(0, 0, box.width(), box.height());
    QImage offscreen(rcChart.size(), QImage::Format_RGB32);
    QString speedText;
    double lastLat = 0;
    std::vector<double> ticks;
    for (int run = 0; run < bench::Runs(400); ++run) {
        QElapsedTimer t;
        t.start();
        {
            QPainter dc(&offscreen);
            DrawTripChart(
                dc, rcChart, (run * 7) % 1001, true,
                [&speedText](const QString& text) { speedText = text; },
                [&lastLat](double lat, double) { lastLat = lat; });
        }
        ticks.push_back(t.nsecsElapsed() / 1e6);
    }
    bench::report(QString("trip.chart_tick_%1x%2").arg(rcChart.width()).arg(rcChart.height()),
                  bench::median(ticks), std::nullopt, "ms");
    return speedText.isEmpty() || lastLat == 0 ? 1 : 0;
}

bench::Registrar registrar("trip", runTrip);

} // namespace
