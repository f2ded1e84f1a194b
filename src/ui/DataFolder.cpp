// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/DataFolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#ifndef PLAYER_DATA_DIR
#error "PLAYER_DATA_DIR is set by the build"
#endif

namespace {
constexpr char kPackageName[] = "dashcard-player";
}

QStringList DataFolder::Candidates(const QString& programFolder) {
    QStringList folders;
    const auto add = [&folders](const QString& folder) {
        const QString clean = QDir::cleanPath(folder);
        if (!folders.contains(clean))
            folders << clean;
    };
    add(programFolder);
    add(programFolder + QStringLiteral("/../share/") + QLatin1String(kPackageName));
    add(QStringLiteral(PLAYER_DATA_DIR));
    return folders;
}

QStringList DataFolder::Candidates() {
    return Candidates(QCoreApplication::applicationDirPath());
}

QString DataFolder::Find(const QString& name, const QString& programFolder) {
    for (const QString& folder : Candidates(programFolder)) {
        QFile file(folder + QLatin1Char('/') + name);
        if (file.open(QIODevice::ReadOnly))
            return folder;
    }
    return QString();
}

QString DataFolder::Find(const QString& name) {
    return Find(name, QCoreApplication::applicationDirPath());
}
