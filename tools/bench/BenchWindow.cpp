// SPDX-License-Identifier: GPL-3.0-or-later
// Window timings: start-up to the first painted window, and the cost of one tick of the
// playback timer while a recording plays.
//
// Start-up is measured three ways, each named for what it is:
// - this process standing in for the program (it links the same library and runs the same
//   application object and window): from the kernel's start time of the process (10 ms
//   resolution) to the first paint of the window, before anything else is done here;
// - in this process, from constructing the window to its first paint, the first time
//   (cold) and again later (warm);
// - with an X display (run under xvfb-run): the program itself started as a child process,
//   from the spawn until the X server maps its window ("xev" watching the root window);
//   the child is ended as soon as that is seen.
// The tick opens a card recording in the window, stops its timer and calls OnTimer by hand
// with the event loop serving frames in between. The tick includes the trip chart; the
// chart part is also timed alone on the same window right after each tick.
//
// bench window [CARD]: CARD is a demo card folder; without it the card of the tests
// (PLAYER_TEST_CARD), else build/demo-card or build/tests/card, else the first recording and
// its trip log are written into a temporary folder.
#include "BenchCommon.h"

#include "app/PlayerApp.h"
#include "democard/DemoCard.h"
#include "playback/GraphPlayer.h"
#include "playback/VideoSurface.h"
#include "records/CurrentRecord.h"
#include "shell/PlayerDlg.h"
#include "ui/Prompts.h"

#include <QDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QEvent>
#include <QEventLoop>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <memory>
#include <unistd.h>

namespace {

using bench::serveUntil;

const int kWarmWindows = bench::Runs(7);
const int kSpawnRuns = bench::Runs(5);
const int kTicks = bench::Smoke() ? 20 : 500;
// Event-loop time between two ticks: the video keeps playing and painting meanwhile.
constexpr int kBetweenTicksMs = 6;

// Stays silent: nothing measured here should ask the user anything.
class SilentPrompts final : public Prompts {
public:
    int messages = 0;
    void message(QWidget*, const QString&) override { ++messages; }
    QStringList chooseOpenFiles(QWidget*, const QString&, bool, const QString&) override {
        return {};
    }
    QString chooseOpenOrNewFile(QWidget*, const QString&, const QString&) override { return {}; }
    QString chooseSaveFile(QWidget*, const QString&, const QString&, const QString&) override {
        return {};
    }
    bool choosePrinter(QWidget*, QPrinter&) override { return false; }
    int runModal(QDialog&) override { return QDialog::Rejected; }
};

// Notes the first paint event of the window it watches.
class PaintWatcher final : public QObject {
public:
    bool painted = false;
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint)
            painted = true;
        return QObject::eventFilter(watched, event);
    }
};

// Runs the event loop for about `ms`.
void serveFor(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

double percentile(std::vector<double> values, double p) {
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const size_t i = std::min(values.size() - 1, size_t(std::ceil(p * values.size())) - 1);
    return values[i];
}

// Milliseconds since the kernel started this process; negative when it cannot be read.
double msSinceProcessStart() {
    QFile stat("/proc/self/stat");
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray line = stat.readAll();
    // Fields after the command name, which sits in parentheses and may hold spaces; the
    // start time is field 22 of the line, the 20th after the name.
    const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 20)
        return -1;
    bool ok = false;
    const double startTicks = fields[19].toDouble(&ok);
    timespec now{};
    if (!ok || clock_gettime(CLOCK_BOOTTIME, &now) != 0)
        return -1;
    const double nowMs = now.tv_sec * 1e3 + now.tv_nsec / 1e6;
    return nowMs - startTicks * 1e3 / double(sysconf(_SC_CLK_TCK));
}

