// SPDX-License-Identifier: GPL-3.0-or-later
#include "card/CardFiles.h"

#include <QDir>
#include <QFileInfo>

namespace CardFiles {

QString LogPathFor(const QString& videoPath) {
    const qsizetype dot = videoPath.lastIndexOf(QLatin1Char('.'));
    return (dot >= 0 ? videoPath.left(dot) : QString()) + QStringLiteral(".LOG");
}

QStringList LogCandidates(const QString& logPath) {
    QStringList candidates{logPath};
    if (!logPath.endsWith(QLatin1String(".LOG")))
        return candidates;
    static const char* const otherCases[] = {"log", "Log", "lOG", "LOg", "LoG", "lOg", "loG"};
    const QString stem = logPath.left(logPath.size() - 3);
    for (const char* ext : otherCases)
        candidates.append(stem + QLatin1String(ext));
    return candidates;
}

QString LogOf(const QString& recording) {
    for (const QString& candidate : LogCandidates(LogPathFor(recording)))
        if (QFileInfo(candidate).isFile())
            return QFileInfo(candidate).absoluteFilePath();
    return {};
}

QString RecordingOf(const QString& logPath) {
    const QFileInfo log(logPath);
    const QDir dir = log.absoluteDir();
    // Name filters match in any letter case.
    const QStringList found =
        dir.entryList({log.completeBaseName() + QStringLiteral(".asf")}, QDir::Files, QDir::Name);
    return found.isEmpty() ? QString() : dir.filePath(found.first());
}

QString SetupFileIn(const QString& folder) {
    const QDir dir(folder);
    for (const QString& name :
         dir.entryList({QStringLiteral("setup.ini")}, QDir::Files, QDir::Name))
        if (name.compare(QLatin1String("setup.ini"), Qt::CaseInsensitive) == 0)
            return dir.filePath(name);
    return {};
}

} // namespace CardFiles
