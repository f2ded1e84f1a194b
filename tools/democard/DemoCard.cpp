// SPDX-License-Identifier: GPL-3.0-or-later
#include "DemoCard.h"
#include "CameraCard.h"

#include "Drive.h"
#include "RoadPicture.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QProcess>
#include <QSaveFile>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <vector>

namespace democard {

using namespace detail;

namespace {

// Part of the digest that decides whether an encoded file on a card is still current.
constexpr const char* GENERATOR_VERSION = "democard 3";

// ---------------------------------------------------------------------------------------------
// Text of the trip log. Numbers are built from integers so no locale can touch them.

QByteArray padded(qint64 value, int width, char fill = '0') {
    QByteArray s = QByteArray::number(value);
    while (s.size() < width)
        s.prepend(fill);
    return s;
}

// value rounded to `decimals` places, e.g. fixed(-0.034, 2) = "-0.03"
QByteArray fixed(double value, int decimals, qint64* units = nullptr) {
    qint64 scale = 1;
    for (int i = 0; i < decimals; ++i)
        scale *= 10;
    const qint64 n = std::llround(value * double(scale));
    if (units)
        *units = n;
    const qint64 m = n < 0 ? -n : n;
    return (n < 0 ? "-" : "") + QByteArray::number(m / scale) + "." + padded(m % scale, decimals);
}

double rounded(double value, int decimals) {
    qint64 units = 0;
    fixed(value, decimals, &units);
    return double(units) / std::pow(10.0, decimals);
}

// "dd mm.mmmm" of the magnitude, the minutes to four places (about 0.2 m), as receivers write.
QByteArray degreesAndMinutes(double value) {
    const qint64 tenThousandthMinutes = std::llround(std::abs(value) * 600000.0);
    const qint64 degrees = tenThousandthMinutes / 600000;
    const qint64 rest = tenThousandthMinutes % 600000;
    return QByteArray::number(degrees) + " " + padded(rest / 10000, 2) + "." +
           padded(rest % 10000, 4);
}

QByteArray clockText(const QDateTime& start, int recordIndex, int rate) {
    const qint64 hundredths = qint64(recordIndex) * 100 / rate;
    const QDateTime at = start.addSecs(hundredths / 100);
    const QDate day = at.date();
    const QTime time = at.time();
    QByteArray s = padded(day.year(), 4) + "/" + padded(day.month(), 2) + "/" +
                   padded(day.day(), 2) + " " + padded(time.hour(), 2) + ":" +
                   padded(time.minute(), 2) + ":" + padded(time.second(), 2);
    if (rate > 1)
        s += "." + padded(hundredths % 100, 2);
    return s;
}

QDateTime utc(int y, int mo, int d, int h, int mi, int s) {
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s), Qt::UTC);
}

// ---------------------------------------------------------------------------------------------
// The sound: engine hum that follows the speed through the gears, road noise, the indicator
// ticking through turns and the tyres squealing at the hard braking. 16-bit mono WAV.

QByteArray soundWav(const Drive& drive, int seconds, int sampleRate, int seed) {
    Rng rng(std::uint64_t(seed) * 7 + 3);
    const qint64 n = qint64(seconds) * sampleRate;
    QByteArray wav;
    wav.reserve(int(44 + 2 * n));
    auto le = [&wav](std::uint32_t value, int bytes) {
        for (int b = 0; b < bytes; ++b)
            wav.append(char((value >> (8 * b)) & 0xff));
    };
    wav.append("RIFF");
    le(std::uint32_t(36 + 2 * n), 4);
    wav.append("WAVEfmt ");
    le(16, 4);
    le(1, 2); // PCM
    le(1, 2); // mono
    le(std::uint32_t(sampleRate), 4);
    le(std::uint32_t(sampleRate * 2), 4);
    le(2, 2);
    le(16, 2);
    wav.append("data");
    le(std::uint32_t(2 * n), 4);

    static const double gears[] = {0, 18, 35, 55, 75, 400};
    double phase = 0, rumble = 0;
    for (qint64 s = 0; s < n; ++s) {
        const double t = double(s) / sampleRate;
        const int i = drive.index(t);
        const double v = drive.speed[i];
        int gear = 0;
        while (v > gears[gear + 1])
            ++gear;
        const double rpm =
            v < 1 ? 850 : 900 + (v - gears[gear]) / (gears[gear + 1] - gears[gear]) * 2300;
        phase = std::fmod(phase + 2 * PI * (rpm / 30.0) / sampleRate, 2 * PI);
        const double throttle = std::clamp(drive.accelX[i] * 4, 0.0, 1.0);
        double x =
            (0.10 + 0.06 * throttle) * (0.5 * std::sin(phase) + 0.3 * std::sin(2 * phase + 0.5) +
                                        0.15 * std::sin(3 * phase + 1.1));
        rumble += 0.08 * (rng.noise(1.0) - rumble);
        x += rumble * (0.15 + 0.012 * v);
        if (drive.indicatorOn(t)) {
            const double tick = std::fmod(t, 0.75);
            const double tock = std::fmod(t + 0.375, 0.75);
            if (tick < 0.015)
                x += 0.25 * std::exp(-tick * 350) * std::sin(2 * PI * 1900 * t);
            if (tock < 0.015)
                x += 0.18 * std::exp(-tock * 350) * std::sin(2 * PI * 1400 * t);
        }
        const double fromBrake = std::abs(t - drive.brakeTime);
        if (fromBrake < drive.brakeHalfWidth * 1.4) {
            const double env = 0.5 * (1 + std::cos(PI * fromBrake / (drive.brakeHalfWidth * 1.4)));
            x += 0.2 * env * std::sin(2 * PI * (1180 * t + 6 * std::sin(2 * PI * 7 * t)));
        }
        le(std::uint32_t(
               std::uint16_t(std::int16_t(std::lround(std::clamp(x, -1.0, 1.0) * 32000)))),
           2);
    }
    return wav;
}

// ---------------------------------------------------------------------------------------------
// ffmpeg

