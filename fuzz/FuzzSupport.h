// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>

// A private folder for the files one fuzzing process writes, in memory when /dev/shm exists
// so that the disk is not the bottleneck. Removed when the process ends normally.
inline const QString& fuzzScratchDir() {
    static const QString dir = [] {
        QByteArray pattern =
            QDir("/dev/shm").exists() ? "/dev/shm/player-fuzz-XXXXXX" : "/tmp/player-fuzz-XXXXXX";
        if (!mkdtemp(pattern.data()))
            std::abort();
        std::atexit([] { QDir(fuzzScratchDir()).removeRecursively(); });
        return QString::fromLocal8Bit(pattern);
    }();
    return dir;
}

// Replaces the file at path with exactly `size` bytes of `data`.
inline void writeWhole(const QString& path, const uint8_t* data, size_t size) {
    std::FILE* f = std::fopen(QFile::encodeName(path).constData(), "wb");
    if (!f || (size && std::fwrite(data, 1, size, f) != size) || std::fclose(f) != 0)
        std::abort();
}

// A failed property: report it and stop so libFuzzer keeps the input as a crash.
#define FUZZ_CHECK(cond)                                                                           \
    do {                                                                                           \
        if (!(cond)) {                                                                             \
            std::fprintf(stderr, "property failed: %s (%s:%d)\n", #cond, __FILE__, __LINE__);      \
            std::abort();                                                                          \
        }                                                                                          \
    } while (0)
