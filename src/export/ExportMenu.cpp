// SPDX-License-Identifier: GPL-3.0-or-later
#include "export/ExportMenu.h"

#include "card/OutputGuard.h"
#include "trip/TripLog.h"
#include "trip/TripReader.h"
#include "ui/Prompts.h"

#include <QFileInfo>
#include <QMenu>
#include <cstdio>

namespace TripExport {

void ExportRecording(QWidget* owner, const QString& videoPath, Format format) {
    Prompts& prompts = Prompts::current();
    Trip trip;
    QString why;
    if (!ReadTrip(videoPath, trip, &why)) {
        std::fprintf(stderr, "%s: %s\n", qPrintable(videoPath), qPrintable(why));
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
    // Nothing with a position to write, or a file of the card chosen: nothing is written. The
    // box keeps its word (with the reason for a file refused); why goes to standard error, as
    // on the command line.
    QString error, refused;
    if (trip.points.isEmpty())
        error = QStringLiteral("no positions in %1").arg(videoPath);
    else if (refused = OutputGuard::Refused(target,
                                            QStringList{videoPath} + TripReaders::Files(videoPath),
                                            OutputGuard::Existing::Replace);
             !refused.isEmpty())
        error = QStringLiteral("not written: %1").arg(refused);
    else if (WriteAtomically(target, FormatTrip(trip, format), &error))
        error.clear();
    else
        error = QStringLiteral("cannot write %1: %2").arg(target, error);
    if (!error.isEmpty()) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        prompts.message(owner, refused.isEmpty() ? QStringLiteral("Save Failed!")
                                                 : QStringLiteral("Save Failed!\n") + refused);
        return;
    }
    prompts.message(owner, QStringLiteral("Trip written to %1").arg(target));
}

void AddExportActions(QMenu& menu, QWidget* owner, const QString& videoPath) {
    // A recording without a trip log has no trip to export.
    const bool haveLog = TripReaders::For(videoPath) != nullptr;
    menu.addAction(QStringLiteral("Export trip as GPX…"), owner,
                   [owner, videoPath] { ExportRecording(owner, videoPath, Format::Gpx); })
        ->setEnabled(haveLog);
    menu.addAction(QStringLiteral("Export trip as KML…"), owner,
                   [owner, videoPath] { ExportRecording(owner, videoPath, Format::Kml); })
        ->setEnabled(haveLog);
}

} // namespace TripExport
