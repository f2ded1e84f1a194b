// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/ProgramSettings.h"

#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>
#include <memory>

namespace ProgramSettings {

namespace {

QString ConfigFolder() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
}

// Opened once per process; the settings of earlier versions are read the first time.
QSettings& Settings() {
    static std::unique_ptr<QSettings> settings = [] {
        const QString path =
            ConfigFolder() + QStringLiteral("/dashcard-player/dashcard-player.conf");
        const bool fresh = !QFileInfo::exists(path);
        auto opened = std::make_unique<QSettings>(path, QSettings::IniFormat);
        const QString old = ConfigFolder() + QStringLiteral("/Unknown Organization/player.conf");
        if (fresh && QFileInfo::exists(old)) {
            const QSettings earlier(old, QSettings::IniFormat);
            for (const QString& key : earlier.allKeys())
                opened->setValue(key, earlier.value(key));
            opened->sync();
        }
        return opened;
    }();
    return *settings;
}

} // namespace

QVariant Value(const QString& key, const QVariant& fallback) {
    return Settings().value(key, fallback);
}

void SetValue(const QString& key, const QVariant& value) {
    Settings().setValue(key, value);
    Settings().sync();
}

QString FilePath() {
    return Settings().fileName();
}

} // namespace ProgramSettings
