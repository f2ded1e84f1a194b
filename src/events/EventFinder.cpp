// SPDX-License-Identifier: GPL-3.0-or-later
#include "events/EventFinder.h"

#include "config/DeviceConfig.h"
#include "config/DeviceConfigFile.h"
#include "geo/TrueTrip.h"
#include "playback/AsfCardSource.h"
#include "trip/TripLog.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace Events {

namespace {

bool IsBlank(const char* p, const char* end) {
    for (; p < end; ++p)
        if (*p != ' ' && *p != '\t' && *p != '\r' && *p != '\v' && *p != '\f')
            return false;
    return true;
}

// A plain decimal ("-0.02", "+1.5", "3"): an exact integer over a power of ten, which gives the
// same double as a full conversion; anything else goes to one.
const char* ReadNumber(const char* p, const char* end, double& value) {
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

// The three G values after "G:" ("G:0.21,-0.02,0.97"); false when they do not read. The
// recorder writes the tag 42 bytes into the record; elsewhere it is looked for.
bool ReadG(const char* p, const char* end, double g[3]) {
    constexpr ptrdiff_t kUsual = 42;
    const char* tag = end - p > kUsual + 2 && p[kUsual] == 'G' && p[kUsual + 1] == ':'
                          ? p + kUsual
                          : static_cast<const char*>(memmem(p, size_t(end - p), "G:", 2));
    if (!tag)
        return false;
    p = tag + 2;
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

// Seconds of the day of a record's clock ("14:30:05.10"), if it reads.
std::optional<double> ClockSeconds(const QByteArray& time) {
    const QList<QByteArray> parts = time.split(':');
    bool h = false, m = false, s = false;
    if (parts.size() != 3)
        return std::nullopt;
    const double value =
        parts[0].toInt(&h) * 3600.0 + parts[1].toInt(&m) * 60.0 + parts[2].toDouble(&s);
    return h && m && s ? std::optional<double>(value) : std::nullopt;
}

// Where the recording's length is not known: the log's clock from its first record to its
// last, and one interval more; one record a second where the clock does not read.
double ClockLength(const QByteArray& log, qsizetype records) {
    qsizetype start = 0, end = log.size();
    while (start < end && std::isspace(uchar(log[start])))
        ++start;
    while (end > start && std::isspace(uchar(log[end - 1])))
        --end;
    const qsizetype firstEnd = log.indexOf('\n', start);
    const qsizetype lastStart = log.lastIndexOf('\n', end - 1) + 1;
    const auto clockOf = [&log](qsizetype from, qsizetype to) {
        return ClockSeconds(TrueTrip::ParseRecord(log.mid(from, to - from)).time);
    };
    const auto from = clockOf(start, firstEnd < 0 || firstEnd > end ? end : firstEnd);
    const auto to = clockOf(std::max(lastStart, start), end);
    double span = from && to ? *to - *from : 0;
    if (span < 0)
        span += 24 * 3600; // over midnight
    return records > 1 && span > 0 ? span * double(records) / double(records - 1) : double(records);
}

struct Over {
    qsizetype record = 0; // its index among the log's records
    const char* line;     // where it starts in the log
    const char* end;      //
    Axis axis = Axis::X;  // its strongest axis
    double value = 0, limit = 0;
    double strength = 0; // |value| / limit
};

QHash<QString, Scan>& Store() {
    static QHash<QString, Scan> store;
    return store;
}

QString Key(const QString& recording) {
    return QFileInfo(recording).absoluteFilePath();
}

} // namespace

const char* AxisName(Axis axis) {
    return axis == Axis::X ? "X" : axis == Axis::Y ? "Y" : "Z";
}

std::optional<Limits> ReadLimits(const QString& setupPath) {
    std::FILE* file = std::fopen(QFile::encodeName(setupPath).constData(), "rb");
    if (!file)
        return std::nullopt;
    // The reader fills the settings the dialog shows: they are put back as they were.
    const DeviceConfigData shown = DeviceConfig;
    DeviceConfig = DeviceConfigData{};
    LoadDeviceConfig(file);
    const bool whole = !std::ferror(file);
    std::fclose(file);
    Limits limits;
    limits.x = DeviceConfig.dLimitX;
    limits.y = DeviceConfig.dLimitY;
    limits.z = DeviceConfig.dLimitZ;
    limits.file = QFileInfo(setupPath).absoluteFilePath();
    DeviceConfig = shown;
    return whole ? std::optional<Limits>(limits) : std::nullopt;
}

QString SetupFileIn(const QString& folder) {
    const QStringList found =
        QDir(folder).entryList({QStringLiteral("setup.ini")}, QDir::Files, QDir::Name);
    const QDir dir(folder);
    for (const QString& name : found)
        if (name.compare(QLatin1String("setup.ini"), Qt::CaseInsensitive) == 0)
            return dir.filePath(name);
    return {};
}

QString LimitsText(const Limits& limits) {
    const auto one = [](const char* axis, double limit) {
        return limit > 0 ? QStringLiteral("%1 %2 g").arg(QLatin1String(axis)).arg(limit, 0, 'f', 2)
                         : QStringLiteral("%1 not checked").arg(QLatin1String(axis));
    };
    const QString values = one("X", limits.x) + QStringLiteral(", ") + one("Y", limits.y) +
                           QStringLiteral(", ") + one("Z", limits.z);
    return limits.file.isEmpty()
               ? values + QStringLiteral(" (no setup.ini: the settings dialog's values)")
               : values + QStringLiteral(" from ") + limits.file;
}

std::vector<Event> Find(const QByteArray& log, double duration, const Limits& limits) {
    // One pass reads only the G values; the few records over a limit are read whole after.
    std::vector<Over> over;
    qsizetype records = 0;
    const char* p = log.constData();
    const char* const end = p + log.size();
    const double limitOf[3] = {limits.x, limits.y, limits.z};
    while (p < end) {
        const char* newline = static_cast<const char*>(std::memchr(p, '\n', size_t(end - p)));
        const char* lineEnd = newline ? newline : end;
        if (!IsBlank(p, lineEnd)) {
            double g[3];
            if (newline && ReadG(p, lineEnd, g)) {
                Over best{records, p, lineEnd};
                for (int axis = 0; axis < 3; ++axis) {
                    const double limit = limitOf[axis];
                    // Strictly greater, as the recorder's settings say.
                    if (limit > 0 && std::abs(g[axis]) > limit &&
                        std::abs(g[axis]) / limit > best.strength)
                        best = {records,
                                p,
                                lineEnd,
                                Axis(axis),
                                g[axis],
                                limit,
                                std::abs(g[axis]) / limit};
                }
                if (best.strength > 0)
                    over.push_back(best);
            }
            ++records;
        }
        p = newline ? newline + 1 : end;
    }

    std::vector<Event> events;
    if (over.empty() || records == 0)
        return events;
    if (duration <= 0)
        duration = ClockLength(log, records);
    const double step = duration / double(records);
    const auto timeOf = [step](const Over& o) { return double(o.record) * step; };
    size_t first = 0;
    while (first < over.size()) {
        size_t last = first, strongest = first;
        while (last + 1 < over.size() &&
               timeOf(over[last + 1]) - timeOf(over[last]) < kMergeSeconds) {
            ++last;
            if (over[last].strength > over[strongest].strength)
                strongest = last;
        }
        const Over& o = over[strongest];
        const TrueTrip::Sample s =
            TrueTrip::ParseRecord(QByteArray::fromRawData(o.line, o.end - o.line));
        Event e;
        e.at = timeOf(o);
        e.axis = o.axis;
        e.peak = o.value;
        e.limit = o.limit;
        e.date = s.date;
        e.time = s.time;
        if (s.skip != TrueTrip::Skip::Unreadable)
            e.speed = s.speed;
        if (s.skip == TrueTrip::Skip::None) {
            e.hasPosition = true;
            e.latitude = s.latitude;
            e.longitude = s.longitude;
        }
        events.push_back(std::move(e));
        first = last + 1;
    }
    return events;
}

Scan ScanLog(const QString& logPath, const QString& recording, const Limits& limits) {
    Scan scan;
    QByteArray log;
    for (const QString& candidate : TripLogCandidates(logPath)) {
        QFile file(candidate);
        if (file.open(QIODevice::ReadOnly)) {
            log = file.readAll();
            scan.haveLog = file.error() == QFileDevice::NoError;
            break;
        }
    }
    if (!scan.haveLog)
        return scan;
    if (const auto length = recording.isEmpty() ? std::nullopt : AsfCardSource::LengthOf(recording))
        scan.duration = *length;
    scan.events = Find(log, scan.duration, limits);
    return scan;
}

Scan ScanRecording(const QString& recording, const Limits& limits) {
    return ScanLog(TripLogPath(recording), recording, limits);
}

QString Summary(const Scan& scan) {
    if (!scan.haveLog)
        return {};
    if (scan.events.empty())
        return QStringLiteral("none");
    double strongest = 0;
    for (const Event& e : scan.events)
        strongest = std::max(strongest, std::abs(e.peak));
    return QStringLiteral("%1 × %2 g").arg(scan.events.size()).arg(strongest, 0, 'f', 1);
}

void Remember(const QString& recording, const Scan& scan) {
    Store().insert(Key(recording), scan);
}

const Scan* Known(const QString& recording) {
    const auto it = Store().constFind(Key(recording));
    return it == Store().constEnd() ? nullptr : &*it;
}

void ForgetAll() {
    Store().clear();
}

} // namespace Events
