// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/Version.h"

#ifndef PLAYER_VERSION
#error "PLAYER_VERSION is set by the build"
#endif

QString PlayerVersion() {
    return QStringLiteral(PLAYER_VERSION);
}
