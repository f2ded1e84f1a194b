// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "trip/TripTrack.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <optional>

// A recording's trip as GPX or KML files for map and trip programs: every sample of the trip
// with a position, in WGS-84 as the receiver logged it (see TripTrack). Samples without one
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
    bool gpsTime = false;         // times are the GPS receiver's, UTC as given
    QString cameraClock; // what the camera's clock read at its file's start, where it tells
    QList<Point> points;
    QString leftOut; // which records were left out and why; empty when none
};

// The points of the samples of `track` that have a position, named `name`, with times converted
// to UTC by the card's time zone `zoneHours` (hours east of UTC) where the clock is the
// camera's own.
Trip TripOfSamples(const QString& name, std::optional<int> zoneHours, const TripTrack& track);

// The file's text.
QByteArray FormatTrip(const Trip& trip, Format format);

} // namespace TripExport
