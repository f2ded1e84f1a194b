// SPDX-License-Identifier: GPL-3.0-or-later
// A span of a recording handed over as a clip: the marks and their keys, the clip's frames
// against the source's (ffmpeg's framemd5, ffprobe's packets), its length (ffprobe), the
// manifest (sha256sum -c), the trip (gpsbabel), the subtitles (ffmpeg), and a cancelled export
// that leaves nothing.
#include "../reliability/ReliabilitySupport.h"
#include "RunProgram.h"
#include "clip/ClipCommand.h"
#include "clip/ClipExport.h"
#include "clip/ClipFeature.h"
#include "records/CurrentRecord.h"
#include "skin/SkinSlider.h"

#include <QProcess>
#include <QTemporaryDir>

namespace {

// The MD5 of each video frame, in order, as ffmpeg decodes the file.
QList<QByteArray> frameMd5s(const QString& file) {
    QList<QByteArray> hashes;
    for (const QByteArray& line :
         run("ffmpeg", {"-v", "error", "-i", file, "-map", "0:v:0", "-f", "framemd5", "-"})
             .out.split('\n'))
        if (!line.startsWith('#') && line.count(',') >= 5)
            hashes.append(line.split(',').last().trimmed());
    return hashes;
}

// The times of the video frames as ffprobe reads them.
QList<double> frameTimes(const QString& file) {
    QList<double> times;
    for (const QByteArray& line :
         run("ffprobe", {"-v", "error", "-select_streams", "v:0", "-show_entries",
                         "packet=pts_time", "-of", "csv=p=0", file})
             .out.split('\n'))
        if (!line.trimmed().isEmpty())
            times.append(line.trimmed().toDouble());
    return times;
}

double probedLength(const QString& file) {
    return run("ffprobe",
               {"-v", "error", "-show_entries", "format=duration", "-of", "csv=p=0", file})
        .out.trimmed()
        .toDouble();
}

// The length GStreamer's own discoverer reads, seconds.
double discoveredLength(const QString& file) {
    const Ran r = run("gst-discoverer-1.0", {file});
    const qsizetype at = r.out.indexOf("Duration: ");
    if (at < 0)
        return -1;
    const QList<QByteArray> parts = r.out.mid(at + 10, 20).trimmed().split(':');
    return parts.size() == 3
               ? parts[0].toDouble() * 3600 + parts[1].toDouble() * 60 + parts[2].toDouble()
               : -1;
}

// Frame `index` of the file's first video stream as 8-bit grey, as ffmpeg decodes it.
QByteArray greyFrame(const QString& file, int index) {
    return run("ffmpeg",
               {"-v", "error", "-i", file, "-vf", QStringLiteral("select=eq(n\\,%1)").arg(index),
                "-frames:v", "1", "-f", "rawvideo", "-pix_fmt", "gray", "-"})
        .out;
}

// The mean absolute difference of two grey 640-wide frames over a rectangle.
double difference(const QByteArray& a, const QByteArray& b, int x, int y, int w, int h) {
    double sum = 0;
    for (int row = y; row < y + h; ++row)
        for (int col = x; col < x + w; ++col)
            sum += std::abs(int(uchar(a[row * 640 + col])) - int(uchar(b[row * 640 + col])));
    return sum / (w * h);
}

} // namespace

