// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QKeySequence>
#include <functional>

class QAbstractButton;
class QWidget;

// A key of a window: `action` runs when it is pressed while the window is the active one (a
// focused control that uses the key itself keeps it). Steps repeat while the key is held;
// commands that open a dialog or toggle do not. With `button`, its tooltip names the key.
enum class KeyRepeat { No, Yes };
void BindWindowKey(QWidget* window, const QKeySequence& key, KeyRepeat repeat,
                   std::function<void()> action, QAbstractButton* button = nullptr);
