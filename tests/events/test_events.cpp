// SPDX-License-Identifier: GPL-3.0-or-later
// The jolts over the card's G limits: the rules on a log made here (strictly over, an axis at
// 0 not checked, the 2 s merge window, the strongest axis by its own limit, a cut-off last
// record), the limits the command line takes (setup.ini or none), the demo card against an
// independent script, and in the window: empty until asked, the jumps, and play through.
#include "../reliability/ReliabilitySupport.h"
#include "RunProgram.h"
#include "config/DeviceConfig.h"
#include "events/EventFinder.h"
#include "events/EventsFeature.h"
#include "records/CurrentRecord.h"

#include <QProcess>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTreeWidget>

namespace {

QByteArray record(double x, double y, double z) {
    return "2026/05/20 14:30:05.00 GPS:A SAT:10 T:+30 G:" + QByteArray::number(x, 'f', 2) + ',' +
           QByteArray::number(y, 'f', 2) + ',' + QByteArray::number(z, 'f', 2) +
           " FIX:3D POS:N22 32.5603,E113 56.3407 50.8 KM/H";
}

bool write(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

double position(CPlayerDlg& w) {
    double t = -1;
    w.Player()->GetPositionSeconds(t);
    return t;
}

} // namespace

class TestEvents : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    // The program's settings live under its own name; those an earlier version kept under
    // Qt's default name are taken over once. (First: the settings are opened once a process.)
    void settingsUnderTheProgramsName() {
        const QString config =
            QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
        const QString fresh = config + "/dashcard-player/dashcard-player.conf";
        QFile::remove(fresh);
        QVERIFY(QDir().mkpath(config + "/Unknown Organization"));
        QFile old(config + "/Unknown Organization/player.conf");
        QVERIFY(old.open(QIODevice::WriteOnly | QIODevice::Truncate));
        old.write("[General]\nplayThrough=true\n");
        old.close();
        QVERIFY(CEventsFeature::PlayThrough());
        CEventsFeature::SetPlayThrough(false);
        QFile kept(fresh);
        QVERIFY(kept.open(QIODevice::ReadOnly));
        QVERIFY2(kept.readAll().contains("playThrough=false"), qPrintable(fresh));
        QVERIFY(!CEventsFeature::PlayThrough());
    }

    // 100 records over 10 s (one every 0.1 s), limits X 2.5, Y 0 (not checked), Z 3.0.
    void thresholdRules() {
        QByteArray log;
        for (int k = 0; k < 100; ++k) {
            double x = 0.1, y = 0.0, z = 1.0;
            switch (k) {
            case 10:
                x = 2.50;
                break; // at the limit: not over
            case 20:
                y = 9.00;
                break; // Y is not checked
            case 30:
                x = -2.60;
                break; // over (1.04 × its limit), braking
            case 40:
                z = 3.40;
                break; // 1 s later, 1.13 × its limit: the same event's peak
            case 59:
                x = 2.70;
                break; // 1.9 s after: still the same event
            case 80:
                x = 2.55;
                break; // 2.1 s after: a new one
            default:
                break;
            }
            log += record(x, y, z) + "\r\n";
        }
        log += record(0, 0, 5.0); // cut off while written: not checked
        Events::Limits limits;
        limits.x = 2.5;
        limits.z = 3.0;
        const std::vector<Events::Event> events = Events::Find(log, 10.1, limits);
        QCOMPARE(int(events.size()), 2);
        QCOMPARE(events[0].axis, Events::Axis::Z);
        QVERIFY(qAbs(events[0].at - 4.0) < 1e-9);
        QCOMPARE(events[0].peak, 3.40);
        QCOMPARE(events[0].limit, 3.0);
        QCOMPARE(events[1].axis, Events::Axis::X);
        QVERIFY(qAbs(events[1].at - 8.0) < 1e-9);
        QCOMPARE(events[1].peak, 2.55);
        // The record's own data: 50.8 km/h at N22°32.5603' E113°56.3407'.
        QCOMPARE(events[1].speed, 50.8);
        QVERIFY(events[1].hasPosition);
        QVERIFY(qAbs(events[1].latitude - (22 + 32.5603 / 60)) < 1e-9);
        QVERIFY(qAbs(events[1].longitude - (113 + 56.3407 / 60)) < 1e-9);
        QCOMPARE(events[1].date + ' ' + events[1].time, QByteArray("2026/05/20 14:30:05.00"));
        Events::Scan scan;
        scan.haveLog = true;
        scan.events = events;
        QCOMPARE(Events::Summary(scan), QStringLiteral("2 × 3.4 g"));
        scan.events.clear();
        QCOMPARE(Events::Summary(scan), QStringLiteral("none"));
        QCOMPARE(Events::Summary(Events::Scan{}), QString());
    }

