// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Registers the program's built-in resources (icon, skin sources). They live in a static
// library, whose resource initialiser the linker would otherwise leave out.
void EnsureResources();
