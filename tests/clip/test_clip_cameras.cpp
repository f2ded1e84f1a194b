// SPDX-License-Identifier: GPL-3.0-or-later
// A clip of a moment that several cameras recorded: one picture track per camera, each the
// camera's own frames for the span (ffmpeg's framemd5 of the clip against that of the source,
// the frames picked from ffprobe's packet table), named after it, in its place on the front
// camera's time line (ffprobe), the front camera's sound, manifests sha256sum checks, and the
// picture with the data composing the rear camera into the front's (ffmpeg decodes it whole).
#include "RunProgram.h"
#include "TestSupport.h"
#include "clip/ClipExport.h"
#include "democard/CameraCard.h"

#include <QDir>
#include <QTemporaryDir>
#include <algorithm>
#include <cmath>

namespace {

// The MD5 of each frame of a stream, in presentation order as ffmpeg decodes it; with `copy`,
// of each packet as stored.
QList<QByteArray> md5s(const QString& file, const QString& map, bool copy = false) {
    QStringList args = {"-v", "error", "-i", file, "-map", map};
    if (copy)
        args += {"-c", "copy"};
    QList<QByteArray> hashes;
    for (const QByteArray& line :
         run("ffmpeg", args + QStringList{"-f", "framemd5", "-"}).out.split('\n'))
        if (!line.startsWith('#') && line.count(',') >= 5)
            hashes.append(line.split(',').last().trimmed());
    return hashes;
}

QByteArray probed(const QString& file, const QString& entries, const QString& stream = {}) {
    QStringList args = {"-v", "error"};
    if (!stream.isEmpty())
        args += {"-select_streams", stream};
    return run("ffprobe", args + QStringList{"-show_entries", entries, "-of", "csv=p=0", file})
        .out.trimmed();
}

// What ffprobe lists of one stream's packets, in stored (decoding) order.
struct Packet {
    double pts = 0;
    bool key = false;
};
QList<Packet> packets(const QString& file, const QString& stream) {
    QList<Packet> list;
    for (const QByteArray& line : probed(file, "packet=pts_time,flags", stream).split('\n'))
        if (line.contains(','))
            list.append({line.split(',')[0].toDouble(), line.split(',')[1].startsWith('K')});
    return list;
}

// The source's frames a lossless copy of [start, end) of its own time line holds: from the
// last key frame presented by `start`, each packet in stored order up to the first presented
// at or after `end`; as indices into the frames in presentation order, and where they start.
struct Expected {
    QList<int> frames;
    double first = 0;
};
Expected expectedFrames(const QList<Packet>& stored, double start, double end) {
    QList<double> shown;
    for (const Packet& p : stored)
        shown.append(p.pts);
    std::sort(shown.begin(), shown.end());
    qsizetype from = 0;
    for (qsizetype i = 0; i < stored.size(); ++i)
        if (stored[i].key && stored[i].pts <= start + 1e-6)
            from = i;
    Expected e;
    e.first = stored[from].pts;
    for (qsizetype i = from; i < stored.size() && stored[i].pts < end - 1e-6; ++i)
        e.frames.append(int(shown.indexOf(stored[i].pts)));
    std::sort(e.frames.begin(), e.frames.end());
    return e;
}

// Frame `index` of a file's first picture as 8-bit grey, scaled to `width` × `height` when
// given.
QByteArray greyFrame(const QString& file, int index, int width = 0, int height = 0) {
    QString filter = QStringLiteral("select=eq(n\\,%1)").arg(index);
    if (width > 0)
        filter += QStringLiteral(",scale=%1:%2").arg(width).arg(height);
    return run("ffmpeg", {"-v", "error", "-i", file, "-map", "0:v:0", "-vf", filter, "-frames:v",
                          "1", "-f", "rawvideo", "-pix_fmt", "gray", "-"})
        .out;
}

// The mean absolute difference of `w` × `h` pixels at (ax, ay) of `a` (`aw` wide) and at
// (bx, by) of `b` (`bw` wide).
double difference(const QByteArray& a, int aw, int ax, int ay, const QByteArray& b, int bw, int bx,
                  int by, int w, int h) {
    double sum = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            sum += std::abs(int(uchar(a[(ay + y) * aw + ax + x])) -
                            int(uchar(b[(by + y) * bw + bx + x])));
    return sum / (w * h);
}

// An H.264 (B-frames, a key frame a second) and AAC MP4 as a recorder's camera writes it, the
// frame number in the picture.
bool encode(const QString& out, const QString& picture, int fps, int seconds, int hz) {
    const QString args =
        QStringLiteral("-v error -y -f lavfi -i %1=size=%2:rate=%3:duration=%4 -f lavfi -i "
                       "sine=frequency=%5:sample_rate=48000:duration=%4 -vf "
                       "drawtext=text=%{n}:x=20:y=h-60:fontsize=32:fontcolor=white -c:v libx264 "
                       "-bf 2 -g %3 -pix_fmt yuv420p -threads 1 -c:a aac -b:a 96k -bitexact")
            .arg(picture, fps == 30 ? "640x360" : "480x270")
            .arg(fps)
            .arg(seconds)
            .arg(hz);
    const Ran r = run("ffmpeg", args.split(' ') + QStringList{out});
    if (r.code != 0)
        qWarning("%s", r.err.constData());
    return r.code == 0;
}

} // namespace