void setError(QString* error, const QString& text) {
    if (error)
        *error = text;
}

QString ffmpegProgram() {
    return QStandardPaths::findExecutable(QStringLiteral("ffmpeg"));
}

const QString MISSING_FFMPEG =
    QStringLiteral("ffmpeg was not found on PATH; scripts/install-deps installs it");

// A font for the burned-in clock; without one ffmpeg falls back to its configured default.
QString overlayFont() {
    static const QString found = [] {
        const QStringList candidates = {
            QStringLiteral("/usr/share/fonts/truetype/dejavu/DejaVuSansMono-Bold.ttf"),
            QStringLiteral("/usr/share/fonts/truetype/dejavu/DejaVuSansMono.ttf"),
            QStringLiteral("/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf"),
            QStringLiteral("/usr/share/fonts/truetype/liberation/LiberationMono-Bold.ttf"),
            QStringLiteral("/usr/share/fonts/truetype/freefont/FreeMonoBold.ttf"),
        };
        for (const QString& path : candidates) {
            if (QFileInfo::exists(path))
                return path;
        }
        QProcess match;
        match.start(QStringLiteral("fc-match"), {QStringLiteral("-f"), QStringLiteral("%{file}"),
                                                 QStringLiteral("monospace:bold")});
        if (match.waitForFinished(10000) && match.exitCode() == 0) {
            const QString path = QString::fromLocal8Bit(match.readAllStandardOutput()).trimmed();
            // Only a path the filter syntax can carry without quoting.
            static const QString special = QStringLiteral(":'\\,;[]=");
            bool plain = QFileInfo::exists(path);
            for (QChar ch : path)
                plain = plain && !special.contains(ch);
            if (plain)
                return path;
        }
        return QString();
    }();
    return found;
}

QString ffmpegVersion() {
    static const QString version = [] {
        const QString program = ffmpegProgram();
        if (program.isEmpty())
            return QString();
        QProcess p;
        p.start(program, {QStringLiteral("-hide_banner"), QStringLiteral("-version")});
        if (!p.waitForFinished(30000) || p.exitCode() != 0)
            return QString();
        return QString::fromLocal8Bit(p.readAllStandardOutput()).section(QLatin1Char('\n'), 0, 0);
    }();
    return version;
}

// Runs ffmpeg with args; `feed` writes its standard input (may be empty). Any failure, including
// a non-zero exit, comes back as false with ffmpeg's own complaint in *error.
bool runFfmpeg(const QStringList& args, const std::function<bool(QProcess&)>& feed,
               const QString& what, QString* error) {
    const QString program = ffmpegProgram();
    if (program.isEmpty()) {
        setError(error, MISSING_FFMPEG);
        return false;
    }
    QProcess p;
    p.setStandardOutputFile(QProcess::nullDevice());
    p.start(program, QStringList{QStringLiteral("-nostdin"), QStringLiteral("-y"),
                                 QStringLiteral("-hide_banner"), QStringLiteral("-loglevel"),
                                 QStringLiteral("error")} +
                         args);
    if (!p.waitForStarted(30000)) {
        setError(error,
                 QStringLiteral("cannot start ffmpeg (%1): %2").arg(program, p.errorString()));
        return false;
    }
    const bool fed = !feed || feed(p);
    p.closeWriteChannel();
    if (!p.waitForFinished(15 * 60 * 1000)) {
        p.kill();
        p.waitForFinished(5000);
        setError(error, QStringLiteral("ffmpeg did not finish %1").arg(what));
        return false;
    }
    const QString complaint = QString::fromLocal8Bit(p.readAllStandardError()).trimmed();
    if (p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0 || !fed) {
        setError(error, QStringLiteral("ffmpeg failed (exit code %1) writing %2%3")
                            .arg(p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1)
                            .arg(what, complaint.isEmpty() ? QString() : ": " + complaint));
        return false;
    }
    return true;
}

bool writeAll(QProcess& p, const char* data, qint64 size) {
    if (p.write(data, size) != size)
        return false;
    while (p.bytesToWrite() > 0) {
        if (!p.waitForBytesWritten(60000))
            return false; // ffmpeg quit early; its exit code says why
    }
    return true;
}

// Text for drawtext's option value: the clock counts up from the recording's start.
QString clockOverlay(const QDateTime& start) {
    return QStringLiteral(R"(%{pts\:gmtime\:%1\:%Y/%m/%d %H\\\:%M\\\:%S})")
        .arg(start.toSecsSinceEpoch());
}

QString drawText(const QString& text, const QString& x, const QString& y, int size) {
    const QString font = overlayFont();
    return QStringLiteral("drawtext=%1text='%2':x=%3:y=%4:fontsize=%5:fontcolor=white"
                          ":borderw=2:bordercolor=black@0.8")
        .arg(font.isEmpty() ? QString() : "fontfile=" + font + ":", text, x, y)
        .arg(size);
}

