// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/Resources.h"

#include <QtGlobal>

static void InitPlayerResources() {
    Q_INIT_RESOURCE(player);
}

void EnsureResources() {
    static const bool done = (InitPlayerResources(), true);
    Q_UNUSED(done);
}
