// SPDX-License-Identifier: GPL-3.0-or-later
#include "config/DeviceConfigFile.h"

#include "card/CardFiles.h"

#include "ui/Prompts.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QTime>
#include <cerrno>
#include <climits>
#include <cstdarg>
#include <cstring>
#include <fcntl.h>
#include <locale.h>
#include <unistd.h>

static_assert(sizeof(int) == sizeof(int32_t), "the scanner reads 32-bit fields with %d");

namespace {

// The file's numbers always use "." whatever the user's locale says. The switch is made for
// this thread only, so nothing else running at the same time sees a changed locale.
class CLocaleScope {
public:
    CLocaleScope() {
        static const locale_t cLocale = newlocale(LC_ALL_MASK, "C", locale_t(nullptr));
        if (cLocale)
            m_previous = uselocale(cLocale);
    }
    ~CLocaleScope() {
        if (m_previous)
            uselocale(m_previous);
    }
    CLocaleScope(const CLocaleScope&) = delete;
    CLocaleScope& operator=(const CLocaleScope&) = delete;

private:
    locale_t m_previous = locale_t(nullptr);
};

constexpr int TOKEN_BUFFER_SIZE = 100;

// The keys the scanner knows, in the order they are tried. Only the first compareLength
// bytes are compared, so a longer key with the same beginning is read as well.
struct SettingKey {
    const char* name;
    int compareLength;
    int32_t DeviceConfigData::*intField;
    double DeviceConfigData::*doubleField;
};

const SettingKey SETTING_KEYS[] = {
    {"BEFORE_VIDEO_EVENT", 18, &DeviceConfigData::nBeforeVideoEvent, nullptr},
    {"VIDEO_EVENT_LENGTH", 14, &DeviceConfigData::nVideoEventLength, nullptr},
    {"G_LIMITX", 8, nullptr, &DeviceConfigData::dLimitX},
    {"G_LIMITY", 8, nullptr, &DeviceConfigData::dLimitY},
    {"G_LIMITZ", 8, nullptr, &DeviceConfigData::dLimitZ},
    {"TIME_ZONE", 9, &DeviceConfigData::nTimeZone, nullptr},
    {"SHOW_STRING", 11, &DeviceConfigData::nShowString, nullptr},
    {"CIS_MIRROR", 10, &DeviceConfigData::nCisMirror, nullptr},
};

// Reads the value of a recognised key straight from the file, just after its "=". A value
// that is not a number leaves the field as it was.
void readValueForKey(std::FILE* file, const char* key, int keyLength, DeviceConfigData& into) {
    for (const SettingKey& setting : SETTING_KEYS) {
        if (keyLength < setting.compareLength ||
            std::memcmp(key, setting.name, static_cast<size_t>(setting.compareLength)) != 0)
            continue;
        if (setting.intField) {
            int value = 0;
            if (std::fscanf(file, "%d", &value) == 1)
                into.*setting.intField = value;
        } else {
            double value = 0.0;
            if (std::fscanf(file, "%lf", &value) == 1)
                into.*setting.doubleField = value;
        }
        return;
    }
}

__attribute__((format(printf, 2, 3))) void appendFormatted(QByteArray& out, const char* format,
                                                           ...) {
    char small[256];
    std::va_list args;
    va_start(args, format);
    const int length = std::vsnprintf(small, sizeof small, format, args);
    va_end(args);
    if (length < 0)
        return;
    if (static_cast<size_t>(length) < sizeof small) {
        out.append(small, length);
        return;
    }
    // Only a huge number gets here; format again into a buffer of the right size.
    QByteArray large(length + 1, '\0');
    va_start(args, format);
    std::vsnprintf(large.data(), static_cast<size_t>(large.size()), format, args);
    va_end(args);
    out.append(large.constData(), length);
}

} // namespace

void LoadDeviceConfig(std::FILE* file) {
    ParseDeviceConfig(file, DeviceConfig);
}

std::optional<DeviceConfigData> ReadDeviceConfig(const QString& path, DeviceConfigData start) {
    std::FILE* file = std::fopen(QFile::encodeName(path).constData(), "rb");
    if (!file)
        return std::nullopt;
    ParseDeviceConfig(file, start);
    const bool whole = !std::ferror(file);
    std::fclose(file);
    return whole ? std::optional<DeviceConfigData>(start) : std::nullopt;
}

void ParseDeviceConfig(std::FILE* file, DeviceConfigData& into) {
    if (!file)
        return;
    const CLocaleScope cLocale;

    // A tolerant byte scanner: "[" and "." start a new token, "=" ends a key. Values of known
    // keys are consumed by fscanf, so a decimal point inside a value never reaches the scanner.
    char token[TOKEN_BUFFER_SIZE] = {};
    int i = 0;
    int ch;
    while ((ch = std::fgetc(file)) != EOF) {
        const char c = static_cast<char>(ch);
        token[i] = c;
        if (c == '.' || c == '[') {
            i = -1; // the next byte is stored at position 0
        } else if (c == '=') {
            char key[TOKEN_BUFFER_SIZE];
            const int keyLength = i;
            std::memcpy(key, token, static_cast<size_t>(keyLength));
            std::memset(token, 0, sizeof token);
            readValueForKey(file, key, keyLength, into);
        }
        if (++i == TOKEN_BUFFER_SIZE)
            i = 0; // long lines wrap around; only the latest bytes can form a key
    }
}

