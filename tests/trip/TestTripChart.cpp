// SPDX-License-Identifier: GPL-3.0-or-later
// The G-sensor chart: what lands on which pixel, the cursor, the labels and the speed, and
// when the map is told about the position.
#include "TripTestSupport.h"

#include "records/CurrentRecord.h"
#include "trip/TripChart.h"
#include "trip/TripLog.h"

#include <QFontMetrics>
#include <QImage>
#include <QPainter>
#include <QTest>
#include <cmath>
#include <limits>

using namespace triptest;

namespace {

// Colours as 0xRRGGBB, the way at() reads pixels.
const QRgb kWhite = 0xffffff;
const QRgb kGreen = 0x00ff00;
const QRgb kRed = 0xff0000;
const QRgb kPurple = 0xa020f0;
const QRgb kBlack = 0x000000;
const QRgb kPrefill = 0x14285a; // the chart box's screen content before the refresh

void fillColumns(int n, double x, double y, double z, double speed = 0) {
    for (int i = 0; i < TRIP_LOG_CAPACITY; ++i) {
        TripLog.accelX[i] = x;
        TripLog.accelY[i] = y;
        TripLog.accelZ[i] = z;
        TripLog.speed[i] = speed;
        TripLog.latitude[i] = 0;
        TripLog.longitude[i] = 0;
    }
    TripLog.sampleCount = n;
    TripLog.reloadPending = false;
}

struct Refresh {
    QImage image;
    QStringList speedTexts;
    QList<QPair<double, double>> mapCalls;
};

Refresh refresh(int width, int height, int sliderPos, bool running = false) {
    Refresh r;
    r.image = QImage(width, height, QImage::Format_RGB32);
    r.image.fill(QColor::fromRgb(kPrefill));
    QPainter dc(&r.image);
    DrawTripChart(
        dc, QRect(0, 0, width, height), sliderPos, running,
        [&r](const QString& text) { r.speedTexts << text; },
        [&r](double lat, double lon) {
            r.mapCalls.append({lat, lon});
        });
    return r;
}

QRgb at(const QImage& img, int x, int y) {
    return img.pixel(x, y) & 0xffffff;
}

int countInColumn(const QImage& img, int x, int y0, int y1, QRgb colour) {
    int n = 0;
    for (int y = y0; y < y1; ++y)
        n += at(img, x, y) == colour;
    return n;
}

} // namespace

class TestTripChart : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

