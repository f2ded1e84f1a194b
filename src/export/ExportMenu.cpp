// SPDX-License-Identifier: GPL-3.0-or-later
#include "export/ExportMenu.h"

#include "trip/TripLog.h"
#include "ui/Prompts.h"

#include <QFileInfo>
#include <QMenu>

namespace TripExport {

void ExportRecording(QWidget* owner, const QString& videoPath, Format format) {
    Prompts& prompts = Prompts::current();
    Trip trip;
    if (!ReadTrip(TripLogPath(videoPath), trip)) {
        prompts.message(owner, QStringLiteral("Open fail"));
        return;
    }
    trip.name = QFileInfo(videoPath).completeBaseName();

    const bool gpx = format == Format::Gpx;
    const QString target = prompts.chooseNewFile(
        owner, gpx ? QStringLiteral("GPX File (*.gpx)") : QStringLiteral("KML File (*.kml)"),
        gpx ? QStringLiteral("gpx") : QStringLiteral("kml"), DefaultOutputPath(videoPath, format));
    if (target.isEmpty())
        return;
    if (QFileInfo::exists(target) &&
        !prompts.question(owner, QStringLiteral("%1 already exists.\nDo you want to replace it?")
                                     .arg(QFileInfo(target).fileName())))
        return;
    // Nothing with a position to write, or a file of the card chosen: nothing is written.
    QString error;
    if (trip.points.isEmpty() || !RefusedOutput(TripLogPath(videoPath), target).isEmpty() ||
        !WriteAtomically(target, FormatTrip(trip, format), &error))
        prompts.message(owner, QStringLiteral("Save Failed!"));
}

void AddExportActions(QMenu& menu, QWidget* owner, const QString& videoPath) {
    menu.addAction(QStringLiteral("Export trip as GPX…"), owner,
                   [owner, videoPath] { ExportRecording(owner, videoPath, Format::Gpx); });
    menu.addAction(QStringLiteral("Export trip as KML…"), owner,
                   [owner, videoPath] { ExportRecording(owner, videoPath, Format::Kml); });
}

} // namespace TripExport
