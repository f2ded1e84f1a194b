// SPDX-License-Identifier: GPL-3.0-or-later
// Engine timings on the demo card's 640 x 480 and 1280 x 720 MJPEG and 1920 x 1080 H.264
// recordings and on a 1920 x 1080 H.265 MP4 as other recorders write (encoded here): open to the
// first frame on screen, seek and one-frame step latency while paused, and CPU seconds per media
// second at 1x playback into a visible surface. For the full-HD one also the frames shown against
// the frames decoded over a whole 1x playback, and how much the process's peak memory grows
// meanwhile (the floor: gst-launch-1.0 playing it, less its peak around an empty pipeline).
//
// Floors, measured in the same run and interleaved with ours (the order alternates):
// - open: playbin with its video going to "fakesink sync=true" (sound to playbin's default
//   sink, as ours), built in this process with gst_parse_launch and taken to PAUSED, timed
//   until gst_element_get_state without a timeout says its first frame is prerolled.
// - CPU: the gst-launch-1.0 program playing the same playbin line to the end of the file, as a
//   child process; its CPU time (from wait4) less the CPU gst-launch-1.0 spends starting and
//   ending around an empty pipeline, which our in-process figure never pays.
// Both sides of the CPU figure play the same 5 s clips, encoded like the card's recordings,
// from create to the end of the stream and teardown.
//
// bench engine [CARD]: CARD is a demo card folder; without it the card of the tests
// (PLAYER_TEST_CARD), else build/demo-card or build/tests/card, else the two recordings are
// encoded into a temporary folder.
#include "BenchCommon.h"
#include "BenchMedia.h"

#include "democard/DemoCard.h"
#include "playback/GraphPlayer.h"
#include "playback/GstHandles.h"
#include "playback/VideoSurface.h"
#include "ui/DialogUnits.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QFrame>
#include <QGuiApplication>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QTimer>
#include <QUrl>
#include <algorithm>
#include <cerrno>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <fcntl.h>
#include <functional>
#include <memory>
#include <optional>
#include <random>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

using namespace benchmedia;

using bench::serveUntil;

const int kOpenRuns = bench::Runs(9);
const int kLatencyRuns = bench::Runs(21);
const int kCpuRounds = bench::Runs(3);
const int kCpuClipSeconds = bench::Smoke() ? 1 : 5;

bool painted(const CGraphPlayer* engine) {
    return engine && engine->VideoSurface() && engine->VideoSurface()->PaintedFrames() > 0;
}

double position(CGraphPlayer& engine) {
    double seconds = -1;
    return engine.GetPositionSeconds(seconds) ? seconds : -1;
}

double percentile(std::vector<double> values, double p) {
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const size_t i = std::min(values.size() - 1, size_t(std::ceil(p * values.size())) - 1);
    return values[i];
}

void spread(const char* what, const std::vector<double>& values) {
    std::fprintf(stderr, "  %s: %zu runs, min %.3f, p95 %.3f, max %.3f\n", what, values.size(),
                 *std::min_element(values.begin(), values.end()), percentile(values, 0.95),
                 *std::max_element(values.begin(), values.end()));
}

// Seeks to the same targets, ours and the floor's: the median of the ratios target by target.
// Seek costs spread with the distance to the key frame before; the pairs keep that out.
void paired(const std::vector<double>& ours, const std::vector<double>& floor) {
    std::vector<double> ratios;
    for (size_t i = 0; i < ours.size() && i < floor.size(); ++i)
        if (floor[i] > 0)
            ratios.push_back(ours[i] / floor[i]);
    if (!ratios.empty())
        std::fprintf(stderr, "  seek, target by target: median ours/floor %.2f\n",
                     bench::median(ratios));
}

// The card's first MJPEG recording of each picture size (640 x 480 and 1280 x 720) and its
// full-HD H.264 one.
QList<democard::Recording> measuredRecordings() {
    QList<democard::Recording> chosen;
    for (const democard::Recording& rec : democard::standardRecordings()) {
        if (rec.videoCodec == QLatin1String("mjpeg") &&
            std::none_of(chosen.begin(), chosen.end(), [&](const democard::Recording& c) {
                return c.width == rec.width && c.height == rec.height;
            }))
            chosen.append(rec);
    }
    chosen.append(democard::fullHdRecording());
    return chosen;
}