// The encoder's command line for rec, reading the sound from `wav`, writing `out`.
QStringList encoderArgs(const Recording& rec, const QString& wav, const QString& out) {
    const bool video = !rec.videoCodec.isEmpty();
    const bool audio = !rec.audioCodec.isEmpty();
    QStringList args;
    if (video)
        args.append(QStringList{"-f", "rawvideo", "-pixel_format", "yuvj420p", "-video_size",
                                QStringLiteral("%1x%2").arg(rec.width).arg(rec.height),
                                "-framerate", QString::number(rec.fps), "-i", "pipe:0"});
    if (audio && rec.audioSeconds > 0)
        args.append(QStringList{"-t", QString::number(rec.audioSeconds)});
    if (audio)
        args.append(QStringList{"-i", wav});
    if (video) {
        const int fontSize = rec.height / 24;
        const QString number = QFileInfo(rec.name).completeBaseName();
        QStringList overlays = {
            drawText(clockOverlay(rec.start.addSecs(rec.clockAhead)), "16", "h-th-14", fontSize),
            drawText(number, "w-tw-16", "14", fontSize),
            drawText("km/h", "w-tw-16", "h-th-14", fontSize),
        };
        // Frames left out in an irregular but fixed pattern, the others keeping their times.
        if (rec.dropPercent > 0)
            overlays.append(
                QStringLiteral("select=gte(mod(n*n*13+n*7\\,100)\\,%1)").arg(rec.dropPercent));
        if (!rec.pixelAspect.isEmpty())
            overlays.append(
                QStringLiteral("setsar=%1").arg(QString(rec.pixelAspect).replace(':', '/')));
        // Streams declared before the picture that never receive a frame.
        for (int i = 0; i < rec.emptyVideoStreams; ++i)
            args.append(QStringList{"-map", "0:v:0", QStringLiteral("-filter:v:%1").arg(i),
                                    "trim=end_frame=0"});
        args.append(QStringList{"-map", "0:v:0",
                                QStringLiteral("-filter:v:%1").arg(rec.emptyVideoStreams),
                                overlays.join(QLatin1Char(','))});
        if (rec.dropPercent > 0)
            args.append(QStringList{"-fps_mode", "vfr"});
        if (rec.videoCodec == QLatin1String("mjpeg"))
            args.append(QStringList{"-c:v", "mjpeg", "-q:v", "5", "-pix_fmt", "yuvj420p"});
        else if (rec.videoCodec == QLatin1String("libx265"))
            // H.265 as newer recorders and action cameras write it, a key frame every second.
            args.append(QStringList{"-c:v", "libx265", "-preset", "veryfast", "-x265-params",
                                    "log-level=error", "-tag:v", "hvc1", "-g",
                                    QString::number(rec.fps), "-pix_fmt", "yuv420p"});
        else if (rec.videoCodec == QLatin1String("libx264") && rec.bFrames > 0)
            // As an encoder left at its defaults writes, B-frames and all.
            args.append(QStringList{"-c:v", "libx264", "-preset", "veryfast", "-bf",
                                    QString::number(rec.bFrames), "-g",
                                    QString::number(4 * rec.fps), "-pix_fmt", "yuv420p"});
        else if (rec.videoCodec == QLatin1String("mpeg4"))
            // MPEG-4 Part 2 as ffmpeg writes it: B-frames, some shown before the key frame they
            // follow (open groups of pictures).
            args.append(QStringList{"-c:v", "mpeg4", "-q:v", "4", "-bf",
                                    QString::number(rec.bFrames), "-g", QString::number(rec.fps),
                                    "-pix_fmt", "yuv420p"});
        else if (rec.videoCodec == QLatin1String("libx264"))
            // As newer recorders write: about 8 Mbit/s at 1080p, a key frame every second, no
            // B-frames (ASF keeps one time per frame, so reordered frames would lose theirs),
            // HD colours said in the stream.
            args.append(QStringList{"-c:v", "libx264", "-preset", "veryfast", "-bf", "0", "-b:v",
                                    QString::number(rec.width * rec.height * 4), "-g",
                                    QString::number(rec.fps), "-pix_fmt", "yuv420p", "-colorspace",
                                    "bt709", "-color_primaries", "bt709", "-color_trc", "bt709"});
        else // about 1.5 Mbit/s at 640 x 480, a key frame every second
            args.append(QStringList{"-c:v", rec.videoCodec, "-b:v",
                                    QString::number(rec.width * rec.height * 5), "-g",
                                    QString::number(rec.fps), "-pix_fmt", "yuv420p"});
    }
    if (audio) {
        args.append(QStringList{"-map", video ? "1:a:0" : "0:a:0", "-c:a", rec.audioCodec, "-ar",
                                QString::number(rec.audioRate), "-ac", "1"});
        if (rec.audioCodec == QLatin1String("wmav2") || rec.audioCodec == QLatin1String("aac"))
            args.append(QStringList{"-b:a", "32k"});
    }
    const bool avi = rec.name.endsWith(QLatin1String(".avi"), Qt::CaseInsensitive);
    const bool mp4 = rec.name.endsWith(QLatin1String(".mp4"), Qt::CaseInsensitive);
    args.append(QStringList{"-map_metadata", "-1", "-fflags", "+bitexact", "-flags:v", "+bitexact",
                            "-flags:a", "+bitexact", "-f",
                            avi            ? "avi"
                            : mp4          ? "mp4"
                            : rec.streamed ? "asf_stream"
                                           : "asf",
                            out});
    return args;
}

template <typename T> void addBytes(QCryptographicHash& hash, const std::vector<T>& values) {
    hash.addData(QByteArrayView(reinterpret_cast<const char*>(values.data()),
                                qsizetype(values.size() * sizeof(T))));
}

// A digest of everything that decides the bytes of an encoded file: the command line, the
// encoder's version, the drive, some frames and the sound. A file written under another
// digest is encoded again, whatever changed.
QString mediaKey(const Recording& rec) {
    QCryptographicHash hash(QCryptographicHash::Sha1);
    hash.addData(QByteArrayView(GENERATOR_VERSION));
    hash.addData(ffmpegVersion().toUtf8());
    hash.addData(encoderArgs(rec, QStringLiteral("sound.wav"), QStringLiteral("out"))
                     .join(QLatin1Char('\n'))
                     .toUtf8());
    const Drive drive = simulate(rec.seconds, rec.samplesPerSecond, rec.seed);
    for (const auto* column : {&drive.speed, &drive.heading, &drive.turnRate, &drive.accelX,
                               &drive.accelY, &drive.accelZ, &drive.distance})
        addBytes(hash, *column);
    if (!rec.videoCodec.isEmpty() && rec.width >= 16 && rec.height >= 16 && rec.fps > 0) {
        RoadPicture picture(rec.width, rec.height);
        for (double t : {0.0, rec.seconds / 2.0, rec.seconds - 1.0 / rec.fps}) {
            picture.render(drive, t);
            hash.addData(QByteArrayView(picture.data(), picture.bytes()));
        }
    }
    if (!rec.audioCodec.isEmpty())
        hash.addData(soundWav(drive, rec.seconds, rec.audioRate, rec.seed));
    hash.addData(QStringLiteral("%1 %2 %3 %4 %5")
                     .arg(rec.unfinished)
                     .arg(rec.cutPermille)
                     .arg(rec.durationTimes)
                     .arg(rec.zeroTailPercent)
                     .arg(rec.videoFrames)
                     .toUtf8());
    return QString::fromLatin1(hash.result().toHex());
}

