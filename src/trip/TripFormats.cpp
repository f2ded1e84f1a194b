// SPDX-License-Identifier: GPL-3.0-or-later
#include "trip/TripFormats.h"

// The GPX 1.0 and KML 2.2 texts of a trip. Numbers are written by QString::number, which
// always uses "." whatever the user's locale. GPX 1.0 rather than 1.1: only 1.0 has a place for
// a track point's speed that trip programs read (1.1 leaves it to extensions, which gpsbabel
// for one does not read).

#include "card/CameraClock.h"

#include <QFileInfo>

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

const char* const kExtensionsNs = "urn:dashcard-player:trip:1";

QString Degrees(double v) {
    return QString::number(v, 'f', 7);
}

// As the recorder writes them: G values to hundredths, speed to tenths.
QString Decimals(double v, int places) {
    return QString::number(v, 'f', places);
}

QString TimeText(const Trip& trip, const QDateTime& time) {
    const QString format = time.time().msec() ? QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz")
                                              : QStringLiteral("yyyy-MM-ddTHH:mm:ss");
    return time.toString(format) +
           (trip.zoneHours || trip.gpsTime ? QStringLiteral("Z") : QString());
}

// Says how the times were made, for the file's metadata.
QString TimeNote(const Trip& trip) {
    if (trip.gpsTime)
        return QStringLiteral("Times are UTC as the recorder's GPS receiver gave them.") +
               (trip.cameraClock.isEmpty() ? QString()
                                           : QStringLiteral(" The camera's own clock read ") +
                                                 trip.cameraClock + QLatin1Char('.'));
    if (!trip.zoneHours)
        return QStringLiteral("Times are the recorder's clock as written in its trip log "
                              "(no time zone found in the card's setup.ini).");
    return QStringLiteral("Times are UTC, converted from the recorder's clock in time zone "
                          "UTC%1%2 from the card's setup.ini.")
        .arg(*trip.zoneHours < 0 ? QStringLiteral("-") : QStringLiteral("+"))
        .arg(qAbs(*trip.zoneHours));
}

QString SampleText(const Point& p) {
    return QStringLiteral("Speed %1 km/h; G %2, %3, %4")
        .arg(Decimals(p.speed, 1), Decimals(p.accelX, 2), Decimals(p.accelY, 2),
             Decimals(p.accelZ, 2));
}

QByteArray Gpx(const Trip& trip) {
    const QString name = trip.name.toHtmlEscaped();
    QString x;
    x += QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                        "<gpx version=\"1.0\" creator=\"dashcard-player\"\n"
                        "     xmlns=\"http://www.topografix.com/GPX/1/0\"\n"
                        "     xmlns:trip=\"%1\">\n")
             .arg(QLatin1String(kExtensionsNs));
    x += QStringLiteral("  <name>%1</name>\n  <desc>%2</desc>\n")
             .arg(name, TimeNote(trip).toHtmlEscaped());
    x += QStringLiteral("  <trk>\n    <name>%1</name>\n    <trkseg>\n").arg(name);
    for (const Point& p : trip.points) {
        x += QStringLiteral("      <trkpt lat=\"%1\" lon=\"%2\">")
                 .arg(Degrees(p.latitude), Degrees(p.longitude));
        if (p.time.isValid())
            x += QStringLiteral("<time>%1</time>").arg(TimeText(trip, p.time));
        // Speed in metres per second; the recorder's km/h and G values beside it.
        x += QStringLiteral("<speed>%1</speed><trip:speed>%2</trip:speed><trip:gx>%3</trip:gx>"
                            "<trip:gy>%4</trip:gy><trip:gz>%5</trip:gz></trkpt>\n")
                 .arg(Decimals(p.speed / 3.6, 3), Decimals(p.speed, 1), Decimals(p.accelX, 2),
                      Decimals(p.accelY, 2), Decimals(p.accelZ, 2));
    }
    x += QStringLiteral("    </trkseg>\n  </trk>\n</gpx>\n");
    return x.toUtf8();
}

QByteArray Kml(const Trip& trip) {
    const QString name = trip.name.toHtmlEscaped();
    QString x;
    x += QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                        "<kml xmlns=\"http://www.opengis.net/kml/2.2\">\n<Document>\n"
                        "  <name>%1</name>\n  <description>%2</description>\n")
             .arg(name, TimeNote(trip).toHtmlEscaped());
    x += QStringLiteral("  <Placemark>\n    <name>%1</name>\n    <LineString>\n"
                        "      <tessellate>1</tessellate>\n      <coordinates>\n")
             .arg(name);
    for (const Point& p : trip.points)
        x += QStringLiteral("        %1,%2,0\n").arg(Degrees(p.longitude), Degrees(p.latitude));
    x += QStringLiteral("      </coordinates>\n    </LineString>\n  </Placemark>\n"
                        "  <Folder>\n    <name>Samples</name>\n");
    for (const Point& p : trip.points) {
        x += QStringLiteral("    <Placemark>");
        if (p.time.isValid())
            x += QStringLiteral("<TimeStamp><when>%1</when></TimeStamp>")
                     .arg(TimeText(trip, p.time));
        x += QStringLiteral("<description>%1</description>"
                            "<Point><coordinates>%2,%3,0</coordinates></Point></Placemark>\n")
                 .arg(SampleText(p), Degrees(p.longitude), Degrees(p.latitude));
    }
    x += QStringLiteral("  </Folder>\n</Document>\n</kml>\n");
    return x.toUtf8();
}

} // namespace

QByteArray FormatTrip(const Trip& trip, Format format) {
    return format == Format::Gpx ? Gpx(trip) : Kml(trip);
}

Trip TripOfSamples(const QString& name, std::optional<int> zoneHours, const TripTrack& track) {
    Trip trip;
    trip.name = name;
    trip.zoneHours = zoneHours;
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
        trip.gpsTime = trip.gpsTime || s.clockIsUtc;
        trip.points.append(p);
    }
    if (trip.gpsTime && !track.source.isEmpty()) {
        const QDateTime at = CameraClock::At(track.source, 0);
        if (at.isValid())
            trip.cameraClock = at.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) +
                               QStringLiteral(" at the start of ") +
                               QFileInfo(track.source).fileName();
    }
    return trip;
}

} // namespace TripExport
