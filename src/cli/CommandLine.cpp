// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/CommandLine.h"

#include "clip/ClipExport.h"
#include "events/EventsCommand.h"
#include "export/TripExport.h"
#include "ui/Version.h"

#include <QDir>

#include <QFileInfo>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace {

// What one of our own two options asks for; Run for anything else.
CommandLine::Action OwnOption(const QString& a) {
    if (a == QLatin1String("-h") || a == QLatin1String("--help"))
        return CommandLine::Action::Help;
    if (a == QLatin1String("-v") || a == QLatin1String("--version"))
        return CommandLine::Action::Version;
    if (a == QLatin1String("--export-gpx"))
        return CommandLine::Action::ExportGpx;
    if (a == QLatin1String("--export-kml"))
        return CommandLine::Action::ExportKml;
    if (a == QLatin1String("--export-clip"))
        return CommandLine::Action::ExportClip;
    if (a == QLatin1String("--events"))
        return CommandLine::Action::Events;
    return CommandLine::Action::Run;
}

// "--limit G" (every axis; more than 0) or "--limits X,Y,Z" (0: that axis is not checked),
// g up to 16, beyond which no recorder's sensor reads.
bool ParseLimits(const QString& value, bool perAxis, double* limits) {
    const QStringList parts = value.split(QLatin1Char(','));
    if (parts.size() != (perAxis ? 3 : 1))
        return false;
    bool any = false;
    for (int axis = 0; axis < 3; ++axis) {
        bool ok = false;
        const double g = parts.value(perAxis ? axis : 0).trimmed().toDouble(&ok);
        if (!ok || !(g >= 0 && g <= 16))
            return false;
        limits[axis] = g;
        any = any || g > 0;
    }
    return any;
}

// Qt's own options that take the next argument as their value.
bool TakesValue(const QString& a) {
    static const QStringList kWithValue = {
        "platform",    "platformpluginpath", "platformtheme", "plugin", "qwindowgeometry",
        "qwindowicon", "qwindowtitle",       "session",       "style",  "stylesheet",
        "display",     "geometry",           "title",         "name",   "icon"};
    QString name = a;
    while (name.startsWith(QLatin1Char('-')))
        name.remove(0, 1);
    return !name.contains(QLatin1Char('=')) && kWithValue.contains(name);
}

// Whether Qt will find somewhere to show the window: a platform of its own (offscreen, a frame
// buffer, ...) or the display server the platform needs.
bool DisplayAvailable(int argc, const char* const* argv) {
    QString platforms = qEnvironmentVariable("QT_QPA_PLATFORM");
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], "-platform") == 0 || std::strcmp(argv[i], "--platform") == 0)
            platforms = QString::fromLocal8Bit(argv[i + 1]);
    const bool x11 = !qEnvironmentVariableIsEmpty("DISPLAY");
    const bool wayland = !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
    if (platforms.isEmpty())
        return x11 || wayland;
    for (const QString& platform : platforms.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        if (platform.startsWith(QLatin1String("xcb"))       ? x11
            : platform.startsWith(QLatin1String("wayland")) ? wayland
                                                            : true)
            return true;
    }
    return false;
}

// The check Parse makes once Qt has taken its options, made without Qt: only Qt's own options
// (those with a value too) are let through, since nothing runs to take any other.
CommandLine::Request CheckWithoutQt(int argc, const char* const* argv) {
    CommandLine::Request request;
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        const QString a = QString::fromLocal8Bit(argv[i]);
        if (!optionsEnded && a == QLatin1String("--")) {
            optionsEnded = true;
            continue;
        }
        if (!optionsEnded && a.startsWith(QLatin1Char('-')) && a.size() > 1) {
            static const QStringList kQtFlags = {"reverse", "widgetcount", "nograb", "dograb",
                                                 "sync"};
            QString name = a;
            while (name.startsWith(QLatin1Char('-')))
                name.remove(0, 1);
            if (TakesValue(a)) {
                ++i;
                continue;
            }
            if (kQtFlags.contains(name) || name.startsWith(QLatin1String("qmljsdebugger=")) ||
                a == QLatin1String("--verbose"))
                continue;
            request.action = CommandLine::Action::Error;
            request.error = QStringLiteral("unknown option %1").arg(a);
            return request;
        }
        if (request.hasPath) {
            request.action = CommandLine::Action::Error;
            request.error = QStringLiteral("only one FILE or FOLDER can be given");
            return request;
        }
        request.hasPath = true;
        request.path = a;
    }
    return request;
}

} // namespace