    // The same rules where the times are exact: 40 records over 10 s, one every 0.25 s (a
    // spacing that divides 2 s). A value at the limit alone is no event; jolts exactly 2 s apart
    // are two; the event's record is the one strongest against its own axis's limit, not the
    // largest in g.
    void rulesAtTheirEdges() {
        QByteArray log;
        for (int k = 0; k < 40; ++k) {
            double x = 0.1, y = 0.0, z = 1.0;
            if (k == 4)
                x = 2.50; // 1.0 s: at the limit, nothing over it within 2 s
            else if (k == 16)
                x = 2.60; // 4.0 s: 1.04 × its limit
            else if (k == 18)
                z = 3.10; // 4.5 s: more g, but 1.033 × its limit
            else if (k == 26)
                z = 3.20; // 6.5 s: exactly 2 s after the last one over
            log += record(x, y, z) + "\r\n";
        }
        Events::Limits limits;
        limits.x = 2.5;
        limits.z = 3.0;
        const std::vector<Events::Event> events = Events::Find(log, 10.0, limits);
        QCOMPARE(int(events.size()), 2);
        QCOMPARE(events[0].axis, Events::Axis::X);
        QCOMPARE(events[0].at, 4.0);
        QCOMPARE(events[0].peak, 2.60);
        QCOMPARE(events[1].axis, Events::Axis::Z);
        QCOMPARE(events[1].at, 6.5);
        QCOMPARE(events[1].peak, 3.20);
    }

    // The command line takes the limits of the setup.ini beside the logs, and says when there
    // is none; a folder without logs is an error; the settings the dialog shows stay as they are.
    void commandLineLimits() {
        QTemporaryDir dir;
        QVERIFY(QFile::copy(cardFile("0009.LOG"), dir.filePath("0009.LOG")));
        Ran r = run(PLAYER_BINARY, {"--events", dir.path()});
        QCOMPARE(r.code, 0);
        QVERIFY2(r.err.contains("no setup.ini"), r.err.constData());
        QVERIFY2(r.err.contains("no axis is checked"), r.err.constData());
        QCOMPARE(r.out, QByteArray("file,time_s,logged,axis,peak_g,limit_g,speed_kmh,latitude,"
                                   "longitude,clock,camera_time\n"));

        // Only Y checked, under its 2.47 g jolt; Z's 3.42 g is under 3.50.
        QVERIFY(write(dir.filePath("SETUP.INI"),
                      "[G_LIMITX=0.00]\r\n[G_LIMITY= 2.40]\r\n[G_LIMITZ=3.50]\r\n"));
        const QString csv = dir.filePath("found.csv");
        r = run(PLAYER_BINARY, {"--events", dir.filePath("0009.LOG"), "--csv", csv});
        QCOMPARE(r.code, 0);
        QVERIFY2(r.err.contains("SETUP.INI"), r.err.constData());
        QFile file(csv);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QList<QByteArray> lines = file.readAll().trimmed().split('\n');
        QCOMPARE(lines.size(), 2);
        const QList<QByteArray> row = lines[1].split(',');
        QCOMPARE(row.size(), 11);
        QCOMPARE(row[9], QByteArray("camera")); // the recorder's clock, as its log has it
        // Without its recording the log's own clock places the records: 17 s in.
        QVERIFY2(qAbs(row[1].toDouble() - 17.0) < 0.01, lines[1].constData());
        QCOMPARE(row[2], QByteArray("2026/05/20 16:10:21.00"));
        QCOMPARE(row[3] + ' ' + row[4] + ' ' + row[5], QByteArray("Y 2.47 2.40"));

        QTemporaryDir empty;
        r = run(PLAYER_BINARY, {"--events", empty.path()});
        QCOMPARE(r.code, 1);
        QVERIFY2(r.err.contains("no trip logs"), r.err.constData());

        DeviceConfig.dLimitX = 1.25;
        const auto read = Events::ReadLimits(dir.filePath("SETUP.INI"));
        QVERIFY(read && read->x == 0 && read->y == 2.4 && read->z == 3.5);
        QCOMPARE(DeviceConfig.dLimitX, 1.25);
        DeviceConfig = DeviceConfigData{};
    }

