// SPDX-License-Identifier: GPL-3.0-or-later
#include "trip/TripLog.h"

#include "records/CurrentRecord.h"
#include "trip/ClassicNumericScope.h"

#include <QFile>
#include <cctype>
#include <cstdio>
#include <memory>

TripLogData TripLog;

namespace {

struct FileCloser {
    void operator()(FILE* f) const { std::fclose(f); }
};
using FileHandle = std::unique_ptr<FILE, FileCloser>;

// The log is read as a text-mode stream reads it: a CR LF pair is one line break, one
// character, also where it falls inside a fixed-length skip (a CR on its own stays). Logs
// keep the CR LF line ends the recorder writes, and counting both characters there would
// shift every later field of the record.
ssize_t readAsText(void* cookie, char* buffer, size_t size) {
    FILE* raw = static_cast<FILE*>(cookie);
    size_t n = 0;
    while (n < size) {
        int c = getc_unlocked(raw);
        if (c == EOF)
            break;
        if (c == '\r') {
            const int next = getc_unlocked(raw);
            if (next == '\n')
                c = '\n';
            else if (next != EOF)
                ungetc(next, raw);
        }
        buffer[n++] = static_cast<char>(c);
    }
    if (n == 0 && std::ferror(raw))
        return -1;
    return static_cast<ssize_t>(n);
}

int closeRaw(void* cookie) {
    return std::fclose(static_cast<FILE*>(cookie));
}

FILE* openForReading(const QString& path) {
    FILE* raw = std::fopen(QFile::encodeName(path).constData(), "r");
    if (!raw)
        return nullptr;
    const cookie_io_functions_t text{readAsText, nullptr, nullptr, closeRaw};
    FILE* f = fopencookie(raw, "r", text);
    if (!f)
        std::fclose(raw);
    return f;
}

// The degrees value last read, kept from one load to the next: the trailing slot of a log
// converts its old contents with it, even when the log itself read no degrees.
double s_degrees = 0;

// A log that opens but whose first read fails (a folder of that name, a card that fails
// there) is as unreadable as a missing one. Looked at before anything is read into the table.
bool firstReadFails(FILE* f) {
    const int c = std::getc(f);
    if (c == EOF)
        return std::ferror(f) != 0;
    std::ungetc(c, f);
    return false;
}

FILE* openLog(const QString& logPath, QString* openedPath) {
    for (const QString& candidate : TripLogCandidates(logPath)) {
        if (FILE* f = openForReading(candidate)) {
            *openedPath = candidate;
            return f;
        }
    }
    return nullptr;
}

// A discarded token, or one kept for an export: whitespace skipped, then everything up to the
// next whitespace, as "%s" reads it. A kept token is cut at a length no date or clock needs;
// the rest of it is still consumed.
void readToken(FILE* f, QByteArray* kept) {
    if (!kept) {
        const int ignored = std::fscanf(f, "%*s");
        (void)ignored;
        return;
    }
    int c = std::getc(f);
    while (c != EOF && std::isspace(c))
        c = std::getc(f);
    while (c != EOF && !std::isspace(c)) {
        if (kept->size() < 64)
            kept->append(char(c));
        c = std::getc(f);
    }
    if (c != EOF)
        std::ungetc(c, f);
}

// One record of the log, consumed by the fixed sequence of reads the recorder's format is
// defined by. Each read's result is ignored on purpose: a field that does not read keeps the
// value its slot held, and once the end of the file is met every later read fails too.
// Tokens are discarded with an assignment-suppressed conversion, so a token of any length is
// skipped whole and nothing is ever stored for it.
void readRecord(FILE* f, TripLogData& table, int n, double& degrees, TripRecordExtra* extra) {
    int ignored = 0;
    readToken(f, extra ? &extra->date : nullptr);         // 1 token
    readToken(f, extra ? &extra->time : nullptr);         // 2 token
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
    const bool latitudeZero = degrees == 0 && table.latitude[n] == 0;
    table.latitude[n] = table.latitude[n] * 0.016666666666666666 + degrees - 0.003444;
    ignored += std::fscanf(f, "%*2c");                     // 13 skip 2
    ignored += std::fscanf(f, "%lf", &degrees);            // 14 longitude degrees
    ignored += std::fscanf(f, "%lf", &table.longitude[n]); // 15 longitude minutes
    const bool longitudeZero = degrees == 0 && table.longitude[n] == 0;
    table.longitude[n] = table.longitude[n] * 0.016666666666666666 + degrees + 0.004912;
    ignored += std::fscanf(f, "%lf", &table.speed[n]); // 16 speed
    ignored += std::fscanf(f, "%*s");                  // 17 token, ends the record
    if (extra)
        extra->positionZero = latitudeZero && longitudeZero;
    (void)ignored;
}

// Passes over an open log until its end or the table's bound; false at a read error.
bool readAll(FILE* f, TripLogData& table, double& degrees, std::vector<TripRecordExtra>* extras) {
    // Numbers in the log always use "."; a comma-decimal user locale must not change them.
    ClassicNumericScope classic;
    // A log ending in a line break runs one more, empty pass that still counts; the table has
    // a fixed size, so the load stops when it is full. A later read error (a card pulled out
    // halfway through the log) leaves the log as unreadable as a missing one: part of a trip
    // must not stand for the whole.
    while (table.sampleCount < TRIP_LOG_CAPACITY) {
        TripRecordExtra* extra = nullptr;
        if (extras)
            extra = &extras->emplace_back();
        readRecord(f, table, table.sampleCount, degrees, extra);
        ++table.sampleCount;
        if (std::ferror(f)) {
            table.sampleCount = 0;
            if (extras)
                extras->clear();
            return false;
        }
        if (std::feof(f))
            break;
    }
    return true;
}

} // namespace

QStringList TripLogCandidates(const QString& logPath) {
    QStringList candidates{logPath};
    if (!logPath.endsWith(QLatin1String(".LOG")))
        return candidates;
    static const char* const otherCases[] = {"log", "Log", "lOG", "LOg", "LoG", "lOg", "loG"};
    const QString stem = logPath.left(logPath.size() - 3);
    for (const char* ext : otherCases)
        candidates.append(stem + QLatin1String(ext));
    return candidates;
}

QString TripLogPath(const QString& videoPath) {
    const qsizetype dot = videoPath.lastIndexOf(QLatin1Char('.'));
    return (dot >= 0 ? videoPath.left(dot) : QString()) + QStringLiteral(".LOG");
}

bool LoadTripLogFrom(const QString& logPath) {
    TripLog.reloadPending = false;
    TripLog.sampleCount = 0;

    QString openedPath;
    FileHandle file(openLog(logPath, &openedPath));
    if (!file || firstReadFails(file.get())) {
        TripLog.reloadPending = true;
        return false;
    }
    // Failing halfway, it is tried again on the next refresh.
    if (!readAll(file.get(), TripLog, s_degrees, nullptr)) {
        TripLog.reloadPending = true;
        return false;
    }
    return true;
}

bool ReadTripLog(const QString& logPath, TripLogData& table, std::vector<TripRecordExtra>& extras) {
    table.sampleCount = 0;
    extras.clear();
    QString openedPath;
    FileHandle file(openLog(logPath, &openedPath));
    if (!file || firstReadFails(file.get()))
        return false;
    double degrees = 0;
    return readAll(file.get(), table, degrees, &extras);
}

bool LoadTripLog() {
    return LoadTripLogFrom(TripLogPath(CurrentRecord.fileName));
}
