// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "trip/TripFormats.h"

#include <QString>

// The trip exports of the window and the command line (see TripFormats for the files).
namespace TripExport {

// Reads the trip of a log. False when the log cannot be opened (`error` says why).
bool ReadTrip(const QString& logPath, Trip& trip, QString* error = nullptr);

// Beside `path`, with the format's extension ("/card/0003.LOG" gives "/card/0003.gpx").
QString DefaultOutputPath(const QString& path, Format format);

// Writes the whole file or nothing: a temporary file beside it, put in place once all of it
// is on the disk. On failure `error` says why and any old file stays whole.
bool WriteAtomically(const QString& path, const QByteArray& bytes, QString* error);

// Reads, formats and writes in one go (the command line's export). "Open fail" when the log
// cannot be opened, "no positions in LOG" when it holds none, and nothing is written then nor
// when the output guard refuses the output (an existing file is replaced only with `force`).
// `leftOut` receives the trip's note of records left out.
bool Export(const QString& logPath, const QString& outPath, Format format, QString* error,
            QString* leftOut = nullptr, bool force = false);

} // namespace TripExport
