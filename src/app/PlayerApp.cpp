// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/PlayerApp.h"

#include "app/Features.h"
#include "cli/StartupOpen.h"
#include "shell/PlayerDlg.h"
#include "ui/Resources.h"

#include <QIcon>
#include <clocale>

CPlayerApp::CPlayerApp(int& argc, char** argv) : QApplication(argc, argv) {
    // Qt takes the user's locale for the C library; our file formats always use ".".
    std::setlocale(LC_NUMERIC, "C");
    EnsureResources();
    setApplicationName(QStringLiteral("player"));
    setWindowIcon(QIcon(QStringLiteral(":/icons/player.svg")));
    setQuitOnLastWindowClosed(false);
    Features::Install();
}

bool CPlayerApp::InitInstance() {
    CPlayerDlg dlg;
    if (m_startPath)
        StartupOpen::OpenWhenShown(dlg, *m_startPath);
    dlg.exec();
    return false;
}

int CPlayerApp::ExitInstance() {
    return 0;
}
