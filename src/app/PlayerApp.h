// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QApplication>
#include <optional>

// The application: runs the player window until it is closed.
class CPlayerApp : public QApplication {
    Q_OBJECT
public:
    CPlayerApp(int& argc, char** argv);
    // Runs the whole program; returns false so the caller ends without another event loop.
    bool InitInstance();
    int ExitInstance();

    // A file or folder to open once the window is on screen (from the command line).
    void SetStartPath(const QString& path) { m_startPath = path; }

private:
    std::optional<QString> m_startPath;
};
