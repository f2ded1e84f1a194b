// SPDX-License-Identifier: GPL-3.0-or-later
#include "trip/TripChart.h"

#include "trip/ClassicNumericScope.h"
#include "trip/TripLog.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPen>
#include <algorithm>
#include <array>
#include <climits>
#include <cmath>

namespace {

constexpr int kResampledSegments = 1000;
constexpr double kPixelsPerUnit = 5.0;

// Truncation towards zero into an int. The reader accepts anything "%lf" does, "nan" and
// "1e300" included, and converting such a double to int is undefined, so values are held
// inside the given range first (far outside the image, where they are cut off anyway).
int truncHeld(double v, double limit) {
    if (std::isnan(v))
        return 0;
    return static_cast<int>(std::clamp(v, -limit, limit));
}

// Pixel rows of a curve never need more than this; anything beyond lies off the image.
constexpr double kRowLimit = 1 << 20;

QPen solidPen(const QColor& colour) {
    QPen pen(colour);
    pen.setWidth(1);
    pen.setCosmetic(true);
    // Each segment stops short of its end point, the next one starts there.
    pen.setCapStyle(Qt::FlatCap);
    return pen;
}

void drawAxis(QPainter& dc, const double* column, int baseline, int sampleCount, int left,
              double step) {
    std::array<QPoint, kResampledSegments + 1> points;
    for (int j = 0; j <= kResampledSegments; ++j) {
        // Point j shows sample floor((j + 1) * n / 1000) - 1, raised to 0 and, for the last
        // point, held at the last slot (it would lie past the filled part of the table).
        int sample = (j + 1) * sampleCount / kResampledSegments - 1;
        sample = std::clamp(sample, 0, sampleCount - 1);
        points[static_cast<size_t>(j)] =
            QPoint(static_cast<int>(j * step + left),
                   truncHeld(column[sample] * kPixelsPerUnit + baseline, kRowLimit));
    }
    dc.drawPolyline(points.data(), static_cast<int>(points.size()));
}

void drawLabel(QPainter& dc, const QColor& colour, int x, const std::string& text) {
    dc.setPen(colour);
    const QString label = QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
    dc.drawText(QPoint(x, QFontMetrics(dc.font()).ascent()), label);
}

} // namespace

int TripChartSample(int sliderPos, int sampleCount) {
    int k = sliderPos * sampleCount / kResampledSegments - 1;
    if (k < 0)
        k = 0;
    // Past the last real record (a log ending in a line break leaves an empty slot behind it);
    // with a single slot that would be -1, so slot 0 is shown.
    if (k > sampleCount - 2)
        k = std::max(sampleCount - 2, 0);
    return k;
}

QString TripChartSpeedText(double speed) {
    return QString::number(truncHeld(speed, static_cast<double>(INT_MAX)));
}

void DrawTripChart(QPainter& dc, const QRect& rcChart, int sliderPos, bool engineRunning,
                   const std::function<void(const QString&)>& setSpeedText,
                   const std::function<void(double, double)>& updateMap) {
    if (TripLog.reloadPending)
        LoadTripLog();
    DrawLoadedTripChart(dc, rcChart, sliderPos, engineRunning, setSpeedText, updateMap);
}

void DrawLoadedTripChart(QPainter& dc, const QRect& rcChart, int sliderPos, bool engineRunning,
                         const std::function<void(const QString&)>& setSpeedText,
                         const std::function<void(double, double)>& updateMap) {
    const int left = rcChart.x();
    const int top = rcChart.y();
    const int right = rcChart.x() + rcChart.width();
    const int bottom = rcChart.y() + rcChart.height();

    dc.fillRect(QRect(0, 0, right, bottom), Qt::black);

    if (TripLog.reloadPending)
        return; // no log (yet): black only, speed box and map keep their last values
    const int n = TripLog.sampleCount;
    if (n <= 0)
        return;

    dc.save();
    dc.setRenderHint(QPainter::Antialiasing, false);

    const int originX = left + 2;
    const int plotWidth = (right - 2) - (left + 2);
    const double step = plotWidth * 0.001; // pixels per thousandth of the recording

    dc.setPen(solidPen(QColor(255, 255, 255)));
    drawAxis(dc, TripLog.accelX, top + 50, n, originX, step);
    dc.setPen(solidPen(QColor(0, 255, 0)));
    drawAxis(dc, TripLog.accelY, top + 60, n, originX, step);
    dc.setPen(solidPen(QColor(255, 0, 0)));
    drawAxis(dc, TripLog.accelZ, top + 65, n, originX, step);

    const int p = std::clamp(sliderPos, 0, kResampledSegments);
    int cx = static_cast<int>(p * step + originX);
    if (cx >= (right - 2) - 2)
        cx = (right - 2) - 3;
    QPen cursor(QColor(160, 32, 240));
    cursor.setWidth(2);
    cursor.setCapStyle(Qt::FlatCap);
    cursor.setDashPattern({1, 1}); // in pen widths: two pixels on, two off
    dc.setPen(cursor);
    dc.drawLine(QPoint(cx, top + 30), QPoint(cx, bottom));

    const int k = TripChartSample(p, n);
    dc.setBackgroundMode(Qt::OpaqueMode);
    dc.setBackground(QColor(0, 0, 0));
    drawLabel(dc, QColor(255, 255, 255), 30, FormatClassic("X : %.2lf", TripLog.accelX[k]));
    drawLabel(dc, QColor(0, 255, 0), (right + left) / 2,
              FormatClassic("Y : %.2lf", TripLog.accelY[k]));
    drawLabel(dc, QColor(255, 0, 0), right - 80, FormatClassic("Z : %.2lf", TripLog.accelZ[k]));
    dc.restore();

    if (setSpeedText)
        setSpeedText(TripChartSpeedText(TripLog.speed[k]));
    if (engineRunning && updateMap)
        updateMap(TripLog.latitude[k], TripLog.longitude[k]);
}
