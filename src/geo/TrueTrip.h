// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>
#include <array>
#include <optional>
#include <utility>
#include <vector>

// The trip log read for where the vehicle really was: every record of the log (no bound),
// each with its position in WGS-84 decimal degrees as the GPS receiver logged it (degrees and
// minutes, south and west negative from the hemisphere letter or a negative degrees value).
// The chart's reader keeps the recorder's own conversion; maps, exports and events use this.
namespace TrueTrip {

// Why a record has no usable position.
enum class Skip {
    None,       // a position
    NoFix,      // all position fields zero: written before the receiver's first fix
    OutOfRange, // beyond ±90° / ±180°, or minutes of 60 and more
    Unreadable, // the record's fields did not all read
    CutOff,     // the last record, without its line end (the recorder lost power inside it)
    Count
};

struct Sample {
    QByteArray date, time; // the recorder's clock as written ("2026/05/20", "14:30:05.10")
    double accelX = 0, accelY = 0, accelZ = 0; // g
    double latitude = 0, longitude = 0;        // WGS-84 decimal degrees, north and east positive
    double speed = 0;                          // km/h, as written
    Skip skip = Skip::None;
};

struct Trip {
    std::vector<Sample> samples; // one per record, in the log's order
    std::array<int, size_t(Skip::Count)> skipped{};
    int Usable() const { return int(samples.size()) - Skipped(); }
    int Skipped() const;
};

// One record (a line without its line end).
Sample ParseRecord(const QByteArray& line);

// Every record of the log's bytes; a last line without its line end counts as cut off.
Trip ParseLog(const QByteArray& bytes);

// Reads the log (other letter cases of ".LOG" are tried, as the chart does). False when it
// cannot be opened or read; `error` then says why.
bool Read(const QString& logPath, Trip& trip, QString* error = nullptr);

// The true position of record `index` of the log at `logPath`, or none when that record has
// no valid fix or the log cannot be read. The log is read once and kept until another path
// or `generation` (anything that changes when the log is loaded again) is asked for.
std::optional<std::pair<double, double>> FixAt(const QString& logPath, int generation, int index);

// "3 records left out: 1 before the first fix, 1 out of range, 1 cut off" (empty when none).
QString SkippedText(const Trip& trip);

} // namespace TrueTrip