// ---------------------------------------------------------------------------------------------
// The card

constexpr const char* STAMP_NAME = ".democard-stamp";

// relative path -> (media key, size) of media written earlier
using Stamp = QHash<QString, QPair<QString, qint64>>;

Stamp readStamp(const QDir& dir) {
    Stamp stamp;
    QFile f(dir.filePath(QString::fromLatin1(STAMP_NAME)));
    if (!f.open(QIODevice::ReadOnly))
        return stamp;
    for (const QByteArray& line : f.readAll().split('\n')) {
        const QList<QByteArray> fields = line.split('\t');
        if (fields.size() == 3)
            stamp.insert(QString::fromUtf8(fields[2]),
                         {QString::fromUtf8(fields[1]), fields[0].toLongLong()});
    }
    return stamp;
}

bool writeFile(const QString& path, const QByteArray& bytes, QString* error) {
    QFile existing(path);
    if (existing.open(QIODevice::ReadOnly) && existing.size() == bytes.size() &&
        existing.readAll() == bytes)
        return true; // unchanged: keep its time stamp
    existing.close();
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size() || !f.commit()) {
        setError(error, QStringLiteral("cannot write %1: %2").arg(path, f.errorString()));
        return false;
    }
    return true;
}

bool writeStamp(const QDir& dir, const Stamp& stamp, QString* error) {
    QStringList paths = stamp.keys();
    paths.sort();
    QByteArray text;
    for (const QString& path : paths)
        text += QByteArray::number(stamp[path].second) + '\t' + stamp[path].first.toUtf8() + '\t' +
                path.toUtf8() + '\n';
    return writeFile(dir.filePath(QString::fromLatin1(STAMP_NAME)), text, error);
}

bool copyFile(const QString& from, const QString& to, qint64 bytes, QString* error) {
    QFile in(from);
    if (!in.open(QIODevice::ReadOnly)) {
        setError(error, QStringLiteral("cannot read %1: %2").arg(from, in.errorString()));
        return false;
    }
    return writeFile(to, bytes < 0 ? in.readAll() : in.read(bytes), error);
}

// The ASF file-properties fields a writer fills in when it closes the file.
constexpr char FILE_PROPERTIES_ID[] =
    "\xA1\xDC\xAB\x8C\x47\xA9\xCF\x11\x8E\xE4\x00\xC0\x0C\x20\x53\x65";
constexpr char DATA_OBJECT_ID[] =
    "\x36\x26\xB2\x75\x8E\x66\xCF\x11\xA6\xD9\x00\xAA\x00\x62\xCE\x6C";

void putLe64(QByteArray& bytes, qsizetype at, quint64 value) {
    for (int i = 0; i < 8; ++i)
        bytes[at + i] = char((value >> (8 * i)) & 0xff);
}
quint64 le64(const QByteArray& bytes, qsizetype at) {
    quint64 value = 0;
    for (int i = 7; i >= 0; --i)
        value = value << 8 | quint8(bytes[at + i]);
    return value;
}

// Leaves an encoded ASF file at `path` as a recorder or another writer would have: header fields
// never written or wrong, the end of the file lost.
bool damageLikeRecorder(const Recording& rec, const QString& path, QString* error) {
    if (!rec.unfinished && !rec.cutPermille && !rec.durationTimes && !rec.zeroTailPercent)
        return true;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        setError(error, QStringLiteral("cannot read %1: %2").arg(path, file.errorString()));
        return false;
    }
    QByteArray bytes = file.readAll();
    file.close();
    const QByteArray head = bytes.left(64 * 1024);
    const qsizetype props = head.indexOf(QByteArray(FILE_PROPERTIES_ID, 16));
    const qsizetype data = head.indexOf(QByteArray(DATA_OBJECT_ID, 16));
    if (props < 0 || data < 0 || props + 104 > head.size() || data + 50 > head.size()) {
        setError(error, QStringLiteral("%1 has no ASF header to change").arg(path));
        return false;
    }
    if (rec.durationTimes) {
        putLe64(bytes, props + 64, le64(bytes, props + 64) * quint64(rec.durationTimes));
        putLe64(bytes, props + 72, le64(bytes, props + 72) * quint64(rec.durationTimes));
    }
    if (rec.unfinished) {
        for (int field : {40, 56, 64, 72})
            putLe64(bytes, props + field, 0);
        putLe64(bytes, data + 16, 0);
        putLe64(bytes, data + 40, 0);
    }
    if (rec.cutPermille) // a little past a packet boundary, as a write cut off mid-packet
        bytes.truncate(bytes.size() * rec.cutPermille / 1000 + 1111);
    if (rec.zeroTailPercent) {
        const qsizetype from = bytes.size() * (100 - rec.zeroTailPercent) / 100;
        std::fill(bytes.begin() + from, bytes.end(), '\0');
    }
    return writeFile(path, bytes, error);
}

QByteArray noiseBytes(int size, int seed) {
    Rng rng{std::uint64_t(seed)};
    QByteArray bytes(size, Qt::Uninitialized);
    for (int i = 0; i < size; i += 8) {
        const std::uint64_t r = rng.next();
        for (int b = 0; b < 8 && i + b < size; ++b)
            bytes[i + b] = char((r >> (8 * b)) & 0xff);
    }
    return bytes;
}

} // namespace

// ---------------------------------------------------------------------------------------------

