// SPDX-License-Identifier: GPL-3.0-or-later
// Arbitrary bytes as a trip log beside a recording: the reader must stay inside its table,
// terminate, and report what it loaded.
#include "FuzzSupport.h"
#include "trip/TripLog.h"

#include <QFile>
#include <algorithm>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const QString logPath = fuzzScratchDir() + "/0001.LOG";
    writeWhole(logPath, data, size);

    // Slots beyond the new count keep old values; fill them so a read past the count would be
    // seen as a change below.
    TripLog.sampleCount = 0;
    TripLog.reloadPending = true;
    for (int i = 0; i < TRIP_LOG_CAPACITY; ++i)
        TripLog.speed[i] = -12345.0;

    FUZZ_CHECK(LoadTripLogFrom(logPath));
    FUZZ_CHECK(!TripLog.reloadPending);
    FUZZ_CHECK(TripLog.sampleCount >= 1 && TripLog.sampleCount <= TRIP_LOG_CAPACITY);
    for (int i = TripLog.sampleCount; i < TRIP_LOG_CAPACITY; ++i)
        FUZZ_CHECK(TripLog.speed[i] == -12345.0);

    // The log named after a recording: what precedes the last "." of the whole path, then
    // ".LOG", whatever the path holds.
    const QString video = QString::fromUtf8(reinterpret_cast<const char*>(data),
                                            qsizetype(std::min<size_t>(size, 256)));
    const QString derived = TripLogPath(video);
    FUZZ_CHECK(derived.endsWith(QLatin1String(".LOG")));
    const qsizetype dot = video.lastIndexOf(QLatin1Char('.'));
    FUZZ_CHECK(derived.size() == (dot < 0 ? 0 : dot) + 4);
    FUZZ_CHECK(video.startsWith(derived.left(derived.size() - 4)));

    // The same bytes under another letter case of the extension load the same way.
    static const QString lowerPath = fuzzScratchDir() + "/0002.log";
    static const QString askedPath = fuzzScratchDir() + "/0002.LOG";
    if (size % 7 == 0) {
        const int32_t count = TripLog.sampleCount;
        QFile::remove(lowerPath);
        QFile::rename(logPath, lowerPath);
        FUZZ_CHECK(LoadTripLogFrom(askedPath));
        FUZZ_CHECK(TripLog.sampleCount == count);
        QFile::remove(lowerPath);
    }
    return 0;
}
