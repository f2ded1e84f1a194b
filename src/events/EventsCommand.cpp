// SPDX-License-Identifier: GPL-3.0-or-later
#include "events/EventsCommand.h"

#include "card/CameraClock.h"
#include "card/CardFiles.h"
#include "card/OutputGuard.h"
#include "config/DeviceConfig.h"
#include "events/EventFinder.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>
#include <cstdio>

namespace Events {

namespace {

QByteArray CsvField(const QString& text) {
    QByteArray bytes = text.toUtf8();
    if (bytes.contains(',') || bytes.contains('"') || bytes.contains('\n')) {
        bytes.replace('"', "\"\"");
        bytes = '"' + bytes + '"';
    }
    return bytes;
}

QByteArray CameraTime(const QString& file, double seconds) {
    const QDateTime at = CameraClock::At(file, seconds);
    return at.isValid() ? at.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")).toLatin1()
                        : QByteArray();
}

} // namespace

QByteArray CsvHeader() {
    // "clock" says whose time "logged" is: the GPS receiver's (UTC) or the camera's own;
    // "camera_time" is the camera's clock from the recording's name, with the card's offset.
    return "file,time_s,logged,axis,peak_g,limit_g,speed_kmh,latitude,longitude,clock,"
           "camera_time\n";
}

QByteArray CsvRows(const QString& file, const Scan& scan) {
    QByteArray rows;
    // The recorder's own mark has no time of its own, nor values.
    if (scan.marked)
        rows += CsvField(file) + ",,,mark,,,,,,," + CameraTime(file, 0) + '\n';
    for (const Event& e : scan.events) {
        rows += CsvField(file) + ',' + QByteArray::number(e.at, 'f', 3) + ',' +
                CsvField(QString::fromLatin1(e.date + ' ' + e.time).trimmed()) + ',' +
                AxisName(e.axis) + ',' + QByteArray::number(e.peak, 'f', 2) + ',' +
                QByteArray::number(e.limit, 'f', 2) + ',' + QByteArray::number(e.speed, 'f', 1) +
                ',' + (e.hasPosition ? QByteArray::number(e.latitude, 'f', 6) : QByteArray()) +
                ',' + (e.hasPosition ? QByteArray::number(e.longitude, 'f', 6) : QByteArray()) +
                ',' +
                (e.date.isEmpty() ? ""
                 : e.utc          ? "UTC"
                                  : "camera") +
                ',' + CameraTime(file, e.at) + '\n';
    }
    return rows;
}

int RunCommandLine(const QString& target, const QString& csvOut, const QString& program, bool force,
                   const double* given) {
    const QFileInfo info(target);
    // Trip logs, and the recordings of other recorders that hold their own trip.
    QStringList logs;
    if (info.isDir()) {
        const QDir dir(info.absoluteFilePath());
        for (const QString& name :
             dir.entryList({QStringLiteral("*.log")}, QDir::Files, QDir::Name))
            logs.append(dir.filePath(name));
        for (const QString& name : CardFiles::OtherRecorderFiles(dir.absolutePath()))
            if (!name.endsWith(QLatin1String(".asf"), Qt::CaseInsensitive))
                logs.append(dir.filePath(name));
    } else if (info.isFile()) {
        logs.append(info.absoluteFilePath());
    } else {
        std::fprintf(stderr, "%s: %s: no such file or folder\n", qPrintable(program),
                     qPrintable(target));
        return 1;
    }
    if (logs.isEmpty()) {
        std::fprintf(stderr, "%s: %s: no trip logs (NNNN.LOG) or recordings to scan\n",
                     qPrintable(program), qPrintable(target));
        return 1;
    }
    if (!csvOut.isEmpty()) {
        QStringList inputs = logs;
        inputs.prepend(info.absoluteFilePath());
        const QString refused = OutputGuard::Refused(
            csvOut, inputs, force ? OutputGuard::Existing::Replace : OutputGuard::Existing::Refuse);
        if (!refused.isEmpty()) {
            std::fprintf(stderr, "%s: not written: %s\n", qPrintable(program), qPrintable(refused));
            return 1;
        }
    }
    const QString folder = QFileInfo(logs.first()).absolutePath();
    const QString setup = SetupFileIn(folder);
    Limits limits;
    limits.x = DeviceConfig.dLimitX;
    limits.y = DeviceConfig.dLimitY;
    limits.z = DeviceConfig.dLimitZ;
    if (given) {
        limits.x = given[0];
        limits.y = given[1];
        limits.z = given[2];
        limits.givenIn = QStringLiteral("on the command line");
    } else if (!setup.isEmpty()) {
        if (const auto read = ReadLimits(setup))
            limits = *read;
        else
            std::fprintf(stderr, "%s: %s cannot be read\n", qPrintable(program), qPrintable(setup));
    }
    std::fprintf(stderr, "%s: limits %s\n", qPrintable(program), qPrintable(LimitsText(limits)));
    if (limits.x <= 0 && limits.y <= 0 && limits.z <= 0)
        std::fprintf(stderr, "%s: no axis is checked: give --limit G or --limits X,Y,Z\n",
                     qPrintable(program));

    QByteArray csv = CsvHeader();
    int events = 0, scanned = 0;
    for (const QString& log : logs) {
        const bool isLog = log.endsWith(QLatin1String(".log"), Qt::CaseInsensitive);
        const QString recording = isLog ? CardFiles::RecordingOf(log) : log;
        const Scan scan = isLog ? ScanLog(log, recording, limits) : ScanRecording(log, limits);
        if (!scan.haveLog) {
            std::fprintf(stderr, "%s: %s: %s\n", qPrintable(program), qPrintable(log),
                         isLog ? "cannot be read" : "no trip found in it or beside it");
            if (!scan.marked)
                continue;
        }
        ++scanned;
        events += int(scan.events.size()) + (scan.marked ? 1 : 0);
        csv += CsvRows(recording.isEmpty() ? log : recording, scan);
    }
    if (scanned == 0)
        return 1;
    std::fprintf(stderr, "%s: %d event(s) in %d trip(s)\n", qPrintable(program), events, scanned);
    if (csvOut.isEmpty()) {
        std::fwrite(csv.constData(), 1, size_t(csv.size()), stdout);
        return std::fflush(stdout) == 0 ? 0 : 1;
    }
    QSaveFile out(csvOut);
    if (!out.open(QIODevice::WriteOnly) || out.write(csv) != csv.size() || !out.commit()) {
        std::fprintf(stderr, "%s: cannot write %s: %s\n", qPrintable(program), qPrintable(csvOut),
                     qPrintable(out.errorString()));
        return 1;
    }
    return 0;
}

} // namespace Events
