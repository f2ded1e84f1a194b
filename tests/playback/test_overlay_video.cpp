// SPDX-License-Identifier: GPL-3.0-or-later
// The video in an X11 sink's own window: chosen on X11 (offscreen keeps our surface), the frame on
// screen after a paused seek, the bands in the host's colour around a picture of another shape
// (pixel aspect applied), a still picture made again when the area changes size, a click going
// through to the host, and snapshots at the native size. What the window shows is read back from
// the X server (ImageMagick's import) and held against ffmpeg's decode of the same file.
// Without a display the test starts its own Xvfb; without Xvfb it skips, saying so.
#include "PlaybackTestSupport.h"
#include "playback/FrameSlot.h"
#include "playback/VideoSurface.h"

#include <QApplication>
#include <QDir>
#include <QFrame>
#include <QMouseEvent>
#include <QStandardPaths>
#include <QTest>
#include <cstdio>
#include <memory>

namespace {

const QColor kHostColour(0x33, 0x66, 0xaa);

// A clip made by ffmpeg: every frame differs (testsrc2 moves and counts).
QString makeClip(const QString& dir, const QString& name, const QStringList& encode,
                 const QString& source) {
    const QString path = QDir(dir).filePath(name);
    QProcess ffmpeg;
    ffmpeg.start(QStringLiteral("ffmpeg"),
                 QStringList{"-v", "error", "-y", "-f", "lavfi", "-i", source, "-t", "4"} + encode +
                     QStringList{path});
    ffmpeg.waitForFinished(120000);
    return ffmpeg.exitCode() == 0 && QFile::exists(path) ? path : QString();
}

// The window as the X server shows it.
QImage grab(QWidget& window) {
    QProcess import;
    import.start(QStringLiteral("import"),
                 {"-window", QString::number(window.winId()), QStringLiteral("png:-")});
    import.waitForFinished(30000);
    return QImage::fromData(import.readAllStandardOutput(), "PNG")
        .convertToFormat(QImage::Format_RGB32);
}

// Pixels of `rect` in `image` farther than `tolerance` from `colour` in any channel.
int offColour(const QImage& image, const QRect& rect, const QColor& colour, int tolerance = 3) {
    int off = 0;
    for (int y = rect.top(); y <= rect.bottom(); ++y)
        for (int x = rect.left(); x <= rect.right(); ++x) {
            const QRgb p = image.pixel(x, y);
            if (qAbs(qRed(p) - colour.red()) > tolerance ||
                qAbs(qGreen(p) - colour.green()) > tolerance ||
                qAbs(qBlue(p) - colour.blue()) > tolerance)
                ++off;
        }
    return off;
}

// ffmpeg's decode of frame `k`, shown at `size` (its display shape is the caller's).
QImage ffmpegAt(const QString& path, int k, const QSize& size) {
    const QList<QImage> frames = ffmpegFrames(path, k, k);
    return frames.value(0).scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

} // namespace

class TestOverlayVideo : public QObject {
    Q_OBJECT
public:
    explicit TestOverlayVideo(QString skip) : m_skip(std::move(skip)) {}

private:
    QString m_skip;
    QTemporaryDir m_dir;
    QString m_square; // 640 x 480, square pixels, MJPEG in ASF as the recorders write it
    QString m_wide;   // 320 x 240 stored, pixels twice as wide as high: shown 640 x 240
    std::unique_ptr<QFrame> m_host;

