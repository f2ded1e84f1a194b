// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// A recorder with several cameras writes one file per camera for the same minutes
// ("…_0001F.MP4" / "…_0001R.MP4", "…_NF.mp4" / "…_NR.mp4" / "…_NI.mp4", "Normal/F/…" /
// "Normal/R/…"). This is the one place that knows which files belong to one moment.
namespace CameraPairs {

struct Camera {
    QString path;  // absolute
    QString role;  // "F" front, "R" rear, "I" interior; "" for a camera the name does not say
    QString label; // what the user reads: "Front", "Rear", "Interior", else the file's name
    // Where this camera's file starts on the main camera's time line, in seconds (positive when
    // it started later), from the files' own times: the difference of the times in the names,
    // else of the MP4 creation times (mvhd). A start inside a file (its edit list) is the
    // demuxer's and is not counted here.
    double offsetSeconds = 0;
};

// The cameras of the moment `recording` belongs to, `recording` itself first (offset 0), then
// the others in the order front, rear, interior. Just `recording` when it has no partner.
QList<Camera> CamerasOf(const QString& recording);

// What the record list shows for a moment's cameras: "F+R", "F+R+I"; empty for one camera.
QString Label(const QList<Camera>& cameras);

struct Moment {
    QString name;        // the main camera's file, relative to the folder, as listed
    QStringList cameras; // its partners' files, relative to the folder
    QString label;       // Label() of all of them; empty for a camera alone
};

// Groups a folder's listed recordings (CardFiles::OtherRecorderFiles' order) into one entry a
// moment, the front camera's file (else the first listed) standing for it, in the listed order.
QList<Moment> Moments(const QString& folder, const QStringList& listed);

} // namespace CameraPairs
