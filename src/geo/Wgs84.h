// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Positions as a GPS receiver logs them, made WGS-84 decimal degrees (north and east positive),
// and the checks that tell a real fix from what a recorder writes without one.
namespace Wgs84 {

// One coordinate as logged: degrees and minutes, and the hemisphere letter's say (S or W).
struct Logged {
    double degrees = 0, minutes = 0;
    bool southOrWest = false;
    // Decimal degrees; negative from the letter or from a negative degrees value.
    double Value() const;
    bool Zero() const { return degrees == 0 && minutes == 0; }
};

enum class Check {
    Fix,       // a position
    NoFix,     // all fields zero: written before the receiver's first fix
    OutOfRange // beyond ±90° / ±180°, or minutes of 60 and more
};

// Whether a logged latitude and longitude are a position.
Check CheckFix(const Logged& latitude, const Logged& longitude);

} // namespace Wgs84
