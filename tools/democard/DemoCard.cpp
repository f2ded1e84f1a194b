#include "DemoCard.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QProcess>
#include <QSaveFile>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <vector>

namespace democard {

namespace {

// Part of the digest that decides whether an encoded file on a card is still current.
constexpr const char* GENERATOR_VERSION = "democard 1";

constexpr double PI = 3.14159265358979323846;
constexpr double G = 9.81;
constexpr double KMH_PER_G_SECOND = G * 3.6; // km/h lost per second at 1 g
constexpr double METRES_PER_DEGREE = 111320.0;

// The trip log reader turns degrees and minutes into a position with these fixed offsets;
// the log is written so that what it reads back is the position we mean.
constexpr double READER_LATITUDE_OFFSET = -0.003444;
constexpr double READER_LONGITUDE_OFFSET = 0.004912;

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
int validRate(int perSecond) {
    static const int rates[] = {10, 5, 4, 2, 1};
    for (int r : rates) {
        if (perSecond >= r)
            return r;
    }
    return 1;
}

// ---------------------------------------------------------------------------------------------
// The drive: one simulation at 100 steps a second feeds the trip log, the picture and the sound,
// so the three agree (the car on screen brakes when the log shows the spike).

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

bool overlaps(double a0, double a1, double b0, double b1) {
    return a0 < b1 && b0 < a1;
}

Drive simulate(int seconds, int samplesPerSecond, int seed) {
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

// ---------------------------------------------------------------------------------------------
// Text of the trip log. Numbers are built from integers so no locale can touch them.

QByteArray padded(qint64 value, int width, char fill = '0') {
    QByteArray s = QByteArray::number(value);
    while (s.size() < width)
        s.prepend(fill);
    return s;
}

// value rounded to `decimals` places, e.g. fixed(-0.034, 2) = "-0.03"
QByteArray fixed(double value, int decimals, qint64* units = nullptr) {
    qint64 scale = 1;
    for (int i = 0; i < decimals; ++i)
        scale *= 10;
    const qint64 n = std::llround(value * double(scale));
    if (units)
        *units = n;
    const qint64 m = n < 0 ? -n : n;
    return (n < 0 ? "-" : "") + QByteArray::number(m / scale) + "." + padded(m % scale, decimals);
}

double rounded(double value, int decimals) {
    qint64 units = 0;
    fixed(value, decimals, &units);
    return double(units) / std::pow(10.0, decimals);
}

// "dd mm.mmmm" with the minutes to four places, chosen so the reader gets `value` back.
QByteArray degreesAndMinutes(double value) {
    const qint64 tenThousandthMinutes = std::llround(value * 600000.0);
    const qint64 degrees = tenThousandthMinutes / 600000;
    const qint64 rest = tenThousandthMinutes % 600000;
    return QByteArray::number(degrees) + " " + padded(rest / 10000, 2) + "." +
           padded(rest % 10000, 4);
}

QByteArray clockText(const QDateTime& start, int recordIndex, int rate) {
    const qint64 hundredths = qint64(recordIndex) * 100 / rate;
    const QDateTime at = start.addSecs(hundredths / 100);
    const QDate day = at.date();
    const QTime time = at.time();
    QByteArray s = padded(day.year(), 4) + "/" + padded(day.month(), 2) + "/" +
                   padded(day.day(), 2) + " " + padded(time.hour(), 2) + ":" +
                   padded(time.minute(), 2) + ":" + padded(time.second(), 2);
    if (rate > 1)
        s += "." + padded(hundredths % 100, 2);
    return s;
}

QDateTime utc(int y, int mo, int d, int h, int mi, int s) {
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s), Qt::UTC);
}

// ---------------------------------------------------------------------------------------------
// The picture: a road seen from behind the windscreen, drawn straight into full-range
// YUV 4:2:0 planes, one span at a time (cheap enough to feed the encoder in real time).

struct Rgb {
    double r, g, b;
};

Rgb mix(Rgb a, Rgb b, double t) {
    return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

struct Yuv {
    std::uint8_t y, u, v;
};

std::uint8_t clampByte(double x) {
    return std::uint8_t(std::clamp(std::lround(x), 0l, 255l));
}

Yuv toYuv(Rgb c) {
    return {clampByte(0.299 * c.r + 0.587 * c.g + 0.114 * c.b),
            clampByte(128 - 0.168736 * c.r - 0.331264 * c.g + 0.5 * c.b),
            clampByte(128 + 0.5 * c.r - 0.418688 * c.g - 0.081312 * c.b)};
}

const Rgb SKY_TOP{92, 146, 212};
const Rgb SKY_HORIZON{196, 214, 232};
const Rgb HAZE{188, 200, 210};
const Rgb HILLS{112, 138, 150};
const Rgb GRASS_A{86, 128, 64};
const Rgb GRASS_B{96, 140, 70};
const Rgb GRAVEL{150, 140, 122};
const Rgb ASPHALT_A{72, 74, 78};
const Rgb ASPHALT_B{78, 80, 84};
const Rgb WHITE_LINE{228, 228, 222};
const Rgb YELLOW_LINE{226, 184, 52};
const Rgb POST{236, 236, 230};
const Rgb REFLECTOR{240, 120, 30};
const Rgb TRUNK{84, 62, 44};
const Rgb HOOD{34, 38, 46};
const Rgb HOOD_EDGE{70, 78, 92};
const Rgb DIGITS{250, 250, 250};
const Rgb REC_RED{230, 30, 30};

std::uint32_t hash32(std::uint32_t x) {
    x ^= x >> 16;
    x *= 0x7feb352dU;
    x ^= x >> 15;
    x *= 0x846ca68bU;
    x ^= x >> 16;
    return x;
}

class Picture {
public:
    Picture(int width, int height)
        : m_w(width), m_h(height), m_frame(std::size_t(width) * height * 3 / 2) {}

    const char* data() const { return reinterpret_cast<const char*>(m_frame.data()); }
    qint64 bytes() const { return qint64(m_frame.size()); }

    void render(const Drive& drive, double t) {
        const int i = drive.index(t);
        const double v = drive.speed[i];
        const double travelled = drive.distance[i];
        m_focal = 0.9 * m_w;
        // The nose dips under braking and the car bounces a little on the road.
        m_horizon = 0.44 * m_h + drive.accelX[i] * 0.035 * m_h + (drive.accelZ[i] - 1) * 0.03 * m_h;
        // The road ahead bends by the curvature the car is driving.
        const double ms = std::max(v / 3.6, 3.0);
        m_curvature = std::clamp(drive.turnRate[i] * PI / 180 / ms, -0.05, 0.05);

        drawSky(drive.heading[i] * PI / 180);
        drawGround(travelled);
        drawRoadside(travelled);
        drawHood();
        drawSpeed(v);
        if (std::fmod(t, 1.0) < 0.5)
            disc(0.035 * m_h, 0.04 * m_h, 0.012 * m_h, toYuv(REC_RED));
    }

private:
    static constexpr double CAMERA_HEIGHT = 1.35; // metres

    void span(int y, double x0, double x1, Yuv c) {
        if (y < 0 || y >= m_h)
            return;
        int a = int(std::floor(x0));
        int b = std::max(a + 1, int(std::floor(x1))); // at least one pixel: thin lines stay
        a = std::max(a, 0);
        b = std::min(b, m_w);
        if (a >= b)
            return;
        std::memset(m_frame.data() + std::size_t(y) * m_w + a, c.y, std::size_t(b - a));
        if (y % 2 == 0) {
            const std::size_t cw = std::size_t(m_w) / 2;
            const std::size_t row = std::size_t(y / 2) * cw;
            const int ca = a / 2, cb = std::max(ca + 1, (b + 1) / 2);
            std::uint8_t* u = m_frame.data() + std::size_t(m_w) * m_h + row;
            std::uint8_t* vv = u + cw * (std::size_t(m_h) / 2);
            std::memset(u + ca, c.u, std::size_t(cb - ca));
            std::memset(vv + ca, c.v, std::size_t(cb - ca));
        }
    }

    void rect(double x0, double y0, double x1, double y1, Yuv c) {
        for (int y = std::max(0, int(y0)); y < std::min(m_h, int(std::max(y0 + 1, y1))); ++y)
            span(y, x0, x1, c);
    }

    void disc(double cx, double cy, double r, Yuv c) {
        for (int y = std::max(0, int(cy - r)); y <= std::min(m_h - 1, int(cy + r)); ++y) {
            const double dy = y + 0.5 - cy;
            const double half = std::sqrt(std::max(0.0, r * r - dy * dy));
            if (half > 0)
                span(y, cx - half, cx + half, c);
        }
    }

    // Screen column of a point on the ground `x` metres right of the camera, `z` ahead.
    double column(double x, double z) const {
        return m_w / 2.0 + m_focal * (x + 0.5 * m_curvature * z * z) / z;
    }

    void drawSky(double headingRadians) {
        const int top = std::clamp(int(m_horizon), 0, m_h);
        for (int y = 0; y < top; ++y)
            span(y, 0, m_w, toYuv(mix(SKY_TOP, SKY_HORIZON, std::pow(double(y) / top, 1.6))));
        // Far hills turn past as the car turns.
        const Yuv hills = toYuv(HILLS);
        for (int x = 0; x < m_w; ++x) {
            const double a = headingRadians + std::atan((x - m_w / 2.0) / m_focal);
            const double height = 0.03 * m_h *
                                  (1.3 + 0.5 * std::sin(3 * a) + 0.35 * std::sin(7 * a + 1.3) +
                                   0.15 * std::sin(17 * a + 0.4));
            for (int y = std::max(0, int(m_horizon - height)); y < top; ++y)
                pixel(x, y, hills);
        }
    }

    void pixel(int x, int y, Yuv c) {
        m_frame[std::size_t(y) * m_w + x] = c.y;
        if (x % 2 == 0 && y % 2 == 0) {
            const std::size_t cw = std::size_t(m_w) / 2;
            const std::size_t at = std::size_t(m_w) * m_h + std::size_t(y / 2) * cw + x / 2;
            m_frame[at] = c.u;
            m_frame[at + cw * (std::size_t(m_h) / 2)] = c.v;
        }
    }

    void drawGround(double travelled) {
        for (int y = std::max(0, int(m_horizon)); y < m_h; ++y) {
            const double dy = std::max(y + 0.5 - m_horizon, 0.05); // the horizon row too
            const double z = std::min(m_focal * CAMERA_HEIGHT / dy, 2000.0);
            const double fog = 1 - std::exp(-z / 260.0);
            const double along = z + travelled;
            auto shade = [&](Rgb c) { return toYuv(mix(c, HAZE, fog)); };
            span(y, 0, m_w, shade(int(std::floor(along / 7.0)) % 2 ? GRASS_A : GRASS_B));
            span(y, column(-6.3, z), column(2.7, z), shade(GRAVEL));
            span(y, column(-5.5, z), column(2.0, z),
                 shade(int(std::floor(along / 2.5)) % 2 ? ASPHALT_A : ASPHALT_B));
            span(y, column(1.75, z), column(1.9, z), shade(WHITE_LINE));
            span(y, column(-5.4, z), column(-5.25, z), shade(WHITE_LINE));
            if (std::fmod(along, 10.0) < 4.0)
                span(y, column(-1.83, z), column(-1.67, z), shade(YELLOW_LINE));
        }
    }

    struct Thing {
        double z, x;
        int kind; // 0 post, 1 tree
        std::uint32_t look;
    };

    void drawRoadside(double travelled) {
        std::vector<Thing> things;
        const double nearest = 2.0, farthest = 220.0;
        auto add = [&](double spacing, double offset, int kind, double side, std::uint32_t salt) {
            const double first = std::ceil((travelled + nearest - offset) / spacing);
            for (double k = first;; ++k) {
                const double z = k * spacing + offset - travelled;
                if (z > farthest)
                    break;
                const std::uint32_t look =
                    hash32(std::uint32_t(std::int64_t(k)) * 2654435761U ^ salt);
                const double jitter = kind == 1 ? (look % 100) / 100.0 * 4.0 : 0.0;
                things.push_back({z, side + (side < 0 ? -jitter : jitter), kind, look});
            }
        };
        add(25.0, 0.0, 0, 3.4, 1);  // marker posts on the right
        add(17.0, 5.0, 1, -9.0, 2); // trees on the left
        add(29.0, 11.0, 1, 7.0, 3); // and fewer on the right
        std::sort(things.begin(), things.end(), [](const Thing& a, const Thing& b) {
            return a.z > b.z; // far ones first, near ones cover them
        });
        for (const Thing& th : things) {
            const double scale = m_focal / th.z; // pixels per metre at that distance
            const double base = m_horizon + scale * CAMERA_HEIGHT;
            const double x = column(th.x, th.z);
            const double fog = 1 - std::exp(-th.z / 260.0);
            auto shade = [&](Rgb c) { return toYuv(mix(c, HAZE, fog)); };
            if (th.kind == 0) {
                rect(x - 0.06 * scale, base - 1.1 * scale, x + 0.06 * scale, base, shade(POST));
                rect(x - 0.06 * scale, base - 1.0 * scale, x + 0.06 * scale, base - 0.85 * scale,
                     shade(REFLECTOR));
            } else {
                const double size = 0.8 + (th.look >> 8) % 100 / 100.0 * 0.6;
                const Rgb leaves{40.0 + (th.look >> 16) % 30, 82.0 + (th.look >> 20) % 40, 44};
                rect(x - 0.18 * scale, base - 2.4 * size * scale, x + 0.18 * scale, base,
                     shade(TRUNK));
                disc(x, base - 3.6 * size * scale, 1.8 * size * scale, shade(leaves));
            }
        }
    }

    void drawHood() {
        const Yuv hood = toYuv(HOOD), edge = toYuv(HOOD_EDGE);
        for (int x = 0; x < m_w; ++x) {
            const double u = (x - m_w / 2.0) / (m_w / 2.0);
            const int top = int(m_h * (0.905 + 0.045 * u * u));
            for (int y = std::max(0, top); y < m_h; ++y)
                pixel(x, y, y < top + std::max(2, m_h / 160) ? edge : hood);
        }
    }

    // The recorder's speed read-out, in seven-segment digits left of the "km/h" label.
    void drawSpeed(double kmh) {
        static const char* const segments[10] = {"abcdef", "bc",     "abdeg", "abcdg",   "bcfg",
                                                 "acdfg",  "acdefg", "abc",   "abcdefg", "abcdfg"};
        const int value = std::clamp(int(kmh), 0, 999);
        const double hgt = 0.055 * m_h, wid = hgt * 0.55, th = std::max(2.0, hgt * 0.14);
        const double fontSize = m_h / 24.0;
        const double right = m_w - 16 - 2.6 * fontSize - 8; // the label is about 2.4 em wide
        const double bottom = m_h - 14 - 0.1 * fontSize;
        const Yuv c = toYuv(DIGITS);
        for (int pos = 0; pos < 3; ++pos) {
            const int digit = pos == 0 ? value / 100 : pos == 1 ? value / 10 % 10 : value % 10;
            const double x0 = right - (3 - pos) * (wid + th * 1.6);
            const double y0 = bottom - hgt, mid = bottom - hgt / 2;
            for (const char* s = segments[digit]; *s; ++s) {
                switch (*s) {
                case 'a':
                    rect(x0, y0, x0 + wid, y0 + th, c);
                    break;
                case 'b':
                    rect(x0 + wid - th, y0, x0 + wid, mid, c);
                    break;
                case 'c':
                    rect(x0 + wid - th, mid, x0 + wid, bottom, c);
                    break;
                case 'd':
                    rect(x0, bottom - th, x0 + wid, bottom, c);
                    break;
                case 'e':
                    rect(x0, mid, x0 + th, bottom, c);
                    break;
                case 'f':
                    rect(x0, y0, x0 + th, mid, c);
                    break;
                case 'g':
                    rect(x0, mid - th / 2, x0 + wid, mid + th / 2, c);
                    break;
                }
            }
        }
    }

    int m_w, m_h;
    std::vector<std::uint8_t> m_frame;
    double m_focal = 1, m_horizon = 0, m_curvature = 0;
};

// ---------------------------------------------------------------------------------------------
// The sound: engine hum that follows the speed through the gears, road noise, the indicator
// ticking through turns and the tyres squealing at the hard braking. 16-bit mono WAV.

QByteArray soundWav(const Drive& drive, int seconds, int sampleRate, int seed) {
    Rng rng(std::uint64_t(seed) * 7 + 3);
    const qint64 n = qint64(seconds) * sampleRate;
    QByteArray wav;
    wav.reserve(int(44 + 2 * n));
    auto le = [&wav](std::uint32_t value, int bytes) {
        for (int b = 0; b < bytes; ++b)
            wav.append(char((value >> (8 * b)) & 0xff));
    };
    wav.append("RIFF");
    le(std::uint32_t(36 + 2 * n), 4);
    wav.append("WAVEfmt ");
    le(16, 4);
    le(1, 2); // PCM
    le(1, 2); // mono
    le(std::uint32_t(sampleRate), 4);
    le(std::uint32_t(sampleRate * 2), 4);
    le(2, 2);
    le(16, 2);
    wav.append("data");
    le(std::uint32_t(2 * n), 4);

    static const double gears[] = {0, 18, 35, 55, 75, 400};
    double phase = 0, rumble = 0;
    for (qint64 s = 0; s < n; ++s) {
        const double t = double(s) / sampleRate;
        const int i = drive.index(t);
        const double v = drive.speed[i];
        int gear = 0;
        while (v > gears[gear + 1])
            ++gear;
        const double rpm =
            v < 1 ? 850 : 900 + (v - gears[gear]) / (gears[gear + 1] - gears[gear]) * 2300;
        phase = std::fmod(phase + 2 * PI * (rpm / 30.0) / sampleRate, 2 * PI);
        const double throttle = std::clamp(drive.accelX[i] * 4, 0.0, 1.0);
        double x =
            (0.10 + 0.06 * throttle) * (0.5 * std::sin(phase) + 0.3 * std::sin(2 * phase + 0.5) +
                                        0.15 * std::sin(3 * phase + 1.1));
        rumble += 0.08 * (rng.noise(1.0) - rumble);
        x += rumble * (0.15 + 0.012 * v);
        if (drive.indicatorOn(t)) {
            const double tick = std::fmod(t, 0.75);
            const double tock = std::fmod(t + 0.375, 0.75);
            if (tick < 0.015)
                x += 0.25 * std::exp(-tick * 350) * std::sin(2 * PI * 1900 * t);
            if (tock < 0.015)
                x += 0.18 * std::exp(-tock * 350) * std::sin(2 * PI * 1400 * t);
        }
        const double fromBrake = std::abs(t - drive.brakeTime);
        if (fromBrake < drive.brakeHalfWidth * 1.4) {
            const double env = 0.5 * (1 + std::cos(PI * fromBrake / (drive.brakeHalfWidth * 1.4)));
            x += 0.2 * env * std::sin(2 * PI * (1180 * t + 6 * std::sin(2 * PI * 7 * t)));
        }
        le(std::uint32_t(
               std::uint16_t(std::int16_t(std::lround(std::clamp(x, -1.0, 1.0) * 32000)))),
           2);
    }
    return wav;
}

// ---------------------------------------------------------------------------------------------
// ffmpeg

void setError(QString* error, const QString& text) {
    if (error)
        *error = text;
}

QString ffmpegProgram() {
    return QStandardPaths::findExecutable(QStringLiteral("ffmpeg"));
}

const QString MISSING_FFMPEG =
    QStringLiteral("ffmpeg was not found on PATH; scripts/install-deps installs it");

// A font for the burned-in clock; without one ffmpeg falls back to its configured default.
QString overlayFont() {
    static const QString found = [] {
        const QStringList candidates = {
            QStringLiteral("/usr/share/fonts/truetype/dejavu/DejaVuSansMono-Bold.ttf"),
            QStringLiteral("/usr/share/fonts/truetype/dejavu/DejaVuSansMono.ttf"),
            QStringLiteral("/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf"),
            QStringLiteral("/usr/share/fonts/truetype/liberation/LiberationMono-Bold.ttf"),
            QStringLiteral("/usr/share/fonts/truetype/freefont/FreeMonoBold.ttf"),
        };
        for (const QString& path : candidates) {
            if (QFileInfo::exists(path))
                return path;
        }
        QProcess match;
        match.start(QStringLiteral("fc-match"), {QStringLiteral("-f"), QStringLiteral("%{file}"),
                                                 QStringLiteral("monospace:bold")});
        if (match.waitForFinished(10000) && match.exitCode() == 0) {
            const QString path = QString::fromLocal8Bit(match.readAllStandardOutput()).trimmed();
            // Only a path the filter syntax can carry without quoting.
            static const QString special = QStringLiteral(":'\\,;[]=");
            bool plain = QFileInfo::exists(path);
            for (QChar ch : path)
                plain = plain && !special.contains(ch);
            if (plain)
                return path;
        }
        return QString();
    }();
    return found;
}

QString ffmpegVersion() {
    static const QString version = [] {
        const QString program = ffmpegProgram();
        if (program.isEmpty())
            return QString();
        QProcess p;
        p.start(program, {QStringLiteral("-hide_banner"), QStringLiteral("-version")});
        if (!p.waitForFinished(30000) || p.exitCode() != 0)
            return QString();
        return QString::fromLocal8Bit(p.readAllStandardOutput()).section(QLatin1Char('\n'), 0, 0);
    }();
    return version;
}

// Runs ffmpeg with args; `feed` writes its standard input (may be empty). Any failure, including
// a non-zero exit, comes back as false with ffmpeg's own complaint in *error.
bool runFfmpeg(const QStringList& args, const std::function<bool(QProcess&)>& feed,
               const QString& what, QString* error) {
    const QString program = ffmpegProgram();
    if (program.isEmpty()) {
        setError(error, MISSING_FFMPEG);
        return false;
    }
    QProcess p;
    p.setStandardOutputFile(QProcess::nullDevice());
    p.start(program, QStringList{QStringLiteral("-nostdin"), QStringLiteral("-y"),
                                 QStringLiteral("-hide_banner"), QStringLiteral("-loglevel"),
                                 QStringLiteral("error")} +
                         args);
    if (!p.waitForStarted(30000)) {
        setError(error,
                 QStringLiteral("cannot start ffmpeg (%1): %2").arg(program, p.errorString()));
        return false;
    }
    const bool fed = !feed || feed(p);
    p.closeWriteChannel();
    if (!p.waitForFinished(15 * 60 * 1000)) {
        p.kill();
        p.waitForFinished(5000);
        setError(error, QStringLiteral("ffmpeg did not finish %1").arg(what));
        return false;
    }
    const QString complaint = QString::fromLocal8Bit(p.readAllStandardError()).trimmed();
    if (p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0 || !fed) {
        setError(error, QStringLiteral("ffmpeg failed (exit code %1) writing %2%3")
                            .arg(p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1)
                            .arg(what, complaint.isEmpty() ? QString() : ": " + complaint));
        return false;
    }
    return true;
}

bool writeAll(QProcess& p, const char* data, qint64 size) {
    if (p.write(data, size) != size)
        return false;
    while (p.bytesToWrite() > 0) {
        if (!p.waitForBytesWritten(60000))
            return false; // ffmpeg quit early; its exit code says why
    }
    return true;
}

// Text for drawtext's option value: the clock counts up from the recording's start.
QString clockOverlay(const QDateTime& start) {
    return QStringLiteral(R"(%{pts\:gmtime\:%1\:%Y/%m/%d %H\\\:%M\\\:%S})")
        .arg(start.toSecsSinceEpoch());
}

QString drawText(const QString& text, const QString& x, const QString& y, int size) {
    const QString font = overlayFont();
    return QStringLiteral("drawtext=%1text='%2':x=%3:y=%4:fontsize=%5:fontcolor=white"
                          ":borderw=2:bordercolor=black@0.8")
        .arg(font.isEmpty() ? QString() : "fontfile=" + font + ":", text, x, y)
        .arg(size);
}

// The encoder's command line for rec, reading the sound from `wav`, writing `out`.
QStringList encoderArgs(const Recording& rec, const QString& wav, const QString& out) {
    const bool video = !rec.videoCodec.isEmpty();
    const bool audio = !rec.audioCodec.isEmpty();
    QStringList args;
    if (video)
        args.append(QStringList{"-f", "rawvideo", "-pixel_format", "yuvj420p", "-video_size",
                                QStringLiteral("%1x%2").arg(rec.width).arg(rec.height),
                                "-framerate", QString::number(rec.fps), "-i", "pipe:0"});
    if (audio)
        args.append(QStringList{"-i", wav});
    if (video) {
        const int fontSize = rec.height / 24;
        const QString number = QFileInfo(rec.name).completeBaseName();
        const QStringList overlays = {
            drawText(clockOverlay(rec.start), "16", "h-th-14", fontSize),
            drawText(number, "w-tw-16", "14", fontSize),
            drawText("km/h", "w-tw-16", "h-th-14", fontSize),
        };
        args.append(QStringList{"-map", "0:v:0", "-vf", overlays.join(QLatin1Char(','))});
        if (rec.videoCodec == QLatin1String("mjpeg"))
            args.append(QStringList{"-c:v", "mjpeg", "-q:v", "5", "-pix_fmt", "yuvj420p"});
        else // about 1.5 Mbit/s at 640 x 480, a key frame every second
            args.append(QStringList{"-c:v", rec.videoCodec, "-b:v",
                                    QString::number(rec.width * rec.height * 5), "-g",
                                    QString::number(rec.fps), "-pix_fmt", "yuv420p"});
    }
    if (audio) {
        args.append(QStringList{"-map", video ? "1:a:0" : "0:a:0", "-c:a", rec.audioCodec, "-ar",
                                QString::number(rec.audioRate), "-ac", "1"});
        if (rec.audioCodec == QLatin1String("wmav2"))
            args.append(QStringList{"-b:a", "32k"});
    }
    const bool avi = rec.name.endsWith(QLatin1String(".avi"), Qt::CaseInsensitive);
    args.append(QStringList{"-map_metadata", "-1", "-fflags", "+bitexact", "-flags:v", "+bitexact",
                            "-flags:a", "+bitexact", "-f", avi ? "avi" : "asf", out});
    return args;
}

template <typename T> void addBytes(QCryptographicHash& hash, const std::vector<T>& values) {
    hash.addData(QByteArrayView(reinterpret_cast<const char*>(values.data()),
                                qsizetype(values.size() * sizeof(T))));
}

// A digest of everything that decides the bytes of an encoded file: the command line, the
// encoder's version, the drive, some frames and the sound. A file written under another
// digest is encoded again, whatever changed.
QString mediaKey(const Recording& rec) {
    QCryptographicHash hash(QCryptographicHash::Sha1);
    hash.addData(QByteArrayView(GENERATOR_VERSION));
    hash.addData(ffmpegVersion().toUtf8());
    hash.addData(encoderArgs(rec, QStringLiteral("sound.wav"), QStringLiteral("out"))
                     .join(QLatin1Char('\n'))
                     .toUtf8());
    const Drive drive = simulate(rec.seconds, rec.samplesPerSecond, rec.seed);
    for (const auto* column : {&drive.speed, &drive.heading, &drive.turnRate, &drive.accelX,
                               &drive.accelY, &drive.accelZ, &drive.distance})
        addBytes(hash, *column);
    if (!rec.videoCodec.isEmpty() && rec.width >= 16 && rec.height >= 16 && rec.fps > 0) {
        Picture picture(rec.width, rec.height);
        for (double t : {0.0, rec.seconds / 2.0, rec.seconds - 1.0 / rec.fps}) {
            picture.render(drive, t);
            hash.addData(QByteArrayView(picture.data(), picture.bytes()));
        }
    }
    if (!rec.audioCodec.isEmpty())
        hash.addData(soundWav(drive, rec.seconds, rec.audioRate, rec.seed));
    return QString::fromLatin1(hash.result().toHex());
}

// ---------------------------------------------------------------------------------------------
// The card

constexpr const char* STAMP_NAME = ".democard-stamp";

// relative path -> (media key, size) of media written earlier
using Stamp = QHash<QString, QPair<QString, qint64>>;

Stamp readStamp(const QDir& dir) {
    Stamp stamp;
    QFile f(dir.filePath(QString::fromLatin1(STAMP_NAME)));
    if (!f.open(QIODevice::ReadOnly))
        return stamp;
    for (const QByteArray& line : f.readAll().split('\n')) {
        const QList<QByteArray> fields = line.split('\t');
        if (fields.size() == 3)
            stamp.insert(QString::fromUtf8(fields[2]),
                         {QString::fromUtf8(fields[1]), fields[0].toLongLong()});
    }
    return stamp;
}

bool writeFile(const QString& path, const QByteArray& bytes, QString* error) {
    QFile existing(path);
    if (existing.open(QIODevice::ReadOnly) && existing.size() == bytes.size() &&
        existing.readAll() == bytes)
        return true; // unchanged: keep its time stamp
    existing.close();
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size() || !f.commit()) {
        setError(error, QStringLiteral("cannot write %1: %2").arg(path, f.errorString()));
        return false;
    }
    return true;
}

bool writeStamp(const QDir& dir, const Stamp& stamp, QString* error) {
    QStringList paths = stamp.keys();
    paths.sort();
    QByteArray text;
    for (const QString& path : paths)
        text += QByteArray::number(stamp[path].second) + '\t' + stamp[path].first.toUtf8() + '\t' +
                path.toUtf8() + '\n';
    return writeFile(dir.filePath(QString::fromLatin1(STAMP_NAME)), text, error);
}

bool copyFile(const QString& from, const QString& to, qint64 bytes, QString* error) {
    QFile in(from);
    if (!in.open(QIODevice::ReadOnly)) {
        setError(error, QStringLiteral("cannot read %1: %2").arg(from, in.errorString()));
        return false;
    }
    return writeFile(to, bytes < 0 ? in.readAll() : in.read(bytes), error);
}

QByteArray noiseBytes(int size, int seed) {
    Rng rng{std::uint64_t(seed)};
    QByteArray bytes(size, Qt::Uninitialized);
    for (int i = 0; i < size; i += 8) {
        const std::uint64_t r = rng.next();
        for (int b = 0; b < 8 && i + b < size; ++b)
            bytes[i + b] = char((r >> (8 * b)) & 0xff);
    }
    return bytes;
}

} // namespace

