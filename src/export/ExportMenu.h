// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "export/TripExport.h"

class QMenu;
class QWidget;

namespace TripExport {

// Exports the trip of the recording at `videoPath`: its log is read first ("Open fail" and
// nothing written when it cannot be), then the user picks the file, offered beside the
// recording with its name; replacing a file is asked first; "Save Failed!" when it cannot be
// written (an old file then stays whole), the reason on standard error; where it was written
// when it was.
void ExportRecording(QWidget* owner, const QString& videoPath, Format format);

// The entries "Export trip as GPX…" and "Export trip as KML…" for `videoPath`, disabled when
// it has no trip log.
void AddExportActions(QMenu& menu, QWidget* owner, const QString& videoPath);

} // namespace TripExport