// A card folder holding the card's first recording and its trip log: the one named on the
// command line, the tests' card, build/demo-card or build/tests/card; else that pair alone
// is written into `scratch` (a whole card takes longer to encode than this group may run).
QString findCard(int argc, char** argv, QTemporaryDir& scratch) {
    const democard::Recording first = democard::standardRecordings().front();
    QStringList candidates;
    if (argc > 1)
        candidates << QString::fromLocal8Bit(argv[1]);
    if (!qEnvironmentVariableIsEmpty("PLAYER_TEST_CARD"))
        candidates << qEnvironmentVariable("PLAYER_TEST_CARD");
    candidates << QCoreApplication::applicationDirPath() + "/demo-card"
               << QCoreApplication::applicationDirPath() + "/tests/card";
    for (const QString& dir : candidates) {
        if (QFile::exists(QDir(dir).filePath(first.name)) &&
            QFile::exists(QDir(dir).filePath(democard::tripLogName(first))))
            return QDir(dir).absolutePath();
    }
    std::fprintf(stderr, "bench window: writing %s to %s\n", qPrintable(first.name),
                 qPrintable(scratch.path()));
    const QDir dir(scratch.path());
    QString error;
    QFile log(dir.filePath(democard::tripLogName(first)));
    const QByteArray bytes = democard::tripLog(first, first.seed);
    if (!democard::writeRecording(first, dir.filePath(first.name), &error) ||
        !log.open(QIODevice::WriteOnly) || log.write(bytes) != bytes.size() || !log.flush()) {
        std::fprintf(stderr, "bench window: %s\n",
                     qPrintable(error.isEmpty() ? log.errorString() : error));
        return {};
    }
    return scratch.path();
}

// Constructs the window, shows it and serves events until its first paint has gone out.
// Milliseconds, or -1 when it never painted.
double constructToFirstPaint(double* sinceProcessStart = nullptr) {
    PaintWatcher watcher;
    QElapsedTimer clock;
    clock.start();
    auto dlg = std::make_unique<CPlayerDlg>();
    dlg->installEventFilter(&watcher);
    dlg->show();
    if (!serveUntil([&] { return watcher.painted; }))
        return -1;
    const double ms = clock.nsecsElapsed() / 1e6;
    if (sinceProcessStart)
        *sinceProcessStart = msSinceProcessStart();
    dlg->removeEventFilter(&watcher);
    dlg.reset();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return ms;
}

// The X window id in a line of xev's root watch that reports a top-level window mapped:
// "    event 0x..., window 0x4000a, override NO" after a "MapNotify event" line.
QByteArray mappedWindow(const QByteArray& previous, const QByteArray& line) {
    if (!previous.startsWith("MapNotify event") || !line.contains("override NO"))
        return {};
    const int at = line.indexOf("window 0x");
    if (at < 0)
        return {};
    const int end = line.indexOf(',', at);
    return line.mid(at + 7, end < 0 ? -1 : end - at - 7).trimmed();
}

