// SPDX-License-Identifier: GPL-3.0-or-later
#include "trip/TripTrack.h"

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