QList<Recording> standardRecordings() {
    auto rec = [](const char* name, int seconds, int w, int h, int fps, const char* video,
                  const char* audio, int audioRate, int perSecond, bool crlf, QDateTime start,
                  int seed) {
        Recording r;
        r.name = QString::fromLatin1(name);
        r.seconds = seconds;
        r.width = w;
        r.height = h;
        r.fps = fps;
        r.videoCodec = QString::fromLatin1(video);
        r.audioCodec = QString::fromLatin1(audio);
        r.audioRate = audioRate;
        r.samplesPerSecond = perSecond;
        r.crlf = crlf;
        r.start = start;
        r.seed = seed;
        return r;
    };
    return {
        rec("0001.asf", 10, 640, 480, 25, "mjpeg", "pcm_s16le", 16000, 10, false,
            utc(2026, 5, 20, 14, 30, 5), 1),
        rec("0002.asf", 30, 640, 480, 25, "mjpeg", "adpcm_ima_wav", 16000, 1, true,
            utc(2026, 5, 20, 14, 33, 12), 2),
        rec("0003.asf", 20, 1280, 720, 25, "mjpeg", "pcm_s16le", 16000, 2, false,
            utc(2026, 5, 20, 14, 41, 47), 3),
        rec("0004.asf", 25, 640, 480, 25, "wmv2", "wmav2", 22050, 5, true,
            utc(2026, 5, 20, 14, 52, 3), 4),
        rec("0005.asf", 60, 640, 480, 25, "mjpeg", "adpcm_ima_wav", 16000, 1, true,
            utc(2026, 5, 20, 15, 5, 27), 5),
        rec("0006.asf", 15, 640, 480, 30, "mjpeg", "pcm_s16le", 16000, 4, false,
            utc(2026, 5, 20, 15, 20, 48), 6),
        powerCutRecording(),
        fullHdRecording(),
        joltRecording(),
    };
}

Recording joltRecording() {
    Recording r;
    r.name = QStringLiteral("0009.asf");
    r.seconds = 20;
    r.videoCodec = QStringLiteral("mjpeg");
    r.audioCodec = QStringLiteral("pcm_s16le");
    r.samplesPerSecond = 5;
    r.start = utc(2026, 5, 20, 16, 10, 4);
    r.seed = 9;
    r.jolts = {{6.0, 'Z', 3.42}, {13.0, 'X', 2.86}, {17.0, 'Y', 2.47}};
    return r;
}

Recording fullHdRecording() {
    Recording r;
    r.name = QStringLiteral("0008.asf");
    r.seconds = 25;
    r.width = 1920;
    r.height = 1080;
    r.fps = 30;
    r.videoCodec = QStringLiteral("libx264");
    r.audioCodec = QStringLiteral("pcm_s16le");
    r.samplesPerSecond = 2;
    r.start = utc(2026, 5, 20, 16, 2, 40);
    r.seed = 8;
    return r;
}

Recording powerCutRecording() {
    Recording r;
    r.name = QStringLiteral("0007.asf");
    r.seconds = 180;
    r.videoCodec = QStringLiteral("mjpeg");
    r.audioCodec = QStringLiteral("pcm_s16le");
    r.samplesPerSecond = 1;
    r.start = utc(2026, 5, 20, 15, 41, 2);
    r.seed = 7;
    r.unfinished = true;
    r.cutPermille = 667;
    return r;
}

QList<Recording> cutRecordings() {
    auto rec = [](const char* name, int seconds, int fps, int seed) {
        Recording r;
        r.name = QString::fromLatin1(name);
        r.seconds = seconds;
        r.fps = fps;
        r.videoCodec = QStringLiteral("mjpeg");
        r.audioCodec = QStringLiteral("pcm_s16le");
        r.samplesPerSecond = 1;
        r.start = utc(2026, 5, 22, 8, 0, 0).addSecs(seed * 60);
        r.seed = seed;
        return r;
    };
    QList<Recording> all;
    for (int cut : {30, 60, 95}) {
        Recording r = rec("", 30, 25, 21);
        r.name = QStringLiteral("cut%1.asf").arg(cut);
        r.cutPermille = cut * 10;
        all.append(r);
    }
    Recording streamed = rec("streamed.asf", 30, 25, 21);
    streamed.streamed = true;
    Recording longHeader = rec("long-header.asf", 30, 25, 21);
    longHeader.durationTimes = 10;
    Recording shortSound = rec("short-sound.asf", 10, 25, 22);
    shortSound.audioSeconds = 8;
    all << streamed << longHeader << shortSound;
    for (int fps : {10, 15, 24, 25, 30})
        all.append(rec("", 4, fps, 23));
    for (qsizetype i = all.size() - 5; i < all.size(); ++i)
        all[i].name = QStringLiteral("fps%1.asf").arg(all[i].fps);
    Recording irregular = rec("irregular.asf", 6, 25, 24);
    irregular.dropPercent = 30;
    all.append(irregular);
    return all;
}

