#pragma once

#include <QString>
#include <cstdint>

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

// Reads the log named after CurrentRecord.fileName into TripLog. Returns false when the log
// could not be opened; then sampleCount is 0, reloadPending is set again so the next refresh
// retries, and nothing else changes.
bool LoadTripLog();

// The same read from an explicit log path (the benchmark and tests time and probe it).
bool LoadTripLogFrom(const QString& logPath);
