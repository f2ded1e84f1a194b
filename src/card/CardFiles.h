// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>

// The one place that knows how a recorder names the files of its card: the trip log beside a
// recording, the recorder's settings file, the recording a log belongs to.
namespace CardFiles {

// The log path for a video path: the text before the last "." of the whole path, folders
// included, followed by ".LOG" ("/rec/0001.asf" gives "/rec/0001.LOG"; no "." at all gives
// the bare name ".LOG").
QString LogPathFor(const QString& videoPath);

// The names a log is looked for under, in order: the name itself and, for one ending in ".LOG",
// every other letter case of that extension (copies from the card to a Linux disk keep the case
// the recorder wrote; the fixed order keeps the choice from depending on the folder listing).
QStringList LogCandidates(const QString& logPath);

// The trip log beside `recording` that is there (absolute path), or empty when it has none.
QString LogOf(const QString& recording);

// The file beside `recording` with its name and `extension` ("NMEA"), either in any letter case
// (absolute path), or empty when there is none. A folder's names are listed once and kept while
// the folder is unchanged: a card of hundreds of recordings is not listed once per recording.
QString Beside(const QString& recording, const QString& extension);

// The recording a trip log belongs to: the same name with ".asf" in any letter case; empty
// when there is none.
QString RecordingOf(const QString& logPath);

// The recorder's settings file in `folder` ("setup.ini", any letter case); empty when none.
QString SetupFileIn(const QString& folder);

// The recordings of a card that other recorders wrote: MP4 and MOV files (with any ASF ones)
// in `folder` and in the folders recorders keep them in (Movie, RO, Parking, Normal, Event, and
// their F, R and I for each camera), as paths relative to `folder`, oldest first (by the time
// in the name, else the file's own). Empty for a folder of ASF recordings alone, which is
// listed as the recorder's software listed it. The program's own clips are left out.
QStringList OtherRecorderFiles(const QString& folder);

// The folders recorders sort their recordings into ("Movie", "RO", "Parking", "Normal",
// "Event"), each perhaps with a folder per camera (F, R, I).
const QStringList& LayoutFolders();
// The card folder a recording belongs to: its own, or the one above the layout folders.
QString CardFolderOf(const QString& recording);

// The time a recorder wrote into a recording's name ("2024_0315_083012_0001F.MP4",
// "20240315_083012_NF.mp4", "NO20240315-083012-000123.MP4"), as the camera's clock; invalid
// when the name has none.
QDateTime TimeInName(const QString& name);

// Whether a recording is one the recorder kept for an event: in a folder RO or Event, or named
// with "EV" or "_E" where recorders mark them.
bool IsEventRecording(const QString& path);

} // namespace CardFiles
