#include "export/TripExport.h"

#include "config/DeviceConfigFile.h"
#include "trip/TripLog.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>
#include <climits>
#include <cstdio>
#include <memory>

namespace TripExport {

namespace {

// "2026/05/20" and "14:30:05.10": the recorder's clock as it writes it.
QDateTime RecordTime(const QByteArray& date, const QByteArray& clock) {
    const QDate day = QDate::fromString(QString::fromLatin1(date), QStringLiteral("yyyy/MM/dd"));
    const qsizetype dot = clock.indexOf('.');
    const QTime whole = QTime::fromString(QString::fromLatin1(dot < 0 ? clock : clock.left(dot)),
                                          QStringLiteral("HH:mm:ss"));
    if (!day.isValid() || !whole.isValid())
        return {};
    int ms = 0;
    if (dot >= 0) {
        // Hundredths as written, any number of digits taken as a fraction of a second.
        const QByteArray fraction = (clock.mid(dot + 1) + "000").left(3);
        bool ok = false;
        ms = fraction.toInt(&ok);
        if (!ok)
            return {};
    }
    return QDateTime(day, whole.addMSecs(ms), Qt::UTC);
}

} // namespace

std::optional<int> CardTimeZone(const QString& folder) {
    const QDir here(folder);
    for (const QString& dir : {here.absolutePath(), QFileInfo(here.absolutePath()).path()}) {
        const QStringList found =
            QDir(dir).entryList({QStringLiteral("setup.ini")}, QDir::Files | QDir::Readable);
        if (found.isEmpty())
            continue;
        std::FILE* file = std::fopen(QFile::encodeName(QDir(dir).filePath(found.first())), "rb");
        if (!file)
            continue;
        const DeviceConfigData kept = DeviceConfig;
        DeviceConfig.nTimeZone = INT_MIN; // stays when the file names no zone
        LoadDeviceConfig(file);
        std::fclose(file);
        const int zone = DeviceConfig.nTimeZone;
        DeviceConfig = kept;
        if (zone >= -12 && zone <= 14)
            return zone;
        return std::nullopt;
    }
    return std::nullopt;
}

bool ReadTrip(const QString& logPath, Trip& trip) {
    auto table = std::make_unique<TripLogData>();
    std::vector<TripRecordExtra> extras;
    if (!ReadTripLog(logPath, *table, extras))
        return false;
    const QFileInfo log(logPath);
    trip.name = log.completeBaseName();
    trip.zoneHours = CardTimeZone(log.absolutePath());
    trip.points.clear();
    for (int i = 0; i < table->sampleCount && i < int(extras.size()); ++i) {
        const TripRecordExtra& extra = extras[size_t(i)];
        // A pass that read no record (after the last line break) and samples without a fix.
        if (extra.date.isEmpty() || extra.positionZero)
            continue;
        Point p;
        p.latitude = table->latitude[i];
        p.longitude = table->longitude[i];
        p.speed = table->speed[i];
        p.accelX = table->accelX[i];
        p.accelY = table->accelY[i];
        p.accelZ = table->accelZ[i];
        p.time = RecordTime(extra.date, extra.time);
        if (p.time.isValid() && trip.zoneHours)
            p.time = p.time.addSecs(-3600 * qint64(*trip.zoneHours));
        trip.points.append(p);
    }
    return true;
}

QString DefaultOutputPath(const QString& path, Format format) {
    const QFileInfo info(path);
    return info.absoluteDir().filePath(info.completeBaseName() + (format == Format::Gpx
                                                                      ? QStringLiteral(".gpx")
                                                                      : QStringLiteral(".kml")));
}

bool WriteAtomically(const QString& path, const QByteArray& bytes, QString* error) {
    QSaveFile file(path);
    // Unbuffered, so a full disk shows up at the write and not only at the commit.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        *error = file.errorString();
        return false;
    }
    if (file.write(bytes) != bytes.size()) {
        *error = file.errorString();
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) {
        *error = file.errorString();
        return false;
    }
    return true;
}

bool Export(const QString& logPath, const QString& outPath, Format format, QString* error) {
    Trip trip;
    if (!ReadTrip(logPath, trip)) {
        *error = QStringLiteral("Open fail");
        return false;
    }
    return WriteAtomically(outPath, FormatTrip(trip, format), error);
}

} // namespace TripExport