CommandLine::Request CommandLine::ParseEarly(int argc, const char* const* argv) {
    Request request;
    for (int i = 1; i < argc; ++i) {
        const QString a = QString::fromLocal8Bit(argv[i]);
        if (a == QLatin1String("--"))
            break;
        // The first of our options wins, as with most programs.
        if ((request.action = OwnOption(a)) == Action::Run)
            continue;
        if (request.action == Action::Events) {
            // FOLDER or LOG, and --csv OUT.
            QStringList paths;
            for (int k = i + 1; k < argc; ++k) {
                const QString arg = QString::fromLocal8Bit(argv[k]);
                if (arg == QLatin1String("--csv") && k + 1 < argc &&
                    !QString::fromLocal8Bit(argv[k + 1]).startsWith(QLatin1Char('-'))) {
                    request.out = QString::fromLocal8Bit(argv[++k]);
                } else if (arg == QLatin1String("--limit") || arg == QLatin1String("--limits")) {
                    const QString value =
                        k + 1 < argc ? QString::fromLocal8Bit(argv[++k]) : QString();
                    if (request.hasLimits || !ParseLimits(value, arg.size() > 7, request.limits)) {
                        request.action = Action::Error;
                        request.error =
                            request.hasLimits ? QStringLiteral("give --limit or --limits once")
                            : arg.size() > 7
                                ? QStringLiteral("--limits takes X,Y,Z (g from 0 to 16; 0: "
                                                 "the axis is not checked)")
                                : QStringLiteral("--limit takes G (g, over 0 up to 16)");
                        return request;
                    }
                    request.hasLimits = true;
                } else if (arg == QLatin1String("--force")) {
                    request.force = true;
                } else if (arg.startsWith(QLatin1Char('-')) && arg.size() > 1) {
                    request.action = Action::Error;
                    request.error = arg == QLatin1String("--csv")
                                        ? QStringLiteral("--csv takes OUT")
                                        : QStringLiteral("%1 where a path was expected").arg(arg);
                    return request;
                } else {
                    paths.append(arg);
                }
            }
            if (paths.size() != 1) {
                request.action = Action::Error;
                request.error = QStringLiteral(
                    "--events takes FOLDER, LOG or RECORDING, and --csv OUT, --limit G or "
                    "--limits X,Y,Z");
                return request;
            }
            request.log = paths.first();
            return request;
        }
        if (request.action == Action::ExportClip) {
            // FILE, then --from T and --to T in any order, and an optional OUT.
            QStringList paths;
            for (int k = i + 1; k < argc; ++k) {
                const QString arg = QString::fromLocal8Bit(argv[k]);
                if (arg == QLatin1String("--from") || arg == QLatin1String("--to")) {
                    const auto t = k + 1 < argc
                                       ? ClipExport::ParseTime(QString::fromLocal8Bit(argv[k + 1]))
                                       : std::nullopt;
                    if (!t) {
                        request.action = Action::Error;
                        request.error =
                            QStringLiteral("%1 takes a time: seconds or hh:mm:ss.sss").arg(arg);
                        return request;
                    }
                    (arg == QLatin1String("--from") ? request.from : request.to) = *t;
                    ++k;
                } else if (arg == QLatin1String("--overlay")) {
                    request.overlay = true;
                } else if (arg == QLatin1String("--force")) {
                    request.force = true;
                } else if (arg.startsWith(QLatin1Char('-')) && arg.size() > 1) {
                    request.action = Action::Error;
                    request.error = QStringLiteral("%1 where a path was expected").arg(arg);
                    return request;
                } else {
                    paths.append(arg);
                }
            }
            if (paths.isEmpty() || paths.size() > 2 ||
                (request.to >= 0 && request.to <= request.from)) {
                request.action = Action::Error;
                request.error = paths.isEmpty() || paths.size() > 2
                                    ? QStringLiteral("--export-clip takes FILE and an optional OUT")
                                    : QStringLiteral("--to must come after --from");
                return request;
            }
            request.clip = paths.value(0);
            request.out = paths.value(1);
            return request;
        }
        if (request.action == Action::ExportGpx || request.action == Action::ExportKml) {
            // LOG, an optional OUT and --force; nothing else may follow. An option there is a
            // mistake, not a file to write ("--export-gpx LOG --export-kml").
            QStringList paths;
            for (int k = i + 1; k < argc; ++k) {
                const QString arg = QString::fromLocal8Bit(argv[k]);
                if (arg == QLatin1String("--force")) {
                    request.force = true;
                } else if (arg.startsWith(QLatin1Char('-')) && arg.size() > 1) {
                    request.action = Action::Error;
                    request.error = QStringLiteral("%1 where a path was expected").arg(arg);
                    return request;
                } else {
                    paths.append(arg);
                }
            }
            if (paths.isEmpty() || paths.size() > 2) {
                request.action = Action::Error;
                request.error = QStringLiteral("%1 takes LOG and an optional OUT").arg(a);
                return request;
            }
            request.log = paths.value(0);
            request.out = paths.value(1);
        }
        return request;
    }
    // An option of an export without the export: a mistake, said before any window opens.
    for (int i = 1; i < argc; ++i) {
        const QString a = QString::fromLocal8Bit(argv[i]);
        if (a == QLatin1String("--"))
            break;
        const QString needs = a == QLatin1String("--csv") || a == QLatin1String("--limit") ||
                                      a == QLatin1String("--limits")
                                  ? QStringLiteral("--events")
                              : a == QLatin1String("--from") || a == QLatin1String("--to") ||
                                      a == QLatin1String("--overlay")
                                  ? QStringLiteral("--export-clip")
                              : a == QLatin1String("--force")
                                  ? QStringLiteral("--export-gpx, --export-kml, --export-clip or "
                                                   "--events")
                                  : QString();
        if (!needs.isEmpty()) {
            request.action = Action::Error;
            request.error = QStringLiteral("%1 needs %2").arg(a, needs);
            return request;
        }
    }
    return request;
}

