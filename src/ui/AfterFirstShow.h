// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>

class QWidget;

// Runs `fn` once the top-level window of `widget` has been exposed (and so painted), from the
// event loop after that paint; soon, from the event loop, when it already has been. Slow work
// started this way (a web engine, a recording to open) never delays the window's first paint.
// Nothing runs when the window goes first.
void RunAfterFirstShow(QWidget* widget, std::function<void()> fn);
