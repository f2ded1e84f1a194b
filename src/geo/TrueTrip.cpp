// SPDX-License-Identifier: GPL-3.0-or-later
#include "geo/TrueTrip.h"

#include "trip/TripLog.h"

#include <QFile>
#include <QStringList>
#include <cctype>
#include <charconv>
#include <cmath>
#include <string_view>

namespace TrueTrip {

namespace {

// Reads the fields of one record in order; any field that does not read fails the record.
class Fields {
public:
    explicit Fields(const QByteArray& line) : m_p(line.constData()), m_end(m_p + line.size()) {}

    bool Token(QByteArray& out) {
        SkipSpace();
        const char* start = m_p;
        while (m_p < m_end && !IsSpace(*m_p))
            ++m_p;
        out = QByteArray(start, m_p - start);
        return m_p > start;
    }
    // Moves just past the next `tag` ("G:", "POS:").
    bool After(const char* tag) {
        const std::string_view rest(m_p, size_t(m_end - m_p));
        const size_t at = rest.find(tag);
        if (at == std::string_view::npos)
            return false;
        m_p += at + std::char_traits<char>::length(tag);
        return true;
    }
    bool Number(double& value) {
        SkipSpace();
        if (m_p < m_end && *m_p == '+')
            ++m_p;
        const auto [end, error] = std::from_chars(m_p, m_end, value);
        if (error != std::errc() || !std::isfinite(value))
            return false;
        m_p = end;
        return true;
    }
    bool Char(char c) {
        if (m_p < m_end && *m_p == c) {
            ++m_p;
            return true;
        }
        return false;
    }
    // One of two letters (either case), if there; which one into `second`.
    void Letter(char first, char other, bool& second) {
        second = false;
        if (m_p < m_end && (std::toupper(*m_p) == first || std::toupper(*m_p) == other)) {
            second = std::toupper(*m_p) == other;
            ++m_p;
        }
    }

private:
    static bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
    void SkipSpace() {
        while (m_p < m_end && IsSpace(*m_p))
            ++m_p;
    }
    const char* m_p;
    const char* m_end;
};

// Degrees and minutes as logged, the sign from the hemisphere letter or the degrees.
struct Angle {
    double degrees = 0, minutes = 0;
    bool southOrWest = false;
    double Value() const {
        const double magnitude = std::abs(degrees) + minutes / 60.0;
        return southOrWest || degrees < 0 || std::signbit(degrees) ? -magnitude : magnitude;
    }
    bool Zero() const { return degrees == 0 && minutes == 0; }
};

bool ReadAngle(Fields& f, char positive, char negative, Angle& angle) {
    f.Letter(positive, negative, angle.southOrWest);
    return f.Number(angle.degrees) && f.Number(angle.minutes);
}

} // namespace

int Trip::Skipped() const {
    int n = 0;
    for (size_t i = 1; i < skipped.size(); ++i)
        n += skipped[i];
    return n;
}

Sample ParseRecord(const QByteArray& line) {
    Sample s;
    Fields f(line);
    Angle latitude, longitude;
    const bool read = f.Token(s.date) && f.Token(s.time) && f.After("G:") && f.Number(s.accelX) &&
                      f.Char(',') && f.Number(s.accelY) && f.Char(',') && f.Number(s.accelZ) &&
                      f.After("POS:") && ReadAngle(f, 'N', 'S', latitude) && f.Char(',') &&
                      ReadAngle(f, 'E', 'W', longitude) && f.Number(s.speed);
    if (!read) {
        s.skip = Skip::Unreadable;
        return s;
    }
    if (latitude.Zero() && longitude.Zero()) {
        s.skip = Skip::NoFix;
        return s;
    }
    s.latitude = latitude.Value();
    s.longitude = longitude.Value();
    if (latitude.minutes < 0 || latitude.minutes >= 60 || longitude.minutes < 0 ||
        longitude.minutes >= 60 || std::abs(s.latitude) > 90 || std::abs(s.longitude) > 180)
        s.skip = Skip::OutOfRange;
    return s;
}

Trip ParseLog(const QByteArray& bytes) {
    Trip trip;
    trip.samples.reserve(size_t(bytes.count('\n')) + 1);
    qsizetype from = 0;
    while (from < bytes.size()) {
        const qsizetype end = bytes.indexOf('\n', from);
        const QByteArray line = bytes.mid(from, (end < 0 ? bytes.size() : end) - from);
        from = end < 0 ? bytes.size() : end + 1;
        if (line.trimmed().isEmpty())
            continue;
        Sample sample = ParseRecord(line);
        if (end < 0) // the recorder ends every record with a line end
            sample.skip = Skip::CutOff;
        ++trip.skipped[size_t(sample.skip)];
        trip.samples.push_back(std::move(sample));
    }
    return trip;
}

bool Read(const QString& logPath, Trip& trip, QString* error) {
    QString why;
    for (const QString& candidate : TripLogCandidates(logPath)) {
        QFile file(candidate);
        if (!file.open(QIODevice::ReadOnly)) {
            if (why.isEmpty())
                why = file.errorString();
            continue;
        }
        const QByteArray bytes = file.readAll();
        if (file.error() != QFileDevice::NoError) {
            if (error)
                *error = file.errorString();
            return false;
        }
        trip = ParseLog(bytes);
        return true;
    }
    if (error)
        *error = why;
    return false;
}

std::optional<std::pair<double, double>> FixAt(const QString& logPath, int generation, int index) {
    static QString s_path;
    static int s_generation = -1;
    static Trip s_trip;
    if (logPath != s_path || generation != s_generation) {
        s_path = logPath;
        s_generation = generation;
        if (!Read(logPath, s_trip))
            s_trip = Trip{};
    }
    if (index < 0 || size_t(index) >= s_trip.samples.size())
        return std::nullopt;
    const Sample& s = s_trip.samples[size_t(index)];
    if (s.skip != Skip::None)
        return std::nullopt;
    return std::make_pair(s.latitude, s.longitude);
}

QString SkippedText(const Trip& trip) {
    static const char* const reasons[] = {"", "before the first fix", "out of range", "unreadable",
                                          "cut off"};
    QStringList parts;
    for (size_t i = 1; i < trip.skipped.size(); ++i)
        if (trip.skipped[i])
            parts.append(QStringLiteral("%1 %2").arg(trip.skipped[i]).arg(reasons[i]));
    if (parts.isEmpty())
        return {};
    const int n = trip.Skipped();
    return QStringLiteral("%1 record%2 left out: %3")
        .arg(n)
        .arg(n == 1 ? "" : "s")
        .arg(parts.join(QStringLiteral(", ")));
}

} // namespace TrueTrip
