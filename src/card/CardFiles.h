// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

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

// The recording a trip log belongs to: the same name with ".asf" in any letter case; empty
// when there is none.
QString RecordingOf(const QString& logPath);

// The recorder's settings file in `folder` ("setup.ini", any letter case); empty when none.
QString SetupFileIn(const QString& folder);

} // namespace CardFiles