class TestClip : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void timesAsTyped() {
        QCOMPARE(ClipExport::ParseTime("75").value_or(-1), 75.0);
        QCOMPARE(ClipExport::ParseTime("1:15.5").value_or(-1), 75.5);
        QCOMPARE(ClipExport::ParseTime("00:01:15.500").value_or(-1), 75.5);
        QCOMPARE(ClipExport::ParseTime("1:02:03").value_or(-1), 3723.0);
        for (const char* wrong : {"", "1:75", "-3", "1.5.2", "a"})
            QVERIFY2(!ClipExport::ParseTime(wrong), wrong);
        QCOMPARE(ClipExport::TimeText(3723.25), QStringLiteral("01:02:03.250"));
    }

    // I and O mark the frame on screen (O where that frame ends, so that it is in the clip),
    // ticks show them on the seek bar, Backspace clears them, and they go when another
    // recording opens. Exported from the window, the clip holds the frames from the one on
    // screen at I to the one on screen at O, both included.
    void marksAndTheirKeys() {
        ScriptedPrompts prompts;
        CPlayerDlg w;
        w.show();
        w.activateWindow();
        QVERIFY(waitFor([&] { return QApplication::activeWindow() == &w; }));
        CurrentRecord.folder = cardDir();
        CurrentRecord.fileName = QStringLiteral("0001.asf");
        QVERIFY(w.OnOpenRecord());
        QVERIFY(waitFor([&] { return w.Player()->FramesDelivered() > 2; }));
        w.OnPause();
        w.setFocus();
        QVERIFY(w.m_sliderSeek->Marks().isEmpty()); // the bar as it always was
        const auto at = [&](double seconds) {
            const quint64 before = w.Player()->FramesDelivered();
            QVERIFY(w.Player()->SeekToSeconds(seconds));
            QVERIFY(waitFor([&] {
                return w.Player()->InPausedState() && w.Player()->FramesDelivered() > before;
            }));
        };
        at(2.0);
        QTest::keyClick(&w, Qt::Key_I);
        at(5.0);
        QTest::keyClick(&w, Qt::Key_O);
        const auto [from, to] = CClipFeature::Of(&w)->Marks().Span(10.0);
        QCOMPARE(from, 2.0);
        QVERIFY2(qAbs(to - 5.04) < 1e-6, qPrintable(QString::number(to))); // 25 frames a second
        double duration = 0;
        QVERIFY(w.Player()->GetDurationSeconds(duration));
        QCOMPARE(w.m_sliderSeek->Marks().size(), 2);
        QCOMPARE(w.m_sliderSeek->Marks()[0].first, int(std::lround(2000 / duration)));
        QCOMPARE(w.m_sliderSeek->Marks()[1].first, int(std::lround(5040 / duration)));

        QTemporaryDir dir;
        const QString out = dir.filePath("marked.mkv");
        prompts.saveAnswers = {out};
        CClipFeature::Of(&w)->OnExportClip();
        QVERIFY2(prompts.messages.size() == 1 &&
                     prompts.messages[0].startsWith("Clip written to " + out),
                 qPrintable(prompts.messages.join('|')));
        const QString source = cardFile("0001.asf");
        const QList<double> times = frameTimes(source);
        const QList<QByteArray> all = frameMd5s(source);
        QList<QByteArray> span;
        for (qsizetype i = 0; i < times.size(); ++i)
            if (times[i] >= 2.0 - 1e-6 && times[i] <= 5.0 + 1e-6)
                span.append(all[i]);
        QCOMPARE(span.size(), 76);
        QCOMPARE(frameMd5s(out), span);

        QTest::keyClick(&w, Qt::Key_Backspace);
        QVERIFY(!CClipFeature::Of(&w)->Marks().Any());
        QVERIFY(w.m_sliderSeek->Marks().isEmpty());
        QTest::keyClick(&w, Qt::Key_I);
        QVERIFY(CClipFeature::Of(&w)->Marks().Any());
        CurrentRecord.fileName = QStringLiteral("0002.asf");
        QVERIFY(w.OnOpenRecord());
        QVERIFY(!CClipFeature::Of(&w)->Marks().Any());
        QVERIFY(w.m_sliderSeek->Marks().isEmpty());
    }

    // An MJPEG span is frame-exact: the clip's frames are the source's, bit for bit, and it is
    // as long as the span; beside it, a manifest sha256sum checks, a trip gpsbabel reads and
    // subtitles ffmpeg reads.
    void mjpegClipIsTheSourcesFrames() {
        QTemporaryDir dir;
        const QString source = cardFile("0005.asf"); // 60 s of 640 x 480 MJPEG at 25 fps
        const QString out = dir.filePath("span.mkv");
        const Ran cli =
            run(PLAYER_BINARY, {"--export-clip", source, "--from", "10.5", "--to", "20", out});
        QVERIFY2(cli.code == 0, cli.err.constData());
        const QList<double> times = frameTimes(source);
        const QList<QByteArray> all = frameMd5s(source);
        QCOMPARE(all.size(), times.size());
        QList<QByteArray> span;
        for (qsizetype i = 0; i < times.size(); ++i)
            if (times[i] >= 10.48 - 1e-6 && times[i] < 20.0 - 1e-6) // 10.48: the frame at 10.5
                span.append(all[i]);
        QCOMPARE(frameMd5s(out), span);
        QVERIFY2(qAbs(probedLength(out) - 9.52) <= 0.04,
                 qPrintable(QString::number(probedLength(out))));
        QVERIFY2(qAbs(discoveredLength(out) - 9.52) <= 0.04,
                 qPrintable(QString::number(discoveredLength(out))));

        // Handed over: the folder copied elsewhere checks by its manifest; the originals check
        // beside themselves by the other one.
        QTemporaryDir handedOver;
        for (const QString& name : QDir(dir.path()).entryList(QDir::Files))
            QVERIFY(QFile::copy(dir.filePath(name), handedOver.filePath(name)));
        const Ran check = run("sha256sum", {"--strict", "-c", "span.sha256"}, handedOver.path());
        QVERIFY2(check.code == 0, (check.out + check.err).constData());
        QVERIFY(check.out.contains("span.mkv: OK") && check.out.contains("span.gpx: OK") &&
                check.out.contains("span.srt: OK") && check.out.contains("span.source.sha256: OK"));
        const Ran originals =
            run("sha256sum", {"--strict", "-c", dir.filePath("span.source.sha256")},
                QFileInfo(source).absolutePath());
        QVERIFY2(originals.code == 0 && originals.out.contains("0005.asf: OK") &&
                     originals.out.contains("0005.LOG: OK"),
                 (originals.out + originals.err).constData());
        QFile manifest(dir.filePath("span.source.sha256"));
        QVERIFY(manifest.open(QIODevice::ReadOnly));
        const QByteArray said = manifest.readAll();
        QVERIFY2(said.contains("# original: " + QFile::encodeName(source)) &&
                     said.contains("# size: " + QByteArray::number(QFileInfo(source).size())) &&
                     said.contains("# span: 00:00:10.480 to 00:00:20.000") &&
                     said.contains("# written by dashcard-player "),
                 said.constData());
        const Ran track = run("gpsbabel", {"-t", "-i", "gpx", "-f", dir.filePath("span.gpx"), "-o",
                                           "unicsv", "-F", "-"});
        QCOMPARE(track.code, 0);
        QVERIFY(track.out.split('\n').size() >= 10); // a record a second over 9.5 s
        const Ran subtitles =
            run("ffmpeg", {"-v", "error", "-i", dir.filePath("span.srt"), "-f", "srt", "-"});
        QCOMPARE(subtitles.code, 0);
        QVERIFY2(subtitles.out.contains("00:00:00,000 --> ") && subtitles.out.contains("km/h"),
                 subtitles.out.constData());
    }

    // An H.264 span starts at the key frame before it, and its packets are the source's.
    void h264ClipStartsAtAKeyFrame() {
        QTemporaryDir dir;
        const QString source = cardFile("0008.asf"); // a key frame every second
        const QString out = dir.filePath("hd.mkv");
        const Ran cli =
            run(PLAYER_BINARY, {"--export-clip", source, "--from", "4.5", "--to", "7", out});
        QVERIFY2(cli.code == 0, cli.err.constData());
        QVERIFY2(cli.err.contains("starts at 00:00:04.000"), cli.err.constData());
        const auto sizes = [](const QString& file) {
            QList<QByteArray> list;
            for (const QByteArray& line :
                 run("ffprobe", {"-v", "error", "-select_streams", "v:0", "-show_entries",
                                 "packet=size", "-of", "csv=p=0", file})
                     .out.split('\n'))
                if (!line.trimmed().isEmpty())
                    list.append(line.trimmed());
            return list;
        };
        const QList<QByteArray> clip = sizes(out), whole = sizes(source);
        QCOMPARE(clip.size(), 90); // 3 s at 30 fps
        QCOMPARE(clip, whole.mid(120, 90));
        QVERIFY2(qAbs(discoveredLength(out) - 3.0) <= 1 / 30.0,
                 qPrintable(QString::number(discoveredLength(out))));
    }

    // With the data in the picture: an H.264 MP4 of the same frames (count, size, rate) that
    // differs from the source where the text is and hardly elsewhere, and is in the manifest.
    void overlayCarriesTheData() {
        QTemporaryDir dir;
        const QString source = cardFile("0005.asf");
        const QString out = dir.filePath("told.mkv");
        const Ran cli = run(PLAYER_BINARY, {"--export-clip", source, "--from", "10.5", "--to", "13",
                                            "--overlay", out});
        QVERIFY2(cli.code == 0, cli.err.constData());
        const QString mp4 = dir.filePath("told.mp4");
        const Ran probe = run("ffprobe", {"-v", "error", "-select_streams", "v:0", "-count_frames",
                                          "-show_entries",
                                          "stream=codec_name,width,height,r_frame_rate,nb_read_"
                                          "frames",
                                          "-of", "csv=p=0", mp4});
        QCOMPARE(probe.out.trimmed(), QByteArray("h264,640,480,25/1,63")); // 10.48 … 12.96
        QCOMPARE(frameMd5s(out).size(), 63);
        const Ran check = run("sha256sum", {"-c", "told.sha256"}, dir.path());
        QVERIFY2(check.code == 0 && check.out.contains("told.mp4: OK"), check.out.constData());
        // Frame 20 of the clip is frame 282 of the source (10.48 s at 25 fps, on by 20).
        const QByteArray ours = greyFrame(mp4, 20), theirs = greyFrame(source, 282);
        QCOMPARE(ours.size(), 640 * 480);
        QCOMPARE(theirs.size(), 640 * 480);
        const double text = difference(ours, theirs, 20, 22, 280, 60);
        const double road = difference(ours, theirs, 100, 300, 400, 120);
        QVERIFY2(text > 30 && road < 4,
                 qPrintable(QStringLiteral("text %1, road %2").arg(text).arg(road)));

        // From H.264 with its sound: every frame of the second from the key frame at 4 s.
        const QString hd = dir.filePath("hd.mkv");
        const Ran fromH264 = run(PLAYER_BINARY, {"--export-clip", cardFile("0008.asf"), "--from",
                                                 "4", "--to", "5", "--overlay", hd});
        QVERIFY2(fromH264.code == 0, fromH264.err.constData());
        const Ran frames = run("ffprobe", {"-v", "error", "-select_streams", "v:0", "-count_frames",
                                           "-show_entries", "stream=width,nb_read_frames", "-of",
                                           "csv=p=0", dir.filePath("hd.mp4")});
        QCOMPARE(frames.out.trimmed(), QByteArray("1920,30"));
    }

    // A span the recording does not have is refused, one running past its end is cut there and
    // said; the names give the span written (from the key frame), not the one asked.
    void spansAsTheyAre() {
        QTemporaryDir dir;
        const QString source = cardFile("0001.asf"); // 10 s
        for (const QStringList& beyond :
             {QStringList{"--from", "12", "--to", "20"}, QStringList{"--from", "10"}}) {
            const Ran r =
                run(PLAYER_BINARY, QStringList{"--export-clip", source} + beyond, dir.path());
            QVERIFY2(r.code == 1 && r.err.contains("nothing to export"), r.err.constData());
        }
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList());

        Ran r =
            run(PLAYER_BINARY, {"--export-clip", source, "--from", "8", "--to", "20"}, dir.path());
        QVERIFY2(r.code == 0 && r.err.contains("ends at 00:00:10.000"), r.err.constData());
        const QString cut = dir.filePath("0001_00-00-08.000_00-00-10.000.mkv");
        QVERIFY2(QFile::exists(cut), qPrintable(QDir(dir.path()).entryList().join(' ')));
        QCOMPARE(frameMd5s(cut), frameMd5s(source).mid(200)); // 8 s on, 25 frames a second

        r = run(PLAYER_BINARY,
                {"--export-clip", cardFile("0008.asf"), "--from", "4.5", "--to", "5"}, dir.path());
        QVERIFY2(r.code == 0, r.err.constData());
        QVERIFY(QFile::exists(dir.filePath("0008_00-00-04.000_00-00-05.000.mkv")));
    }

    // Without a trip log there is no trip to write: the clip and its manifests are written,
    // and the command line and the window say why there are no .gpx and .srt.
    void withoutALogItSaysSo() {
        QTemporaryDir dir;
        QVERIFY(QFile::copy(cardFile("0002.asf"), dir.filePath("0002.asf")));
        const Ran r =
            run(PLAYER_BINARY, {"--export-clip", "0002.asf", "--to", "2", "alone.mkv"}, dir.path());
        QVERIFY2(r.code == 0 && r.err.contains("no trip log") &&
                     r.err.contains("no .gpx or .srt were written"),
                 r.err.constData());
        QCOMPARE(QDir(dir.path()).entryList({"alone*"}, QDir::Files, QDir::Name),
                 (QStringList{"alone.mkv", "alone.sha256", "alone.source.sha256"}));
        QCOMPARE(run("sha256sum", {"--strict", "-c", "alone.sha256"}, dir.path()).code, 0);

        ScriptedPrompts prompts;
        QWidget owner;
        prompts.saveAnswers = {dir.filePath("window.mkv")};
        prompts.optionAnswers = {true}; // with the data in the picture: the MP4 is named too
        ClipExport::ExportFromWindow(&owner, dir.filePath("0002.asf"), 0, 1);
        QCOMPARE(prompts.messages.size(), 1);
        QVERIFY2(prompts.messages[0].contains("window.mp4") &&
                     QFile::exists(dir.filePath("window.mp4")),
                 qPrintable(prompts.messages[0]));
        QVERIFY2(prompts.messages[0].contains("No .gpx or .srt were written") ||
                     prompts.messages[0].contains("no .gpx or .srt were written"),
                 qPrintable(prompts.messages[0]));
    }

    // From an MP4 with B-frames (key frames at 0 and 4 s): the clip starts at the key frame
    // before the span, its frames are a run of the source's as ffmpeg decodes both, every
    // frame of the span is there, and ffprobe finds nothing wrong with it.
    void fromAnMp4() {
        QTemporaryDir dir;
        const QString source = cardFile("extras/mp4/clip.mp4");
        const QString out = dir.filePath("mp4.mkv");
        const Ran r =
            run(PLAYER_BINARY, {"--export-clip", source, "--from", "5", "--to", "6.5", out});
        QVERIFY2(r.code == 0 && r.err.contains("starts at 00:00:04.000"), r.err.constData());
        const Ran probe = run("ffprobe", {"-v", "error", "-show_streams", "-show_packets", out});
        QVERIFY2(probe.code == 0 && probe.err.isEmpty(), probe.err.constData());
        const QList<QByteArray> all = frameMd5s(source), clip = frameMd5s(out);
        const int first = int(all.indexOf(clip.value(0)));
        QCOMPARE(first, 100); // the frame at 4 s, 25 a second
        QVERIFY2(clip.size() >= 63 && clip.size() <= 66, qPrintable(QString::number(clip.size())));
        QCOMPARE(clip, all.mid(first, clip.size()));
        QFile manifest(dir.filePath("mp4.sha256"));
        QVERIFY(manifest.open(QIODevice::ReadOnly));
        QVERIFY(manifest.readAll().contains("# span: 00:00:04.000 to 00:00:06.500"));
    }

    // The sound of every kind of source (PCM, IMA ADPCM, WMA, AAC) plays in other hands: the
    // track says its channels and rate (and bits where the codec has them), ffmpeg decodes it
    // without a warning, every sound block is a key frame, and its packets are a run of the
    // source's, byte for byte.
    void soundEveryPlayerPlays_data() {
        QTest::addColumn<QString>("source");
        QTest::addColumn<bool>("hasBits");
        QTest::newRow("PCM") << cardFile("0001.asf") << true;
        QTest::newRow("IMA ADPCM") << cardFile("0002.asf") << true;
        QTest::newRow("WMA") << cardFile("0004.asf") << false;
        QTest::newRow("AAC in MP4") << cardFile("extras/mp4/clip.mp4") << false;
    }

    void soundEveryPlayerPlays() {
        QFETCH(QString, source);
        QFETCH(bool, hasBits);
        QTemporaryDir dir;
        const QString out = dir.filePath("sound.mkv");
        const Ran cli =
            run(PLAYER_BINARY, {"--export-clip", source, "--from", "2", "--to", "4", out});
        QVERIFY2(cli.code == 0, cli.err.constData());
        QMap<QByteArray, int> stream; // as ffprobe reads the clip's sound track
        for (const QByteArray& line :
             run("ffprobe",
                 {"-v", "error", "-select_streams", "a:0", "-show_entries",
                  "stream=channels,sample_rate,bits_per_sample", "-of", "default=nw=1", out})
                 .out.split('\n'))
            if (line.contains('='))
                stream.insert(line.split('=').first(), line.split('=').last().toInt());
        QVERIFY2(stream.value("channels") > 0 && stream.value("sample_rate") >= 8000 &&
                     (!hasBits || stream.value("bits_per_sample") > 0),
                 qPrintable(QString::number(stream.value("bits_per_sample"))));
        const Ran decode = run(
            "ffmpeg", {"-v", "warning", "-xerror", "-i", out, "-map", "0:a", "-f", "null", "-"});
        QByteArray said;
        for (const QByteArray& line : decode.err.split('\n'))
            if (!line.trimmed().isEmpty() && !line.contains("Guessed Channel Layout"))
                said += line + '\n'; // (said of the sources too: mono files name no layout)
        QVERIFY2(decode.code == 0 && said.isEmpty(), said.constData());
        const QList<QByteArray> flags =
            run("ffprobe", {"-v", "error", "-select_streams", "a:0", "-show_entries",
                            "packet=flags", "-of", "csv=p=0", out})
                .out.trimmed()
                .split('\n');
        QVERIFY(flags.size() > 10);
        for (const QByteArray& f : flags)
            QVERIFY2(f.startsWith('K'), f.constData());
        const auto packets = [](const QString& file) {
            QList<QByteArray> md5s;
            for (const QByteArray& line : run("ffmpeg", {"-v", "error", "-i", file, "-map", "0:a",
                                                         "-c", "copy", "-f", "framemd5", "-"})
                                              .out.split('\n'))
                if (!line.startsWith('#') && line.count(',') >= 5)
                    md5s.append(line.split(',').last().trimmed());
            return md5s;
        };
        const QList<QByteArray> all = packets(source), clip = packets(out);
        const qsizetype first = all.indexOf(clip.value(0));
        QVERIFY(first >= 0 && clip.size() > 10);
        QCOMPARE(clip, all.mid(first, clip.size()));
    }

    // An AVI keeps one time per frame in decoding order: without B-frames the clip is every
    // frame of the span from the key frame before it; with them it is refused, saying why, and
    // nothing is written.
    void aviWithAndWithoutBFrames() {
        QTemporaryDir dir;
        for (const bool bFrames : {false, true}) {
            const QString avi = dir.filePath(bFrames ? "b.avi" : "plain.avi");
            const Ran made =
                run("ffmpeg", {"-v", "error", "-f", "lavfi", "-i",
                               "testsrc=size=320x240:rate=25:duration=6", "-c:v", "libx264", "-bf",
                               bFrames ? "2" : "0", "-g", "25", "-pix_fmt", "yuv420p", avi});
            QVERIFY2(made.code == 0, made.err.constData());
            const QString out = dir.filePath(bFrames ? "b.mkv" : "plain.mkv");
            const Ran cli =
                run(PLAYER_BINARY, {"--export-clip", avi, "--from", "2.5", "--to", "4", out});
            if (bFrames) {
                QVERIFY2(cli.code == 1 && cli.err.contains("B-frames"), cli.err.constData());
                QVERIFY(!QFile::exists(out));
                continue;
            }
            QVERIFY2(cli.code == 0 && cli.err.contains("starts at 00:00:02.000"),
                     cli.err.constData());
            const QList<QByteArray> all = frameMd5s(avi), clip = frameMd5s(out);
            QCOMPARE(clip, all.mid(50, 50)); // 2 s to 4 s, 25 frames a second
        }
    }

    // Stopped halfway, an export leaves nothing behind, not even its temporary files.
    void cancelledLeavesNothing() {
        QTemporaryDir dir;
        ClipExport::Request request;
        request.source = cardFile("0005.asf");
        request.out = dir.filePath("gone.mkv");
        double seen = 0;
        const ClipExport::Result result = ClipExport::Export(request, [&](double share) {
            seen = std::max(seen, share);
            return share < 0.3;
        });
        QVERIFY(result.cancelled && seen >= 0.3);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList());
    }
};

PLAYER_WINDOW_TEST_MAIN(TestClip)
#include "test_clip.moc"
