// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <cstdint>
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

// The log path for a video path: the text before the last "." of the whole path, folders
// included, followed by ".LOG" ("/rec/0001.asf" gives "/rec/0001.LOG"; no "." at all gives
// the bare name ".LOG").
QString TripLogPath(const QString& videoPath);

// The names a log is looked for under, in order: the name itself and, for one ending in ".LOG",
// every other letter case of that extension (copies from the card to a Linux disk keep the case
// the recorder wrote; the fixed order keeps the choice from depending on the folder listing).
QStringList TripLogCandidates(const QString& logPath);

// Reads the log named after CurrentRecord.fileName into TripLog. Returns false when the log
// could not be opened or failed while it was read; then sampleCount is 0 and reloadPending is
// set again so the next refresh retries.
bool LoadTripLog();

// The same read from an explicit log path (the benchmark and tests time and probe it).
bool LoadTripLogFrom(const QString& logPath);

// What a record holds beyond the table's columns, for an export: its first two tokens (where
// the recorder writes its date and clock) and whether its position fields were all zero (as
// the recorder writes them before its first fix). A pass that read nothing has no date.
struct TripRecordExtra {
    QByteArray date;
    QByteArray time;
    bool positionZero = false;
};

// The same read into a table of the caller's (the process's TripLog is left alone), with the
// extras of every slot. False when the log could not be opened (other letter cases of ".LOG"
// are tried as for the chart) or failed while it was read.
bool ReadTripLog(const QString& logPath, TripLogData& table, std::vector<TripRecordExtra>& extras);
