// SPDX-License-Identifier: GPL-3.0-or-later
// Benchmarks: `bench GROUP` prints one JSON object per metric on standard output and a
// readable table on standard error. Baselines run in the same invocation as ours.
// `bench --smoke` runs every group in its short form, each in a process of its own, and fails
// when one crashes, ends with an error or prints no figure: a broken benchmark is noticed.
#include "BenchCommon.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <cstdio>
#include <cstring>

namespace {

// A recording for the groups that take a FILE (play): the test card's, else the demo card's.
QString SomeRecording() {
    for (const QString& card :
         {qEnvironmentVariable("PLAYER_TEST_CARD"),
          QCoreApplication::applicationDirPath() + QStringLiteral("/demo-card")})
        if (!card.isEmpty() && QFile::exists(QDir(card).filePath(QStringLiteral("0001.asf"))))
            return QDir(card).filePath(QStringLiteral("0001.asf"));
    return {};
}

int Smoke(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    int failed = 0;
    for (const auto& group : bench::groups()) {
        QStringList args{QString::fromLatin1(group.name)};
        if (std::strcmp(group.name, "play") == 0) {
            const QString file = SomeRecording();
            if (file.isEmpty()) {
                std::fprintf(stderr, "bench --smoke: play: no recording to play (set "
                                     "PLAYER_TEST_CARD)\n");
                ++failed;
                continue;
            }
            args.append(file);
        }
        QProcess run;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("PLAYER_BENCH_SMOKE"), QStringLiteral("1"));
        run.setProcessEnvironment(env);
        run.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        QElapsedTimer clock;
        clock.start();
        run.start(QCoreApplication::applicationFilePath(), args);
        const bool finished = run.waitForFinished(15 * 60 * 1000);
        if (!finished)
            run.kill(), run.waitForFinished();
        int figures = 0;
        for (const QByteArray& line : run.readAllStandardOutput().split('\n'))
            figures += line.startsWith("{\"metric\": ") ? 1 : 0;
        const bool crashed = !finished || run.exitStatus() != QProcess::NormalExit;
        const bool ok = !crashed && run.exitCode() == 0 && figures > 0;
        std::fprintf(stderr, "bench --smoke: %-8s %s, %d figure(s), %.1f s\n", group.name,
                     ok        ? "ok"
                     : crashed ? "CRASHED"
                     : figures ? "FAILED"
                               : "NO FIGURES",
                     figures, clock.elapsed() / 1000.0);
        failed += ok ? 0 : 1;
    }
    return failed ? 1 : 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench GROUP [options] | bench --smoke\ngroups:");
        for (const auto& g : bench::groups())
            std::fprintf(stderr, " %s", g.name);
        std::fprintf(stderr, "\n");
        return 2;
    }
    if (std::strcmp(argv[1], "--smoke") == 0)
        return Smoke(argc, argv);
    for (const auto& g : bench::groups()) {
        if (std::strcmp(g.name, argv[1]) == 0)
            return g.run(argc - 1, argv + 1);
    }
    std::fprintf(stderr, "bench: unknown group '%s'\n", argv[1]);
    return 2;
}
