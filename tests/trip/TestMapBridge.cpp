// SPDX-License-Identifier: GPL-3.0-or-later
// The map bridge: the script text, the start-up navigation, and a real page receiving the
// positions, silently.
#include "TripTestSupport.h"
#include "democard/DemoCard.h"
#include "trip/TextLogReader.h"

#include "trip/MapBridge.h"
#include "trip/TripChart.h"
#include "trip/TripLog.h"
#include "trip/WebBrowser2.h"

#include <QApplication>
#include <QDialog>
#include <QImage>
#include <QPainter>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <limits>

using namespace triptest;

namespace {

QStringList g_jsMessages;
QtMessageHandler g_previousHandler = nullptr;

void captureJs(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (context.category && qstrcmp(context.category, "js") == 0)
        g_jsMessages << message;
    else if (g_previousHandler)
        g_previousHandler(type, context, message);
}

QVariant evaluate(QWebEnginePage* page, const QString& script) {
    QVariant result;
    bool done = false;
    page->runJavaScript(script, [&](const QVariant& v) {
        result = v;
        done = true;
    });
    if (!QTest::qWaitFor([&] { return done; }, 10000))
        qWarning("no answer from the page to: %s", qPrintable(script));
    return result;
}

// Closes, and counts, every dialog that shows up while it lives.
struct DialogWatch {
    int seen = 0;
    QTimer timer;
    DialogWatch() {
        QObject::connect(&timer, &QTimer::timeout, [this] {
            for (QWidget* w : QApplication::topLevelWidgets()) {
                if (auto* d = qobject_cast<QDialog*>(w); d && d->isVisible()) {
                    ++seen;
                    d->reject();
                }
            }
        });
        timer.start(20);
    }
};

} // namespace

class TestMapBridge : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