QList<Recording> oddRecordings() {
    auto rec = [](const char* name, int seconds, int w, int h, int fps, const char* video,
                  const char* audio, int seed) {
        Recording r;
        r.name = QString::fromLatin1(name);
        r.seconds = seconds;
        r.width = w;
        r.height = h;
        r.fps = fps;
        r.videoCodec = QString::fromLatin1(video);
        r.audioCodec = QString::fromLatin1(audio);
        r.audioRate = audio == QByteArrayView("aac") ? 44100 : 16000;
        r.start = utc(2026, 5, 23, 10, 0, 0).addSecs(seed * 60);
        r.seed = seed;
        return r;
    };
    Recording bframes = rec("bframes.asf", 12, 1280, 720, 25, "libx264", "aac", 31);
    bframes.bFrames = 3;
    Recording bframesCut = bframes;
    bframesCut.name = QStringLiteral("bframes-cut.asf");
    bframesCut.cutPermille = 370;
    Recording mpeg4 = rec("mpeg4-bframes.asf", 8, 640, 480, 12, "mpeg4", "wmav2", 32);
    mpeg4.bFrames = 2;
    QList<Recording> all{bframes, bframesCut, mpeg4};
    for (int percent : {10, 20, 50}) {
        Recording zeroed = rec("", 10, 640, 480, 25, "mjpeg", "pcm_s16le", 33);
        zeroed.name = QStringLiteral("zero%1.asf").arg(percent);
        zeroed.zeroTailPercent = percent;
        all.append(zeroed);
    }
    Recording empty = rec("empty-streams.asf", 3, 320, 240, 25, "mjpeg", "", 34);
    empty.emptyVideoStreams = 2;
    Recording longSound = rec("long-sound.asf", 10, 320, 240, 25, "mjpeg", "pcm_s16le", 35);
    longSound.videoFrames = 8 * 25;
    Recording oneFrame = rec("one-frame.asf", 1, 320, 240, 25, "mjpeg", "", 36);
    oneFrame.videoFrames = 1;
    Recording wide = rec("wide-pixels.asf", 3, 480, 480, 25, "mjpeg", "", 37);
    wide.pixelAspect = QStringLiteral("4:3");
    all << empty << longSound << oneFrame << wide;
    // Sound outlasting the picture by 0.4 s in files other recorders write (MS-MPEG4 with WMA,
    // H.264 with AAC in MP4, MJPEG with PCM in AVI), and a picture at 15 frames a second.
    Recording msLongSound = rec("ms-long-sound.asf", 5, 320, 240, 25, "msmpeg4", "wmav2", 38);
    msLongSound.videoFrames = 5 * 25 - 10;
    Recording mp4LongSound = rec("long-sound.mp4", 5, 320, 240, 25, "libx264", "aac", 39);
    mp4LongSound.videoFrames = 5 * 25 - 10;
    Recording aviLongSound = rec("long-sound.avi", 5, 320, 240, 25, "mjpeg", "pcm_s16le", 41);
    aviLongSound.videoFrames = 5 * 25 - 10;
    all << msLongSound << mp4LongSound << aviLongSound
        << rec("fps15.avi", 6, 320, 240, 15, "mjpeg", "", 40);
    return all;
}

QList<Recording> tripRecordings() {
    auto rec = [](const char* name, int seed) {
        Recording r;
        r.name = QString::fromLatin1(name);
        r.seconds = 5;
        r.width = 320;
        r.height = 240;
        r.videoCodec = QStringLiteral("mjpeg");
        r.samplesPerSecond = 2;
        r.start = utc(2026, 5, 24, 13, 0, 0).addSecs(seed * 60);
        r.seed = seed;
        return r;
    };
    Recording santiago = rec("santiago.asf", 41);
    santiago.startLatitude = -33.4372;
    santiago.startLongitude = -70.6506;
    Recording cutLog = rec("cut-log.asf", 42);
    cutLog.logCutInLastLine = true;
    return {santiago, cutLog};
}

QString tripLogName(const Recording& rec) {
    const int dot = rec.name.lastIndexOf(QLatin1Char('.'));
    return (dot < 0 ? rec.name : rec.name.left(dot)) + QStringLiteral(".LOG");
}

namespace {

QList<TripSample> samplesOf(const Drive& drive, int seconds, int rate) {
    QList<TripSample> samples;
    const int count = std::max(1, seconds) * rate;
    samples.reserve(count);
    for (int k = 0; k < count; ++k) {
        const int i = k * (Drive::RATE / rate);
        TripSample s;
        // The recorder's resolution: G in hundredths, speed in tenths.
        s.accelX = rounded(drive.accelX[i], 2);
        s.accelY = rounded(drive.accelY[i], 2);
        s.accelZ = rounded(drive.accelZ[i], 2);
        s.speed = rounded(drive.speed[i], 1);
        s.latitude = drive.latitude[i];
        s.longitude = drive.longitude[i];
        samples.append(s);
    }
    return samples;
}

} // namespace

// The drive's samples with the recording's jolts in them.
QList<TripSample> loggedSamples(const Recording& rec, const Drive& drive, int rate) {
    QList<TripSample> samples = samplesOf(drive, rec.seconds, rate);
    for (const Recording::Jolt& jolt : rec.jolts) {
        const qsizetype k = qsizetype(std::lround(jolt.at * rate));
        for (qsizetype i = k - 1; i <= k + 1; ++i) {
            if (i < 0 || i >= samples.size())
                continue;
            double& value = jolt.axis == 'X'   ? samples[i].accelX
                            : jolt.axis == 'Y' ? samples[i].accelY
                                               : samples[i].accelZ;
            value = i == k ? jolt.peak : std::round((value + jolt.peak) * 50) / 100;
        }
    }
    return samples;
}

QList<TripSample> tripSamples(const Recording& rec, int seed) {
    const int rate = validRate(rec.samplesPerSecond);
    return loggedSamples(
        rec, simulate(rec.seconds, rate, seed, rec.startLatitude, rec.startLongitude), rate);
}

QByteArray tripLog(const Recording& rec, int seed) {
    const int rate = validRate(rec.samplesPerSecond);
    const Drive drive = simulate(rec.seconds, rate, seed, rec.startLatitude, rec.startLongitude);
    const QList<TripSample> samples = loggedSamples(rec, drive, rate);
    const QByteArray eol = rec.crlf ? "\r\n" : "\n";
    QByteArray log;
    log.reserve(int(samples.size()) * 110);
    for (int k = 0; k < samples.size(); ++k) {
        const TripSample& s = samples[k];
        const int satellites = drive.satellites + (k / (7 * rate)) % 2;
        // The reader skips exactly 22 characters after the clock and 6 after the fix token:
        // they hold the receiver status, satellites, temperature and the field tags.
        const QByteArray status = " GPS:A SAT:" + padded(satellites, 2) +
                                  " T:" + (drive.temperature < 0 ? "-" : "+") +
                                  padded(std::abs(drive.temperature), 2) + " G:";
        Q_ASSERT(status.size() == 22);
        log += clockText(rec.start, k, rate);
        log += status;
        log += fixed(s.accelX, 2) + "," + fixed(s.accelY, 2) + "," + fixed(s.accelZ, 2);
        // The token, then the 6 characters " POS:N" the recorder's reader skips.
        log += QByteArray(" FIX:3D POS:") + (s.latitude < 0 ? 'S' : 'N');
        log += degreesAndMinutes(s.latitude);
        log += QByteArray(",") + (s.longitude < 0 ? 'W' : 'E');
        log += degreesAndMinutes(s.longitude);
        log += " " + fixed(s.speed, 1) + " KM/H" + eol;
    }
    if (rec.logCutInLastLine) // the power went inside the last record's longitude
        log.truncate(log.lastIndexOf(',') + 6);
    return log;
}