QString labelOf(const democard::Recording& rec) {
    return QString("%1x%2_%3")
        .arg(rec.width)
        .arg(rec.height)
        .arg(rec.videoCodec == QLatin1String("libx264") ? "h264" : rec.videoCodec);
}

// A card folder holding `recordings`: the one named on the command line, the tests' card,
// build/demo-card or build/tests/card; else they alone are written into `scratch` (a whole
// card takes longer to encode than this group may run).
QString findCard(int argc, char** argv, QTemporaryDir& scratch,
                 const QList<democard::Recording>& recordings) {
    QStringList candidates;
    if (argc > 1)
        candidates << QString::fromLocal8Bit(argv[1]);
    if (!qEnvironmentVariableIsEmpty("PLAYER_TEST_CARD"))
        candidates << qEnvironmentVariable("PLAYER_TEST_CARD");
    candidates << QCoreApplication::applicationDirPath() + "/demo-card"
               << QCoreApplication::applicationDirPath() + "/tests/card";
    for (const QString& dir : candidates) {
        if (std::all_of(recordings.begin(), recordings.end(), [&](const democard::Recording& r) {
                return QFile::exists(QDir(dir).filePath(r.name));
            }))
            return QDir(dir).absolutePath();
    }
    std::fprintf(stderr, "bench engine: writing the recordings to %s\n",
                 qPrintable(scratch.path()));
    for (const democard::Recording& rec : recordings) {
        QString error;
        if (!democard::writeRecording(rec, QDir(scratch.path()).filePath(rec.name), &error)) {
            std::fprintf(stderr, "bench engine: %s\n", qPrintable(error));
            return {};
        }
    }
    return scratch.path();
}

// Ours: a fresh engine until its first frame is painted in the host.
double openOurs(const QString& path, QWidget& host) {
    QElapsedTimer clock;
    clock.start();
    auto engine = std::make_unique<CGraphPlayer>();
    const bool opened = engine->CreateGraph() && engine->OpenMediaFile(path) &&
                        engine->AttachVideoWindow(&host) && engine->PausePlayback();
    if (!opened || !serveUntil([&] { return painted(engine.get()); }))
        return -1;
    const double ms = clock.nsecsElapsed() / 1e6;
    engine.reset();
    return ms;
}

// The floor: playbin into a fakesink, parsed and prerolled in this process.
double openFloor(const QByteArray& uri) {
    const QByteArray line = "playbin uri=\"" + uri + "\" video-sink=\"fakesink sync=true\"";
    QElapsedTimer clock;
    clock.start();
    GError* error = nullptr;
    GstElement* parsed = gst_parse_launch(line.constData(), &error);
    if (error) {
        std::fprintf(stderr, "bench engine: %s\n", error->message);
        g_error_free(error);
    }
    if (!parsed)
        return -1;
    GstElementPtr pipeline(GST_ELEMENT(gst_object_ref_sink(parsed)));
    const bool prerolled =
        gst_element_set_state(pipeline.get(), GST_STATE_PAUSED) != GST_STATE_CHANGE_FAILURE &&
        gst_element_get_state(pipeline.get(), nullptr, nullptr, GST_CLOCK_TIME_NONE) ==
            GST_STATE_CHANGE_SUCCESS;
    const double ms = clock.nsecsElapsed() / 1e6;
    gst_element_set_state(pipeline.get(), GST_STATE_NULL);
    return prerolled ? ms : -1;
}

// Plays `path` from its start to its end at 1x in the visible host, the window's timer polling
// the engine as it does while a recording plays; `atEnd` sees the engine before it goes.
bool playToEnd(const QString& path, QWidget& host, double& duration,
               const std::function<void(CGraphPlayer&)>& atEnd = {}) {
    CGraphPlayer engine;
    if (!engine.CreateGraph() || !engine.OpenMediaFile(path) || !engine.AttachVideoWindow(&host) ||
        !engine.StartPlayback() || !engine.GetDurationSeconds(duration) || duration <= 0)
        return false;
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    tick.start(150);
    bool ended = false;
    QObject::connect(&tick, &QTimer::timeout, [&] { ended = position(engine) >= duration; });
    if (!serveUntil([&] { return ended; }, int(duration * 1000) + 10000))
        return false;
    if (atEnd)
        atEnd(engine);
    return true;
}