    bool openIn(CGraphPlayer& engine, const QString& path) {
        return engine.CreateGraph() && engine.OpenMediaFile(path) &&
               engine.AttachVideoWindow(m_host.get()) && engine.PausePlayback() &&
               waitFor([&] { return engine.VideoSurface()->PaintedFrames() > 0; });
    }
    bool seekShown(CGraphPlayer& engine, double seconds) {
        const quint64 painted = engine.VideoSurface()->PaintedFrames();
        if (!seekAndShow(engine, seconds))
            return false;
        const bool shown =
            waitFor([&] { return engine.VideoSurface()->PaintedFrames() > painted; });
        QTest::qWait(300); // the bands' paint and the window's placing reach the server
        return shown;
    }
    // The picture's area in the host's window and its likeness to ffmpeg's frame k (mean
    // difference per channel), and to the frames beside it.
    void checkPicture(const QString& path, double seconds, const QRect& where) {
        const int k = FfmpegFrames(path).at(seconds);
        const QImage expected = ffmpegAt(path, k, where.size());
        const QImage previous = ffmpegAt(path, k - 1, where.size());
        const QImage next = ffmpegAt(path, k + 1, where.size());
        // The X server may show the sink's picture a while after the engine counted it painted
        // (seconds on a loaded machine under the sanitizers): looked at again until it holds.
        double same = -1, before = -1, after = -1;
        for (int look = 0; look < 20; ++look) {
            if (look > 0)
                QTest::qWait(250);
            const QImage window = grab(*m_host);
            QVERIFY2(!window.isNull(), "import gave no picture of the window");
            const QImage shown = window.copy(where);
            same = difference(shown, expected);
            before = difference(shown, previous);
            after = difference(shown, next);
            if (same < 8 && same < before && same < after)
                return;
        }
        QFAIL(qPrintable(QStringLiteral("frame %1: %2 (frame before %3, after %4)")
                             .arg(k)
                             .arg(same)
                             .arg(before)
                             .arg(after)));
    }

private Q_SLOTS:
    void initTestCase() {
        if (!m_skip.isEmpty())
            QSKIP(qPrintable(m_skip));
        if (QStandardPaths::findExecutable(QStringLiteral("import")).isEmpty())
            QSKIP("ImageMagick's import is not installed");
        m_square = makeClip(m_dir.path(), "square.asf", {"-c:v", "mjpeg", "-q:v", "2", "-f", "asf"},
                            "testsrc2=size=640x480:rate=10");
        m_wide = makeClip(m_dir.path(), "wide.mp4",
                          {"-c:v", "libx264", "-g", "10", "-bf", "0", "-pix_fmt", "yuv420p"},
                          "testsrc2=size=320x240:rate=10,setsar=2");
        QVERIFY(!m_square.isEmpty() && !m_wide.isEmpty());
        m_host = std::make_unique<QFrame>();
        m_host->setAutoFillBackground(true);
        QPalette palette = m_host->palette();
        palette.setColor(QPalette::Window, kHostColour);
        m_host->setPalette(palette);
        m_host->setGeometry(40, 40, 600, 300);
        m_host->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_host.get()));
    }
    void cleanupTestCase() { m_host.reset(); }

    bool engineVideoPathIs(const char* sink) {
        CGraphPlayer engine;
        return openIn(engine, m_square) && engine.VideoPath().contains(QLatin1String(sink));
    }

    void overlayOnX11() {
        CGraphPlayer engine;
        QVERIFY(openIn(engine, m_square));
        QVERIFY2(engine.VideoPath().startsWith("X11 overlay ("), qPrintable(engine.VideoPath()));
    }

    // Unless asked for, ximagesink (no XVideo port, as under Xvfb) is left for our surface,
    // which scales for less.
    void softwareScalingLeftUnlessAsked() {
        if (!engineVideoPathIs("ximagesink"))
            QSKIP("this X server has an XVideo port");
        qputenv("DASHCARD_VIDEO_PATH", "");
        CGraphPlayer engine;
        const bool opened = openIn(engine, m_square);
        qputenv("DASHCARD_VIDEO_PATH", "overlay");
        QVERIFY(opened);
        QVERIFY2(engine.VideoPath().startsWith("own surface (appsink): no XVideo port"),
                 qPrintable(engine.VideoPath()));
    }

    void picturesAndBands_data() {
        QTest::addColumn<bool>("wide");
        QTest::addColumn<QRect>("picture");
        QTest::addColumn<QList<QRect>>("bands");
        // 640 x 480 in 600 x 300: 400 x 300, bands of 100 at either side.
        QTest::newRow("square pixels") << false << QRect(100, 0, 400, 300)
                                       << QList<QRect>{{0, 0, 100, 300}, {500, 0, 100, 300}};
        // Shown 640 x 240 (its pixels twice as wide): 600 x 225, bands of 37 above and 38
        // below (the picture's edge rows blend with the bands).
        QTest::newRow("wide pixels")
            << true << QRect(0, 38, 600, 223) << QList<QRect>{{0, 0, 600, 37}, {0, 262, 600, 38}};
    }

    // Paused seeks: the frame at each target where the picture fits, the host's colour around.
    void picturesAndBands() {
        QFETCH(bool, wide);
        QFETCH(QRect, picture);
        QFETCH(QList<QRect>, bands);
        const QString& file = wide ? m_wide : m_square;
        CGraphPlayer engine;
        QVERIFY(openIn(engine, file));
        for (double t : {2.35, 0.95, 1.55}) {
            QVERIFY(seekShown(engine, t));
            checkPicture(file, t, picture);
            const QImage window = grab(*m_host);
            for (const QRect& band : bands)
                QCOMPARE(offColour(window, band, kHostColour), 0);
        }
    }

    // Paused, the area changes size: the frame on screen is shown again at the new size (the
    // sink had made it for the old one).
    void stillFrameFollowsTheArea() {
        CGraphPlayer engine;
        QVERIFY(openIn(engine, m_square));
        QVERIFY(seekShown(engine, 2.05));
        m_host->resize(480, 300);
        QTest::qWait(800);
        checkPicture(m_square, 2.05, QRect(40, 0, 400, 300).adjusted(0, 0, 0, 0));
        m_host->resize(600, 300);
        QTest::qWait(300);
        // Smaller: 320 x 240 in 320 x 300, centred.
        m_host->resize(320, 300);
        QTest::qWait(800);
        checkPicture(m_square, 2.05, QRect(0, 30, 320, 240));
        m_host->resize(600, 300);
        QTest::qWait(300);
    }

    void snapshotIsTheNativeFrame() {
        CGraphPlayer engine;
        QVERIFY(openIn(engine, m_wide));
        const FfmpegFrames frames(m_wide);
        for (double t : {0.75, 2.25}) {
            QVERIFY(seekShown(engine, t));
            const QImage snap = shownImage(engine);
            QCOMPARE(snap.size(), QSize(320, 240));
            const QImage ffmpeg = ffmpegFrames(m_wide, frames.at(t), frames.at(t)).value(0);
            QVERIFY2(difference(snap, ffmpeg) < 3,
                     qPrintable(QString::number(difference(snap, ffmpeg))));
            int32_t width = 0, height = 0;
            QVERIFY(engine.GetNativeVideoSize(width, height));
            QCOMPARE(QSize(width, height), QSize(320, 240));
        }
    }

    // The X server gets the click (xdotool), over the picture: the host must see it.
    void clicksReachTheHost() {
        if (QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty())
            QSKIP("xdotool is not installed");
        CGraphPlayer engine;
        QVERIFY(openIn(engine, m_square));
        QVERIFY(seekShown(engine, 1.0));
        struct Clicks : QObject {
            int count = 0;
            bool eventFilter(QObject*, QEvent* event) override {
                if (event->type() == QEvent::MouseButtonPress)
                    ++count;
                return false;
            }
        } clicks;
        m_host->installEventFilter(&clicks);
        const QPoint at = m_host->mapToGlobal(QPoint(300, 150));
        QProcess::execute(QStringLiteral("xdotool"), {"mousemove", QString::number(at.x()),
                                                      QString::number(at.y()), "click", "1"});
        QVERIFY(waitFor([&] { return clicks.count > 0; }, 5000));
        m_host->removeEventFilter(&clicks);
    }

    void offscreenKeepsTheSurface() {
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        child.setProcessEnvironment(env);
        child.start(QCoreApplication::applicationFilePath(), {"--video-path-of", m_square});
        QVERIFY(child.waitForFinished(60000));
        const QByteArray said = child.readAllStandardOutput().trimmed();
        QVERIFY2(said.startsWith("own surface (appsink): the window system is offscreen"),
                 said.constData());
    }
};

