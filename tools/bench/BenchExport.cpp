// SPDX-License-Identifier: GPL-3.0-or-later
// Clip export: a lossless span of the demo card's 60 s 640 x 480 MJPEG recording and of its
// full-HD H.264 one, against ffmpeg's stream copy of the same span (`-ss … -t … -c copy`),
// timed in the same run, alternating.
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

constexpr int kRuns = 5;

struct Span {
    democard::Recording rec;
    double from, to;
};

double ours(const QString& source, const Span& span, const QString& out) {
    for (const QString& f : ClipExport::OutputsFor(out))
        QFile::remove(f);
    ClipExport::Request request;
    request.source = source;
    request.from = span.from;
    request.to = span.to;
    request.out = out;
    QElapsedTimer clock;
    clock.start();
    const ClipExport::Result result = ClipExport::Export(request, {});
    return result.error.isEmpty() ? clock.nsecsElapsed() / 1e6 : -1;
}

double ffmpegCopy(const QString& ffmpeg, const QString& source, const Span& span,
                  const QString& out) {
    QFile::remove(out);
    QProcess p;
    QElapsedTimer clock;
    clock.start();
    p.start(ffmpeg, {"-v", "error", "-y", "-ss", QString::number(span.from), "-i", source, "-t",
                     QString::number(span.to - span.from), "-map", "0", "-c", "copy", out});
    return p.waitForFinished(300000) && p.exitCode() == 0 ? clock.nsecsElapsed() / 1e6 : -1;
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
        QString source = qEnvironmentVariable("PLAYER_TEST_CARD");
        source = source.isEmpty() ? QString() : QDir(source).filePath(span.rec.name);
        if (source.isEmpty() || !QFile::exists(source)) {
            source = scratch.filePath(span.rec.name);
            QString error;
            if (!democard::writeRecording(span.rec, source, &error)) {
                std::fprintf(stderr, "bench export: %s\n", qPrintable(error));
                return 1;
            }
        }
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
    return 0;
}

const bench::Registrar registered("export", runExport);

} // namespace
