// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What the engine tests share: the picture on screen, and ffmpeg's own reading of a file to
// check it against (frame times, decoded frames, where the streams end).
#include "TestSupport.h"
#include "playback/FrameBitmap.h"
#include "playback/GraphPlayer.h"

#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>

inline double position(CGraphPlayer& player) {
    double t = -1;
    player.GetPositionSeconds(t);
    return t;
}

inline QImage shownImage(CGraphPlayer& player) {
    const QByteArray block = player.GetCurrentImage();
    QImage image;
    image.loadFromData(FrameBitmap::FileHeaderFor(block) + block, "BMP");
    return image.convertToFormat(QImage::Format_RGB32);
}

// Mean absolute difference per channel of two pictures of one size (255 when they differ).
inline double difference(const QImage& a, const QImage& b) {
    if (a.size() != b.size() || a.isNull())
        return 255;
    qint64 sum = 0;
    for (int y = 0; y < a.height(); ++y) {
        const auto* p = reinterpret_cast<const QRgb*>(a.constScanLine(y));
        const auto* q = reinterpret_cast<const QRgb*>(b.constScanLine(y));
        for (int x = 0; x < a.width(); ++x)
            sum += qAbs(qRed(p[x]) - qRed(q[x])) + qAbs(qGreen(p[x]) - qGreen(q[x])) +
                   qAbs(qBlue(p[x]) - qBlue(q[x]));
    }
    return double(sum) / (3.0 * a.width() * a.height());
}

inline QByteArray ffprobe(const QStringList& args) {
    QProcess probe;
    probe.start(QStringLiteral("ffprobe"), QStringList{"-v", "error"} + args);
    probe.waitForFinished(120000);
    return probe.readAllStandardOutput();
}

// The times of a file's video frames as ffmpeg reads them. ASF keeps one time per frame, in
// the order frames are stored; frames reordered for B-frames are presented at these same
// times once put back in order, so they are sorted.
inline QList<double> frameTimes(const QString& path) {
    QList<double> times;
    for (const QByteArray& line : ffprobe({"-select_streams", "v:0", "-show_entries",
                                           "packet=pts_time,dts_time", "-of", "csv=p=0", path})
                                      .split('\n')) {
        const QList<QByteArray> fields = line.trimmed().split(',');
        bool ok = false;
        double t = fields.value(0).toDouble(&ok);
        if (!ok)
            t = fields.value(1).toDouble(&ok);
        if (ok)
            times.append(t);
    }
    std::sort(times.begin(), times.end());
    return times;
}

// Where the file's data ends as ffmpeg reads its packets: the end of the longest stream, a
// packet lasting what ffmpeg says or, without that, the spacing before it. With `lastWhole`
// false, the packet stored last is left out: in a file cut off, ffmpeg passes on the part of a
// frame that was written, which cannot be shown.
inline double dataEnd(const QString& path, bool lastWhole = true) {
    struct Packet {
        double start, duration;
        qint64 position;
    };
    QMap<QByteArray, QList<Packet>> streams;
    QByteArray lastStream;
    qint64 lastPosition = -1;
    for (const QByteArray& line :
         ffprobe({"-show_entries", "packet=stream_index,pts_time,dts_time,duration_time,pos", "-of",
                  "csv=p=0", path})
             .split('\n')) {
        const QList<QByteArray> f = line.trimmed().split(',');
        if (f.size() < 5)
            continue;
        bool ok = false;
        double t = f[1].toDouble(&ok);
        if (!ok)
            t = f[2].toDouble(&ok);
        if (!ok)
            continue;
        streams[f[0]].append({t, f[3].toDouble(), f[4].toLongLong()});
        if (f[4].toLongLong() > lastPosition) {
            lastPosition = f[4].toLongLong();
            lastStream = f[0];
        }
    }
    if (!lastWhole && streams[lastStream].size() > 1) {
        QList<Packet>& packets = streams[lastStream];
        packets.erase(std::find_if(packets.begin(), packets.end(),
                                   [&](const Packet& p) { return p.position == lastPosition; }));
    }
    double end = 0;
    for (QList<Packet>& packets : streams) {
        std::sort(packets.begin(), packets.end(),
                  [](const Packet& a, const Packet& b) { return a.start < b.start; });
        const Packet& last = packets.last();
        const double spacing =
            packets.size() > 1 ? last.start - packets[packets.size() - 2].start : 0;
        end = std::max(end, last.start + (last.duration > 0 ? last.duration : spacing));
    }
    return end;
}

