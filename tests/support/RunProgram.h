// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

// What an outside program (an oracle, or the player's own command line) said.
struct Ran {
    int code = -1; // -1 when it crashed or did not finish
    QByteArray out, err;
};

// Runs `program` to its end (at most five minutes) in `folder`, with `env` added to ours.
inline Ran run(const QString& program, const QStringList& args, const QString& folder = {},
               const QProcessEnvironment& env = {}) {
    QProcess p;
    if (!folder.isEmpty())
        p.setWorkingDirectory(folder);
    QProcessEnvironment all = QProcessEnvironment::systemEnvironment();
    for (const QString& key : env.keys())
        all.insert(key, env.value(key));
    p.setProcessEnvironment(all);
    p.start(program, args);
    Ran r;
    if (p.waitForFinished(300000) && p.exitStatus() == QProcess::NormalExit)
        r.code = p.exitCode();
    r.out = p.readAllStandardOutput();
    r.err = p.readAllStandardError();
    return r;
}
