// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

struct TripTrack;

// The jolts the recorder felt: trip log records whose G value on an axis is, in absolute
// value, greater than that axis's limit in the card's setup.ini (the recorder's own rule for
// capturing an event). An axis whose limit is 0 is not checked. Records over a limit less than
// two seconds apart make one event, placed at its strongest record (the largest value over
// limit). No window code here: the window, the command line and the benchmark use it alike.
namespace Events {

enum class Axis { X, Y, Z };
const char* AxisName(Axis axis); // "X", "Y", "Z"

// Over-limit records closer than this make one event.
constexpr double kMergeSeconds = 2.0;

struct Limits {
    double x = 0, y = 0, z = 0; // g; 0: the axis is not checked
    QString file;               // the settings file they were read from; empty: none was found
    QString givenIn;            // where the user gave them ("on the command line"), if so
    double Of(Axis axis) const { return axis == Axis::X ? x : axis == Axis::Y ? y : z; }
};

// The limits of a settings file, read as the settings dialog reads it (without changing what
// the dialog shows); nothing when the file cannot be read.
std::optional<Limits> ReadLimits(const QString& setupPath);
// The settings file in `folder` ("setup.ini", any letter case); empty when there is none.
QString SetupFileIn(const QString& folder);
// "X 2.50 g, Y 2.50 g, Z 3.00 g from /card/setup.ini", or "… (no setup.ini: …)".
QString LimitsText(const Limits& limits);

struct Event {
    double at = 0; // seconds into the recording: its strongest record
    Axis axis = Axis::X;
    double peak = 0;  // g, signed as logged
    double limit = 0; // g
    double speed = 0; // km/h as logged
    bool hasPosition = false;
    double latitude = 0, longitude = 0; // WGS-84 as logged
    QByteArray date, time;              // the recorder's clock as logged
    bool utc = false;                   // that clock is GPS time (UTC), not the camera's
};

// The events of a trip log's bytes over a recording of `duration` seconds: the log's records
// are spread evenly over it, as the chart shows them. A last record without its line end was
// cut off while written and is not checked.
std::vector<Event> Find(const QByteArray& log, double duration, const Limits& limits);

// The events of a trip track (another recorder's samples at their own times).
std::vector<Event> FindInTrack(const TripTrack& track, const Limits& limits);

struct Scan {
    bool haveLog = false; // false: no trip log beside the recording (or it cannot be read)
    bool marked = false;  // the recorder kept the recording for an event of its own
    double duration = 0;  // of the recording, seconds
    std::vector<Event> events;
};

// The events of a recording, from the trip log beside it; its length comes from the file, or
// where the file does not tell, from the log's own clock.
Scan ScanRecording(const QString& recording, const Limits& limits);
// The same for a trip log (other letter cases of ".LOG" tried) and its recording, if any.
Scan ScanLog(const QString& logPath, const QString& recording, const Limits& limits);

// What the record list's "Event" column and the "Event:" box show for a scan: "2 × 2.7 g"
// (how many, and the strongest in g), "none", or nothing without a log; a recording the
// recorder marked also says "marked" ("marked", "2 × 2.7 g, marked").
QString Summary(const Scan& scan);

// A scan told at length, one line per event with its times: "X -2.90 g at 0:08, logged
// 2026/05/20 12:31:08.00 UTC (GPS), 2026-05-20 14:31:08 camera clock"; the recorder's mark
// first. Empty without a log or mark.
QString Details(const Scan& scan, const QString& recording);

// The scans the user asked for, by the recording's absolute path; empty until then.
void Remember(const QString& recording, const Scan& scan);
const Scan* Known(const QString& recording);

} // namespace Events