// Ours: create, open, play into the visible host to the end, tear down; CPU of the whole
// process (every thread) per media second.
double cpuOurs(const QString& path, QWidget& host) {
    const double before = cpuSeconds(RUSAGE_SELF);
    double duration = 0;
    if (!playToEnd(path, host, duration))
        return -1;
    return (cpuSeconds(RUSAGE_SELF) - before) / duration;
}

struct WholePlay {
    quint64 decoded = 0;
    quint64 shown = 0;
    double peakGrowthKb = -1;
};

// Ours: the whole recording at 1x from its start in the visible host; the frames handed to
// the decoder, the distinct frames painted and how far the peak memory rose above where it
// stood before the open.
bool playWhole(const QString& path, QWidget& host, WholePlay& result) {
    QFile clear("/proc/self/clear_refs"); // "5" resets the peak to the present use
    if (clear.open(QIODevice::WriteOnly))
        clear.write("5");
    clear.close();
    const double before = statusKb("VmRSS");
    double duration = 0;
    if (!playToEnd(path, host, duration, [&](CGraphPlayer& engine) {
            settle(200); // the last frame's paint
            result.decoded = engine.FramesDecoded();
            result.shown = engine.VideoSurface() ? engine.VideoSurface()->PaintedFrames() : 0;
        }))
        return false;
    const double peak = statusKb("VmHWM");
    result.peakGrowthKb = before >= 0 && peak >= 0 ? peak - before : -1;
    return true;
}

struct Subject {
    QString label; // e.g. "640x480_mjpeg"
    QString cardPath;
    QString clipPath; // the short clip of the CPU figure
    double clipSeconds = 0;
};

// Seek and step while paused, in a visible host; false when the engine never answered.

// With `floorSeeks`, playbin's accurate seek to each target too, interleaved with ours (which
// goes first alternates), so both see the machine alike.
bool latencies(const Subject& s, QWidget& host, std::vector<double>& seeks,
               std::vector<double>& steps, std::vector<double>* floorSeeks = nullptr,
               std::vector<double>* decoded = nullptr) {
    std::optional<FloorSeeker> floor;
    if (floorSeeks) {
        floor.emplace(QByteArrayList{uriOf(s.cardPath)});
        if (!floor->ok())
            return false;
    }
    CGraphPlayer engine;
    if (!engine.CreateGraph() || !engine.OpenMediaFile(s.cardPath) ||
        !engine.AttachVideoWindow(&host) || !engine.PausePlayback() ||
        !serveUntil([&] { return painted(&engine); }))
        return false;
    double duration = 0;
    if (!engine.GetDurationSeconds(duration) || duration < 2)
        return false;

    std::mt19937 random(20260520);
    std::uniform_real_distribution<double> where(0.5, duration - 0.5);
    for (int run = 0; run < kLatencyRuns; ++run) {
        const double target = where(random);
        if (floor && run % 2 == 1) {
            floorSeeks->push_back(floor->seek(target));
            settle(20);
        }
        const quint64 before = engine.FramesDelivered();
        const quint64 decodedBefore = engine.FramesDecoded();
        QElapsedTimer clock;
        clock.start();
        if (!engine.SeekToSeconds(target) || !serveUntil(
                                                 [&] {
                                                     return engine.FramesDelivered() > before &&
                                                            std::abs(position(engine) - target) <=
                                                                0.05;
                                                 },
                                                 5000)) {
            std::fprintf(stderr, "bench engine: %s: the seek to %.3f s ended at %.3f s\n",
                         qPrintable(s.label), target, position(engine));
            return false;
        }
        seeks.push_back(clock.nsecsElapsed() / 1e6);
        if (decoded)
            decoded->push_back(double(engine.FramesDecoded() - decodedBefore));
        settle(20);
        if (floor && run % 2 == 0) {
            floorSeeks->push_back(floor->seek(target));
            settle(20);
        }
        if (floorSeeks && floorSeeks->back() < 0)
            return false;
    }

    // Steps from one second in, each until the next frame arrives.
    const quint64 delivered = engine.FramesDelivered();
    if (!engine.SeekToSeconds(1.0) ||
        !serveUntil([&] { return engine.FramesDelivered() > delivered; }, 5000))
        return false;
    settle(20);
    for (int run = 0; run < kLatencyRuns; ++run) {
        const quint64 before = engine.FramesDelivered();
        QElapsedTimer clock;
        clock.start();
        if (!engine.StepOneFrame() ||
            !serveUntil([&] { return engine.FramesDelivered() > before; }, 5000)) {
            std::fprintf(stderr, "bench engine: %s: step %d brought no frame\n",
                         qPrintable(s.label), run + 1);
            return false;
        }
        steps.push_back(clock.nsecsElapsed() / 1e6);
        settle(20);
    }
    engine.StopPlayback();
    return true;
}

