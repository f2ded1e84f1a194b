// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/StartupOpen.h"

#include "records/RecordListDlg.h"
#include "shell/PlayerDlg.h"
#include "ui/AfterFirstShow.h"
#include "ui/Prompts.h"

#include <QDir>
#include <QEvent>
#include <QFileInfo>
#include <QPointer>
#include <QTimer>
#include <QTreeWidget>
#include <QWindow>

namespace {

int rowNamed(QTreeWidget* list, const QString& name) {
    for (int row = 0; row < list->topLevelItemCount(); ++row) {
        if (list->topLevelItem(row)->text(1) == name)
            return row;
    }
    return -1;
}

} // namespace

void StartupOpen::Open(CPlayerDlg& window, const QString& path) {
    const QFileInfo info(path);
    const bool readable = !path.isEmpty() && info.exists() && info.isReadable() &&
                          (!info.isDir() || info.isExecutable());
    if (!readable) {
        Prompts::current().message(&window, QStringLiteral("Open fail"));
        return;
    }

    CRecordListDlg* panel = window.m_dlgRecordList;
    if (info.isDir()) {
        panel->FillCardList(info.absoluteFilePath());
        window.OnRecordTab();
        return;
    }

    panel->FillCardList(info.absolutePath());
    int row = rowNamed(panel->m_listRecords, info.fileName());
    if (row < 0) {
        window.ListOpenedFiles({info.absoluteFilePath()});
        row = rowNamed(panel->m_listRecords, info.fileName());
        if (row < 0)
            return;
    }
    // Selecting previews the row, as the first click of a double click would.
    panel->m_listRecords->setCurrentItem(panel->m_listRecords->topLevelItem(row));
    panel->OnDblClk(row);
}

void StartupOpen::OpenWhenShown(CPlayerDlg& window, const QString& path) {
    QPointer<CPlayerDlg> target(&window);
    RunAfterFirstShow(&window, [target, path] {
        if (target)
            StartupOpen::Open(*target, path);
    });
}
