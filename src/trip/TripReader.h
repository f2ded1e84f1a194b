// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "trip/TripTrack.h"

#include <QString>
#include <QStringList>
#include <vector>

// Where a recording's trip comes from. Each kind of source (the text log beside an ASF
// recording today; boxes inside MP4 files, NMEA files beside them) has a reader that says
// whether it has the trip of a recording (Probe) and reads it into a track (Read). The first
// reader that probes true is the recording's.
class TripReader {
public:
    virtual ~TripReader() = default;
    // A short name for messages ("text log").
    virtual QString Name() const = 0;
    // Whether this reader finds the trip of `recording`; reads as little as it can.
    virtual bool Probe(const QString& recording) const = 0;
    // The files beside `recording` that hold its trip (none when it lies inside the recording).
    virtual QStringList Files(const QString&) const { return {}; }
    // The trip of `recording`, its samples spread over `duration` seconds where the source
    // gives them no times of their own (0: not known). False when it cannot be read (`error`
    // says why).
    virtual bool Read(const QString& recording, double duration, TripTrack& track,
                      QString* error) const = 0;
};

namespace TripReaders {

// Every reader, in the order they are asked.
const std::vector<const TripReader*>& All();
// The reader of `recording`'s trip, or null when none finds one.
const TripReader* For(const QString& recording);
// The files beside `recording` that hold its trip (see TripReader::Files).
QStringList Files(const QString& recording);
// Whether another camera of `recording`'s moment (CameraPairs) has a reader: where the
// recording's own finds nothing, Read gives that camera's trip.
bool FromPartner(const QString& recording);
// The trip of `recording` through its reader; when that finds no samples, the trip of another
// camera of the same moment, moved onto this file's time line. False when none has one or it
// cannot be read.
bool Read(const QString& recording, double duration, TripTrack& track, QString* error = nullptr);

} // namespace TripReaders