class TestClipCameras : public QObject {
    Q_OBJECT

    QTemporaryDir m_card;
    QString front1, rear1, inside1, front2, rear2;

private Q_SLOTS:
    // Two moments of a three-camera recorder: front (30 fps), rear (25 fps) named a second
    // later, interior; then front and rear named alike, the rear's picture 0.7 s into its file
    // (an edit list). The front's trip beside it, as NMEA.
    void initTestCase() {
        const QString movie = m_card.filePath("Movie");
        QVERIFY(QDir().mkpath(movie));
        front1 = movie + "/2026_0520_143000_0001F.MP4";
        rear1 = movie + "/2026_0520_143001_0001R.MP4";
        inside1 = movie + "/2026_0520_143000_0001I.MP4";
        front2 = movie + "/2026_0520_150000_0002F.MP4";
        rear2 = movie + "/2026_0520_150000_0002R.MP4";
        QVERIFY(encode(front1, "testsrc2", 30, 12, 440));
        QVERIFY(encode(rear1, "testsrc", 25, 11, 660));
        QVERIFY(encode(inside1, "smptebars", 25, 12, 880));
        QVERIFY(QFile::copy(front1, front2));
        const QString late = m_card.filePath("late.mp4");
        QVERIFY(encode(late, "testsrc", 25, 11, 660));
        const Ran shifted = run("ffmpeg", {"-v", "error", "-itsoffset", "0.7", "-i", late, "-c",
                                           "copy", "-bitexact", rear2});
        QVERIFY2(shifted.code == 0, shifted.err.constData());
        QVERIFY(QFile::remove(late));
        QCOMPARE(probed(rear2, "stream=start_time", "v:0"), QByteArray("0.700000"));
        democard::Recording drive;
        drive.seconds = 12;
        drive.start = QDateTime(QDate(2026, 5, 20), QTime(12, 30, 0), Qt::UTC);
        for (const QString& front : {front1, front2}) {
            QFile nmea(democard::nmeaName(front));
            QVERIFY(nmea.open(QIODevice::WriteOnly));
            nmea.write(democard::nmeaText(drive));
        }
    }

    // Each camera's track decodes to its own frames of the span, from its key frame at or
    // before the span's start on its own time line to the span's end, and starts where that
    // key frame lies on the front camera's time line; the sound is the front camera's; the
    // clip's folder checks by its manifest wherever it goes, the originals by theirs.
    void everyCameraCopied_data() {
        QTest::addColumn<QString>("front");
        QTest::addColumn<QStringList>("others");
        QTest::addColumn<QList<double>>("offsets");
        QTest::addColumn<QByteArray>("titles");
        QTest::addColumn<QStringList>("span"); // --from, --to
        QTest::addColumn<double>("start");     // the front's key frame by --from
        QTest::newRow("three cameras, the rear named a second later")
            << front1 << QStringList{rear1, inside1} << QList<double>{1.0, 0.0}
            << QByteArray("Front\nRear\nInterior") << QStringList{"5.3", "8"} << 5.0;
        QTest::newRow("the rear starting a second into the clip")
            << front1 << QStringList{rear1, inside1} << QList<double>{1.0, 0.0}
            << QByteArray("Front\nRear\nInterior") << QStringList{"0.3", "3"} << 0.0;
        QTest::newRow("the rear's picture 0.7 s into its file, a key frame before the front's")
            << front2 << QStringList{rear2} << QList<double>{0.0} << QByteArray("Front\nRear")
            << QStringList{"5.3", "8"} << 5.0;
    }