std::optional<int> CardTimeZone(const QString& folder) {
    const QDir here(folder);
    for (const QString& dir : {here.absolutePath(), QFileInfo(here.absolutePath()).path()}) {
        const QString setup = CardFiles::SetupFileIn(dir);
        if (setup.isEmpty())
            continue;
        DeviceConfigData none;
        none.nTimeZone = INT_MIN; // stays when the file names no zone
        const std::optional<DeviceConfigData> read = ReadDeviceConfig(setup, none);
        if (!read)
            continue;
        if (read->nTimeZone >= -12 && read->nTimeZone <= 14)
            return read->nTimeZone;
        return std::nullopt;
    }
    return std::nullopt;
}

bool ReadSetupFile(const QString& path) {
    const QByteArray nativePath = QFile::encodeName(path);
    if (std::FILE* file = std::fopen(nativePath.constData(), "rb+")) {
        // A file that fails while it is read (a card pulled out) is not shown half read: an
        // Apply would write the values it did not get over the user's settings.
        const DeviceConfigData before = DeviceConfig;
        LoadDeviceConfig(file);
        const bool readWhole = !std::ferror(file);
        std::fclose(file);
        if (!readWhole)
            DeviceConfig = before;
        return readWhole;
    }
    // The recorder expects the file to exist, so a missing one is created empty. This second
    // open asks for reading and writing as well, so a file the user may write but not read
    // stops the command here. One that exists is left exactly as it is: no O_TRUNC here.
    const int fd = ::open(nativePath.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0)
        return false;
    ::close(fd);
    return true;
}

QByteArray FormatDeviceConfig(const DeviceConfigData& config, bool setSystemTime, const QDate& date,
                              const QTime& clock) {
    const CLocaleScope cLocale;
    QByteArray out;
    out.reserve(1024);
    if (setSystemTime) {
        char datePart[32];
        char clockPart[32];
        std::snprintf(datePart, sizeof datePart, "%04d/%02d/%02d/", date.year(), date.month(),
                      date.day());
        std::snprintf(clockPart, sizeof clockPart, "%02d/%02d/%02d", clock.hour(), clock.minute(),
                      clock.second());
        // The recorder reads this line with LF alone, unlike the others.
        appendFormatted(out, "[TIME=%s%s]   ; YYYY/MM/DD/HH/MM/SS\n", datePart, clockPart);
    }
    appendFormatted(out,
                    "[BEFORE_VIDEO_EVENT=%3d]     ; Recording time before event per video, Second "
                    "unit. Valid value is 2 ~ 60.\r\n",
                    config.nBeforeVideoEvent);
    appendFormatted(out,
                    "[VIDEO_EVENT_LENGTH=%3d]     ; Recording time after event trigger per video, "
                    "Second unit. Valid value is 10 ~ 300.\r\n",
                    config.nVideoEventLength);
    appendFormatted(out,
                    "[SHOW_STRING=%d]              ; 0: Don't show overlay string on video, 1: "
                    "Show overlay string on video, 2: Show overlay string with version, 3: Only "
                    "show time stamp on video.\r\n",
                    config.nShowString);
    appendFormatted(out,
                    "[G_LIMITX=%.2lf]              ; Capture video if X absolute G sensor value "
                    "greater than G_LIMITX, valid value is 0 ~ 8.\r\n",
                    config.dLimitX);
    appendFormatted(out,
                    "[G_LIMITY=%.2lf]              ; Capture video if Y absolute G sensor value "
                    "greater than G_LIMITY, valid value is 0 ~ 8.\r\n",
                    config.dLimitY);
    appendFormatted(out,
                    "[G_LIMITZ=%.2lf]              ; Capture video if Z absolute G sensor value "
                    "greater than G_LIMITZ, valid value is 0 ~ 8.\r\n",
                    config.dLimitZ);
    out.append("[OVERWRITE=  1]              ; 1: overwrite enable, 0: overwrite disable\r\n");
    // The mirror setting is never written from memory: the recorder always gets 0.
    out.append(
        "[CIS_MIRROR= 0]              ; 1: Image sensor row column mirrir, 0: Otherwise\r\n");
    appendFormatted(out,
                    "[TIME_ZONE=%3d]              ; Time zone, hour unit. Valid value is -12.0 ~ "
                    "12.\r\n",
                    config.nTimeZone);
    return out;
}

void SaveDeviceConfig(QWidget* parent, bool setSystemTime, const QDate& date, const QTime& clock) {
    const QByteArray bytes = FormatDeviceConfig(DeviceConfig, setSystemTime, date, clock);

    // Written beside the old file and renamed over it, so a full or pulled card or a
    // write-protected file never leaves half a settings file behind. Unbuffered, because a
    // failure in QSaveFile's own final flush is not seen by commit(); the data is forced to
    // the disk before the rename so that a card that fails there fails here.
    bool written = false;
    if (!g_strSetupPath.isEmpty()) {
        QSaveFile file(g_strSetupPath);
        // A folder that takes no new file, holding a file that may be written: the file is
        // rewritten in place, as it always was, rather than not at all.
        file.setDirectWriteFallback(true);
        if (file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
            bool complete = file.write(bytes) == bytes.size();
            if (complete && ::fdatasync(file.handle()) != 0 && errno != EINVAL && errno != ENOTSUP)
                complete = false;
            if (complete)
                written = file.commit();
            else
                file.cancelWriting();
        }
    }
    if (written) {
        // Best effort: make the rename itself durable before the user pulls the card.
        const QByteArray folder = QFile::encodeName(QFileInfo(g_strSetupPath).absolutePath());
        const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd >= 0) {
            ::fsync(fd);
            ::close(fd);
        }
    }
    Prompts::current().message(parent,
                               written ? QStringLiteral("ok!") : QStringLiteral("Open file fail"));
}
