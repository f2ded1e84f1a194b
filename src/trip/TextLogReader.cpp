// SPDX-License-Identifier: GPL-3.0-or-later
#include "trip/TextLogReader.h"

#include "geo/Wgs84.h"
#include "trip/TripLog.h"

#include <QList>
#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <optional>

namespace TextLog {

namespace {

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

// A plain decimal ("-0.02", "+1.5", "3"): an exact integer over a power of ten, which gives the
// same double as a full conversion; anything else goes to one. Null when it does not read.
const char* ReadNumber(const char* p, const char* end, double& value) {
    while (p < end && (*p == ' ' || *p == '\t'))
        ++p;
    const char* start = p;
    const bool negative = p < end && *p == '-';
    if (p < end && (*p == '-' || *p == '+'))
        ++p;
    std::uint64_t digits = 0;
    int count = 0, scale = 0;
    for (; p < end && *p >= '0' && *p <= '9'; ++p, ++count)
        digits = digits * 10 + std::uint64_t(*p - '0');
    if (p < end && *p == '.')
        for (++p; p < end && *p >= '0' && *p <= '9'; ++p, ++count, ++scale)
            digits = digits * 10 + std::uint64_t(*p - '0');
    static constexpr double kPowers[] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8};
    if (count > 0 && count <= 15 && scale <= 8 && (p == end || (*p != 'e' && *p != 'E'))) {
        value = double(digits) / kPowers[scale];
        if (negative)
            value = -value;
        return p;
    }
    p = start < end && *start == '+' ? start + 1 : start;
    const auto [next, error] = std::from_chars(p, end, value);
    return error == std::errc() && std::isfinite(value) ? next : nullptr;
}

// A token: whitespace skipped, then everything up to the next whitespace.
const char* ReadToken(const char* p, const char* end, QByteArray& out) {
    while (p < end && IsSpace(*p))
        ++p;
    const char* start = p;
    while (p < end && !IsSpace(*p))
        ++p;
    out = QByteArray(start, p - start);
    return p > start ? p : nullptr;
}

const char* After(const char* p, const char* end, const char* tag, size_t length) {
    const void* at = p < end ? memmem(p, size_t(end - p), tag, length) : nullptr;
    return at ? static_cast<const char*>(at) + length : nullptr;
}

// "N22 32.5603": the hemisphere letter (if there), degrees and minutes.
const char* ReadAngle(const char* p, const char* end, char positive, char negative,
                      Wgs84::Logged& angle) {
    if (p < end && (std::toupper(uchar(*p)) == positive || std::toupper(uchar(*p)) == negative)) {
        angle.southOrWest = std::toupper(uchar(*p)) == negative;
        ++p;
    }
    p = ReadNumber(p, end, angle.degrees);
    return p ? ReadNumber(p, end, angle.minutes) : nullptr;
}

// Seconds of the day of a record's clock ("14:30:05.10"), if it reads.
std::optional<double> ClockSeconds(const QByteArray& clock) {
    const QList<QByteArray> parts = clock.split(':');
    bool h = false, m = false, s = false;
    if (parts.size() != 3)
        return std::nullopt;
    const double value =
        parts[0].toInt(&h) * 3600.0 + parts[1].toInt(&m) * 60.0 + parts[2].toDouble(&s);
    return h && m && s ? std::optional<double>(value) : std::nullopt;
}

} // namespace

bool ReadG(const char* p, const char* end, double g[3]) {
    constexpr ptrdiff_t kUsual = 42;
    const char* values = end - p > kUsual + 2 && p[kUsual] == 'G' && p[kUsual + 1] == ':'
                             ? p + kUsual + 2
                             : After(p, end, "G:", 2);
    if (!values)
        return false;
    p = values;
    for (int axis = 0; axis < 3; ++axis) {
        while (p < end && *p == ' ')
            ++p;
        p = ReadNumber(p, end, g[axis]);
        if (!p)
            return false;
        if (axis < 2) {
            if (p >= end || *p != ',')
                return false;
            ++p;
        }
    }
    return true;
}

