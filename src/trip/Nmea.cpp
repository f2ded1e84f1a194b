// SPDX-License-Identifier: GPL-3.0-or-later
#include "trip/Nmea.h"

#include "geo/Wgs84.h"
#include "trip/CameraReaders.h"

#include <QList>
#include <cmath>

namespace Nmea {

namespace {

constexpr double kKnotKmh = 1.852;

// "4807.038" and "N": degrees and minutes as logged.
std::optional<Wgs84::Logged> Angle(const QByteArray& value, const QByteArray& hemisphere,
                                   int degreeDigits, char negative) {
    bool ok = false;
    const double v = value.toDouble(&ok);
    // "nan" and "inf" read as numbers too.
    if (!ok || !std::isfinite(v) || value.size() < degreeDigits || hemisphere.size() != 1)
        return std::nullopt;
    Wgs84::Logged angle;
    angle.degrees = std::floor(v / 100);
    angle.minutes = v - angle.degrees * 100;
    angle.southOrWest = hemisphere[0] == negative;
    return angle;
}

} // namespace

bool IsSentence(const QByteArray& sentence) {
    return sentence.size() > 6 && sentence[0] == '$';
}

bool ChecksumOk(const QByteArray& sentence) {
    // The standard's longest sentence is 82 characters with its line end; this leaves room for
    // receivers that write more decimals. A longer line is sentences run together (their line
    // ends lost), whose one-byte sum would pass one time in 256.
    constexpr qsizetype kMaxSentence = 120;
    const qsizetype star = sentence.lastIndexOf('*');
    if (!IsSentence(sentence) || sentence.size() > kMaxSentence || star < 1 ||
        star + 3 > sentence.size())
        return false;
    uint8_t sum = 0;
    for (qsizetype i = 1; i < star; ++i)
        sum ^= uint8_t(sentence[i]);
    bool ok = false;
    const int written = sentence.mid(star + 1, 2).toInt(&ok, 16);
    return ok && written == sum;
}

std::optional<Fix> ReadRmc(const QByteArray& sentence) {
    if (!ChecksumOk(sentence) || sentence.mid(3, 3) != "RMC")
        return std::nullopt;
    const QList<QByteArray> f = sentence.left(sentence.lastIndexOf('*')).split(',');
    // $xxRMC,hhmmss.ss,A,llll.ll,a,yyyyy.yy,a,x.x,x.x,ddmmyy,...
    if (f.size() < 10)
        return std::nullopt;
    const auto pairs = [](const QByteArray& field, int at) {
        const auto digit = [&](int k) {
            return k < field.size() && field[k] >= '0' && field[k] <= '9' ? field[k] - '0' : -100;
        };
        const int tens = digit(at), ones = digit(at + 1);
        return tens < 0 || ones < 0 ? -1 : tens * 10 + ones; // -1 where not two digits
    };
    const QTime time =
        f[1].size() >= 6 ? QTime(pairs(f[1], 0), pairs(f[1], 2), pairs(f[1], 4)) : QTime();
    const int year = f[9].size() == 6 ? pairs(f[9], 4) : -1;
    const QDate date = year >= 0 ? QDate(1900 + year, pairs(f[9], 2), pairs(f[9], 0)) : QDate();
    if (!time.isValid() || !date.isValid())
        return std::nullopt;
    Fix fix;
    bool msOk = false;
    const double fraction = f[1].size() > 6 ? QByteArray("0" + f[1].mid(6)).toDouble(&msOk) : 0;
    fix.utc = QDateTime(date.addYears(date.year() < 1980 ? 100 : 0), time, Qt::UTC)
                  .addMSecs(msOk ? qint64(std::lround(fraction * 1000)) : 0);
    TripSample& s = fix.sample;
    s.clockIsUtc = true;
    const QDate d = fix.utc.date();
    const QTime t = fix.utc.time();
    s.date = LoggedDate(d.year(), d.month(), d.day());
    s.clock = LoggedClock(t.hour(), t.minute(), t.second(), t.msec());
    bool ok = false;
    s.speed = f[7].toDouble(&ok) * kKnotKmh;
    if (!ok || !std::isfinite(s.speed))
        s.speed = 0;
    const double course = f[8].toDouble(&ok);
    if (ok && std::isfinite(course))
        s.heading = course;
    const auto latitude = Angle(f[3], f[4], 2, 'S');
    const auto longitude = Angle(f[5], f[6], 3, 'W');
    if (f[2] != "A" || !latitude || !longitude) {
        s.skip = TripSample::Skip::NoFix;
        return fix;
    }
    CameraReaders::SetPosition(s, *latitude, *longitude);
    return fix;
}

} // namespace Nmea
