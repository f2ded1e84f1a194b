// SPDX-License-Identifier: GPL-3.0-or-later
#include "events/EventsCommand.h"

#include "card/OutputGuard.h"
#include "config/DeviceConfig.h"
#include "events/EventFinder.h"
#include "records/CurrentRecord.h"
#include "records/RecordInfoDlg.h"
#include "records/RecordListDlg.h"
#include "shell/PlayerDlg.h"
#include "trip/TripLog.h"
#include "ui/ProgressWork.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>
#include <QTreeWidget>
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

// The recording a log belongs to: the same name with ".asf" in any letter case.
QString RecordingOf(const QString& logPath) {
    const QFileInfo log(logPath);
    const QDir dir = log.absoluteDir();
    const QStringList found =
        dir.entryList({log.completeBaseName() + QStringLiteral(".asf")}, QDir::Files, QDir::Name);
    return found.isEmpty() ? QString() : dir.filePath(found.first());
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
        const QString recording = RecordingOf(log);
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

void FindFromWindow(CPlayerDlg& window) {
    CRecordListDlg* list = window.m_dlgRecordList;
    QTreeWidget* rows = list->m_listRecords;
    QStringList recordings;
    for (int i = 0; i < rows->topLevelItemCount(); ++i)
        recordings.append(CurrentRecord.folder + rows->topLevelItem(i)->text(1));
    if (recordings.isEmpty())
        return;

    // The settings file the dialog would open: the one chosen last, else the card's.
    Limits limits;
    limits.x = DeviceConfig.dLimitX;
    limits.y = DeviceConfig.dLimitY;
    limits.z = DeviceConfig.dLimitZ;
    for (const QString& setup : {g_strSetupPath, SetupFileIn(CurrentRecord.folder)}) {
        if (!setup.isEmpty() && QFileInfo(setup).isFile()) {
            if (const auto read = ReadLimits(setup)) {
                limits = *read;
                break;
            }
        }
    }

    std::vector<Scan> scans(size_t(recordings.size()));
    const bool finished =
        RunWithProgress(&window, QStringLiteral("Find events"), QStringLiteral("Finding events…"),
                        [&](const std::function<bool(double)>& progress) {
                            for (qsizetype i = 0; i < recordings.size(); ++i) {
                                if (!progress(double(i) / double(recordings.size())))
                                    return;
                                scans[size_t(i)] = ScanRecording(recordings[i], limits);
                            }
                        });
    if (!finished)
        return;

    // The list may have been filled again meanwhile: only rows still naming a scanned
    // recording take its result.
    const QString said = QStringLiteral("Limits: ") + LimitsText(limits);
    rows->headerItem()->setToolTip(2, said);
    for (int i = 0; i < rows->topLevelItemCount() && i < recordings.size(); ++i) {
        QTreeWidgetItem* row = rows->topLevelItem(i);
        if (CurrentRecord.folder + row->text(1) != recordings[i])
            continue;
        Remember(recordings[i], scans[size_t(i)]);
        row->setText(2, Summary(scans[size_t(i)]));
        row->setToolTip(2, said);
    }
    window.ShowMarks();
    window.m_dlgRecordInfo->UpdateFromCurrentRecord();
}

} // namespace Events
