// SPDX-License-Identifier: GPL-3.0-or-later
// Events: scanning 1 000 trip logs of 4 000 records each (written here) for jolts, against
// `cat` reading the same bytes in the same run; and, playing through the demo card, the gap
// from the last frame shown of one recording to the first of the next.
#include "BenchCommon.h"

#include "app/Features.h"
#include "democard/DemoCard.h"
#include "events/EventFinder.h"
#include "events/EventsFeature.h"
#include "playback/GraphPlayer.h"
#include "playback/VideoSurface.h"
#include "records/CurrentRecord.h"
#include "records/RecordListDlg.h"
#include "shell/PlayerDlg.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <cstdio>

namespace {

const int kLogs = bench::Smoke() ? 20 : 1000;
constexpr int kRecords = 4000;
const int kRuns = bench::Runs(3);

// The scan of every log of the folder, as --events does it; how many events it found.
int scanAll(const QStringList& logs, const Events::Limits& limits) {
    int found = 0;
    for (const QString& log : logs)
        found += int(Events::ScanLog(log, {}, limits).events.size());
    return found;
}

double catAll(const QStringList& logs) {
    QProcess p;
    p.setStandardOutputFile(QProcess::nullDevice());
    QElapsedTimer clock;
    clock.start();
    p.start(QStringLiteral("cat"), logs);
    return p.waitForFinished(120000) && p.exitCode() == 0 ? clock.nsecsElapsed() / 1e6 : -1;
}

int scanBench(QTemporaryDir& scratch) {
    // One drive of 4 000 records at 10 a second with jolts, written under 1 000 names.
    democard::Recording rec = democard::joltRecording();
    rec.seconds = kRecords / 10;
    rec.samplesPerSecond = 10;
    rec.jolts = {{60, 'Z', 3.42}, {130, 'X', 2.86}, {170, 'Y', 2.47}};
    const QByteArray log = democard::tripLog(rec, rec.seed);
    QStringList logs;
    for (int i = 0; i < kLogs; ++i) {
        const QString path = scratch.filePath(QString::asprintf("%04d.LOG", i));
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly) || f.write(log) != log.size()) {
            std::fprintf(stderr, "bench events: cannot write %s\n", qPrintable(path));
            return 1;
        }
        logs.append(path);
    }
    Events::Limits limits;
    limits.x = 2.5;
    limits.y = 2.5;
    limits.z = 3.0;
    catAll(logs); // both read from the page cache
    std::vector<double> ours, cats;
    int found = 0;
    for (int run = 0; run < kRuns; ++run) {
        QElapsedTimer clock;
        clock.start();
        found = scanAll(logs, limits);
        ours.push_back(clock.nsecsElapsed() / 1e6);
        cats.push_back(catAll(logs));
    }
    if (found != 2 * kLogs) {
        std::fprintf(stderr, "bench events: found %d events, not %d\n", found, 2 * kLogs);
        return 1;
    }
    std::fprintf(stderr, "  %d logs of %d records, %.0f MB\n", kLogs, kRecords,
                 double(log.size()) * kLogs / 1e6);
    bench::report(QStringLiteral("events.scan.%1x%2").arg(kLogs).arg(kRecords), bench::median(ours),
                  bench::median(cats), "ms");
    return 0;
}

// From the last frame painted of one recording to the first of the next, playing through.
int gapBench(const QString& card) {
    CEventsFeature::SetPlayThrough(true);
    CPlayerDlg dlg;
    dlg.show();
    QTreeWidget* rows = dlg.m_dlgRecordList->m_listRecords;
    if (dlg.m_dlgRecordList->FillRecordList(card, QStringLiteral(".asf")) < 2) {
        std::fprintf(stderr, "bench events: %s lists no recordings\n", qPrintable(card));
        return 1;
    }
    std::vector<double> gaps;
    const int recordings = bench::Smoke() ? 1 : 5;
    for (int row = 0; row + 1 < rows->topLevelItemCount() && row < recordings; ++row) {
        if (rows->topLevelItem(row)->text(1) == QLatin1String("0007.asf"))
            continue; // cut by a power loss: its end is not where a drive goes on
        rows->clearSelection();
        rows->topLevelItem(row)->setSelected(true);
        dlg.m_dlgRecordList->OnDblClk(row);
        CGraphPlayer* first = dlg.Player();
        if (!first || !bench::serveUntil([&] { return first->FramesDelivered() > 2; })) {
            std::fprintf(stderr, "bench events: row %d does not play\n", row);
            return 1;
        }
        // Right after the open the length may not be known yet: a seek to "its end" would go
        // to the start.
        double duration = 0;
        if (!bench::serveUntil([&] { return first->GetDurationSeconds(duration) && duration > 1; },
                               5000)) {
            std::fprintf(stderr, "bench events: row %d has no length\n", row);
            return 1;
        }
        first->SeekToSeconds(duration - 1.0);
        // The seek's frame on screen before the play button is pressed (pressed while the seek
        // is still under way, it can find the recording not playing and start it from its head).
        const quint64 before = first->FramesDelivered();
        bench::serveUntil([&] { return first->FramesDelivered() > before; }, 5000);
        dlg.OnPlay();
        QElapsedTimer clock;
        clock.start();
        qint64 lastPaint = -1;
        quint64 painted = 0;
        // Which recording is open tells when it played on: a new engine may reuse the old one's
        // address.
        const QString opened = CurrentRecord.fileName;
        const auto stillFirst = [&] { return CurrentRecord.fileName == opened; };
        while (stillFirst() && clock.elapsed() < 10000) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
            // Playing on may have released the engine meanwhile.
            if (!stillFirst())
                break;
            if (first->VideoSurface() && first->VideoSurface()->PaintedFrames() != painted) {
                painted = first->VideoSurface()->PaintedFrames();
                lastPaint = clock.nsecsElapsed();
            }
        }
        CGraphPlayer* next = dlg.Player();
        if (!next || stillFirst() || !bench::serveUntil([&] {
                return next->VideoSurface() && next->VideoSurface()->PaintedFrames() > 0;
            })) {
            std::fprintf(stderr, "bench events: row %d did not play on\n", row);
            return 1;
        }
        gaps.push_back((clock.nsecsElapsed() - lastPaint) / 1e6);
    }
    CEventsFeature::SetPlayThrough(false);
    bench::report(QStringLiteral("events.play_through_gap"), bench::median(gaps), std::nullopt,
                  "ms");
    std::fprintf(stderr, "  %zu recordings played on; longest gap %.1f ms\n", gaps.size(),
                 *std::max_element(gaps.begin(), gaps.end()));
    return 0;
}

int runEvents(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (qEnvironmentVariableIsEmpty("QTWEBENGINE_DISABLE_SANDBOX"))
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    Features::Install();                      // play through is wired into the window
    QStandardPaths::setTestModeEnabled(true); // the play-through setting stays out of the user's
    QTemporaryDir scratch;
    if (const int failed = scanBench(scratch))
        return failed;
    QString card = qEnvironmentVariable("PLAYER_TEST_CARD");
    if (card.isEmpty() || !QDir(card).exists()) {
        card = scratch.filePath(QStringLiteral("card"));
        QString error;
        if (!democard::makeDemoCard(card, false, &error)) {
            std::fprintf(stderr, "bench events: %s\n", qPrintable(error));
            return 1;
        }
    }
    return gapBench(QDir(card).absolutePath() + QLatin1Char('/'));
}

const bench::Registrar registered("events", runEvents);

} // namespace
