// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>
#include <array>
#include <cmath>
#include <vector>

// The trip of one recording, whatever wrote it (a text log beside the recording, boxes inside
// it, NMEA beside it): one sample per record the recorder wrote, in order, each at its time in
// the recording. Every consumer (chart and map, events, trip exports, clip sidecars) takes its
// samples from a track, so that they all name the same record at the same time.
struct TripSample {
    // Why a sample has no usable position.
    enum class Skip {
        None,       // a position
        NoFix,      // all position fields zero: written before the receiver's first fix
        OutOfRange, // beyond ±90° / ±180°, or minutes of 60 and more
        Unreadable, // its position or speed did not read
        CutOff,     // the last record, without its line end (the recorder lost power inside it)
        Count
    };

    double time = 0;                           // seconds into the recording
    double accelX = 0, accelY = 0, accelZ = 0; // g
    double speed = 0;                          // km/h
    double heading = NAN;                      // degrees from north; NaN where not logged
    double latitude = 0, longitude = 0;        // WGS-84 decimal degrees, when skip is None
    Skip skip = Skip::None;
    QByteArray date, clock;  // the recorder's clock as written ("2026/05/20", "14:30:05.10")
    bool clockIsUtc = false; // GPS time; else the camera's own (local) clock
    bool HasFix() const { return skip == Skip::None; }
};

// A date and a time as the text log writes them: "2026/05/20", "14:30:05.10" (hundredths, cut
// as the receiver's own text cuts them). Written by hand: readers do this for every sample,
// and QDate::toString with a format costs microseconds each.
QByteArray LoggedDate(int year, int month, int day);
QByteArray LoggedClock(int hours, int minutes, int seconds, int milliseconds = 0);

struct TripTrack {
    std::vector<TripSample> samples;
    // What was left out, by reason: samples without a position, and lines that were no record
    // at all (counted as unreadable).
    std::array<int, size_t(TripSample::Skip::Count)> skipped{};
    // Where the recorder's own table (the chart's) was filled from the same text: its slot k's
    // sample, -1 where that slot began on no record.
    std::vector<int> sampleOfSlot;
    QString source; // the file the track was read from

    int Skipped() const;
    // The sample the chart's slot `slot` shows, or null.
    const TripSample* SampleOfSlot(int slot) const;
    // The last sample at or before `seconds` into the recording, or null.
    const TripSample* SampleAt(double seconds) const;
    // "3 records left out: 1 before the first fix, 1 out of range, 1 cut off" (empty when none).
    QString LeftOutText() const;
};