// ---------------------------------------------------------------------------------------------

QList<Recording> standardRecordings() {
    auto rec = [](const char* name, int seconds, int w, int h, int fps, const char* video,
                  const char* audio, int audioRate, int perSecond, bool crlf, QDateTime start,
                  int seed) {
        Recording r;
        r.name = QString::fromLatin1(name);
        r.seconds = seconds;
        r.width = w;
        r.height = h;
        r.fps = fps;
        r.videoCodec = QString::fromLatin1(video);
        r.audioCodec = QString::fromLatin1(audio);
        r.audioRate = audioRate;
        r.samplesPerSecond = perSecond;
        r.crlf = crlf;
        r.start = start;
        r.seed = seed;
        return r;
    };
    return {
        rec("0001.asf", 10, 640, 480, 25, "mjpeg", "pcm_s16le", 16000, 10, false,
            utc(2026, 5, 20, 14, 30, 5), 1),
        rec("0002.asf", 30, 640, 480, 25, "mjpeg", "adpcm_ima_wav", 16000, 1, true,
            utc(2026, 5, 20, 14, 33, 12), 2),
        rec("0003.asf", 20, 1280, 720, 25, "mjpeg", "pcm_s16le", 16000, 2, false,
            utc(2026, 5, 20, 14, 41, 47), 3),
        rec("0004.asf", 25, 640, 480, 25, "wmv2", "wmav2", 22050, 5, true,
            utc(2026, 5, 20, 14, 52, 3), 4),
        rec("0005.asf", 60, 640, 480, 25, "mjpeg", "adpcm_ima_wav", 16000, 1, true,
            utc(2026, 5, 20, 15, 5, 27), 5),
        rec("0006.asf", 15, 640, 480, 30, "mjpeg", "pcm_s16le", 16000, 4, false,
            utc(2026, 5, 20, 15, 20, 48), 6),
    };
}

