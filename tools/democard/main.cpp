// SPDX-License-Identifier: GPL-3.0-or-later
// make-demo-card [--extras] DIR: writes a realistic recorder card into DIR (see DemoCard.h).
#include "DemoCard.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QStringList>

#include <cstdio>

namespace {

int usage() {
    std::fprintf(stderr, "usage: make-demo-card [--extras] DIR\n"
                         "  writes eight recordings with their trip logs and setup.ini into DIR;\n"
                         "  --extras adds test files (odd names, broken media) in DIR/extras\n");
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    bool extras = false;
    QString dir;
    const QStringList args = app.arguments().mid(1);
    for (const QString& arg : args) {
        if (arg == QLatin1String("--extras"))
            extras = true;
        else if (arg == QLatin1String("-h") || arg == QLatin1String("--help"))
            return usage();
        else if (arg.startsWith(QLatin1Char('-')) || !dir.isEmpty())
            return usage();
        else
            dir = arg;
    }
    if (dir.isEmpty())
        return usage();

    QElapsedTimer clock;
    clock.start();
    QString error;
    if (!democard::makeDemoCard(dir, extras, &error)) {
        std::fprintf(stderr, "make-demo-card: %s\n", qUtf8Printable(error));
        return 1;
    }
    const QList<democard::Recording> recordings = democard::standardRecordings();
    int seconds = 0;
    for (const democard::Recording& rec : recordings)
        seconds += rec.seconds;
    std::printf("make-demo-card: %s: %d recordings (%d s) with trip logs, setup.ini%s (%.1f s)\n",
                qUtf8Printable(QDir(dir).absolutePath()), int(recordings.size()), seconds,
                extras ? ", extras/" : "", double(clock.elapsed()) / 1000.0);
    return 0;
}
