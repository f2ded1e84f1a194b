// SPDX-License-Identifier: GPL-3.0-or-later
// Other recorders' cards: a folder of 500 one-minute MP4 recordings (written here, the layouts in
// turn: Novatek blocks, the free box with NMEA, GPMF, the GPS box, NMEA beside), listed and their
// trips read as the event search does it, against `cat` reading the same bytes in the same run
// (both from the page cache); then the same scan again, served by the tracks kept of files that
// did not change.
#include "BenchCommon.h"

#include "card/CardFiles.h"
#include "democard/CameraCard.h"
#include "democard/DemoCard.h"
#include "trip/TripReader.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <cstdio>

namespace {

const int kFiles = bench::Smoke() ? 10 : 500;
const int kRuns = bench::Runs(3);

bool writeFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

// The card folder's recordings and every byte beside them (for cat).
bool writeCard(const QString& folder, QStringList& allFiles) {
    democard::Recording base;
    base.name = QStringLiteral("base.mp4");
    base.seconds = 60;
    base.width = 320;
    base.height = 180;
    base.fps = 30;
    base.videoCodec = QStringLiteral("libx264");
    const QString basePath = folder + QStringLiteral("/.base.mp4");
    QString error;
    if (!democard::writeRecording(base, basePath, &error)) {
        std::fprintf(stderr, "bench cards: %s\n", qPrintable(error));
        return false;
    }
    QFile baseFile(basePath);
    if (!baseFile.open(QIODevice::ReadOnly))
        return false;
    const QByteArray video = baseFile.readAll();
    const democard::TripLayout layouts[] = {
        democard::TripLayout::Novatek, democard::TripLayout::FreeBoxNmea,
        democard::TripLayout::Gpmf, democard::TripLayout::GpsBox, democard::TripLayout::NmeaBeside};
    democard::Recording rec = democard::cameraRecordings().front().rec;
    rec.seconds = 60;
    const QDateTime first = rec.start;
    for (int i = 0; i < kFiles; ++i) {
        rec.start = first.addSecs(60 * i);
        rec.seed = 100 + i;
        const QString path = folder + rec.start.toString(QStringLiteral("/yyyy_MMdd_HHmmss")) +
                             QStringLiteral("_%1F.MP4").arg(i + 1, 4, 10, QLatin1Char('0'));
        const democard::TripLayout layout = layouts[i % 5];
        if (!writeFile(path, democard::withTrip(video, rec, layout)))
            return false;
        allFiles.append(path);
        if (layout == democard::TripLayout::NmeaBeside) {
            if (!writeFile(democard::nmeaName(path), democard::nmeaText(rec)))
                return false;
            allFiles.append(democard::nmeaName(path));
        }
    }
    QFile::remove(basePath);
    return true;
}

// Lists the folder and reads every recording's trip; the samples read, or -1.
qint64 scan(const QString& folder) {
    qint64 samples = 0;
    for (const QString& name : CardFiles::OtherRecorderFiles(folder)) {
        TripTrack track;
        if (!TripReaders::Read(folder + QLatin1Char('/') + name, 0, track))
            return -1;
        samples += qint64(track.samples.size());
    }
    return samples;
}

double catAll(const QStringList& files) {
    QProcess p;
    p.setStandardOutputFile(QProcess::nullDevice());
    QElapsedTimer clock;
    clock.start();
    p.start(QStringLiteral("cat"), files);
    return p.waitForFinished(300000) && p.exitCode() == 0 ? clock.nsecsElapsed() / 1e6 : -1;
}

int runCards(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QTemporaryDir scratch;
    QStringList files;
    if (!scratch.isValid() || !writeCard(scratch.path(), files)) {
        std::fprintf(stderr, "bench cards: cannot write the card\n");
        return 1;
    }
    qint64 bytes = 0;
    for (const QString& f : files)
        bytes += QFileInfo(f).size();
    catAll(files); // both read from the page cache
    std::vector<double> ours, cats, again;
    qint64 samples = 0;
    for (int run = 0; run < kRuns; ++run) {
        QElapsedTimer clock;
        clock.start();
        samples = scan(scratch.path());
        ours.push_back(clock.nsecsElapsed() / 1e6);
        cats.push_back(catAll(files));
        clock.restart();
        const qint64 second = scan(scratch.path());
        again.push_back(clock.nsecsElapsed() / 1e6);
        if (samples < 0 || second != samples) {
            std::fprintf(stderr, "bench cards: a scan failed (%lld, then %lld samples)\n",
                         qlonglong(samples), qlonglong(second));
            return 1;
        }
        // Files touched since are read again, not served as they were: the next run is cold.
        for (const QString& path : files) {
            QFile f(path);
            if (!f.open(QIODevice::ReadWrite) ||
                !f.setFileTime(QDateTime::currentDateTimeUtc().addSecs(-run - 1),
                               QFileDevice::FileModificationTime)) {
                std::fprintf(stderr, "bench cards: cannot touch %s\n", qPrintable(path));
                return 1;
            }
        }
    }
    std::fprintf(stderr, "  %d recordings, %.0f MB, %lld trip samples\n", kFiles, bytes / 1e6,
                 qlonglong(samples));
    bench::report(QStringLiteral("cards.scan.%1").arg(kFiles), bench::median(ours),
                  bench::median(cats), "ms");
    bench::report(QStringLiteral("cards.rescan_kept.%1").arg(kFiles), bench::median(again),
                  std::nullopt, "ms");
    return 0;
}

const bench::Registrar registered("cards", runCards);

} // namespace
