// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "clip/ClipRemux.h"
#include "trip/TripTrack.h"

#include <QByteArray>
#include <QString>
#include <vector>

// The files beside a clip: its trip as GPX, one subtitle per trip log record, the texts burned
// into the re-encoded picture, and the SHA-256 manifests that let whoever receives the folder
// check it (`sha256sum -c`).
namespace ClipExport {

// The samples of a recording's track that fall in [start, end) of it (each lasting until the
// next; the last, as long as the one before it), and what was left out of them.
struct SpanTrip {
    TripTrack trip;
    double step = 0; // seconds between samples
};
SpanTrip TripOfSpan(const TripTrack& track, double duration, double start, double end);

// One subtitle per record (times from the clip's start), and the same records as the texts for
// the picture (times in the recording).
QByteArray Subtitles(const SpanTrip& span, double start);
Overlay OverlayTexts(const SpanTrip& span);

// A file written to a private name beside its place, put there when everything is ready.
struct Pending {
    QString path, temporary;
};
bool WriteTemporary(const QString& path, const QByteArray& bytes, Pending& pending, QString& error);

// The SHA-256 of a file as 64 hexadecimal digits; empty (and `error` set) when unreadable.
QByteArray Sha256Of(const QString& path, QString& error);

// A line `sha256sum -c` reads: the hash, two spaces, the name.
QByteArray ManifestLine(const QByteArray& hash, const QString& name);

// "# original: …", "# size: … bytes, modified …": what names a file that stays elsewhere.
QByteArray DescribeOriginal(const QString& what, const QString& path);

} // namespace ClipExport
