// SPDX-License-Identifier: GPL-3.0-or-later
#include "clip/ClipSidecars.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <cmath>
#include <memory>
#include <openssl/evp.h>

namespace ClipExport {

namespace {

QString SrtTime(double seconds) {
    const qint64 ms = std::llround(std::max(0.0, seconds) * 1000);
    return QString::asprintf("%02lld:%02lld:%02lld,%03lld", ms / 3600000, ms / 60000 % 60,
                             ms / 1000 % 60, ms % 1000);
}

QString Hemisphere(double value, char positive, char negative) {
    return QString::number(std::abs(value), 'f', 6) + QLatin1Char(' ') +
           QLatin1Char(value < 0 ? negative : positive);
}

// The recorder's clock as logged; GPS time says it is UTC (the camera's clock differs).
QString When(const TripSample& s) {
    return QString::fromLatin1(s.date + ' ' + s.clock.left(8)) +
           (s.clockIsUtc ? QStringLiteral(" UTC") : QString());
}

QString Speed(const TripSample& s) {
    return QStringLiteral("%1 km/h").arg(s.speed, 0, 'f', 1);
}

} // namespace

SpanTrip TripOfSpan(const TripTrack& track, double duration, double start, double end) {
    SpanTrip span;
    if (track.samples.empty() || duration <= 0)
        return span;
    span.step = duration / double(track.samples.size());
    for (size_t k = 0; k < track.samples.size(); ++k) {
        const TripSample& s = track.samples[k];
        const double until =
            k + 1 < track.samples.size() ? track.samples[k + 1].time : s.time + span.step;
        if (until <= start || s.time >= end)
            continue;
        ++span.trip.skipped[size_t(s.skip)];
        span.trip.samples.push_back(s);
    }
    return span;
}

QByteArray Subtitles(const SpanTrip& span, double start) {
    QString srt;
    const std::vector<TripSample>& samples = span.trip.samples;
    for (size_t i = 0; i < samples.size(); ++i) {
        const TripSample& s = samples[i];
        const double begin = s.time - start;
        const double finish =
            (i + 1 < samples.size() ? samples[i + 1].time : s.time + span.step) - start;
        QString text = When(s) + QLatin1Char('\n') + Speed(s);
        if (s.HasFix())
            text += QStringLiteral("  %1  %2")
                        .arg(Hemisphere(s.latitude, 'N', 'S'), Hemisphere(s.longitude, 'E', 'W'));
        srt += QStringLiteral("%1\n%2 --> %3\n%4\n\n")
                   .arg(i + 1)
                   .arg(SrtTime(begin), SrtTime(finish), text);
    }
    return srt.toUtf8();
}

Overlay OverlayTexts(const SpanTrip& span) {
    Overlay overlay;
    for (const TripSample& s : span.trip.samples) {
        overlay.times.push_back(s.time);
        overlay.texts.push_back(
            (When(s) + QLatin1Char('\n') + Speed(s) +
             QString::asprintf("\nX %+.2f g  Y %+.2f g  Z %+.2f g", s.accelX, s.accelY, s.accelZ))
                .toUtf8());
    }
    return overlay;
}

bool WriteTemporary(const QString& path, const QByteArray& bytes, Pending& pending,
                    QString& error) {
    pending.path = path;
    pending.temporary = path + QStringLiteral(".part");
    QFile file(pending.temporary);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered) ||
        file.write(bytes) != bytes.size() || !file.flush()) {
        error = file.errorString();
        file.close();
        QFile::remove(pending.temporary);
        return false;
    }
    return true;
}

QByteArray Sha256Of(const QString& path, QString& error) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        error = QStringLiteral("%1: %2").arg(path, file.errorString());
        return {};
    }
    std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context(EVP_MD_CTX_new(),
                                                                    EVP_MD_CTX_free);
    if (!context || !EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr)) {
        error = QStringLiteral("no SHA-256");
        return {};
    }
    QByteArray chunk(1 << 20, Qt::Uninitialized);
    for (;;) {
        const qint64 got = file.read(chunk.data(), chunk.size());
        if (got < 0) {
            error = QStringLiteral("%1: %2").arg(path, file.errorString());
            return {};
        }
        if (got == 0)
            break;
        EVP_DigestUpdate(context.get(), chunk.constData(), size_t(got));
    }
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_DigestFinal_ex(context.get(), digest, &length);
    return QByteArray(reinterpret_cast<const char*>(digest), int(length)).toHex();
}

QByteArray ManifestLine(const QByteArray& hash, const QString& name) {
    return hash + "  " + QFile::encodeName(name) + '\n';
}

QByteArray DescribeOriginal(const QString& what, const QString& path) {
    const QFileInfo info(path);
    return "# " + what.toUtf8() + ": " + QFile::encodeName(info.absoluteFilePath()) +
           "\n# size: " + QByteArray::number(info.size()) + " bytes, modified " +
           info.lastModified().toUTC().toString(Qt::ISODate).toUtf8() + '\n';
}

} // namespace ClipExport