int main(int argc, char** argv) {
    // The child of offscreenKeepsTheSurface: the path an engine takes, on standard output.
    if (argc == 3 && qstrcmp(argv[1], "--video-path-of") == 0) {
        QApplication app(argc, argv);
        CGraphPlayer engine;
        engine.CreateGraph();
        engine.OpenMediaFile(QString::fromLocal8Bit(argv[2]));
        std::printf("%s\n", qPrintable(engine.VideoPath()));
        return 0;
    }
    // X11 is what is tested: the display given, else an Xvfb of our own.
    QString skip;
    QProcess xvfb;
    if (qEnvironmentVariableIsEmpty("DISPLAY")) {
        const QString server = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
        int display = 70 + int(QCoreApplication::applicationPid() % 200);
        while (QFile::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(display)))
            ++display;
        if (server.isEmpty()) {
            skip = QStringLiteral("no DISPLAY and no Xvfb to start");
        } else {
            xvfb.start(server, {QStringLiteral(":%1").arg(display), "-screen", "0", "1280x1024x24",
                                "-nolisten", "tcp"});
            const QString socket = QStringLiteral("/tmp/.X11-unix/X%1").arg(display);
            if (!waitFor([&] { return QFile::exists(socket); }, 10000))
                skip = QStringLiteral("Xvfb :%1 did not start").arg(display);
            qputenv("DISPLAY", QByteArray(":") + QByteArray::number(display));
        }
    }
    qputenv("QT_QPA_PLATFORM", skip.isEmpty() ? "xcb" : "offscreen");
    // The overlay is what is tested, also where only ximagesink opens the display.
    qputenv("DASHCARD_VIDEO_PATH", "overlay");
    int status = 0;
    {
        QApplication app(argc, argv);
        TestOverlayVideo test(skip);
        status = QTest::qExec(&test, argc, argv);
    }
    if (xvfb.state() != QProcess::NotRunning) {
        xvfb.terminate();
        xvfb.waitForFinished(5000);
    }
    return status;
}

#include "test_overlay_video.moc"
