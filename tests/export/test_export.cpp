// Trip export from the record list's row menu and from the command line, read back by real
// consumers: gpsbabel (same points, same coordinates) and xmllint (well-formed). gpsbabel,
// xmllint come with scripts/install-deps; their absence fails the test.
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

struct Run {
    int code = -1;
    QByteArray out, err;
};
Run run(const QString& program, const QStringList& args) {
    QProcess p;
    p.start(program, args);
    Run r;
    if (p.waitForFinished(60000) && p.exitStatus() == QProcess::NormalExit)
        r.code = p.exitCode();
    r.out = p.readAllStandardOutput();
    r.err = p.readAllStandardError();
    return r;
}

// Latitude and longitude of every point gpsbabel reads (`kind` -t tracks, -w waypoints).
QList<QPointF> readBack(const QString& kind, const QString& format, const QString& file) {
    const Run r = run("gpsbabel", {kind, "-i", format, "-f", file, "-o", "unicsv", "-F", "-"});
    [&] { QVERIFY2(r.code == 0, r.err.constData()); }();
    QList<QPointF> points;
    for (const QByteArray& line : r.out.split('\n').mid(1))
        if (const QList<QByteArray> f = line.split(','); f.size() >= 3)
            points.append(QPointF(f[1].toDouble(), f[2].toDouble()));
    return points;
}

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size());
}

QByteArray readFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Triggers the row menu's entry `index` (0 GPX, 1 KML) for the row naming `name`.
void exportRow(CRecordListDlg& panel, const QString& name, int index) {
    const QList<QTreeWidgetItem*> rows = panel.m_listRecords->findItems(name, Qt::MatchExactly, 1);
    QCOMPARE(rows.size(), 1);
    std::unique_ptr<QMenu> menu(
        panel.CreateRowMenu(panel.m_listRecords->indexOfTopLevelItem(rows[0])));
    QCOMPARE(menu->actions().size(), 2);
    menu->actions()[index]->trigger();
}

} // namespace

class TestExport : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // The first three records have no fix yet: left out. The rest are the chart reader's
    // values, read back by gpsbabel from both files; times are UTC from the card's zone.
    void exportsReadBackByRealConsumers() {
        QTemporaryDir dir;
        QByteArray log = readFile(cardFile("0003.LOG"));
        QList<QByteArray> lines = log.split('\n');
        static const QRegularExpression position("POS:N[0-9]+ [0-9.]+,E[0-9]+ [0-9.]+");
        for (int i = 0; i < 3; ++i)
            lines[i] = QString::fromLatin1(lines[i])
                           .replace(position, "POS:N00 00.0000,E000 00.0000")
                           .toLatin1();
        writeFile(dir.filePath("0003.LOG"), lines.join('\n'));
        QVERIFY(QFile::copy(cardFile("0003.asf"), dir.filePath("0003.asf")));
        QVERIFY(QFile::copy(cardFile("setup.ini"), dir.filePath("setup.ini")));
        QVERIFY(LoadTripLogFrom(dir.filePath("0003.LOG")));
        QList<QPointF> expected;
        for (int i = 3; i < lines.size() - 1; ++i) // the last slot is the pass after the end
            expected.append(QPointF(TripLog.latitude[i], TripLog.longitude[i]));

        ScriptedPrompts prompts;
        CPlayerDlg window; // sets the list's columns up
        CRecordListDlg& panel = *window.m_dlgRecordList;
        panel.FillRecordList(dir.path(), ".asf");
        prompts.saveAnswers = {dir.filePath("0003.gpx"), dir.filePath("0003.kml")};
        exportRow(panel, "0003.asf", 0);
        exportRow(panel, "0003.asf", 1);
        QCOMPARE(prompts.saveFilters, QStringList({"GPX File (*.gpx)", "KML File (*.kml)"}));
        QCOMPARE(prompts.saveDirectories,
                 QStringList({dir.filePath("0003.gpx"), dir.filePath("0003.kml")}));
        QVERIFY(prompts.messages.isEmpty());

        QCOMPARE(
            run("xmllint", {"--noout", dir.filePath("0003.gpx"), dir.filePath("0003.kml")}).code,
            0);
        for (const QList<QPointF>& points : {readBack("-t", "gpx", dir.filePath("0003.gpx")),
                                             readBack("-w", "kml", dir.filePath("0003.kml"))}) {
            QCOMPARE(points.size(), expected.size());
            for (qsizetype i = 0; i < points.size(); ++i)
                QVERIFY(qAbs(points[i].x() - expected[i].x()) < 1e-6 &&
                        qAbs(points[i].y() - expected[i].y()) < 1e-6);
        }
        // 14:41:48.50 on the recorder's clock in UTC+8.
        const QByteArray gpx = readFile(dir.filePath("0003.gpx"));
        QVERIFY(gpx.contains("<time>2026-05-20T06:41:48.500Z</time>"));
        QVERIFY(gpx.contains("time zone UTC+8 from the card's setup.ini"));

        // The command line writes the same file.
        const Run cli =
            run(PLAYER_BINARY, {"--export-kml", dir.filePath("0003.LOG"), dir.filePath("cli.kml")});
        QCOMPARE(cli.code, 0);
        QCOMPARE(readFile(dir.filePath("cli.kml")), readFile(dir.filePath("0003.kml")));
    }

    // No log: "Open fail" and no file, in the window and on the command line. An existing
    // file is replaced only when the user says so. Without setup.ini, times stay as written.
    void refusesAndAsks() {
        QTemporaryDir dir;
        QVERIFY(QFile::copy(cardFile("0002.asf"), dir.filePath("0002.asf")));
        QVERIFY(QFile::copy(cardFile("0005.asf"), dir.filePath("0005.asf")));
        QVERIFY(QFile::copy(cardFile("0005.LOG"), dir.filePath("0005.LOG")));
        ScriptedPrompts prompts;
        CPlayerDlg window; // sets the list's columns up
        CRecordListDlg& panel = *window.m_dlgRecordList;
        panel.FillRecordList(dir.path(), ".asf");
        exportRow(panel, "0002.asf", 0);
        QCOMPARE(prompts.messages, QStringList{"Open fail"});
        QVERIFY(prompts.saveFilters.isEmpty());
        const Run cli = run(PLAYER_BINARY, {"--export-gpx", dir.filePath("0002.LOG")});
        QCOMPARE(cli.code, 1);
        QVERIFY(cli.err.contains("Open fail"));
        QCOMPARE(QDir(dir.path()).entryList({"*.gpx", "*.kml"}, QDir::Files), QStringList());

        const QString target = dir.filePath("0005.gpx");
        writeFile(target, "kept");
        prompts.saveAnswers = {target, target};
        prompts.questionAnswers = {false, true};
        exportRow(panel, "0005.asf", 0);
        QCOMPARE(readFile(target), QByteArray("kept"));
        exportRow(panel, "0005.asf", 0);
        QCOMPARE(prompts.questions.size(), 2);
        const QByteArray gpx = readFile(target);
        QVERIFY(gpx.startsWith("<?xml") && gpx.contains("no time zone"));
        QVERIFY(gpx.contains("<time>") && !gpx.contains("Z</time>"));
        QCOMPARE(prompts.messages.size(), 1);
    }
};

PLAYER_WINDOW_TEST_MAIN(TestExport)
#include "test_export.moc"