QString routeName(const Recording& rec) {
    return QFileInfo(tripLogName(rec)).completeBaseName() + QStringLiteral(".route");
}

QByteArray routeText(const Recording& rec, int seed) {
    QByteArray text;
    for (const TripSample& s : tripSamples(rec, seed))
        text += fixed(s.latitude, 7) + " " + fixed(s.longitude, 7) + "\n";
    return text;
}

QByteArray setupIni() {
    const int beforeEvent = 10, eventLength = 30, showString = 1, timeZone = 8;
    const double limitX = 2.5, limitY = 2.5, limitZ = 3.0;
    auto d3 = [](int n) { return padded(n, 3, ' '); };
    return "[BEFORE_VIDEO_EVENT=" + d3(beforeEvent) +
           "]     ; Recording time before event per video, Second unit. Valid value is 2 ~ "
           "60.\r\n"
           "[VIDEO_EVENT_LENGTH=" +
           d3(eventLength) +
           "]     ; Recording time after event trigger per video, Second unit. Valid value is "
           "10 ~ 300.\r\n"
           "[SHOW_STRING=" +
           QByteArray::number(showString) +
           "]              ; 0: Don't show overlay string on video, 1: Show overlay string on "
           "video, 2: Show overlay string with version, 3: Only show time stamp on video.\r\n"
           "[G_LIMITX=" +
           fixed(limitX, 2) +
           "]              ; Capture video if X absolute G sensor value greater than G_LIMITX, "
           "valid value is 0 ~ 8.\r\n"
           "[G_LIMITY=" +
           fixed(limitY, 2) +
           "]              ; Capture video if Y absolute G sensor value greater than G_LIMITY, "
           "valid value is 0 ~ 8.\r\n"
           "[G_LIMITZ=" +
           fixed(limitZ, 2) +
           "]              ; Capture video if Z absolute G sensor value greater than G_LIMITZ, "
           "valid value is 0 ~ 8.\r\n"
           "[OVERWRITE=  1]              ; 1: overwrite enable, 0: overwrite disable\r\n"
           "[CIS_MIRROR= 0]              ; 1: Image sensor row column mirrir, 0: Otherwise\r\n"
           "[TIME_ZONE=" +
           d3(timeZone) + "]              ; Time zone, hour unit. Valid value is -12.0 ~ 12.\r\n";
}

bool writeRecording(const Recording& rec, const QString& path, QString* error) {
    const bool video = !rec.videoCodec.isEmpty();
    const bool audio = !rec.audioCodec.isEmpty();
    if ((!video && !audio) || rec.seconds < 1 ||
        (video &&
         (rec.width < 16 || rec.height < 16 || rec.width % 2 || rec.height % 2 || rec.fps < 1))) {
        setError(error, QStringLiteral("%1: nothing sensible to encode").arg(rec.name));
        return false;
    }
    if (ffmpegProgram().isEmpty()) {
        setError(error, MISSING_FFMPEG);
        return false;
    }
    QTemporaryDir scratch;
    if (!scratch.isValid()) {
        setError(error, QStringLiteral("no temporary folder: %1").arg(scratch.errorString()));
        return false;
    }
    const Drive drive = simulate(rec.seconds, rec.samplesPerSecond, rec.seed);
    const QString wav = scratch.filePath(QStringLiteral("sound.wav"));
    if (audio) {
        const QByteArray sound = soundWav(drive, rec.seconds, rec.audioRate, rec.seed);
        QFile f(wav);
        if (!f.open(QIODevice::WriteOnly) || f.write(sound) != sound.size() || !f.flush()) {
            setError(error, QStringLiteral("cannot write %1: %2").arg(wav, f.errorString()));
            return false;
        }
    }
    // Written beside the target and renamed over it: a broken run never leaves a good name.
    const QString part = path + QStringLiteral(".part");
    const QStringList args = encoderArgs(rec, wav, part);
    const int frames = rec.videoFrames > 0 ? rec.videoFrames : rec.seconds * rec.fps;
    auto feed = [&](QProcess& p) {
        if (!video)
            return true;
        RoadPicture picture(rec.width, rec.height);
        for (int f = 0; f < frames; ++f) {
            picture.render(drive, double(f) / rec.fps);
            if (!writeAll(p, picture.data(), picture.bytes()))
                return false;
        }
        return true;
    };
    QFile::remove(part);
    if (!runFfmpeg(args, feed, path, error)) {
        QFile::remove(part);
        return false;
    }
    if (!damageLikeRecorder(rec, part, error)) {
        QFile::remove(part);
        return false;
    }
    QFile::remove(path);
    if (!QFile::rename(part, path)) {
        QFile::remove(part);
        setError(error, QStringLiteral("cannot move the new recording to %1").arg(path));
        return false;
    }
    return true;
}

