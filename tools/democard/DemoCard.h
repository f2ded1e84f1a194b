// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A deterministic, realistic recorder memory card for the demo, the tests and the benchmarks:
// recordings of a simulated drive (encoded by the ffmpeg command-line tool), the trip log
// beside each one, and the recorder's setup.ini. Every byte except the encoded media depends
// only on this code; the media depend on it and on the installed ffmpeg.

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>

namespace democard {

// One recording of the card and how it is encoded.
struct Recording {
    QString name;             // file name on the card, e.g. "0001.asf" (".avi" gives an AVI file)
    int seconds = 10;         // length
    int width = 640;          // picture size; ignored without video
    int height = 480;         //
    int fps = 25;             // frames per second
    QString videoCodec;       // ffmpeg encoder: "mjpeg", "wmv2" or "libx264"; empty: no video
    QString audioCodec;       // "pcm_s16le", "adpcm_ima_wav" or "wmav2"; empty: no audio track
    int audioRate = 16000;    // Hz, mono
    int samplesPerSecond = 1; // trip log records per second: 1, 2, 4, 5 or 10
    bool crlf = false;        // trip log lines end in CR LF (else LF)
    QDateTime start;          // the recorder's clock at the first frame (kept as UTC)
    int clockAhead = 0;       // seconds the clock burnt into the picture runs ahead of `start` (a
                              // camera on local time whose trip carries GPS time)
    int seed = 1;             // the drive; the picture, the sound and the trip log follow it
    // Files as recorders and other writers leave them (all off for a whole, indexed file):
    bool streamed = false;   // ASF written for streaming: chunk headers, no index, no length
    int audioSeconds = 0;    // the sound ends after this many seconds (0: with the picture)
    int dropPercent = 0;     // about this share of the frames is left out, irregularly
    bool unfinished = false; // packet count, length and data size never written (power loss)
    int cutPermille = 0;     // the file ends a little after this share of its bytes (0: whole)
    int durationTimes = 0;   // the header claims this many times the real length (0: true)
    int zeroTailPercent = 0; // this share of the file's last bytes is zeros (a card pulled
                             // while the file was written)
    // Streams and encodings of other writers:
    int videoFrames = 0;       // picture frames, when fewer than seconds x fps (sound runs on)
    int bFrames = 0;           // B-frames between references (H.264 or MPEG-4 Part 2 only)
    int emptyVideoStreams = 0; // video streams declared before the picture, never filled
    QString pixelAspect;       // non-square pixels, as width:height of a pixel ("4:3")
    // The trip:
    double startLatitude = 0, startLongitude = 0; // where the drive starts (0, 0: the usual town)
    bool logCutInLastLine = false; // the log ends inside its last record (a power loss)
    // Jolts the G-sensor felt (a pothole, a knock): at `at` seconds the log's record on
    // `axis` ('X', 'Y' or 'Z') reads `peak` g, the records on either side half of it more than
    // the drive's own value.
    struct Jolt {
        double at = 0;
        char axis = 'Z';
        double peak = 0;
    };
    QList<Jolt> jolts;
};

// One trip log record: G values (g) and speed (km/h) at the recorder's resolution, and where the
// vehicle really was, in WGS-84 decimal degrees (south and west negative), as its GPS receiver
// logs it.
struct TripSample {
    double accelX = 0; // along the car; negative when braking
    double accelY = 0; // across the car; positive in a right turn
    double accelZ = 0; // vertical, about 1
    double latitude = 0;
    double longitude = 0;
    double speed = 0;
};

// G value below which a sample counts as hard braking. Each log has exactly one such
// episode: a run of consecutive samples, the lowest about -1.2.
constexpr double HARD_BRAKE_G = -1.0;

// The recordings of the card, 0001.asf ... 0009.asf. The first is short (10 s), 640 x 480
// MJPEG with PCM sound: tests use it most.
QList<Recording> standardRecordings();

// The card's recording with jolts: 0009.asf, 20 s of 640 x 480 MJPEG with sound, a log record
// every 0.2 s, two jolts over the card's setup.ini limits (Z 3.42 g at 6 s over 3.00, X 2.86 g
// at 13 s over 2.50) and one just under (Y 2.47 g at 17 s, limit 2.50).
Recording joltRecording();

// The recording of the card that a power loss cut short: 0007.asf, three minutes of 640 x 480
// MJPEG with sound, header never finished, file ending two thirds of the way in, no index.
Recording powerCutRecording();

// The card's full-HD recording: 0008.asf, 25 s of 1920 x 1080 H.264 at 30 fps with sound.
Recording fullHdRecording();

// The trip log's file name beside a recording: "0001.asf" gives "0001.LOG".
QString tripLogName(const Recording& rec);

// The drive of `seed` sampled at rec.samplesPerSecond over rec.seconds: seconds x rate samples.
QList<TripSample> tripSamples(const Recording& rec, int seed);

// The bytes of the trip log of that drive, one record a line, every line ending in CR LF or LF
// (rec.crlf), the last one too unless rec.logCutInLastLine. Positions are written as the
// receiver gives them: degrees and minutes with the hemisphere letter (N/S, E/W). The card
// pairs a recording with tripLog(rec, rec.seed).
QByteArray tripLog(const Recording& rec, int seed);

// The drive's true route beside a test card's log ("0001.LOG" gives "0001.route"): per log
// record, "latitude longitude" in decimal degrees to 7 places, one a line; for tests.
QString routeName(const Recording& rec);
QByteArray routeText(const Recording& rec, int seed);

// The bytes of the card's setup.ini, exactly as the program's settings writer lays it out.
QByteArray setupIni();

// Encodes rec to path with ffmpeg (found on PATH). The file appears whole or not at all.
// On failure returns false and says why in *error (when error is not null).
bool writeRecording(const Recording& rec, const QString& path, QString* error);

// Writes the whole card into dir (created with its parents): the standard recordings with
// their trip logs and setup.ini. With extras, also the subfolder "extras/" of test files:
// "A.ASF" and "名字 with space.asf" (copies of 0001.asf), the folder "extras/cut/" of files
// as power losses and other writers leave them (see cutRecordings()), "clip.avi" (3 s MJPEG + PCM),
// "empty.asf" (0 bytes), "truncated.asf" (the first third of 0001.asf), "random.asf"
// (64 KiB of deterministic noise), "audio-only.asf" and "video-only.asf" (5 s each), the
// folders "extras/odd/" and "extras/trips/", and the route beside every log of the card.
// An encoded file is kept when the hidden stamp file ".democard-stamp" in dir lists it with
// its size and the digest of what would encode it now (command line, ffmpeg version, drive,
// sample frames, sound), so a second run takes a second; anything else is encoded again and
// the text files are rewritten when they differ. The result never depends on what was there.
bool makeDemoCard(const QString& dir, bool extras, QString* error);

// The recordings of "extras/cut/": 30 s of 640 x 480 MJPEG with sound cut at 30, 60 and 95 %
// ("cut30.asf", "cut60.asf", "cut95.asf"), the same written for streaming ("streamed.asf"), with
// a header claiming ten times its length ("long-header.asf"), sound ending 2 s before the
// picture ("short-sound.asf"), 4 s at 10, 15, 24, 25 and 30 frames per second ("fps10.asf" …)
// and 6 s with frames dropped irregularly ("irregular.asf").
QList<Recording> cutRecordings();

// The recordings of "extras/odd/", from other writers and damaged in other ways: 1280 x 720 H.264
// with B-frames and AAC sound, whole ("bframes.asf", 12 s) and cut at 37 % ("bframes-cut.asf");
// MPEG-4 Part 2 with B-frames and WMA ("mpeg4-bframes.asf", 8 s at 12 fps); 10 s of MJPEG whose
// last 10, 20 and 50 % of bytes are zeros ("zero10.asf" ...); a picture whose two first
// declared video streams are empty ("empty-streams.asf", 3 s); a picture of 8 s with 10 s of
// sound ("long-sound.asf"); a single frame ("one-frame.asf"); and 480 x 480 pixels shown as
// 4:3 ("wide-pixels.asf").
QList<Recording> oddRecordings();

// The recordings of "extras/trips/", with their logs and routes: a drive in Santiago de Chile,
// south and west of Greenwich ("santiago.asf"), and one whose log a power loss cut inside its
// last record ("cut-log.asf"); 5 s of 320 x 240 MJPEG each.
QList<Recording> tripRecordings();

} // namespace democard
