// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

// The program's command line: dashcard-player [FILE|FOLDER], --help, --version, and the
// exports --export-gpx LOG [OUT], --export-kml LOG [OUT] and
// --export-clip FILE [--from T] [--to T] [--overlay] [OUT] and --events FOLDER|LOG|RECORDING [--csv
// OUT] [--limit G | --limits X,Y,Z], each with --force to replace existing outputs (no window; for
// scripts). Options of Qt (-platform NAME, ...) and of its web engine (--no-sandbox, ...) are let
// through to them, so only our own options and the one path are looked at here. --verbose
// only has the window say how its video reaches the screen.
class CommandLine {
public:
    enum class Action { Run, Help, Version, ExportGpx, ExportKml, ExportClip, Events, Error };

    struct Request {
        Action action = Action::Run;
        bool hasPath = false;
        QString path;  // as given; relative paths are taken from the current folder
        QString error; // for Action::Error
        QString log;   // for the exports: the trip log, and the file to write (empty: beside
        QString out;   // the log, with the format's extension)
        QString clip;  // for the clip: the recording, and its span in seconds (to < 0: its end)
        double from = 0, to = -1;
        bool overlay = false;   // the clip also re-encoded with the data in the picture
        bool force = false;     // existing outputs may be replaced (--force)
        bool verbose = false;   // how the video reaches the screen, said on standard error
        bool hasLimits = false; // --limit G or --limits X,Y,Z (g; 0: the axis is not checked)
        double limits[3] = {0, 0, 0};
    };

    // Looks for --help and --version before anything graphical starts, so that they work
    // without a display. "--" ends the options.
    static Request ParseEarly(int argc, const char* const* argv);

    // The arguments as Qt left them (program name first, Qt's own options taken out).
    static Request Parse(const QStringList& arguments);

    static QString HelpText(const QString& programName);
    static QString VersionText();

    // Handles what ParseEarly found: prints the help or the version on standard output, or
    // exports a trip (a failure said on standard error, exit status 1; a usage error 2).
    // Returns the exit code when the program should end here, -1 to go on.
    static int HandleEarly(int argc, const char* const* argv);
};
