// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The simulated drive behind a demo recording: one simulation at 100 steps a second feeds
// the trip log, the picture and the sound, so the three agree (the car on screen brakes when
// the log shows the spike). Internal to the demo card generator.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <utility>
#include <vector>

namespace democard::detail {

constexpr double PI = 3.14159265358979323846;
constexpr double G = 9.81;
constexpr double KMH_PER_G_SECOND = G * 3.6; // km/h lost per second at 1 g
constexpr double METRES_PER_DEGREE = 111320.0;

// Own generator (splitmix64): the standard distributions differ between library versions.
class Rng {
public:
    // The seed goes through the mixer once: plain neighbouring seeds would give the same
    // sequence shifted by one draw.
    explicit Rng(std::uint64_t seed) : m_state(seed) { m_state = next() ^ 0x6A09E667F3BCC909ull; }
    std::uint64_t next() {
        std::uint64_t z = (m_state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    double uniform() { return double(next() >> 11) * 0x1.0p-53; } // [0, 1)
    double range(double lo, double hi) { return lo + (hi - lo) * uniform(); }
    double noise(double amplitude) { return range(-amplitude, amplitude); }

private:
    std::uint64_t m_state;
};

// Log rates must divide the simulation rate so every record falls on a simulated instant.
inline int validRate(int perSecond) {
    static const int rates[] = {10, 5, 4, 2, 1};
    for (int r : rates) {
        if (perSecond >= r)
            return r;
    }
    return 1;
}

struct Turn {
    double start;    // s
    double duration; // s
    double angle;    // degrees, positive to the right
};

struct Drive {
    static constexpr int RATE = 100;
    std::vector<double> speed;                  // km/h
    std::vector<double> heading;                // degrees clockwise from north
    std::vector<double> turnRate;               // degrees per second
    std::vector<double> accelX, accelY, accelZ; // g, unrounded
    std::vector<double> latitude, longitude;    // degrees
    std::vector<double> distance;               // metres driven
    std::vector<Turn> turns;
    double brakeTime = 0;      // s, the peak of the hard braking
    double brakeHalfWidth = 0; // s
    int satellites = 8;
    int temperature = 30;

    int size() const { return int(speed.size()); }
    int index(double t) const { return std::clamp(int(std::lround(t * RATE)), 0, size() - 1); }
    bool indicatorOn(double t) const {
        for (const Turn& turn : turns) {
            if (t >= turn.start - 3.0 && t <= turn.start + turn.duration)
                return true;
        }
        return false;
    }
};

inline bool overlaps(double a0, double a1, double b0, double b1) {
    return a0 < b1 && b0 < a1;
}

// `latitude`/`longitude`: where the drive starts (0, 0: somewhere in the card's usual town).
inline Drive simulate(int seconds, int samplesPerSecond, int seed, double startLatitude = 0,
                      double startLongitude = 0) {
    const int rate = validRate(samplesPerSecond);
    const double T = std::max(1, seconds);
    Rng plan(std::uint64_t(seed) * 2 + 1);
    Rng sensor(std::uint64_t(seed) * 2 + 2);
    Drive d;

    // Busy stretches of the drive never overlap: a turn with its slow approach, the hard
    // braking with its run-up, a wait at a red light.
    std::vector<std::pair<double, double>> busy;
    auto isFree = [&](double from, double to) {
        if (from < 0 || to > T)
            return false;
        for (const auto& [b0, b1] : busy) {
            if (overlaps(from, to, b0, b1))
                return false;
        }
        return true;
    };

    const int wanted = seconds >= 15 ? 1 + seconds / 40 : 0;
    for (int attempt = 0; attempt < 80 && int(d.turns.size()) < wanted; ++attempt) {
        const double duration = plan.range(5.0, 7.0);
        const double start = plan.range(5.0, T - duration);
        const double angle = plan.range(60.0, 95.0) * (plan.uniform() < 0.5 ? -1 : 1);
        if (isFree(start - 5.0, start + duration + 0.5)) {
            d.turns.push_back({start, duration, angle});
            busy.push_back({start - 5.0, start + duration + 0.5});
        }
    }

    // The hard braking peaks on a log record so the log always shows it. Where it does not
    // fit between the turns, the last turn gives way.
    double tb = -1;
    while (tb < 0) {
        double candidate = 0;
        for (int attempt = 0; attempt < 80 && tb < 0; ++attempt) {
            candidate = std::round(T * plan.range(0.3, 0.8) * rate) / rate;
            candidate =
                T >= 6 ? std::clamp(candidate, 3.0, T - 2.0) : std::round(T / 2 * rate) / rate;
            if (isFree(candidate - 5.0, candidate + 2.0))
                tb = candidate;
        }
        if (tb < 0 && d.turns.empty())
            tb = candidate; // a very short recording: brake anyway
        else if (tb < 0) {
            d.turns.pop_back();
            busy.pop_back();
        }
    }
    d.brakeTime = tb;
    busy.push_back({tb - 5.0, tb + 2.0});

    // Long recordings also wait at a red light.
    double stopFrom = -1e9, stopTo = -1e9;
    for (int attempt = 0; seconds >= 40 && attempt < 80; ++attempt) {
        const double from = plan.range(10.0, T - 10.0);
        if (isFree(from - 6.0, from + 5.5)) {
            stopFrom = from;
            stopTo = from + 5.0;
            break;
        }
    }

    // Cruising speeds that change every few seconds.
    std::vector<std::pair<double, double>> cruise; // (from, km/h)
    for (double t = 0; t < T; t += plan.range(4.0, 9.0))
        cruise.push_back({t, plan.range(45.0, 90.0)});

    double v = seconds >= 40 ? 0.0 : plan.range(40.0, 60.0);
    double heading = plan.range(0.0, 360.0);
    double lat = plan.range(22.52, 22.56);
    double lon = plan.range(113.90, 113.96);
    if (startLatitude != 0 || startLongitude != 0) {
        lat = startLatitude;
        lon = startLongitude;
    }
    const double wanderPhase = plan.range(0.0, 2 * PI);
    const double throttlePhase = plan.range(0.0, 2 * PI);
    d.satellites = 7 + int(plan.uniform() * 4);
    d.temperature = 27 + int(plan.uniform() * 8);
    double driven = 0;
    bool brakeSized = false;

    const int n = int(T) * Drive::RATE + 1;
    for (auto* column : {&d.speed, &d.heading, &d.turnRate, &d.accelX, &d.accelY, &d.accelZ,
                         &d.latitude, &d.longitude, &d.distance})
        column->resize(n);
    const double dt = 1.0 / Drive::RATE;
    for (int i = 0; i < n; ++i) {
        const double t = double(i) / Drive::RATE;

        double target = cruise.front().second;
        for (const auto& [from, kmh] : cruise) {
            if (t >= from)
                target = kmh;
        }
        for (const Turn& turn : d.turns) {
            if (t >= turn.start - 5.0 && t <= turn.start + turn.duration)
                target = std::min(target, 24.0);
        }
        if (t >= stopFrom - 6.0 && t <= stopTo)
            target = 0;
        if (t >= tb - 5.0 && t < tb)
            target = std::max(target, 64.0);
        if (t >= tb && t <= tb + 4.0)
            target = std::min(target, 18.0);

        // km/h per second: a gentle driver, plus the foot never quite steady on the pedal
        double a = std::clamp(0.9 * (target - v), -12.0, 6.5);
        if (v > 1)
            a += 0.6 * std::sin(2 * PI * t / 7.0 + throttlePhase);

        // The hard braking: a smooth pulse that peaks at -1.2 g, short enough not to stop the car.
        if (!brakeSized && t >= tb - 0.8 - 1e-9) {
            d.brakeHalfWidth = std::clamp(0.6 * v / (1.2 * KMH_PER_G_SECOND), 0.3, 0.8);
            brakeSized = true;
        }
        if (brakeSized && std::abs(t - tb) < d.brakeHalfWidth) {
            const double bump = 0.5 * (1 + std::cos(PI * (t - tb) / d.brakeHalfWidth));
            a = -1.2 * bump * KMH_PER_G_SECOND;
        }
        if (v <= 0 && a < 0)
            a = 0;

        double turnRate = 0; // degrees per second
        for (const Turn& turn : d.turns) {
            if (t >= turn.start && t <= turn.start + turn.duration)
                turnRate += turn.angle * (1 - std::cos(2 * PI * (t - turn.start) / turn.duration)) /
                            turn.duration;
        }
        turnRate += 2.5 * std::sin(2 * PI * t / 19.0 + wanderPhase) * std::min(1.0, v / 30.0);
        if (v < 3)
            turnRate *= v / 3; // a standing car does not turn

        const double ms = v / 3.6;
        d.speed[i] = v;
        d.heading[i] = heading;
        d.turnRate[i] = turnRate;
        d.accelX[i] = a / KMH_PER_G_SECOND + sensor.noise(0.025);
        d.accelY[i] = ms * (turnRate * PI / 180) / G + sensor.noise(0.025);
        d.accelZ[i] = 1.0 + sensor.noise(0.012 + 0.0006 * v);
        d.latitude[i] = lat;
        d.longitude[i] = lon;
        d.distance[i] = driven;

        const double step = ms * dt;
        const double h = heading * PI / 180;
        lat += step * std::cos(h) / METRES_PER_DEGREE;
        lon += step * std::sin(h) / (METRES_PER_DEGREE * std::cos(lat * PI / 180));
        driven += step;
        heading = std::fmod(heading + turnRate * dt + 360.0, 360.0);
        v = std::max(0.0, v + a * dt);
    }
    return d;
}

} // namespace democard::detail
