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

QString When(const TrueTrip::Sample& s) {
    return QString::fromLatin1(s.date + ' ' + s.time.left(8));
}

QString Speed(const TrueTrip::Sample& s) {
    return QStringLiteral("%1 km/h").arg(s.speed, 0, 'f', 1);
}

} // namespace

SpanTrip TripOfSpan(const TrueTrip::Trip& log, double duration, double start, double end) {
    // The log's records are spread evenly over the recording, as the chart shows them.
    SpanTrip span;
    if (log.samples.empty() || duration <= 0)
        return span;
    span.step = duration / double(log.samples.size());
    for (size_t k = 0; k < log.samples.size(); ++k) {
        const double t = double(k) * span.step;
        if (t + span.step <= start || t >= end)
            continue;
        const TrueTrip::Sample& s = log.samples[k];
        ++span.trip.skipped[size_t(s.skip)];
        span.trip.samples.push_back(s);
        span.times.push_back(t);
    }
    return span;
}

QByteArray Subtitles(const SpanTrip& span, double start) {
    QString srt;
    for (size_t i = 0; i < span.trip.samples.size(); ++i) {
        const TrueTrip::Sample& s = span.trip.samples[i];
        const double begin = span.times[i] - start;
        const double finish =
            (i + 1 < span.times.size() ? span.times[i + 1] : span.times[i] + span.step) - start;
        QString text = When(s) + QLatin1Char('\n') + Speed(s);
        if (s.skip == TrueTrip::Skip::None)
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
    for (size_t i = 0; i < span.trip.samples.size(); ++i) {
        const TrueTrip::Sample& s = span.trip.samples[i];
        overlay.times.push_back(span.times[i]);
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
