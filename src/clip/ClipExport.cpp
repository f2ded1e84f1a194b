// SPDX-License-Identifier: GPL-3.0-or-later
#include "clip/ClipExport.h"

#include "card/CameraPairs.h"
#include "card/CardFiles.h"
#include "card/OutputGuard.h"
#include "clip/ClipCameras.h"
#include "clip/ClipProbe.h"
#include "clip/ClipRemux.h"
#include "clip/ClipSidecars.h"
#include "config/DeviceConfigFile.h"
#include "formats/FileKind.h"
#include "formats/MatroskaPatch.h"
#include "formats/Mp4Boxes.h"
#include "playback/AsfCardSource.h"
#include "trip/TripFormats.h"
#include "trip/TripReader.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <cmath>
#include <thread>

namespace ClipExport {

namespace {

constexpr qint64 kSecond = 1000000000;

} // namespace

std::optional<double> ParseTime(const QString& text) {
    static const QRegularExpression pattern(
        QStringLiteral(R"(^\s*(?:(\d+):)?(?:(\d+):)?(\d+(?:\.\d*)?)\s*$)"));
    const QRegularExpressionMatch m = pattern.match(text);
    if (!m.hasMatch())
        return std::nullopt;
    // "mm:ss" has its minutes in the first group and nothing in the second.
    const QString first = m.captured(1), second = m.captured(2);
    double hours = 0, minutes = 0;
    if (!second.isEmpty()) {
        hours = first.toDouble();
        minutes = second.toDouble();
    } else if (!first.isEmpty()) {
        minutes = first.toDouble();
    }
    const double seconds = m.captured(3).toDouble();
    if ((!first.isEmpty() && seconds >= 60) || (!second.isEmpty() && minutes >= 60))
        return std::nullopt;
    return hours * 3600 + minutes * 60 + seconds;
}

QString TimeText(double seconds) {
    const qint64 ms = std::llround(std::max(0.0, seconds) * 1000);
    return QString::asprintf("%02lld:%02lld:%02lld.%03lld", ms / 3600000, ms / 60000 % 60,
                             ms / 1000 % 60, ms % 1000);
}

QString DefaultName(const QString& source, double from, double to) {
    const auto part = [](double t) {
        return t < 0 ? QStringLiteral("end") : TimeText(t).replace(QLatin1Char(':'), '-');
    };
    return QFileInfo(source).completeBaseName() + QLatin1Char('_') + part(from) + QLatin1Char('_') +
           part(to) + QStringLiteral(".mkv");
}

QString DefaultName(const QString& source, const Span& span) {
    return DefaultName(source, span.start, span.end);
}

QStringList OutputsFor(const QString& out, bool overlay) {
    const QFileInfo info(out);
    const QString stem = info.absoluteDir().filePath(info.completeBaseName());
    QStringList outputs = {info.absoluteFilePath(), stem + QStringLiteral(".gpx"),
                           stem + QStringLiteral(".srt"), stem + QStringLiteral(".sha256"),
                           stem + QStringLiteral(".source.sha256")};
    if (overlay)
        outputs.append(stem + QStringLiteral(".mp4"));
    return outputs;
}

Span PlanSpan(const QString& source, double from, double to) {
    Span span;
    from = std::max(0.0, from);
    const QString path = QFileInfo(source).absoluteFilePath();
    // The program reads an ASF recording's layout itself (a recording cut by a power loss
    // included); for other files GStreamer's demuxer tells.
    std::optional<double> length, key;
    if (FileKind::Of(path) == FileKind::Kind::Asf) {
        length = AsfCardSource::LengthOf(path);
        if (const auto k = AsfCardSource::KeyFrameAt(path, qint64(from * kSecond)))
            key = double(*k) / kSecond;
    }
    if (!length) {
        const Probe probe = ProbeSpan(path, from);
        length = probe.duration;
        if (!key)
            key = probe.keyFrame;
    }
    span.duration = length.value_or(0);
    if (span.duration > 0 && from >= span.duration) {
        span.error = QStringLiteral("the recording is %1 long: nothing to export from %2")
                         .arg(TimeText(span.duration), TimeText(from));
        return span;
    }
    span.keyFrameKnown = key.has_value() && *key <= from;
    span.start = span.keyFrameKnown ? *key : from;
    span.end = to >= 0 ? to : (span.duration > 0 ? span.duration : -1);
    if (span.duration > 0 && span.end > span.duration) {
        span.endCut = to >= 0;
        span.end = span.duration;
    }
    return span;
}

Result Export(const Request& request, const std::function<bool(double)>& progress) {
    Result result;
    const QFileInfo source(request.source);
    if (!source.isFile()) {
        result.error = QStringLiteral("Open fail");
        return result;
    }
    const QString sourcePath = source.absoluteFilePath();
    // Where the recording's trip is: beside it (its files are originals too), inside it, or
    // nowhere.
    const bool hasTrip = TripReaders::For(sourcePath) != nullptr;
    const QStringList tripFiles = TripReaders::Files(sourcePath);
    // The other cameras of the moment, read as originals too.
    const QList<CameraPairs::Camera> cameras = CameraPairs::CamerasOf(sourcePath);
    QStringList partners;
    for (qsizetype k = 1; k < cameras.size(); ++k)
        partners.append(QFileInfo(cameras[k].path).absoluteFilePath());
    const QStringList outputs = OutputsFor(request.out, request.overlay);
    const QString &clipPath = outputs[0], &gpxPath = outputs[1], &srtPath = outputs[2],
                  &manifestPath = outputs[3], &sourceManifestPath = outputs[4];
    for (const QString& out : outputs) {
        const QString refused = OutputGuard::Refused(
            out, QStringList{sourcePath} + partners + tripFiles,
            request.replace ? OutputGuard::Existing::Replace : OutputGuard::Existing::Refuse);
        if (!refused.isEmpty()) {
            result.error = QStringLiteral("not written: %1").arg(refused);
            return result;
        }
    }
    if (const QString why = Mp4::MissingIndex(sourcePath); !why.isEmpty()) {
        result.error = why;
        return result;
    }
    const Span span = PlanSpan(sourcePath, request.from, request.to);
    if (!span.error.isEmpty()) {
        result.error = span.error;
        return result;
    }

    // Every camera's span; the clip holds them all when another camera has some of it.
    std::optional<CameraPlan> plan;
    if (cameras.size() > 1) {
        plan = PlanCameras(cameras, span.start, span.end);
        result.notes.append(plan->notes);
        if (plan->cameras.size() < 2)
            plan.reset();
    }

    std::vector<Pending> pending;
    const auto fail = [&](const QString& why) {
        for (const Pending& p : pending)
            QFile::remove(p.temporary);
        result.error = why;
        result.written.clear();
        return result;
    };
    const auto cancel = [&] {
        fail({});
        result.cancelled = true;
        return result;
    };

    // The originals are hashed meanwhile, on the other core: they are read once either way.
    std::vector<std::pair<QString, QByteArray>> originals = {{sourcePath, {}}};
    for (size_t k = 1; plan && k < plan->cameras.size(); ++k)
        originals.push_back({plan->cameras[k].path, {}});
    for (const QString& file : tripFiles)
        originals.push_back({file, {}});
    QString hashError;
    std::thread hasher([&] {
        for (auto& [path, hash] : originals)
            if (hashError.isEmpty())
                hash = Sha256Of(path, hashError);
    });
    // Joined on every way out; the hashes are used once it has been.
    struct Joined {
        std::thread& thread;
        void Join() {
            if (thread.joinable())
                thread.join();
        }
        ~Joined() { Join(); }
    } joined{hasher};

    const qint64 from = qint64(std::llround(span.start * kSecond));
    // A frame starting right at the end is not in the span.
    const qint64 to = span.end >= 0 ? qint64(std::llround(span.end * kSecond)) - 1 : -1;
    Pending clip{clipPath, clipPath + QStringLiteral(".part")};
    pending.push_back(clip);
    // The copy is most of the work, unless the picture is re-encoded; the hashes the rest.
    const double copyShare = request.overlay ? 0.15 : 0.75;
    const double doneShare = request.overlay ? 0.9 : 0.75;
    QString error;
    const auto copied = [&](double share) { return !progress || progress(copyShare * share); };
    const Copy copy = plan
                          ? RemuxCameras(*plan, clip.temporary, copied)
                          : Remux(sourcePath, from, span.keyFrameKnown, to, clip.temporary, copied);
    if (copy.cancelled)
        return cancel();
    if (!copy.ok || QFileInfo(clip.temporary).size() == 0)
        return fail(copy.error.isEmpty() ? QStringLiteral("nothing was copied") : copy.error);
    // What the muxer leaves out of the sound, so that every player decodes it.
    if (!MatroskaPatch::MendAudio(clip.temporary, &error))
        return fail(error);
    const double duration = span.duration > 0 ? span.duration : copy.duration;
    result.start = span.start;
    result.end = span.end >= 0 ? span.end : duration;
    if (plan) {
        QStringList labels;
        for (const CameraSpan& camera : plan->cameras)
            labels.append(QString::fromUtf8(camera.label));
        result.notes.append(QStringLiteral("Cameras: %1").arg(labels.join(QStringLiteral(", "))));
        if (plan->lead > 0.0005)
            result.notes.append(
                QStringLiteral("the clip starts %1 s before the %2 camera's first frame, at "
                               "another camera's key frame")
                    .arg(plan->lead, 0, 'f', 3)
                    .arg(labels[0].toLower()));
        if (request.overlay && plan->cameras.size() > 2)
            result.notes.append(QStringLiteral("the picture with the data shows the %1 and %2 "
                                               "cameras")
                                    .arg(labels[0].toLower(), labels[1].toLower()));
    }
    if (span.endCut)
        result.notes.append(QStringLiteral("the recording ends at %1: the clip ends there")
                                .arg(TimeText(result.end)));

    // The trip of the span: the recording's track, spread over the recording as the chart
    // shows it, the samples in the span.
    TripTrack track;
    SpanTrip spanTrip;
    if (!hasTrip)
        result.notes.append(
            QStringLiteral("%1 has no trip log beside it nor a trip inside it: no .gpx or .srt "
                           "were written")
                .arg(source.fileName()));
    else if (duration <= 0)
        result.notes.append(
            QStringLiteral("the length of %1 is not known: no .gpx or .srt were written")
                .arg(source.fileName()));
    else if (!TripReaders::Read(sourcePath, duration, track, &error) || track.samples.empty())
        result.notes.append(
            QStringLiteral("%1 cannot be read%2: no .gpx or .srt were written")
                .arg(tripFiles.isEmpty() ? source.fileName() : QFileInfo(tripFiles[0]).fileName(),
                     error.isEmpty() ? QString() : ": " + error));
    else
        spanTrip = TripOfSpan(track, duration, result.start, result.end);
    if (!spanTrip.trip.samples.empty()) {
        result.leftOut = spanTrip.trip.LeftOutText();
        const TripExport::Trip gpx =
            TripExport::TripOfSamples(QFileInfo(clipPath).completeBaseName(),
                                      CardTimeZone(source.absolutePath()), spanTrip.trip);
        Pending gpxFile, srtFile;
        if (!WriteTemporary(gpxPath, TripExport::FormatTrip(gpx, TripExport::Format::Gpx), gpxFile,
                            error))
            return fail(error);
        pending.push_back(gpxFile);
        // Times on the clip's own time line, which starts the lead before the main camera's.
        const double zero = result.start - (plan ? plan->lead : 0.0);
        if (!WriteTemporary(srtPath, Subtitles(spanTrip, zero), srtFile, error))
            return fail(error);
        pending.push_back(srtFile);
    }

    // The same span re-encoded with the data in the picture, from the same records.
    if (request.overlay) {
        const QString mp4Path = outputs[5];
        Pending mp4{mp4Path, mp4Path + QStringLiteral(".part")};
        pending.push_back(mp4);
        const Overlay texts = OverlayTexts(spanTrip);
        const auto encodedShare = [&](double share) {
            return !progress || progress(copyShare + (doneShare - copyShare) * share);
        };
        const Copy encoded = plan ? RemuxCameras(*plan, mp4.temporary, encodedShare, &texts)
                                  : Remux(sourcePath, from, span.keyFrameKnown, to, mp4.temporary,
                                          encodedShare, &texts);
        if (encoded.cancelled)
            return cancel();
        if (!encoded.ok || QFileInfo(mp4.temporary).size() == 0)
            return fail(encoded.error.isEmpty() ? QStringLiteral("nothing was encoded")
                                                : encoded.error);
    }

    // Two manifests. The originals, by their names, to be checked beside them; and what is
    // handed over, by names relative to the manifest, so that it checks wherever the folder
    // is copied.
    QByteArray about = "# span: " + TimeText(result.start).toUtf8() + " to " +
                       TimeText(result.end).toUtf8() + " of the original";
    if (std::abs(result.start - std::max(0.0, request.from)) > 0.0005)
        about += " (asked from " + TimeText(request.from).toUtf8() +
                 "; the clip starts at the key frame before)";
    for (size_t k = 1; plan && k < plan->cameras.size(); ++k) {
        const CameraSpan& camera = plan->cameras[k];
        about += "\n# " + camera.label + " camera: " + TimeText(camera.start).toUtf8() + " to " +
                 TimeText(camera.end >= 0 ? camera.end : result.end - camera.offset).toUtf8() +
                 " of its original (which starts at " + QByteArray::number(camera.offset, 'f', 3) +
                 " s on the " + plan->cameras[0].label.toLower() + " camera's time line)";
    }
    about += "\n# written by dashcard-player " + request.version.toUtf8() + '\n';
    joined.Join();
    if (!hashError.isEmpty())
        return fail(hashError);
    QByteArray sourceManifest = DescribeOriginal(QStringLiteral("original"), sourcePath);
    for (size_t k = 1; plan && k < plan->cameras.size(); ++k)
        sourceManifest += DescribeOriginal(QString::fromUtf8(plan->cameras[k].label) +
                                               QStringLiteral(" camera's original"),
                                           plan->cameras[k].path);
    for (const QString& file : tripFiles)
        sourceManifest += DescribeOriginal(QStringLiteral("trip log"), file);
    sourceManifest += about;
    for (const auto& [path, hash] : originals)
        sourceManifest += ManifestLine(hash, QFileInfo(path).fileName());
    Pending sourceManifestFile;
    if (!WriteTemporary(sourceManifestPath, sourceManifest, sourceManifestFile, error))
        return fail(error);
    pending.push_back(sourceManifestFile);

    QByteArray manifest = DescribeOriginal(QStringLiteral("original"), sourcePath) + about +
                          "# the original and its trip log are checked by " +
                          QFile::encodeName(QFileInfo(sourceManifestPath).fileName()) +
                          " beside them\n";
    for (size_t i = 0; i < pending.size(); ++i) {
        const QByteArray hash = Sha256Of(pending[i].temporary, error);
        if (hash.isEmpty())
            return fail(error);
        manifest += ManifestLine(hash, QFileInfo(pending[i].path).fileName());
        if (progress &&
            !progress(doneShare + (1 - doneShare) * double(i + 1) / double(pending.size())))
            return cancel();
    }
    Pending manifestFile;
    if (!WriteTemporary(manifestPath, manifest, manifestFile, error))
        return fail(error);
    pending.push_back(manifestFile);

    // Everything is whole: put in place.
    for (const Pending& p : pending) {
        QFile::remove(p.path);
        if (!QFile::rename(p.temporary, p.path)) {
            for (const QString& done : result.written)
                QFile::remove(done);
            return fail(QStringLiteral("%1: cannot be put in place").arg(p.path));
        }
        result.written.append(p.path);
    }
    return result;
}

} // namespace ClipExport