bool makeDemoCard(const QString& dirPath, bool extras, QString* error) {
    QDir dir(dirPath);
    if (!dir.mkpath(QStringLiteral("."))) {
        setError(error, QStringLiteral("cannot create the folder %1").arg(dirPath));
        return false;
    }
    const Stamp old = readStamp(dir);
    Stamp stamp;
    // Encodes rec to relPath unless the same generator already wrote it there.
    auto media = [&](const Recording& rec, const QString& relPath) {
        const QString key = mediaKey(rec);
        const QFileInfo info(dir.filePath(relPath));
        const auto was = old.constFind(relPath);
        if (!(was != old.constEnd() && was->first == key && info.isFile() &&
              info.size() == was->second)) {
            if (!writeRecording(rec, info.filePath(), error))
                return false;
        }
        stamp.insert(relPath, {key, QFileInfo(info.filePath()).size()});
        return writeStamp(dir, stamp, error);
    };

    const QList<Recording> recordings = standardRecordings();
    for (const Recording& rec : recordings) {
        if (!media(rec, rec.name) ||
            !writeFile(dir.filePath(tripLogName(rec)), tripLog(rec, rec.seed), error))
            return false;
    }
    if (!writeFile(dir.filePath(QStringLiteral("setup.ini")), setupIni(), error))
        return false;
    // The second card: other recorders' MP4 files, their trips inside or beside them. ffmpeg's
    // files are kept apart (cached like the rest) and the trips added to copies of them.
    for (const CameraRecording& camera : cameraRecordings()) {
        const QString base = QStringLiteral("cameras/.base/") + camera.rec.name;
        const QString path = QStringLiteral("cameras/") + camera.path;
        if (!dir.mkpath(QFileInfo(path).path()) || !dir.mkpath(QFileInfo(base).path()) ||
            !media(camera.rec, base))
            return false;
        QFile video(dir.filePath(base));
        if (!video.open(QIODevice::ReadOnly)) {
            setError(error, QStringLiteral("cannot read %1").arg(video.fileName()));
            return false;
        }
        const QByteArray bytes = withTrip(video.readAll(), camera.rec, camera.layout);
        if (bytes.isEmpty()) {
            setError(error, QStringLiteral("cannot add the trip to %1").arg(path));
            return false;
        }
        if (!writeFile(dir.filePath(path), bytes, error))
            return false;
        if (camera.layout == TripLayout::NmeaBeside &&
            !writeFile(dir.filePath(nmeaName(path)), nmeaText(camera.rec), error))
            return false;
    }
    if (!extras)
        return true;
    // The true route beside each log, for tests to hold positions to.
    for (const Recording& rec : recordings) {
        if (!writeFile(dir.filePath(routeName(rec)), routeText(rec, rec.seed), error))
            return false;
    }

    // Test files: odd names and broken media, kept apart so the card itself stays clean.
    if (!dir.mkpath(QStringLiteral("extras"))) {
        setError(error, QStringLiteral("cannot create %1/extras").arg(dirPath));
        return false;
    }
    const Recording& first = recordings.front();
    const QString firstPath = dir.filePath(first.name);
    auto extra = [](const char* name, int seconds, int w, int h, const char* video,
                    const char* audio, int seed) {
        Recording r;
        r.name = QString::fromUtf8(name);
        r.seconds = seconds;
        r.width = w;
        r.height = h;
        r.videoCodec = QString::fromLatin1(video);
        r.audioCodec = QString::fromLatin1(audio);
        r.samplesPerSecond = 5;
        r.start = utc(2026, 5, 21, 9, 15, 0).addSecs(seed * 60);
        r.seed = seed;
        return r;
    };
    const Recording clip = extra("clip.avi", 3, 320, 240, "mjpeg", "pcm_s16le", 11);
    const Recording audioOnly = extra("audio-only.asf", 5, 0, 0, "", "wmav2", 12);
    const Recording videoOnly = extra("video-only.asf", 5, 640, 480, "mjpeg", "", 13);
    for (const Recording& rec : {clip, audioOnly, videoOnly}) {
        if (!media(rec, QStringLiteral("extras/") + rec.name))
            return false;
    }
    // H.264 with B-frames and AAC in MP4, as an action camera writes it (a folder of its own:
    // MP4 files beside ASF ones make a card of another recorder's).
    Recording mp4 = extra("clip.mp4", 8, 320, 240, "libx264", "aac", 14);
    mp4.bFrames = 2;
    if (!dir.mkpath(QStringLiteral("extras/mp4")) ||
        !media(mp4, QStringLiteral("extras/mp4/") + mp4.name)) {
        setError(error, QStringLiteral("cannot write %1/extras/mp4").arg(dirPath));
        return false;
    }
    if (!dir.mkpath(QStringLiteral("extras/cut"))) {
        setError(error, QStringLiteral("cannot create %1/extras/cut").arg(dirPath));
        return false;
    }
    for (const Recording& rec : cutRecordings()) {
        if (!media(rec, QStringLiteral("extras/cut/") + rec.name) ||
            !writeFile(dir.filePath(QStringLiteral("extras/cut/") + tripLogName(rec)),
                       tripLog(rec, rec.seed), error))
            return false;
    }
    if (!dir.mkpath(QStringLiteral("extras/odd"))) {
        setError(error, QStringLiteral("cannot create %1/extras/odd").arg(dirPath));
        return false;
    }
    for (const Recording& rec : oddRecordings()) {
        if (!media(rec, QStringLiteral("extras/odd/") + rec.name))
            return false;
    }
    if (!dir.mkpath(QStringLiteral("extras/trips"))) {
        setError(error, QStringLiteral("cannot create %1/extras/trips").arg(dirPath));
        return false;
    }
    for (const Recording& rec : tripRecordings()) {
        const QString folder = QStringLiteral("extras/trips/");
        if (!media(rec, folder + rec.name) ||
            !writeFile(dir.filePath(folder + tripLogName(rec)), tripLog(rec, rec.seed), error) ||
            !writeFile(dir.filePath(folder + routeName(rec)), routeText(rec, rec.seed), error))
            return false;
    }
    const qint64 firstSize = QFileInfo(firstPath).size();
    return copyFile(firstPath, dir.filePath(QStringLiteral("extras/A.ASF")), -1, error) &&
           copyFile(firstPath, dir.filePath(QStringLiteral("extras/名字 with space.asf")), -1,
                    error) &&
           copyFile(firstPath, dir.filePath(QStringLiteral("extras/truncated.asf")), firstSize / 3,
                    error) &&
           writeFile(dir.filePath(QStringLiteral("extras/empty.asf")), QByteArray(), error) &&
           writeFile(dir.filePath(QStringLiteral("extras/random.asf")), noiseBytes(64 * 1024, 99),
                     error);
}

} // namespace democard
