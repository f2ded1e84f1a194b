// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <functional>

class QWidget;

// Long work started from the window: `work` runs on a worker thread and reports the share done
// (0 … 1) through the callback it is given, which answers false once the user cancelled. The
// window keeps painting meanwhile; work that takes over a second shows a progress dialog
// (`title`, `label`, Cancel) through Prompts. Returns once the work has ended; false when the
// user cancelled.
bool RunWithProgress(QWidget* owner, const QString& title, const QString& label,
                     const std::function<void(const std::function<bool(double)>& progress)>& work);
