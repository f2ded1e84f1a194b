// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "trip/TripTrack.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <optional>

// A recording's trip as GPX or KML files for map and trip programs: every record of the trip
// with a position, in WGS-84 as the receiver logged it (see TripTrack). Records without one
// (before the first fix, out of range, unreadable, cut off by a power loss) are left out and
// counted.
namespace TripExport {

enum class Format { Gpx, Kml };

struct Point {
    double latitude = 0, longitude = 0; // decimal degrees
    double speed = 0;                   // as the recorder writes it (km/h)
    double accelX = 0, accelY = 0, accelZ = 0;
    QDateTime time; // invalid when the record's date and clock did not read
};

struct Trip {
    QString name;                 // the recording's name without extension ("0003")
    std::optional<int> zoneHours; // the card's time zone; times are then UTC
    QList<Point> points;
    QString leftOut; // which records were left out and why; empty when none
};

// The card's time zone in whole hours, from the settings file in `folder` or the folder above
// it (read with the settings reader; the process's settings are left as they were). None when
// there is no such file or it names no zone in -12 … 14.
std::optional<int> CardTimeZone(const QString& folder);

// The points of the samples of `track` that have a position, with times converted to UTC by
// the time zone of the card's settings file in `cardFolder` (see CardTimeZone) where the clock
// is the camera's own; named `name`.
Trip TripOfSamples(const QString& name, const QString& cardFolder, const TripTrack& track);

// Reads the trip of a log. False when the log cannot be opened (`error` says why).
bool ReadTrip(const QString& logPath, Trip& trip, QString* error = nullptr);

// The file's text.
QByteArray FormatTrip(const Trip& trip, Format format);

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
