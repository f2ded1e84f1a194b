// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The picture of a demo recording: a road seen from behind the windscreen, drawn straight
// into full-range YUV 4:2:0 planes, one span at a time (cheap enough to feed the encoder in
// real time). Internal to the demo card generator.

#include "Drive.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

namespace democard::detail {

struct Rgb {
    double r, g, b;
};

inline Rgb mix(Rgb a, Rgb b, double t) {
    return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

struct Yuv {
    std::uint8_t y, u, v;
};

inline std::uint8_t clampByte(double x) {
    return std::uint8_t(std::clamp(std::lround(x), 0l, 255l));
}

inline Yuv toYuv(Rgb c) {
    return {clampByte(0.299 * c.r + 0.587 * c.g + 0.114 * c.b),
            clampByte(128 - 0.168736 * c.r - 0.331264 * c.g + 0.5 * c.b),
            clampByte(128 + 0.5 * c.r - 0.418688 * c.g - 0.081312 * c.b)};
}

constexpr Rgb SKY_TOP{92, 146, 212};
constexpr Rgb SKY_HORIZON{196, 214, 232};
constexpr Rgb HAZE{188, 200, 210};
constexpr Rgb HILLS{112, 138, 150};
constexpr Rgb GRASS_A{86, 128, 64};
constexpr Rgb GRASS_B{96, 140, 70};
constexpr Rgb GRAVEL{150, 140, 122};
constexpr Rgb ASPHALT_A{72, 74, 78};
constexpr Rgb ASPHALT_B{78, 80, 84};
constexpr Rgb WHITE_LINE{228, 228, 222};
constexpr Rgb YELLOW_LINE{226, 184, 52};
constexpr Rgb POST{236, 236, 230};
constexpr Rgb REFLECTOR{240, 120, 30};
constexpr Rgb TRUNK{84, 62, 44};
constexpr Rgb HOOD{34, 38, 46};
constexpr Rgb HOOD_EDGE{70, 78, 92};
constexpr Rgb DIGITS{250, 250, 250};
constexpr Rgb REC_RED{230, 30, 30};

inline std::uint32_t hash32(std::uint32_t x) {
    x ^= x >> 16;
    x *= 0x7feb352dU;
    x ^= x >> 15;
    x *= 0x846ca68bU;
    x ^= x >> 16;
    return x;
}

class RoadPicture {
public:
    RoadPicture(int width, int height)
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

} // namespace democard::detail
