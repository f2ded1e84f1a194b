// SPDX-License-Identifier: GPL-3.0-or-later
// A seek just past a key frame decodes from the key frame before it only where the frames near
// it are reordered (B-frames): always where pictures stored after the key frame are shown before
// it (open groups of pictures), never in a stream without B-frames. ffmpeg's own decoding says
// which pictures those are: shown before a key frame but read from further on in the file. Then
// the engine shows ffmpeg's frame at each of those seeks.
#include "PlaybackTestSupport.h"
#include "formats/AsfLayout.h"

#include <QFile>
#include <QtTest>
#include <fcntl.h>
#include <unistd.h>

namespace {

struct Frame {
    double time;
    qint64 position; // of its packet in the file: storage order
    bool key;
};

// The video frames in the order ffmpeg shows them.
QList<Frame> shownOrder(const QString& path) {
    QList<Frame> frames;
    for (const QByteArray& line :
         ffprobe({"-select_streams", "v:0", "-show_entries",
                  "frame=key_frame,pkt_pos,best_effort_timestamp_time", "-of", "csv=p=0", path})
             .split('\n')) {
        const QList<QByteArray> f = line.trimmed().split(',');
        if (f.size() >= 3)
            frames.append({f[1].toDouble(), f[2].toLongLong(), f[0] == "1"});
    }
    return frames;
}

bool encode(const QString& out, const QStringList& codec) {
    QProcess ffmpeg;
    ffmpeg.start(QStringLiteral("ffmpeg"), QStringList{"-v", "error", "-y", "-f", "lavfi", "-i",
                                                       "testsrc2=size=320x240:rate=25:duration=6"} +
                                               codec +
                                               QStringList{"-g", "25", "-an", "-f", "asf", out});
    return ffmpeg.waitForFinished(120000) && ffmpeg.exitCode() == 0;
}

} // namespace

class TestOpenGroups : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void leadingPicturesAsFfmpegShowsThem_data() {
        QTest::addColumn<QStringList>("codec");
        QTest::addColumn<bool>("open");      // pictures shown before a key frame stored after it
        QTest::addColumn<bool>("reordered"); // B-frames at all
        QTest::newRow("H.264, no B")
            << QStringList{"-c:v", "libx264", "-bf", "0"} << false << false;
        QTest::newRow("H.264, closed")
            << QStringList{"-c:v", "libx264", "-bf", "3"} << false << true;
        QTest::newRow("H.264, open")
            << QStringList{"-c:v", "libx264", "-bf", "3", "-x264-params", "open-gop=1"} << true
            << true;
        QTest::newRow("MPEG-4 Part 2, open")
            << QStringList{"-c:v", "mpeg4", "-bf", "2"} << true << true;
        QTest::newRow("MPEG-4 Part 2, closed")
            << QStringList{"-c:v",   "mpeg4", "-bf",           "2",
                           "-flags", "+cgop", "-sc_threshold", "1000000000"}
            << false << true;
        QTest::newRow("MPEG-4 Part 2, no B")
            << QStringList{"-c:v", "mpeg4", "-bf", "0"} << false << false;
    }

    // For every key frame but the first: seeks to the pictures ffmpeg shows before it but read
    // after it, and half a frame past it; then the engine shows ffmpeg's frame at each.
    void leadingPicturesAsFfmpegShowsThem() {
        QFETCH(QStringList, codec);
        QFETCH(bool, open);
        QFETCH(bool, reordered);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("groups.asf"));
        QVERIFY(encode(path, codec));

        const QList<Frame> frames = shownOrder(path);
        QVERIFY(frames.size() > 100);
        const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
        QVERIFY(fd >= 0);
        const asf::ReadAt read = [fd](uint64_t offset, uint8_t* buffer, size_t length) {
            return int64_t(::pread(fd, buffer, length, off_t(offset)));
        };
        const auto layout = asf::ReadLayout(read, QFileInfo(path).size());
        QVERIFY(layout);
        QList<double> seeks;
        int opened = 0, keys = 0;
        const auto decodesFromBefore = [&](double target) {
            return layout->SeekPointsAt(read, uint64_t(target * 1e9)).decodeFrom.has_value();
        };
        for (int i = 1; i + 1 < frames.size(); ++i) {
            if (!frames[i].key)
                continue;
            ++keys;
            // A picture ffmpeg shows before this key frame but read after it needs the group
            // before: the seek to it decodes from the key frame before.
            bool leading = false;
            for (int j = 0; j < i; ++j) {
                if (frames[j].position <= frames[i].position)
                    continue;
                leading = true;
                const double target = frames[j].time + 0.5 * (frames[j + 1].time - frames[j].time);
                QVERIFY2(decodesFromBefore(target),
                         qPrintable(QStringLiteral("%1 s, shown before the key frame at %2 s")
                                        .arg(target)
                                        .arg(frames[i].time)));
                seeks.append(target);
            }
            opened += leading;
            // Just past a key frame in a stream without B-frames, the key frame is enough. (With
            // them, the decoder learns the order of the times only from frames before it.)
            const double target = frames[i].time + 0.5 * (frames[i + 1].time - frames[i].time);
            if (!reordered)
                QVERIFY2(!decodesFromBefore(target),
                         qPrintable(QStringLiteral("%1 s, after the key frame at %2 s")
                                        .arg(target)
                                        .arg(frames[i].time)));
            seeks.append(target);
        }
        ::close(fd);
        QVERIFY(keys >= 4);
        QCOMPARE(opened > 0, open); // the encoder did as asked

        const FfmpegFrames reference(path);
        CGraphPlayer player;
        QVERIFY(openPaused(player, path));
        for (const double target : seeks) {
            QVERIFY(seekAndShow(player, target));
            const int expected = reference.at(target);
            const int shown = reference.identify(shownImage(player), expected);
            QVERIFY2(shown == expected,
                     qPrintable(QStringLiteral("seek to %1 s: frame %2, shown %3")
                                    .arg(target)
                                    .arg(expected)
                                    .arg(shown)));
        }
    }
};

QTEST_MAIN(TestOpenGroups)
#include "test_open_groups.moc"