private Q_SLOTS:
    void scriptText_data() {
        QTest::addColumn<double>("lat");
        QTest::addColumn<double>("lon");
        QTest::addColumn<QString>("text");
        QTest::newRow("worked example")
            << 45.496556 << 100.254912 << R"(SetLocation("45.496556","100.254912"))";
        QTest::newRow("negative") << -0.5 << -122.4194
                                  << R"(SetLocation("-0.500000","-122.419400"))";
        QTest::newRow("rounded to six decimals")
            << 1.23456789 << 0.0000004 << R"(SetLocation("1.234568","0.000000"))";
    }
    void scriptText() {
        QFETCH(double, lat);
        QFETCH(double, lon);
        QFETCH(QString, text);
        QCOMPARE(MapScriptText(lat, lon), text);
        CommaLocale comma;
        if (comma.active())
            QCOMPARE(MapScriptText(lat, lon), text);
    }

    void workedExampleFromTheLog() {
        QVERIFY(LoadTripLogFrom(writeFile(m_dir.filePath("w.LOG"), workedExampleLine() + "\n")));
        QCOMPARE(MapScriptText(TripLog.latitude[0], TripLog.longitude[0]),
                 QStringLiteral(R"(SetLocation("45.496556","100.254912"))"));
    }

    void noPageNoNavigation() {
        QTemporaryDir empty;
        CWebBrowser2 browser;
        browser.resize(316, 369);
        browser.show();
        QVERIFY(QTest::qWaitForWindowExposed(&browser));
        QVERIFY(!NavigateToMapPage(browser, empty.path()));
        QTest::qWait(100);
        QVERIFY(browser.view() == nullptr);
        QVERIFY(browser.GetDocument() == nullptr);
    }

    void realPage() {
        const QString pageDir = QStringLiteral(PLAYER_MAP_PAGE_DIR);
        QVERIFY2(QFile::exists(pageDir + "/Google-earth.html"), qPrintable(pageDir));
        QVERIFY(QFile::exists(pageDir + "/leaflet/leaflet.js"));
        mapDocument = nullptr;

        CWebBrowser2 browser;
        browser.resize(316, 369);
        QVERIFY(NavigateToMapPage(browser, pageDir));
        QTest::qWait(50);
        QVERIFY(browser.view() == nullptr); // waits for the window's first paint
        UpdateMapPosition(1, 2);            // no page yet: dropped

        browser.show();
        QTRY_VERIFY_WITH_TIMEOUT(browser.view() != nullptr, 5000);
        QVERIFY(browser.GetSilent());
        UpdateMapPosition(3, 4); // still loading: dropped
        QTRY_VERIFY_WITH_TIMEOUT(!mapDocument.isNull(), 60000);
        QCOMPARE(mapDocument.data(), browser.GetDocument());
        QWebEnginePage* page = mapDocument.data();

        QCOMPARE(evaluate(page, "mapState.calls").toInt(), 0); // nothing was queued
        QCOMPARE(evaluate(page, "typeof L").toString(), QStringLiteral("object"));
        QCOMPARE(evaluate(page, "map !== null").toBool(), true);
        // Without a network the grid is there to draw on.
        QVERIFY(evaluate(page, "document.querySelectorAll('.leaflet-tile-container canvas').length")
                    .toInt() > 0);

        // The recorder's values alone (its offsets undone by the page): 45°30' N 100°15' E.
        QVERIFY(LoadTripLogFrom(writeFile(m_dir.filePath("p.LOG"), workedExampleLine() + "\n")));
        UpdateMapPosition(TripLog.latitude[0], TripLog.longitude[0]);
        QTRY_COMPARE(evaluate(page, "mapState.calls").toInt(), 1);
        QCOMPARE(evaluate(page, "JSON.stringify(mapState.last)").toString(),
                 QStringLiteral(R"(["45.496556","100.254912"])"));
        QCOMPARE(evaluate(page, "document.querySelectorAll('.vehicle').length").toInt(), 1);
        QCOMPARE(evaluate(page, "map.getBounds().contains(vehicle.getLatLng())").toBool(), true);
        QCOMPARE(evaluate(page, "vehicle.getLatLng().lat.toFixed(6)").toString(), "45.500000");
        QCOMPARE(evaluate(page, "vehicle.getLatLng().lng.toFixed(6)").toString(), "100.250000");
        QCOMPARE(evaluate(page, "document.getElementById('lat').textContent").toString(),
                 QString::fromUtf8("45.500000° N"));

        // With the true position told first, the vehicle is there and labelled by its
        // hemispheres; the recorder's values still reach SetLocation as they are.
        UpdateMapFix(-33.5, -70.25, std::make_pair(-33.868333, -70.25));
        QTRY_COMPARE(evaluate(page, "mapState.calls").toInt(), 2);
        QCOMPARE(evaluate(page, "JSON.stringify(mapState.last)").toString(),
                 QStringLiteral(R"(["-33.500000","-70.250000"])"));
        QTRY_COMPARE(
            evaluate(page, "map.getBounds().contains(L.latLng(-33.868333, -70.25))").toBool(),
            true);
        QCOMPARE(evaluate(page, "vehicle.getLatLng().lat.toFixed(6)").toString(), "-33.868333");
        QCOMPARE(evaluate(page, "document.getElementById('lat').textContent").toString(),
                 QString::fromUtf8("33.868333° S"));
        QCOMPARE(evaluate(page, "document.getElementById('lon').textContent").toString(),
                 QString::fromUtf8("70.250000° W"));
        // A sample without a fix moves nothing.
        UpdateMapFix(1, 2, std::nullopt);
        QTRY_COMPARE(evaluate(page, "mapState.skipped").toInt(), 1);
        QCOMPARE(evaluate(page, "vehicle.getLatLng().lat.toFixed(6)").toString(), "-33.868333");
        QCOMPARE(evaluate(page, "mapState.calls").toInt(), 3);

        // A few samples along a road: the trail grows with each distinct position.
        for (int i = 1; i <= 5; ++i)
            UpdateMapPosition(-33.5 + i * 0.0002, -70.25 + i * 0.0001);
        QTRY_COMPARE(evaluate(page, "mapState.calls").toInt(), 8);
        QCOMPARE(evaluate(page, "pieces[pieces.length - 1].length").toInt(), 5);

        // The chart refresh moves the map only while the video runs.
        TripLog.reloadPending = false;
        QImage chart(594, 87, QImage::Format_RGB32);
        QPainter dc(&chart);
        DrawTripChart(dc, chart.rect(), 0, false, nullptr, UpdateMapPosition);
        QTest::qWait(200);
        QCOMPARE(evaluate(page, "mapState.calls").toInt(), 8);
        DrawTripChart(dc, chart.rect(), 0, true, nullptr, UpdateMapPosition);
        QTRY_COMPARE(evaluate(page, "mapState.calls").toInt(), 9);
        QCOMPARE(evaluate(page, "JSON.stringify(mapState.last)").toString(),
                 QStringLiteral(R"(["45.496556","100.254912"])"));

        // Nonsense from a broken log reaches the page but leaves the map where it was.
        UpdateMapPosition(std::numeric_limits<double>::quiet_NaN(), 1e300);
        QTRY_COMPARE(evaluate(page, "mapState.calls").toInt(), 10);
        QCOMPARE(evaluate(page, "mapState.fixes").toInt(), 8);

        // A drive in Santiago passed on as the window does it: the marker is on the route the
        // generator drove, however the recorder's own values are shifted.
        const democard::Recording rec = democard::tripRecordings().front();
        const QString log = writeFile(m_dir.filePath("s.LOG"), democard::tripLog(rec, rec.seed));
        TripTrack track;
        QVERIFY(TextLog::Read(log, 0, track, nullptr, &TripLog, &TripLogDegrees()));
        const QList<democard::TripSample> route = democard::tripSamples(rec, rec.seed);
        int calls = 10;
        for (const qsizetype k : {qsizetype(0), qsizetype(4), route.size() - 1}) {
            const TripSample* sample = track.SampleOfSlot(int(k));
            std::optional<std::pair<double, double>> fix;
            if (sample && sample->HasFix())
                fix = std::make_pair(sample->latitude, sample->longitude);
            UpdateMapFix(TripLog.latitude[k], TripLog.longitude[k], fix);
            ++calls;
            QTRY_COMPARE(evaluate(page, "mapState.calls").toInt(), calls);
            const double metres =
                evaluate(page, QStringLiteral("map.distance(vehicle.getLatLng(), L.latLng(%1, %2))")
                                   .arg(route[k].latitude, 0, 'f', 9)
                                   .arg(route[k].longitude, 0, 'f', 9))
                    .toDouble();
            QVERIFY2(metres < 1.0, qPrintable(QStringLiteral("%1 m at %2").arg(metres).arg(k)));
        }
        QCOMPARE(evaluate(page, "document.getElementById('lon').textContent.slice(-1)").toString(),
                 QStringLiteral("W"));
    }

    void silentPage() {
        const QString page =
            writeFile(m_dir.filePath("noisy.html"),
                      "<html><body><script>console.error('noisy page'); undefinedCall();</script>"
                      "</body></html>");
        g_jsMessages.clear();
        g_previousHandler = qInstallMessageHandler(captureJs);
        auto restore = qScopeGuard([] { qInstallMessageHandler(g_previousHandler); });

        CWebBrowser2 loud;
        loud.resize(200, 200);
        loud.show();
        QSignalSpy loudDone(&loud, &CWebBrowser2::DocumentComplete);
        loud.Navigate(page);
        QTRY_VERIFY_WITH_TIMEOUT(loudDone.count() == 1, 60000);
        QTRY_VERIFY(!g_jsMessages.isEmpty()); // what silence is meant to keep away

        g_jsMessages.clear();
        CWebBrowser2 quiet;
        quiet.SetSilent(true);
        quiet.resize(200, 200);
        quiet.show();
        QSignalSpy quietDone(&quiet, &CWebBrowser2::DocumentComplete);
        quiet.Navigate(page);
        QTRY_VERIFY_WITH_TIMEOUT(quietDone.count() == 1, 60000);
        QTest::qWait(300);
        QVERIFY2(g_jsMessages.isEmpty(), qPrintable(g_jsMessages.join('\n')));

        DialogWatch dialogs;
        const QVariant answer =
            evaluate(quiet.GetDocument(),
                     "alert('hello'); [confirm('sure?'), prompt('name?', 'x')].join('|')");
        QCOMPARE(answer.toString(), QStringLiteral("false|"));
        QCOMPARE(dialogs.seen, 0);
        QVERIFY(g_jsMessages.isEmpty());
    }
};

int runMapBridgeTests(int argc, char** argv) {
    TestMapBridge t;
    return QTest::qExec(&t, argc, argv);
}

#include "TestMapBridge.moc"
