// SPDX-License-Identifier: GPL-3.0-or-later
// A front and a rear camera played as one: after every seek, step and frame back each camera
// shows its own frame for the time shown, and in play they stay within a frame of each other.
// The pair is made by ffmpeg with each frame's number burnt into the picture as a row of
// black and white blocks, the rear at another rate and starting 0.7 s later (an edit list, as
// recorders write a camera that started late): which frame is on screen is read from the picture.
#include "PlaybackTestSupport.h"
#include "ScriptedPrompts.h"
#include "multicam/MultiCamFeature.h"
#include "playback/FrameSlot.h"
#include "playback/VideoSurface.h"
#include "records/CurrentRecord.h"
#include "shell/PlayerDlg.h"

#include <QFrame>
#include <QSignalSpy>
#include <QtTest>
#include <cmath>
#include <functional>

namespace {

constexpr double kFrontRate = 30, kRearRate = 25, kRearStart = 0.7, kSeconds = 24;
constexpr int kBits = 10, kBlock = 32;
// The address and thread checkers slow our own code several times over, so frames come late in
// those builds: there, play is checked where it stops, not at every frame.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kCheckedBuild = true;
#else
constexpr bool kCheckedBuild = false;
#endif
constexpr double kShortRear = 12; // seconds of the rear that starts a second later

// ffmpeg: a grey picture with the frame's number in binary along the top, least significant
// bit first; H.264 with B-frames, and sound in the front file.
bool makeCamera(const QString& path, double rate, double delay, bool sound,
                double seconds = kSeconds) {
    const QString code =
        QStringLiteral("geq=lum='if(lt(Y,%1),if(eq(mod(floor(N/pow(2,floor(X/%1))),2),1),235,"
                       "16),80+mod(X+Y+N,64))':cb=128:cr=128")
            .arg(kBlock);
    QStringList args{"-v", "error", "-y"};
    args << "-f"
         << "lavfi"
         << "-i" << QStringLiteral("color=c=gray:s=320x192:r=%1:d=%2").arg(rate).arg(seconds);
    if (sound)
        args << "-f"
             << "lavfi"
             << "-i" << QStringLiteral("sine=f=440:d=%1").arg(seconds);
    args << "-vf" << code << "-c:v"
         << "libx264"
         << "-bf"
         << "2"
         << "-g"
         << "30"
         << "-pix_fmt"
         << "yuv420p";
    if (sound)
        args << "-c:a"
             << "aac";
    // A camera that started late: its first picture later on the file's own time line, which
    // the MP4 muxer writes as an empty edit.
    if (delay > 0)
        args << "-output_ts_offset" << QString::number(delay);
    args << path;
    QProcess ffmpeg;
    ffmpeg.start(QStringLiteral("ffmpeg"), args);
    return ffmpeg.waitForFinished(180000) && ffmpeg.exitCode() == 0;
}

// The number burnt into a camera's picture; -1 when there is no picture.
int frameNumber(const QImage& picture) {
    if (picture.isNull())
        return -1;
    const QImage image = picture.convertToFormat(QImage::Format_RGB32);
    const double scale = image.width() / 320.0;
    int n = 0;
    for (int bit = 0; bit < kBits; ++bit) {
        const QPoint at(int((bit * kBlock + kBlock / 2) * scale), int(kBlock / 2 * scale));
        if (qGray(image.pixel(at)) > 128)
            n |= 1 << bit;
    }
    return n;
}

// The frame each camera must show at `t` on the front's time line: the one presented last at or
// before it, the rear's first before it starts.
int frontFrameAt(double t) {
    return std::clamp(int(std::floor(t * kFrontRate + 1e-6)), 0, int(kSeconds * kFrontRate) - 1);
}
int rearFrameAt(double t, double start = kRearStart) {
    return std::clamp(int(std::floor((t - start) * kRearRate + 1e-6)), 0,
                      int(kSeconds * kRearRate) - 1);
}

} // namespace