    void everyCameraCopied() {
        QFETCH(QString, front);
        QFETCH(QStringList, others);
        QFETCH(QList<double>, offsets);
        QFETCH(QByteArray, titles);
        QFETCH(QStringList, span);
        QFETCH(double, start);
        const double end = span[1].toDouble();
        QTemporaryDir out;
        const QString clip = out.filePath("c.mkv");
        const Ran cli =
            run(PLAYER_BINARY, {"--export-clip", front, "--from", span[0], "--to", span[1], clip});
        QVERIFY2(cli.code == 0, cli.err.constData());
        QVERIFY2(cli.err.contains("Cameras: " + titles.replace('\n', ", ")), cli.err.constData());
        QCOMPARE(probed(clip, "stream_tags=title", "v").replace("\n", ", "), titles);
        QCOMPARE(probed(clip, "stream=codec_type", "a"), QByteArray("audio"));

        const QStringList sources = QStringList{front} + others;
        const QList<double> offset = QList<double>{0.0} + offsets;
        QList<double> starts;
        for (qsizetype k = 0; k < sources.size(); ++k) {
            // The span starts at the front's key frame; each other camera's is the same span of
            // the front's time line.
            const Expected want =
                expectedFrames(packets(sources[k], "v:0"), start - offset[k], end - offset[k]);
            const QList<QByteArray> all = md5s(sources[k], "0:v:0");
            QList<QByteArray> frames;
            for (const int i : want.frames)
                frames.append(all.value(i));
            const QString track = QStringLiteral("0:v:%1").arg(k);
            QVERIFY2(frames.size() >= 40, qPrintable(sources[k]));
            QCOMPARE(md5s(clip, track), frames);
            QList<double> times;
            for (const Packet& p : packets(clip, QStringLiteral("v:%1").arg(k)))
                times.append(p.pts);
            starts.append(*std::min_element(times.begin(), times.end()) - (want.first + offset[k]));
        }
        // One time line: every track as far from its source's place as the front, and the
        // earliest at the clip's start.
        for (const double s : starts)
            QVERIFY2(std::abs(s - starts[0]) <= 0.0015,
                     qPrintable(QStringLiteral("%1 against %2").arg(s).arg(starts[0])));
        const double frontAt = start + starts[0]; // after the lead of an earlier key frame
        QVERIFY2(probed(clip, "stream=start_time", "v").split('\n').contains("0.000000"),
                 probed(clip, "stream=start_time", "v").constData());

        // The sound: a run of the front camera's packets, starting with its picture.
        const QList<QByteArray> sound = md5s(clip, "0:a", true), all = md5s(front, "0:a", true);
        const qsizetype at = all.indexOf(sound.value(0));
        QVERIFY(at >= 0 && sound.size() > 100);
        QCOMPARE(sound, all.mid(at, sound.size()));
        // Mended after the muxer among several tracks: every sound block a key frame, and the
        // whole clip decodes without a warning.
        for (const Packet& p : packets(clip, "a:0"))
            QVERIFY(p.key);
        const Ran decode =
            run("ffmpeg", {"-v", "warning", "-xerror", "-i", clip, "-map", "0", "-f", "null", "-"});
        QVERIFY2(decode.code == 0 && decode.err.isEmpty(), decode.err.constData());

        // The subtitles on the clip's time line: the front's fix at the span's start where the
        // front's picture starts.
        const Ran srt =
            run("ffmpeg", {"-v", "error", "-i", out.filePath("c.srt"), "-f", "srt", "-"});
        const QByteArray cue =
            QByteArray::number(qint64(std::lround(frontAt * 1000)) % 1000).rightJustified(3, '0');
        QVERIFY2(
            srt.out.contains("00:00:0" + QByteArray::number(int(frontAt)) + "," + cue + " --> "),
            srt.out.left(200).constData());

        QTemporaryDir handedOver;
        for (const QString& name : QDir(out.path()).entryList(QDir::Files))
            QVERIFY(QFile::copy(out.filePath(name), handedOver.filePath(name)));
        const Ran check = run("sha256sum", {"--strict", "-c", "c.sha256"}, handedOver.path());
        QVERIFY2(check.code == 0 && check.out.contains("c.mkv: OK"),
                 (check.out + check.err).constData());
        const Ran originals = run("sha256sum", {"--strict", "-c", out.filePath("c.source.sha256")},
                                  QFileInfo(front).absolutePath());
        QVERIFY2(originals.code == 0, (originals.out + originals.err).constData());
        for (const QString& source : sources)
            QVERIFY2(originals.out.contains(QFileInfo(source).fileName().toUtf8() + ": OK"),
                     originals.out.constData());
    }

