// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QRect>
#include <QString>
#include <functional>

class QPainter;

// One refresh of the G-sensor chart below the video, run on every tick of the playback timer.
//
// dc paints into the off-screen image of the chart box (control 1034); rcChart is the box's
// client rectangle, QRect(0, 0, width, height), and the chart uses x + width and y + height as
// its right and bottom edges. sliderPos is the seek slider's position, 0 to 1000 per mille of
// the recording. engineRunning says whether the media engine is playing.
//
// Performs the pending trip log load first (TripLog.reloadPending); when the log cannot be
// opened the image is left black and nothing else happens. Otherwise draws the three axes over
// the whole recording, the cursor at the slider position and the values there, hands the
// speed text ("%d" of the truncated speed) to setSpeedText for the speed box (control 1069)
// and, only while the engine runs, passes that sample's latitude and longitude to updateMap.
void DrawTripChart(QPainter& dc, const QRect& rcChart, int sliderPos, bool engineRunning,
                   const std::function<void(const QString&)>& setSpeedText,
                   const std::function<void(double, double)>& updateMap);

// The same refresh without the load: the table as it is (black while a load is pending). The
// window reads the log when a recording opens (CTripModel), never while it paints.
void DrawLoadedTripChart(QPainter& dc, const QRect& rcChart, int sliderPos, bool engineRunning,
                         const std::function<void(const QString&)>& setSpeedText,
                         const std::function<void(double, double)>& updateMap);

// The sample shown at slider position p (0 to 1000) for a table of sampleCount slots: never the
// empty trailing slot a log ending in a line break leaves, and slot 0 when there is only one.
int TripChartSample(int sliderPos, int sampleCount);

// The speed box text for a speed: the value truncated towards zero.
QString TripChartSpeedText(double speed);
