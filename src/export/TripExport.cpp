// SPDX-License-Identifier: GPL-3.0-or-later
#include "export/TripExport.h"

#include "card/OutputGuard.h"
#include "config/DeviceConfigFile.h"
#include "formats/FileKind.h"
#include "trip/TextLogReader.h"
#include "trip/TripReader.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>
#include <climits>
#include <cstdio>
#include <memory>

namespace TripExport {

bool ReadTrip(const QString& logPath, Trip& trip, QString* error) {
    // A recording of any kind gives its trip through its reader; anything else is read as the
    // recorder's text log.
    TripTrack track;
    const bool recording = FileKind::IsRecording(FileKind::Of(logPath));
    if (!(recording ? TripReaders::Read(logPath, 0, track, error)
                    : TextLog::Read(logPath, 0, track, error)))
        return false;
    const QFileInfo info(logPath);
    trip = TripOfSamples(info.completeBaseName(), CardTimeZone(info.absolutePath()), track);
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
