// SPDX-License-Identifier: GPL-3.0-or-later
// Recordings as power losses and other writers leave them (no index, no length, cut short,
// written for streaming, a header that lies) play, seek and step like whole ones; the position
// is always readable and is the picture's; one frame back shows the frame before; the picture
// keeps its shape and is made at the size it is shown, while snapshots keep the native frame.
// Frames are checked against ffmpeg's own decode of the same file.
#include "PlaybackTestSupport.h"
#include "playback/FrameSlot.h"
#include "playback/VideoSurface.h"

#include <QRandomGenerator>
#include <QtTest>
#include <gst/gst.h>

namespace {

QString cutFile(const QString& name) {
    return name.startsWith(QLatin1String("00")) ? cardFile(name)
                                                : cardFile(QStringLiteral("extras/cut/") + name);
}

} // namespace

class TestRecovery : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() {
        if (!QFile::exists(cutFile(QStringLiteral("cut60.asf"))))
            QFAIL("the test card is missing; run the make_test_card fixture first");
        if (QStandardPaths::findExecutable(QStringLiteral("ffprobe")).isEmpty())
            QFAIL("ffmpeg's tools are missing; scripts/install-deps installs them");
    }

    void seeksLandOnTheFrameCoveringTheTarget_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("reference"); // a file ffmpeg reads with the same frames
        for (const char* name : {"cut30.asf", "cut60.asf", "cut95.asf", "long-header.asf",
                                 "0007.asf", "fps10.asf", "fps24.asf", "irregular.asf"})
            QTest::newRow(name) << QString::fromLatin1(name) << QString::fromLatin1(name);
        QTest::newRow("streamed.asf") << "streamed.asf"
                                      << "long-header.asf";
    }

    void seeksLandOnTheFrameCoveringTheTarget() {
        QFETCH(QString, file);
        QFETCH(QString, reference);
        // Frames present in both: the streamed file is whole, the reference's header lies.
        QList<double> times = frameTimes(cutFile(reference));
        QVERIFY(times.size() > 20);
        CGraphPlayer player;
        QVERIFY(openPaused(player, cutFile(file)));
        double duration = 0;
        QVERIFY(player.GetDurationSeconds(duration));
        for (double share : {0.85, 0.2, 0.55}) {
            const int k = int(share * (times.size() - 2));
            // Part of the way into frame k: it covers the target, the next one does not yet.
            const double target = times[k] + 0.4 * (times[k + 1] - times[k]);
            QVERIFY(target < duration);
            QVERIFY(seekAndShow(player, target));
            QVERIFY2(qAbs(position(player) - target) < 1e-6,
                     qPrintable(QString::number(position(player))));
            const QImage shown = shownImage(player);
            const QList<QImage> near = ffmpegFrames(cutFile(reference), k - 1, k + 1);
            const double before = difference(shown, near[0]), at = difference(shown, near[1]),
                         after = difference(shown, near[2]);
            QVERIFY2(at < 6 && at < before && at < after,
                     qPrintable(QStringLiteral("%1 s (frame %2): differences %3 / %4 / %5")
                                    .arg(target)
                                    .arg(k)
                                    .arg(before)
                                    .arg(at)
                                    .arg(after)));
        }
    }

    // The length shown is the data's, the end is reached there, and the recording plays again.
    void lengthIsTheDataAndTheEndIsAnEnd_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<double>("end"); // where the data ends, -1: as ffmpeg reads the packets
        for (const char* name :
             {"cut30.asf", "cut60.asf", "cut95.asf", "0007.asf", "long-header.asf"})
            QTest::newRow(name) << QString::fromLatin1(name) << -1.0;
        QTest::newRow("streamed.asf") << "streamed.asf" << 30.0; // ffmpeg cannot read it
    }

    void lengthIsTheDataAndTheEndIsAnEnd() {
        QFETCH(QString, file);
        QFETCH(double, end);
        // A frame short or long is a wrong length. Where the file was cut inside its last frame,
        // that frame is not there.
        const double cutEnd = end < 0 ? dataEnd(cutFile(file), false) : end;
        if (end < 0)
            end = dataEnd(cutFile(file));
        QVERIFY(end > 1);
        CGraphPlayer player;
        QVERIFY(openPaused(player, cutFile(file)));
        double duration = 0;
        QVERIFY(player.GetDurationSeconds(duration));
        QVERIFY2(qAbs(duration - end) <= 0.002 || qAbs(duration - cutEnd) <= 0.002,
                 qPrintable(QStringLiteral("length %1, data ends at %2 (%3 without a cut frame)")
                                .arg(duration)
                                .arg(end)
                                .arg(cutEnd)));

        QVERIFY(player.SeekToSeconds(duration - 0.4));
        QVERIFY(player.StartPlayback());
        QVERIFY(waitFor([&] { return position(player) == duration; }, 5000));
        // Played to its end, it starts over from anywhere.
        QVERIFY(player.SeekToSeconds(1.0));
        QVERIFY(player.StartPlayback());
        QVERIFY(waitFor([&] { return position(player) > 1.3 && position(player) < 3; }, 5000));
    }

    // Right after a seek the pipeline has no position for a moment; a read there must not give
    // the start, an old position or nothing.
    void positionIsReadableRightAfterEverySeek() {
        CGraphPlayer player;
        QVERIFY(openPaused(player, cutFile(QStringLiteral("cut60.asf"))));
        double duration = 0;
        QVERIFY(player.GetDurationSeconds(duration));
        QRandomGenerator random(14);
        int unreadable = 0, wrong = 0;
        for (int i = 0; i < 500; ++i) {
            if (i == 250)
                QVERIFY(player.StartPlayback());
            const double target = 1.0 + random.bounded(duration - 3.0);
            QVERIFY(player.SeekToSeconds(target));
            double t = -1;
            if (!player.GetPositionSeconds(t))
                ++unreadable;
            else if (t < target - 0.001 || t > target + 0.5)
                ++wrong;
            if (i % 25 == 0)
                QTest::qWait(30);
        }
        QCOMPARE(unreadable, 0);
        QCOMPARE(wrong, 0);
    }

    // The sound of this recording stops two seconds before its picture.
    void positionIsThePicturesNotTheSounds() {
        CGraphPlayer player;
        QVERIFY(openPaused(player, cutFile(QStringLiteral("short-sound.asf"))));
        double duration = 0;
        QVERIFY(player.GetDurationSeconds(duration));
        QVERIFY(seekAndShow(player, 8.6));
        QTest::qWait(200);
        QVERIFY2(qAbs(position(player) - 8.6) < 0.05,
                 qPrintable(QString::number(position(player))));
        QVERIFY(player.StartPlayback());
        QTest::qWait(400);
        QVERIFY2(position(player) < duration - 0.5, qPrintable(QString::number(position(player))));
        QVERIFY(waitFor([&] { return position(player) == duration; }, 5000));

        CGraphPlayer sound; // a file without pictures keeps its position too
        QVERIFY(sound.CreateGraph());
        QVERIFY(sound.OpenMediaFile(cardFile(QStringLiteral("extras/audio-only.asf"))));
        QVERIFY(sound.StartPlayback());
        QVERIFY(waitFor([&] { return position(sound) > 0.5; }, 5000));
        QVERIFY(sound.SeekToSeconds(3.0));
        QVERIFY(waitFor([&] { return position(sound) >= 3.0; }, 5000));
    }

    // Frames forward, then as many back: the same pictures in reverse, whatever the spacing.
    void frameBackUndoesFrameForward_data() {
        QTest::addColumn<QString>("file");
        for (const char* name :
             {"fps10.asf", "fps15.asf", "fps24.asf", "fps25.asf", "fps30.asf", "irregular.asf"})
            QTest::newRow(name) << QString::fromLatin1(name);
    }

    void frameBackUndoesFrameForward() {
        QFETCH(QString, file);
        CGraphPlayer player;
        QVERIFY(openPaused(player, cutFile(file)));
        QVERIFY(seekAndShow(player, 1.51)); // part of the way into a frame
        QList<QImage> seen{shownImage(player)};
        for (int i = 0; i < 4; ++i)
            seen.append(stepForward(player));
        for (int i = 1; i < seen.size(); ++i)
            QVERIFY2(difference(seen[i], seen[i - 1]) > 0.5, qPrintable(QString::number(i)));
        for (int i = seen.size() - 2; i >= 0; --i)
            QVERIFY2(frameBack(player) == seen[i], qPrintable(QStringLiteral("back to %1").arg(i)));
        // One more back leaves the frame the seek landed on; forward returns to it.
        const QImage earlier = frameBack(player);
        QVERIFY(difference(earlier, seen[0]) > 0.5);
        QVERIFY(stepForward(player) == seen[0]);

        // At the first frame, back stays there.
        QVERIFY(seekAndShow(player, 0.0));
        const QImage first = shownImage(player);
        QVERIFY(frameBack(player) == first);
    }

    void pictureKeepsItsShape_data() {
        QTest::addColumn<QSize>("frame");
        QTest::addColumn<QRect>("picture"); // where it lands in a 400 x 300 area
        QTest::newRow("16:9") << QSize(320, 180) << QRect(0, 37, 400, 225);
        QTest::newRow("4:3") << QSize(160, 120) << QRect(0, 0, 400, 300);
        QTest::newRow("1:1") << QSize(240, 240) << QRect(50, 0, 300, 300);
    }

    void pictureKeepsItsShape() {
        QFETCH(QSize, frame);
        QFETCH(QRect, picture);
        gst_init(nullptr, nullptr);
        CFrameSlot slot;
        QWidget host;
        host.resize(400, 300);
        host.setAutoFillBackground(true);
        QPalette palette = host.palette();
        const QColor area(24, 28, 36);
        palette.setColor(QPalette::Window, area);
        host.setPalette(palette);
        auto* surface = new CVideoSurface(&slot);
        surface->setParent(&host);
        surface->setGeometry(host.rect());
        QCOMPARE(host.grab().toImage().pixelColor(200, 150), area); // no frame yet

        // A red frame of that size, as the video sink hands it over.
        QImage red(frame, QImage::Format_RGB32);
        red.fill(Qt::red);
        GstBuffer* buffer = gst_buffer_new_memdup(red.constBits(), size_t(red.sizeInBytes()));
        GstCaps* caps =
            gst_caps_new_simple("video/x-raw", "format", G_TYPE_STRING, "BGRx", "width", G_TYPE_INT,
                                frame.width(), "height", G_TYPE_INT, frame.height(), nullptr);
        slot.Store(gst_sample_new(buffer, caps, nullptr, nullptr));
        gst_buffer_unref(buffer);
        gst_caps_unref(caps);

        QCOMPARE(CFrameSlot::FitPicture(frame, host.rect()), picture);
        const QImage shown = host.grab().toImage();
        QCOMPARE(shown.pixelColor(picture.center()), QColor(Qt::red));
        QCOMPARE(shown.pixelColor(picture.topLeft()), QColor(Qt::red));
        QCOMPARE(shown.pixelColor(picture.bottomRight()), QColor(Qt::red));
        for (QPoint outside : {QPoint(picture.left() - 1, picture.center().y()),
                               QPoint(picture.right() + 1, picture.center().y()),
                               QPoint(picture.center().x(), picture.top() - 1),
                               QPoint(picture.center().x(), picture.bottom() + 1)}) {
            if (host.rect().contains(outside))
                QCOMPARE(shown.pixelColor(outside), area);
        }
    }

    // A full-HD frame is made at the size of the area it is shown in, again after each resize,
    // while the snapshot is the whole native frame, as ffmpeg decodes it.
    void fullHdShownAtItsSizeSnapshotNative() {
        const QString path = cardFile(QStringLiteral("0008.asf"));
        QWidget host;
        host.resize(618, 394);
        host.show();
        CGraphPlayer player;
        QVERIFY(player.CreateGraph() && player.OpenMediaFile(path) &&
                player.AttachVideoWindow(&host) && player.PausePlayback());
        QVERIFY(seekAndShow(player, 10.0)); // frame 300 starts right there
        const QImage reference = ffmpegFrames(path, 300, 300).value(0);
        QCOMPARE(reference.size(), QSize(1920, 1080));

        CVideoSurface* surface = player.VideoSurface();
        const qreal ratio = surface->devicePixelRatioF();
        for (const QSize area : {QSize(618, 394), QSize(320, 240), QSize(800, 600)}) {
            host.resize(area);
            const QRect fitted = CFrameSlot::FitPicture(QSize(1920, 1080), QRect(QPoint(), area));
            QVERIFY2(waitFor([&] { return surface->ShownSize() == fitted.size() * ratio; }, 5000),
                     qPrintable(QStringLiteral("%1x%2").arg(area.width()).arg(area.height())));
            // What is on screen is the frame at that size, centred, in the host's colour around.
            const QImage shown =
                surface->grab(fitted).toImage().convertToFormat(QImage::Format_RGB32);
            const QImage expected =
                reference.scaled(shown.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
            QVERIFY2(difference(shown, expected) < 8,
                     qPrintable(QString::number(difference(shown, expected))));
        }

        QTemporaryDir dir;
        const QString bmp = dir.filePath(QStringLiteral("frame.bmp"));
        QVERIFY(player.SaveFrameBitmap(bmp));
        const QImage saved = QImage(bmp).convertToFormat(QImage::Format_RGB32);
        QCOMPARE(saved.size(), QSize(1920, 1080));
        QVERIFY2(difference(saved, reference) <= 2,
                 qPrintable(QString::number(difference(saved, reference))));
    }
};

QTEST_MAIN(TestRecovery)
#include "test_recovery.moc"
