#pragma once

#include <QApplication>

// The application: runs the player window until it is closed.
class CPlayerApp : public QApplication {
    Q_OBJECT
public:
    CPlayerApp(int& argc, char** argv);
    // Runs the whole program; returns false so the caller ends without another event loop.
    bool InitInstance();
    int ExitInstance();
};
