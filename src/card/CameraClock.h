// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDateTime>
#include <QString>

// The camera's own clock, as the recorder wrote it into its file names (and burnt into the
// picture), beside the UTC time its GPS receiver gives. A camera whose clock is wrong (a flat
// backup battery resets it) gets an offset from the user, kept per card folder in the program's
// settings, that every camera time shown or written takes.
namespace CameraClock {

// Seconds added to the camera's clock of the card in `cardFolder` (0: none set).
double Offset(const QString& cardFolder);
void SetOffset(const QString& cardFolder, double seconds);

// The camera's clock `seconds` into `recording`: the time in its name, the offset of its card
// folder added (a time without zone, shown as the camera shows it). Invalid when its name has
// no time.
QDateTime At(const QString& recording, double seconds);

// "2026-05-20 14:30:12 camera clock" or "… camera clock +120 s"; empty for an invalid time.
QString Text(const QDateTime& at, const QString& recording);

} // namespace CameraClock