private Q_SLOTS:
    void missingLogLeavesOnlyBlack() {
        CurrentRecord.fileName = m_dir.filePath("later.asf");
        TripLog.reloadPending = true;
        Refresh r = refresh(594, 87, 500, true);
        for (int y = 0; y < 87; ++y)
            for (int x = 0; x < 594; ++x)
                QCOMPARE(at(r.image, x, y), kBlack);
        QVERIFY(r.speedTexts.isEmpty());
        QVERIFY(r.mapCalls.isEmpty());
        QVERIFY(TripLog.reloadPending);

        // The next refresh tries again and finds the log that has arrived meanwhile.
        writeFile(m_dir.filePath("later.LOG"), workedExampleLine() + "\n");
        r = refresh(594, 87, 0, true);
        QVERIFY(!TripLog.reloadPending);
        QCOMPARE(TripLog.sampleCount, 2);
        QCOMPARE(r.speedTexts, QStringList{"45"});
        QCOMPARE(r.mapCalls.size(), 1);
        QCOMPARE(QString::asprintf("%.6f", r.mapCalls[0].first), QStringLiteral("45.496556"));
        QCOMPARE(countInColumn(r.image, 100, 0, 87, kWhite), 1); // the X curve
    }

    void logIsReadOnlyWhenPending() {
        const QString log = writeFile(m_dir.filePath("once.LOG"), workedExampleLine());
        CurrentRecord.fileName = m_dir.filePath("once.asf");
        TripLog.reloadPending = true;
        QCOMPARE(refresh(594, 87, 0).speedTexts, QStringList{"45"});
        writeFile(log, record("0,0", "0", "0", "0", "0", "0", "77"));
        QCOMPARE(refresh(594, 87, 0).speedTexts, QStringList{"45"}); // the table, unchanged
        TripLog.reloadPending = true;                                // a recording was opened
        QCOMPARE(refresh(594, 87, 0).speedTexts, QStringList{"77"});
    }

    void curveRows_data() {
        QTest::addColumn<double>("x");
        QTest::addColumn<double>("y");
        QTest::addColumn<double>("z");
        QTest::addColumn<int>("row");
        QTest::addColumn<QRgb>("colour");
        // The other two axes are moved out of the way (rows 10 to 25).
        QTest::newRow("X +1.0") << 1.0 << -8.0 << -8.0 << 55 << kWhite;
        QTest::newRow("Z -2.0") << -8.0 << -8.0 << -2.0 << 55 << kRed;
        QTest::newRow("Y +1.0") << -8.0 << 1.0 << -8.0 << 65 << kGreen;
        QTest::newRow("X 0, baseline") << 0.0 << -8.0 << -8.0 << 50 << kWhite;
        QTest::newRow("Y 0, baseline") << -8.0 << 0.0 << -8.0 << 60 << kGreen;
        QTest::newRow("Z 0, baseline") << -8.0 << -8.0 << 0.0 << 65 << kRed;
        QTest::newRow("X -0.3, truncated towards zero") << -0.3 << -8.0 << -8.0 << 48 << kWhite;
        QTest::newRow("Z +1.9, truncated") << -8.0 << -8.0 << 1.9 << 74 << kRed;
    }
    void curveRows() {
        QFETCH(double, x);
        QFETCH(double, y);
        QFETCH(double, z);
        QFETCH(int, row);
        QFETCH(QRgb, colour);
        fillColumns(1000, x, y, z);
        const Refresh r = refresh(594, 87, 900);
        for (int col : {2, 150, 200, 400, 589}) {
            QCOMPARE(at(r.image, col, row), colour);
            QCOMPARE(countInColumn(r.image, col, 30, 87, colour), 1);
        }
        QCOMPARE(at(r.image, 0, 86), kBlack); // the fill covers the whole box
        QCOMPARE(at(r.image, 593, 40), kBlack);
    }

    // Four samples over a plot exactly 1000 pixels wide: point j shows sample
    // floor((j + 1) * 4 / 1000) - 1, so the steps fall after points 498, 748 and 998.
    void resampling() {
        fillColumns(4, 0, -10, -10);
        for (int i = 0; i < 4; ++i)
            TripLog.accelX[i] = 2.0 * i;          // rows 50, 60, 70, 80
        const Refresh r = refresh(1004, 87, 300); // cursor at x = 302, out of the way
        auto xRow = [&r](int col) {
            for (int y = 30; y < 87; ++y)
                if (at(r.image, col, y) == kWhite)
                    return y;
            return -1;
        };
        QCOMPARE(xRow(2), 50);
        QCOMPARE(xRow(499), 50);
        QCOMPARE(xRow(502), 60);
        QCOMPARE(xRow(749), 60);
        QCOMPARE(xRow(752), 70);
        QCOMPARE(xRow(999), 70);
        QCOMPARE(at(r.image, 1001, 80), kWhite); // the last point, sample 3
    }

    // The last point of a long log must not come from past the table: with 4000 samples its
    // index would be 4003.
    void lastPointStaysInTheTable() {
        fillColumns(TRIP_LOG_CAPACITY, 2.0, 1.0, 4.0); // X at row 60, Y at 65, Z at 85
        for (int i = 0; i < 8; ++i)
            TripLog.accelY[i] = -10; // what lies beyond accelX in memory
        const Refresh r = refresh(594, 87, 0);
        for (int col = 585; col < 592; ++col)
            QCOMPARE(countInColumn(r.image, col, 16, 56, kWhite), 0);
        QCOMPARE(at(r.image, 589, 60), kWhite);
    }

    void cursor_data() {
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("sliderPos");
        QTest::addColumn<int>("cx");
        QTest::newRow("start") << 600 << 0 << 2;
        QTest::newRow("end of a 600 pixel box") << 600 << 1000 << 595;
        QTest::newRow("near the end, unclamped") << 600 << 990 << 592;
        QTest::newRow("end of the real box") << 594 << 1000 << 589;
    }
    void cursor() {
        QFETCH(int, width);
        QFETCH(int, sliderPos);
        QFETCH(int, cx);
        fillColumns(1000, -9, -9, -9);
        const Refresh r = refresh(width, 87, sliderPos);
        const int dots = countInColumn(r.image, cx, 30, 87, kPurple);
        QVERIFY2(dots >= 10,
                 qPrintable(QString("only %1 cursor pixels at x = %2").arg(dots).arg(cx)));
        QVERIFY(dots < 87 - 30); // dotted, not solid
        QCOMPARE(countInColumn(r.image, cx, 0, 30, kPurple), 0);
        for (int x = 0; x < width; ++x) {
            if (x < cx - 1 || x > cx + 1)
                QCOMPARE(countInColumn(r.image, x, 0, 87, kPurple), 0);
        }
    }

    // Labels: "%.2lf" with the usual rounding, in their colours on black, at x = 30, the middle
    // and 80 pixels from the right edge, at the top; compared with the same texts drawn apart.
    void labels() {
        fillColumns(1000, 0.126, -0.5, 1.0);
        checkLabels(QStringLiteral("X : 0.13"), QStringLiteral("Y : -0.50"),
                    QStringLiteral("Z : 1.00"));
    }
    void labelsInACommaLocale() {
        CommaLocale comma;
        if (!comma.active())
            QSKIP("no comma-decimal locale could be set up on this machine");
        fillColumns(1000, 0.126, -0.5, 1.0);
        checkLabels(QStringLiteral("X : 0.13"), QStringLiteral("Y : -0.50"),
                    QStringLiteral("Z : 1.00"));
    }

    // The labels are written on black: a curve running through them does not show there.
    void labelsCoverTheCurves() {
        fillColumns(1000, -9.0, -11.0, -12.0); // all three curves on row 5
        const Refresh r = refresh(594, 87, 0);
        QImage probe(8, 8, QImage::Format_RGB32);
        QPainter p(&probe);
        const QFontMetrics fm(p.font());
        const int xWidth = fm.horizontalAdvance(QStringLiteral("X : -9.00"));
        const int zLeft = 594 - 80;
        // Inside the white label only greys (its smoothed glyphs); inside the red one only reds.
        for (int x = 30; x < 30 + xWidth; ++x) {
            const QRgb c = r.image.pixel(x, 5);
            QVERIFY(qRed(c) == qGreen(c) && qGreen(c) == qBlue(c));
        }
        for (int x = zLeft; x < zLeft + fm.horizontalAdvance(QStringLiteral("Z : -12.00")); ++x) {
            const QRgb c = r.image.pixel(x, 5);
            QVERIFY(qGreen(c) == 0 && qBlue(c) == 0);
        }
        QCOMPARE(at(r.image, 20, 5), kRed); // outside the labels the curves show
    }

    // A log that ended with a line break: at the end of the slider the labels, speed and map
    // show the last record, not the empty slot after it.
    void endShowsTheLastRecord() {
        for (int i = 0; i < TRIP_LOG_CAPACITY; ++i)
            TripLog.speed[i] = 99;
        const QByteArray bytes = record("1,1", "1", "10", "0", "20", "0", "10.2") + "\n" +
                                 record("2,2", "2", "11", "0", "21", "0", "20.5") + "\n" +
                                 record("3,3", "3", "12", "0", "22", "0", "30.7") + "\n";
        writeFile(m_dir.filePath("end.LOG"), bytes);
        CurrentRecord.fileName = m_dir.filePath("end.asf");
        TripLog.reloadPending = true;
        Refresh r = refresh(594, 87, 1000, true);
        QCOMPARE(TripLog.sampleCount, 4);
        QCOMPARE(r.speedTexts, QStringList{"30"});
        QCOMPARE(r.mapCalls.size(), 1);
        QCOMPARE(QString::asprintf("%.6f", r.mapCalls[0].first),
                 QString::asprintf("%.6f", 12 - 0.003444));
        QCOMPARE(refresh(594, 87, 0).speedTexts, QStringList{"10"});
        QCOMPARE(refresh(594, 87, 250).speedTexts, QStringList{"10"}); // k = 250 * 4 / 1000 - 1
        QCOMPARE(refresh(594, 87, 500).speedTexts, QStringList{"20"});
        QCOMPARE(refresh(594, 87, 750).speedTexts, QStringList{"30"});
    }

    // One slot only (an empty log, or one record without a final line break): slot 0 is shown.
    void singleSlot() {
        writeFile(m_dir.filePath("one.LOG"), record("1,1", "1", "10", "0", "20", "0", "64.2"));
        CurrentRecord.fileName = m_dir.filePath("one.asf");
        TripLog.reloadPending = true;
        for (int p : {0, 500, 1000}) {
            const Refresh r = refresh(594, 87, p, true);
            QCOMPARE(TripLog.sampleCount, 1);
            QCOMPARE(r.speedTexts, QStringList{"64"});
            QCOMPARE(r.mapCalls.size(), 1);
        }
    }

    void speedText_data() {
        QTest::addColumn<double>("speed");
        QTest::addColumn<QString>("text");
        QTest::newRow("45.9") << 45.9 << "45";
        QTest::newRow("-0.5") << -0.5 << "0";
        QTest::newRow("-3.7") << -3.7 << "-3";
        QTest::newRow("120") << 120.0 << "120";
        // Out of range or not a number (the reader accepts "nan" and "1e400"): held, no crash.
        QTest::newRow("nan") << std::numeric_limits<double>::quiet_NaN() << "0";
        QTest::newRow("1e300") << 1e300 << "2147483647";
        QTest::newRow("-inf") << -std::numeric_limits<double>::infinity() << "-2147483647";
    }
    void speedText() {
        QFETCH(double, speed);
        QFETCH(QString, text);
        fillColumns(10, 0, 0, 0, speed);
        QCOMPARE(refresh(594, 87, 500).speedTexts, QStringList{text});
    }

    void mapOnlyWhileRunning() {
        fillColumns(10, 0, 0, 0);
        for (int i = 0; i < 10; ++i) {
            TripLog.latitude[i] = 40 + i;
            TripLog.longitude[i] = -70 - i;
        }
        QVERIFY(refresh(594, 87, 500, false).mapCalls.isEmpty()); // paused or stopped
        const Refresh r = refresh(594, 87, 500, true);
        QCOMPARE(r.mapCalls.size(), 1);
        QCOMPARE(r.mapCalls[0].first, 44.0); // k = 500 * 10 / 1000 - 1
        QCOMPARE(r.mapCalls[0].second, -74.0);
        QCOMPARE(r.speedTexts.size(), 1); // the speed follows while paused too
    }

    void oddValuesStillDraw() {
        fillColumns(100, std::numeric_limits<double>::quiet_NaN(),
                    std::numeric_limits<double>::infinity(), -1e300, 1e300);
        TripLog.accelX[50] = 1e18;
        const Refresh r = refresh(594, 87, 500, true);
        QCOMPARE(r.speedTexts.size(), 1);
        QCOMPARE(r.mapCalls.size(), 1);
        int cursorPixels = 0;
        for (int x = 290; x < 300; ++x)
            cursorPixels += countInColumn(r.image, x, 30, 87, kPurple);
        QVERIFY(cursorPixels > 0);
    }

