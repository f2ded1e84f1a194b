// SPDX-License-Identifier: GPL-3.0-or-later
#include "card/CameraClock.h"

#include "card/CardFiles.h"
#include "ui/ProgramSettings.h"

#include <QDir>
#include <QFileInfo>
#include <cmath>

namespace CameraClock {

namespace {

QString Key(const QString& cardFolder) {
    // Slashes would make groups of the settings file: the path is kept as one key.
    return QStringLiteral("cameraClock/") +
           QString::fromLatin1(QDir::cleanPath(QFileInfo(cardFolder).absoluteFilePath())
                                   .toUtf8()
                                   .toPercentEncoding());
}

} // namespace

double Offset(const QString& cardFolder) {
    const double seconds = ProgramSettings::Value(Key(cardFolder), 0.0).toDouble();
    return std::isfinite(seconds) ? seconds : 0.0;
}

void SetOffset(const QString& cardFolder, double seconds) {
    ProgramSettings::SetValue(Key(cardFolder), seconds);
}

QDateTime At(const QString& recording, double seconds) {
    const QDateTime named = CardFiles::TimeInName(QFileInfo(recording).fileName());
    if (!named.isValid())
        return {};
    // As the camera shows it: no zone, so no daylight-saving jump moves it.
    const QDateTime wall(named.date(), named.time(), Qt::UTC);
    const double total = seconds + Offset(CardFiles::CardFolderOf(recording));
    return wall.addMSecs(qint64(std::llround(total * 1000)));
}

QString Text(const QDateTime& at, const QString& recording) {
    if (!at.isValid())
        return {};
    QString text =
        at.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) + QStringLiteral(" camera clock");
    const double offset = Offset(CardFiles::CardFolderOf(recording));
    if (offset != 0)
        text += QStringLiteral(" %1%2 s")
                    .arg(offset > 0 ? QStringLiteral("+") : QString())
                    .arg(offset, 0, 'f', 0);
    return text;
}

} // namespace CameraClock