// Frames first … last of a file, decoded by ffmpeg.
inline QList<QImage> ffmpegFrames(const QString& path, int first, int last) {
    QTemporaryDir dir;
    QProcess decode;
    decode.start(QStringLiteral("ffmpeg"),
                 {"-v", "error", "-i", path, "-vf",
                  QStringLiteral("select=between(n\\,%1\\,%2)").arg(first).arg(last), "-fps_mode",
                  "passthrough", "-f", "image2", dir.filePath(QStringLiteral("f%d.png"))});
    decode.waitForFinished(120000);
    QList<QImage> frames;
    for (int i = 1; i <= last - first + 1; ++i)
        frames.append(QImage(dir.filePath(QStringLiteral("f%1.png").arg(i)))
                          .convertToFormat(QImage::Format_RGB32));
    return frames;
}

// Every frame of a file as ffmpeg decodes it from the start, small and grey, with the time each
// is presented at: which frame a picture on screen is.
class FfmpegFrames {
public:
    static constexpr int kWidth = 192, kHeight = 108;

    explicit FfmpegFrames(const QString& path) : m_times(frameTimes(path)) {
        QProcess decode;
        decode.start(QStringLiteral("ffmpeg"),
                     {"-v", "error", "-i", path, "-map", "0:v:0", "-fps_mode", "passthrough", "-vf",
                      QStringLiteral("scale=%1:%2:flags=area,format=gray").arg(kWidth).arg(kHeight),
                      "-f", "rawvideo", "-"});
        decode.waitForFinished(300000);
        m_errors = decode.readAllStandardError();
        const QByteArray all = decode.readAllStandardOutput();
        for (qsizetype at = 0; at + kWidth * kHeight <= all.size(); at += kWidth * kHeight)
            m_frames.append(all.mid(at, kWidth * kHeight));
    }
    qsizetype count() const { return m_frames.size(); }
    const QList<double>& times() const { return m_times; }
    // What ffmpeg said of the file while decoding it ("error while decoding MB ..." for a
    // picture cut off).
    const QByteArray& errors() const { return m_errors; }
    // The frame presented at `seconds`: the last one starting at or before it.
    int at(double seconds) const {
        // ffprobe gives times to the microsecond, rounded.
        return int(std::upper_bound(m_times.begin(), m_times.end(), seconds + 1e-6) -
                   m_times.begin()) -
               1;
    }
    // Which of frames k - 2 … k + 2 the picture is (the closest).
    int identify(const QImage& picture, int k) const { return closest(picture, k - 2, k + 2); }
    // Which frame of the whole file the picture is (the closest).
    int closest(const QImage& picture) const { return closest(picture, 0, int(m_frames.size())); }
    int closest(const QImage& picture, int first, int last) const {
        const QImage small =
            picture.scaled(kWidth, kHeight, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                .convertToFormat(QImage::Format_Grayscale8);
        int best = -1;
        double bestDifference = 1e9;
        for (int i = std::max(0, first); i <= last && i < m_frames.size(); ++i) {
            double sum = 0;
            for (int y = 0; y < kHeight; ++y) {
                const uchar* p = small.constScanLine(y);
                const auto* q =
                    reinterpret_cast<const uchar*>(m_frames[i].constData()) + y * kWidth;
                for (int x = 0; x < kWidth; ++x)
                    sum += qAbs(int(p[x]) - int(q[x]));
            }
            if (sum < bestDifference) {
                bestDifference = sum;
                best = i;
            }
        }
        return best;
    }

private:
    QList<double> m_times;
    QList<QByteArray> m_frames;
    QByteArray m_errors;
};

// "seek at 1.2 s: ffmpeg's frame 30, shown 29".
inline QString describe(const char* what, double t, int expected, int shown) {
    return QStringLiteral("%1 at %2 s: ffmpeg's frame %3, shown %4")
        .arg(QLatin1String(what))
        .arg(t)
        .arg(expected)
        .arg(shown);
}

inline bool openPaused(CGraphPlayer& player, const QString& path) {
    return player.CreateGraph() && player.OpenMediaFile(path) && player.PausePlayback() &&
           waitFor([&] { return player.FramesDelivered() > 0; });
}

// Seeks and waits until a frame of that seek is on screen.
inline bool seekAndShow(CGraphPlayer& player, double seconds) {
    const quint64 before = player.FramesDelivered();
    return player.SeekToSeconds(seconds) &&
           waitFor([&] { return player.FramesDelivered() > before; }, 5000) &&
           waitFor([&] { return player.InPausedState(); }, 5000);
}

// A frame on screen after a step: waits for it, then gives its picture.
inline QImage stepForward(CGraphPlayer& player) {
    const quint64 before = player.FramesDelivered();
    player.StepOneFrame();
    waitFor([&] { return player.FramesDelivered() > before; }, 5000);
    return shownImage(player);
}

inline QImage frameBack(CGraphPlayer& player) {
    seekAndShow(player, player.FrameBackTarget(position(player)));
    return shownImage(player);
}