private:
    void checkLabels(const QString& x, const QString& y, const QString& z) {
        const int width = 594, height = 87;
        const Refresh r = refresh(width, height, 0);
        QImage expected(width, height, QImage::Format_RGB32);
        expected.fill(Qt::black);
        {
            QPainter p(&expected);
            p.setBackgroundMode(Qt::OpaqueMode);
            p.setBackground(Qt::black);
            const int base = QFontMetrics(p.font()).ascent();
            p.setPen(QColor(kWhite));
            p.drawText(30, base, x);
            p.setPen(QColor(kGreen));
            p.drawText(width / 2, base, y);
            p.setPen(QColor(kRed));
            p.drawText(width - 80, base, z);
        }
        const int strip = QFontMetrics(QFont()).height();
        int coloured = 0;
        for (int row = 0; row < std::min(strip, 30); ++row) {
            for (int col = 0; col < width; ++col) {
                if (at(expected, col, row) != kBlack)
                    ++coloured;
                if (at(r.image, col, row) != at(expected, col, row))
                    QFAIL(qPrintable(QString("label pixel (%1, %2) differs").arg(col).arg(row)));
            }
        }
        QVERIFY(coloured > 30); // the reference holds text at all
    }
};

int runTripChartTests(int argc, char** argv) {
    TestTripChart t;
    return QTest::qExec(&t, argc, argv);
}

#include "TestTripChart.moc"
