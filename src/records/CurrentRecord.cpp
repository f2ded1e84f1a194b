// SPDX-License-Identifier: GPL-3.0-or-later
#include "records/CurrentRecord.h"

CurrentRecordData CurrentRecord;
