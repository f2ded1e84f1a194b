#include "config/DeviceConfig.h"

DeviceConfigData DeviceConfig;
QString g_strSetupPath;