// Spawns the program under the current X display until its window is mapped, once more than
// `runs` times; the milliseconds of each run, the first (cold caches) first. Empty when it
// could not be done.
std::vector<double> spawnToMapped(const QString& program, const QString& card, int runs) {
    const QString xev = QStandardPaths::findExecutable("xev");
    const QString xwininfo = QStandardPaths::findExecutable("xwininfo");
    if (xev.isEmpty() || xwininfo.isEmpty()) {
        std::fprintf(stderr, "bench window: xev and xwininfo are needed to see the window\n");
        return {};
    }
    QProcess watch;
    watch.setProgram(xev);
    watch.setArguments({"-root", "-event", "substructure"});
    watch.setStandardErrorFile(QProcess::nullDevice());
    watch.start();
    if (!watch.waitForStarted(5000))
        return {};
    // xev selects the root's events right after it connects; give it that moment.
    serveFor(300);
    watch.readAll();

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove("QT_QPA_PLATFORM"); // the child must show on the display, not off screen
    if (geteuid() == 0)            // the web engine will not start its sandbox as root
        env.insert("QTWEBENGINE_DISABLE_SANDBOX", "1");

    std::vector<double> times;
    QByteArray previous;
    for (int run = 0; run <= runs; ++run) {
        QProcess player;
        player.setProgram(program);
        player.setWorkingDirectory(card);
        player.setProcessEnvironment(env);
        player.setStandardOutputFile(QProcess::nullDevice());
        player.setStandardErrorFile(QProcess::nullDevice());
        QElapsedTimer clock;
        clock.start();
        player.start();
        if (!player.waitForStarted(5000)) {
            std::fprintf(stderr, "bench window: %s does not start\n", qPrintable(program));
            return {};
        }
        QByteArray window;
        double ms = -1;
        while (window.isEmpty() && clock.elapsed() < 30000 && player.state() == QProcess::Running) {
            if (!watch.canReadLine() && !watch.waitForReadyRead(50))
                continue;
            while (window.isEmpty() && watch.canReadLine()) {
                const QByteArray line = watch.readLine().trimmed();
                window = mappedWindow(previous, line);
                if (!window.isEmpty())
                    ms = clock.nsecsElapsed() / 1e6;
                previous = line;
            }
        }
        // The mapped window must be the program's, titled "Player".
        bool ours = false;
        if (!window.isEmpty()) {
            QProcess info;
            info.start(xwininfo, {"-id", QString::fromLatin1(window)});
            ours = info.waitForFinished(5000) && info.readAll().contains("\"Player\"");
        }
        player.terminate();
        if (!player.waitForFinished(5000)) {
            player.kill();
            player.waitForFinished(5000);
        }
        if (!ours) {
            std::fprintf(stderr, "bench window: no window of %s appeared\n", qPrintable(program));
            watch.kill();
            watch.waitForFinished(5000);
            return {};
        }
        times.push_back(ms);
        // Let the display settle and drop the unmap and destroy reports.
        serveFor(300);
        while (watch.canReadLine())
            previous = watch.readLine().trimmed();
        watch.readAll();
    }
    watch.kill();
    watch.waitForFinished(5000);
    return times;
}

