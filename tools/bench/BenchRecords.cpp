// SPDX-License-Identifier: GPL-3.0-or-later
// Record list timings: LOAD of folders of 100, 1 000 and 10 000 recordings (other files mixed
// in), and the time from selecting a row to its preview frame on screen, against the engine's
// own open-to-first-frame on the same file in the same run.
//
// bench records [CARD]: CARD is a demo card folder; without it the card of the tests
// (PLAYER_TEST_CARD), else build/demo-card, else a fresh one in a temporary folder.
#include "BenchCommon.h"

#include "democard/DemoCard.h"
#include "playback/GraphPlayer.h"
#include "playback/VideoSurface.h"
#include "records/CurrentRecord.h"
#include "records/RecordListDlg.h"
#include "ui/Prompts.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFrame>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeWidget>
#include <clocale>
#include <cstdio>
#include <memory>

namespace {

using bench::serveUntil;

// Answers the LOAD chooser with one file and stays silent otherwise.
class AnsweringPrompts final : public Prompts {
public:
    QString answer;
    int messages = 0;
    void message(QWidget*, const QString&) override { ++messages; }
    QStringList chooseOpenFiles(QWidget*, const QString&, bool, const QString&) override {
        return {answer};
    }
    // LOAD's chooser.
    QString chooseOpenOrNewFile(QWidget*, const QString&, const QString&) override {
        return answer;
    }
    QString chooseSaveFile(QWidget*, const QString&, const QString&, const QString&) override {
        return {};
    }
    bool choosePrinter(QWidget*, QPrinter&) override { return false; }
    int runModal(QDialog&) override { return QDialog::Rejected; }
};

bool painted(const CGraphPlayer* engine) {
    return engine && engine->VideoSurface() && engine->VideoSurface()->PaintedFrames() > 0;
}

bool fillFolder(const QString& dir, int recordings) {
    // The card's usual company: a trip log beside each recording, and some strangers.
    for (int i = 1; i <= recordings; ++i) {
        for (const char* ext : {".asf", ".LOG"}) {
            QFile f(QDir(dir).filePath(QString::asprintf("%05d", i) + QLatin1String(ext)));
            if (!f.open(QIODevice::WriteOnly))
                return false;
        }
        if (i % 10 == 0) {
            QFile f(QDir(dir).filePath(QString::asprintf("clip%05d.avi", i)));
            if (!f.open(QIODevice::WriteOnly))
                return false;
        }
    }
    QFile ini(QDir(dir).filePath("setup.ini"));
    return ini.open(QIODevice::WriteOnly) && QDir(dir).mkdir("DCIM.asf");
}

QString findCard(int argc, char** argv, QTemporaryDir& scratch) {
    QStringList candidates;
    if (argc > 1)
        candidates << QString::fromLocal8Bit(argv[1]);
    if (!qEnvironmentVariableIsEmpty("PLAYER_TEST_CARD"))
        candidates << qEnvironmentVariable("PLAYER_TEST_CARD");
    candidates << QCoreApplication::applicationDirPath() + "/demo-card";
    for (const QString& dir : candidates) {
        if (QFile::exists(QDir(dir).filePath("0001.asf")))
            return QDir(dir).absolutePath();
    }
    std::fprintf(stderr, "bench records: writing a demo card to %s\n", qPrintable(scratch.path()));
    QString error;
    if (!democard::makeDemoCard(scratch.path(), false, &error)) {
        std::fprintf(stderr, "bench records: %s\n", qPrintable(error));
        return {};
    }
    return scratch.path();
}

int runRecords(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    std::setlocale(LC_NUMERIC, "C"); // the JSON lines carry numbers with a decimal point
    AnsweringPrompts prompts;
    Prompts::install(&prompts);
    // Keeps the event loop waking while we wait for a frame from the streaming thread.
    QTimer heartbeat;
    heartbeat.start(20);

    CRecordListDlg panel;
    panel.show();

    // LOAD: the chooser answers at once, so this is emptying the list, reading the folder and
    // filling the list, up to the list painted.
    for (const int n :
         bench::Smoke() ? std::vector<int>{100} : std::vector<int>{100, 1000, 10000}) {
        QTemporaryDir dir;
        if (!dir.isValid() || !fillFolder(dir.path(), n)) {
            std::fprintf(stderr, "bench records: cannot write the folder of %d\n", n);
            return 1;
        }
        prompts.answer = QDir(dir.path()).filePath("setup.ini");
        const int runs = bench::Runs(n >= 10000 ? 9 : n >= 1000 ? 21 : 41);
        std::vector<double> times;
        // Each LOAD but the first also empties the list of the same folder first.
        for (int run = 0; run < runs; ++run) {
            QCoreApplication::processEvents();
            QElapsedTimer clock;
            clock.start();
            panel.OnLoad();
            QCoreApplication::processEvents();
            times.push_back(clock.nsecsElapsed() / 1e6);
            if (CurrentRecord.listCount != n) {
                std::fprintf(stderr, "bench records: listed %d of %d\n", CurrentRecord.listCount,
                             n);
                return 1;
            }
        }
        bench::report(QString("records.load_list_%1").arg(n), bench::median(times), std::nullopt,
                      "ms");
    }

    // Preview: a click on a row until its first frame is painted in the box; the baseline
    // opens the same file with a fresh engine into a box of the same size.
    QTemporaryDir scratch;
    const QString card = findCard(argc, argv, scratch);
    if (card.isEmpty())
        return 1;
    prompts.answer = QDir(card).filePath("0001.asf");
    panel.OnLoad();
    const int rows = CurrentRecord.listCount;
    if (rows < 2) {
        std::fprintf(stderr, "bench records: the card %s lists %d rows\n", qPrintable(card), rows);
        return 1;
    }
    QFrame host;
    host.resize(panel.m_stPreview->size());
    host.show();

    std::vector<double> ours, baseline;
    const int runs = bench::Runs(24);
    for (int run = 0; run < runs; ++run) {
        // Each run a row other than the one shown, cycling through the card.
        const int row = run % rows;
        const QString path = CurrentRecord.folder + panel.m_listRecords->topLevelItem(row)->text(1);

        QElapsedTimer clock;
        clock.start();
        panel.m_listRecords->setCurrentItem(panel.m_listRecords->topLevelItem(row));
        if (!serveUntil([&] { return painted(panel.m_pPreview.get()); })) {
            std::fprintf(stderr, "bench records: no preview frame for row %d\n", row);
            return 1;
        }
        ours.push_back(clock.nsecsElapsed() / 1e6);

        clock.restart();
        auto engine = std::make_unique<CGraphPlayer>();
        const bool opened = engine->CreateGraph() && engine->OpenMediaFile(path) &&
                            engine->AttachVideoWindow(&host) && engine->PausePlayback();
        if (!opened || !serveUntil([&] { return painted(engine.get()); })) {
            std::fprintf(stderr, "bench records: the engine did not show %s\n", qPrintable(path));
            return 1;
        }
        baseline.push_back(clock.nsecsElapsed() / 1e6);
        engine->StopPlayback();
        engine.reset();
    }
    bench::report("records.preview_first_frame", bench::median(ours), bench::median(baseline),
                  "ms");
    Prompts::install(nullptr);
    return prompts.messages == 0 ? 0 : 1;
}

bench::Registrar registrar("records", runRecords);

} // namespace
