// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/PlayerApp.h"
#include "cli/CommandLine.h"
#include "playback/OverlayVideo.h"

#include <QFileInfo>
#include <cstdio>

int main(int argc, char** argv) {
    // --help and --version answer before Qt looks for a display.
    const int early = CommandLine::HandleEarly(argc, argv);
    if (early >= 0)
        return early;

    // The map page's web engine shares the GL context with the widgets.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    // Lets the desktop match the window to the menu entry that started it.
    QGuiApplication::setDesktopFileName(QStringLiteral("dashcard-player"));
    CPlayerApp app(argc, argv);

    const CommandLine::Request request = CommandLine::Parse(QCoreApplication::arguments());
    if (request.action == CommandLine::Action::Error) {
        std::fprintf(stderr, "%s: %s (see --help)\n",
                     qPrintable(QFileInfo(QString::fromLocal8Bit(argv[0])).fileName()),
                     qPrintable(request.error));
        return 2;
    }
    COverlayVideo::SetVerbose(request.verbose);
    if (request.hasPath)
        app.SetStartPath(request.path);
    app.InitInstance();
    return app.ExitInstance();
}
