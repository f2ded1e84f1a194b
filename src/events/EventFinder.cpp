// SPDX-License-Identifier: GPL-3.0-or-later
#include "events/EventFinder.h"

#include "card/CameraClock.h"
#include "card/CardFiles.h"
#include "config/DeviceConfig.h"
#include "config/DeviceConfigFile.h"
#include "playback/AsfCardSource.h"
#include "trip/TextLogReader.h"
#include "trip/TripLog.h"
#include "trip/TripReader.h"

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

struct Over {
    qsizetype record = 0; // its index among the log's records
    const char* line;     // where it starts in the log
    const char* end;      //
    Axis axis = Axis::X;  // its strongest axis
    double value = 0, limit = 0;
    double strength = 0; // |value| / limit
};

// A record's strongest axis over its limit (|g| / limit, strictly over), if any.
std::optional<Over> Strongest(qsizetype record, const double g[3], const Limits& limits) {
    const double limitOf[3] = {limits.x, limits.y, limits.z};
    std::optional<Over> best;
    for (int axis = 0; axis < 3; ++axis) {
        const double limit = limitOf[axis];
        // Strictly greater, as the recorder's settings say.
        if (limit > 0 && std::abs(g[axis]) > limit &&
            (!best || std::abs(g[axis]) / limit > best->strength)) {
            best = Over{record, nullptr, nullptr};
            best->axis = Axis(axis);
            best->value = g[axis];
            best->limit = limit;
            best->strength = std::abs(g[axis]) / limit;
        }
    }
    return best;
}

// Over-limit records less than two seconds apart make one event, at its strongest record.
template <typename TimeOf, typename SampleOf>
std::vector<Event> Merge(const std::vector<Over>& over, TimeOf timeOf, SampleOf sampleOf) {
    std::vector<Event> events;
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
        const TripSample s = sampleOf(o);
        Event e;
        e.at = timeOf(o);
        e.axis = o.axis;
        e.peak = o.value;
        e.limit = o.limit;
        e.date = s.date;
        e.time = s.clock;
        e.utc = s.clockIsUtc;
        if (s.skip != TripSample::Skip::Unreadable)
            e.speed = s.speed;
        if (s.HasFix()) {
            e.hasPosition = true;
            e.latitude = s.latitude;
            e.longitude = s.longitude;
        }
        events.push_back(std::move(e));
        first = last + 1;
    }
    return events;
}

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
    const std::optional<DeviceConfigData> read = ReadDeviceConfig(setupPath);
    if (!read)
        return std::nullopt;
    Limits limits;
    limits.x = read->dLimitX;
    limits.y = read->dLimitY;
    limits.z = read->dLimitZ;
    limits.file = QFileInfo(setupPath).absoluteFilePath();
    return limits;
}

QString SetupFileIn(const QString& folder) {
    return CardFiles::SetupFileIn(folder);
}

QString LimitsText(const Limits& limits) {
    const auto one = [](const char* axis, double limit) {
        return limit > 0 ? QStringLiteral("%1 %2 g").arg(QLatin1String(axis)).arg(limit, 0, 'f', 2)
                         : QStringLiteral("%1 not checked").arg(QLatin1String(axis));
    };
    const QString values = one("X", limits.x) + QStringLiteral(", ") + one("Y", limits.y) +
                           QStringLiteral(", ") + one("Z", limits.z);
    if (!limits.givenIn.isEmpty())
        return values + QStringLiteral(" (given ") + limits.givenIn + QLatin1Char(')');
    return limits.file.isEmpty()
               ? values + QStringLiteral(" (no setup.ini: the settings dialog's values)")
               : values + QStringLiteral(" from ") + limits.file;
}

std::vector<Event> Find(const QByteArray& log, double duration, const Limits& limits) {
    // One pass reads only the G values; the few records over a limit are read whole after.
    // The records are the trip track's (TextLog), so an event is at its record's time there.
    std::vector<Over> over;
    qsizetype records = 0;
    TextLog::ForEachRecord(
        log,
        [&](const char* p, const char* lineEnd, const double* g, bool cutOff) {
            // A record cut off while written is not checked.
            if (!cutOff) {
                if (std::optional<Over> o = Strongest(records, g, limits)) {
                    o->line = p;
                    o->end = lineEnd;
                    over.push_back(*o);
                }
            }
            ++records;
        },
        [] {});
    if (over.empty() || records == 0)
        return {};
    if (duration <= 0)
        duration = TextLog::ClockLength(log, records);
    const double step = duration / double(records);
    return Merge(
        over, [step](const Over& o) { return double(o.record) * step; },
        [](const Over& o) { return TextLog::ParseRecord(o.line, o.end); });
}

