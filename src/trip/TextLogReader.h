// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "trip/TripTrack.h"

#include <QByteArray>
#include <QString>
#include <cstring>
#include <vector>

struct TripLogData;

// The recorder's text trip log (NNNN.LOG beside NNNN.asf), read once for everything: the
// track every consumer uses and, for the chart, the recorder's own table (TripLog) from the
// same text, each slot tied to the record its pass began on.
//
// A record is a line whose G values read (the recorder writes "G:x,y,z" on every line it
// logs), or a last line cut off without its line end. Blank lines are passed over; any other
// line is no record (counted as unreadable). Records are spread evenly over the recording.
namespace TextLog {

// The three G values after "G:" (the recorder writes the tag 42 bytes into the record, else it
// is looked for); false when they do not read.
bool ReadG(const char* p, const char* end, double g[3]);

// One record, whole (its time left at 0): the clock, G, position and speed.
TripSample ParseRecord(const char* p, const char* end);
inline TripSample ParseRecord(const QByteArray& line) {
    return ParseRecord(line.constData(), line.constData() + line.size());
}

// The records of a log's text in order: `record(begin, end, g, cutOff)` for each (g unset
// for a cut-off line whose G did not read), `other()` for every other line that is not blank.
template <typename Record, typename Other>
void ForEachRecord(const QByteArray& text, Record&& record, Other&& other) {
    const char* p = text.constData();
    const char* const end = p + text.size();
    while (p < end) {
        const char* newline = static_cast<const char*>(std::memchr(p, '\n', size_t(end - p)));
        const char* lineEnd = newline ? newline : end;
        bool blank = true;
        for (const char* c = p; blank && c < lineEnd; ++c)
            blank = *c == ' ' || *c == '\t' || *c == '\r' || *c == '\v' || *c == '\f';
        if (!blank) {
            double g[3] = {0, 0, 0};
            const bool read = ReadG(p, lineEnd, g);
            if (read || !newline)
                record(p, lineEnd, g, !newline);
            else
                other();
        }
        p = newline ? newline + 1 : end;
    }
}

// How long the log's own clock runs, from its first record to its last and one interval more
// (one record a second where the clock does not read): the length of a recording not known
// otherwise.
double ClockLength(const QByteArray& text, qsizetype records);

// The track of a log's text over a recording of `duration` seconds (0: the log's own clock).
// `passStarts` (the table's passes, from FillTripTable) ties each slot to its record.
TripTrack TrackOfText(const QByteArray& text, double duration,
                      const std::vector<qint64>* passStarts = nullptr);

// Reads the log at `logPath` (other letter cases of ".LOG" tried) once into a track and, where
// `table` is given, the recorder's table with it (`degrees` the value kept between loads).
// False when the log cannot be opened or read (`error` says why); the table is then left alone.
bool Read(const QString& logPath, double duration, TripTrack& track, QString* error = nullptr,
          TripLogData* table = nullptr, double* degrees = nullptr);

} // namespace TextLog
