// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

// Where the program's own data files (the map page) are: beside the program first, as in the
// build tree, then in the data folder of an installed program. The installed folder is looked
// for relative to the program (bin/../share/dashcard-player), so an unpacked or relocated
// installation finds its own files, and then where the build installs to.
class DataFolder {
public:
    // The folders to look in, in order, for a program in `programFolder`.
    static QStringList Candidates(const QString& programFolder);
    static QStringList Candidates();

    // The first of the candidates that holds a readable file `name`; empty when none does.
    static QString Find(const QString& name, const QString& programFolder);
    static QString Find(const QString& name);
};
