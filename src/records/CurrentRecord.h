// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <cstdint>

// The recording chosen in the record list and opened in the player; one for the process.
struct CurrentRecordData {
    QString folder; // the listed folder, ending with "/" once set
    int32_t listCount = 0;
    int32_t listIndex = -1;
    QString numberText; // column 0 of the chosen row
    QString fileName;   // column 1 of the chosen row; the full path once opened
    uint32_t videoWidth = 0;
    uint32_t videoHeight = 0;
};

extern CurrentRecordData CurrentRecord;