    // Over the whole demo card the program finds what a separate reading in Python finds.
    void cardAgreesWithAnIndependentScript() {
        const Ran ours = run(PLAYER_BINARY, {"--events", cardDir()});
        QCOMPARE(ours.code, 0);
        QStringList found;
        for (const QByteArray& line : ours.out.trimmed().split('\n').mid(1)) {
            const QList<QByteArray> f = line.split(',');
            found << QStringLiteral("%1,%2,%3,%4")
                         .arg(QFileInfo(QString::fromUtf8(f[0])).fileName())
                         .arg(f[1].toDouble(), 0, 'f', 2)
                         .arg(QString::fromLatin1(f[3]))
                         .arg(f[4].toDouble(), 0, 'f', 2);
        }
        const Ran theirs = run("python3", {QStringLiteral(EVENTS_SCRIPT), cardDir()});
        QCOMPARE(theirs.code, 0);
        QCOMPARE(found.join('\n'), QString::fromUtf8(theirs.out.trimmed()));
        QCOMPARE(found.size(), 2); // the two jolts over the limits, not the one just under
    }

    // The column and the box stay empty until the user asks; then they say what was found,
    // ticks mark the events, and N / Shift+N jump two seconds before them, still paused.
    void windowOnlyWhenAsked() {
        ScriptedPrompts prompts;
        CPlayerDlg w;
        w.show();
        w.activateWindow();
        QVERIFY(waitFor([&] { return QApplication::activeWindow() == &w; }));
        QTreeWidget* rows = w.m_dlgRecordList->m_listRecords;
        QCOMPARE(w.m_dlgRecordList->FillRecordList(cardDir(), ".asf"), 9);
        const int jolts = 8, first = 0;
        QCOMPARE(rows->topLevelItem(jolts)->text(1), QStringLiteral("0009.asf"));
        w.m_dlgRecordList->OnDblClk(jolts);
        QVERIFY(waitFor([&] { return w.Player() && w.Player()->FramesDelivered() > 2; }));
        w.OnPause();
        w.Player()->SeekToSeconds(0);
        for (int i = 0; i < rows->topLevelItemCount(); ++i)
            QCOMPARE(rows->topLevelItem(i)->text(2), QString());
        w.m_dlgRecordInfo->UpdateFromCurrentRecord();
        QCOMPARE(w.m_dlgRecordInfo->m_editEvent->text(), QString());
        QVERIFY(w.m_sliderSeek->Marks().isEmpty());
        QTest::keyClick(&w, Qt::Key_N); // nothing to jump to yet
        QVERIFY(position(w) < 0.5);

        // Should the scan take over a second (a slow build), its progress dialog runs to the end.
        prompts.modalAnswers.push_back([](QDialog& dialog) { return dialog.exec(); });
        QTest::keyClick(&w, Qt::Key_F3);
        QCOMPARE(rows->topLevelItem(jolts)->text(2), QStringLiteral("2 × 3.4 g"));
        QCOMPARE(rows->topLevelItem(first)->text(2), QStringLiteral("none"));
        QCOMPARE(w.m_dlgRecordInfo->m_editEvent->text(), QStringLiteral("2 × 3.4 g"));
        QCOMPARE(w.m_sliderSeek->Marks().size(), 2);
        QCOMPARE(w.m_sliderSeek->Marks()[0].first, 300); // 6 s of 20
        QCOMPARE(w.m_sliderSeek->Marks()[1].first, 650); // 13 s

        const auto jumpsTo = [&](Qt::KeyboardModifiers modifiers, double seconds) {
            QTest::keyClick(&w, Qt::Key_N, modifiers);
            return waitFor([&] { return qAbs(position(w) - seconds) < 0.05; }, 5000);
        };
        QVERIFY(jumpsTo(Qt::NoModifier, 4.0));
        QVERIFY(jumpsTo(Qt::NoModifier, 11.0));
        QVERIFY(jumpsTo(Qt::ShiftModifier, 4.0));
        QVERIFY(!w.Player()->InRunningState());
    }

