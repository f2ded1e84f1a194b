// SPDX-License-Identifier: GPL-3.0-or-later
#include "export/TripExport.h"

#include "card/CardFiles.h"
#include "card/OutputGuard.h"
#include "config/DeviceConfigFile.h"
#include "trip/TextLogReader.h"

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
        const QString setup = CardFiles::SetupFileIn(dir);
        if (setup.isEmpty())
            continue;
        DeviceConfigData none;
        none.nTimeZone = INT_MIN; // stays when the file names no zone
        const std::optional<DeviceConfigData> read = ReadDeviceConfig(setup, none);
        if (!read)
            continue;
        if (read->nTimeZone >= -12 && read->nTimeZone <= 14)
            return read->nTimeZone;
        return std::nullopt;
    }
    return std::nullopt;
}

Trip TripOfSamples(const QString& name, const QString& cardFolder, const TripTrack& track) {
    Trip trip;
    trip.name = name;
    trip.zoneHours = CardTimeZone(cardFolder);
    trip.leftOut = track.LeftOutText();
    for (const TripSample& s : track.samples) {
        if (!s.HasFix())
            continue;
        Point p;
        p.latitude = s.latitude;
        p.longitude = s.longitude;
        p.speed = s.speed;
        p.accelX = s.accelX;
        p.accelY = s.accelY;
        p.accelZ = s.accelZ;
        p.time = RecordTime(s.date, s.clock);
        if (p.time.isValid() && trip.zoneHours && !s.clockIsUtc)
            p.time = p.time.addSecs(-3600 * qint64(*trip.zoneHours));
        trip.points.append(p);
    }
    return trip;
}

bool ReadTrip(const QString& logPath, Trip& trip, QString* error) {
    TripTrack track;
    if (!TextLog::Read(logPath, 0, track, error))
        return false;
    const QFileInfo info(logPath);
    trip = TripOfSamples(info.completeBaseName(), info.absolutePath(), track);
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

bool Export(const QString& logPath, const QString& outPath, Format format, QString* error,
            QString* leftOut, bool force) {
    Trip trip;
    QString why;
    if (!ReadTrip(logPath, trip, &why)) {
        *error = QStringLiteral("Open fail: %1: %2").arg(logPath, why);
        return false;
    }
    if (leftOut)
        *leftOut = trip.leftOut;
    if (trip.points.isEmpty()) {
        *error = QStringLiteral("no positions in %1").arg(logPath);
        return false;
    }
    if (const QString refused = OutputGuard::Refused(outPath, {logPath},
                                                     force ? OutputGuard::Existing::Replace
                                                           : OutputGuard::Existing::Refuse);
        !refused.isEmpty()) {
        *error = QStringLiteral("not written: %1").arg(refused);
        return false;
    }
    return WriteAtomically(outPath, FormatTrip(trip, format), error);
}

} // namespace TripExport