QString tripLogName(const Recording& rec) {
    const int dot = rec.name.lastIndexOf(QLatin1Char('.'));
    return (dot < 0 ? rec.name : rec.name.left(dot)) + QStringLiteral(".LOG");
}

namespace {

QList<TripSample> samplesOf(const Drive& drive, int seconds, int rate) {
    QList<TripSample> samples;
    const int count = std::max(1, seconds) * rate;
    samples.reserve(count);
    for (int k = 0; k < count; ++k) {
        const int i = k * (Drive::RATE / rate);
        TripSample s;
        // The recorder's resolution: G in hundredths, speed in tenths.
        s.accelX = rounded(drive.accelX[i], 2);
        s.accelY = rounded(drive.accelY[i], 2);
        s.accelZ = rounded(drive.accelZ[i], 2);
        s.speed = rounded(drive.speed[i], 1);
        s.latitude = drive.latitude[i];
        s.longitude = drive.longitude[i];
        samples.append(s);
    }
    return samples;
}

} // namespace

QList<TripSample> tripSamples(const Recording& rec, int seed) {
    const int rate = validRate(rec.samplesPerSecond);
    return samplesOf(simulate(rec.seconds, rate, seed), rec.seconds, rate);
}

QByteArray tripLog(const Recording& rec, int seed) {
    const int rate = validRate(rec.samplesPerSecond);
    const Drive drive = simulate(rec.seconds, rate, seed);
    const QList<TripSample> samples = samplesOf(drive, rec.seconds, rate);
    const QByteArray eol = rec.crlf ? "\r\n" : "\n";
    QByteArray log;
    log.reserve(int(samples.size()) * 110);
    for (int k = 0; k < samples.size(); ++k) {
        const TripSample& s = samples[k];
        const int satellites = drive.satellites + (k / (7 * rate)) % 2;
        // The reader skips exactly 22 characters after the clock and 6 after the fix token:
        // they hold the receiver status, satellites, temperature and the field tags.
        const QByteArray status = " GPS:A SAT:" + padded(satellites, 2) +
                                  " T:" + (drive.temperature < 0 ? "-" : "+") +
                                  padded(std::abs(drive.temperature), 2) + " G:";
        Q_ASSERT(status.size() == 22);
        log += clockText(rec.start, k, rate);
        log += status;
        log += fixed(s.accelX, 2) + "," + fixed(s.accelY, 2) + "," + fixed(s.accelZ, 2);
        log += " FIX:3D POS:N"; // the token, then the 6 skipped characters " POS:N"
        log += degreesAndMinutes(s.latitude - READER_LATITUDE_OFFSET);
        log += ",E";
        log += degreesAndMinutes(s.longitude - READER_LONGITUDE_OFFSET);
        log += " " + fixed(s.speed, 1) + " KM/H" + eol;
    }
    return log;
}

