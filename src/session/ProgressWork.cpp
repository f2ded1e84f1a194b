// SPDX-License-Identifier: GPL-3.0-or-later
#include "session/ProgressWork.h"

#include "playback/OpenWait.h"
#include "ui/Prompts.h"

#include <QProgressDialog>
#include <QTimer>
#include <atomic>
#include <thread>

bool RunWithProgress(QWidget* owner, const QString& title, const QString& label,
                     const std::function<void(const std::function<bool(double)>& progress)>& work) {
    std::atomic<double> share{0};
    std::atomic<bool> cancel{false}, done{false};
    std::thread worker([&] {
        work([&](double s) {
            share = s;
            return !cancel.load();
        });
        done = true;
    });
    // Short work shows no dialog; longer work shows its progress and can be cancelled.
    if (!OpenWait::ServeUntil([&] { return done.load(); }, 1000)) {
        QProgressDialog dialog(label, QStringLiteral("Cancel"), 0, 1000, owner);
        dialog.setWindowTitle(title);
        dialog.setAutoClose(false);
        dialog.setAutoReset(false);
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, &dialog, [&] {
            dialog.setValue(int(share.load() * 1000));
            if (done.load())
                dialog.done(QDialog::Accepted);
        });
        QObject::connect(&dialog, &QProgressDialog::canceled, &dialog, [&] { cancel = true; });
        poll.start(50);
        if (Prompts::current().runModal(dialog) != QDialog::Accepted)
            cancel = true;
        OpenWait::ServeUntil([&] { return done.load(); }, -1);
    }
    worker.join();
    return !cancel.load();
}