CommandLine::Request CommandLine::Parse(const QStringList& arguments) {
    Request request;
    bool optionsEnded = false;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& a = arguments.at(i);
        if (!optionsEnded && a == QLatin1String("--")) {
            optionsEnded = true;
            continue;
        }
        if (!optionsEnded && a.startsWith(QLatin1Char('-')) && a.size() > 1) {
            if ((request.action = OwnOption(a)) != Action::Run)
                return request;
            if (a == QLatin1String("--verbose"))
                request.verbose = true;
            continue; // else for Qt or its web engine
        }
        if (request.hasPath) {
            request.action = Action::Error;
            request.error = QStringLiteral("only one FILE or FOLDER can be given");
            return request;
        }
        request.hasPath = true;
        request.path = a;
    }
    return request;
}

QString CommandLine::HelpText(const QString& programName) {
    return QStringLiteral(
               "Usage: %1 [OPTION]... [FILE|FOLDER]\n"
               "Plays the recordings of an in-car video recorder's memory card.\n"
               "\n"
               "  FOLDER          list the folder's .asf recordings, or its MP4/MOV ones\n"
               "                  (also in Movie/, RO/, Parking/, Normal/, Event/)\n"
               "  FILE            list the file's folder and play the file\n"
               "                  (.asf; .avi and .mp4 files are listed alone)\n"
               "  --export-gpx LOG|RECORDING [OUT]  write the trip of a trip log\n"
               "                  (NNNN.LOG) or of a recording as GPX 1.0 to OUT\n"
               "                  (default: beside it, NNNN.gpx); no window is opened\n"
               "  --export-kml LOG|RECORDING [OUT]  the same as KML 2.2 (NNNN.kml)\n"
               "  --export-clip FILE [--from T] [--to T] [--overlay] [OUT]\n"
               "                  copy a span of FILE (T: seconds or hh:mm:ss.sss;\n"
               "                  by default all of it) into OUT without re-encoding\n"
               "                  (default: NNNN_FROM_TO.mkv here), with its trip\n"
               "                  (.gpx), subtitles (.srt) and SHA-256 manifests\n"
               "                  (.sha256 of what is written, .source.sha256 of the\n"
               "                  original) beside it; with --overlay also an H.264\n"
               "                  .mp4 with the date, speed and G values in the\n"
               "                  picture; no window is opened\n"
               "  --events FOLDER|LOG|RECORDING [--csv OUT] [--limit G | --limits X,Y,Z]\n"
               "                  the jolts over the G limits of the card's setup.ini\n"
               "                  (or over G on any axis, or X, Y, Z; 0: not checked)\n"
               "                  in every trip log and MP4/MOV recording of FOLDER (or\n"
               "                  in LOG or RECORDING), one CSV row each, and a \"mark\"\n"
               "                  row for a recording the recorder kept for an event,\n"
               "                  on standard output or into OUT; no window\n"
               "  --force         with an export: replace an OUT that exists (never the\n"
               "                  card's own files)\n"
               "  --verbose       say on standard error how the video reaches the screen\n"
               "                  (X11 overlay or own surface, and why)\n"
               "  -h, --help      show this help and exit\n"
               "  -v, --version   show the version and exit\n"
               "  --              end of options: what follows is a path even if it\n"
               "                  begins with \"-\"\n"
               "\n"
               "Other options are passed on to Qt (-platform NAME, ...) and to its web\n"
               "engine (--no-sandbox, ...).\n")
        .arg(programName);
}

