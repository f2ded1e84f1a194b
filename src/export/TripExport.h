#pragma once

#include <QDateTime>
#include <QList>
#include <QString>
#include <optional>

// A recording's trip as GPX or KML files for map and trip programs. The trip log is read with
// the chart's own reader (same bound, same conversions); samples the recorder wrote before its
// first fix (all position fields zero) are left out.
namespace TripExport {

enum class Format { Gpx, Kml };

struct Point {
    double latitude = 0, longitude = 0; // decimal degrees
    double speed = 0;                   // as the recorder writes it (km/h)
    double accelX = 0, accelY = 0, accelZ = 0;
    QDateTime time; // invalid when the record's date and clock did not read
};

struct Trip {
    QString name;                 // the recording's name without extension ("0003")
    std::optional<int> zoneHours; // the card's time zone; times are then UTC
    QList<Point> points;
};

// The card's time zone in whole hours, from the settings file in `folder` or the folder above
// it (read with the settings reader; the process's settings are left as they were). None when
// there is no such file or it names no zone in -12 … 14.
std::optional<int> CardTimeZone(const QString& folder);

// Reads the trip of a log. False when the log cannot be opened.
bool ReadTrip(const QString& logPath, Trip& trip);

// The file's text.
QByteArray FormatTrip(const Trip& trip, Format format);

// Beside `path`, with the format's extension ("/card/0003.LOG" gives "/card/0003.gpx").
QString DefaultOutputPath(const QString& path, Format format);

// Writes the whole file or nothing: a temporary file beside it, put in place once all of it
// is on the disk. On failure `error` says why and any old file stays whole.
bool WriteAtomically(const QString& path, const QByteArray& bytes, QString* error);

// Reads, formats and writes in one go (the command line's export). "Open fail" when the log
// cannot be opened.
bool Export(const QString& logPath, const QString& outPath, Format format, QString* error);

} // namespace TripExport
