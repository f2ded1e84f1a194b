// SPDX-License-Identifier: GPL-3.0-or-later
// Recordings from other writers and other damage: B-frames, some shown before the key frame they
// are stored after (the frame on screen is the one presented at the time shown, after seeks,
// steps and frame backs), a tail of zeros, video
// streams declared but empty, sound longer than the picture, a single frame, pixels that are not
// square. Frames and lengths are checked against ffmpeg's own reading of the same files.
#include "PlaybackTestSupport.h"
#include "playback/FrameSlot.h"
#include "playback/VideoSurface.h"

#include <QWidget>
#include <QtTest>

namespace {

QString oddFile(const QString& name) {
    return cardFile(QStringLiteral("extras/odd/") + name);
}

} // namespace

class TestOddMedia : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() {
        if (!QFile::exists(oddFile(QStringLiteral("bframes.asf"))))
            QFAIL("the test card is missing; run the make_test_card fixture first");
    }

    void pictureIsTheFrameAtTheTimeShown_data() {
        QTest::addColumn<QString>("file");
        for (const char* name : {"bframes.asf", "bframes-cut.asf", "mpeg4-bframes.asf"})
            QTest::newRow(name) << oddFile(QString::fromLatin1(name));
        // Other recorders' MP4 files: H.264 with B-frames, and H.265.
        QTest::newRow("H.264 MP4") << cardFile(QStringLiteral("extras/mp4/clip.mp4"));
        QTest::newRow("H.265 MP4") << cardFile(QStringLiteral("cameras/GX010044.MP4"));
    }

    // Ten seeks over the recording, each followed by two frames forward and two back.
    void pictureIsTheFrameAtTheTimeShown() {
        QFETCH(QString, file);
        const FfmpegFrames reference(file);
        QVERIFY(reference.count() > 50 && reference.count() == reference.times().size());
        CGraphPlayer player;
        QVERIFY(openPaused(player, file));
        double duration = 0;
        QVERIFY(player.GetDurationSeconds(duration));
        // Whether the picture is the frame presented at the time shown, and which it is.
        int shown = -1;
        QString text;
        const auto check = [&](const char* what) {
            const double t = position(player);
            const int expected = reference.at(t);
            shown = reference.identify(shownImage(player), expected);
            text = describe(what, t, expected, shown);
            return shown == expected;
        };
        for (int i = 0; i < 10; ++i) {
            // Part of the way into a frame, in the order a user might jump.
            const int k = int((0.05 + 0.09 * ((i * 7) % 10)) * (reference.count() - 3));
            const QList<double>& times = reference.times();
            const double target = times[k] + 0.3 * (times[k + 1] - times[k]);
            QVERIFY(seekAndShow(player, target));
            QVERIFY2(qAbs(position(player) - target) < 1e-6, qPrintable(QString::number(target)));
            QVERIFY2(check("seek"), qPrintable(text));
            // Each step shows the next frame, each frame back the one before.
            for (const int move : {1, 1, -1, -1}) {
                const int before = shown;
                if (move > 0)
                    stepForward(player);
                else
                    frameBack(player);
                QVERIFY2(check(move > 0 ? "step" : "frame back") && shown == before + move,
                         qPrintable(text));
            }
        }
    }

    // Frame back pressed while a seek's frame is still on its way starts from that frame.
    void frameBackRightAfterASeek() {
        const QString file = oddFile(QStringLiteral("bframes.asf"));
        const FfmpegFrames reference(file);
        CGraphPlayer player;
        QVERIFY(openPaused(player, file));
        QVERIFY(seekAndShow(player, 1.0));
        const QList<double>& times = reference.times();
        const int k = reference.at(7.5);
        QVERIFY(player.SeekToSeconds(times[k] + 0.01));
        QVERIFY(seekAndShow(player, player.FrameBackTarget(position(player))));
        const int shown = reference.identify(shownImage(player), k - 1);
        QVERIFY2(shown == k - 1, qPrintable(describe("back after a seek", times[k], k - 1, shown)));
    }

    void lengthIsWhereTheDataEnds_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<bool>("whole"); // ffmpeg's length is the header's, else the packets'
        for (const char* name : {"zero10.asf", "zero20.asf", "zero50.asf"})
            QTest::newRow(name) << QString::fromLatin1(name) << false;
        for (const char* name :
             {"empty-streams.asf", "long-sound.asf", "one-frame.asf", "bframes.asf"})
            QTest::newRow(name) << QString::fromLatin1(name) << true;
    }

    // The length is the end of the longest stream of what is there, and playing the last
    // seconds shows the last good frame, the position running to the end without a jump.
    void lengthIsWhereTheDataEnds() {
        QFETCH(QString, file);
        QFETCH(bool, whole);
        const double end =
            whole ? ffprobe({"-show_entries", "format=duration", "-of", "csv=p=0", oddFile(file)})
                        .trimmed()
                        .toDouble()
                  : dataEnd(oddFile(file));
        QVERIFY(end > 0);
        CGraphPlayer player;
        QVERIFY(openPaused(player, oddFile(file)));
        double duration = 0;
        QVERIFY(player.GetDurationSeconds(duration));
        QVERIFY2(qAbs(duration - end) <= 0.002,
                 qPrintable(QStringLiteral("length %1, data ends at %2").arg(duration).arg(end)));

        const FfmpegFrames reference(oddFile(file));
        QVERIFY(player.SeekToSeconds(std::max(0.0, duration - 2.5)));
        QVERIFY(player.StartPlayback());
        double last = position(player), widest = 0;
        QVERIFY(waitFor(
            [&] {
                const double now = position(player);
                widest = std::max(widest, now - last);
                last = now;
                return now == duration;
            },
            5000));
        QVERIFY2(widest < 0.5, qPrintable(QString::number(widest)));
        const int lastFrame = int(reference.count()) - 1;
        const int shown = reference.identify(shownImage(player), lastFrame);
        QVERIFY2(shown == lastFrame, qPrintable(describe("end", duration, lastFrame, shown)));
    }

    // End while paused: the position is the length and the picture the last frame, also where
    // the data ends in zeros or mid-picture (there, the last whole one), and in files other
    // than ASF.
    void endShowsTheLastFrame_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<bool>("cutPicture"); // ffmpeg's last picture is cut off (it says so)
        QTest::newRow("MJPEG") << cardFile(QStringLiteral("0001.asf")) << false;
        QTest::newRow("B-frames") << oddFile(QStringLiteral("bframes.asf")) << false;
        QTest::newRow("zeroed tail") << oddFile(QStringLiteral("zero20.asf")) << false;
        QTest::newRow("H.264 cut") << oddFile(QStringLiteral("bframes-cut.asf")) << true;
        QTest::newRow("AVI") << cardFile(QStringLiteral("extras/clip.avi")) << false;
        QTest::newRow("MP4") << cardFile(QStringLiteral("extras/mp4/clip.mp4")) << false;
    }

    void endShowsTheLastFrame() {
        QFETCH(QString, file);
        QFETCH(bool, cutPicture);
        const FfmpegFrames reference(file);
        QCOMPARE(reference.errors().contains("error while decoding"), cutPicture);
        CGraphPlayer player;
        QVERIFY(openPaused(player, file));
        QVERIFY(seekAndShow(player, 1.0));
        double duration = 0;
        QVERIFY(player.GetDurationSeconds(duration));
        QVERIFY(seekAndShow(player, duration));
        QCOMPARE(position(player), duration);
        // The last whole picture.
        const int last = int(reference.count()) - (cutPicture ? 2 : 1);
        const int shown = reference.identify(shownImage(player), last);
        QVERIFY2(shown == last, qPrintable(describe("end", duration, last, shown)));
    }

    // 480 x 480 pixels each 4:3 wide are a 4:3 picture, as ffmpeg reads the file.
    void widePixelsKeepTheirShape() {
        const QString file = oddFile(QStringLiteral("wide-pixels.asf"));
        const QList<QByteArray> ratio =
            ffprobe({"-select_streams", "v:0", "-show_entries", "stream=display_aspect_ratio",
                     "-of", "csv=p=0", file})
                .trimmed()
                .split(':');
        QCOMPARE(ratio.size(), 2);
        const double shape = ratio[0].toDouble() / ratio[1].toDouble();
        QWidget host;
        host.resize(600, 300);
        host.show();
        CGraphPlayer player;
        QVERIFY(player.CreateGraph() && player.OpenMediaFile(file) &&
                player.AttachVideoWindow(&host) && player.PausePlayback());
        CVideoSurface* surface = player.VideoSurface();
        QVERIFY(waitFor([&] { return surface->ShownSize().isValid(); }, 5000));
        const QSize shown = surface->ShownSize() / surface->devicePixelRatioF();
        QCOMPARE(shown.height(), 300);
        QVERIFY2(qAbs(shown.width() - 300 * shape) <= 1,
                 qPrintable(QString::number(shown.width())));
        int32_t width = 0, height = 0;
        QVERIFY(player.GetNativeVideoSize(width, height));
        QCOMPARE(QSize(width, height), QSize(480, 480)); // snapshots keep the stored pixels
    }
};

QTEST_MAIN(TestOddMedia)
#include "test_odd_media.moc"
