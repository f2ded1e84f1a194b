// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "geo/Wgs84.h"
#include "trip/TripTrack.h"

#include <QString>

class TripReader;

// The readers of trips that other recorders write inside their MP4/MOV files or beside them
// (see TripReaders::All for the order they are asked in).
namespace CameraReaders {

// Novatek chipsets: one "freeGPS " block a second, indexed from moov/gps (or found by a
// bounded scan where there is no index).
const TripReader& Novatek();
// A top-level "GPS " box of 36-byte records, as some compact cameras write.
const TripReader& GpsBox();
// A top-level "free" box holding "gps " (NMEA lines after their time in ms), "3gf " (G
// records) and "sttm" (the start time); or the same beside the video as NAME.gps / NAME.3gf.
const TripReader& FreeBoxNmea();
// The GPMF metadata track of action cameras (GPS5 or GPS9 with ACCL).
const TripReader& Gpmf();
// An NMEA file beside the video (NAME.nmea, any letter case).
const TripReader& NmeaFile();

// How a reader's Read ends: true when the track holds a sample or counts one left out; else
// false, saying so, for a file whose trip is all gone is no trip, not an empty one.
inline bool Finish(const TripTrack& track, QString* error) {
    if (!track.samples.empty() || track.Skipped() > 0)
        return true;
    if (error)
        *error = QStringLiteral("nothing in it could be read");
    return false;
}

// A logged position as the sample's fix, or the reason it is none.
inline void SetPosition(TripSample& s, const Wgs84::Logged& latitude,
                        const Wgs84::Logged& longitude) {
    switch (Wgs84::CheckFix(latitude, longitude)) {
    case Wgs84::Check::Fix:
        s.latitude = latitude.Value();
        s.longitude = longitude.Value();
        break;
    case Wgs84::Check::NoFix:
        s.skip = TripSample::Skip::NoFix;
        break;
    case Wgs84::Check::OutOfRange:
        s.skip = TripSample::Skip::OutOfRange;
        break;
    }
}

} // namespace CameraReaders