int runEngine(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    std::setlocale(LC_NUMERIC, "C"); // the JSON lines carry numbers with a decimal point
    // Keeps the event loop waking while we wait for a frame from the streaming thread.
    QTimer heartbeat;
    heartbeat.start(20);

    const QList<democard::Recording> recordings = measuredRecordings();
    const democard::Recording powerCut = democard::powerCutRecording();
    QTemporaryDir scratch;
    const QString card = findCard(argc, argv, scratch, recordings + QList{powerCut});
    if (card.isEmpty())
        return 1;
    const QString gstLaunch = QStandardPaths::findExecutable("gst-launch-1.0");
    if (gstLaunch.isEmpty())
        std::fprintf(stderr, "bench engine: gst-launch-1.0 is not installed; no CPU floor\n");

    // The card's 640 x 480 and 1280 x 720 MJPEG recordings, and short clips encoded alike.
    QTemporaryDir clips;
    std::vector<Subject> subjects;
    for (const democard::Recording& rec : recordings) {
        const QString label = labelOf(rec);
        democard::Recording clip = rec;
        clip.seconds = kCpuClipSeconds;
        clip.name = QString("clip-%1.asf").arg(label);
        const QString clipPath = clips.filePath(clip.name);
        QString error;
        if (!democard::writeRecording(clip, clipPath, &error)) {
            std::fprintf(stderr, "bench engine: %s\n", qPrintable(error));
            return 1;
        }
        CGraphPlayer probe;
        double seconds = 0;
        if (!probe.CreateGraph() || !probe.OpenMediaFile(clipPath) ||
            !probe.GetDurationSeconds(seconds) || seconds <= 0) {
            std::fprintf(stderr, "bench engine: the clip %s does not open\n", qPrintable(clipPath));
            return 1;
        }
        subjects.push_back({label, QDir(card).filePath(rec.name), clipPath, seconds});
    }
    {
        // Another recorder's kind of file: full-HD H.265 in MP4, opened and played alike.
        democard::Recording hevc = democard::fullHdRecording();
        hevc.videoCodec = QStringLiteral("libx265");
        hevc.audioCodec = QStringLiteral("aac");
        // Seeks and steps need two seconds at least, even in the short run.
        hevc.seconds = std::max(kCpuClipSeconds, 3);
        hevc.name = QStringLiteral("fullhd-h265.mp4");
        const QString path = clips.filePath(hevc.name);
        QString error;
        if (!democard::writeRecording(hevc, path, &error)) {
            std::fprintf(stderr, "bench engine: %s\n", qPrintable(error));
            return 1;
        }
        subjects.push_back(
            {QStringLiteral("1920x1080_h265_mp4"), path, path, double(hevc.seconds)});
    }
    if (subjects.empty()) {
        std::fprintf(stderr, "bench engine: the card has none of the measured recordings\n");
        return 1;
    }

    QFrame host;
    showAsVideoArea(host);

    // The first open of either kind loads the plugins for both; it is not counted.
    if (openOurs(subjects.front().cardPath, host) < 0 ||
        openFloor(uriOf(subjects.front().cardPath)) < 0) {
        std::fprintf(stderr, "bench engine: %s does not open\n",
                     qPrintable(subjects.front().cardPath));
        return 1;
    }

    for (const Subject& s : subjects) {
        const QByteArray uri = uriOf(s.cardPath);
        std::vector<double> ours, floor;
        for (int run = 0; run < kOpenRuns; ++run) {
            for (int side = 0; side < 2; ++side) {
                const bool oursNow = (side == 0) == (run % 2 == 0);
                const double ms = oursNow ? openOurs(s.cardPath, host) : openFloor(uri);
                if (ms < 0) {
                    std::fprintf(stderr, "bench engine: %s did not open\n", qPrintable(s.cardPath));
                    return 1;
                }
                (oursNow ? ours : floor).push_back(ms);
                settle(10);
            }
        }
        bench::report("engine.open_to_first_frame." + s.label, bench::median(ours),
                      bench::median(floor), "ms");
    }

    for (const Subject& s : subjects) {
        std::vector<double> seeks, steps, floorSeeks, decoded;
        if (!latencies(s, host, seeks, steps, &floorSeeks, &decoded)) {
            std::fprintf(stderr, "bench engine: %s: no seek or step figures\n",
                         qPrintable(s.label));
            return 1;
        }
        bench::report("engine.seek." + s.label, bench::median(seeks), bench::median(floorSeeks),
                      "ms");
        spread("seek", seeks);
        paired(seeks, floorSeeks);
        // Frames handed to the decoder from a seek until its frame is on screen.
        bench::report("engine.seek_frames_decoded." + s.label, bench::median(decoded), std::nullopt,
                      "frames");
        bench::report("engine.step." + s.label, bench::median(steps), std::nullopt, "ms");
        spread("step", steps);
    }

    // The recording a power loss cut short (no index, no length): opening against the floor,
    // how soon after the open a seek shows its frame, and seeks and steps.
    {
        const QString path = QDir(card).filePath(powerCut.name);
        std::vector<double> ours, floor, firstSeek;
        for (int run = 0; run < kOpenRuns; ++run) {
            ours.push_back(openOurs(path, host));
            floor.push_back(openFloor(uriOf(path)));
            QElapsedTimer clock;
            clock.start();
            CGraphPlayer engine;
            double duration = 0;
            if (!engine.CreateGraph() || !engine.OpenMediaFile(path) ||
                !engine.AttachVideoWindow(&host) || !engine.PausePlayback() ||
                !engine.GetDurationSeconds(duration))
                return 1;
            const quint64 before = engine.FramesDelivered();
            if (!engine.SeekToSeconds(duration / 2) ||
                !serveUntil([&] { return engine.FramesDelivered() > before; }, 5000))
                return 1;
            firstSeek.push_back(clock.nsecsElapsed() / 1e6);
            settle(10);
        }
        if (*std::min_element(ours.begin(), ours.end()) < 0 ||
            *std::min_element(floor.begin(), floor.end()) < 0) {
            std::fprintf(stderr, "bench engine: %s did not open\n", qPrintable(path));
            return 1;
        }
        bench::report("engine.open_to_first_frame.power_cut", bench::median(ours),
                      bench::median(floor), "ms");
        bench::report("engine.open_to_first_seek.power_cut", bench::median(firstSeek), std::nullopt,
                      "ms");
        std::vector<double> seeks, steps;
        if (!latencies({QStringLiteral("power_cut"), path, {}, 0}, host, seeks, steps)) {
            std::fprintf(stderr, "bench engine: power_cut: no seek or step figures\n");
            return 1;
        }
        bench::report("engine.seek.power_cut", bench::median(seeks), std::nullopt, "ms");
        spread("seek", seeks);
        bench::report("engine.step.power_cut", bench::median(steps), std::nullopt, "ms");
        spread("step", steps);
    }

    // A recording with B-frames, as an encoder left at its defaults writes them: seeks against
    // playbin's accurate seeks to the same targets, and steps.
    {
        const QList<democard::Recording> odd = democard::oddRecordings();
        const auto bframes = std::find_if(odd.begin(), odd.end(), [](const democard::Recording& r) {
            return r.bFrames > 0 && r.videoCodec == QLatin1String("libx264") && !r.cutPermille;
        });
        const QString path = clips.filePath(bframes->name);
        QString error;
        if (!democard::writeRecording(*bframes, path, &error)) {
            std::fprintf(stderr, "bench engine: %s\n", qPrintable(error));
            return 1;
        }
        const QString label = labelOf(*bframes) + "_bframes";
        std::vector<double> seeks, steps, floorSeeks, decoded;
        if (!latencies({label, path, {}, 0}, host, seeks, steps, &floorSeeks, &decoded)) {
            std::fprintf(stderr, "bench engine: %s: no seek or step figures\n", qPrintable(label));
            return 1;
        }
        bench::report("engine.seek." + label, bench::median(seeks), bench::median(floorSeeks),
                      "ms");
        spread("seek", seeks);
        paired(seeks, floorSeeks);
        bench::report("engine.seek_frames_decoded." + label, bench::median(decoded), std::nullopt,
                      "frames");
        bench::report("engine.step." + label, bench::median(steps), std::nullopt, "ms");
        spread("step", steps);
    }

    // What gst-launch-1.0 costs around an empty pipeline: loading, registry, teardown.
    std::vector<double> launchCosts;
    if (!gstLaunch.isEmpty()) {
        for (int run = 0; run < 3; ++run) {
            const double cpu = childCpu(
                {gstLaunch.toLocal8Bit(), "-q", "fakesrc", "num-buffers=1", "!", "fakesink"});
            if (cpu >= 0)
                launchCosts.push_back(cpu);
        }
    }
    const double launchCost = launchCosts.empty() ? 0 : bench::median(launchCosts);
    if (!launchCosts.empty())
        std::fprintf(stderr, "  gst-launch-1.0 around an empty pipeline: %.3f s CPU\n", launchCost);

    // Under X11 the path the engine picks there (the overlay where the X server scales, else our
    // own surface), and the overlay taken whatever it costs beside it.
    const bool x11 = QGuiApplication::platformName() == QLatin1String("xcb");
    const QString cpuMetric = x11 ? QStringLiteral("engine.cpu_per_media_second.x11.")
                                  : QStringLiteral("engine.cpu_per_media_second.");
    for (const Subject& s : subjects) {
        const QByteArray uri = uriOf(s.clipPath);
        std::vector<double> ours, floor, forcedOverlay;
        for (int round = 0; round < kCpuRounds; ++round) {
            for (int side = 0; side < 2; ++side) {
                const bool oursNow = (side == 0) == (round % 2 == 0);
                if (oursNow) {
                    const double cpu = cpuOurs(s.clipPath, host);
                    if (cpu < 0) {
                        std::fprintf(stderr, "bench engine: %s did not play to its end\n",
                                     qPrintable(s.clipPath));
                        return 1;
                    }
                    ours.push_back(cpu);
                    if (x11) {
                        qputenv("DASHCARD_VIDEO_PATH", "overlay");
                        forcedOverlay.push_back(cpuOurs(s.clipPath, host));
                        qunsetenv("DASHCARD_VIDEO_PATH");
                    }
                } else if (!gstLaunch.isEmpty()) {
                    const double cpu = childCpu({gstLaunch.toLocal8Bit(), "-q", "playbin",
                                                 "uri=" + uri, "video-sink=fakesink sync=true"});
                    if (cpu < 0) {
                        std::fprintf(stderr, "bench engine: gst-launch-1.0 failed on %s\n",
                                     qPrintable(s.clipPath));
                        return 1;
                    }
                    floor.push_back(std::max(0.0, cpu - launchCost) / s.clipSeconds);
                }
                settle(10);
            }
        }
        bench::report(cpuMetric + s.label, bench::median(ours),
                      floor.empty() ? std::nullopt : std::optional<double>(bench::median(floor)),
                      "s");
        spread("ours", ours);
        if (!forcedOverlay.empty())
            bench::report(
                "engine.cpu_per_media_second.x11_overlay_asked." + s.label,
                bench::median(forcedOverlay),
                floor.empty() ? std::nullopt : std::optional<double>(bench::median(floor)), "s");
        if (!floor.empty())
            spread("floor", floor);
    }

    // Two seconds at 1x of the 1280 x 720 MJPEG recording: frames painted against frames the
    // engine was given, on the path the platform takes (and under X11 on our own surface too).
    for (const bool asked : {false, true}) {
        if (asked && !x11)
            break;
        if (asked)
            qputenv("DASHCARD_VIDEO_PATH", "overlay");
        CGraphPlayer engine;
        const QString path = subjects.size() > 1 ? subjects[1].cardPath : subjects[0].cardPath;
        if (!engine.CreateGraph() || !engine.OpenMediaFile(path) ||
            !engine.AttachVideoWindow(&host) || !engine.StartPlayback())
            return 1;
        settle(2000);
        const QString which = !x11    ? QStringLiteral("offscreen")
                              : asked ? QStringLiteral("x11_overlay_asked")
                                      : QStringLiteral("x11");
        std::fprintf(stderr, "  video: %s\n", qPrintable(engine.VideoPath()));
        bench::report("engine.play_2s.frames_painted_of_delivered." + which,
                      double(engine.VideoSurface()->PaintedFrames()),
                      double(engine.FramesDelivered()), "frames");
        // The first frame comes twice (prerolled, then played) and is painted once: what the
        // engine counts as never shown is the figure.
        bench::report("engine.play_2s.frames_delivered_not_painted." + which,
                      double(engine.FramesNotShown()), std::nullopt, "frames");
        if (engine.FramesNotShown() > 0)
            std::fprintf(stderr, "  not shown: %s\n", qPrintable(engine.FramesNotShownReason()));
        qunsetenv("DASHCARD_VIDEO_PATH");
    }

    // The full-HD recording played whole at 1x: every frame decoded must be shown, and the
    // memory it takes against gst-launch-1.0 playing the same file.
    const democard::Recording hd = democard::fullHdRecording();
    const QString hdPath = QDir(card).filePath(hd.name);
    WholePlay whole;
    if (!playWhole(hdPath, host, whole)) {
        std::fprintf(stderr, "bench engine: %s did not play to its end\n", qPrintable(hdPath));
        return 1;
    }
    const QString hdLabel = labelOf(hd);
    bench::report("engine.frames_decoded." + hdLabel, double(whole.decoded), std::nullopt,
                  "frames");
    bench::report("engine.frames_dropped." + hdLabel,
                  double(whole.decoded > whole.shown ? whole.decoded - whole.shown : 0),
                  std::nullopt, "frames");
    std::optional<double> floorPeak;
    if (!gstLaunch.isEmpty()) {
        double emptyKb = 0, playKb = 0;
        // Half a second of a pipeline that loads next to nothing: long enough to be read.
        if (childCpu({gstLaunch.toLocal8Bit(), "-q", "audiotestsrc", "num-buffers=20", "!",
                      "fakesink", "sync=true"},
                     &emptyKb) >= 0 &&
            childCpu({gstLaunch.toLocal8Bit(), "-q", "playbin", "uri=" + uriOf(hdPath),
                      "video-sink=fakesink sync=true"},
                     &playKb) >= 0)
            floorPeak =
                emptyKb > 0 ? std::optional<double>((playKb - emptyKb) / 1024) : std::nullopt;
    }
    bench::report("engine.peak_memory_growth." + hdLabel, whole.peakGrowthKb / 1024, floorPeak,
                  "MiB");
    return 0;
}

// bench play FILE: plays one file whole at 1x in the player's video area and prints the CPU
// it took per media second and its frame counts; a subject for a profiler.
int runPlay(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench play FILE\n");
        return 2;
    }
    QFrame host;
    showAsVideoArea(host);
    const double before = cpuSeconds(RUSAGE_SELF);
    WholePlay whole;
    if (!playWhole(QString::fromLocal8Bit(argv[1]), host, whole))
        return 1;
    bench::report(QStringLiteral("play.cpu"), cpuSeconds(RUSAGE_SELF) - before, std::nullopt, "s");
    bench::report(QStringLiteral("play.frames_shown"), double(whole.shown), double(whole.decoded),
                  "frames");
    bench::report(QStringLiteral("play.peak_memory_growth"), whole.peakGrowthKb / 1024,
                  std::nullopt, "MiB");
    return 0;
}

bench::Registrar registrar("engine", runEngine);
bench::Registrar playRegistrar("play", runPlay);

} // namespace
