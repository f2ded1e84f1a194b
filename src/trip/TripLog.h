// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "card/CardFiles.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>
#include <vector>

// Slots per column of the trip table.
constexpr int TRIP_LOG_CAPACITY = 4000;

// The trip samples of the recording opened last; one for the process, static storage.
// A load overwrites slots 0 .. sampleCount - 1 only: slots beyond keep what an earlier, longer
// log left there, which the chart relies on for nothing but is kept as the recorder's software
// always behaved.
struct TripLogData {
    double accelX[TRIP_LOG_CAPACITY] = {};
    double accelY[TRIP_LOG_CAPACITY] = {};
    double accelZ[TRIP_LOG_CAPACITY] = {};
    double latitude[TRIP_LOG_CAPACITY] = {};  // decimal degrees after conversion
    double longitude[TRIP_LOG_CAPACITY] = {}; // decimal degrees after conversion
    double speed[TRIP_LOG_CAPACITY] = {};
    int32_t sampleCount = 0;   // slots the last load produced, at most TRIP_LOG_CAPACITY
    bool reloadPending = true; // the next chart refresh loads the log first
};

extern TripLogData TripLog;

// The log path for a video path, and the names it is looked for under (see CardFiles).
inline QString TripLogPath(const QString& videoPath) {
    return CardFiles::LogPathFor(videoPath);
}
inline QStringList TripLogCandidates(const QString& logPath) {
    return CardFiles::LogCandidates(logPath);
}

// Reads the log named after CurrentRecord.fileName into TripLog. Returns false when the log
// could not be opened or failed while it was read; then sampleCount is 0 and reloadPending is
// set again so the next refresh retries.
bool LoadTripLog();

// The same read from an explicit log path (the benchmark and tests time and probe it).
bool LoadTripLogFrom(const QString& logPath);

// The log's bytes as a text-mode stream reads them: a CR LF pair is one line break.
QByteArray TripLogText(const QByteArray& bytes);

// The bytes of the log at `logPath` (other letter cases of ".LOG" tried, the first that opens
// taken); nothing when none opens or the one that does fails while it is read (`error` says
// why).
std::optional<QByteArray> ReadTripLogFile(const QString& logPath, QString* error = nullptr);

// The passes of the reading above over a log's text, into `table` (slots 0 .. sampleCount - 1
// overwritten, the rest kept), with `degrees` the value last read, kept between loads. Where
// `passStarts` is given, it receives the offset in `text` at which each pass began.
void FillTripTable(const QByteArray& text, TripLogData& table, double& degrees,
                   std::vector<qint64>* passStarts = nullptr);

// The degrees value the process's loads keep from one to the next.
double& TripLogDegrees();
