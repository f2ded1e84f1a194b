// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "config/DeviceConfig.h"

#include <QByteArray>
#include <QString>
#include <cstdio>
#include <optional>

class QDate;
class QTime;
class QWidget;

// Scans an open settings file from its current position to its end and stores every value
// it recognises into DeviceConfig. Keys it does not know are passed over; nothing is checked.
void LoadDeviceConfig(std::FILE* file);

// The same scan into `into`, which nothing else shares (the settings the dialog shows stay as
// they are): for readers of a card's limits or time zone, on any thread.
void ParseDeviceConfig(std::FILE* file, DeviceConfigData& into);

// A settings file's values over `start` (the recognised keys replace its fields); nothing when
// the file cannot be opened or fails while it is read. Reads only.
std::optional<DeviceConfigData> ReadDeviceConfig(const QString& path, DeviceConfigData start = {});

// Opens the chosen settings file and reads it into DeviceConfig. A file that cannot be opened
// for reading and writing is not read; a missing one is created empty, an existing one is
// never emptied. False when the file could not be opened for reading and writing either way
// (write-protected, or writable only), or failed while it was read (DeviceConfig is then left
// as it was): the caller stops.
bool ReadSetupFile(const QString& path);

// The card's time zone in whole hours, from the settings file in `folder` or the folder above
// it (read without changing the settings the dialog shows). None when there is no such file or
// it names no zone in -12 … 14.
std::optional<int> CardTimeZone(const QString& folder);

// The exact bytes of the settings file for `config`; the TIME line comes first only when
// `setSystemTime` is set, made from `date` and `clock` (local time).
QByteArray FormatDeviceConfig(const DeviceConfigData& config, bool setSystemTime, const QDate& date,
                              const QTime& clock);

// Rewrites the file at g_strSetupPath from DeviceConfig and tells the user the outcome:
// "ok!" once every byte is on the disk, "Open file fail" otherwise (the old file stays whole,
// except where the folder takes no new file and the file is rewritten in place).
void SaveDeviceConfig(QWidget* parent, bool setSystemTime, const QDate& date, const QTime& clock);
