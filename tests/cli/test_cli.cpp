// SPDX-License-Identifier: GPL-3.0-or-later
// The command line: what is parsed and what the window does with the path it was given
// (a folder, a listed file, a file the listing leaves out, a missing path), the real program's
// --help and --version without a display, and where the map page is looked for.
#include "ScriptedPrompts.h"
#include "TestSupport.h"
#include "cli/CommandLine.h"
#include "ui/DataFolder.h"
#include "cli/StartupOpen.h"
#include "playback/GraphPlayer.h"
#include "records/CurrentRecord.h"
#include "records/RecordInfoDlg.h"
#include "records/RecordListDlg.h"
#include "shell/PlayerDlg.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QtTest>
#include <clocale>

namespace {

CommandLine::Request parse(const QStringList& args) {
    return CommandLine::Parse(QStringList{"dashcard-player"} + args);
}

CommandLine::Action early(const QList<QByteArray>& args) {
    QList<QByteArray> all{"dashcard-player"};
    all += args;
    std::vector<const char*> argv;
    for (const QByteArray& a : all)
        argv.push_back(a.constData());
    return CommandLine::ParseEarly(int(argv.size()), argv.data()).action;
}

QStringList names(QTreeWidget* list) {
    QStringList texts;
    for (int i = 0; i < list->topLevelItemCount(); ++i)
        texts << list->topLevelItem(i)->text(1);
    return texts;
}

int selectedRow(QTreeWidget* list) {
    const QModelIndexList rows = list->selectionModel()->selectedRows();
    return rows.size() == 1 ? rows.first().row() : -1;
}

// The real program with no display at all: a window would make it fail.
struct Run {
    int exitCode = -1;
    QString out, err;
};
Run runProgram(const QStringList& args, const QString& platform = QStringLiteral("xcb")) {
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove("DISPLAY");
    env.remove("WAYLAND_DISPLAY");
    env.insert("QT_QPA_PLATFORM", platform);
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(PLAYER_BINARY), args);
    Run r;
    if (!p.waitForFinished(30000)) {
        p.kill();
        p.waitForFinished();
        return r;
    }
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = QString::fromLocal8Bit(p.readAllStandardOutput());
    r.err = QString::fromLocal8Bit(p.readAllStandardError());
    return r;
}

} // namespace

