// SPDX-License-Identifier: GPL-3.0-or-later
// Clip export: a lossless span of the demo card's 60 s 640 x 480 MJPEG recording and of its
// full-HD H.264 one, against ffmpeg's stream copy of the same span (`-ss … -t … -c copy`),
// timed in the same run, alternating; and 20 s of the full-HD one re-encoded with the data in
// the picture against ffmpeg's libx264 (-preset veryfast) with a drawtext filter of the same
// three lines, with the share of real time ours takes.
#include "BenchCommon.h"

#include "clip/ClipExport.h"
#include "democard/DemoCard.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <cstdio>

namespace {

const int kRuns = bench::Runs(5);

struct Span {
    democard::Recording rec;
    double from, to;
};

double ours(const QString& source, const Span& span, const QString& out, bool overlay = false) {
    for (const QString& f : ClipExport::OutputsFor(out, overlay))
        QFile::remove(f);
    ClipExport::Request request;
    request.source = source;
    request.from = span.from;
    request.to = span.to;
    request.out = out;
    request.overlay = overlay;
    QElapsedTimer clock;
    clock.start();
    const ClipExport::Result result = ClipExport::Export(request, {});
    return result.error.isEmpty() ? clock.nsecsElapsed() / 1e6 : -1;
}

// ffmpeg run on the span with `options`; its time, or -1 when it failed.
double ffmpegOn(const QString& ffmpeg, const QString& source, const Span& span,
                const QStringList& options, const QString& out) {
    QFile::remove(out);
    QProcess p;
    QElapsedTimer clock;
    clock.start();
    p.start(ffmpeg, QStringList{"-v", "error", "-y", "-ss", QString::number(span.from), "-i",
                                source, "-t", QString::number(span.to - span.from)} +
                        options + QStringList{out});
    return p.waitForFinished(600000) && p.exitCode() == 0 ? clock.nsecsElapsed() / 1e6 : -1;
}

double ffmpegCopy(const QString& ffmpeg, const QString& source, const Span& span,
                  const QString& out) {
    return ffmpegOn(ffmpeg, source, span, {"-map", "0", "-c", "copy"}, out);
}

double ffmpegOverlay(const QString& ffmpeg, const QString& source, const Span& span,
                     const QString& out) {
    return ffmpegOn(ffmpeg, source, span,
                    {"-vf",
                     "drawtext=text='2026/05/20 16\\:02\\:45\n52.3 km/h\nX +0.20 g  Y +0.05 g  "
                     "Z +1.01 g':fontsize=36:fontcolor=white:box=1:boxcolor=black@0.5:x=20:y=20",
                     "-c:v", "libx264", "-preset", "veryfast", "-c:a", "aac"},
                    out);
}

QString sourceOf(const democard::Recording& rec, QTemporaryDir& scratch) {
    QString source = qEnvironmentVariable("PLAYER_TEST_CARD");
    source = source.isEmpty() ? QString() : QDir(source).filePath(rec.name);
    if (source.isEmpty() || !QFile::exists(source)) {
        source = scratch.filePath(rec.name);
        QString error;
        if (!QFile::exists(source) && !democard::writeRecording(rec, source, &error)) {
            std::fprintf(stderr, "bench export: %s\n", qPrintable(error));
            return {};
        }
    }
    return source;
}

int runExport(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QString ffmpeg = QStandardPaths::findExecutable("ffmpeg");
    if (ffmpeg.isEmpty()) {
        std::fprintf(stderr, "bench export: ffmpeg is missing\n");
        return 1;
    }
    QTemporaryDir scratch;
    std::vector<Span> spans;
    for (const democard::Recording& rec : democard::standardRecordings())
        if (rec.name == QLatin1String("0005.asf"))
            spans.push_back({rec, 10, 40});
    spans.push_back({democard::fullHdRecording(), 5, 20});
    for (const Span& span : spans) {
        const QString source = sourceOf(span.rec, scratch);
        if (source.isEmpty())
            return 1;
        std::vector<double> mine, theirs;
        for (int run = 0; run < kRuns; ++run) {
            const double a = ours(source, span, scratch.filePath("ours.mkv"));
            const double b = ffmpegCopy(ffmpeg, source, span, scratch.filePath("ffmpeg.mkv"));
            if (a < 0 || b < 0) {
                std::fprintf(stderr, "bench export: %s did not export\n",
                             qPrintable(span.rec.name));
                return 1;
            }
            mine.push_back(a);
            theirs.push_back(b);
        }
        bench::report(QStringLiteral("export.lossless.%1x%2_%3s")
                          .arg(span.rec.width)
                          .arg(span.rec.height)
                          .arg(span.to - span.from),
                      bench::median(mine), bench::median(theirs), "ms");
    }

    // Re-encoding is long: two runs each.
    const Span hd{democard::fullHdRecording(), 2, bench::Smoke() ? 4.0 : 22.0};
    const QString source = sourceOf(hd.rec, scratch);
    if (source.isEmpty())
        return 1;
    std::vector<double> mine, theirs;
    for (int run = 0; run < bench::Runs(2) - (bench::Smoke() ? 1 : 0); ++run) {
        const double a = ours(source, hd, scratch.filePath("overlay.mkv"), true);
        const double b = ffmpegOverlay(ffmpeg, source, hd, scratch.filePath("ffmpeg.mp4"));
        if (a < 0 || b < 0) {
            std::fprintf(stderr, "bench export: the overlay export failed\n");
            return 1;
        }
        mine.push_back(a);
        theirs.push_back(b);
    }
    const QString overlay = QStringLiteral("export.overlay.1920x1080_%1s").arg(hd.to - hd.from);
    bench::report(overlay, bench::median(mine), bench::median(theirs), "ms");
    std::fprintf(stderr, "%s: %.2f x real time (ours)\n", qPrintable(overlay),
                 (hd.to - hd.from) * 1000 / bench::median(mine));
    return 0;
}

const bench::Registrar registered("export", runExport);

} // namespace
