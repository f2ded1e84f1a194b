// SPDX-License-Identifier: GPL-3.0-or-later
#include "trip/TripTrack.h"

#include <algorithm>
#include <cstdio>

#include <QStringList>
#include <algorithm>

int TripTrack::Skipped() const {
    int n = 0;
    for (size_t i = 1; i < skipped.size(); ++i)
        n += skipped[i];
    return n;
}

const TripSample* TripTrack::SampleOfSlot(int slot) const {
    if (slot < 0 || size_t(slot) >= sampleOfSlot.size())
        return nullptr;
    const int index = sampleOfSlot[size_t(slot)];
    return index >= 0 && size_t(index) < samples.size() ? &samples[size_t(index)] : nullptr;
}

const TripSample* TripTrack::SampleAt(double seconds) const {
    const auto after = std::upper_bound(samples.begin(), samples.end(), seconds,
                                        [](double t, const TripSample& s) { return t < s.time; });
    return after == samples.begin() ? nullptr : &*std::prev(after);
}

QString TripTrack::LeftOutText() const {
    static const char* const reasons[] = {"", "before the first fix", "out of range", "unreadable",
                                          "cut off"};
    QStringList parts;
    for (size_t i = 1; i < skipped.size(); ++i)
        if (skipped[i])
            parts.append(QStringLiteral("%1 %2").arg(skipped[i]).arg(reasons[i]));
    if (parts.isEmpty())
        return {};
    const int n = Skipped();
    return QStringLiteral("%1 record%2 left out: %3")
        .arg(n)
        .arg(n == 1 ? "" : "s")
        .arg(parts.join(QStringLiteral(", ")));
}

QByteArray LoggedDate(int year, int month, int day) {
    char text[16];
    const int n = std::snprintf(text, sizeof text, "%04d/%02d/%02d", year, month, day);
    return QByteArray(text, std::clamp(n, 0, int(sizeof text) - 1));
}

QByteArray LoggedClock(int hours, int minutes, int seconds, int milliseconds) {
    char text[24];
    const int n = std::snprintf(text, sizeof text, "%02d:%02d:%02d.%02d", hours, minutes, seconds,
                                milliseconds / 10);
    return QByteArray(text, std::clamp(n, 0, int(sizeof text) - 1));
}
