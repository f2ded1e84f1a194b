// SPDX-License-Identifier: GPL-3.0-or-later
// Where the engine used to be a frame or a stretch of time off, now and then: sound that runs on
// after the last picture, the first seek after opening a file with B-frames, and frame back
// pressed again before the previous one's frame arrived at a low frame rate. Faults that came and
// went are tried ten times over. Frames are checked against ffmpeg's own decoding.
#include "GstComplaints.h"
#include "PlaybackTestSupport.h"
#include "playback/VideoSurface.h"

#include <QElapsedTimer>
#include <QFrame>
#include <QtTest>

namespace {

QString oddFile(const char* name) {
    return cardFile(QStringLiteral("extras/odd/") + QLatin1String(name));
}

} // namespace

class TestExactFrames : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() {
        if (!QFile::exists(oddFile("fps15.avi")))
            QFAIL("the test card is missing; run the make_test_card fixture first");
    }

    void soundOutlastsThePicture_data() {
        QTest::addColumn<QString>("file");
        QTest::newRow("MS-MPEG4 + WMA") << oddFile("ms-long-sound.asf");
        QTest::newRow("H.264 + AAC in MP4") << oddFile("long-sound.mp4");
        QTest::newRow("MJPEG + PCM in AVI") << oddFile("long-sound.avi");
    }

    // The recording lasts as long as its sound. A seek into the part where only the sound
    // remains shows the last picture at the time asked; playing on, the time runs to the sound's
    // end without a jump and the last picture stays.
    void soundOutlastsThePicture() {
        QFETCH(QString, file);
        GstComplaints complaints;
        const FfmpegFrames reference(file);
        const QList<double>& times = reference.times();
        const double pictureEnd = times.last() + (times.last() - times[times.size() - 2]);
        const double end = dataEnd(file);
        QVERIFY2(end - pictureEnd > 0.3, qPrintable(QString::number(end - pictureEnd)));

        CGraphPlayer player;
        QVERIFY(openPaused(player, file));
        double duration = 0;
        QVERIFY(player.GetDurationSeconds(duration));
        QVERIFY2(qAbs(duration - end) <= 0.002,
                 qPrintable(QStringLiteral("length %1, sound ends at %2").arg(duration).arg(end)));

        const int last = int(reference.count()) - 1;
        const double tail = pictureEnd + 0.15;
        const quint64 before = player.FramesDelivered();
        QVERIFY(player.SeekToSeconds(tail));
        // The window's timer asks for the position: that is where the last picture is fetched.
        QVERIFY(waitFor(
            [&] {
                position(player);
                return player.FramesDelivered() > before;
            },
            10000));
        QCOMPARE(position(player), tail);
        int shown = reference.closest(shownImage(player));
        QVERIFY2(shown == last, qPrintable(describe("seek past the picture", tail, last, shown)));

        QVERIFY(player.SeekToSeconds(pictureEnd - 0.5));
        QVERIFY(waitFor([&] { return player.InPausedState(); }, 5000));
        QVERIFY(player.StartPlayback());
        double previous = position(player), widest = 0;
        QVERIFY(waitFor(
            [&] {
                const double now = position(player);
                widest = std::max(widest, now - previous);
                previous = now;
                return now >= duration;
            },
            5000));
        QCOMPARE(previous, duration);
        QVERIFY2(widest < 0.25, qPrintable(QStringLiteral("the time jumped %1 s").arg(widest)));
        shown = reference.closest(shownImage(player));
        QVERIFY2(shown == last, qPrintable(describe("end", duration, last, shown)));
        QCOMPARE(complaints.count(), 0);
    }

    // The first seek after opening, ten times over in fresh engines: the frame presented at the
    // target, and a frame back then the one before it.
    void firstSeekAfterOpening() {
        const QString file = oddFile("mpeg4-bframes.asf");
        const FfmpegFrames reference(file);
        const QList<double>& times = reference.times();
        for (int run = 0; run < 10; ++run) {
            const int k = 5 + (run * 37) % int(reference.count() - 10);
            const double target = times[k] + 0.4 * (times[k + 1] - times[k]);
            CGraphPlayer player;
            // As the window does: the seek goes out as soon as the file is open.
            QVERIFY(player.CreateGraph() && player.OpenMediaFile(file) && player.PausePlayback());
            QVERIFY(seekAndShow(player, target));
            int shown = reference.identify(shownImage(player), k);
            QVERIFY2(shown == k, qPrintable(describe("first seek", target, k, shown)));
            QVERIFY(seekAndShow(player, player.FrameBackTarget(position(player))));
            shown = reference.identify(shownImage(player), k - 1);
            QVERIFY2(shown == k - 1, qPrintable(describe("frame back", target, k - 1, shown)));
        }
    }

    void frameBackTwiceInARow_data() {
        QTest::addColumn<QString>("file");
        QTest::newRow("15 fps AVI") << oddFile("fps15.avi");
    }

    // Two frames back pressed faster than the first one's frame arrives: two frames back, never
    // a stretch of time that stays inside the frame shown.
    void frameBackTwiceInARow() {
        QFETCH(QString, file);
        const FfmpegFrames reference(file);
        const QList<double>& times = reference.times();
        CGraphPlayer player;
        QVERIFY(openPaused(player, file));
        for (int run = 0; run < 10; ++run) {
            const int k = 4 + (run * 13) % int(reference.count() - 8);
            QVERIFY(seekAndShow(player, times[k] + 0.3 * (times[k + 1] - times[k])));
            const quint64 before = player.FramesDelivered();
            QVERIFY(player.SeekToSeconds(player.FrameBackTarget(position(player))));
            QVERIFY(player.SeekToSeconds(player.FrameBackTarget(position(player))));
            // The second seek's frame (the first one's may come before it).
            waitFor(
                [&] {
                    const double t = player.ShownFrameTime() / 1e9;
                    return player.FramesDelivered() > before && t >= times[k - 2] - 1e-6 &&
                           t < times[k - 1] - 1e-6;
                },
                5000);
            const int shown = reference.identify(shownImage(player), k - 2);
            QVERIFY2(shown == k - 2, qPrintable(describe("two back", times[k], k - 2, shown)));
        }
    }

    // Two seconds of play in a window whose UI thread is busy now and then for longer than a
    // frame lasts (as a tick that redraws chart and map can be): every frame the sink delivered
    // is painted or counted as not shown, and with the frames the sink dropped they are the
    // frames ffmpeg finds in the span played.
    void everyFramePaintedOrCounted() {
        const QString file = cardFile(QStringLiteral("0001.asf"));
        const QList<double> times = frameTimes(file);
        QFrame host;
        host.resize(640, 480);
        host.show();
        CGraphPlayer player;
        QVERIFY(player.CreateGraph() && player.OpenMediaFile(file) &&
                player.AttachVideoWindow(&host) && player.PausePlayback());
        QVERIFY(seekAndShow(player, 1.0));
        QTest::qWait(100);
        const double from = position(player);
        const quint64 delivered = player.FramesDelivered();
        const quint64 painted = player.VideoSurface()->PaintedFrames();
        const quint64 notShown = player.FramesNotShown();
        QTimer busy;
        QObject::connect(&busy, &QTimer::timeout, [] {
            QElapsedTimer spin;
            spin.start();
            while (spin.elapsed() < 70) {
            }
        });
        busy.start(250);
        QVERIFY(player.StartPlayback());
        QTest::qWait(2000);
        QVERIFY(player.PausePlayback());
        busy.stop();
        QVERIFY(waitFor([&] { return player.InPausedState(); }, 5000));
        QTest::qWait(200);
        const double to = player.ShownFrameTime() / 1e9;
        const quint64 newDelivered = player.FramesDelivered() - delivered;
        const quint64 newPainted = player.VideoSurface()->PaintedFrames() - painted;
        const quint64 newNotShown = player.FramesNotShown() - notShown;
        const QString counts = QStringLiteral("from %1 to %2 s: delivered %3, painted %4, not "
                                              "shown %5 (%6)")
                                   .arg(from)
                                   .arg(to)
                                   .arg(newDelivered)
                                   .arg(newPainted)
                                   .arg(newNotShown)
                                   .arg(player.FramesNotShownReason());
        QVERIFY2(newDelivered > 30, qPrintable(counts));
        // One frame may be delivered twice (again as the pause's preroll) and painted once.
        QVERIFY2(newPainted + newNotShown + 1 >= newDelivered &&
                     newPainted + newNotShown <= newDelivered,
                 qPrintable(counts));
        const qsizetype inSpan = std::count_if(times.begin(), times.end(), [&](double t) {
            return t > from + 1e-6 && t <= to + 1e-6;
        });
        // Frames the sink drops as late (a busy machine) are not delivered but counted.
        QVERIFY2(qint64(newDelivered) <= inSpan + 1 &&
                     qint64(newDelivered + newNotShown) >= inSpan - 1,
                 qPrintable(counts + QStringLiteral(", ffmpeg: %1 frames").arg(inSpan)));
    }
};

QTEST_MAIN(TestExactFrames)
#include "test_exact_frames.moc"
