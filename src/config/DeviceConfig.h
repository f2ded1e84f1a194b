// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <cstdint>

// The recorder's settings as read from and written to its settings file; one for the process.
// Every field starts at zero: the program has no defaults of its own.
struct DeviceConfigData {
    int32_t nBeforeVideoEvent = 0; // seconds kept before an event
    int32_t nVideoEventLength = 0; // seconds recorded after an event
    double dLimitX = 0.0;          // event thresholds in g
    double dLimitY = 0.0;
    double dLimitZ = 0.0;
    int32_t nShowString = 0;         // overlay on the recorded video
    int32_t nTimeZone = 0;           // whole hours
    int32_t nCisMirror = 0;          // read, never written
    int32_t nSubsectionDuration = 0; // shown only; no key in the file
};

extern DeviceConfigData DeviceConfig;

// Full path of the settings file chosen last; empty when the last choice was cancelled.
extern QString g_strSetupPath;