QByteArray setupIni() {
    const int beforeEvent = 10, eventLength = 30, showString = 1, timeZone = 8;
    const double limitX = 2.5, limitY = 2.5, limitZ = 3.0;
    auto d3 = [](int n) { return padded(n, 3, ' '); };
    return "[BEFORE_VIDEO_EVENT=" + d3(beforeEvent) +
           "]     ; Recording time before event per video, Second unit. Valid value is 2 ~ "
           "60.\r\n"
           "[VIDEO_EVENT_LENGTH=" +
           d3(eventLength) +
           "]     ; Recording time after event trigger per video, Second unit. Valid value is "
           "10 ~ 300.\r\n"
           "[SHOW_STRING=" +
           QByteArray::number(showString) +
           "]              ; 0: Don't show overlay string on video, 1: Show overlay string on "
           "video, 2: Show overlay string with version, 3: Only show time stamp on video.\r\n"
           "[G_LIMITX=" +
           fixed(limitX, 2) +
           "]              ; Capture video if X absolute G sensor value greater than G_LIMITX, "
           "valid value is 0 ~ 8.\r\n"
           "[G_LIMITY=" +
           fixed(limitY, 2) +
           "]              ; Capture video if Y absolute G sensor value greater than G_LIMITY, "
           "valid value is 0 ~ 8.\r\n"
           "[G_LIMITZ=" +
           fixed(limitZ, 2) +
           "]              ; Capture video if Z absolute G sensor value greater than G_LIMITZ, "
           "valid value is 0 ~ 8.\r\n"
           "[OVERWRITE=  1]              ; 1: overwrite enable, 0: overwrite disable\r\n"
           "[CIS_MIRROR= 0]              ; 1: Image sensor row column mirrir, 0: Otherwise\r\n"
           "[TIME_ZONE=" +
           d3(timeZone) + "]              ; Time zone, hour unit. Valid value is -12.0 ~ 12.\r\n";
}

