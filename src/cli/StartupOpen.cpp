// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/StartupOpen.h"

#include "records/RecordListDlg.h"
#include "shell/PlayerDlg.h"
#include "ui/Prompts.h"

#include <QDir>
#include <QEvent>
#include <QFileInfo>
#include <QPointer>
#include <QTimer>
#include <QTreeWidget>
#include <QWindow>

namespace {

// Calls Open() from the event loop after the window's first expose has been handled.
class OpenAfterExpose : public QObject {
public:
    OpenAfterExpose(CPlayerDlg& window, QString path)
        : QObject(&window), m_window(&window), m_path(std::move(path)) {
        window.installEventFilter(this);
        watchHandle();
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == m_window && event->type() == QEvent::Show)
            watchHandle(); // the native window exists from the first show on
        else if (event->type() == QEvent::Expose && m_window->windowHandle() &&
                 watched == m_window->windowHandle() && m_window->windowHandle()->isExposed())
            fire();
        return false;
    }

private:
    void watchHandle() {
        if (QWindow* handle = m_window->windowHandle()) {
            handle->removeEventFilter(this);
            handle->installEventFilter(this);
        }
    }

    void fire() {
        if (m_fired)
            return;
        m_fired = true;
        m_window->removeEventFilter(this);
        if (m_window->windowHandle())
            m_window->windowHandle()->removeEventFilter(this);
        QPointer<CPlayerDlg> window(m_window);
        const QString path = m_path;
        QTimer::singleShot(0, m_window, [window, path] {
            if (window)
                StartupOpen::Open(*window, path);
        });
        deleteLater();
    }

    CPlayerDlg* m_window;
    QString m_path;
    bool m_fired = false;
};

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
        panel->FillRecordList(info.absoluteFilePath(), QStringLiteral(".asf"));
        window.OnRecordTab();
        return;
    }

    panel->FillRecordList(info.absolutePath(), QStringLiteral(".asf"));
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
    if (window.isVisible() && window.windowHandle() && window.windowHandle()->isExposed()) {
        QPointer<CPlayerDlg> target(&window);
        QTimer::singleShot(0, &window, [target, path] {
            if (target)
                StartupOpen::Open(*target, path);
        });
        return;
    }
    new OpenAfterExpose(window, path);
}
