// SPDX-License-Identifier: GPL-3.0-or-later
#include "geo/Wgs84.h"

#include <cmath>
#include <initializer_list>

namespace Wgs84 {

double Logged::Value() const {
    const double magnitude = std::abs(degrees) + minutes / 60.0;
    return southOrWest || degrees < 0 || std::signbit(degrees) ? -magnitude : magnitude;
}

Check CheckFix(const Logged& latitude, const Logged& longitude) {
    if (latitude.Zero() && longitude.Zero())
        return Check::NoFix;
    // "nan" and "inf" read as numbers, and compare as neither in range nor out of it.
    for (const Logged* a : {&latitude, &longitude})
        if (!std::isfinite(a->degrees) || !std::isfinite(a->minutes))
            return Check::OutOfRange;
    if (latitude.minutes < 0 || latitude.minutes >= 60 || longitude.minutes < 0 ||
        longitude.minutes >= 60 || std::abs(latitude.Value()) > 90 ||
        std::abs(longitude.Value()) > 180)
        return Check::OutOfRange;
    return Check::Fix;
}

} // namespace Wgs84
