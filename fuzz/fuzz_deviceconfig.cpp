// SPDX-License-Identifier: GPL-3.0-or-later
// Arbitrary bytes as the recorder's setup.ini, read from memory: the scanner must terminate
// and stay inside its buffers, and whatever it accepted must survive a write and a re-read.
#include "FuzzSupport.h"
#include "config/DeviceConfigFile.h"

#include <QDate>
#include <QTime>
#include <cstring>

namespace {

QByteArray formatted() {
    return FormatDeviceConfig(DeviceConfig, false, QDate(2026, 5, 20), QTime(14, 30, 5));
}

void loadBytes(const uint8_t* data, size_t size) {
    // fmemopen refuses an empty buffer; an empty file reads nothing.
    if (size == 0)
        return;
    std::FILE* f = fmemopen(const_cast<uint8_t*>(data), size, "r");
    FUZZ_CHECK(f != nullptr);
    LoadDeviceConfig(f);
    std::fclose(f);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    DeviceConfig = DeviceConfigData();
    loadBytes(data, size);

    // What the writer makes of the values read must read back to the same file.
    const QByteArray first = formatted();
    DeviceConfig = DeviceConfigData();
    loadBytes(reinterpret_cast<const uint8_t*>(first.constData()), size_t(first.size()));
    const QByteArray second = formatted();
    if (first != second)
        std::fprintf(stderr, "first:\n%s\nsecond:\n%s\n", first.constData(), second.constData());
    FUZZ_CHECK(first == second);

    // The reader through a real file and fopen, as the program opens it.
    if (size % 5 == 0) {
        static const QString path = fuzzScratchDir() + "/setup.ini";
        writeWhole(path, data, size);
        DeviceConfig = DeviceConfigData();
        FUZZ_CHECK(ReadSetupFile(path));
        FUZZ_CHECK(formatted() == first);
    }
    return 0;
}