class TestCli : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() {
        if (!QFile::exists(cardFile("0003.asf")) || !QFile::exists(cardFile("extras/clip.avi")))
            QFAIL("the test card is missing; run the make_test_card fixture first");
    }

    void init() { CurrentRecord = CurrentRecordData(); }

    // One path at most; Qt's and the web engine's options pass; "--" makes "-x" a path;
    // --help and --version are seen before Qt starts, but not as paths after "--".
    void parsing() {
        CommandLine::Request r = parse({});
        QCOMPARE(r.action, CommandLine::Action::Run);
        QVERIFY(!r.hasPath);

        r = parse({"--no-sandbox", "/media/card/0003.asf", "--disable-gpu"});
        QCOMPARE(r.action, CommandLine::Action::Run);
        QVERIFY(r.hasPath);
        QCOMPARE(r.path, QStringLiteral("/media/card/0003.asf"));

        r = parse({"--", "-odd name.asf"});
        QCOMPARE(r.action, CommandLine::Action::Run);
        QCOMPARE(r.path, QStringLiteral("-odd name.asf"));

        r = parse({""}); // an empty path is a path (that cannot be opened)
        QVERIFY(r.hasPath);

        r = parse({"a.asf", "b.asf"});
        QCOMPARE(r.action, CommandLine::Action::Error);
        QVERIFY(!r.error.isEmpty());

        QCOMPARE(parse({"x.asf", "--version"}).action, CommandLine::Action::Version);
        QCOMPARE(early({"-platform", "offscreen", "--help"}), CommandLine::Action::Help);
        QCOMPARE(early({"-v"}), CommandLine::Action::Version);
        QCOMPARE(early({"--help", "--version"}), CommandLine::Action::Help);
        QCOMPARE(early({"--", "--help"}), CommandLine::Action::Run);
        QCOMPARE(early({"/media/card"}), CommandLine::Action::Run);
    }

    // --help and --version print and end without looking for a display; a second path ends
    // the program with status 2 before any window.
    void helpAndVersionWithoutDisplay() {
        Run r = runProgram({"--version"});
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.out, QStringLiteral("dashcard-player " PLAYER_VERSION_TEXT "\n"));
        QCOMPARE(r.err, QString());

        r = runProgram({"/no/such/folder", "--help"});
        QCOMPARE(r.exitCode, 0);
        QVERIFY2(r.out.startsWith("Usage: player [OPTION]... [FILE|FOLDER]\n"), qPrintable(r.out));
        QVERIFY(r.out.contains("--version"));
        QVERIFY(r.out.contains("\n  --              end of options"));
        QCOMPARE(r.err, QString());

        r = runProgram({"a.asf", "b.asf"}, QStringLiteral("offscreen"));
        QCOMPARE(r.exitCode, 2);
        QVERIFY2(r.err.contains("only one FILE or FOLDER"), qPrintable(r.err));
        // Without any display a wrong command line is still said, and so is the display.
        r = runProgram({"a.asf", "-style", "fusion", "b.asf"});
        QCOMPARE(r.exitCode, 2);
        QVERIFY2(r.err.contains("only one FILE or FOLDER"), qPrintable(r.err));
        r = runProgram({"--bogus"});
        QCOMPARE(r.exitCode, 2);
        QVERIFY2(r.err.contains("unknown option --bogus (see --help)"), qPrintable(r.err));
        r = runProgram({"a.asf"});
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(r.err.contains("no display"), qPrintable(r.err));
        // An option where an export's path is expected is a usage error, not a file name.
        QTemporaryDir dir;
        QVERIFY(QFile::copy(cardFile("0001.LOG"), dir.filePath("0001.LOG")));
        for (const QStringList& wrong :
             {QStringList{"--export-gpx", dir.filePath("0001.LOG"), "--export-kml"},
              QStringList{"--export-kml", "--help"}, QStringList{"--events", "--csv"}}) {
            r = runProgram(wrong);
            QCOMPARE(r.exitCode, 2);
            QVERIFY2(r.err.contains("(see --help)"), qPrintable(r.err));
        }
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{"0001.LOG"});
        // An export's option without the export names the one it needs (no window opens).
        for (const auto& [wrong, needs] :
             {std::pair{QStringList{"--csv", dir.filePath("x.csv")}, "--csv needs --events"},
              std::pair{QStringList{"--from", "3", dir.filePath("0001.LOG")},
                        "--from needs --export-clip"}}) {
            r = runProgram(wrong, QStringLiteral("offscreen"));
            QCOMPARE(r.exitCode, 2);
            QVERIFY2(r.err.contains(needs) && r.err.contains("Usage: "), qPrintable(r.err));
        }
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{"0001.LOG"});
    }

    // A folder is listed as LOAD lists it; nothing plays.
    void folderIsListed() {
        ScriptedPrompts prompts;
        CPlayerDlg w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        StartupOpen::Open(w, QDir::cleanPath(cardDir()));
        QTreeWidget* list = w.m_dlgRecordList->m_listRecords;
        QCOMPARE(names(list),
                 (QStringList{"0001.asf", "0002.asf", "0003.asf", "0004.asf", "0005.asf",
                              "0006.asf", "0007.asf", "0008.asf", "0009.asf"}));
        QCOMPARE(CurrentRecord.folder, cardDir());
        QCOMPARE(CurrentRecord.listCount, 9);
        QCOMPARE(CurrentRecord.listIndex, -1);
        QVERIFY(!w.Player());
        QVERIFY(w.m_dlgRecordList->isVisible());
        QVERIFY(prompts.messages.isEmpty());
    }

    // A listed file: its folder listed, its row selected (and previewed) and opened as a
    // double click opens it; also when given relative to the current folder.
    void listedFilePlays() {
        ScriptedPrompts prompts;
        CPlayerDlg w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        const QString before = QDir::currentPath();
        QDir::setCurrent(cardDir());
        StartupOpen::Open(w, QStringLiteral("0003.asf"));
        QDir::setCurrent(before);

        CRecordListDlg* panel = w.m_dlgRecordList;
        QCOMPARE(panel->m_listRecords->topLevelItemCount(), 9);
        QCOMPARE(selectedRow(panel->m_listRecords), 2);
        QCOMPARE(panel->m_strPreviewPath, cardFile("0003.asf"));
        QCOMPARE(CurrentRecord.folder, cardDir());
        QCOMPARE(CurrentRecord.listIndex, 2);
        QCOMPARE(CurrentRecord.numberText, QStringLiteral("  0003"));
        QCOMPARE(CurrentRecord.fileName, cardFile("0003.asf"));
        QVERIFY(w.Player());
        QVERIFY(w.TimerRunning());
        QVERIFY(w.m_dlgRecordInfo->isVisible());
        QVERIFY(waitFor([&] { return w.Player()->InRunningState(); }));
        QCOMPARE(CurrentRecord.videoWidth, 1280u);
        QVERIFY(prompts.messages.isEmpty());
    }

    // Names LOAD lists whatever the case of ".asf" go through the listing; an .avi, which it
    // never lists, is listed alone as the open-file button lists it, then played.
    void unlistedFileGoesTheOpenFileWay() {
        ScriptedPrompts prompts;
        CPlayerDlg w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QTreeWidget* list = w.m_dlgRecordList->m_listRecords;

        StartupOpen::Open(w, cardFile("extras/A.ASF"));
        QVERIFY(list->topLevelItemCount() > 1);
        QCOMPARE(names(list).at(CurrentRecord.listIndex), QStringLiteral("A.ASF"));
        QCOMPARE(CurrentRecord.fileName, cardFile("extras/A.ASF"));

        StartupOpen::Open(w, cardFile("extras/clip.avi"));
        QCOMPARE(names(list), QStringList{"clip.avi"});
        QCOMPARE(CurrentRecord.listCount, 1);
        QCOMPARE(CurrentRecord.listIndex, 0);
        QCOMPARE(CurrentRecord.numberText, QStringLiteral("  0001"));
        QCOMPARE(CurrentRecord.folder, cardDir() + "extras/");
        QCOMPARE(CurrentRecord.fileName, cardFile("extras/clip.avi"));
        QVERIFY(w.Player());
        QVERIFY(waitFor([&] { return w.Player()->InRunningState(); }));
        QCOMPARE(CurrentRecord.videoWidth, 320u);
        QCOMPARE(CurrentRecord.videoHeight, 240u);
        QVERIFY(prompts.messages.isEmpty());
    }

    // A missing path says "Open fail" only once the window is on screen, changes nothing,
    // and the window goes on working.
    void missingPathAfterWindowAppears() {
        ScriptedPrompts prompts;
        CPlayerDlg w;
        w.m_dlgRecordList->FillRecordList(cardDir(), ".asf");
        StartupOpen::OpenWhenShown(w, cardFile("no-such-recording.asf"));
        QTest::qWait(50);
        QVERIFY(prompts.messages.isEmpty());

        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QVERIFY(waitFor([&] { return !prompts.messages.isEmpty(); }, 5000));
        QCOMPARE(prompts.messages, QStringList{"Open fail"});
        QCOMPARE(w.m_dlgRecordList->m_listRecords->topLevelItemCount(), 9);
        QCOMPARE(CurrentRecord.folder, cardDir());
        QCOMPARE(CurrentRecord.listIndex, -1);
        QVERIFY(!w.Player());
        QVERIFY(w.isVisible());

        StartupOpen::Open(w, QString());
        QCOMPARE(prompts.messages.size(), 2);

        StartupOpen::Open(w, cardFile("0001.asf"));
        QVERIFY(w.Player());
        QVERIFY(waitFor([&] { return w.Player()->InRunningState(); }));
        QCOMPARE(prompts.messages.size(), 2);
    }

    // A file given for a window already on screen is opened from the event loop, not at once.
    void openWhenAlreadyShown() {
        ScriptedPrompts prompts;
        CPlayerDlg w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        StartupOpen::OpenWhenShown(w, cardFile("0002.asf"));
        QVERIFY(!w.Player());
        QVERIFY(waitFor([&] { return w.Player() != nullptr; }, 5000));
        QCOMPARE(CurrentRecord.fileName, cardFile("0002.asf"));
    }

    // The map page: beside the program first, then bin/../share/dashcard-player, then the
    // folder the build installs to; only a file that can be read counts.
    void dataFolderLookup() {
        QTemporaryDir root;
        QVERIFY(root.isValid());
        const QString bin = root.filePath("usr/bin");
        const QString share = root.filePath("usr/share/dashcard-player");
        QVERIFY(QDir().mkpath(bin));
        QVERIFY(QDir().mkpath(share));

        const QStringList candidates = DataFolder::Candidates(bin);
        QCOMPARE(candidates.size(), 3);
        QCOMPARE(candidates.at(0), bin);
        QCOMPARE(candidates.at(1), share);
        QVERIFY(candidates.at(2).endsWith("/share/dashcard-player"));

        const QString page = QStringLiteral("Google-earth.html");
        QCOMPARE(DataFolder::Find(page, bin), QString());
        QFile installed(share + "/" + page);
        QVERIFY(installed.open(QIODevice::WriteOnly));
        installed.close();
        QCOMPARE(DataFolder::Find(page, bin), share);
        // The program's folder given with a trailing "/" or "." parts finds the same.
        QCOMPARE(DataFolder::Find(page, bin + "/./"), share);

        QFile beside(bin + "/" + page);
        QVERIFY(beside.open(QIODevice::WriteOnly));
        beside.close();
        QCOMPARE(DataFolder::Find(page, bin), bin);

        // A folder of that name is not the page.
        QVERIFY(QFile::remove(bin + "/" + page));
        QVERIFY(QDir().mkpath(bin + "/" + page));
        QCOMPARE(DataFolder::Find(page, bin), share);
    }
};

PLAYER_WINDOW_TEST_MAIN(TestCli)

#include "test_cli.moc"
