// SPDX-License-Identifier: GPL-3.0-or-later
#include "config/DeviceConfig.h"

DeviceConfigData DeviceConfig;
QString g_strSetupPath;
