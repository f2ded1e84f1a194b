// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

namespace Events {

// dashcard-player --events FOLDER|LOG [--csv OUT]: one CSV row per event of every trip log of
// the folder (or of the one log), after a header row, on standard output or into OUT; the
// limits used and how many events were found on standard error. Exit status 0, or 1 when there
// is no trip log to scan or OUT cannot be written: it is one of the card's files or, without
// `force`, exists (nothing is written then).
int RunCommandLine(const QString& target, const QString& csvOut, const QString& program,
                   bool force = false);

// The CSV's rows for the events of one recording (or log, where there is no recording).
QByteArray CsvHeader();
QByteArray CsvRows(const QString& file, const struct Scan& scan);

} // namespace Events
