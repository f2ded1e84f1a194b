// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

class CPlayerDlg;

// Opens what the command line named, the way the user would from the window:
// - a folder is loaded into the record list, as LOAD does;
// - a file is looked for in its folder's listing; its row is selected (which previews it) and
//   double-clicked, so `CurrentRecord` is set and the record is opened as from the list;
// - a file the listing leaves out (.avi, .mp4, any other name) goes the open-file button's
//   way: listed alone, then selected and double-clicked the same way;
// - a path that is missing or cannot be read gives "Open fail", and the window stays as it is.
class StartupOpen {
public:
    static void Open(CPlayerDlg& window, const QString& path);

    // Open() once the window has first been exposed (painted), so that what it does, a
    // message box included, comes after the window is on screen.
    static void OpenWhenShown(CPlayerDlg& window, const QString& path);
};