int runWindow(int argc, char** argv) {
    const bool display = !qEnvironmentVariableIsEmpty("DISPLAY");
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && !display &&
        qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (geteuid() == 0 && qEnvironmentVariableIsEmpty("QTWEBENGINE_DISABLE_SANDBOX"))
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    // As the program's own start: the map page's web engine shares the widgets' GL context.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    CPlayerApp app(argc, argv);
    SilentPrompts prompts;
    Prompts::install(&prompts);
    // Keeps the event loop waking while we wait.
    QTimer heartbeat;
    heartbeat.start(10);

    // Start-up, before anything else happens in this process.
    double sinceStart = -1;
    const double cold = constructToFirstPaint(&sinceStart);
    if (cold < 0) {
        std::fprintf(stderr, "bench window: the window never painted\n");
        return 1;
    }
    if (sinceStart >= 0)
        bench::report("window.start_to_first_paint.bench_process", sinceStart, std::nullopt, "ms");
    bench::report("window.construct_to_first_paint.cold", cold, std::nullopt, "ms");
    std::vector<double> warm;
    for (int run = 0; run < kWarmWindows; ++run) {
        const double ms = constructToFirstPaint();
        if (ms < 0) {
            std::fprintf(stderr, "bench window: the window never painted\n");
            return 1;
        }
        warm.push_back(ms);
        serveFor(50);
    }
    bench::report("window.construct_to_first_paint.warm", bench::median(warm), std::nullopt, "ms");

    QTemporaryDir scratch;
    const QString card = findCard(argc, argv, scratch);
    if (card.isEmpty())
        return 1;

    const QString program = QCoreApplication::applicationDirPath() + "/player";
    if (!display) {
        std::fprintf(stderr, "  no X display: the program's own start-up is not measured "
                             "(run under xvfb-run -a for it)\n");
    } else if (!QFile::exists(program)) {
        std::fprintf(stderr, "  %s is not built: its own start-up is not measured\n",
                     qPrintable(program));
    } else {
        std::vector<double> spawns = spawnToMapped(program, card, kSpawnRuns);
        if (spawns.size() > 1) {
            const double first = spawns.front();
            spawns.erase(spawns.begin());
            bench::report("window.spawn_to_window_mapped.x11", bench::median(spawns), std::nullopt,
                          "ms");
            std::fprintf(stderr,
                         "  spawn to mapped: median of %zu runs after a first one of %.1f ms; "
                         "min %.1f, max %.1f\n",
                         spawns.size(), first, *std::min_element(spawns.begin(), spawns.end()),
                         *std::max_element(spawns.begin(), spawns.end()));
        }
    }

    // One tick of the playback timer with a card recording playing in the window.
    CPlayerDlg dlg;
    dlg.show();
    CurrentRecord.folder = card + "/";
    const QString recording = democard::standardRecordings().front().name;
    CurrentRecord.fileName = recording;
    if (!dlg.OnOpenRecord() || !serveUntil([&] {
            return dlg.Player() && dlg.Player()->VideoSurface() &&
                   dlg.Player()->VideoSurface()->PaintedFrames() > 0;
        })) {
        std::fprintf(stderr, "bench window: %s/%s does not play in the window\n", qPrintable(card),
                     qPrintable(recording));
        return 1;
    }
    dlg.PlayTimer()->stop();
    double startPosition = 0;
    dlg.Player()->GetPositionSeconds(startPosition);

    double duration = 0;
    dlg.Player()->GetDurationSeconds(duration);

    const QSize chartSize = dlg.m_stcChart->size();
    std::vector<double> ticks, charts, rest;
    int rewinds = 0;
    for (int run = 0; run < kTicks; ++run) {
        serveFor(kBetweenTicksMs);
        // Near its end the recording starts over (untimed), so every tick sees it playing.
        double now = 0;
        if (dlg.Player()->GetPositionSeconds(now) && now > duration - 1.0) {
            ++rewinds;
            dlg.Player()->SeekToSeconds(0.0);
            serveUntil(
                [&] { return dlg.Player()->GetPositionSeconds(now) && now < duration - 1.0; },
                5000);
        }
        QElapsedTimer clock;
        clock.start();
        dlg.OnTimer();
        const double tick = clock.nsecsElapsed() / 1e6;
        QImage memory(chartSize, QImage::Format_RGB32);
        clock.restart();
        dlg.DrawTripChart(memory);
        const double chart = clock.nsecsElapsed() / 1e6;
        ticks.push_back(tick);
        charts.push_back(chart);
        rest.push_back(tick - chart);
    }
    double endPosition = 0;
    dlg.Player()->GetPositionSeconds(endPosition);
    const bool running = dlg.Player()->InRunningState();

    bench::report("window.timer_tick.median", bench::median(ticks), std::nullopt, "ms");
    bench::report("window.timer_tick.p95", percentile(ticks, 0.95), std::nullopt, "ms");
    bench::report("window.timer_tick.chart_part.median", bench::median(charts), std::nullopt, "ms");
    bench::report("window.timer_tick.minus_chart.median", bench::median(rest), std::nullopt, "ms");
    std::fprintf(stderr,
                 "  %d ticks, video %.2f s -> %.2f s (%d rewinds), %s; ticks include the trip "
                 "chart; the chart part is DrawTripChart alone right after each tick\n",
                 kTicks, startPosition, endPosition, rewinds,
                 running ? "still playing" : "NOT playing");
    dlg.ClosePlayer();
    Prompts::install(nullptr);
    if (prompts.messages != 0) {
        std::fprintf(stderr, "bench window: the window showed %d message(s)\n", prompts.messages);
        return 1;
    }
    return running ? 0 : 1;
}

bench::Registrar registrar("window", runWindow);

} // namespace
