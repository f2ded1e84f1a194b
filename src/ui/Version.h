// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// The program's version ("1.6"), as the build sets it.
QString PlayerVersion();
