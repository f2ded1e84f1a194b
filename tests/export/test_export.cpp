// SPDX-License-Identifier: GPL-3.0-or-later
// Trip export from the record list's row menu and the command line, read back by real
// consumers: gpsbabel (same points, same coordinates) and xmllint (well-formed). Both come
// with scripts/install-deps; without them the test fails.
#include "ScriptedPrompts.h"
#include "TestSupport.h"
#include "democard/DemoCard.h"
#include "records/RecordListDlg.h"
#include "shell/PlayerDlg.h"
#include "trip/TextLogReader.h"
#include "trip/TripLog.h"

#include <QMenu>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <cmath>
#include <unistd.h>

namespace {

// Exit status (-1: did not run) and standard output, or error when it failed.
std::pair<int, QByteArray> run(const QString& program, const QStringList& args) {
    QProcess p;
    p.start(program, args);
    const int code = p.waitForFinished(60000) && p.exitStatus() == 0 ? p.exitCode() : -1;
    return {code, code == 0 ? p.readAllStandardOutput() : p.readAllStandardError()};
}

// What gpsbabel reads of each point (`kind`: -t tracks, -w waypoints): latitude, longitude
// and, where the file gives one, speed in metres per second.
struct ReadPoint {
    double latitude = 0, longitude = 0, speed = -1;
};
QList<ReadPoint> readBack(const QString& kind, const QString& format, const QString& file) {
    const auto [code, out] =
        run("gpsbabel", {kind, "-i", format, "-f", file, "-o", "unicsv", "-F", "-"});
    QList<ReadPoint> points;
    const QList<QByteArray> lines = out.split('\n');
    const qsizetype speedColumn = lines.value(0).split(',').indexOf("Speed");
    for (const QByteArray& line : lines.mid(1))
        if (const QList<QByteArray> f = line.split(','); code == 0 && f.size() >= 3)
            points.append({f[1].toDouble(), f[2].toDouble(),
                           speedColumn > 0 ? f.value(speedColumn).toDouble() : -1});
    return points;
}

QByteArray readFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// The route the demo card's generator drove, one "latitude longitude" per log record.
QList<QPointF> route(const QString& path) {
    QList<QPointF> points;
    for (const QByteArray& line : readFile(path).split('\n'))
        if (const QList<QByteArray> f = line.split(' '); f.size() == 2)
            points.append(QPointF(f[0].toDouble(), f[1].toDouble()));
    return points;
}

// Metres between two positions on a sphere of the earth's mean radius.
double metres(double lat1, double lon1, double lat2, double lon2) {
    const double rad = M_PI / 180;
    const double a = std::pow(std::sin((lat2 - lat1) * rad / 2), 2) +
                     std::cos(lat1 * rad) * std::cos(lat2 * rad) *
                         std::pow(std::sin((lon2 - lon1) * rad / 2), 2);
    return 2 * 6371008.8 * std::asin(std::sqrt(a));
}

// Every point within a metre of the route's, in order.
QString offRoute(const QList<ReadPoint>& points, const QList<QPointF>& expected) {
    if (points.size() != expected.size())
        return QStringLiteral("%1 points, %2 on the route").arg(points.size()).arg(expected.size());
    for (qsizetype i = 0; i < points.size(); ++i) {
        const double m =
            metres(points[i].latitude, points[i].longitude, expected[i].x(), expected[i].y());
        if (m > 1.0)
            return QStringLiteral("point %1 is %2 m off").arg(i).arg(m);
    }
    return {};
}

// Triggers entry `index` (0 GPX, 1 KML) of the row menu of the row `row`.
void exportRow(CRecordListDlg& panel, int row, int index) {
    std::unique_ptr<QMenu> menu(panel.CreateRowMenu(row));
    QVERIFY(menu && menu->actions().size() > 2 &&
            menu->actions()[2]->text() == QStringLiteral("Export clip…"));
    menu->actions()[index]->trigger();
}

} // namespace