class TestCameraSync : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_front, m_rear, m_rearByName;
    double m_rearStart = kRearStart; // where the rear now checked starts

    // Serves the event loop until both cameras have a frame newer than `front`/`rear`.
    bool bothNewer(CGraphPlayer& engine, quint64 front, quint64 rear) {
        return QTest::qWaitFor(
            [&] {
                return engine.CameraSlot(0)->FrameCount() > front &&
                       engine.CameraSlot(1)->FrameCount() > rear;
            },
            10000);
    }

    // The front with `rear` (starting `offset` seconds later by the names) in a shown host.
    bool openPair(CGraphPlayer& engine, QFrame& host, const QString& rear, double offset) {
        host.resize(640, 360);
        host.show();
        return engine.CreateGraph() && engine.AddCamera({rear, QStringLiteral("Rear"), offset}) &&
               engine.OpenMediaFile(m_front) && engine.AttachVideoWindow(&host);
    }

    // Does `move` and serves the event loop until both cameras show a frame of it.
    bool moved(CGraphPlayer& engine, const std::function<bool()>& move) {
        const quint64 front = engine.CameraSlot(0)->FrameCount();
        const quint64 rear = engine.CameraSlot(1)->FrameCount();
        return move() && bothNewer(engine, front, rear);
    }

    void checkShown(CGraphPlayer& engine, const char* what) {
        QTest::qWait(60); // a later frame of the same seek would show up by now
        const double t = position(engine);
        const int front = frameNumber(engine.CameraImage(0));
        const int rear = frameNumber(engine.CameraImage(1));
        const QByteArray where = QByteArray(what) + " at " + QByteArray::number(t, 'f', 3);
        QVERIFY2(front == frontFrameAt(t), (where + ": front " + QByteArray::number(front) +
                                            ", wanted " + QByteArray::number(frontFrameAt(t)))
                                               .constData());
        QVERIFY2(rear == rearFrameAt(t, m_rearStart),
                 (where + ": rear " + QByteArray::number(rear) + ", wanted " +
                  QByteArray::number(rearFrameAt(t, m_rearStart)))
                     .constData());
    }