bool writeRecording(const Recording& rec, const QString& path, QString* error) {
    const bool video = !rec.videoCodec.isEmpty();
    const bool audio = !rec.audioCodec.isEmpty();
    if ((!video && !audio) || rec.seconds < 1 ||
        (video &&
         (rec.width < 16 || rec.height < 16 || rec.width % 2 || rec.height % 2 || rec.fps < 1))) {
        setError(error, QStringLiteral("%1: nothing sensible to encode").arg(rec.name));
        return false;
    }
    if (ffmpegProgram().isEmpty()) {
        setError(error, MISSING_FFMPEG);
        return false;
    }
    QTemporaryDir scratch;
    if (!scratch.isValid()) {
        setError(error, QStringLiteral("no temporary folder: %1").arg(scratch.errorString()));
        return false;
    }
    const Drive drive = simulate(rec.seconds, rec.samplesPerSecond, rec.seed);
    const QString wav = scratch.filePath(QStringLiteral("sound.wav"));
    if (audio) {
        const QByteArray sound = soundWav(drive, rec.seconds, rec.audioRate, rec.seed);
        QFile f(wav);
        if (!f.open(QIODevice::WriteOnly) || f.write(sound) != sound.size() || !f.flush()) {
            setError(error, QStringLiteral("cannot write %1: %2").arg(wav, f.errorString()));
            return false;
        }
    }
    // Written beside the target and renamed over it: a broken run never leaves a good name.
    const QString part = path + QStringLiteral(".part");
    const QStringList args = encoderArgs(rec, wav, part);
    const int frames = rec.seconds * rec.fps;
    auto feed = [&](QProcess& p) {
        if (!video)
            return true;
        Picture picture(rec.width, rec.height);
        for (int f = 0; f < frames; ++f) {
            picture.render(drive, double(f) / rec.fps);
            if (!writeAll(p, picture.data(), picture.bytes()))
                return false;
        }
        return true;
    };
    QFile::remove(part);
    if (!runFfmpeg(args, feed, path, error)) {
        QFile::remove(part);
        return false;
    }
    QFile::remove(path);
    if (!QFile::rename(part, path)) {
        QFile::remove(part);
        setError(error, QStringLiteral("cannot move the new recording to %1").arg(path));
        return false;
    }
    return true;
}

