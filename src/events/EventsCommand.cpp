// SPDX-License-Identifier: GPL-3.0-or-later
#include "events/EventsCommand.h"

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

} // namespace

QByteArray CsvHeader() {
    return "file,time_s,logged,axis,peak_g,limit_g,speed_kmh,latitude,longitude\n";
}

QByteArray CsvRows(const QString& file, const Scan& scan) {
    QByteArray rows;
    for (const Event& e : scan.events) {
        rows += CsvField(file) + ',' + QByteArray::number(e.at, 'f', 3) + ',' +
                CsvField(QString::fromLatin1(e.date + ' ' + e.time).trimmed()) + ',' +
                AxisName(e.axis) + ',' + QByteArray::number(e.peak, 'f', 2) + ',' +
                QByteArray::number(e.limit, 'f', 2) + ',' + QByteArray::number(e.speed, 'f', 1) +
                ',' + (e.hasPosition ? QByteArray::number(e.latitude, 'f', 6) : QByteArray()) +
                ',' + (e.hasPosition ? QByteArray::number(e.longitude, 'f', 6) : QByteArray()) +
                '\n';
    }
    return rows;
}

int RunCommandLine(const QString& target, const QString& csvOut, const QString& program,
                   bool force) {
    const QFileInfo info(target);
    QStringList logs;
    if (info.isDir()) {
        const QDir dir(info.absoluteFilePath());
        for (const QString& name :
             dir.entryList({QStringLiteral("*.log")}, QDir::Files, QDir::Name))
            logs.append(dir.filePath(name));
    } else if (info.isFile()) {
        logs.append(info.absoluteFilePath());
    } else {
        std::fprintf(stderr, "%s: %s: no such file or folder\n", qPrintable(program),
                     qPrintable(target));
        return 1;
    }
    if (logs.isEmpty()) {
        std::fprintf(stderr, "%s: %s: no trip logs (NNNN.LOG) to scan\n", qPrintable(program),
                     qPrintable(target));
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
    if (!setup.isEmpty()) {
        if (const auto read = ReadLimits(setup))
            limits = *read;
        else
            std::fprintf(stderr, "%s: %s cannot be read\n", qPrintable(program), qPrintable(setup));
    }
    std::fprintf(stderr, "%s: limits %s\n", qPrintable(program), qPrintable(LimitsText(limits)));

    QByteArray csv = CsvHeader();
    int events = 0, scanned = 0;
    for (const QString& log : logs) {
        const QString recording = CardFiles::RecordingOf(log);
        const Scan scan = ScanLog(log, recording, limits);
        if (!scan.haveLog) {
            std::fprintf(stderr, "%s: %s cannot be read\n", qPrintable(program), qPrintable(log));
            continue;
        }
        ++scanned;
        events += int(scan.events.size());
        csv += CsvRows(recording.isEmpty() ? log : recording, scan);
    }
    if (scanned == 0)
        return 1;
    std::fprintf(stderr, "%s: %d event(s) in %d trip log(s)\n", qPrintable(program), events,
                 scanned);
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