std::vector<Event> FindInTrack(const TripTrack& track, const Limits& limits) {
    std::vector<Over> over;
    for (size_t k = 0; k < track.samples.size(); ++k) {
        const TripSample& s = track.samples[k];
        if (s.skip == TripSample::Skip::CutOff)
            continue;
        const double g[3] = {s.accelX, s.accelY, s.accelZ};
        if (const std::optional<Over> o = Strongest(qsizetype(k), g, limits))
            over.push_back(*o);
    }
    return Merge(
        over, [&track](const Over& o) { return track.samples[size_t(o.record)].time; },
        [&track](const Over& o) { return track.samples[size_t(o.record)]; });
}

Scan ScanLog(const QString& logPath, const QString& recording, const Limits& limits) {
    Scan scan;
    scan.marked = !recording.isEmpty() && CardFiles::IsEventRecording(recording);
    const std::optional<QByteArray> log = ReadTripLogFile(logPath);
    scan.haveLog = log.has_value();
    if (!scan.haveLog)
        return scan;
    if (const auto length = recording.isEmpty() ? std::nullopt : AsfCardSource::LengthOf(recording))
        scan.duration = *length;
    scan.events = Find(*log, scan.duration, limits);
    return scan;
}

Scan ScanRecording(const QString& recording, const Limits& limits) {
    // The recorder's own log when there is one (read as the chart reads it); else another
    // recorder's trip, at the times it gives its samples (kept from an earlier scan if the
    // files are unchanged).
    if (!CardFiles::LogOf(recording).isEmpty())
        return ScanLog(TripLogPath(recording), recording, limits);
    Scan scan;
    scan.marked = CardFiles::IsEventRecording(recording);
    TripTrack track;
    scan.haveLog = TripReaders::Read(recording, 0, track, nullptr);
    if (scan.haveLog)
        scan.events = FindInTrack(track, limits);
    return scan;
}

QString Summary(const Scan& scan) {
    const QString mark = scan.marked ? QStringLiteral("marked") : QString();
    if (!scan.haveLog || (scan.marked && scan.events.empty()))
        return mark;
    if (scan.events.empty())
        return QStringLiteral("none");
    double strongest = 0;
    for (const Event& e : scan.events)
        strongest = std::max(strongest, std::abs(e.peak));
    const QString jolts =
        QStringLiteral("%1 × %2 g").arg(scan.events.size()).arg(strongest, 0, 'f', 1);
    // The jolts first: the box is narrow.
    return scan.marked ? jolts + QStringLiteral(", ") + mark : jolts;
}

QString Details(const Scan& scan, const QString& recording) {
    QStringList lines;
    if (scan.marked)
        lines << QStringLiteral("Kept by the recorder for an event");
    for (const Event& e : scan.events) {
        const int at = int(e.at);
        QString line = QStringLiteral("%1 %2 g at %3:%4")
                           .arg(QLatin1String(AxisName(e.axis)))
                           .arg(e.peak, 0, 'f', 2)
                           .arg(at / 60)
                           .arg(at % 60, 2, 10, QLatin1Char('0'));
        if (!e.date.isEmpty())
            line += QStringLiteral(", logged ") + QString::fromLatin1(e.date + ' ' + e.time) +
                    (e.utc ? QStringLiteral(" UTC (GPS)") : QStringLiteral(" camera clock"));
        const QString camera = CameraClock::Text(CameraClock::At(recording, e.at), recording);
        if (!camera.isEmpty() && e.utc)
            line += QStringLiteral(", ") + camera;
        lines << line;
    }
    return lines.join(QLatin1Char('\n'));
}

void Remember(const QString& recording, const Scan& scan) {
    Store().insert(Key(recording), scan);
}

const Scan* Known(const QString& recording) {
    const auto it = Store().constFind(Key(recording));
    return it == Store().constEnd() ? nullptr : &*it;
}

} // namespace Events
