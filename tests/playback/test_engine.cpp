// SPDX-License-Identifier: GPL-3.0-or-later
// The media engine on real files: lifecycle guards, unit arithmetic, the bitmap it writes,
// playback, seeking, stepping, end of stream and files that cannot be played.
#include "GstComplaints.h"
#include "TestSupport.h"
#include "playback/FrameBitmap.h"
#include "playback/GraphPlayer.h"
#include "playback/VideoSurface.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <QWidget>
#include <QtEndian>
#include <QtTest>
#include <glib.h>

namespace {

uint32_t le32(const QByteArray& bytes, int at) {
    return qFromLittleEndian<uint32_t>(bytes.constData() + at);
}

double position(CGraphPlayer& player) {
    double t = -1;
    player.GetPositionSeconds(t);
    return t;
}

} // namespace

class TestEngine : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() {
        if (!QFile::exists(cardFile(QStringLiteral("0001.asf"))))
            QFAIL("the test card is missing; run the make_test_card fixture first");
    }

    void lifecycleGuards() {
        CGraphPlayer player;
        double value = 42;
        int32_t w = 7, h = 7;
        // Empty engine: every operation refuses without touching its outputs.
        QVERIFY(!player.StartPlayback());
        QVERIFY(!player.InStoppedState());
        QVERIFY(!player.GetPositionSeconds(value));
        QCOMPARE(value, 42.0);
        QVERIFY(!player.GetNativeVideoSize(w, h));
        QVERIFY(!player.SeekToSeconds(1));
        QVERIFY(!player.AttachVideoWindow(nullptr));

        const int before = CGraphPlayer::LiveGraphCount();
        QVERIFY(player.CreateGraph());
        QVERIFY(player.RotCookie() != 0);
        QCOMPARE(CGraphPlayer::LiveGraphCount(), before + 1);
        QVERIFY(CGraphPlayer::RotEntryName(player.RotCookie())
                    .contains(QRegularExpression(
                        QStringLiteral("^FilterGraph 0x[0-9a-f]+ pid [0-9a-f]{8}$"))));
        const uint32_t cookie = player.RotCookie();
        QVERIFY(!player.CreateGraph()); // a second graph is refused, the first stays
        QCOMPARE(player.RotCookie(), cookie);
        QVERIFY(player.InStoppedState());

        player.ReleaseGraph();
        QCOMPARE(player.RotCookie(), 0u);
        QCOMPARE(CGraphPlayer::LiveGraphCount(), before);
        QVERIFY(!player.InStoppedState());
        QVERIFY(!player.GetDurationSeconds(value));
        QVERIFY(!player.SetVolumeLevel(0));
        QVERIFY(!player.StepOneFrame());
        player.ReleaseGraph(); // twice is harmless
        QCOMPARE(player.RotCookie(), 0u);

        QVERIFY(player.AttachGraph(nullptr)); // null empties and succeeds
        QVERIFY(!player.InStoppedState());
        QVERIFY(player.CreateGraph()); // an emptied engine can build again
        QVERIFY(player.AttachGraph(nullptr));
        QCOMPARE(CGraphPlayer::LiveGraphCount(), before);
    }

    void unitArithmetic() {
        QCOMPARE(CGraphPlayer::SecondsFromMediaTime(12345678), 1.2345678);
        QCOMPARE(CGraphPlayer::MediaTimeFromSeconds(0.00000019), int64_t(1)); // truncation
        QCOMPARE(CGraphPlayer::MediaTimeFromSeconds(-0.05), int64_t(-500000));
        QCOMPARE(CGraphPlayer::MediaTimeFromSeconds(2.5), int64_t(25000000));
        QCOMPARE(CGraphPlayer::MediaTimeFromSeconds(std::nan("")), int64_t(0));
        QCOMPARE(CGraphPlayer::MediaTimeFromSeconds(1e300), INT64_MAX);

        QCOMPARE(CGraphPlayer::LinearVolumeFromLevel(0), 1.0);
        QVERIFY(qAbs(CGraphPlayer::LinearVolumeFromLevel(-2000) - 0.1) < 1e-9);
        QVERIFY(qAbs(CGraphPlayer::LinearVolumeFromLevel(-500) - 0.5623413) < 1e-6);
        // Levels between whole decibels keep their hundredths.
        QVERIFY(qAbs(CGraphPlayer::LinearVolumeFromLevel(-550) - 0.5308844) < 1e-6);
        QVERIFY(qAbs(CGraphPlayer::LinearVolumeFromLevel(-1) - 0.9988494) < 1e-6);
        QVERIFY(qAbs(CGraphPlayer::LinearVolumeFromLevel(-999) - 0.3165920) < 1e-6);
        QCOMPARE(CGraphPlayer::LinearVolumeFromLevel(-10000), 0.0);
    }

    void bitmapHeaders() {
        // 24-bit 640 x 480 with a 40-byte header.
        QByteArray block(40 + 921600, '\0');
        qToLittleEndian<uint32_t>(40, block.data());
        qToLittleEndian<uint16_t>(24, block.data() + 14);
        QByteArray header = FrameBitmap::FileHeaderFor(block);
        QCOMPARE(header.size(), 14);
        QCOMPARE(header.left(2), QByteArray("BM"));
        QCOMPARE(le32(header, 2), uint32_t(block.size() + 14));
        QCOMPARE(le32(header, 6), 0u);
        QCOMPARE(le32(header, 10), 54u);

        // 8-bit: a full colour table of 256 entries follows the header.
        qToLittleEndian<uint16_t>(8, block.data() + 14);
        QCOMPARE(le32(FrameBitmap::FileHeaderFor(block), 10), 1078u);
        qToLittleEndian<uint16_t>(32, block.data() + 14);
        QCOMPARE(le32(FrameBitmap::FileHeaderFor(block), 10), 54u);
        QVERIFY(FrameBitmap::FileHeaderFor(QByteArray(10, 'x')).isEmpty());

        // The block is bottom-up BGR with rows padded to four bytes.
        QImage image(3, 2, QImage::Format_RGB32);
        image.fill(Qt::black);
        image.setPixel(0, 0, qRgb(10, 20, 30));   // top-left
        image.setPixel(2, 1, qRgb(200, 100, 50)); // bottom-right
        const QByteArray dib = FrameBitmap::BlockFromImage(image);
        QCOMPARE(dib.size(), 40 + 2 * 12);
        QCOMPARE(le32(dib, 4), 3u);
        QCOMPARE(le32(dib, 8), 2u);
        const auto* px = reinterpret_cast<const uchar*>(dib.constData() + 40);
        QCOMPARE(int(px[6]), 50); // first stored row is the bottom one: B, G, R
        QCOMPARE(int(px[7]), 100);
        QCOMPARE(int(px[8]), 200);
        QCOMPARE(int(px[12 + 0]), 30);
        QCOMPARE(int(px[12 + 2]), 10);
    }

    void playsPausesSeeksAndSteps() {
        QWidget host;
        host.resize(320, 240);
        host.show();
        CGraphPlayer player;
        QVERIFY(player.CreateGraph());
        QVERIFY(player.OpenMediaFile(cardFile(QStringLiteral("0001.asf"))));
        QVERIFY(player.AttachVideoWindow(&host));
        QCOMPARE(player.VideoSurface()->parentWidget(), &host);
        QCOMPARE(player.VideoSurface()->size(), host.size());
        QVERIFY(player.VideoSurface()->testAttribute(Qt::WA_TransparentForMouseEvents));

        QVERIFY(player.PausePlayback());
        QVERIFY(player.InPausedState());
        QVERIFY(waitFor([&] { return player.VideoSurface()->PaintedFrames() > 0; }));
        int32_t w = 0, h = 0;
        QVERIFY(player.GetNativeVideoSize(w, h));
        QCOMPARE(w, 640);
        QCOMPARE(h, 480);

        double duration = 0;
        QVERIFY(player.GetDurationSeconds(duration));
        QVERIFY(duration > 5);

        QVERIFY(player.StartPlayback());
        QVERIFY(player.InRunningState());
        QVERIFY(player.StartPlayback()); // already running: nothing to do, still true
        QVERIFY(waitFor([&] { return position(player) > 0.4; }));
        QVERIFY(player.SetVolumeLevel(-500));
        QVERIFY(!player.SetVolumeLevel(1));

        QVERIFY(player.PausePlayback());
        QVERIFY(player.InPausedState());
        QVERIFY(player.SeekToSeconds(3.0));
        const bool landed = waitFor([&] { return qAbs(position(player) - 3.0) < 0.04; });
        QVERIFY2(landed, qPrintable(QString::number(position(player))));

        // One step moves exactly one frame forward.
        const quint64 framesBefore = player.FramesDelivered();
        const double before = position(player);
        QVERIFY(player.StepOneFrame());
        QVERIFY(waitFor([&] { return player.FramesDelivered() > framesBefore; }));
        QVERIFY(waitFor([&] { return position(player) > before + 0.001; }));
        const double stepped = position(player) - before;
        QVERIFY2(stepped > 0.02 && stepped < 0.05, qPrintable(QString::number(stepped)));

        // A seek before the start lands on the start.
        QVERIFY(player.SeekToSeconds(-0.05));
        QVERIFY(waitFor([&] { return position(player) < 0.05; }));

        QVERIFY(player.StopPlayback());
        QVERIFY(player.InStoppedState());
        QVERIFY(player.StopPlayback());
    }

    void endOfStreamReadsTheDuration() {
        CGraphPlayer player;
        QVERIFY(player.CreateGraph());
        QVERIFY(player.OpenMediaFile(cardFile(QStringLiteral("0001.asf"))));
        double duration = 0;
        QVERIFY(player.GetDurationSeconds(duration));
        QVERIFY(player.SeekToSeconds(duration - 0.5));
        QVERIFY(player.StartPlayback());
        QVERIFY(waitFor([&] { return position(player) == duration; }, 5000));
        QVERIFY(player.InRunningState());   // the graph is not stopped at the end
        QVERIFY(player.SeekToSeconds(1.0)); // and can be repositioned
        QVERIFY(waitFor([&] { return position(player) < duration - 1; }));
    }

    // One frame forward where the stream has ended, or ends during the step, has nowhere to
    // go: the end stays the end, and GStreamer is never handed a step it cannot start.
    void stepsNeverOutrunTheStream() {
        GstComplaints complaints;
        {
            CGraphPlayer player;
            QVERIFY(player.CreateGraph());
            QVERIFY(player.OpenMediaFile(cardFile(QStringLiteral("0001.asf"))));
            double duration = 0;
            QVERIFY(player.GetDurationSeconds(duration));
            QVERIFY(player.SeekToSeconds(duration));
            QVERIFY(player.StepOneFrame());
            QTest::qWait(300);
            QCOMPARE(position(player), duration);
            QVERIFY(player.SeekToSeconds(2.0)); // after leaving the end a step moves again
            QVERIFY(waitFor([&] { return qAbs(position(player) - 2.0) < 0.04; }));
            QVERIFY(player.StepOneFrame());
            QVERIFY(waitFor([&] { return position(player) > 2.01; }));
        }
        {
            // A cut recording promises more than it holds: seeks land past its data.
            CGraphPlayer player;
            QVERIFY(player.CreateGraph());
            QVERIFY(player.OpenMediaFile(cardFile(QStringLiteral("extras/truncated.asf"))));
            QVERIFY(player.StartPlayback());
            QTest::qWait(300);
            for (int i = 0; i < 20; ++i) {
                player.SeekToSeconds(i * 0.25);
                player.StepOneFrame();
                QTest::qWait(10);
            }
            QTest::qWait(300);
            // Past its data the recording has ended: the position reads as the end.
            double t = -1, duration = 0;
            QVERIFY(player.GetDurationSeconds(duration));
            QVERIFY(player.GetPositionSeconds(t));
            QCOMPARE(t, duration);
        }
        QCOMPARE(complaints.count(), 0);
    }

    void savesTheFrameOnScreen() {
        QTemporaryDir dir;
        CGraphPlayer player;
        QVERIFY(player.CreateGraph());
        QVERIFY(!player.SaveFrameBitmap(dir.filePath(QStringLiteral("none.bmp")))); // no frame yet
        QVERIFY(player.OpenMediaFile(cardFile(QStringLiteral("0001.asf"))));
        QVERIFY(player.PausePlayback());
        QVERIFY(waitFor([&] { return player.FramesDelivered() > 0; }));

        const QString path = dir.filePath(QStringLiteral("frame.bmp"));
        QFile old(path);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write(QByteArray(5'000'000, 'x')); // replaced, not appended to
        old.close();
        QVERIFY(player.SaveFrameBitmap(path));

        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        const QByteArray block = player.GetCurrentImage();
        QCOMPARE(bytes.size(), block.size() + 14);
        QCOMPARE(le32(bytes, 2), uint32_t(bytes.size()));
        QCOMPARE(le32(bytes, 10), 54u);
        QCOMPARE(bytes.mid(14), block);

        QImage saved(path);
        QCOMPARE(saved.size(), QSize(640, 480));
        const QImage shown = QImage(player.VideoSurface() ? QImage() : QImage());
        Q_UNUSED(shown);
        // The saved picture is the decoded frame: compare a few pixels with a fresh decode.
        QImage reference;
        QVERIFY(reference.loadFromData(QByteArray(bytes), "BMP"));
        QCOMPARE(reference.pixel(10, 10), saved.pixel(10, 10));
        QVERIFY(!player.SaveFrameBitmap(dir.filePath(QStringLiteral("no/such/folder/x.bmp"))));
    }

    void badFiles_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("opens");
        QTest::newRow("missing") << cardFile(QStringLiteral("nope.asf")) << false;
        QTest::newRow("folder") << cardFile(QStringLiteral("extras")) << false;
        QTest::newRow("zero bytes") << cardFile(QStringLiteral("extras/empty.asf")) << false;
        QTest::newRow("random bytes") << cardFile(QStringLiteral("extras/random.asf")) << false;
        QTest::newRow("truncated") << cardFile(QStringLiteral("extras/truncated.asf")) << true;
        QTest::newRow("audio only") << cardFile(QStringLiteral("extras/audio-only.asf")) << true;
        QTest::newRow("video only") << cardFile(QStringLiteral("extras/video-only.asf")) << true;
        QTest::newRow("avi") << cardFile(QStringLiteral("extras/clip.avi")) << true;
        QTest::newRow("upper case") << cardFile(QStringLiteral("extras/A.ASF")) << true;
        QTest::newRow("spaces and non-ASCII")
            << cardFile(QStringLiteral("extras/名字 with space.asf")) << true;
    }

    void badFiles() {
        QFETCH(QString, path);
        QFETCH(bool, opens);
        QWidget host;
        host.resize(160, 120);
        CGraphPlayer player;
        QVERIFY(player.CreateGraph());
        QElapsedTimer timer;
        timer.start();
        QCOMPARE(player.OpenMediaFile(path), opens);
        QVERIFY(timer.elapsed() < 11000);
        player.AttachVideoWindow(&host);
        if (!opens) {
            QVERIFY(!player.StartPlayback());
            double t = 5;
            QVERIFY(!player.GetPositionSeconds(t) || t == 0);
            return;
        }
        QVERIFY(player.StartPlayback());
        QVERIFY(waitFor([&] { return player.InRunningState(); }));
        QTest::qWait(300);
        player.SeekToSeconds(0.5);
        player.PausePlayback();
        player.StepOneFrame();
        int32_t w = -1, h = -1;
        QVERIFY(player.GetNativeVideoSize(w, h));
        QVERIFY(w >= 0 && h >= 0);
        QVERIFY(player.StopPlayback());
    }

    void realWorldRecording() {
        const QString path = QDir(qEnvironmentVariable("PLAYER_SHARED_MEDIA"))
                                 .filePath(QStringLiteral("real-msmpeg4v3-wma.asf"));
        if (!QFile::exists(path))
            QSKIP("the shared real-world media folder is not beside the checkout");
        CGraphPlayer player;
        QVERIFY(player.CreateGraph());
        QVERIFY(player.OpenMediaFile(path));
        int32_t w = 0, h = 0;
        QVERIFY(player.PausePlayback());
        QVERIFY(waitFor([&] { return player.FramesDelivered() > 0; }));
        QVERIFY(player.GetNativeVideoSize(w, h));
        QCOMPARE(QSize(w, h), QSize(160, 120));
        double duration = 0;
        QVERIFY(player.GetDurationSeconds(duration));
        QVERIFY(qAbs(duration - 27.7) < 0.5);
        // Key frames are sparse; the seek still reaches the target itself.
        QVERIFY(player.SeekToSeconds(15.0));
        QVERIFY(waitFor([&] { return qAbs(position(player) - 15.0) < 0.1; }));
        QVERIFY(player.StartPlayback());
        QVERIFY(waitFor([&] { return player.InRunningState(); }));
    }
};

QTEST_MAIN(TestEngine)
#include "test_engine.moc"