    // Another recorder's card has no setup.ini: the search asks for the limit (Cancel leaves the
    // column empty) and offers the one given next time; the file the recorder locked says
    // "marked", and the box's tip gives each jolt's GPS time as UTC beside the camera's clock.
    void otherCardAsksForTheLimit() {
        ScriptedPrompts prompts;
        CPlayerDlg w;
        w.show();
        QTreeWidget* rows = w.m_dlgRecordList->m_listRecords;
        QVERIFY(w.m_dlgRecordList->FillCardList(cardFile("cameras")) >= 6);
        int locked = -1, front = -1;
        for (int i = 0; i < rows->topLevelItemCount(); ++i) {
            if (rows->topLevelItem(i)->text(1).startsWith("RO/"))
                locked = i;
            if (rows->topLevelItem(i)->text(1).endsWith("0001F.MP4"))
                front = i;
        }
        QVERIFY(locked >= 0 && front >= 0);
        prompts.modalAnswers.push_back([](QDialog& dialog) { return dialog.exec(); });
        prompts.numberAnswers.push_back(std::nullopt);
        CEventsFeature::Of(&w)->OnFindEvents();
        QCOMPARE(prompts.numberQuestions.size(), 1);
        QVERIFY(prompts.numberQuestions[0].contains("no setup.ini"));
        QCOMPARE(rows->topLevelItem(locked)->text(2), QString());

        prompts.modalAnswers.push_back([](QDialog& dialog) { return dialog.exec(); });
        prompts.numberAnswers.push_back(1.5);
        CEventsFeature::Of(&w)->OnFindEvents();
        QVERIFY2(rows->topLevelItem(locked)->text(2).startsWith("1 × ") &&
                     rows->topLevelItem(locked)->text(2).endsWith(" g, marked"),
                 qPrintable(rows->topLevelItem(locked)->text(2)));
        QVERIFY(!rows->topLevelItem(front)->text(2).startsWith("marked"));
        QVERIFY(rows->topLevelItem(front)->toolTip(2).contains("(given in the event search)"));

        prompts.modalAnswers.push_back([](QDialog& dialog) { return dialog.exec(); });
        prompts.modalAnswers.push_back([](QDialog& dialog) { return dialog.exec(); });
        prompts.numberAnswers.push_back(1.75);
        CEventsFeature::Of(&w)->OnFindEvents();
        prompts.modalAnswers.push_back([](QDialog& dialog) { return dialog.exec(); });
        CEventsFeature::Of(&w)->OnFindEvents(); // the offer taken as it is
        QVERIFY(rows->topLevelItem(front)->toolTip(2).contains("X 1.75 g, Y 1.75 g, Z 1.75 g"));

        w.m_dlgRecordList->OnDblClk(locked);
        QVERIFY(waitFor([&] { return w.Player() && w.Player()->FramesDelivered() > 2; }));
        w.m_dlgRecordInfo->UpdateFromCurrentRecord();
        const QString tip = w.m_dlgRecordInfo->m_editEvent->toolTip();
        QVERIFY2(tip.startsWith("Kept by the recorder for an event\n") &&
                     tip.contains(" UTC (GPS), 2026-05-20 14:31:") && tip.contains("camera clock"),
                 qPrintable(tip));
    }

    // With play through on, a recording played to its end goes on with the next row, and the
    // last row ends as usual; off, every recording ends as usual.
    void playThrough() {
        ScriptedPrompts prompts;
        CPlayerDlg w;
        w.show();
        QTreeWidget* rows = w.m_dlgRecordList->m_listRecords;
        QCOMPARE(w.m_dlgRecordList->FillRecordList(cardDir(), ".asf"), 9);
        const auto playToTheEnd = [&](int row) {
            rows->clearSelection();
            rows->topLevelItem(row)->setSelected(true);
            w.m_dlgRecordList->OnDblClk(row);
            QVERIFY(waitFor([&] { return w.Player() && w.Player()->FramesDelivered() > 2; }));
            double d = 0;
            QVERIFY(w.Player()->GetDurationSeconds(d));
            w.Player()->SeekToSeconds(d - 0.6);
            w.OnPlay();
        };
        const auto playing = [&](const char* name) {
            return CurrentRecord.fileName.endsWith(QLatin1String(name)) && w.Player() &&
                   w.Player()->InRunningState() && position(w) > 0.2;
        };

        CEventsFeature::SetPlayThrough(false);
        playToTheEnd(0);
        QVERIFY(waitFor([&] { return w.m_editTime->text() == "00:00:10/00:00:10"; }));
        QTest::qWait(500);
        QVERIFY(CurrentRecord.fileName.endsWith(QLatin1String("0001.asf")));
        QVERIFY(!w.m_btnPlay->GetState()); // ended, as without play through

        CEventsFeature::SetPlayThrough(true);
        QVERIFY(QSettings(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
                              "/dashcard-player/dashcard-player.conf",
                          QSettings::IniFormat)
                    .value("playThrough")
                    .toBool());
        playToTheEnd(0);
        QVERIFY(waitFor([&] { return playing("0002.asf"); }));

        playToTheEnd(8); // the last row
        QVERIFY(waitFor([&] { return w.m_editTime->text() == "00:00:20/00:00:20"; }));
        QTest::qWait(500);
        QVERIFY(CurrentRecord.fileName.endsWith(QLatin1String("0009.asf")));
        CEventsFeature::SetPlayThrough(false);
    }
};

PLAYER_WINDOW_TEST_MAIN(TestEvents)
#include "test_events.moc"
