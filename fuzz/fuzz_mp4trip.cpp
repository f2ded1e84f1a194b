// SPDX-License-Identifier: GPL-3.0-or-later
// Arbitrary bytes as another recorder's trip, the first byte choosing the kind of file: a
// recording (MP4/MOV boxes); beside a small recording, an NMEA file (input starting with "$"),
// or the NMEA and G records older firmware writes as NAME.gps and NAME.3gf (input starting with
// "[": the text up to the first NUL, the records after it). The readers must terminate, stay
// inside the file, say a failure as one, and give only positions that are positions.
#include "FuzzSupport.h"
#include "formats/Mp4Boxes.h"
#include "trip/TripReader.h"

#include <cmath>
#include <cstring>

namespace {

// A recording as a recorder begins one: ftyp, then mdat (no moov yet).
const uint8_t kStart[] = {0, 0, 0, 16, 'f', 't', 'y', 'p', 'i', 's', 'o', 'm',
                          0, 0, 2, 0,  0,   0,   0,   8,   'm', 'd', 'a', 't'};

// The recording whose trip the input holds, written with its side files.
QString Write(const uint8_t* data, size_t size) {
    static const QString recording = fuzzScratchDir() + "/2026_0520_143000_0001F.MP4";
    static const QString side = [] {
        QDir(fuzzScratchDir()).mkpath("side");
        return fuzzScratchDir() + "/side/2026_0520_143500.";
    }();
    const char kind = size ? char(data[0]) : 0;
    if (kind != '$' && kind != '[') {
        writeWhole(recording, data, size);
        return recording;
    }
    for (const char* ext : {"NMEA", "gps", "3gf"})
        QFile::remove(side + ext);
    writeWhole(side + "MP4", kStart, sizeof kStart);
    if (kind == '$') {
        writeWhole(side + "NMEA", data, size);
    } else {
        const auto* nul = static_cast<const uint8_t*>(std::memchr(data, 0, size));
        writeWhole(side + "gps", data, nul ? size_t(nul - data) : size);
        if (nul)
            writeWhole(side + "3gf", nul + 1, size - size_t(nul - data) - 1);
    }
    return side + "MP4";
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString path = Write(data, size);
    (void)Mp4::MissingIndex(path);
    // The readers themselves, not the cache of tracks in front of them: the scratch file is
    // written again faster than the file system's clock ticks, and would read as unchanged.
    const TripReader* reader = TripReaders::For(path);
    if (!reader)
        return 0;
    TripTrack track;
    QString error;
    if (!reader->Read(path, 0, track, &error)) {
        FUZZ_CHECK(!error.isEmpty());
        return 0;
    }
    FUZZ_CHECK(!track.samples.empty() || track.Skipped() > 0);
    // Every sample takes bytes of its own: no table multiplies what the file holds.
    FUZZ_CHECK(track.samples.size() <= size);
    for (const TripSample& s : track.samples) {
        // Every number a sample carries is one (the heading NaN where it was not logged).
        FUZZ_CHECK(std::isfinite(s.time) && std::isfinite(s.speed));
        FUZZ_CHECK(std::isfinite(s.accelX) && std::isfinite(s.accelY) && std::isfinite(s.accelZ));
        FUZZ_CHECK(std::isnan(s.heading) || std::isfinite(s.heading));
        if (!s.HasFix())
            continue;
        FUZZ_CHECK(std::isfinite(s.latitude) && std::isfinite(s.longitude));
        FUZZ_CHECK(std::abs(s.latitude) <= 90 && std::abs(s.longitude) <= 180);
        FUZZ_CHECK(s.latitude != 0 || s.longitude != 0);
    }
    return 0;
}
