#include "shell/PlayerApp.h"

int main(int argc, char** argv) {
    // The map page's web engine shares the GL context with the widgets.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    CPlayerApp app(argc, argv);
    app.InitInstance();
    return app.ExitInstance();
}