QString CommandLine::VersionText() {
    return QStringLiteral("dashcard-player ") + PlayerVersion() + QLatin1Char('\n');
}

namespace {

// The command line's export: exit status 0 when written, 1 when not (said on standard error).
int RunExport(const CommandLine::Request& request, const QString& program) {
    const auto format = request.action == CommandLine::Action::ExportGpx ? TripExport::Format::Gpx
                                                                         : TripExport::Format::Kml;
    const QString out =
        request.out.isEmpty() ? TripExport::DefaultOutputPath(request.log, format) : request.out;
    QString error, leftOut;
    const bool written =
        TripExport::Export(request.log, out, format, &error, &leftOut, request.force);
    if (!leftOut.isEmpty())
        std::fprintf(stderr, "%s: %s: %s\n", qPrintable(program), qPrintable(request.log),
                     qPrintable(leftOut));
    if (written)
        return 0;
    const QString what = error.startsWith(QLatin1String("Open fail")) ||
                                 error.startsWith(QLatin1String("no positions")) ||
                                 error.startsWith(QLatin1String("not written"))
                             ? error
                             : QStringLiteral("cannot write %1: %2").arg(out, error);
    std::fprintf(stderr, "%s: %s\n", qPrintable(program), qPrintable(what));
    return 1;
}

// The command line's clip: progress on a terminal, the start said when a key frame moved it,
// the end when the recording ends first.
int RunExportClip(const CommandLine::Request& request, const QString& program) {
    if (!QFileInfo(request.clip).isFile()) {
        std::fprintf(stderr, "%s: %s: Open fail\n", qPrintable(program), qPrintable(request.clip));
        return 1;
    }
    const ClipExport::Span span = ClipExport::PlanSpan(request.clip, request.from, request.to);
    if (!span.error.isEmpty()) {
        std::fprintf(stderr, "%s: %s: %s\n", qPrintable(program), qPrintable(request.clip),
                     qPrintable(span.error));
        return 1;
    }
    ClipExport::Request clip;
    clip.source = request.clip;
    clip.from = request.from;
    clip.to = request.to;
    clip.out = request.out.isEmpty()
                   ? QDir::current().filePath(ClipExport::DefaultName(request.clip, span))
                   : request.out;
    clip.version = PlayerVersion();
    clip.overlay = request.overlay;
    clip.replace = request.force;
    const bool terminal = isatty(fileno(stderr));
    int shown = -1;
    const ClipExport::Result result = ClipExport::Export(clip, [&](double share) {
        const int percent = int(share * 100);
        if (terminal && percent != shown) {
            std::fprintf(stderr, "\rexporting %s: %3d %%", qPrintable(clip.out), percent);
            shown = percent;
        }
        return true;
    });
    if (terminal && shown >= 0)
        std::fprintf(stderr, "\n");
    if (!result.leftOut.isEmpty())
        std::fprintf(stderr, "%s: %s\n", qPrintable(program), qPrintable(result.leftOut));
    if (!result.error.isEmpty()) {
        std::fprintf(
            stderr, "%s: %s: %s\n", qPrintable(program),
            qPrintable(result.error == QLatin1String("Open fail") ? request.clip : clip.out),
            qPrintable(result.error));
        return 1;
    }
    if (std::abs(result.start - request.from) > 0.0005)
        std::fprintf(stderr, "%s: the clip starts at %s, at the key frame before %s\n",
                     qPrintable(program), qPrintable(ClipExport::TimeText(result.start)),
                     qPrintable(ClipExport::TimeText(request.from)));
    for (const QString& note : result.notes)
        std::fprintf(stderr, "%s: %s\n", qPrintable(program), qPrintable(note));
    return 0;
}

} // namespace