bool makeDemoCard(const QString& dirPath, bool extras, QString* error) {
    QDir dir(dirPath);
    if (!dir.mkpath(QStringLiteral("."))) {
        setError(error, QStringLiteral("cannot create the folder %1").arg(dirPath));
        return false;
    }
    const Stamp old = readStamp(dir);
    Stamp stamp;
    // Encodes rec to relPath unless the same generator already wrote it there.
    auto media = [&](const Recording& rec, const QString& relPath) {
        const QString key = mediaKey(rec);
        const QFileInfo info(dir.filePath(relPath));
        const auto was = old.constFind(relPath);
        if (!(was != old.constEnd() && was->first == key && info.isFile() &&
              info.size() == was->second)) {
            if (!writeRecording(rec, info.filePath(), error))
                return false;
        }
        stamp.insert(relPath, {key, QFileInfo(info.filePath()).size()});
        return writeStamp(dir, stamp, error);
    };

    const QList<Recording> recordings = standardRecordings();
    for (const Recording& rec : recordings) {
        if (!media(rec, rec.name) ||
            !writeFile(dir.filePath(tripLogName(rec)), tripLog(rec, rec.seed), error))
            return false;
    }
    if (!writeFile(dir.filePath(QStringLiteral("setup.ini")), setupIni(), error))
        return false;
    if (!extras)
        return true;

    // Test files: odd names and broken media, kept apart so the card itself stays clean.
    if (!dir.mkpath(QStringLiteral("extras"))) {
        setError(error, QStringLiteral("cannot create %1/extras").arg(dirPath));
        return false;
    }
    const Recording& first = recordings.front();
    const QString firstPath = dir.filePath(first.name);
    auto extra = [](const char* name, int seconds, int w, int h, const char* video,
                    const char* audio, int seed) {
        Recording r;
        r.name = QString::fromUtf8(name);
        r.seconds = seconds;
        r.width = w;
        r.height = h;
        r.videoCodec = QString::fromLatin1(video);
        r.audioCodec = QString::fromLatin1(audio);
        r.samplesPerSecond = 5;
        r.start = utc(2026, 5, 21, 9, 15, 0).addSecs(seed * 60);
        r.seed = seed;
        return r;
    };
    const Recording clip = extra("clip.avi", 3, 320, 240, "mjpeg", "pcm_s16le", 11);
    const Recording audioOnly = extra("audio-only.asf", 5, 0, 0, "", "wmav2", 12);
    const Recording videoOnly = extra("video-only.asf", 5, 640, 480, "mjpeg", "", 13);
    for (const Recording& rec : {clip, audioOnly, videoOnly}) {
        if (!media(rec, QStringLiteral("extras/") + rec.name))
            return false;
    }
    const qint64 firstSize = QFileInfo(firstPath).size();
    return copyFile(firstPath, dir.filePath(QStringLiteral("extras/A.ASF")), -1, error) &&
           copyFile(firstPath, dir.filePath(QStringLiteral("extras/名字 with space.asf")), -1,
                    error) &&
           copyFile(firstPath, dir.filePath(QStringLiteral("extras/truncated.asf")), firstSize / 3,
                    error) &&
           writeFile(dir.filePath(QStringLiteral("extras/empty.asf")), QByteArray(), error) &&
           writeFile(dir.filePath(QStringLiteral("extras/random.asf")), noiseBytes(64 * 1024, 99),
                     error);
}

} // namespace democard
