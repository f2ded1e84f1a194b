// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

namespace Events {

// dashcard-player --events FOLDER|LOG|RECORDING [--csv OUT] [--limit G | --limits X,Y,Z]: one
// CSV row per event of every trip log and other recorders' recording of the folder (or of the one
// log or recording), after a header row, on standard output or into OUT; the limits used and how
// many events were found on standard error. The limits are `given` (g per axis, 0: not checked)
// or else the card's setup.ini's. Exit status 0, or 1 when there is nothing to scan or OUT
// cannot be written: it is one of the card's files or, without `force`, exists (nothing is
// written then).
int RunCommandLine(const QString& target, const QString& csvOut, const QString& program,
                   bool force = false, const double* given = nullptr);

// The CSV's rows for the events of one recording (or log, where there is no recording).
QByteArray CsvHeader();
QByteArray CsvRows(const QString& file, const struct Scan& scan);

} // namespace Events