    // With the data in the picture: an MP4 ffmpeg decodes without a word, at the front's size
    // and rate, every frame of the front's span, the rear camera's picture scaled into the top
    // right corner, the front's elsewhere, the text at the top left.
    void overlayComposesTheRear() {
        QTemporaryDir out;
        const Ran cli = run(PLAYER_BINARY, {"--export-clip", front1, "--from", "5", "--to", "8",
                                            "--overlay", out.filePath("o.mkv")});
        QVERIFY2(cli.code == 0, cli.err.constData());
        QVERIFY2(cli.err.contains("shows the front and rear cameras"), cli.err.constData());
        const QString mp4 = out.filePath("o.mp4");
        const Ran decode = run("ffmpeg", {"-v", "error", "-xerror", "-i", mp4, "-f", "null", "-"});
        QVERIFY2(decode.code == 0 && decode.err.isEmpty(), decode.err.constData());
        QCOMPARE(run("ffprobe",
                     {"-v", "error", "-select_streams", "v:0", "-count_frames", "-show_entries",
                      "stream=width,height,r_frame_rate,nb_read_frames", "-of", "csv=p=0", mp4})
                     .out.trimmed(),
                 QByteArray("640,360,30/1,90"));
        const Ran check = run("sha256sum", {"--strict", "-c", "o.sha256"}, out.path());
        QVERIFY2(check.code == 0 && check.out.contains("o.mp4: OK"), check.out.constData());

        // Frame 45 is 6.5 s into the front's file and 5.5 s into the rear's: its frame 137 or
        // 138. The inset: about a third of the width, a small margin from the corner.
        const QByteArray ours = greyFrame(mp4, 45), theirs = greyFrame(front1, 195);
        QCOMPARE(ours.size(), 640 * 360);
        const int w = (640 / 3) & ~1, h = (w * 270 / 480) & ~1;
        double inset = 1e9;
        for (const int rearFrame : {137, 138}) {
            const QByteArray rear = greyFrame(rear1, rearFrame, w, h);
            QCOMPARE(rear.size(), w * h);
            for (int mx = 0; mx <= 16; mx += 2)
                for (int my = 0; my <= 16; my += 2)
                    inset = std::min(inset,
                                     difference(ours, 640, 640 - w - mx, my, rear, w, 0, 0, w, h));
        }
        const double corner = difference(ours, 640, 440, 20, theirs, 640, 440, 20, 180, 90);
        const double road = difference(ours, 640, 40, 180, theirs, 640, 40, 180, 560, 160);
        const double text = difference(ours, 640, 10, 10, theirs, 640, 10, 10, 200, 50);
        QVERIFY2(inset < 8 && corner > 30 && road < 4 && text > 20,
                 qPrintable(QStringLiteral("inset %1, corner %2, road %3, text %4")
                                .arg(inset)
                                .arg(corner)
                                .arg(road)
                                .arg(text)));
    }

    // A camera that recorded nothing of the span (the rear's file begins after it ends) is left
    // out, saying so; the others are in the clip.
    void aCameraWithoutTheSpan() {
        QTemporaryDir out;
        const QString clip = out.filePath("early.mkv");
        const Ran cli =
            run(PLAYER_BINARY, {"--export-clip", front1, "--from", "0", "--to", "0.9", clip});
        QVERIFY2(cli.code == 0 && cli.err.contains("rear camera") &&
                     cli.err.contains("recorded nothing of the span") &&
                     cli.err.contains("Cameras: Front, Interior"),
                 cli.err.constData());
        QCOMPARE(probed(clip, "stream_tags=title", "v"), QByteArray("Front\nInterior"));
    }

    // Stopped halfway, an export of several cameras leaves nothing behind.
    void cancelledLeavesNothing() {
        QTemporaryDir out;
        ClipExport::Request request;
        request.source = front2;
        request.out = out.filePath("gone.mkv");
        request.overlay = true;
        double seen = 0;
        const ClipExport::Result result = ClipExport::Export(request, [&](double share) {
            seen = std::max(seen, share);
            return share < 0.5;
        });
        QVERIFY(result.cancelled && seen >= 0.5);
        QCOMPARE(QDir(out.path()).entryList(QDir::Files | QDir::Hidden), QStringList());
    }
};

QTEST_GUILESS_MAIN(TestClipCameras)
#include "test_clip_cameras.moc"
