// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "trip/TripTrack.h"

#include <QByteArray>
#include <QDateTime>
#include <optional>

// NMEA 0183 sentences as GPS receivers write them: "$GPRMC,…*hh" (any talker: GP, GN, GL…).
namespace Nmea {

// Whether the sentence's "*hh" checksum is there and right (the XOR of the characters between
// "$" and "*"), in a line no longer than a sentence can be.
bool ChecksumOk(const QByteArray& sentence);

// A recommended minimum sentence (RMC): its UTC time, and a sample with speed (km/h), course,
// and the position where the status is A (valid) and it is in range. None when the sentence is
// no RMC, fails its checksum or its fields do not read.
struct Fix {
    QDateTime utc;
    TripSample sample;
};
std::optional<Fix> ReadRmc(const QByteArray& sentence);

// Whether `sentence` looks like one at all ("$" and five letters), for counting what was left
// out.
bool IsSentence(const QByteArray& sentence);

} // namespace Nmea