private Q_SLOTS:
    void initTestCase() {
        QVERIFY(m_dir.isValid());
        m_front = m_dir.filePath(QStringLiteral("2026_0520_143000_0001F.MP4"));
        m_rear = m_dir.filePath(QStringLiteral("2026_0520_143000_0001R.MP4"));
        QVERIFY(makeCamera(m_front, kFrontRate, 0, true));
        QVERIFY(makeCamera(m_rear, kRearRate, kRearStart, false));
        // A rear whose file starts a second later by the names, its picture from its start.
        m_rearByName = m_dir.filePath(QStringLiteral("later/2026_0520_143001_0001R.MP4"));
        QVERIFY(QDir().mkpath(m_dir.filePath(QStringLiteral("later"))));
        QVERIFY(makeCamera(m_rearByName, kRearRate, 0, false, kShortRear));
        // The oracle says the rear's first picture comes 0.7 s in.
        const QList<double> rearTimes = frameTimes(m_rear);
        QVERIFY(!rearTimes.isEmpty());
        QVERIFY2(std::abs(rearTimes.first() - kRearStart) < 0.01,
                 QByteArray::number(rearTimes.first()).constData());
    }

    // Seeks (before the rear starts too), steps and frame backs, paused: both cameras show the
    // frame for the time shown, never one behind.
    void eachCameraShowsItsFrameAfterEveryMove() {
        QFrame host;
        CGraphPlayer engine;
        QVERIFY(openPair(engine, host, m_rear, 0));
        QCOMPARE(engine.CameraCount(), 2);
        QVERIFY(bothNewer(engine, 0, 0));
        checkShown(engine, "opened");

        const QList<double> targets{3.217, 0.35, 11.5, 0.69, 0.71, 7.04, 19.9, 1.0, 15.333, 5.5};
        for (double target : targets) {
            QVERIFY(moved(engine, [&] { return engine.SeekToSeconds(target); }));
            checkShown(engine, "seek");
            if (QTest::currentTestFailed())
                return;

            QVERIFY(moved(engine, [&] { return engine.StepOneFrame(); }));
            checkShown(engine, "step");
            if (QTest::currentTestFailed())
                return;
            QCOMPARE(frameNumber(engine.CameraImage(0)), frontFrameAt(target) + 1);

            QVERIFY(moved(engine, [&] {
                return engine.SeekToSeconds(engine.FrameBackTarget(position(engine)));
            }));
            checkShown(engine, "frame back");
            if (QTest::currentTestFailed())
                return;
            QCOMPARE(frameNumber(engine.CameraImage(0)), frontFrameAt(target));
        }

        // End: the front's last frame, the rear's for that time (its file ends 0.7 s later;
        // the recording's length stays the front's).
        double duration = 0;
        QVERIFY(engine.GetDurationSeconds(duration));
        {
            QVERIFY(moved(engine, [&] { return engine.SeekToSeconds(duration); }));
            QCOMPARE(duration, kSeconds);
            checkShown(engine, "end");
            QCOMPARE(frameNumber(engine.CameraImage(0)), int(kSeconds * kFrontRate) - 1);
            QVERIFY(moved(engine, [&] { return engine.SeekToSeconds(5.5); }));
            checkShown(engine, "back from the end");
        }

        // The picture as shown holds both: the rear small in its corner (bottom right, clear of
        // the front's number), each showing its own frame.
        const double t = position(engine);
        const CameraLayout::Arrangement corner{CameraLayout::View::PictureInPicture,
                                               CameraLayout::BottomRight, 0};
        engine.SetArrangement(corner);
        const QImage composed = engine.ComposedImage();
        QCOMPARE(composed.size(), QSize(320, 192));
        QCOMPARE(frameNumber(composed), frontFrameAt(t));
        const QRect small =
            CameraLayout::Areas(composed.rect(), {QSize(320, 192), QSize(320, 192)}, corner)[1];
        QCOMPARE(frameNumber(composed.copy(small)), rearFrameAt(t));
        // Side by side: twice as wide, the rear's picture in the right half.
        engine.SetArrangement({CameraLayout::View::SideBySide, CameraLayout::TopRight, 0});
        const QImage side = engine.ComposedImage();
        QCOMPARE(side.size(), QSize(640, 192));
        QCOMPARE(frameNumber(side.copy(320, 0, 320, 192)), rearFrameAt(position(engine)));
        const QList<QRect> areas = engine.CameraAreas();
        QCOMPARE(areas.size(), 2);
        QCOMPARE(engine.CameraSurface(1)->geometry(), areas[1]);
        QVERIFY(areas[1].left() >= host.width() / 2 - 1);
    }

    // A camera whose file starts later (by the times in the names): seeks before and after its
    // start, and play, keep it at its place on the front's time line.
    void aCameraStartingLaterKeepsItsPlace() {
        m_rearStart = 1.0;
        QFrame host;
        CGraphPlayer engine;
        QVERIFY(openPair(engine, host, m_rearByName, 1.0));
        QVERIFY(bothNewer(engine, 0, 0));
        checkShown(engine, "opened");
        for (double target : {0.5, 3.2, 10.0, 0.99, 1.01, 2.5}) {
            QVERIFY(moved(engine, [&] { return engine.SeekToSeconds(target); }));
            checkShown(engine, "seek");
            if (QTest::currentTestFailed())
                return;
        }
        // Past the rear's end (13 s on the front's time line): its last frame.
        {
            QVERIFY(moved(engine, [&] { return engine.SeekToSeconds(20.0); }));
            QTest::qWait(60);
            QCOMPARE(frameNumber(engine.CameraImage(1)), int(kShortRear * kRearRate) - 1);
            QCOMPARE(frameNumber(engine.CameraImage(0)), frontFrameAt(position(engine)));
            QVERIFY(moved(engine, [&] { return engine.SeekToSeconds(2.5); }));
            checkShown(engine, "back before the rear's end");
        }
        // Played on from 2.5 s for a while, then paused: still in place.
        QVERIFY(engine.StartPlayback());
        QTest::qWait(1500);
        QVERIFY(engine.PausePlayback());
        QTest::qWait(300);
        const double t = position(engine);
        QVERIFY(std::abs(frameNumber(engine.CameraImage(1)) - rearFrameAt(t, 1.0)) <= 1);
        QVERIFY(std::abs(frameNumber(engine.CameraImage(0)) - frontFrameAt(t)) <= 1);
        m_rearStart = kRearStart;
    }

    // The window opens a moment's cameras together; C, V and Shift+C arrange them; a snapshot
    // saves the picture as shown and each camera's own frame beside it.
    void theWindowShowsAMomentsCameras() {
        ScriptedPrompts prompts;
        CPlayerDlg w;
        w.show();
        // The window's keys reach it while it is the active window.
        w.activateWindow();
        QVERIFY(waitFor([&] { return QApplication::activeWindow() == &w; }));
        CurrentRecord.folder = m_dir.path() + QLatin1Char('/');
        CurrentRecord.fileName = QFileInfo(m_front).fileName();
        w.OnOpenRecord();
        CGraphPlayer* engine = w.Player();
        QVERIFY(engine);
        QCOMPARE(engine->CameraCount(), 2);
        QCOMPARE(engine->CameraLabel(0), QStringLiteral("Front"));
        QCOMPARE(engine->CameraLabel(1), QStringLiteral("Rear"));
        QVERIFY(bothNewer(*engine, 0, 0));
        w.setFocus();

        QTest::keyClick(&w, Qt::Key_C);
        QCOMPARE(engine->Arrangement().main, 1);
        QTest::keyClick(&w, Qt::Key_V);
        QCOMPARE(engine->Arrangement().view, CameraLayout::View::SideBySide);
        QTest::keyClick(&w, Qt::Key_V);
        QTest::keyClick(&w, Qt::Key_C, Qt::ShiftModifier);
        QCOMPARE(engine->Arrangement().corner, int(CameraLayout::BottomRight));
        QTest::keyClick(&w, Qt::Key_C);
        QCOMPARE(engine->Arrangement().main, 0);
        // The small picture where the rear shows: a click there makes it the large one.
        const QRect small = engine->CameraAreas().value(1);
        QVERIFY(!small.isEmpty());
        QWidget* host = engine->VideoSurface()->parentWidget();
        QTest::mouseClick(host, Qt::LeftButton, {}, small.center());
        QCOMPARE(engine->Arrangement().main, 1);
        QCOMPARE(CMultiCamFeature::Of(&w)->Arrangement().main, 1);
        QCOMPARE(engine->CameraSurface(1)->geometry(), host->rect());

        QTemporaryDir shots;
        const QString target = shots.filePath(QStringLiteral("shot.bmp"));
        prompts.saveAnswers.push_back(target);
        w.OnSnapshot();
        const QImage shown(target), front(shots.filePath(QStringLiteral("shot_Front.bmp"))),
            rear(shots.filePath(QStringLiteral("shot_Rear.bmp")));
        QCOMPARE(front.size(), QSize(320, 192));
        QCOMPARE(rear.size(), QSize(320, 192));
        QCOMPARE(shown.size(), QSize(320, 192));
        // Taken at one moment: the rear's frame is the one due at the front's.
        const int frontFrame = frameNumber(front);
        QVERIFY2(
            std::abs(frameNumber(rear) - rearFrameAt(frontFrame / kFrontRate)) <= 1,
            qPrintable(QStringLiteral("front %1, rear %2").arg(frontFrame).arg(frameNumber(rear))));
        // As shown, the rear is the large picture: its number along the top.
        QCOMPARE(frameNumber(shown), frameNumber(rear));
    }

    // 20 s of play: at every frame of the front painted, the rear on screen is within one frame
    // of the one due at that time.
    void playingTheyStayTogether() {
        QFrame host;
        CGraphPlayer engine;
        QVERIFY(openPair(engine, host, m_rear, 0));
        QVERIFY(bothNewer(engine, 0, 0));

        int checked = 0, worst = 0;
        QString worstAt;
        QObject::connect(engine.CameraSlot(0), &CFrameSlot::FrameReady, &host, [&] {
            const int front = frameNumber(engine.CameraImage(0));
            const int rear = frameNumber(engine.CameraImage(1));
            if (front < 0 || rear < 0)
                return;
            const int skew = std::abs(rear - rearFrameAt(front / kFrontRate));
            // Before the rear starts it holds its first frame, which is right.
            if (skew > worst) {
                worst = skew;
                worstAt = QStringLiteral("front %1, rear %2").arg(front).arg(rear);
            }
            ++checked;
        });
        QVERIFY(engine.StartPlayback());
        QTest::qWait(20000);
        QVERIFY(engine.PausePlayback());
        QVERIFY2(checked > (kCheckedBuild ? 20 : 100), QByteArray::number(checked).constData());
        if (!kCheckedBuild)
            QVERIFY2(worst <= 1, qPrintable(QStringLiteral("skew %1 frames (%2) over %3 frames")
                                                .arg(worst)
                                                .arg(worstAt)
                                                .arg(checked)));
        // Stopped: each within a frame of its own for the time shown.
        QTest::qWait(300);
        const double t = position(engine);
        QVERIFY(t > 1);
        QVERIFY(std::abs(frameNumber(engine.CameraImage(0)) - frontFrameAt(t)) <= 1);
        QVERIFY(std::abs(frameNumber(engine.CameraImage(1)) - rearFrameAt(t)) <= 1);
    }
};

PLAYER_WINDOW_TEST_MAIN(TestCameraSync)
#include "test_camera_sync.moc"
