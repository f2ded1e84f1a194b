// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "DemoCard.h"

#include <QByteArray>
#include <QList>
#include <QString>

// The trips other recorders write inside their MP4 files or beside them, written by us from
// the public descriptions of their layouts, into MP4 files ffmpeg encoded: the demo card's
// second folder, and the tests' material.
namespace democard {

enum class TripLayout {
    None,        // no trip (a rear camera's file)
    Novatek,     // a "freeGPS " block a second, indexed from moov/gps
    FreeBoxNmea, // a top-level free box: sttm, gps (NMEA after [ms]), 3gf (G records)
    Gpmf,        // a GPMF metadata track: GPS5 and ACCL
    GpsBox,      // a top-level "GPS " box of 36-byte records
    NmeaBeside   // an NMEA file beside the video, same name
};

struct CameraRecording {
    QString path; // in the card folder ("Movie/2026_0520_143000_0001F.MP4")
    Recording rec;
    TripLayout layout = TripLayout::None;
};

// The second card: a front/rear pair and a locked event pair of one brand (Novatek blocks in
// the front files), one recording of each other layout. All the same drive's minutes.
QList<CameraRecording> cameraRecordings();

// `video` (an MP4 as ffmpeg writes it: moov after mdat) with `rec`'s drive added in `layout`.
QByteArray withTrip(const QByteArray& video, const Recording& rec, TripLayout layout);
// The NMEA text (RMC, checksums, CR LF) of `rec`'s drive, one fix a second.
QByteArray nmeaText(const Recording& rec);
// The name of the NMEA file beside a recording: "x.MP4" gives "x.NMEA".
QString nmeaName(const QString& path);

} // namespace democard
