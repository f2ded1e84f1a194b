// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

// The one check every file the program writes passes first (trip exports, clips and their
// sidecars, the events table, a printed PDF, a snapshot): a card's own files are never written
// over, whatever name the output reaches them by.
namespace OutputGuard {

// What may happen to a file already at the output's path.
enum class Existing {
    Refuse, // the command line without --force
    Replace // the user said so (a chooser asked, or --force)
};

// Why `out` must not be written by an export that reads `inputs` (recordings, trip logs, or a
// card folder); empty when it may. Never written: an input itself; a recording (by its
// contents), a trip log or a recorder's settings file (by its name); any of the card's files
// in an input's folder, under any name (the same file, hard links and symbolic links
// included); a folder. A file of the program's own earlier export (listed, unchanged, in the
// manifest written beside it) is not the card's and may be replaced. Any other existing file
// only with Existing::Replace.
QString Refused(const QString& out, const QStringList& inputs, Existing existing);

// Whether a file name is one the card's own files have: a recording, a trip log or a
// recorder's settings file (any letter case).
bool IsCardFileName(const QString& name);

} // namespace OutputGuard