TripSample ParseRecord(const char* p, const char* end) {
    TripSample s;
    const char* at = ReadToken(p, end, s.date);
    at = at ? ReadToken(at, end, s.clock) : nullptr;
    double g[3] = {0, 0, 0};
    const bool gRead = at && ReadG(p, end, g);
    s.accelX = g[0];
    s.accelY = g[1];
    s.accelZ = g[2];
    Wgs84::Logged latitude, longitude;
    const char* pos = gRead ? After(p, end, "POS:", 4) : nullptr;
    pos = pos ? ReadAngle(pos, end, 'N', 'S', latitude) : nullptr;
    pos = pos && pos < end && *pos == ',' ? ReadAngle(pos + 1, end, 'E', 'W', longitude) : nullptr;
    pos = pos ? ReadNumber(pos, end, s.speed) : nullptr;
    if (!pos) {
        s.skip = TripSample::Skip::Unreadable;
        return s;
    }
    switch (Wgs84::CheckFix(latitude, longitude)) {
    case Wgs84::Check::NoFix:
        s.skip = TripSample::Skip::NoFix;
        break;
    case Wgs84::Check::OutOfRange:
        s.skip = TripSample::Skip::OutOfRange;
        s.latitude = latitude.Value();
        s.longitude = longitude.Value();
        break;
    case Wgs84::Check::Fix:
        s.latitude = latitude.Value();
        s.longitude = longitude.Value();
        break;
    }
    return s;
}

double ClockLength(const QByteArray& text, qsizetype records) {
    qsizetype start = 0, end = text.size();
    while (start < end && std::isspace(uchar(text[start])))
        ++start;
    while (end > start && std::isspace(uchar(text[end - 1])))
        --end;
    const qsizetype firstEnd = text.indexOf('\n', start);
    const qsizetype lastStart = text.lastIndexOf('\n', end - 1) + 1;
    const auto clockOf = [&text](qsizetype from, qsizetype to) {
        return ClockSeconds(ParseRecord(text.constData() + from, text.constData() + to).clock);
    };
    const auto from = clockOf(start, firstEnd < 0 || firstEnd > end ? end : firstEnd);
    const auto to = clockOf(std::max(lastStart, start), end);
    double span = from && to ? *to - *from : 0;
    if (span < 0)
        span += 24 * 3600; // over midnight
    return records > 1 && span > 0 ? span * double(records) / double(records - 1) : double(records);
}

TripTrack TrackOfText(const QByteArray& text, double duration,
                      const std::vector<qint64>* passStarts) {
    TripTrack track;
    std::vector<qint64> starts; // where each record's line begins in the text
    ForEachRecord(
        text,
        [&](const char* begin, const char* end, const double*, bool cutOff) {
            TripSample s = ParseRecord(begin, end);
            if (cutOff) // the recorder ends every record with a line end
                s.skip = TripSample::Skip::CutOff;
            ++track.skipped[size_t(s.skip)];
            track.samples.push_back(std::move(s));
            starts.push_back(begin - text.constData());
        },
        [&] { ++track.skipped[size_t(TripSample::Skip::Unreadable)]; });
    const qsizetype records = qsizetype(track.samples.size());
    if (duration <= 0)
        duration = ClockLength(text, records);
    const double step = records > 0 ? duration / double(records) : 0;
    for (size_t k = 0; k < track.samples.size(); ++k)
        track.samples[k].time = double(k) * step;
    if (passStarts) {
        // A pass belongs to the record on whose line its first token lies.
        track.sampleOfSlot.reserve(passStarts->size());
        for (const qint64 start : *passStarts) {
            qint64 token = start;
            while (token < text.size() && IsSpace(text[token]))
                ++token;
            const qint64 lineStart = token <= 0 ? 0 : text.lastIndexOf('\n', token - 1) + 1;
            const auto it = std::lower_bound(starts.begin(), starts.end(), lineStart);
            track.sampleOfSlot.push_back(it != starts.end() && *it == lineStart &&
                                                 token < text.size()
                                             ? int(it - starts.begin())
                                             : -1);
        }
    }
    return track;
}

bool Read(const QString& logPath, double duration, TripTrack& track, QString* error,
          TripLogData* table, double* degrees) {
    const std::optional<QByteArray> bytes = ReadTripLogFile(logPath, error);
    if (!bytes)
        return false;
    const QByteArray text = TripLogText(*bytes);
    std::vector<qint64> passStarts;
    if (table) {
        double kept = degrees ? *degrees : 0;
        FillTripTable(text, *table, kept, &passStarts);
        if (degrees)
            *degrees = kept;
    }
    track = TrackOfText(text, duration, table ? &passStarts : nullptr);
    track.source = logPath;
    return true;
}

} // namespace TextLog
