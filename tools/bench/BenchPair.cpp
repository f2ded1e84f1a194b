// SPDX-License-Identifier: GPL-3.0-or-later
// bench pair: a recorder's front and rear camera (full-HD H.264 MP4, 30 and 25 frames a
// second) played as one by the engine, against GStreamer's own playbin playing each alone.
#include "BenchCommon.h"
#include "BenchMedia.h"
#include "democard/DemoCard.h"
#include "playback/FrameSlot.h"
#include "playback/GraphPlayer.h"
#include "playback/VideoSurface.h"

#include <QApplication>
#include <QFrame>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>
#include <clocale>
#include <cstdio>
#include <random>
#include <sys/resource.h>

namespace {

using namespace benchmedia;
using bench::serveUntil;

const int kRounds = bench::Runs(3);
const int kSeekRuns = bench::Runs(15);

struct Pair {
    QString front, rear;
    double seconds = 0;
    int frontFrames = 0, rearFrames = 0;
};

bool writePair(const QTemporaryDir& dir, Pair& pair) {
    democard::Recording front = democard::fullHdRecording();
    front.seconds = bench::Smoke() ? 3 : 8;
    front.audioCodec = QStringLiteral("aac");
    front.name = QStringLiteral("2026_0520_160240_0008F.MP4");
    democard::Recording rear = front;
    rear.fps = 25;
    rear.audioCodec.clear();
    rear.seed = 18;
    rear.name = QStringLiteral("2026_0520_160240_0008R.MP4");
    pair.front = dir.filePath(front.name);
    pair.rear = dir.filePath(rear.name);
    pair.seconds = front.seconds;
    pair.frontFrames = front.seconds * front.fps;
    pair.rearFrames = rear.seconds * rear.fps;
    QString error;
    if (!democard::writeRecording(front, pair.front, &error) ||
        !democard::writeRecording(rear, pair.rear, &error)) {
        std::fprintf(stderr, "bench pair: %s\n", qPrintable(error));
        return false;
    }
    return true;
}

bool openPair(CGraphPlayer& engine, const Pair& pair, QWidget& host) {
    return engine.CreateGraph() && engine.AddCamera({pair.rear, QStringLiteral("Rear"), 0}) &&
           engine.OpenMediaFile(pair.front) && engine.AttachVideoWindow(&host);
}

struct PairPlay {
    double cpuPerSecond = -1;
    quint64 frontPainted = 0, rearPainted = 0;
};

// The pair from its start to its end at 1x in the visible host, polled as the window does.
bool playPair(const Pair& pair, QWidget& host, PairPlay& result) {
    const double before = cpuSeconds(RUSAGE_SELF);
    double duration = 0;
    {
        CGraphPlayer engine;
        if (!openPair(engine, pair, host) || !engine.StartPlayback() ||
            !engine.GetDurationSeconds(duration) || duration <= 0)
            return false;
        QTimer tick;
        tick.start(150);
        bool ended = false;
        QObject::connect(&tick, &QTimer::timeout, [&] {
            double t = 0;
            ended = engine.GetPositionSeconds(t) && t >= duration;
        });
        if (!serveUntil([&] { return ended; }, int(duration * 1000) + 10000))
            return false;
        settle(200);
        result.frontPainted = engine.CameraSurface(0)->PaintedFrames();
        result.rearPainted = engine.CameraSurface(1)->PaintedFrames();
    }
    result.cpuPerSecond = (cpuSeconds(RUSAGE_SELF) - before) / duration;
    return true;
}

// Paused, seeks to random targets until both cameras have painted their frame.
bool pairSeeks(const Pair& pair, QWidget& host, std::vector<double>& seeks) {
    CGraphPlayer engine;
    if (!openPair(engine, pair, host) || !engine.PausePlayback() ||
        !serveUntil([&] { return engine.CameraSurface(1)->PaintedFrames() > 0; }))
        return false;
    std::mt19937 random(20260520);
    std::uniform_real_distribution<double> where(0.5, pair.seconds - 0.5);
    for (int run = 0; run < kSeekRuns; ++run) {
        const double target = where(random);
        const quint64 front = engine.CameraSurface(0)->PaintedFrames();
        const quint64 rear = engine.CameraSurface(1)->PaintedFrames();
        const quint64 frontStored = engine.CameraSlot(0)->FrameCount();
        const quint64 rearStored = engine.CameraSlot(1)->FrameCount();
        QElapsedTimer clock;
        clock.start();
        // Painted counts move only for a frame of another time; a seek to the same frame is
        // seen by its new sample.
        if (!engine.SeekToSeconds(target) ||
            !serveUntil(
                [&] {
                    return engine.CameraSlot(0)->FrameCount() > frontStored &&
                           engine.CameraSlot(1)->FrameCount() > rearStored;
                },
                5000))
            return false;
        // Then until both are on screen.
        serveUntil(
            [&] {
                return engine.CameraSurface(0)->PaintedFrames() > front &&
                       engine.CameraSurface(1)->PaintedFrames() > rear;
            },
            200);
        seeks.push_back(clock.nsecsElapsed() / 1e6);
        settle(20);
    }
    return true;
}

int runPair(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    std::setlocale(LC_NUMERIC, "C");
    QTimer heartbeat; // keeps the event loop waking while frames come from other threads
    heartbeat.start(20);
    QTemporaryDir dir;
    Pair pair;
    if (!writePair(dir, pair))
        return 1;
    const QString gstLaunch = QStandardPaths::findExecutable("gst-launch-1.0");
    QFrame host;
    showAsVideoArea(host);

    // CPU per media second: ours playing both against playbin playing each into a fakesink,
    // the two floors added, in turns.
    std::vector<double> ours, floor;
    PairPlay last;
    for (int round = 0; round < kRounds; ++round) {
        PairPlay play;
        if (!playPair(pair, host, play)) {
            std::fprintf(stderr, "bench pair: the pair did not play to its end\n");
            return 1;
        }
        ours.push_back(play.cpuPerSecond);
        last = play;
        if (gstLaunch.isEmpty())
            continue;
        double both = 0;
        for (const QString& path : {pair.front, pair.rear}) {
            const double cpu = childCpu({gstLaunch.toLocal8Bit(), "-q", "playbin",
                                         "uri=" + uriOf(path), "video-sink=fakesink sync=true"});
            if (cpu < 0) {
                std::fprintf(stderr, "bench pair: gst-launch-1.0 failed on %s\n", qPrintable(path));
                return 1;
            }
            both += cpu;
        }
        floor.push_back(both / pair.seconds);
    }
    bench::report("pair.cpu_per_media_second.1920x1080_h264", bench::median(ours),
                  floor.empty() ? std::nullopt : std::optional<double>(bench::median(floor)), "s");
    const quint64 dropped = quint64(std::max(0, pair.frontFrames - int(last.frontPainted))) +
                            quint64(std::max(0, pair.rearFrames - int(last.rearPainted)));
    bench::report("pair.frames_not_painted", double(dropped), std::nullopt, "frames");
    std::fprintf(stderr, "  painted: front %llu of %d, rear %llu of %d\n",
                 (unsigned long long)last.frontPainted, pair.frontFrames,
                 (unsigned long long)last.rearPainted, pair.rearFrames);

    std::vector<double> seeks;
    if (!pairSeeks(pair, host, seeks) || seeks.empty()) {
        std::fprintf(stderr, "bench pair: no seek figures\n");
        return 1;
    }
    const double floorSeek = floorSeekMedian(uriOf(pair.front), pair.seconds, kSeekRuns);
    bench::report("pair.seek_to_painted_pair", bench::median(seeks),
                  floorSeek > 0 ? std::optional<double>(floorSeek) : std::nullopt, "ms");
    // Against a playbin for each camera seeking at once: the two decodes on this machine's
    // cores, without any of ours.
    const double bothSeek = floorSeekMedian(QByteArrayList{uriOf(pair.front), uriOf(pair.rear)},
                                            pair.seconds, kSeekRuns);
    bench::report("pair.seek_to_painted_pair_vs_two_playbins", bench::median(seeks),
                  bothSeek > 0 ? std::optional<double>(bothSeek) : std::nullopt, "ms");
    return 0;
}

bench::Registrar registrar("pair", runPair);

} // namespace