int CommandLine::HandleEarly(int argc, const char* const* argv) {
    const Request request = ParseEarly(argc, argv);
    const QString program = argc > 0 ? QFileInfo(QString::fromLocal8Bit(argv[0])).fileName()
                                     : QStringLiteral("dashcard-player");
    if (request.action == Action::Error) {
        std::fprintf(stderr, "%s: %s (see --help)\nUsage: %s [OPTION]... [FILE|FOLDER]\n",
                     qPrintable(program), qPrintable(request.error), qPrintable(program));
        return 2;
    }
    if (request.action == Action::ExportGpx || request.action == Action::ExportKml)
        return RunExport(request, program);
    if (request.action == Action::ExportClip)
        return RunExportClip(request, program);
    if (request.action == Action::Events)
        return Events::RunCommandLine(request.log, request.out, program, request.force,
                                      request.hasLimits ? request.limits : nullptr);
    // Without a display Qt would end the program at its start, before any word on the
    // command line: a wrong one is said here, and so is the missing display.
    if (request.action == Action::Run && !DisplayAvailable(argc, argv)) {
        const Request checked = CheckWithoutQt(argc, argv);
        if (checked.action == Action::Error) {
            std::fprintf(stderr, "%s: %s (see --help)\n", qPrintable(program),
                         qPrintable(checked.error));
            return 2;
        }
        std::fprintf(stderr,
                     "%s: no display to show the window on (set DISPLAY, or run it under "
                     "xvfb-run)\n",
                     qPrintable(program));
        return 1;
    }
    QString text;
    if (request.action == Action::Help)
        text = HelpText(program);
    else if (request.action == Action::Version)
        text = VersionText();
    else
        return -1;
    const QByteArray bytes = text.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
    return std::fflush(stdout) == 0 ? 0 : 1;
}