class TestExport : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // The first three records have no fix yet and are left out; the rest are where the
    // generator drove, as gpsbabel reads them back from both files (the KML track too), with
    // the speed the log gives. Times are UTC.
    void exportsReadBackByRealConsumers() {
        QTemporaryDir dir;
        QList<QByteArray> lines = readFile(cardFile("0003.LOG")).split('\n');
        static const QRegularExpression fix("POS:N[0-9]+ [0-9.]+,E[0-9]+ [0-9.]+");
        for (int i = 0; i < 3; ++i)
            lines[i] = QString(lines[i]).replace(fix, "POS:N00 00.0000,E000 00.0000").toLatin1();
        QFile log(dir.filePath("0003.LOG"));
        QVERIFY(log.open(QIODevice::WriteOnly) && log.write(lines.join('\n')) > 0);
        log.close();
        QVERIFY(QFile::copy(cardFile("0003.asf"), dir.filePath("0003.asf")));
        QVERIFY(QFile::copy(cardFile("setup.ini"), dir.filePath("setup.ini")));
        const QList<QPointF> expected = route(cardFile("0003.route")).mid(3);
        QVERIFY(expected.size() > 30);

        ScriptedPrompts prompts;
        CPlayerDlg window; // sets the list's columns up
        window.m_dlgRecordList->FillRecordList(dir.path(), ".asf");
        const QString gpx = dir.filePath("0003.gpx"), kml = dir.filePath("0003.kml");
        prompts.saveAnswers = {gpx, kml};
        exportRow(*window.m_dlgRecordList, 0, 0);
        exportRow(*window.m_dlgRecordList, 0, 1);
        QCOMPARE(prompts.saveDirectories, QStringList({gpx, kml})); // offered beside it
        QCOMPARE(prompts.messages,
                 QStringList({"Trip written to " + gpx, "Trip written to " + kml}));

        QCOMPARE(run("xmllint", {"--noout", gpx, kml}).first, 0);
        const QList<ReadPoint> track = readBack("-t", "gpx", gpx);
        for (const QList<ReadPoint>& points :
             {track, readBack("-t", "kml", kml), readBack("-w", "kml", kml)})
            QVERIFY2(offRoute(points, expected).isEmpty(), qPrintable(offRoute(points, expected)));
        // Speed as the log writes it ("35.2 KM/H"), in metres per second.
        static const QRegularExpression speed(" ([0-9.]+) KM/H");
        for (qsizetype i = 0; i < track.size(); ++i) {
            const double kmh = speed.match(lines[i + 3]).captured(1).toDouble();
            QVERIFY2(qAbs(track[i].speed - kmh / 3.6) < 0.01, qPrintable(QString::number(i)));
        }
        // The fourth record, 14:41:48.50 on the recorder's clock in UTC+8.
        QVERIFY(readFile(gpx).contains("<time>2026-05-20T06:41:48.500Z</time>") &&
                readFile(gpx).contains("time zone UTC+8 from the card's setup.ini"));
        // The sample text gives G values as the recorder writes them, to hundredths.
        QVERIFY(QRegularExpression("G -?[0-9]+\\.[0-9]{2}, -?[0-9]+\\.[0-9]{2}, "
                                   "-?[0-9]+\\.[0-9]{2}</description>")
                    .match(QString::fromLatin1(readFile(kml)))
                    .hasMatch());

        // The command line writes the same file.
        QCOMPARE(
            run(PLAYER_BINARY, {"--export-kml", log.fileName(), dir.filePath("cli.kml")}).first, 0);
        QCOMPARE(readFile(dir.filePath("cli.kml")), readFile(kml));
    }

    // Hemispheres by letter or by sign, worked by hand: 33°52.1' S = -33.868333°.
    void recordsReadAsTheReceiverMeansThem() {
        const auto at = [](const char* pos) {
            return TextLog::ParseRecord(QByteArray("2026/05/20 14:30:05.10 GPS:A SAT:09 T:+25 "
                                                   "G:0.02,-0.04,1.00 FIX:3D POS:") +
                                        pos + " 35.2 KM/H");
        };
        for (const char* pos : {"S33 52.1000,W070 15.0000", "N-33 52.1000,E-070 15.0000"}) {
            const TripSample s = at(pos);
            QVERIFY(s.skip == TripSample::Skip::None);
            QCOMPARE(QString::number(s.latitude, 'f', 6), QStringLiteral("-33.868333"));
            QCOMPARE(QString::number(s.longitude, 'f', 6), QStringLiteral("-70.250000"));
            QCOMPARE(s.speed, 35.2);
        }
        QVERIFY(at("N00 00.0000,E000 00.0000").skip == TripSample::Skip::NoFix);
        QVERIFY(at("N22 61.0000,E113 00.0000").skip == TripSample::Skip::OutOfRange);
        QVERIFY(at("N95 01.0000,E113 00.0000").skip == TripSample::Skip::OutOfRange);
        QVERIFY(at("N22 32.9683,E").skip == TripSample::Skip::Unreadable);
    }

    // South and west of Greenwich, and a log that a power loss cut inside its last record:
    // every point on the route, the cut record left out and counted, nothing out of range.
    void southWestAndCutLogs_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("cut");
        QTest::newRow("Santiago") << "santiago" << 0;
        QTest::newRow("cut log") << "cut-log" << 1;
    }

    void southWestAndCutLogs() {
        QFETCH(QString, name);
        QFETCH(int, cut);
        QTemporaryDir dir;
        const QString log = cardFile("extras/trips/" + name + ".LOG");
        const QString out = dir.filePath(name + ".gpx");
        QProcess cli;
        cli.start(PLAYER_BINARY, {"--export-gpx", log, out});
        QVERIFY(cli.waitForFinished(60000));
        QCOMPARE(cli.exitCode(), 0);
        const QByteArray said = cli.readAllStandardError();
        QVERIFY2(cut ? said.contains("1 record left out: 1 cut off") : said.isEmpty(),
                 said.constData());
        QList<QPointF> expected = route(cardFile("extras/trips/" + name + ".route"));
        expected = expected.mid(0, expected.size() - cut);
        const QList<ReadPoint> points = readBack("-t", "gpx", out);
        QVERIFY2(offRoute(points, expected).isEmpty(), qPrintable(offRoute(points, expected)));
        if (!cut)
            QVERIFY(points.first().latitude < -33 && points.first().longitude < -70);
    }

    // A long log exports whole; a log without a usable position fails and writes nothing.
    void longAndUnusableLogs() {
        QTemporaryDir dir;
        democard::Recording rec = democard::standardRecordings().front();
        rec.seconds = 600; // 6000 records at 10 a second
        const QString longLog = dir.filePath("long.LOG");
        QFile f(longLog);
        QVERIFY(f.open(QIODevice::WriteOnly) && f.write(democard::tripLog(rec, 3)) > 0);
        f.close();
        QCOMPARE(run(PLAYER_BINARY, {"--export-gpx", longLog, dir.filePath("long.gpx")}).first, 0);
        QCOMPARE(readBack("-t", "gpx", dir.filePath("long.gpx")).size(), 6000);

        for (const QByteArray& bytes :
             {QByteArray(), QByteArray("Dear diary,\ntoday we drove to the sea.\n"),
              QByteArray::fromHex("8f00ff13a7c2") + QByteArray(4000, '\x9c')}) {
            QFile bad(dir.filePath("bad.LOG"));
            QVERIFY(bad.open(QIODevice::WriteOnly | QIODevice::Truncate));
            bad.write(bytes);
            bad.close();
            const auto [code, err] =
                run(PLAYER_BINARY, {"--export-kml", bad.fileName(), dir.filePath("bad.kml")});
            QCOMPARE(code, 1);
            QVERIFY2(err.contains("no positions in"), err.constData());
            QVERIFY(!QFile::exists(dir.filePath("bad.kml")));
        }
    }

    // The trip log, a recording, or a card file under another name is never replaced.
    void neverOverwritesTheCard() {
        QTemporaryDir dir;
        for (const char* name : {"0001.asf", "0001.LOG"})
            QVERIFY(QFile::copy(cardFile(name), dir.filePath(name)));
        const QString log = dir.filePath("0001.LOG"), video = dir.filePath("0001.asf");
        QVERIFY(QFile::link(log, dir.filePath("alias.gpx")) ||
                ::link(QFile::encodeName(log), QFile::encodeName(dir.filePath("alias.gpx"))) == 0);
        const QByteArray logBytes = readFile(log), videoBytes = readFile(video);
        for (const QString& out : {log, video, dir.filePath("alias.gpx")}) {
            const auto [code, err] = run(PLAYER_BINARY, {"--export-gpx", log, out});
            QCOMPARE(code, 1);
            QVERIFY2(err.contains("not written"), err.constData());
        }
        QCOMPARE(readFile(log), logBytes);
        QCOMPARE(readFile(video), videoBytes);
    }

    // A recording named with characters XML reserves exports a file every consumer reads.
    void namesAreEscaped() {
        QTemporaryDir dir;
        const QString base = dir.filePath("trip & <drive>");
        QVERIFY(QFile::copy(cardFile("0001.LOG"), base + ".LOG"));
        for (const char* suffix : {".gpx", ".kml"}) {
            QCOMPARE(
                run(PLAYER_BINARY, {suffix == QByteArray(".gpx") ? "--export-gpx" : "--export-kml",
                                    base + ".LOG", base + suffix})
                    .first,
                0);
            QCOMPARE(run("xmllint", {"--noout", base + suffix}).first, 0);
            QVERIFY(readFile(base + suffix).contains("<name>trip &amp; &lt;drive&gt;</name>"));
        }
    }

    // No log: the window offers no trip export, the command line says "Open fail" with the
    // reason, and no file is written. A file is replaced only when the user says so, and the
    // window says where it wrote. Without setup.ini the times stay as written.
    void refusesAndAsks() {
        QTemporaryDir dir;
        for (const char* name : {"0002.asf", "0005.asf", "0005.LOG"})
            QVERIFY(QFile::copy(cardFile(name), dir.filePath(name)));
        ScriptedPrompts prompts;
        CPlayerDlg window;
        window.m_dlgRecordList->FillRecordList(dir.path(), ".asf");
        {
            std::unique_ptr<QMenu> menu(window.m_dlgRecordList->CreateRowMenu(0)); // 0002, no log
            QVERIFY(!menu->actions()[0]->isEnabled() && !menu->actions()[1]->isEnabled());
            QVERIFY(menu->actions()[2]->isEnabled()); // its clip can be exported
            std::unique_ptr<QMenu> logged(window.m_dlgRecordList->CreateRowMenu(1));
            QVERIFY(logged->actions()[0]->isEnabled() && logged->actions()[1]->isEnabled());
        }
        const auto [code, err] = run(PLAYER_BINARY, {"--export-gpx", dir.filePath("0002.LOG")});
        QVERIFY2(code == 1 && err.contains("Open fail: " + dir.filePath("0002.LOG").toUtf8()) &&
                     err.contains("No such file or directory"),
                 err.constData());
        QCOMPARE(QDir(dir.path()).entryList({"*.gpx", "*.kml"}), QStringList());

        const QString target = dir.filePath("0005.gpx");
        QVERIFY(QFile::copy(cardFile("setup.ini"), target)); // an older file there
        prompts.saveAnswers = {target, target};
        prompts.questionAnswers = {false, true};
        exportRow(*window.m_dlgRecordList, 1, 0);
        QCOMPARE(readFile(target), readFile(cardFile("setup.ini")));
        exportRow(*window.m_dlgRecordList, 1, 0);
        QCOMPARE(prompts.questions.size(), 2);
        const QByteArray gpx = readFile(target);
        QVERIFY(gpx.contains("no time zone") && gpx.contains("<time>2026-05-20T15:05:27</time>"));
        QCOMPARE(prompts.messages, QStringList{"Trip written to " + target});
    }
};

PLAYER_WINDOW_TEST_MAIN(TestExport)
#include "test_export.moc"
