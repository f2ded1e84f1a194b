#include "cli/CommandLine.h"

#include <QFileInfo>
#include <cstdio>
#include <cstring>

#ifndef PLAYER_VERSION
#error "PLAYER_VERSION is set by the build"
#endif

namespace {

// What one of our own two options asks for; Run for anything else.
CommandLine::Action OwnOption(const QString& a) {
    if (a == QLatin1String("-h") || a == QLatin1String("--help"))
        return CommandLine::Action::Help;
    if (a == QLatin1String("-v") || a == QLatin1String("--version"))
        return CommandLine::Action::Version;
    return CommandLine::Action::Run;
}

} // namespace

CommandLine::Request CommandLine::ParseEarly(int argc, const char* const* argv) {
    Request request;
    for (int i = 1; i < argc; ++i) {
        const QString a = QString::fromLocal8Bit(argv[i]);
        if (a == QLatin1String("--"))
            break;
        // The first of the two wins, as with most programs.
        if ((request.action = OwnOption(a)) != Action::Run)
            return request;
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
            continue; // for Qt or its web engine
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
    return QStringLiteral("Usage: %1 [OPTION]... [FILE|FOLDER]\n"
                          "Plays the recordings of an in-car video recorder's memory card.\n"
                          "\n"
                          "  FOLDER          list the folder's .asf recordings\n"
                          "  FILE            list the file's folder and play the file\n"
                          "                  (.asf; .avi and .mp4 files are listed alone)\n"
                          "  -h, --help      show this help and exit\n"
                          "  -v, --version   show the version and exit\n"
                          "\n"
                          "Other options are passed on to Qt (-platform NAME, ...) and to its web\n"
                          "engine (--no-sandbox, ...).\n")
        .arg(programName);
}

QString CommandLine::VersionText() {
    return QStringLiteral("dashcard-player " PLAYER_VERSION "\n");
}

int CommandLine::HandleEarly(int argc, const char* const* argv) {
    const Request request = ParseEarly(argc, argv);
    QString text;
    if (request.action == Action::Help)
        text = HelpText(argc > 0 ? QFileInfo(QString::fromLocal8Bit(argv[0])).fileName()
                                 : QStringLiteral("dashcard-player"));
    else if (request.action == Action::Version)
        text = VersionText();
    else
        return -1;
    const QByteArray bytes = text.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
    return std::fflush(stdout) == 0 ? 0 : 1;
}
