// Trip export from the record list's row menu and the command line, read back by real
// consumers: gpsbabel (same points, same coordinates) and xmllint (well-formed). Both come
// with scripts/install-deps; without them the test fails.
#include "ScriptedPrompts.h"
#include "TestSupport.h"
#include "records/RecordListDlg.h"
#include "shell/PlayerDlg.h"
#include "trip/TripLog.h"

#include <QMenu>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTreeWidget>

namespace {

// Exit status (-1: did not run) and standard output, or error when it failed.
std::pair<int, QByteArray> run(const QString& program, const QStringList& args) {
    QProcess p;
    p.start(program, args);
    const int code = p.waitForFinished(60000) && p.exitStatus() == 0 ? p.exitCode() : -1;
    return {code, code == 0 ? p.readAllStandardOutput() : p.readAllStandardError()};
}

// Latitude and longitude of each point gpsbabel reads (`kind`: -t tracks, -w waypoints).
QList<QPointF> readBack(const QString& kind, const QString& format, const QString& file) {
    const auto [code, out] =
        run("gpsbabel", {kind, "-i", format, "-f", file, "-o", "unicsv", "-F", "-"});
    QList<QPointF> points;
    for (const QByteArray& line : out.split('\n').mid(1))
        if (const QList<QByteArray> f = line.split(','); code == 0 && f.size() >= 3)
            points.append(QPointF(f[1].toDouble(), f[2].toDouble()));
    return points;
}

QByteArray readFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Triggers entry `index` (0 GPX, 1 KML) of the row menu of the row `row`.
void exportRow(CRecordListDlg& panel, int row, int index) {
    std::unique_ptr<QMenu> menu(panel.CreateRowMenu(row));
    QVERIFY(menu && menu->actions().size() == 2);
    menu->actions()[index]->trigger();
}

} // namespace

class TestExport : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // The first three records have no fix yet and are left out; the rest carry the chart
    // reader's positions, which gpsbabel reads back from both files. Times are UTC.
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
        QVERIFY(LoadTripLogFrom(log.fileName()));
        QList<QPointF> expected;
        for (int i = 3; i < TripLog.sampleCount - 1; ++i) // the last slot: the pass after the end
            expected.append(QPointF(TripLog.latitude[i], TripLog.longitude[i]));

        ScriptedPrompts prompts;
        CPlayerDlg window; // sets the list's columns up
        window.m_dlgRecordList->FillRecordList(dir.path(), ".asf");
        const QString gpx = dir.filePath("0003.gpx"), kml = dir.filePath("0003.kml");
        prompts.saveAnswers = {gpx, kml};
        exportRow(*window.m_dlgRecordList, 0, 0);
        exportRow(*window.m_dlgRecordList, 0, 1);
        QCOMPARE(prompts.saveDirectories, QStringList({gpx, kml})); // offered beside it
        QVERIFY(prompts.messages.isEmpty());

        QCOMPARE(run("xmllint", {"--noout", gpx, kml}).first, 0);
        for (const QList<QPointF>& points :
             {readBack("-t", "gpx", gpx), readBack("-w", "kml", kml)}) {
            QCOMPARE(points.size(), expected.size());
            for (qsizetype i = 0; i < points.size(); ++i)
                QVERIFY(qAbs(points[i].x() - expected[i].x()) < 1e-6 &&
                        qAbs(points[i].y() - expected[i].y()) < 1e-6);
        }
        // The fourth record, 14:41:48.50 on the recorder's clock in UTC+8.
        QVERIFY(readFile(gpx).contains("<time>2026-05-20T06:41:48.500Z</time>") &&
                readFile(gpx).contains("time zone UTC+8 from the card's setup.ini"));

        // The command line writes the same file.
        QCOMPARE(
            run(PLAYER_BINARY, {"--export-kml", log.fileName(), dir.filePath("cli.kml")}).first, 0);
        QCOMPARE(readFile(dir.filePath("cli.kml")), readFile(kml));
    }

    // No log: "Open fail" and no file, in the window and from the command line. A file is
    // replaced only when the user says so. Without setup.ini the times stay as written.
    void refusesAndAsks() {
        QTemporaryDir dir;
        for (const char* name : {"0002.asf", "0005.asf", "0005.LOG"})
            QVERIFY(QFile::copy(cardFile(name), dir.filePath(name)));
        ScriptedPrompts prompts;
        CPlayerDlg window;
        window.m_dlgRecordList->FillRecordList(dir.path(), ".asf");
        exportRow(*window.m_dlgRecordList, 0, 0); // 0002, no log
        QCOMPARE(prompts.messages, QStringList{"Open fail"});
        QVERIFY(prompts.saveFilters.isEmpty());
        const auto [code, err] = run(PLAYER_BINARY, {"--export-gpx", dir.filePath("0002.LOG")});
        QVERIFY(code == 1 && err.contains("Open fail"));
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
        QCOMPARE(prompts.messages.size(), 1);
    }
};

PLAYER_WINDOW_TEST_MAIN(TestExport)
#include "test_export.moc"
