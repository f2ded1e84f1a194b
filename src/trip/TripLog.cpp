// SPDX-License-Identifier: GPL-3.0-or-later
#include "trip/TripLog.h"

#include "records/CurrentRecord.h"
#include "trip/ClassicNumericScope.h"

#include <QFile>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <sys/stat.h>

TripLogData TripLog;

namespace {

struct FileCloser {
    void operator()(FILE* f) const { std::fclose(f); }
};
using FileHandle = std::unique_ptr<FILE, FileCloser>;

// An in-memory text read through the C library's formatted input, as the log file is.
struct MemoryText {
    const QByteArray* text;
    qsizetype at = 0;
};

ssize_t readMemory(void* cookie, char* buffer, size_t size) {
    auto* m = static_cast<MemoryText*>(cookie);
    const size_t n = std::min(size, size_t(m->text->size() - m->at));
    std::memcpy(buffer, m->text->constData() + m->at, n);
    m->at += qsizetype(n);
    return ssize_t(n);
}

// ftell asks where the stream is, which is how each pass's start is known.
int seekMemory(void* cookie, off64_t* offset, int whence) {
    auto* m = static_cast<MemoryText*>(cookie);
    const qint64 base = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? m->at : m->text->size();
    const qint64 to = base + *offset;
    if (to < 0 || to > m->text->size())
        return -1;
    m->at = to;
    *offset = to;
    return 0;
}

// The degrees value last read, kept from one load to the next: the trailing slot of a log
// converts its old contents with it, even when the log itself read no degrees.
double s_degrees = 0;

// One record of the log, consumed by the fixed sequence of reads the recorder's format is
// defined by. Each read's result is ignored on purpose: a field that does not read keeps the
// value its slot held, and once the end of the file is met every later read fails too.
// Tokens are discarded with an assignment-suppressed conversion, so a token of any length is
// skipped whole and nothing is ever stored for it.
void readRecord(FILE* f, TripLogData& table, int n, double& degrees) {
    int ignored = 0;
    ignored += std::fscanf(f, "%*s");                     // 1 token
    ignored += std::fscanf(f, "%*s");                     // 2 token
    ignored += std::fscanf(f, "%*22c");                   // 3 skip 22
    ignored += std::fscanf(f, "%lf", &table.accelX[n]);   // 4 X
    ignored += std::fscanf(f, "%*1c");                    // 5 separator
    ignored += std::fscanf(f, "%lf", &table.accelY[n]);   // 6 Y
    ignored += std::fscanf(f, "%*1c");                    // 7 separator
    ignored += std::fscanf(f, "%lf", &table.accelZ[n]);   // 8 Z
    ignored += std::fscanf(f, "%*s");                     // 9 token
    ignored += std::fscanf(f, "%*6c");                    // 10 skip 6
    ignored += std::fscanf(f, "%lf", &degrees);           // 11 latitude degrees
    ignored += std::fscanf(f, "%lf", &table.latitude[n]); // 12 latitude minutes
    table.latitude[n] = table.latitude[n] * 0.016666666666666666 + degrees - 0.003444;
    ignored += std::fscanf(f, "%*2c");                     // 13 skip 2
    ignored += std::fscanf(f, "%lf", &degrees);            // 14 longitude degrees
    ignored += std::fscanf(f, "%lf", &table.longitude[n]); // 15 longitude minutes
    table.longitude[n] = table.longitude[n] * 0.016666666666666666 + degrees + 0.004912;
    ignored += std::fscanf(f, "%lf", &table.speed[n]); // 16 speed
    ignored += std::fscanf(f, "%*s");                  // 17 token, ends the record
    (void)ignored;
}

} // namespace

QByteArray TripLogText(const QByteArray& bytes) {
    // As a text-mode stream reads it: a CR LF pair is one line break, one character, also
    // where it falls inside a fixed-length skip (a CR on its own stays). Logs keep the CR LF
    // line ends the recorder writes, and counting both characters there would shift every
    // later field of the record.
    if (!bytes.contains('\r'))
        return bytes;
    QByteArray text;
    text.reserve(bytes.size());
    const char* p = bytes.constData();
    const char* end = p + bytes.size();
    while (p < end) {
        const char* cr = static_cast<const char*>(std::memchr(p, '\r', size_t(end - p)));
        const char* stop = cr ? cr : end;
        text.append(p, stop - p);
        p = stop;
        if (cr) {
            ++p;
            text.append(p < end && *p == '\n' ? '\n' : '\r');
            if (p < end && *p == '\n')
                ++p;
        }
    }
    return text;
}

void FillTripTable(const QByteArray& text, TripLogData& table, double& degrees,
                   std::vector<qint64>* passStarts) {
    // Numbers in the log always use "."; a comma-decimal user locale must not change them.
    ClassicNumericScope classic;
    MemoryText memory{&text};
    FileHandle f(fopencookie(&memory, "r", {readMemory, nullptr, seekMemory, nullptr}));
    table.sampleCount = 0;
    if (passStarts)
        passStarts->clear();
    if (!f)
        return;
    // A log ending in a line break runs one more, empty pass that still counts; the table has
    // a fixed size, so the load stops when it is full.
    while (table.sampleCount < TRIP_LOG_CAPACITY) {
        if (passStarts)
            passStarts->push_back(std::ftell(f.get()));
        readRecord(f.get(), table, table.sampleCount, degrees);
        ++table.sampleCount;
        if (std::feof(f.get()))
            break;
    }
}

std::optional<QByteArray> ReadTripLogFile(const QString& logPath, QString* error) {
    // The names are tried as the recorder's software opened its log; the first that opens is
    // the log. One that opens but cannot be read (a folder of that name, a card failing
    // halfway) is as unreadable as a missing one: part of a trip must not stand for the whole.
    QString why;
    for (const QString& candidate : TripLogCandidates(logPath)) {
        FileHandle f(std::fopen(QFile::encodeName(candidate).constData(), "r"));
        if (!f) {
            if (why.isEmpty())
                why = QString::fromLocal8Bit(std::strerror(errno));
            continue;
        }
        QByteArray bytes;
        struct stat st {};
        if (fstat(fileno(f.get()), &st) == 0 && st.st_size > 0)
            bytes.reserve(qsizetype(st.st_size));
        char chunk[1 << 16];
        size_t got = 0;
        while ((got = std::fread(chunk, 1, sizeof chunk, f.get())) > 0)
            bytes.append(chunk, qsizetype(got));
        if (std::ferror(f.get())) {
            if (error)
                *error = QString::fromLocal8Bit(std::strerror(errno));
            return std::nullopt;
        }
        return bytes;
    }
    if (error)
        *error = why;
    return std::nullopt;
}

bool LoadTripLogFrom(const QString& logPath) {
    TripLog.reloadPending = false;
    TripLog.sampleCount = 0;
    const std::optional<QByteArray> bytes = ReadTripLogFile(logPath);
    if (!bytes) {
        // Tried again on the next refresh.
        TripLog.reloadPending = true;
        return false;
    }
    FillTripTable(TripLogText(*bytes), TripLog, s_degrees, nullptr);
    return true;
}

double& TripLogDegrees() {
    return s_degrees;
}

bool LoadTripLog() {
    return LoadTripLogFrom(TripLogPath(CurrentRecord.fileName));
}
